// SPDX-License-Identifier: GPL-3.0-or-later
// The game list on an own database: rows are database numbers, filter and
// sort keep the mapping, deleted games keep their rows, and a game number
// from before a compress cannot replace the game that carries it afterwards.
#include "PGN.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kb;
namespace fs = std::filesystem;

namespace {

std::string Game(const std::string& white, int elo) {
    return "[Event \"E\"]\r\n[White \"" + white + "\"]\r\n[WhiteElo \"" + std::to_string(elo) +
           "\"]\r\n\r\n1. e4 *";
}

std::vector<std::string> Whites(TPGN& p) {
    std::vector<std::string> w;
    for (int r = 0; r < p.ItemCount(); ++r) {
        p.ReadHeader(p.GameIndex(r));
        w.push_back(p.GameHeader().White);
    }
    return w;
}

// A new database with games of these white players.
void Fill(TPGN& pgn, const fs::path& file, const std::vector<std::string>& whites) {
    pgn.BeforeCreatePGNFile = [](TPGN*, const std::string&, bool& create) { create = true; };
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    ASSERT_TRUE(pgn.IsDatabase());
    int elo = 2000;
    for (size_t i = 0; i < whites.size(); ++i) {
        int no = -1;
        ASSERT_TRUE(pgn.AppendGame(no, Game(whites[i], elo -= 100)));
        EXPECT_EQ(no, static_cast<int>(i));
    }
}

} // namespace

TEST(PGNDatabase, RowsFilterAndSortMapToDatabaseNumbers) {
    kbtest::TempDir dir;
    TPGN pgn;
    Fill(pgn, dir / "g.kbf", {"Dora", "Anna", "Cleo", "Bea", "Anna"});
    EXPECT_EQ(pgn.ItemCount(), 5);
    EXPECT_EQ(pgn.GameCount(), 5);
    int no = -1;
    std::string text;
    pgn.GetGame(pgn.GameIndex(2), no, text);
    EXPECT_EQ(no, 2);
    EXPECT_EQ(text, Game("Cleo", 1700));

    pgn.Sort(skWhite);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Anna", "Anna", "Bea", "Cleo", "Dora"}));
    EXPECT_EQ(pgn.GameIndex(0), 1);
    EXPECT_EQ(pgn.GameIndex(1), 4);
    pgn.Sort(skWhite);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Dora", "Cleo", "Bea", "Anna", "Anna"}));
    pgn.Sort(skWhiteElo);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Anna", "Bea", "Cleo", "Anna", "Dora"}));

    pgn.OnFilterRequest = [](TPGN*, const TEventData& h, bool& show) { show = h.White != "Anna"; };
    pgn.ApplyFilter();
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Dora", "Cleo", "Bea"}));
    EXPECT_EQ(pgn.GameIndex(3), -1);
    EXPECT_EQ(pgn.RowOfGame(3), 2);
    // A new game is appended to the rows (the filter is not asked).
    ASSERT_TRUE(pgn.InsertGame(0, no, Game("Eve", 900)));
    EXPECT_EQ(no, 5);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Dora", "Cleo", "Bea", "Eve"}));

    // Deleting keeps the row: the game shows as deleted until a compress.
    ASSERT_TRUE(pgn.DeleteGame(1));
    EXPECT_EQ(pgn.ItemCount(), 4);
    EXPECT_EQ(pgn.GameCount(), 5);
    pgn.ReadHeader(pgn.GameIndex(1));
    EXPECT_TRUE(pgn.GameHeader().Deleted);
    EXPECT_EQ(pgn.GameHeader().White, "Cleo");
    pgn.ReadHeader(pgn.GameIndex(0));
    EXPECT_FALSE(pgn.GameHeader().Deleted);

    // Back to key 0 shows every game again in database order; so does NoFilter.
    pgn.Sort(skBlack);
    EXPECT_EQ(pgn.ItemCount(), 4);
    pgn.Sort(skFileOrder);
    EXPECT_EQ(pgn.ItemCount(), 6);
    EXPECT_EQ(pgn.GameIndex(5), 5);
    pgn.ApplyFilter();
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Dora", "Cleo", "Bea", "Eve"}));
    pgn.NoFilter = true;
    pgn.ApplyFilter();
    EXPECT_EQ(pgn.ItemCount(), 6);
    EXPECT_FALSE(pgn.NoFilter);
}

TEST(PGNDatabase, ReplaceAfterCompressNeedsAFreshGameNumber) {
    kbtest::TempDir dir;
    TPGN pgn;
    Fill(pgn, dir / "c.kbf", {"A", "B", "C", "D"});
    int no = -1;
    std::string text;
    ASSERT_TRUE(pgn.ReplaceGame(no = 1, Game("B2", 1)));
    pgn.GetGame(1, no, text);
    EXPECT_EQ(text, Game("B2", 1));

    pgn.GetGame(2, no, text); // "C", number 2
    ASSERT_EQ(no, 2);
    ASSERT_TRUE(pgn.DeleteGame(0));
    std::vector<int> traces;
    pgn.OnPGNTrace = [&](TPGN*, int p, TCancelMode&) { traces.push_back(p); };
    ASSERT_TRUE(pgn.Compress());
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces.back(), 0);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"B2", "C", "D"}));
    // Number 2 is "D" now: the old number must not overwrite it.
    int old = no;
    EXPECT_FALSE(pgn.ReplaceGame(old, Game("C2", 1)));
    EXPECT_FALSE(pgn.DoDeleteGame(2, false));
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"B2", "C", "D"}));
    // Fetched again, the number is good.
    pgn.GetGame(1, no, text);
    ASSERT_EQ(no, 1);
    EXPECT_TRUE(pgn.ReplaceGame(no, Game("C2", 1)));
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"B2", "C2", "D"}));
}

TEST(PGNDatabase, ReopenSwitchAndDelete) {
    kbtest::TempDir dir;
    const auto file = dir / "r.kbf";
    {
        TPGN pgn;
        Fill(pgn, file, {"A", "B"});
    }
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    EXPECT_TRUE(pgn.IsDatabase());
    EXPECT_FALSE(pgn.IndexMissing());
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"A", "B"}));

    // Not a database and not PGN: refused, the database stays open.
    kbtest::WriteFile(dir / "notes.txt", "hello");
    EXPECT_FALSE(pgn.SetFileName((dir / "notes.txt").string()));
    EXPECT_TRUE(pgn.IsDatabase());
    EXPECT_EQ(pgn.ItemCount(), 2);

    // A PGN file replaces the database.
    kbtest::WriteFile(dir / "p.pgn", Game("P", 1));
    ASSERT_TRUE(pgn.SetFileName((dir / "p.pgn").string()));
    EXPECT_FALSE(pgn.IsDatabase());
    EXPECT_EQ(Whites(pgn), std::vector<std::string>{"P"});
    EXPECT_FALSE(pgn.DeleteDatabase());
    EXPECT_FALSE(pgn.Compress());

    ASSERT_TRUE(pgn.SetFileName(file.string()));
    ASSERT_TRUE(pgn.DeleteDatabase());
    EXPECT_FALSE(pgn.Loaded());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(pgn.ItemCount(), 0);
}

// A database whose main file lost its last bytes: the list says the index
// is made anew before anything changes on disk, and keeps every game.
TEST(PGNDatabase, RepairMessageComesBeforeAnyChange) {
    kbtest::TempDir dir;
    const fs::path file = dir / "g.kbf";
    {
        TPGN pgn;
        Fill(pgn, file, {"Anna", "Bea", "Cleo"});
    }
    std::string damaged = kbtest::ReadFile(file);
    damaged.resize(damaged.size() - 3);
    kbtest::WriteFile(file, damaged);

    TPGN pgn;
    std::vector<std::string> messages, mainAtMessage;
    pgn.OnShowError = [&](const std::string& Text) {
        messages.push_back(Text);
        mainAtMessage.push_back(kbtest::ReadFile(file));
    };
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Index file will be recreated"), std::string::npos);
    EXPECT_EQ(mainAtMessage[0], damaged);
    EXPECT_EQ(kbtest::ReadFile(file), damaged + '\0');
    ASSERT_EQ(pgn.ItemCount(), 3);
    EXPECT_EQ(Whites(pgn), (std::vector<std::string>{"Anna", "Bea", "Cleo"}));
}

// Slots a crash or a bad copy left behind (a zero tail, slots repeated)
// cannot be games: the list repairs the index with its message and shows
// each game once, also when the last session closed cleanly and the open
// only samples the index.
TEST(PGNDatabase, ZeroOrRepeatedSlotsListEachGameOnce) {
    kbtest::TempDir dir;
    const fs::path file = dir / "g.kbf";
    std::vector<std::string> names;
    for (int i = 0; i < 13; ++i)
        names.push_back("Player" + std::to_string(i));
    {
        TPGN pgn;
        Fill(pgn, file, names);
    }
    const fs::path indexFile = dir / "g.kbfidx";
    const std::string index = kbtest::ReadFile(indexFile);
    const std::string slots = index.substr(64);
    const std::vector<std::pair<const char*, std::string>> damages = {
        {"zero tail", index + std::string(8000, '\0')},
        {"one zero slot", index + std::string(8, '\0')},
        {"slots repeated", index + slots + slots},
        {"last slot repeated", index + slots.substr(slots.size() - 8)},
    };
    for (const auto& [what, bytes] : damages) {
        SCOPED_TRACE(what);
        kbtest::WriteFile(indexFile, bytes);
        TPGN pgn;
        std::vector<std::string> messages;
        pgn.OnShowError = [&](const std::string& Text) { messages.push_back(Text); };
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find("Index file will be recreated"), std::string::npos);
        EXPECT_EQ(pgn.ItemCount(), 13);
        EXPECT_EQ(pgn.GameCount(), 13);
        EXPECT_EQ(Whites(pgn), names);
        pgn.SetFileName("");
        EXPECT_EQ(kbtest::ReadFile(indexFile), index) << "the index as it was written";
    }
}
