// SPDX-License-Identifier: GPL-3.0-or-later
// The real game collections: every final position against pgn-extract,
// load -> write -> load round trips, and pgn-extract reading what we write.
#include "NotationTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

using namespace kb;

namespace {

// Final-position FENs that pgn-extract writes after each game.
std::vector<std::string> PeerFens(const std::string& pgnExtract, const std::string& pgnText) {
    return kbtest::PgnExtractFens(
        kbtest::Run({pgnExtract, "-F", "--quiet", "-w", "100000"}, pgnText).out);
}

// Board, side, castling and e.p. square of the final FEN per game, from kbbench pgn-load.
std::vector<std::string> OurFens(const std::string& file, int& failedLoads) {
    auto run = kbtest::Run({kbtest::BenchPath(), "pgn-load", file});
    std::vector<std::string> fens;
    std::istringstream in(run.out);
    std::string line;
    failedLoads = 0;
    while (std::getline(in, line)) {
        if (line.rfind("seconds", 0) == 0) continue;
        std::vector<std::string> cols;
        std::istringstream l(line);
        std::string c;
        while (std::getline(l, c, '\t'))
            cols.push_back(c);
        if (cols.size() != 5) continue;
        if (cols[3] != "0") ++failedLoads;
        fens.push_back(cols[4]);
    }
    return fens;
}

void ExpectSameFinalPositions(const std::vector<std::string>& ours,
                              const std::vector<std::string>& peer) {
    ASSERT_EQ(ours.size(), peer.size());
    int mismatches = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (kbtest::FenFields(ours[i], 4) != kbtest::FenFields(peer[i], 4)) {
            if (++mismatches <= 5)
                ADD_FAILURE() << "game " << i + 1 << ": " << ours[i] << " vs " << peer[i];
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(NotationRealFiles, FinalPositionsAgreeWithPgnExtract) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    for (const char* name : {"pgn/Carlsen.pgn", "pgn/Korchnoi.pgn"}) {
        const auto path = kbtest::TestData(name);
        int failed = 0;
        const auto ours = OurFens(path.string(), failed);
        EXPECT_EQ(failed, 0) << name;
        EXPECT_GT(ours.size(), 2800u);
        ExpectSameFinalPositions(ours, PeerFens(pgnExtract, kbtest::ReadFile(path)));
    }
}

TEST(NotationRealFiles, PgnExtractReadsWhatWeWrite) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    const auto path = kbtest::TestData("pgn/Korchnoi.pgn");
    const auto exported = kbtest::Run({kbtest::BenchPath(), "pgn-export", path.string()});
    ASSERT_EQ(exported.exitCode, 0);
    const std::string text = exported.out.substr(0, exported.out.rfind("seconds\t"));
    // The same final positions from our text as from the original.
    ExpectSameFinalPositions(PeerFens(pgnExtract, text),
                             PeerFens(pgnExtract, kbtest::ReadFile(path)));
}

// Compares two trees move by move, variations included.
void ExpectSameTree(const TNotation& a, const TNotation& b, const std::string& what) {
    auto collapse = [](const std::string& s) {
        std::string out;
        for (char c : s)
            if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
        return out;
    };
    std::vector<std::pair<const TVariante*, const TVariante*>> lines;
    if (a.RootLine || b.RootLine) lines.emplace_back(a.RootLine, b.RootLine);
    while (!lines.empty()) {
        auto [la, lb] = lines.back();
        lines.pop_back();
        ASSERT_TRUE(la && lb) << what;
        const TBaum* x = la->Erster;
        const TBaum* y = lb->Erster;
        for (; x && y; x = x->Next, y = y->Next) {
            ASSERT_EQ(x->Zug, y->Zug) << what << " move " << x->ZugNummer;
            ASSERT_EQ(collapse(x->Kommentar), collapse(y->Kommentar)) << what;
            const TVariante* va = x->Variations;
            const TVariante* vb = y->Variations;
            for (; va && vb; va = va->Naechste, vb = vb->Naechste)
                lines.emplace_back(va, vb);
            ASSERT_EQ(va == nullptr, vb == nullptr)
                << what << " variation count at move " << x->ZugNummer;
        }
        ASSERT_EQ(x == nullptr, y == nullptr) << what << " line length";
    }
}

// The tag lines of a game text, up to the first other non-empty line.
std::vector<std::string> TagLines(const std::string& game) {
    std::vector<std::string> tags;
    std::istringstream in(game.rfind("\xEF\xBB\xBF", 0) == 0 ? game.substr(3) : game);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty()) continue; // empty lines inside the tags do not end them
        if (line[0] != '[') break;
        tags.push_back(line);
    }
    return tags;
}

std::string TagValue(const std::vector<std::string>& tags, const std::string& name) {
    for (const std::string& t : tags)
        if (t.rfind("[" + name + " ", 0) == 0) {
            const std::string v = ExtractTagValue(t);
            return v.empty() ? "-" : v; // an empty value is written as "-"
        }
    return "-";
}

// The tag lines that have no field of their own, in their order.
std::vector<std::string> OtherTags(const std::vector<std::string>& tags) {
    std::vector<std::string> other;
    for (const std::string& t : tags) {
        TEventData e;
        e.Tags.emplace();
        ParseTagLine(e, t);
        if (!e.Tags->Empty()) other.push_back(t);
    }
    return other;
}

// Tag lines as the export orders them: by name, letter case ignored, lines
// of one name in the order read.
std::vector<std::string> ByName(std::vector<std::string> tags) {
    auto name = [](const std::string& t) {
        std::string n = t.substr(1, t.find(' ') - 1);
        for (char& c : n)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return n;
    };
    std::stable_sort(tags.begin(), tags.end(),
                     [&](const std::string& a, const std::string& b) { return name(a) < name(b); });
    return tags;
}

void RoundTripFile(const char* name, size_t minGames) {
    const auto games = kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData(name)));
    ASSERT_GE(games.size(), minGames);
    TNotation first, second;
    size_t checked = 0;
    for (size_t i = 0; i < games.size(); ++i) {
        const int loaded = first.LoadPGN(games[i]);
        std::string text1, text2;
        ASSERT_EQ(first.GetPGN(text1), 0);
        const int reloaded = second.LoadPGN(text1);
        if (loaded == 0) {
            EXPECT_EQ(reloaded, 0) << name << " game " << i + 1 << "\n" << text1;
        }
        ExpectSameTree(first, second, std::string(name) + " game " + std::to_string(i + 1));
        EXPECT_EQ(first.GameData.Stellung, second.GameData.Stellung);
        EXPECT_EQ(first.GameData.EventData.White, second.GameData.EventData.White);
        EXPECT_EQ(first.GameData.EventData.Result, second.GameData.EventData.Result);
        ASSERT_EQ(second.GetPGN(text2), 0);
        ASSERT_EQ(text1, text2) << name << " game " << i + 1;
        // The round as it was read, and the other tags in name order.
        const auto before = TagLines(games[i]), after = TagLines(text1);
        EXPECT_EQ(TagValue(after, "Round"), TagValue(before, "Round")) << name << " game " << i + 1;
        EXPECT_EQ(OtherTags(after), ByName(OtherTags(before))) << name << " game " << i + 1;
        if (::testing::Test::HasFailure()) return;
        ++checked;
    }
    EXPECT_EQ(checked, games.size());
}

TEST(NotationRealFiles, RoundTripOfTheCollections) {
    RoundTripFile("pgn/Carlsen.pgn", 2800);
    RoundTripFile("pgn/Korchnoi.pgn", 4500);
}

TEST(NotationRealFiles, RoundTripOfTheSmallFiles) {
    for (const char* name : {"pgn/chess960-engine-games.pgn", "pgn/stockfish-learning.pgn",
                             "pgn/utf8-bom.pgn", "pgn/empty-line-in-tags.pgn",
                             "pgn/kasparov-deep-blue-1997.pgn", "pgn/molinari-bordais-1979.pgn",
                             "pgn/nepomniachtchi-liren-game1.pgn", "pgn/anastasian-lewis.pgn"})
        RoundTripFile(name, 1);
}

TEST(NotationRealFiles, Chess960EngineGames) {
    const auto games =
        kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData("pgn/chess960-engine-games.pgn")));
    ASSERT_EQ(games.size(), 4u);
    int castlings = 0;
    for (const auto& g : games) {
        TNotation n;
        ASSERT_EQ(n.LoadPGN(g), 0);
        ASSERT_NE(n.ActiveFischerInfo(), nullptr);
        for (const TBaum* b : kbtest::MainLine(n)) {
            if (b->Zug.CastlingKind == 0) continue;
            EXPECT_TRUE(b->Zug.CastlingKind == 3 || b->Zug.CastlingKind == 4);
            ++castlings;
        }
        EXPECT_GT(kbtest::MainLine(n).size(), 20u);
    }
    EXPECT_GE(castlings, 4);
    // Game 1 castles long with the rook from d1 and short with the rook from g8.
    TNotation n;
    ASSERT_EQ(n.LoadPGN(games[0]), 0);
    n.WorkBoard = n.GameData.Stellung;
    for (const TBaum* b : kbtest::MainLine(n)) {
        n.WorkMove = b->Zug;
        n.DoMove();
        if (b->Zug.CastlingKind == 4 && b->Zug.Side == -1) {
            EXPECT_EQ(n.WorkBoard[kbtest::Sq("c1")], Koenig);
            EXPECT_EQ(n.WorkBoard[kbtest::Sq("d1")], Turm);
        }
        if (b->Zug.CastlingKind == 3 && b->Zug.Side == 1) {
            EXPECT_EQ(n.WorkBoard[kbtest::Sq("g8")], -Koenig);
            EXPECT_EQ(n.WorkBoard[kbtest::Sq("f8")], -Turm);
        }
    }
}

} // namespace

// pgn-extract reads every game we write, Chess960 games included, without a
// complaint (the one file whose original draws complaints aside).
TEST(NotationRealFiles, PgnExtractReadsEveryFileWeWriteWithoutComplaint) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    for (const char* name :
         {"pgn/Carlsen.pgn", "pgn/Korchnoi.pgn", "pgn/chess960-engine-games.pgn",
          "pgn/stockfish-learning.pgn", "pgn/utf8-bom.pgn", "pgn/empty-line-in-tags.pgn",
          "pgn/kasparov-deep-blue-1997.pgn", "pgn/molinari-bordais-1979.pgn",
          "pgn/nepomniachtchi-liren-game1.pgn"}) {
        SCOPED_TRACE(name);
        const auto games = kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData(name)));
        TNotation n;
        std::string all;
        for (const std::string& g : games) {
            n.LoadPGN(g);
            std::string text;
            ASSERT_EQ(n.GetPGN(text), 0);
            all += text + "\r\n";
        }
        const auto complaints =
            kbtest::Run({"/bin/sh", "-c",
                         "'" + pgnExtract +
                             "' -s 2>&1 >/dev/null | tr '\\r' '\\n' | grep -v '^Games: [0-9]*$'"},
                        all);
        EXPECT_EQ(complaints.out, "");
        const auto read = kbtest::Run({pgnExtract, "-s", "-w", "100000"}, all);
        size_t count = 0;
        for (size_t p = read.out.find("[Event "); p != std::string::npos;
             p = read.out.find("[Event ", p + 1))
            ++count;
        EXPECT_EQ(count, games.size());
    }
}

namespace {

// The tag "[Name "value"]" with its tokens apart, in the k-th of four ways:
// a tab, a line end, blanks, line ends between every two tokens.
std::string TagCut(const std::string& tag, size_t k) {
    const size_t blank = tag.find(' ');
    const std::string name = tag.substr(1, blank - 1);
    const std::string value = tag.substr(blank + 1, tag.rfind(']') - blank - 1);
    static const char* const ways[][3] = {
        {"", "\t", ""}, {"", "\r\n", ""}, {" ", "  ", " "}, {"\r\n", "\r\n", "\r\n"}};
    const auto& w = ways[k % 4];
    return "[" + std::string(w[0]) + name + w[1] + value + w[2] + "]";
}

// The game with its tag lines joined: all on one line, moves on the last
// tag's line (0), all on one line (1), two to a line (2); or (3) one to a
// line, each after the first cut apart by TagCut.
std::string TagsJoined(const std::string& game, int how) {
    std::vector<std::string> tags, moves;
    std::istringstream in(game);
    std::string line;
    bool inTags = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (inTags && !line.empty() && line[0] == '[') {
            tags.push_back(line);
            continue;
        }
        if (inTags && line.empty()) continue;
        inTags = false;
        moves.push_back(line);
    }
    std::string out;
    for (size_t i = 0; i < tags.size(); ++i) {
        if (how == 3) {
            // Tags in the middle with a tab: a game's start is found at a
            // tag line, and a cut one is no tag line for that.
            const bool last = i + 1 == tags.size();
            out += (i == 0 ? tags[i] : TagCut(tags[i], last ? moves.size() + tags.size() : 0)) +
                   "\r\n";
            continue;
        }
        out += tags[i];
        const bool lineEnd = how == 2 ? i % 2 == 1 : false;
        out += lineEnd ? "\r\n" : " ";
    }
    if (how != 0) out += "\r\n\r\n";
    for (const std::string& m : moves)
        out += m + "\r\n";
    return out;
}

} // namespace

// Tags sharing a line: every tag is read and move text after the last tag
// is move text, as pgn-extract reads it: the same game as with one tag to a
// line, for us and for pgn-extract. So are tags with blanks, tabs or line
// ends between their tokens.
TEST(NotationRealFiles, TagsSharingALineReadAsPgnExtractReadsThem) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    kbtest::TempDir dir;
    for (const char* name : {"pgn/Carlsen.pgn", "pgn/empty-line-in-tags.pgn",
                             "pgn/chess960-engine-games.pgn", "pgn/kasparov-deep-blue-1997.pgn"}) {
        SCOPED_TRACE(name);
        const std::string original = kbtest::ReadFile(kbtest::TestData(name));
        const auto games = kbtest::SplitPgnGames(original);
        std::string joined;
        TNotation a, b;
        for (size_t i = 0; i < games.size(); ++i) {
            const std::string g = TagsJoined(games[i], static_cast<int>(i % 4));
            joined += g + "\r\n";
            ASSERT_EQ(b.LoadPGN(g), a.LoadPGN(games[i])) << g;
            std::string pa, pb;
            ASSERT_EQ(a.GetPGN(pa), 0);
            ASSERT_EQ(b.GetPGN(pb), 0);
            ASSERT_EQ(pb, pa) << g;
        }
        // pgn-extract reads the joined text as the original, and ends each
        // game where we end it.
        const std::vector<std::string> argv{pgnExtract, "-s", "-w", "100000"};
        const auto peerOriginal = kbtest::Run(argv, original);
        const auto peerJoined = kbtest::Run(argv, joined);
        EXPECT_FALSE(peerJoined.out.empty());
        EXPECT_EQ(peerJoined.out, peerOriginal.out);
        const auto file = dir / "joined.pgn";
        kbtest::WriteFile(file, joined);
        int failed = 0;
        const auto ours = OurFens(file.string(), failed);
        EXPECT_EQ(ours.size(), games.size());
        if (std::string(name) != "pgn/chess960-engine-games.pgn")
            ExpectSameFinalPositions(ours, PeerFens(pgnExtract, joined));
    }
}

namespace {

// kbbench ARGS with its stderr.
struct TBenchRun {
    int exitCode;
    std::string out, err;
};
TBenchRun BenchWithErrors(const kbtest::TempDir& dir, std::vector<std::string> args) {
    const std::string err = (dir / "stderr.txt").string();
    args.insert(args.begin(),
                {"/bin/sh", "-c", "\"$@\" 2>'" + err + "'", "sh", kbtest::BenchPath()});
    const kbtest::RunResult r = kbtest::Run(args);
    return {r.exitCode, r.out, kbtest::ReadFile(err)};
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

} // namespace

// A game that cannot be read is named and fails the run; nothing is written
// in its place, and the other games go through. A tag cut by line ends and
// tags with tabs are read, as pgn-extract reads them.
TEST(NotationRealFiles, GamesThatCannotBeReadAreNamed) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    kbtest::TempDir dir;
    const std::string file = (dir / "g.pgn").string();
    kbtest::WriteFile(file,
                      "[Event \"One\"]\n[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n\n"
                      "[Event \"Two\"]\n[White \"Anna\"]\n[Black \"Ben\"]\n[Result \"*\"]\n\n"
                      "1. e4 e5 2. Zz4 *\n\n"
                      "[Event \"Three\"]\n[Site\n\"S\"]\n[White\t\"W\"]\n[Result\t\"1-0\"]\n\n"
                      "1. e4 e5 2. Nf3 1-0\n\n"
                      "[Event \"Four\"]\n[FEN \"8/8/8/8/8/8/8/8 w - - 0 1\"]\n[Result \"*\"]\n\n"
                      "1. Ke2 *\n");
    const std::string named = "game 2 (Anna - Ben) cannot be read: Error reading moves.";

    TBenchRun load = BenchWithErrors(dir, {"pgn-load", file});
    EXPECT_EQ(load.exitCode, 1);
    EXPECT_EQ(CountOf(load.out, "\n"), 4u) << load.out; // four games, no seconds: it failed
    EXPECT_NE(load.err.find("pgn-load: " + named), std::string::npos) << load.err;
    EXPECT_NE(load.err.find("game 4 cannot be read"), std::string::npos) << load.err;
    EXPECT_EQ(load.err.find("game 3"), std::string::npos) << load.err;
    EXPECT_EQ(load.err.find("game 1"), std::string::npos) << load.err;

    TBenchRun exported = BenchWithErrors(dir, {"pgn-export", file});
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_NE(exported.err.find("pgn-export: " + named), std::string::npos) << exported.err;
    const std::string text = exported.out.substr(0, exported.out.rfind("seconds\t"));
    // Games 1 and 3 only, whole; the third with every tag it holds.
    const auto peer = kbtest::Run({pgnExtract, "-s", "-w", "100000"}, text);
    EXPECT_EQ(CountOf(peer.out, "[Event "), 2u) << text;
    EXPECT_EQ(CountOf(text, "[Event "), 2u) << text;
    EXPECT_NE(text.find("[Event \"Three\"]\r\n[Site \"S\"]\r\n[Date \"????.??.??\"]\r\n"
                        "[Round \"-\"]\r\n[White \"W\"]\r\n[Black \"N.N.\"]\r\n"
                        "[Result \"1-0\"]\r\n\r\n1.e4 e5 2.Nf3   1-0\r\n"),
              std::string::npos)
        << text;
    const auto peerOfFile = kbtest::Run({pgnExtract, "-s", "-w", "100000"}, kbtest::ReadFile(file));
    EXPECT_NE(peerOfFile.out.find("[Site \"S\"]"), std::string::npos);

    // The database keeps every game, the unreadable ones as their text.
    const std::string kbf = (dir / "g.kbf").string();
    TBenchRun imported = BenchWithErrors(dir, {"db-import", file, kbf});
    EXPECT_EQ(imported.exitCode, 1);
    EXPECT_NE(imported.err.find("db-import: " + named), std::string::npos) << imported.err;
    EXPECT_NE(imported.err.find("game 4 cannot be read"), std::string::npos) << imported.err;
    const auto back = kbtest::Run({kbtest::BenchPath(), "db-export", kbf});
    EXPECT_EQ(back.exitCode, 0);
    EXPECT_EQ(CountOf(back.out, "[Event "), 4u) << back.out;
    EXPECT_NE(back.out.find("2. Zz4"), std::string::npos) << back.out;
}
