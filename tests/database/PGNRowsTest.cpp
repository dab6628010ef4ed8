// SPDX-License-Identifier: GPL-3.0-or-later
// Rows of the game list: opening files, headers, filter and sort, and the
// row-to-game mapping through edits.
#include "Notation.h"
#include "PGN.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kb;
namespace fs = std::filesystem;

namespace {

std::string Game(const std::string& white, const std::string& elo,
                 const std::string& moves = "1. e4 *") {
    return "[Event \"E\"]\r\n[White \"" + white + "\"]\r\n[Black \"B\"]\r\n[WhiteElo \"" + elo +
           "\"]\r\n\r\n" + moves;
}

std::string File(const std::vector<std::string>& games) {
    std::string s;
    for (size_t i = 0; i < games.size(); ++i)
        s += (i ? "\r\n\r\n" : "") + games[i];
    return s;
}

std::vector<std::string> Whites(TPGN& p) {
    std::vector<std::string> w;
    for (int r = 0; r < p.ItemCount(); ++r) {
        p.ReadHeader(p.GameIndex(r));
        w.push_back(p.GameHeader().White);
    }
    return w;
}

} // namespace

TEST(PGNRows, HeaderOfAGame) {
    kbtest::TempDir dir;
    kbtest::WriteFile(
        dir / "h.pgn",
        "[Event \"Open\"]\r\n  [White \"Anna\"]\r\n[Black \"Ben\"]\n[PlyCount \"81\"]\r\n"
        "1. e4 e5\r\n2. Nf3 *\r\n\r\n[Event \"Two\"]\r\n[Opening \"X\"]\r\n\r\n1. d4 *");
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "h.pgn").string()));
    ASSERT_EQ(pgn.GameCount(), 2);
    pgn.ReadHeader(0);
    const TEventData& h = pgn.GameHeader();
    EXPECT_EQ(h.Event, "Open");
    EXPECT_EQ(h.White, "Anna");
    EXPECT_EQ(h.Black, "Ben");
    EXPECT_EQ(h.MoveCount, 41);
    // A move line right after the tags is move text too.
    EXPECT_EQ(h.Movetext, "1. e4 e5\r\n2. Nf3 *\r\n");
    EXPECT_EQ(pgn.GameLines().size(), 6u);
    pgn.ReadHeader(1);
    EXPECT_EQ(pgn.GameHeader().Event, "Two");
    EXPECT_EQ(pgn.GameHeader().White, "N.N.");
    EXPECT_EQ(pgn.GameHeader().Movetext, "1. d4 *\r\n");
    ASSERT_TRUE(pgn.GameHeader().Tags.has_value());
    EXPECT_EQ(pgn.GameHeader().Tags->Lines(), std::vector<std::string>{"[Opening \"X\"]"});
    // No game: the error header.
    pgn.ReadHeader(2);
    EXPECT_EQ(pgn.GameHeader().White, "Error");
    EXPECT_EQ(pgn.GameHeader().Black, "...");
    int no = 5;
    std::string text = "x";
    pgn.GetGame(-1, no, text);
    EXPECT_EQ(no, -1);
    EXPECT_EQ(text, "");
    pgn.GetGame(1, no, text);
    EXPECT_EQ(no, 1);
    EXPECT_EQ(text, "[Event \"Two\"]\r\n[Opening \"X\"]\r\n\r\n1. d4 *");
}

// Tags sharing a line are each read, and the moves after the last tag on
// its line are the game's move text, as the loader reads them.
TEST(PGNRows, HeaderOfTagsSharingALine) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "s.pgn", "[Event \"E\"] [White \"Alpha\"] [Black \"Beta\"]\r\n"
                                     "[Result \"*\"] [Opening \"X\"] 1. e4 e5\r\n2. Nf3 *\r\n");
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "s.pgn").string()));
    pgn.ReadHeader(0);
    const TEventData& h = pgn.GameHeader();
    EXPECT_EQ(h.Event, "E");
    EXPECT_EQ(h.White, "Alpha");
    EXPECT_EQ(h.Black, "Beta");
    EXPECT_EQ(h.Result, "*");
    EXPECT_EQ(h.Tags->Lines(), std::vector<std::string>{"[Opening \"X\"]"});
    EXPECT_EQ(h.Movetext, "1. e4 e5\r\n2. Nf3 *\r\n");
}

// Blanks or tabs between a tag's tokens, and line ends between them: the
// list's row shows what the game holds, as the loader reads it.
TEST(PGNRows, HeaderOfTagsWithTabsAndLineEnds) {
    kbtest::TempDir dir;
    // A cut tag ends the section here: a game starts at a whole tag line.
    kbtest::WriteFile(dir / "t.pgn", "[Event \"E\"]\r\n[Site\t\"S\"]\r\n[White\"W\"]\r\n"
                                     "[Black  \"B\" ]\r\n[Result \t\"1-0\"]\r\n"
                                     "[Opening\n\"X\"] 1. e4\r\ne5 1-0\r\n");
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "t.pgn").string()));
    ASSERT_EQ(pgn.GameCount(), 1);
    pgn.ReadHeader(0);
    const TEventData& h = pgn.GameHeader();
    EXPECT_EQ(h.Event, "E");
    EXPECT_EQ(h.Site, "S");
    EXPECT_EQ(h.White, "W");
    EXPECT_EQ(h.Black, "B");
    EXPECT_EQ(h.Result, "1-0");
    EXPECT_EQ(h.Tags->Lines(), std::vector<std::string>{"[Opening \"X\"]"});
    EXPECT_EQ(h.Movetext, "1. e4\r\ne5 1-0\r\n");
}

// The list reads a game's header as the game itself is read: an empty line
// or an escaped "%" line among the tags does not end them.
TEST(PGNRows, HeaderReadAsTheGameIsRead) {
    kbtest::TempDir dir;
    std::string text = kbtest::ReadFile(kbtest::TestData("pgn/empty-line-in-tags.pgn"));
    text += "\r\n[Event \"P\"]\r\n[White \"W\"]\r\n%escaped\r\n[Black \"B\"]\r\n\r\n"
            "[Result \"1-0\"]\r\n\r\n1. e4 e5 1-0\r\n";
    kbtest::WriteFile(dir / "t.pgn", text);
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "t.pgn").string()));
    ASSERT_GE(pgn.GameCount(), 2);
    for (int i = 0; i < pgn.GameCount(); ++i) {
        SCOPED_TRACE(i);
        int no = 0;
        std::string game;
        pgn.GetGame(i, no, game);
        TNotation n;
        ASSERT_EQ(n.LoadPGN(game), 0);
        const TEventData& want = n.GameData.EventData;
        pgn.ReadHeader(i);
        const TEventData& h = pgn.GameHeader();
        EXPECT_NE(h.White, "N.N.");
        EXPECT_EQ(h.White, want.White);
        EXPECT_EQ(h.Black, want.Black);
        EXPECT_EQ(h.Result, want.Result);
        EXPECT_EQ(h.Year, want.Year);
        EXPECT_EQ(h.Movetext.substr(0, 3), "1. ");
    }
}

TEST(PGNRows, OpeningFiles) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "a.pgn", File({Game("A", "1"), Game("B", "2")}));
    std::string notPGN;
    for (int i = 0; i < 1100; ++i)
        notPGN += "text line\n";
    kbtest::WriteFile(dir / "text.pgn", notPGN);

    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "a.pgn").string()));
    EXPECT_EQ(pgn.FileName(), fs::canonical(dir / "a.pgn").string());
    // A file with the extension that is no PGN file leaves the list as it was.
    EXPECT_FALSE(pgn.SetFileName((dir / "text.pgn").string()));
    EXPECT_EQ(pgn.GameCount(), 2);
    EXPECT_EQ(pgn.FileName(), fs::canonical(dir / "a.pgn").string());

    // The same file by another path is not scanned again.
    int traces = 0;
    pgn.OnPGNTrace = [&](TPGN*, int, TCancelMode&) { ++traces; };
    fs::create_symlink(dir / "a.pgn", dir / "link.pgn");
    ASSERT_TRUE(pgn.SetFileName((dir / "." / "link.pgn").string()));
    EXPECT_EQ(traces, 0);
    // Names are compared exactly: another case is another file.
    kbtest::WriteFile(dir / "A.pgn", Game("C", "3"));
    ASSERT_TRUE(pgn.SetFileName((dir / "A.pgn").string()));
    EXPECT_EQ(pgn.GameCount(), 1);

    // A missing file is created only when the host agrees.
    bool agree = false;
    std::string asked;
    pgn.BeforeCreatePGNFile = [&](TPGN*, const std::string& name, bool& create) {
        EXPECT_TRUE(create);
        asked = name;
        create = agree;
    };
    EXPECT_FALSE(pgn.SetFileName((dir / "new.pgn").string()));
    EXPECT_FALSE(fs::exists(dir / "new.pgn"));
    EXPECT_EQ(pgn.GameCount(), 1);
    agree = true;
    ASSERT_TRUE(pgn.SetFileName((dir / "new.pgn").string()));
    EXPECT_EQ(asked, (fs::canonical(dir.path()) / "new.pgn").string());
    EXPECT_TRUE(fs::exists(dir / "new.pgn"));
    EXPECT_EQ(pgn.GameCount(), 0);
    int no = -1;
    EXPECT_TRUE(pgn.AppendGame(no, Game("D", "4")));

    ASSERT_TRUE(pgn.SetFileName(""));
    EXPECT_FALSE(pgn.Loaded());
    EXPECT_EQ(pgn.ItemCount(), 0);
    EXPECT_FALSE(pgn.AppendGame(no, Game("E", "5")));
}

TEST(PGNRows, FilterSortAndReverse) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "s.pgn", File({Game("Carl", "2100"), Game("Abe", "950"),
                                           Game("Bo", "10"), Game("Abe", "9"), Game("Dan", "")}));
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "s.pgn").string()));
    std::vector<int> trace;
    pgn.OnPGNTrace = [&](TPGN*, int p, TCancelMode&) { trace.push_back(p); };

    pgn.Sort(skWhite);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Abe", "Abe", "Bo", "Carl", "Dan"}));
    // Equal names stay in file order.
    EXPECT_EQ(pgn.GameIndex(0), 1);
    EXPECT_EQ(pgn.GameIndex(1), 3);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), 0);
    pgn.Sort(skWhite);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Dan", "Carl", "Bo", "Abe", "Abe"}));

    // Ratings sort as numbers.
    pgn.Sort(skWhiteElo);
    std::vector<int> elos;
    for (int r = 0; r < pgn.ItemCount(); ++r) {
        pgn.ReadHeader(pgn.GameIndex(r));
        elos.push_back(pgn.GameHeader().WhiteElo);
    }
    EXPECT_EQ(elos, (std::vector<int>{0, 9, 10, 950, 2100}));
    pgn.Sort(skFileOrder);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Carl", "Abe", "Bo", "Abe", "Dan"}));
    EXPECT_EQ(pgn.SortKey(), skFileOrder);

    pgn.OnFilterRequest = [](TPGN*, const TEventData& h, bool& show) {
        EXPECT_TRUE(show);
        show = h.White != "Abe";
    };
    pgn.ApplyFilter();
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Carl", "Bo", "Dan"}));
    EXPECT_EQ(pgn.GameCount(), 5);

    // A cancelled sort changes nothing.
    pgn.OnPGNTrace = [](TPGN*, int p, TCancelMode& m) {
        if (p > 0) m = cmCancel;
    };
    pgn.Sort(skWhite);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Carl", "Bo", "Dan"}));
    EXPECT_EQ(pgn.SortKey(), skFileOrder);
}

TEST(PGNRows, EditsKeepTheRowsOfAFilteredAndSortedList) {
    kbtest::TempDir dir;
    std::vector<std::string> games;
    for (const char* w : {"F", "C", "A", "E", "B", "D", "G"})
        games.push_back(Game(w, "1"));
    const auto file = dir / "m.pgn";
    kbtest::WriteFile(file, File(games));
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    pgn.OnFilterRequest = [](TPGN*, const TEventData& h, bool& show) { show = h.White != "E"; };
    pgn.ApplyFilter();
    pgn.Sort(skWhite);
    ASSERT_EQ(Whites(pgn), (std::vector<std::string>{"A", "B", "C", "D", "F", "G"}));
    // Delete the row of "C" (game 1): every other row shows its game still.
    ASSERT_TRUE(pgn.DeleteGame(2));
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"A", "B", "D", "F", "G"}));
    EXPECT_EQ(pgntest::RowGameNos(pgn), (std::vector<int>{2, 4, 5, 0, 6}));
    EXPECT_EQ(pgn.RowOfGame(5), 2);
    EXPECT_EQ(pgn.RowOfGame(1), -1);
    EXPECT_EQ(pgn.RowOfGame(3), -1); // filtered out
    int64_t start = 0;
    EXPECT_EQ(pgn.FindRecord(3, start), 2);
    // Deleting by game number.
    ASSERT_TRUE(pgn.DoDeleteGame(0, false));
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"A", "B", "D", "G"}));
    // An insert into a sorted list appends (the filter still applies).
    int no = 0;
    ASSERT_TRUE(pgn.InsertGame(1, no, Game("E", "1")));
    EXPECT_EQ(no, 7);
    EXPECT_EQ(pgn.Record(pgn.RecordCount() - 1).GameNo, 7);
    ASSERT_TRUE(pgn.InsertGame(1, no, Game("H", "1")));
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"A", "B", "D", "G", "H"}));
    // Back in file order an insert goes before the row's game.
    pgn.Sort(skFileOrder);
    ASSERT_EQ(Whites(pgn), (std::vector<std::string>{"A", "B", "D", "G", "H"}));
    ASSERT_TRUE(pgn.InsertGame(2, no, Game("I", "1")));
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"A", "B", "I", "D", "G", "H"}));
    std::vector<std::string> all;
    TPGN fresh;
    ASSERT_TRUE(fresh.SetFileName(file.string()));
    EXPECT_EQ(Whites(fresh), (std::vector<std::string>{"A", "E", "B", "I", "D", "G", "E", "H"}));
}

TEST(PGNRows, FilterAndSortOfARealFile) {
    kbtest::TempDir dir;
    const auto file = dir / "k.pgn";
    fs::copy_file(kbtest::TestData("pgn/Korchnoi.pgn"), file);
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    const int total = pgn.GameCount();
    ASSERT_GT(total, 1000);
    pgn.OnFilterRequest = [](TPGN*, const TEventData& h, bool& show) {
        show = h.White.find("Korchnoi") != std::string::npos;
    };
    pgn.ApplyFilter();
    ASSERT_GT(pgn.ItemCount(), 100);
    ASSERT_LT(pgn.ItemCount(), total);
    pgn.Sort(skBlack);
    std::vector<std::string> blacks;
    for (int r = 0; r < pgn.ItemCount(); ++r) {
        pgn.ReadHeader(pgn.GameIndex(r));
        EXPECT_NE(pgn.GameHeader().White.find("Korchnoi"), std::string::npos);
        blacks.push_back(pgn.GameHeader().Black);
    }
    EXPECT_TRUE(std::is_sorted(blacks.begin(), blacks.end()));
    std::vector<int> games;
    for (int r = 0; r < pgn.ItemCount(); ++r)
        games.push_back(pgn.GameIndex(r));
    std::sort(games.begin(), games.end());
    EXPECT_EQ(std::adjacent_find(games.begin(), games.end()), games.end());
}

TEST(PGNRows, BenchIndexCountsTheGames) {
    const auto path = kbtest::TestData("pgn/Carlsen.pgn");
    const std::string bytes = kbtest::ReadFile(path);
    auto r = kbtest::Run({kbtest::BenchPath(), "index", path.string()});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              std::to_string(pgntest::PlainStarts(bytes).size()));
    EXPECT_NE(r.out.find("bytes_per_second\t"), std::string::npos);
}

// The list's own delete without a window: exactly those rows leave the file,
// in one change; a row outside the list changes nothing and fails.
TEST(PGNRows, BenchListDeleteTakesExactlyThoseRows) {
    kbtest::TempDir dir;
    const auto file = dir / "k.pgn";
    const std::string bytes = kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn"));
    kbtest::WriteFile(file, bytes);
    auto games = kbtest::SplitPgnGames(bytes);
    auto r =
        kbtest::Run({kbtest::BenchPath(), "list-delete", file.string(), "4", "0", "4567", "3"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(kbtest::ReadFile(file), bytes);
    r = kbtest::Run({kbtest::BenchPath(), "list-delete", file.string(), "4", "0", "4566", "3"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("deleted\t4\ngames\t4563\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("seconds\t"), std::string::npos);
    for (int i : {4566, 4, 3, 0})
        games.erase(games.begin() + i);
    const auto left = kbtest::SplitPgnGames(kbtest::ReadFile(file));
    ASSERT_EQ(left.size(), games.size());
    for (size_t i = 0; i < left.size(); ++i) {
        // The last game left now ends the file, with its line break.
        ASSERT_EQ(left[i].substr(0, left[i].find_last_not_of("\r\n") + 1),
                  games[i].substr(0, games[i].find_last_not_of("\r\n") + 1))
            << i;
    }
    EXPECT_EQ(pgntest::OtherFiles(dir.path(), "k.pgn"), std::vector<std::string>{});
}
