// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench db-import and db-export end to end, and an import killed half way.
#include "ChessDatabase.h"
#include "Notation.h"
#include "PGN.h"
#include "PGNScan.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace kb;

namespace {

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Games(const std::string& File) {
    const auto games = SplitGameTexts(File);
    return {games.begin(), games.end()};
}

TEST(DbBench, ImportThenExport) {
    kbtest::TempDir dir;
    const std::string kbf = (dir / "k.kbf").string();
    const auto source = kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn").string();
    const auto imported = kbtest::Run({kbtest::BenchPath(), "db-import", source, kbf});
    ASSERT_EQ(imported.exitCode, 0);
    const auto lines = Lines(imported.out);
    ASSERT_EQ(lines.size(), 4u) << imported.out; // the counts and the time
    EXPECT_EQ(lines[0], "stored\t6");
    EXPECT_EQ(lines[1], "games\t6");
    EXPECT_EQ(lines[2], "skipped\t0");
    EXPECT_EQ(lines[3].rfind("seconds\t", 0), 0u);

    const auto exported = kbtest::Run({kbtest::BenchPath(), "db-export", kbf});
    ASSERT_EQ(exported.exitCode, 0);
    const auto games = Games(exported.out);
    ASSERT_EQ(games.size(), 6u);
    // Each exported game reads as the same game as its source.
    const auto sources = Games(kbtest::ReadFile(source));
    ASSERT_EQ(sources.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        TNotation a, b;
        ASSERT_EQ(a.LoadPGN(sources[i]), 0);
        ASSERT_EQ(b.LoadPGN(games[i]), 0) << games[i];
        std::string pa, pb;
        ASSERT_EQ(a.GetPGN(pa), 0);
        ASSERT_EQ(b.GetPGN(pb), 0);
        EXPECT_EQ(pa.substr(pa.find("\r\n\r\n")), pb.substr(pb.find("\r\n\r\n"))) << "game " << i;
    }
}

// A file the game list refuses as no PGN file (NUL bytes, random bytes, a
// PGN file in UTF-16) goes into no database either: refused, nothing made.
// Text without a game inside a PGN file is skipped.
TEST(DbBench, TextWithoutAGameIsNotImported) {
    kbtest::TempDir dir;
    std::string noise(1000, '\0');
    std::mt19937 gen(20261207);
    std::string random;
    for (int i = 0; i < 3000; ++i)
        random += static_cast<char>(gen() % 256);
    std::string utf16 = "\xFF\xFE";
    for (const char c : kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"))) {
        utf16 += c;
        utf16 += '\0';
    }
    const std::string pgn = (dir / "noise.pgn").string(), kbf = (dir / "n.kbf").string();
    for (const std::string& text : {noise, random, utf16}) {
        kbtest::WriteFile(pgn, text);
        kb::TPGN list;
        EXPECT_FALSE(list.SetFileName(pgn)) << "the list refuses it";
        const auto imported = kbtest::Run({kbtest::BenchPath(), "db-import", pgn, kbf});
        EXPECT_EQ(imported.exitCode, 1);
        EXPECT_TRUE(imported.out.empty()) << imported.out;
        EXPECT_FALSE(std::filesystem::exists(kbf));
    }
    kbtest::WriteFile(pgn, "[Event \"E\"]\r\n\r\n1. e4 *\r\n\r\n" + noise);
    const auto imported = kbtest::Run({kbtest::BenchPath(), "db-import", pgn, kbf});
    EXPECT_EQ(imported.exitCode, 0);
    EXPECT_EQ(imported.out.rfind("stored\t1\ngames\t1\n", 0), 0u) << imported.out;
    const auto exported = kbtest::Run({kbtest::BenchPath(), "db-export", kbf});
    EXPECT_EQ(Games(exported.out).size(), 1u) << exported.out;
}

TEST(DbBench, KilledImportKeepsWhatItReported) {
    kbtest::TempDir dir;
    const std::string kbf = (dir / "k.kbf").string();
    const auto pgn = dir / "big.pgn";
    kbtest::WriteFile(pgn, kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")) +
                               kbtest::ReadFile(kbtest::TestData("pgn/Carlsen.pgn")));
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string bench = kbtest::BenchPath(), pgnName = pgn.string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::setenv("KB_BENCH_THREADS", "1", 1);
        ::execl(bench.c_str(), bench.c_str(), "db-import", pgnName.c_str(), kbf.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    // Killed as soon as the first batch is reported.
    std::string printed;
    char buf[4096];
    bool killed = false;
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        ASSERT_GT(n, 0);
        printed.append(buf, static_cast<size_t>(n));
        if (!killed && printed.find('\n') != std::string::npos) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
    }
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    // Only whole lines count as reported.
    printed.resize(printed.rfind('\n') + 1);
    // The last count of games stored before the kill.
    size_t acknowledged = 0;
    for (const std::string& line : Lines(printed))
        if (line.rfind("stored\t", 0) == 0) acknowledged = std::stoul(line.substr(7));
    ASSERT_GT(acknowledged, 0u) << printed;

    TNotation notation;
    TChessDatabase db;
    db.Notation = &notation;
    ASSERT_TRUE(db.Open(kbf, true));
    ASSERT_GE(db.GetValidCount(), static_cast<int64_t>(acknowledged));
    const auto sources = Games(kbtest::ReadFile(pgn));
    for (size_t i = 0; i < acknowledged; ++i) {
        std::string key, payload;
        bool deleted = true;
        ASSERT_TRUE(db.ReadRecord(key, payload, deleted, static_cast<int64_t>(i))) << "game " << i;
        ASSERT_FALSE(deleted);
        ASSERT_EQ(payload, db.PGNToRecord(sources[i])) << "game " << i;
    }
}

} // namespace

// The games db-export prints, without its closing time line.
std::vector<std::string> Exported(const std::string& Kbf) {
    const auto run = kbtest::Run({kbtest::BenchPath(), "db-export", Kbf});
    EXPECT_EQ(run.exitCode, 0) << Kbf;
    return Games(run.out.substr(0, run.out.rfind("seconds\t")));
}

// A real database whose main file lost its last 1 to 20 bytes, with its
// index or without: every game stays listed and exported, the bytes stay,
// closed by one 0x00.
TEST(DbBench, MainFileThatLostBytesKeepsEveryGame) {
    kbtest::TempDir dir;
    const std::string kbf = (dir / "k.kbf").string();
    const auto source = kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn").string();
    ASSERT_EQ(kbtest::Run({kbtest::BenchPath(), "db-import", source, kbf}).exitCode, 0);
    const auto before = Exported(kbf);
    ASSERT_EQ(before.size(), 6u);
    const std::string main = kbtest::ReadFile(kbf), index = kbtest::ReadFile(kbf + "idx");
    for (const bool withIndex : {true, false}) {
        for (size_t cut = 1; cut <= 20; ++cut) {
            SCOPED_TRACE("cut " + std::to_string(cut) + (withIndex ? " with" : " without") +
                         " index");
            const std::string name = (dir / "c.kbf").string();
            std::filesystem::remove(name + "idx");
            const std::string damaged = main.substr(0, main.size() - cut);
            kbtest::WriteFile(name, damaged);
            if (withIndex) kbtest::WriteFile(name + "idx", index);
            const auto after = Exported(name);
            ASSERT_EQ(after.size(), before.size());
            for (size_t i = 0; i + 1 < before.size(); ++i)
                EXPECT_EQ(after[i], before[i]) << "game " << i;
            // The damaged game keeps its tags and the moves before the cut.
            const std::string& last = before.back();
            const size_t tags = last.find("[PlyCount");
            ASSERT_NE(tags, std::string::npos);
            EXPECT_EQ(after.back().substr(0, tags), last.substr(0, tags));
            EXPECT_EQ(after.back().substr(after.back().find("\r\n\r\n"), 40),
                      last.substr(last.find("\r\n\r\n"), 40));
            EXPECT_EQ(kbtest::ReadFile(name), damaged + '\0');
            // And the repaired database reads the same the next time.
            EXPECT_EQ(Exported(name), after);
        }
    }
}

namespace {

// The games of pgn-extract's output (tags, a blank line, the move text, a
// blank line), each with its move text's last word, the game end, dropped.
std::vector<std::string> PeerGamesWithoutEnd(const std::string& Text) {
    std::vector<std::string> games;
    std::string game;
    for (const std::string& line : Lines(Text)) {
        if (line.rfind("[Event ", 0) == 0 && !game.empty()) {
            games.push_back(game);
            game.clear();
        }
        game += line + "\n";
    }
    if (!game.empty()) games.push_back(game);
    for (std::string& g : games) {
        while (!g.empty() && (g.back() == '\n' || g.back() == ' '))
            g.pop_back();
        g.erase(g.find_last_of(" \n") + 1);
    }
    return games;
}

// A real game in pgn-extract's form with a Result text that is no game
// result, a year below 1000 and two comments after its first move.
std::string Strange(const std::string& Game, size_t I) {
    static const char* const results[] = {"{oops", "?", "(", "1/2", "}x{", "won", "1-0 0-1"};
    static const char* const years[] = {"0975", "0042", "0001", "0999", "0100"};
    std::string out;
    bool moved = false;
    for (const std::string& line : Lines(Game)) {
        if (line.rfind("[Result ", 0) == 0) {
            out += std::string("[Result \"") + results[I % 7] + "\"]\n";
        } else if (line.rfind("[Date \"", 0) == 0 && line.size() > 11) {
            out += "[Date \"" + std::string(years[I % 5]) + line.substr(11) + "\n";
        } else if (!moved && !line.empty() && line[0] != '[' && line != " *") {
            // After the first word that is not a move number.
            size_t p = 0;
            while (p < line.size()) {
                const size_t e = std::min(line.find(' ', p), line.size());
                const std::string word = line.substr(p, e - p);
                p = e + 1;
                if (!word.empty() && word.back() != '.' && word[0] != '{') break;
            }
            out += line.substr(0, p) + "{first " + std::to_string(I) + "} {second} " +
                   (p < line.size() ? line.substr(p) : std::string()) + "\n";
            moved = true;
        } else {
            out += line + "\n";
        }
    }
    return out;
}

} // namespace

// Games written out of a database read as the games that went in: every
// real game with a strange Result, an early year and two comments after a
// move goes through db-import and db-export, and pgn-extract reads the same
// games, tags, moves and comments from what comes out as from what went in
// (the game end aside: a Result that is no game result ends the move text
// as "*"); so do we.
TEST(DbBench, ExportedGamesReadBackAsTheyWentIn) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    kbtest::TempDir dir;
    std::string source;
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kbtest::TestData("pgn"))) {
        if (entry.path().extension() != ".pgn") continue;
        const auto normal =
            kbtest::Run({pgnExtract, "-s", "-w", "100000", entry.path().string()}).out;
        for (const std::string& g : PeerGamesWithoutEnd(normal))
            source += Strange(g + " *", count++) + "\n";
    }
    ASSERT_GT(count, 7000u);
    const auto pgn = dir / "strange.pgn";
    const std::string kbf = (dir / "s.kbf").string();
    kbtest::WriteFile(pgn, source);
    ASSERT_EQ(kbtest::Run({kbtest::BenchPath(), "db-import", pgn.string(), kbf}).exitCode, 0);
    const auto exported = kbtest::Run({kbtest::BenchPath(), "db-export", kbf});
    ASSERT_EQ(exported.exitCode, 0);
    const std::string out = exported.out.substr(0, exported.out.rfind("seconds\t"));

    const std::vector<std::string> argv{pgnExtract, "-s", "-w", "100000"};
    const auto in = PeerGamesWithoutEnd(kbtest::Run(argv, source).out);
    const auto back = PeerGamesWithoutEnd(kbtest::Run(argv, out).out);
    ASSERT_EQ(in.size(), count);
    ASSERT_EQ(back.size(), count);
    // The move text with its comments, and the tags that were made strange.
    auto kept = [](const std::string& Game) {
        std::string k;
        for (const std::string& line : Lines(Game))
            if (line.empty() || line[0] != '[' || line.rfind("[Date ", 0) == 0 ||
                line.rfind("[Result ", 0) == 0)
                k += line + "\n";
        return k;
    };
    size_t differ = 0;
    for (size_t i = 0; i < count; ++i)
        if (kept(back[i]) != kept(in[i]) && ++differ <= 3)
            ADD_FAILURE() << in[i] << "\nvs\n" << back[i];
    EXPECT_EQ(differ, 0u);

    const auto sources = Games(source), outs = Games(out);
    ASSERT_EQ(outs.size(), count);
    TNotation a, b;
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(b.LoadPGN(outs[i]), a.LoadPGN(sources[i])) << outs[i];
        std::string pa, pb;
        ASSERT_EQ(a.GetPGN(pa), 0);
        ASSERT_EQ(b.GetPGN(pb), 0);
        ASSERT_EQ(pb, pa);
    }
}
