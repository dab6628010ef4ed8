// SPDX-License-Identifier: GPL-3.0-or-later
// Files that are not databases, and databases that are not there: opening
// them for reading refuses and writes nothing, neither the file nor any
// companion beside it; only adding creates.
#include "ChessDatabase.h"
#include "DbModel.h"
#include "PGN.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace kb;
using kbtest::ReadFile;
using kbtest::WriteFile;
namespace fs = std::filesystem;

namespace {

std::set<std::string> Listing(const fs::path& Dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir))
        names.insert(e.path().filename().string());
    return names;
}

// Opens Name every way the program does and expects a refusal with Code
// that leaves the folder exactly as it was.
void ExpectRefusedUntouched(const fs::path& Dir, const std::string& Name, int64_t Code) {
    const auto before = Listing(Dir);
    const std::string bytes = fs::exists(Dir / Name) ? ReadFile(Dir / Name) : std::string();
    TChessDatabase db;
    EXPECT_FALSE(db.Open((Dir / Name).string())) << Name;
    EXPECT_EQ(db.LastError(), Code) << Name;
    EXPECT_TRUE(db.FileName().empty());
    if (Code == dbeNotDatabase) {
        // Not even adding may take over a file that is not ours.
        EXPECT_FALSE(db.Open((Dir / Name).string(), true)) << Name;
        EXPECT_EQ(db.LastError(), Code) << Name;
        TPGN list;
        EXPECT_FALSE(list.SetFileName((Dir / Name).string())) << Name;
    }
    const auto bench = kbtest::Run({kbtest::BenchPath(), "db-export", (Dir / Name).string()});
    EXPECT_NE(bench.exitCode, 0) << Name;
    EXPECT_EQ(Listing(Dir), before) << Name;
    if (!bytes.empty()) {
        EXPECT_EQ(ReadFile(Dir / Name), bytes) << Name;
    }
}

TEST(DbRefuse, TextAndRandomFilesAreNotDatabases) {
    kbtest::TempDir dir;
    // A PGN file saved under our extension, with and without CR LF, with a
    // byte order mark; and a plain note.
    const std::string pgn = kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    WriteFile(dir / "games.kbf", pgn);
    WriteFile(dir / "bom.kbf", "\xEF\xBB\xBF" + pgn);
    WriteFile(dir / "note.kbf", "buy milk\n");
    WriteFile(dir / "one.kbf", "x");
    for (const char* name : {"games.kbf", "bom.kbf", "note.kbf", "one.kbf"})
        ExpectRefusedUntouched(dir.path(), name, dbeNotDatabase);

    // Random bytes: the records do not start the way ours do, or the file
    // ends inside a record that no index vouches for.
    const uint64_t seed = dbtest::TestSeed(1313);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    std::mt19937_64 rng(seed);
    for (int i = 0; i < 8; ++i) {
        std::string bytes(1000 + rng() % 60000, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        const std::string name = "random" + std::to_string(i) + ".kbf";
        WriteFile(dir / name, bytes);
        ExpectRefusedUntouched(dir.path(), name, dbeNotDatabase);
    }

    // A real database with a foreign file put in place of its main file.
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open((dir / "real.kbf").string(), true));
        int64_t n = 0;
        ASSERT_TRUE(db.AddRecord(n, "[Event \"a\"]\r\n\r\n1. e4 *"));
    }
    WriteFile(dir / "real.kbf", pgn);
    ExpectRefusedUntouched(dir.path(), "real.kbf", dbeNotDatabase);
}

TEST(DbRefuse, MissingDatabaseIsCreatedOnlyForAdding) {
    kbtest::TempDir dir;
    ExpectRefusedUntouched(dir.path(), "none.kbf", dbeNotFound);
    EXPECT_TRUE(Listing(dir.path()).empty());

    TChessDatabase db;
    ASSERT_TRUE(db.Open((dir / "none.kbf").string(), true));
    db.Close();
    EXPECT_EQ(Listing(dir.path()),
              (std::set<std::string>{"none.kbf", "none.kbfidx", "none.kbftmp"}));
    EXPECT_TRUE(db.Open((dir / "none.kbf").string()));
    EXPECT_EQ(db.GetCount(), 0);
    db.Close();

    // The game list creates a database only when its owner agrees.
    TPGN list;
    bool asked = false;
    list.BeforeCreatePGNFile = [&](TPGN*, const std::string&, bool& Create) {
        asked = true;
        Create = false;
    };
    EXPECT_FALSE(list.SetFileName((dir / "other.kbf").string()));
    EXPECT_TRUE(asked);
    EXPECT_FALSE(fs::exists(dir / "other.kbf"));
    list.BeforeCreatePGNFile = nullptr;
    EXPECT_TRUE(list.SetFileName((dir / "other.kbf").string()));
    EXPECT_TRUE(list.IsDatabase());
}

// The cut-off tail of a real database goes; bytes after the last record
// that do not start like one of ours make the file foreign.
TEST(DbRefuse, OnlyADatabaseLosesItsTornTail) {
    kbtest::TempDir dir;
    const std::string name = (dir / "t.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        int64_t n = 0;
        ASSERT_TRUE(db.AddRecord(n, "[Event \"a\"]"));
    }
    const std::string whole = ReadFile(dir / "t.kbf");
    // Text glued to the end is no record of ours: refused, kept.
    WriteFile(dir / "t.kbf", whole + "[Event \"b\"]");
    ExpectRefusedUntouched(dir.path(), "t.kbf", dbeNotDatabase);
    // Half a record is an append cut short: cut.
    WriteFile(dir / "t.kbf", whole + "\x01[Event");
    TChessDatabase db;
    ASSERT_TRUE(db.Open(name));
    EXPECT_EQ(db.GetCount(), 1);
    db.Close();
    EXPECT_EQ(ReadFile(dir / "t.kbf"), whole);
    // Without the index nothing tells a cut-short append from a game that
    // lost its end: the half record is kept, closed, as a game.
    fs::remove(dir / "t.kbfidx");
    WriteFile(dir / "t.kbf", whole + "\x01[Event");
    ASSERT_TRUE(db.Open(name));
    EXPECT_EQ(db.GetCount(), 2);
    db.Close();
    EXPECT_EQ(ReadFile(dir / "t.kbf"), whole + "\x01[Event" + '\0');
    // Text glued to the end stays foreign without the index too.
    fs::remove(dir / "t.kbfidx");
    WriteFile(dir / "t.kbf", whole + "[Event \"b\"]");
    ExpectRefusedUntouched(dir.path(), "t.kbf", dbeNotDatabase);
}

TEST(DbRefuse, EveryErrorHasItsOwnText) {
    std::set<std::string> texts;
    for (int64_t code = 1; code <= dbeNotFound; ++code) {
        const std::string text = DatabaseErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_TRUE(texts.insert(text).second) << code << ": " << text;
    }
    EXPECT_STREQ(DatabaseErrorText(dbeAdd), "Data could not be added.");
    EXPECT_STREQ(DatabaseErrorText(dbeCompress), "File could not be compressed.");
}

} // namespace
