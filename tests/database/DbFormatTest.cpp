// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes of the database files as the engine writes and reads them.
#include "ChessDatabase.h"
#include "DbTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kb;
using dbtest::IndexValues;
using kbtest::ReadFile;
using kbtest::WriteFile;

namespace {

std::string S(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

TEST(DbFormat, EscapeCodecRoundTripsAndKeepsFixedPairs) {
    EXPECT_EQ(EscapeBytes(S({'a', 0, 'b', 0xFF})), S({'a', 0xFF, 6, 'b', 0xFF, 5}));
    EXPECT_EQ(UnescapeBytes(S({'a', 0xFF, 6, 'b', 0xFF, 5})), S({'a', 0, 'b', 0xFF}));
    // 0xFF before any other byte gives 0x00 and eats it; a last lone 0xFF stays.
    EXPECT_EQ(UnescapeBytes(S({0xFF, 'x', 'y', 0xFF})), S({0, 'y', 0xFF}));
    std::mt19937_64 rng(7);
    for (int i = 0; i < 200; ++i) {
        const std::string p = dbtest::RandomPayload(rng);
        const std::string e = EscapeBytes(p);
        ASSERT_EQ(e.find('\0'), std::string::npos);
        ASSERT_EQ(UnescapeBytes(e), p);
    }
}

TEST(DbFormat, RecordPrefixes) {
    EXPECT_EQ(TChessDatabase::MakeRecord("ab"), S({1, 'a', 'b'}));
    EXPECT_EQ(TChessDatabase::MakeRecord(S({'a', 0, 'b'})), S({0x81, 'a', 0xFF, 6, 'b'}));
    // 0xFF alone needs no escaping.
    EXPECT_EQ(TChessDatabase::MakeRecord(S({'a', 0xFF})), S({1, 'a', 0xFF}));
    EXPECT_EQ(TChessDatabase::StripRecordPrefix(S({0x81, 'a', 0xFF, 6, 'b'})), S({'a', 0, 'b'}));
    // Below 0x80 nothing is unescaped, whatever the prefix.
    EXPECT_EQ(TChessDatabase::StripRecordPrefix(S({0x05, 0xFF, 6})), S({0xFF, 6}));
    EXPECT_EQ(TChessDatabase::StripRecordPrefix(""), "");
}

TEST(DbFormat, NewDatabaseAndRecordBytes) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    TChessDatabase db;
    int notified = 0;
    db.OnBeforeCreateIndex = [&](TCustomDatabase*) { ++notified; };
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(ReadFile(dir / "g.kbf"), "");
    EXPECT_EQ(IndexValues(ReadFile(dir / "g.kbfidx")),
              (std::vector<int64_t>{1234567890, 0, 0, 0, 9876543210, 0, 0, 0}));
    EXPECT_TRUE(std::filesystem::exists(dir / "g.kbftmp"));

    int64_t n = -1;
    ASSERT_TRUE(db.AddRecord(n, "ab"));
    EXPECT_EQ(n, 0);
    ASSERT_TRUE(db.AddRecord(n, S({'a', 0, 'b'})));
    EXPECT_EQ(n, 1);
    ASSERT_TRUE(db.AddRecord(n, S({0xFF, 0})));
    EXPECT_EQ(ReadFile(dir / "g.kbf"),
              S({1, 'a', 'b', 0, 0x81, 'a', 0xFF, 6, 'b', 0, 0x81, 0xFF, 5, 0xFF, 6, 0}));
    auto idx = IndexValues(ReadFile(dir / "g.kbfidx"));
    EXPECT_EQ(idx, (std::vector<int64_t>{1234567890, 0, 3, 0, 9876543210, 0, 0, 0, 1, 5, 11}));

    std::string key, payload;
    bool deleted = true;
    ASSERT_TRUE(db.ReadRecord(key, payload, deleted, 2));
    EXPECT_EQ(payload, S({0xFF, 0}));
    EXPECT_FALSE(deleted);
    EXPECT_EQ(key, "0-2:" + name);

    // Replacing game 1 appends the new record and counts the old one as wasted.
    ASSERT_TRUE(db.ReplaceRecord("xyz", 1));
    idx = IndexValues(ReadFile(dir / "g.kbfidx"));
    EXPECT_EQ(idx[1], 6); // old record 0x81 a FF 06 b: 5 bytes + terminator
    EXPECT_EQ(idx[2], 3);
    EXPECT_EQ(idx[9], 17); // offset 16 + 1
    EXPECT_EQ(ReadFile(dir / "g.kbf").substr(16), S({1, 'x', 'y', 'z', 0}));

    ASSERT_TRUE(db.DeleteGame(0));
    idx = IndexValues(ReadFile(dir / "g.kbfidx"));
    EXPECT_EQ(idx[8], -1);
    EXPECT_EQ(idx[1], 6 + 4);
    EXPECT_EQ(idx[2], 2);
    // Deleting it again changes nothing.
    ASSERT_TRUE(db.DeleteGame(0));
    EXPECT_EQ(IndexValues(ReadFile(dir / "g.kbfidx")), idx);
    ASSERT_TRUE(db.ReadRecord(key, payload, deleted, 0));
    EXPECT_TRUE(deleted);
    EXPECT_EQ(payload, "ab");
}

TEST(DbFormat, RebuildFromMainFile) {
    kbtest::TempDir dir;
    // With an index beside it, the bytes after the last terminator are an
    // append cut short and go; the index is rebuilt with one slot per record.
    std::string header(72, '\0');
    PutInt64LE(header.data(), 1234567890);
    PutInt64LE(&header[16], 1);
    PutInt64LE(&header[32], 9876543210);
    PutInt64LE(&header[64], 1);
    WriteFile(dir / "a.kbfidx", header);
    WriteFile(dir / "a.kbf", S({1, 'x', 0, 1, 'y'}));
    TChessDatabase db;
    ASSERT_TRUE(db.Open((dir / "a.kbf").string()));
    EXPECT_EQ(db.GetCount(), 1);
    EXPECT_EQ(ReadFile(dir / "a.kbf"), S({1, 'x', 0}));
    EXPECT_EQ(IndexValues(ReadFile(dir / "a.kbfidx")),
              (std::vector<int64_t>{1234567890, 0, 1, 0, 9876543210, 0, 0, 0, 1}));
    db.Close();

    // Empty records and records of 0x07 bytes come back deleted.
    WriteFile(dir / "b.kbf", S({1, 'p', 0, 0, 7, 7, 0, 1, 'q', 0}));
    ASSERT_TRUE(db.Open((dir / "b.kbf").string(), true));
    EXPECT_EQ(db.GetCount(), 4);
    EXPECT_EQ(db.GetValidCount(), 2);
    EXPECT_EQ(IndexValues(ReadFile(dir / "b.kbfidx")),
              (std::vector<int64_t>{1234567890, 4, 2, 0, 9876543210, 0, 0, 0, 1, -4, -5, 8}));
}

TEST(DbFormat, IsDatabaseFileAndExtensions) {
    kbtest::TempDir dir;
    TChessDatabase db;
    db.SetMainFileExt("pgx");
    EXPECT_EQ(db.mainFileExt(), ".pgx");
    EXPECT_EQ(db.IndexExt(), ".pgxidx");
    EXPECT_EQ(db.LockExt(), ".pgxtmp");
    db.SetMainFileExt(".kbf");

    WriteFile(dir / "a.kbf", "");
    EXPECT_TRUE(db.IsDatabaseFile((dir / "a.kbf").string())); // no index beside it
    EXPECT_FALSE(db.IsDatabaseFile((dir / "a.pgn").string()));
    WriteFile(dir / "a.kbfidx", "abc"); // too short to hold a header: never read past its end
    EXPECT_TRUE(db.IsDatabaseFile((dir / "a.kbf").string()));
    std::string header(64, '\0');
    WriteFile(dir / "a.kbfidx", header);
    EXPECT_FALSE(db.IsDatabaseFile((dir / "a.kbf").string()));
    PutInt64LE(&header[32], 9876543210);
    WriteFile(dir / "a.kbfidx", header);
    EXPECT_TRUE(db.IsDatabaseFile((dir / "a.kbf").string()));
    PutInt64LE(&header[32], 0);
    PutInt64LE(&header[0], 1234567890);
    WriteFile(dir / "a.kbfidx", header.substr(0, 8));
    EXPECT_TRUE(db.IsDatabaseFile((dir / "a.kbf").string()));

    // A foreign file with our extension is refused and left alone.
    WriteFile(dir / "b.kbf", "not a database\n");
    WriteFile(dir / "b.kbfidx", std::string(64, 'z'));
    EXPECT_FALSE(db.Open((dir / "b.kbf").string()));
    EXPECT_EQ(db.LastError(), 11);
    EXPECT_EQ(ReadFile(dir / "b.kbfidx"), std::string(64, 'z'));

    // Index and lock extensions equal but for case: refused, nothing made.
    TCustomDatabase raw;
    EXPECT_FALSE(raw.OpenDatabase((dir / "c.dat").string(), ".IDX", ".idx", 0, 0, 0, 0));
    EXPECT_EQ(raw.LastError(), 10);
    EXPECT_FALSE(std::filesystem::exists(dir / "c.dat"));
    EXPECT_FALSE(std::filesystem::exists(dir / "c.idx"));
    EXPECT_TRUE(raw.FileName().empty());

    // Names are compared exactly, after resolving the path.
    EXPECT_TRUE(TChessDatabase::SameFile((dir / "a.kbf").string(), (dir / "." / "a.kbf").string()));
    EXPECT_FALSE(TChessDatabase::SameFile((dir / "a.kbf").string(), (dir / "A.kbf").string()));
}

} // namespace
