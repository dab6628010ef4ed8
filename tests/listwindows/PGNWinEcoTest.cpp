// SPDX-License-Identifier: GPL-3.0-or-later
// The ECO run: only the [ECO] tag changes; Chess960 games and games that do
// not load keep their text; a stopped or failed run leaves the file byte for
// byte; a database run leaves deleted slots alone.
#include "PGNWinEco.h"
#include "Notation.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Stands in for the opening table: a code made from the game's length.
std::string FakeClassify(const std::string& Text) {
    return "Z" + std::to_string(10 + Text.size() % 90);
}

const std::string kBadGame = "[Event \"Broken\"]\r\n[Site \"?\"]\r\n[White \"A\"]\r\n"
                             "[Black \"B\"]\r\n[Result \"*\"]\r\n\r\n1. e4 e5 2. Qxf7 *";

class EcoRun : public ::testing::Test {
protected:
    void SetUp() override {
        auto carlsen = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
        carlsen.resize(60);
        std::string text;
        for (const auto& g : carlsen)
            text += g + "\r\n\r\n";
        text += kbtest::ReadFile(kbtest::TestData("pgn/chess960-engine-games.pgn"));
        text += "\r\n\r\n" + kBadGame + "\r\n";
        file_ = dir_ / "games.pgn";
        kbtest::WriteFile(file_, text);
        before_ = kbtest::ReadFile(file_);
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    kbtest::THostScope host_;
    kbtest::TempDir dir_;
    fs::path file_;
    std::string before_;
};

TEST(EcoTag, SetAndReadKeepEveryOtherByte) {
    const std::string lf = "[Event \"x\"]\n[ECO \"A00\"]\n[White \"w\"]\n\n1. e4 *";
    EXPECT_EQ(kb::EcoTagOf(lf), "A00");
    EXPECT_EQ(kb::SetEcoTag(lf, "C20"), "[Event \"x\"]\n[ECO \"C20\"]\n[White \"w\"]\n\n1. e4 *");
    const std::string none = "[Event \"x\"]\r\n[White \"w\"]\r\n\r\n1. e4 *";
    EXPECT_EQ(kb::SetEcoTag(none, "B00"),
              "[Event \"x\"]\r\n[White \"w\"]\r\n[ECO \"B00\"]\r\n\r\n1. e4 *");
    EXPECT_EQ(kb::EcoTagOf(kb::SetEcoTag(none, "B00")), "B00");
    // A bracket in the moves is no tag.
    EXPECT_EQ(kb::EcoTagOf("[Event \"x\"]\n\n1. e4 {[ECO \"Z\"]} *"), "");
    EXPECT_EQ(kb::RemoveEcoTag(lf), "[Event \"x\"]\n[White \"w\"]\n\n1. e4 *");
    EXPECT_EQ(kb::RemoveEcoTag(kb::SetEcoTag(none, "B00")), none);
    EXPECT_EQ(kb::RemoveEcoTag(none), none);

    // The tag section as the game reader reads it: an ECO tag behind an
    // empty line among the tags, on a line with others or cut by a line end
    // is the game's code (the last of two); the new code replaces it, and
    // the reader sees the new one.
    for (const std::string& game :
         {std::string("[Event \"x\"]\r\n\r\n[ECO \"A00\"]\r\n[White \"w\"]\r\n\r\n1. e4 *"),
          std::string("[Event \"x\"] [ECO \"A00\"] [White \"w\"]\r\n\r\n1. e4 *"),
          std::string("[Event \"x\"] [White \"w\"] [ECO \"A00\"] 1. e4 *"),
          std::string("[Event \"x\"]\n[ECO\n\"A00\"]\n\n1. e4 *"),
          std::string("[Event \"x\"]\n[eco \"A01\"]\n\n[ECO \"A00\"]\n\n1. e4 *")}) {
        SCOPED_TRACE(game);
        EXPECT_EQ(kb::EcoTagOf(game), "A00");
        kb::TNotation n;
        const std::string set = kb::SetEcoTag(game, "C20");
        ASSERT_EQ(n.LoadPGN(set), 0) << set;
        EXPECT_EQ(n.GameData.EventData.ECO, "C20") << set;
        EXPECT_EQ(kb::EcoTagOf(set), "C20");
        ASSERT_TRUE(n.HasMoves());
        const std::string removed = kb::RemoveEcoTag(set);
        ASSERT_EQ(n.LoadPGN(removed), 0) << removed;
        EXPECT_EQ(n.GameData.EventData.ECO, "") << removed;
        if (game.find("[White") != std::string::npos) {
            EXPECT_EQ(n.GameData.EventData.White, "w") << removed;
        }
        ASSERT_TRUE(n.HasMoves());
    }
    const std::string shared = "[Event \"x\"] [ECO \"A00\"] [White \"w\"]\r\n\r\n1. e4 *";
    EXPECT_EQ(kb::SetEcoTag(shared, "C20"),
              "[Event \"x\"] [ECO \"C20\"] [White \"w\"]\r\n\r\n1. e4 *");
    EXPECT_EQ(kb::RemoveEcoTag(shared), "[Event \"x\"] [White \"w\"]\r\n\r\n1. e4 *");
}

// A game with a main line that meets no table position loses a tag nobody
// can confirm; games without a main line to look at keep every byte.
TEST_F(EcoRun, UnconfirmedTagIsRemovedUnreadableGamesStay) {
    const std::string ending =
        "[Event \"Ending\"]\r\n[White \"A\"]\r\n[Black \"B\"]\r\n[Result \"*\"]\r\n"
        "[ECO \"Z99\"]\r\n[SetUp \"1\"]\r\n[FEN \"8/8/4k3/8/8/4K3/4P3/8 w - - 0 1\"]\r\n\r\n"
        "1. Kd3 Kd5 *";
    const std::string endingWithout = kb::RemoveEcoTag(ending);
    ASSERT_EQ(endingWithout.size() + std::string("[ECO \"Z99\"]\r\n").size(), ending.size());
    const std::string broken = kb::SetEcoTag(kBadGame, "C40");
    const std::string badFen = "[Event \"E\"]\r\n[ECO \"B00\"]\r\n[FEN \"not a position\"]\r\n"
                               "\r\n1. e4 *";
    const std::string chess960 = kb::SetEcoTag(
        kbtest::SplitGames(kbtest::ReadFile(kbtest::TestData("pgn/chess960-engine-games.pgn")))[0],
        "A00");
    EXPECT_EQ(kb::ClassifyKeepingText(ending, kb::ClassifyByTable), endingWithout);
    for (const std::string& same : {broken, badFen, chess960})
        EXPECT_EQ(kb::ClassifyKeepingText(same, kb::ClassifyByTable), same);

    // The same through a run over a file.
    const std::string text =
        ending + "\r\n\r\n" + broken + "\r\n\r\n" + badFen + "\r\n\r\n" + chess960 + "\r\n";
    const fs::path file = dir_ / "tags.pgn";
    kbtest::WriteFile(file, text);
    auto w = kbtest::OpenWindow(file);
    ASSERT_EQ(w->PGN()->ItemCount(), 4);
    EXPECT_EQ(kb::RunEcoClassification(*w->PGN(), kb::ClassifyByTable), kb::TEcoRunResult::Done);
    EXPECT_EQ(kbtest::ReadFile(file), endingWithout + "\r\n\r\n" + broken + "\r\n\r\n" + badFen +
                                          "\r\n\r\n" + chess960 + "\r\n");
}

TEST_F(EcoRun, OnlyTheEcoTagChanges) {
    auto w = kbtest::OpenWindow(file_);
    const int count = w->PGN()->ItemCount();
    ASSERT_EQ(count, 65);
    EXPECT_EQ(kb::RunEcoClassification(*w->PGN(), FakeClassify), kb::TEcoRunResult::Done);
    EXPECT_EQ(w->PGN()->ItemCount(), count);
    const auto old = kbtest::SplitGames(before_);
    const auto now = kbtest::GamesOfFile(file_);
    ASSERT_EQ(now.size(), old.size());
    int classified = 0;
    for (size_t i = 0; i < old.size(); ++i) {
        auto a = kbtest::TagsOf(old[i]), b = kbtest::TagsOf(now[i]);
        if (i >= 60) {
            // Chess960 games and the broken one keep their text.
            EXPECT_EQ(now[i], old[i]) << i;
            continue;
        }
        EXPECT_EQ(kbtest::MovesOf(now[i]), kbtest::MovesOf(old[i])) << i;
        EXPECT_EQ(b["ECO"], "Z" + std::to_string(10 + old[i].size() % 90)) << i;
        a.erase("ECO");
        b.erase("ECO");
        EXPECT_EQ(a, b) << i;
        ++classified;
    }
    EXPECT_EQ(classified, 60);
    // No temporary file stays behind.
    EXPECT_EQ(Files(), std::vector<std::string>{"games.pgn"});
}

// A file with LF line ends (one game with CR LF among them) and a blank line
// at its end: the run adds ECO lines with the line end of the tags around
// them, and every other byte stays, line ends and the last blank line too.
TEST_F(EcoRun, EveryByteOutsideTheEcoLinesStays) {
    auto lf = [](std::string S) {
        for (size_t at; (at = S.find("\r\n")) != std::string::npos;)
            S.erase(at, 1);
        return S;
    };
    const auto games = kbtest::SplitGames(before_);
    ASSERT_EQ(games.size(), 65u);
    std::string text;
    for (size_t i = 0; i < games.size(); ++i)
        text += i == 7 ? games[i] + "\r\n\r\n" : lf(games[i]) + (i % 3 ? "\n\n" : "\n\n\n");
    kbtest::WriteFile(file_, text);
    auto w = kbtest::OpenWindow(file_);
    ASSERT_EQ(w->PGN()->ItemCount(), 65);
    ASSERT_EQ(kb::RunEcoClassification(*w->PGN(), FakeClassify), kb::TEcoRunResult::Done);
    const std::string after = kbtest::ReadFile(file_);
    // The text without its ECO lines (with their line ends); how many there were.
    auto withoutEco = [](std::string S, int& Lines) {
        Lines = 0;
        for (size_t at; (at = S.find("[ECO ")) != std::string::npos; ++Lines)
            S.erase(at, S.find('\n', at) + 1 - at);
        return S;
    };
    int before = 0, now = 0;
    EXPECT_EQ(withoutEco(after, now), withoutEco(text, before));
    EXPECT_EQ(now, 60);
}

TEST_F(EcoRun, StoppedOrFailedRunLeavesTheFileAlone) {
    auto w = kbtest::OpenWindow(file_);
    kb::TEcoRunOptions stop;
    stop.Progress = [](int Done, int) { return Done < 30; };
    EXPECT_EQ(kb::RunEcoClassification(*w->PGN(), FakeClassify, stop), kb::TEcoRunResult::Stopped);
    EXPECT_EQ(kbtest::ReadFile(file_), before_);
    EXPECT_EQ(Files(), std::vector<std::string>{"games.pgn"});
    EXPECT_EQ(w->PGN()->ItemCount(), 65);

    // The new file vanishes before it can replace the old one.
    kb::TEcoRunOptions fail;
    fail.BeforeReplace = [&] {
        for (const std::string& f : Files())
            if (f != "games.pgn") fs::remove(dir_ / f);
    };
    EXPECT_EQ(kb::RunEcoClassification(*w->PGN(), FakeClassify, fail), kb::TEcoRunResult::Failed);
    EXPECT_EQ(kbtest::ReadFile(file_), before_);
    EXPECT_EQ(w->PGN()->ItemCount(), 65);
}

TEST_F(EcoRun, TheUsersCopiesBesideTheFileStay) {
    // A copy made before a run (the first game then had another ECO code)
    // and other files under names like "games.pgn1": a run and the next
    // open leave every one of them as it was.
    std::string copy = before_;
    copy.insert(copy.find("\r\n") + 2, "[ECO \"A00\"]\r\n");
    kbtest::WriteFile(file_.string() + "1", copy);
    kbtest::WriteFile(file_.string() + "2", "");
    auto w = kbtest::OpenWindow(file_);
    ASSERT_EQ(kb::RunEcoClassification(*w->PGN(), FakeClassify), kb::TEcoRunResult::Done);
    auto again = kbtest::OpenWindow(file_);
    EXPECT_EQ(Files(), (std::vector<std::string>{"games.pgn", "games.pgn1", "games.pgn2"}));
    EXPECT_EQ(kbtest::ReadFile(file_.string() + "1"), copy);
}

TEST_F(EcoRun, FileChangedSinceTheScanIsNotRewritten) {
    auto w = kbtest::OpenWindow(file_);
    // Another program appends a game, or replaces the file, while the list
    // shows the old index: the run must not write the old games back.
    const std::string added = before_ + "\r\n" + kBadGame + "\r\n";
    kbtest::WriteFile(file_, added);
    EXPECT_EQ(kb::RunEcoClassification(*w->PGN(), FakeClassify), kb::TEcoRunResult::Failed);
    EXPECT_EQ(kbtest::ReadFile(file_), added);

    auto v = kbtest::OpenWindow(file_);
    kb::TEcoRunOptions replace;
    replace.Progress = [&](int Done, int) {
        if (Done == 1) {
            const fs::path other = dir_ / "other.pgn";
            kbtest::WriteFile(other, kBadGame + "\r\n");
            fs::rename(other, file_);
        }
        return true;
    };
    EXPECT_EQ(kb::RunEcoClassification(*v->PGN(), FakeClassify, replace),
              kb::TEcoRunResult::Failed);
    EXPECT_EQ(kbtest::ReadFile(file_), kBadGame + "\r\n");
    EXPECT_EQ(Files(), std::vector<std::string>{"games.pgn"});
}

// Another copy of the program deletes three games while the run is about to
// rename its new file: the other copy is refused, so the run's rename
// brings back nothing the other reported deleted.
TEST_F(EcoRun, AnotherCopysDeleteIsNeverUndone) {
    kb::TPGN list;
    ASSERT_TRUE(list.SetFileName(file_.string()));
    int other = -1;
    kb::TEcoRunOptions o;
    o.BeforeReplace = [&] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            kb::TPGN copy;
            if (!copy.SetFileName(file_.string())) ::_exit(2);
            ::_exit(copy.DeleteGames({3, 4, 5}) ? 0 : 1);
        }
        int status = 0;
        if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            other = WEXITSTATUS(status);
    };
    EXPECT_EQ(kb::RunEcoClassification(list, FakeClassify, o), kb::TEcoRunResult::Done);
    ASSERT_NE(other, -1);
    EXPECT_EQ(other, 1) << "the other copy's delete must be refused while the run holds the file";
    kb::TPGN now;
    ASSERT_TRUE(now.SetFileName(file_.string()));
    EXPECT_EQ(now.GameCount(), other == 0 ? 62 : 65);
}

// kbbench eco-run is the window's run: the same file as a run in the
// program, the games that changed counted; a second run changes nothing; a
// file another copy holds is refused with the reason and left alone.
TEST_F(EcoRun, BenchRunsTheSameRun) {
    const fs::path copy = dir_ / "copy.pgn";
    kbtest::WriteFile(copy, before_);
    {
        kb::TPGN list;
        ASSERT_TRUE(list.SetFileName(copy.string()));
        ASSERT_EQ(kb::RunEcoClassification(list, kb::ClassifyByTable), kb::TEcoRunResult::Done);
    }
    auto r = kbtest::Run({kbtest::BenchPath(), "eco-run", file_.string()});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(kbtest::ReadFile(file_), kbtest::ReadFile(copy));
    const auto old = kbtest::SplitGames(before_), now = kbtest::SplitGames(kbtest::ReadFile(file_));
    ASSERT_EQ(now.size(), old.size());
    int changed = 0;
    for (size_t i = 0; i < old.size(); ++i)
        changed += kb::EcoTagOf(old[i]) != kb::EcoTagOf(now[i]);
    ASSERT_GT(changed, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find("seconds")),
              "games\t65\nchanged\t" + std::to_string(changed) + "\n");
    r = kbtest::Run({kbtest::BenchPath(), "eco-run", file_.string()});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("changed\t0\n"), std::string::npos) << r.out;

    kbtest::WriteFile(file_, before_);
    kbtest::TOtherCopyHolds other(file_);
    ASSERT_TRUE(other.Held());
    // The reason goes to stderr.
    r = kbtest::Run(
        {"/bin/sh", "-c", "exec \"$0\" eco-run \"$1\" 2>&1", kbtest::BenchPath(), file_.string()});
    other.Release();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("kbbench eco-run: refused"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("games\t"), std::string::npos);
    EXPECT_EQ(kbtest::ReadFile(file_), before_);
}

TEST_F(EcoRun, DatabaseRunLeavesDeletedSlotsAlone) {
    auto src = kbtest::OpenWindow(file_);
    auto db = kbtest::OpenWindow(dir_ / "games.kbf");
    std::vector<int> rows;
    for (int i = 0; i < 10; ++i)
        rows.push_back(i);
    ASSERT_EQ(kb::copyGames(*src->PGN(), rows, *db->PGN(), -1).Copied, 10);
    kb::TPGN& p = *db->PGN();
    ASSERT_TRUE(p.DeleteGame(2));
    ASSERT_TRUE(p.DeleteGame(7));
    std::vector<std::string> before(10);
    for (int i = 0; i < 10; ++i) {
        bool deleted = false;
        p.ReadGameText(i, deleted, before[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(kb::RunEcoClassification(p, FakeClassify), kb::TEcoRunResult::Done);
    for (int i = 0; i < 10; ++i) {
        bool deleted = false;
        std::string text;
        p.ReadGameText(i, deleted, text);
        EXPECT_EQ(deleted, i == 2 || i == 7) << i;
        if (deleted) {
            EXPECT_EQ(text, before[static_cast<size_t>(i)]) << i;
        } else {
            EXPECT_EQ(kb::EcoTagOf(text), FakeClassify(before[static_cast<size_t>(i)])) << i;
            EXPECT_EQ(kbtest::MovesOf(text), kbtest::MovesOf(before[static_cast<size_t>(i)])) << i;
        }
    }
}

// The user's way through a database: games dropped in, classified, one
// dropped in again, another deleted and the database compressed (which
// renumbers the games the drops handed out); the next run still classifies
// every game and tells no error.
TEST_F(EcoRun, DatabaseRunAfterDeleteAndCompress) {
    const auto carlsen = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
    // The games against Hole; the second one is tagged E54, where the
    // table finds B14.
    std::vector<std::string> hole;
    for (size_t i : {19, 52, 70, 134, 387, 413})
        hole.push_back(carlsen.at(i));
    ASSERT_EQ(kbtest::TagsOf(hole[1])["ECO"], "E54");
    ASSERT_EQ(kb::ClassifyByTable(hole[1]), "B14");
    auto src = kbtest::OpenWindow(kbtest::WriteGames(dir_ / "hole.pgn", hole, 0, 6));
    auto again = kbtest::OpenWindow(kbtest::WriteGames(dir_ / "again.pgn", hole, 1, 2));
    auto db = kbtest::OpenWindow(dir_ / "db2.kbf");
    ASSERT_TRUE(db->PGN()->IsDatabase());
    auto errors = [&] {
        int n = 0;
        for (const auto& m : host_.Messages)
            n += m.Type == kb::TLwMsgType::Error;
        return n;
    };
    auto ecoOfRows = [&] {
        std::vector<std::string> codes;
        for (const auto& tags : kbtest::ShownTags(*db))
            codes.push_back(tags.count("ECO") ? tags.at("ECO") : "");
        return codes;
    };

    kbtest::SelectRows(*src, {0, 1, 2, 3, 4, 5});
    ASSERT_EQ(db->DropFrom(src.get(), -1).Copied, 6);
    db->bECOClick();
    EXPECT_EQ(errors(), 0);
    std::vector<std::string> want;
    for (const auto& g : hole)
        want.push_back(kb::ClassifyByTable(g));
    EXPECT_EQ(ecoOfRows(), want);

    kbtest::SelectRows(*again, {0});
    ASSERT_EQ(db->DropFrom(again.get(), -1).Copied, 1);
    EXPECT_EQ(ecoOfRows().back(), "E54");
    kbtest::SelectRows(*db, {0});
    db->sbDeleteGameClick();
    db->bCompressClick();
    ASSERT_EQ(db->PGN()->ItemCount(), 6);
    EXPECT_EQ(errors(), 0);

    db->bECOClick();
    EXPECT_EQ(errors(), 0);
    want.erase(want.begin());
    want.push_back("B14");
    EXPECT_EQ(ecoOfRows(), want);
    // As the file holds it, not only as the list shows it.
    db.reset();
    db = kbtest::OpenWindow(dir_ / "db2.kbf");
    EXPECT_EQ(ecoOfRows(), want);

    // The bench takes the same way through one list; after the compress a
    // delete and a copy go in as well.
    auto bench = [](std::vector<std::string> Args) {
        Args.insert(Args.begin(), {kbtest::BenchPath(), "list-run"});
        auto r = kbtest::Run(Args);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return r.out.substr(0, r.out.find("seconds"));
    };
    const std::string hole6 = (dir_ / "hole.pgn").string(), e54 = (dir_ / "again.pgn").string();
    EXPECT_EQ(bench({(dir_ / "db3.kbf").string(), "copy:" + hole6, "eco", "copy:" + e54, "delete:0",
                     "compress", "eco", "delete:5", "copy:" + e54, "compress"}),
              "copy:" + hole6 + "\tdone\t6\neco\tdone\t6\ncopy:" + e54 +
                  "\tdone\t7\ndelete:0\tdone\t7\ncompress\tdone\t6\neco\tdone\t6\n"
                  "delete:5\tdone\t6\ncopy:" +
                  e54 + "\tdone\t7\ncompress\tdone\t6\n");
    db = kbtest::OpenWindow(dir_ / "db3.kbf");
    want.back() = "E54";
    EXPECT_EQ(ecoOfRows(), want);
    db.reset();
    // A PGN file has no compress, and no row 9 here; its own games are not
    // copied onto it; its ECO run after a delete and a copy classifies
    // every game.
    EXPECT_EQ(
        bench({hole6, "delete:0", "compress", "copy:" + hole6, "copy:" + e54, "delete:9", "eco"}),
        "delete:0\tdone\t5\ncompress\trefused\t5\ncopy:" + hole6 + "\trefused\t5\ncopy:" + e54 +
            "\tdone\t6\ndelete:9\trefused\t6\neco\tdone\t6\n");
    std::vector<std::string> codes;
    for (const auto& g : kbtest::GamesOfFile(hole6))
        codes.push_back(kbtest::TagsOf(g)["ECO"]);
    want.back() = "B14";
    EXPECT_EQ(codes, want);
}

TEST_F(EcoRun, ButtonAsksAndRuns) {
    auto w = kbtest::OpenWindow(file_);
    kb::TMDIPGN::EcoClassifier() = FakeClassify;
    host_.Answers = {kb::lbNo};
    w->bECOClick();
    EXPECT_EQ(kbtest::ReadFile(file_), before_);
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Text, kb::LwText(171));
    w->bECOClick();
    EXPECT_NE(kbtest::ReadFile(file_), before_);
    EXPECT_EQ(w->PGN()->ItemCount(), 65);
    kb::TMDIPGN::EcoClassifier() = kb::ClassifyByTable;
}

} // namespace

namespace {

// Every line but the ECO tag's stays.
std::vector<std::string> LinesWithoutEco(const std::string& Game) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= Game.size()) {
        size_t nl = Game.find('\n', pos);
        std::string line = Game.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (line.rfind("[ECO ", 0) != 0) out.push_back(line);
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return out;
}

TEST_F(EcoRun, OpeningTableAgreesWithPgnExtract) {
    KB_REQUIRE_PEER(extract, "pgn-extract");
    const std::string table = "/usr/share/pgn-extract/eco.pgn";
    if (!fs::exists(table)) GTEST_SKIP() << "no " << table;
    auto w = kbtest::OpenWindow(file_);
    EXPECT_EQ(kb::RunEcoClassification(*w->PGN(), kb::ClassifyByTable), kb::TEcoRunResult::Done);
    const auto old = kbtest::SplitGames(before_);
    const auto now = kbtest::GamesOfFile(file_);
    ASSERT_EQ(now.size(), old.size());
    for (size_t i = 0; i < old.size(); ++i) {
        EXPECT_EQ(LinesWithoutEco(now[i]), LinesWithoutEco(old[i])) << i;
        if (i >= 60) {
            EXPECT_EQ(now[i], old[i]) << i;
        }
    }
    // pgn-extract classifies the same games from the same table.
    auto r = kbtest::Run({extract, "-s", "-e" + table, "-o" + (dir_ / "eco.pgn").string(),
                          (dir_ / "games.pgn").string()});
    ASSERT_EQ(r.exitCode, 0);
    const auto theirs = kbtest::GamesOfFile(dir_ / "eco.pgn");
    int same = 0, compared = 0;
    for (size_t i = 0; i < 60 && i < theirs.size(); ++i) {
        ++compared;
        if (kb::EcoTagOf(now[i]) == kbtest::TagsOf(theirs[i])["ECO"]) ++same;
    }
    EXPECT_EQ(compared, 60);
    EXPECT_GE(same, 57) << same << " of " << compared;
}

} // namespace

// Runs killed at random games, or just before the rename: the file is the
// old one or the classified one, and what the run left beside it goes at the
// next open or with the next run, so names never pile up.
TEST_F(EcoRun, KilledRunsLeaveNoTemporaryFileForLong) {
    // The classified file, from a run on a copy.
    const fs::path copy = dir_ / "copy.pgn";
    kbtest::WriteFile(copy, before_);
    {
        kb::TPGN list;
        ASSERT_TRUE(list.SetFileName(copy.string()));
        ASSERT_EQ(kb::RunEcoClassification(list, FakeClassify), kb::TEcoRunResult::Done);
    }
    const std::string classified = kbtest::ReadFile(copy);
    fs::remove(copy);
    ASSERT_NE(classified, before_);

    std::mt19937 rng(77);
    int kills = 0;
    for (int k = 0; k < 120; ++k) {
        SCOPED_TRACE(testing::Message() << "child " << k << " (seed 77)");
        kbtest::WriteFile(file_, before_);
        const int at = static_cast<int>(rng() % 67); // 66: before the rename
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            kb::TPGN list;
            if (!list.SetFileName(file_.string())) ::_exit(3);
            kb::TEcoRunOptions o;
            o.Progress = [at](int Done, int) {
                if (Done == at) ::kill(::getpid(), SIGKILL);
                return true;
            };
            o.BeforeReplace = [at] {
                if (at == 66) ::kill(::getpid(), SIGKILL);
            };
            ::_exit(kb::RunEcoClassification(list, FakeClassify, o) == kb::TEcoRunResult::Done ? 0
                                                                                               : 4);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
        kills += killed;
        const std::string now = kbtest::ReadFile(file_);
        ASSERT_TRUE(now == before_ || now == classified);
        ASSERT_EQ(now == classified, !killed);
        if (k % 2 == 0) {
            // The next open takes the leftover away.
            kb::TPGN list;
            ASSERT_TRUE(list.SetFileName(file_.string()));
            EXPECT_EQ(Files(), std::vector<std::string>{"games.pgn"});
        } else if (k % 10 == 1) {
            // So does the next run, which then succeeds.
            kb::TPGN list;
            ASSERT_TRUE(list.SetFileName(file_.string()));
            ASSERT_EQ(kb::RunEcoClassification(list, FakeClassify), kb::TEcoRunResult::Done);
            EXPECT_EQ(kbtest::ReadFile(file_), classified);
            EXPECT_EQ(Files(), std::vector<std::string>{"games.pgn"});
        }
        // Otherwise the leftover waits for the next child's open.
    }
    EXPECT_GE(kills, 100);
}
