// SPDX-License-Identifier: GPL-3.0-or-later
// The database engine: open, check and repair, locking, compress, events.
#include "ChessDatabase.h"
#include "DbTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

using namespace kb;
using dbtest::IndexValues;
using kbtest::ReadFile;
using kbtest::WriteFile;
namespace fs = std::filesystem;

namespace {

std::string Payload(int i) {
    return "game " + std::to_string(i) + std::string(static_cast<size_t>(i % 7), '*');
}

void Fill(TChessDatabase& db, int n) {
    for (int i = 0; i < n; ++i) {
        int64_t index = -1;
        ASSERT_TRUE(db.AddRecord(index, Payload(i)));
        ASSERT_EQ(index, i);
    }
}

std::string ReadPayload(TChessDatabase& db, int64_t i, bool* deleted = nullptr) {
    std::string key, payload;
    bool d = false;
    EXPECT_TRUE(db.ReadRecord(key, payload, d, i)) << "game " << i;
    if (deleted) *deleted = d;
    return payload;
}

TEST(DbEngine, ReadDeletedAndReviveByReplace) {
    kbtest::TempDir dir;
    TChessDatabase db;
    ASSERT_TRUE(db.Open((dir / "g.kbf").string(), true));
    Fill(db, 4);
    ASSERT_TRUE(db.DeleteGame(2));
    EXPECT_EQ(db.GetValidCount(), 3);
    std::string key, text;
    bool deleted = false;
    // Without SkipDeleted the old text comes back, marked deleted.
    EXPECT_EQ(db.Read(key, text, 2, -1, true, false, 0, deleted), 0);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(TChessDatabase::StripRecordPrefix(text), Payload(2));
    EXPECT_EQ(db.Read(key, text, 2, -1, true, true, 0, deleted), 1);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(db.Read(key, text, 9, -1, true, false, 0, deleted), -1);
    EXPECT_EQ(db.LastError(), 4);

    ASSERT_TRUE(db.ReplaceRecord("revived", 2));
    EXPECT_EQ(db.GetValidCount(), 4);
    EXPECT_EQ(db.GetCount(), 4);
    EXPECT_EQ(ReadPayload(db, 2, &deleted), "revived");
    EXPECT_FALSE(deleted);
    // A live game replaced keeps the count.
    ASSERT_TRUE(db.ReplaceRecord("again", 0));
    EXPECT_EQ(db.GetValidCount(), 4);
    EXPECT_FALSE(db.ReplaceRecord("x", 4));
    EXPECT_EQ(db.LastError(), 4);
    EXPECT_FALSE(db.DeleteGame(-1));
}

TEST(DbEngine, ReadStopsAtTheRecordEndAcrossBlocks) {
    kbtest::TempDir dir;
    TCustomDatabase db;
    ASSERT_TRUE(db.OpenDatabase((dir / "r.dat").string(), ".ix", ".lk", 1, 2, 3, 4, true));
    // Lengths around the read block size, each followed by another record
    // whose bytes must not leak in.
    std::string key;
    std::vector<std::string> texts;
    for (size_t len : {0, 1, 2047, 2048, 2049, 4096, 5000}) {
        texts.push_back(std::string(len, 'a' + static_cast<char>(texts.size())));
        ASSERT_TRUE(db.Add(key, texts.back(), false));
    }
    // The last record ends at the end of the file, after a short read.
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string text;
        bool deleted = true;
        ASSERT_EQ(db.Read(key, text, static_cast<int64_t>(i), -1, false, false, 0, deleted), 0);
        EXPECT_EQ(text, texts[i]) << "record " << i;
    }
    // MaxLen stops after the block that passed it.
    std::string text;
    bool deleted;
    ASSERT_EQ(db.Read(key, text, 6, -1, false, false, 10, deleted), 0);
    EXPECT_EQ(text.size(), 2048u);
    // A raw text holding 0x00 is refused.
    EXPECT_FALSE(db.Add(key, std::string("a\0b", 3), true));
    EXPECT_EQ(db.LastError(), 8);
    EXPECT_EQ(db.GetCount(), 7);
    // Header owner values come from the opener.
    const auto idx = IndexValues(ReadFile(dir / "r.ix"));
    EXPECT_EQ(std::vector<int64_t>(idx.begin() + 4, idx.begin() + 8),
              (std::vector<int64_t>{1, 2, 3, 4}));
}

TEST(DbEngine, SecondOpenerIsRefusedUntilTheFirstCloses) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    TChessDatabase a, b;
    ASSERT_TRUE(a.Open(name, true));
    EXPECT_TRUE(a.LockHeld());
    EXPECT_FALSE(b.Open(name, true));
    EXPECT_EQ(b.LastError(), 3);
    EXPECT_TRUE(b.FileName().empty());
    a.Close();
    EXPECT_TRUE(fs::exists(dir / "g.kbftmp")); // closed, not deleted
    EXPECT_TRUE(b.Open(name, true));
}

TEST(DbEngine, ReadOnlyMainFileStaysReadOnly) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        Fill(db, 3);
    }
    fs::remove(dir / "g.kbftmp");
    fs::permissions(dir / "g.kbf",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = ReadFile(dir / "g.kbf");
    TChessDatabase db;
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_TRUE(db.ReadOnly());
    EXPECT_FALSE(db.LockHeld());
    EXPECT_FALSE(fs::exists(dir / "g.kbftmp"));
    EXPECT_EQ(ReadPayload(db, 1), Payload(1));
    int64_t n;
    EXPECT_FALSE(db.AddRecord(n, "x"));
    EXPECT_FALSE(db.DeleteGame(0));
    EXPECT_FALSE(db.ReplaceRecord("x", 0));
    db.Close();
    EXPECT_TRUE(fs::status(dir / "g.kbf").permissions() ==
                (fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read));
    EXPECT_EQ(ReadFile(dir / "g.kbf"), before);
}

TEST(DbEngine, ReadOnlyTornRecordGivesOnlyItsOwnBytes) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TCustomDatabase db;
        ASSERT_TRUE(db.OpenDatabase(name, ".kbfidx", ".kbftmp", 0, 0, 0, 0, true));
        std::string key;
        ASSERT_TRUE(db.Add(key, std::string(5000, 'a'), true));
        ASSERT_TRUE(db.Add(key, std::string(3000, 'b'), true));
    }
    // The last record loses its end; the main file cannot be repaired.
    std::string main = ReadFile(dir / "g.kbf");
    main.resize(main.size() - 1000);
    WriteFile(dir / "g.kbf", main);
    fs::permissions(dir / "g.kbf", fs::perms::owner_read);
    TCustomDatabase db;
    ASSERT_TRUE(db.OpenDatabase(name, ".kbfidx", ".kbftmp", 0, 0, 0, 0, true));
    ASSERT_TRUE(db.ReadOnly());
    std::string key, text;
    bool deleted;
    // The short last read must not bring back bytes of the block before.
    ASSERT_EQ(db.Read(key, text, 1, -1, true, false, 0, deleted), 0);
    EXPECT_EQ(text, std::string(2001, 'b')); // 3000 bytes and the end, 1000 of them lost
}

TEST(DbEngine, TornTailIsCutBackNotRebuilt) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        Fill(db, 3);
        ASSERT_TRUE(db.DeleteGame(1));
    }
    const std::string good = ReadFile(dir / "g.kbf");
    const std::string index = ReadFile(dir / "g.kbfidx");
    WriteFile(dir / "g.kbf", good + "\x01half a rec");
    TChessDatabase db;
    int rebuilds = 0;
    db.OnBeforeCreateIndex = [&](TCustomDatabase*) { ++rebuilds; };
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_EQ(rebuilds, 0);
    EXPECT_EQ(ReadFile(dir / "g.kbf"), good);
    EXPECT_EQ(ReadFile(dir / "g.kbfidx"), index);
    bool deleted = false;
    ReadPayload(db, 1, &deleted);
    EXPECT_TRUE(deleted);
    db.Close();

    // The same tail is kept when the index cannot vouch that nothing names
    // it: a slot lost from the end of the index (the count is higher than
    // the live slots), or an index that ends in part of a slot.
    for (const size_t indexCut : {size_t{8}, size_t{3}}) {
        SCOPED_TRACE("index cut by " + std::to_string(indexCut));
        const std::string torn = good + "\x01half a rec";
        WriteFile(dir / "g.kbf", torn);
        std::string shorter = index;
        if (indexCut == 8) {
            // Game 2 is the last live one: its slot goes, the count stays.
            shorter.resize(shorter.size() - 8);
        } else {
            shorter += std::string(indexCut, '\x05');
        }
        WriteFile(dir / "g.kbfidx", shorter);
        ASSERT_TRUE(db.Open(name, true));
        EXPECT_EQ(ReadFile(dir / "g.kbf"), torn + '\0');
        // Every record is listed again, the tail as one more game.
        EXPECT_EQ(db.GetCount(), 4);
        EXPECT_EQ(ReadPayload(db, 2), Payload(2));
        db.Close();
    }

    // A crash in the very first add can leave one byte.
    ASSERT_TRUE(db.Open((dir / "n.kbf").string(), true));
    db.Close();
    WriteFile(dir / "n.kbf", "\x01");
    ASSERT_TRUE(db.Open((dir / "n.kbf").string()));
    EXPECT_EQ(db.GetCount(), 0);
    EXPECT_EQ(ReadFile(dir / "n.kbf"), "");
}

TEST(DbEngine, CheckFailures) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        Fill(db, 5);
        ASSERT_TRUE(db.DeleteGame(3));
    }
    std::string index = ReadFile(dir / "g.kbfidx");
    const std::string main = ReadFile(dir / "g.kbf");

    // A slot pointing at the end of the file fails the check: rebuilt, and
    // the deletion mark of game 3 survives the rebuild.
    std::string bad = index;
    PutInt64LE(&bad[(8 + 4) * 8], static_cast<int64_t>(main.size()) + 1);
    WriteFile(dir / "g.kbfidx", bad);
    TChessDatabase db;
    int rebuilds = 0;
    db.OnBeforeCreateIndex = [&](TCustomDatabase*) { ++rebuilds; };
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_EQ(rebuilds, 1);
    EXPECT_EQ(db.GetCount(), 5);
    EXPECT_EQ(db.GetValidCount(), 4);
    bool deleted = false;
    EXPECT_EQ(ReadPayload(db, 3, &deleted), Payload(3));
    EXPECT_TRUE(deleted);
    EXPECT_GT(db.GetWasted(), 0); // compress can still reclaim it
    db.Close();

    // The count lags behind the slots (a crash between slot and header):
    // put right in place, numbering untouched.
    std::string off = index;
    PutInt64LE(&off[16], 3);
    WriteFile(dir / "g.kbfidx", off);
    rebuilds = 0;
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_EQ(rebuilds, 0);
    EXPECT_EQ(db.GetValidCount(), 4);
    db.Close();
    EXPECT_EQ(ReadFile(dir / "g.kbfidx"), index);

    // More games counted than slots hold them: slots were lost, so the index
    // is rebuilt from the main file and the last game comes back.
    std::string cut = index.substr(0, index.size() - 8);
    WriteFile(dir / "g.kbfidx", cut);
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_EQ(rebuilds, 1);
    EXPECT_EQ(db.GetCount(), 5);
    EXPECT_EQ(db.GetValidCount(), 4);
    EXPECT_EQ(ReadPayload(db, 4), Payload(4));
    db.Close();
    EXPECT_EQ(ReadFile(dir / "g.kbfidx"), index);
    rebuilds = 0;
    PutInt64LE(&off[16], 7);

    // A check that runs out of time means not verified, not corrupt.
    double now = 0;
    db.Clock = [&] { return now += 20; };
    WriteFile(dir / "g.kbfidx", off);
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_EQ(rebuilds, 0);
    EXPECT_EQ(IndexValues(ReadFile(dir / "g.kbfidx")), IndexValues(off));
}

TEST(DbEngine, RebuildKeepsDeletedAndDropsReplacedVersions) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        Fill(db, 4);
        ASSERT_TRUE(db.ReplaceRecord("new one", 1));
        ASSERT_TRUE(db.DeleteGame(2));
    }
    // Index lost: only the main file is left.
    fs::remove(dir / "g.kbfidx");
    TChessDatabase db;
    ASSERT_TRUE(db.Open(name, true));
    // The replaced version does not come back; game numbers follow the file.
    EXPECT_EQ(db.GetValidCount(), 4); // games 0, 2 (no mark left), 3, new 1
    std::vector<std::string> live;
    for (int64_t i = 0; i < db.GetCount(); ++i) {
        bool deleted = false;
        const std::string p = ReadPayload(db, i, &deleted);
        if (!deleted) live.push_back(p);
    }
    EXPECT_EQ(live, (std::vector<std::string>{Payload(0), Payload(2), Payload(3), "new one"}));
}

TEST(DbEngine, CancelledRebuildLeavesTheOldIndex) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        Fill(db, 6);
    }
    std::string index = ReadFile(dir / "g.kbfidx");
    PutInt64LE(&index[(8 + 2) * 8], 3); // not a record start
    WriteFile(dir / "g.kbfidx", index);
    TChessDatabase db;
    int errors = 0, zeroes = 0, steps = 0;
    db.OnFileError = [&](TCustomDatabase*) { ++errors; };
    db.OnRebuildProgress = [&](TCustomDatabase*, bool& cancel, int percent) {
        if (percent == 0) ++zeroes;
        if (++steps == 3) cancel = true;
    };
    EXPECT_FALSE(db.Open(name, true));
    EXPECT_EQ(db.LastError(), 1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(zeroes, 1);
    EXPECT_EQ(ReadFile(dir / "g.kbfidx"), index);
    EXPECT_FALSE(fs::exists(dir / "g.rebuildtmp"));
    // The lock is free again.
    TChessDatabase other;
    EXPECT_TRUE(other.Open(name, true));
}

TEST(DbEngine, CompressKeepsBusyAndRefusesReentry) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    TChessDatabase db;
    ASSERT_TRUE(db.Open(name, true));
    // Nothing wasted: nothing to do.
    Fill(db, 10);
    const std::string before = ReadFile(dir / "g.kbf");
    EXPECT_FALSE(db.Compress());
    EXPECT_EQ(db.LastError(), 0);
    EXPECT_EQ(ReadFile(dir / "g.kbf"), before);
    EXPECT_EQ(db.Generation(), 0);

    ASSERT_TRUE(db.DeleteGame(0));
    ASSERT_TRUE(db.DeleteGame(5));
    ASSERT_TRUE(db.ReplaceRecord("changed", 7));
    // An add from inside a progress event (message pumping) must fail at
    // once, all through the run: neither lost nor half written.
    int calls = 0, refused = 0;
    auto tryAdd = [&](TCustomDatabase*, bool&, int) {
        ++calls;
        int64_t n;
        std::string key, text;
        bool deleted;
        if (!db.AddRecord(n, "sneaked") && db.GetCount() == 0 &&
            db.Read(key, text, 0, -1, true, false, 0, deleted) == -1)
            ++refused;
    };
    db.OnCheckProgress = tryAdd;
    ASSERT_TRUE(db.Compress());
    EXPECT_GT(calls, 10);
    EXPECT_EQ(refused, calls);
    EXPECT_EQ(db.Generation(), 1);
    EXPECT_EQ(db.GetCount(), 8);
    EXPECT_EQ(db.GetValidCount(), 8);
    EXPECT_EQ(db.GetWasted(), 0);
    std::vector<std::string> want;
    for (int i : {1, 2, 3, 4, 6})
        want.push_back(Payload(i));
    want.push_back("changed");
    want.push_back(Payload(8));
    want.push_back(Payload(9));
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(ReadPayload(db, static_cast<int64_t>(i)), want[i]);
    EXPECT_TRUE(db.GameKey(3).starts_with("1-3:"));
    EXPECT_FALSE(fs::exists(dir / "g.maintmp"));
    EXPECT_FALSE(fs::exists(dir / "g.indextmp"));
}

// Files of the user's named like the leftovers of a compress or an index
// rebuild, game text inside, stay byte for byte through opens, whatever the
// lock file says, and block a compress rather than be overwritten; the
// database opens as it stands. Only what the compress leaves is taken, under
// its mark in the lock file: a half pair goes, a committed swap is finished.
TEST(DbEngine, OnlyLeftoversProvenOursAreTaken) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        Fill(db, 6);
        ASSERT_TRUE(db.DeleteGame(1)); // wasted bytes: a compress has work
    }
    const std::string main = ReadFile(dir / "g.kbf"), index = ReadFile(dir / "g.kbfidx");
    const std::string text = "[Event \"Mine\"]\r\n[White \"A\"]\r\n[Black \"B\"]\r\n"
                             "[Result \"*\"]\r\n\r\n1. e4 e5 2. Nf3 *\r\n\r\n";
    auto lockSays = [&](char Byte) { WriteFile(dir / "g.kbftmp", std::string(1, Byte)); };
    auto files = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.insert(e.path().filename().string());
        return names;
    };
    auto opensWith = [&](int64_t Games, int64_t Valid) {
        TChessDatabase db;
        if (!db.Open(name)) return ::testing::AssertionFailure() << "code " << db.LastError();
        if (db.GetCount() != Games || db.GetValidCount() != Valid)
            return ::testing::AssertionFailure() << db.GetCount() << " / " << db.GetValidCount();
        return ::testing::AssertionSuccess();
    };
    const std::vector<std::vector<std::string>> sets = {
        {"g.maintmp"}, {"g.indextmp"}, {"g.maintmp", "g.indextmp"}, {"g.rebuildtmp"}};
    for (const auto& mine : sets) {
        for (char mark : {LockClean, LockInUse, LockCompressing, LockRebuilding}) {
            lockSays(mark);
            for (const auto& f : mine)
                WriteFile(dir / f, text);
            EXPECT_TRUE(opensWith(6, 5)) << mine[0] << " mark " << int(mark);
            for (const auto& f : mine)
                EXPECT_EQ(ReadFile(dir / f), text) << f << " mark " << int(mark);
            EXPECT_EQ(ReadFile(name), main);
            EXPECT_EQ(ReadFile(dir / "g.kbfidx"), index);
            // Under these names a compress has no room: it leaves all as it is.
            if (mine[0] != "g.rebuildtmp") {
                TChessDatabase db;
                ASSERT_TRUE(db.Open(name));
                EXPECT_FALSE(db.Compress());
                EXPECT_EQ(db.LastError(), 9);
                db.Close();
                for (const auto& f : mine)
                    EXPECT_EQ(ReadFile(dir / f), text) << f;
                EXPECT_EQ(ReadFile(name), main);
            }
            for (const auto& f : mine)
                fs::remove(dir / f);
        }
    }
    // An index that fails the check is rebuilt beside a g.rebuildtmp of the
    // user's, under another name, and nothing of the rebuild stays.
    WriteFile(dir / "g.rebuildtmp", text);
    std::string broken = index;
    PutInt64LE(&broken[(8 + 2) * 8], 3); // not a record start
    WriteFile(dir / "g.kbfidx", broken);
    EXPECT_TRUE(opensWith(6, 5));
    EXPECT_EQ(ReadFile(dir / "g.rebuildtmp"), text);
    EXPECT_EQ(files(), (std::set<std::string>{"g.kbf", "g.kbfidx", "g.kbftmp", "g.rebuildtmp"}));
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name));
        ASSERT_TRUE(db.Compress());
        EXPECT_EQ(db.GetCount(), 5);
    }
    EXPECT_EQ(ReadFile(dir / "g.rebuildtmp"), text);
    fs::remove(dir / "g.rebuildtmp");

    // The compress's own: a half pair under its mark goes...
    const std::string compressed = ReadFile(name), compressedIndex = ReadFile(dir / "g.kbfidx");
    lockSays(LockCompressing);
    WriteFile(dir / "g.indextmp", compressedIndex.substr(0, 9 * 8).replace(0, 64, 64, '\0'));
    WriteFile(dir / "g.maintmp", compressed.substr(0, compressed.find('\0') + 1) + "\x01half");
    EXPECT_TRUE(opensWith(5, 5));
    EXPECT_EQ(files(), (std::set<std::string>{"g.kbf", "g.kbfidx", "g.kbftmp"}));
    // ...and a committed swap, the new index in place, is finished: the
    // index describes exactly the records of the lone main temporary.
    const std::string first = compressed.substr(0, compressed.find('\0') + 1);
    std::string small = compressedIndex.substr(0, 9 * 8);
    PutInt64LE(&small[ihValid * 8], 1);
    for (char mark : {LockInUse, LockCompressing}) {
        WriteFile(name, compressed);
        WriteFile(dir / "g.kbfidx", small);
        WriteFile(dir / "g.maintmp", first);
        lockSays(mark);
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name));
        if (mark == LockCompressing) {
            EXPECT_EQ(ReadFile(name), first);
            EXPECT_EQ(db.GetCount(), 1);
            EXPECT_EQ(ReadPayload(db, 0), Payload(0));
        } else {
            // No mark: not proven ours.
            EXPECT_EQ(ReadFile(dir / "g.maintmp"), first);
            EXPECT_EQ(ReadFile(name), compressed);
        }
    }
    // A main temporary the index does not describe stays, even under the mark.
    WriteFile(name, compressed);
    WriteFile(dir / "g.kbfidx", compressedIndex);
    WriteFile(dir / "g.maintmp", first);
    lockSays(LockCompressing);
    EXPECT_TRUE(opensWith(5, 5));
    EXPECT_EQ(ReadFile(dir / "g.maintmp"), first);
    EXPECT_EQ(ReadFile(name), compressed);
}

TEST(DbEngine, SampledCheckAndBatchMode) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    TChessDatabase db;
    ASSERT_TRUE(db.Open(name, true));
    db.SetKeepOpen(true);
    for (int i = 0; i < 1000; ++i) {
        std::string key;
        ASSERT_TRUE(db.AddRecordKey(key, Payload(i)));
        EXPECT_EQ(key, "0-" + std::to_string(i) + ":" + name);
    }
    // Queued, not yet in the files; readable through the database already.
    EXPECT_EQ(IndexValues(ReadFile(dir / "g.kbfidx")).size(), 8u);
    EXPECT_EQ(ReadPayload(db, 999), Payload(999));
    EXPECT_EQ(IndexValues(ReadFile(dir / "g.kbfidx")).size(), 1008u);
    std::string key;
    ASSERT_TRUE(db.AddRecordKey(key, "last"));
    ASSERT_TRUE(db.Flush());
    EXPECT_EQ(IndexValues(ReadFile(dir / "g.kbfidx"))[2], 1001);
    db.SetKeepOpen(false);
    db.Close();

    int steps = 0;
    db.OnCheckStep = [&](TCustomDatabase*, int64_t& step, bool&) {
        ++steps;
        step = 99;
    };
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_LE(steps, 12);
    EXPECT_EQ(db.GetCount(), 1001);
    db.Close();
    // After a session that did not close, every slot is looked at.
    {
        auto lock = TFileSystem::Posix().Open((dir / "g.kbftmp").string(), TOpenMode::ReadWrite);
        ASSERT_TRUE(lock->WriteAt(0, "\x01", 1));
    }
    steps = 0;
    ASSERT_TRUE(db.Open(name, true));
    EXPECT_EQ(steps, 1001);
}

TEST(DbEngine, OtherWritersRaiseTheGeneration) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    TChessDatabase db;
    ASSERT_TRUE(db.Open(name, true));
    Fill(db, 2);
    EXPECT_EQ(db.Generation(), 0);
    // Another program appends to the main file behind our back.
    {
        auto f = TFileSystem::Posix().Open(name, TOpenMode::ReadWrite);
        ASSERT_TRUE(f->WriteAt(f->Size(), "\x01z", 3));
    }
    EXPECT_EQ(db.GetCount(), 2);
    EXPECT_EQ(db.Generation(), 1);
    EXPECT_EQ(db.GetCount(), 2);
    EXPECT_EQ(db.Generation(), 1);
}

TEST(DbEngine, DeleteDatabaseFiles) {
    kbtest::TempDir dir;
    TChessDatabase db;
    EXPECT_TRUE(db.DeleteDatabaseFiles()); // nothing open
    ASSERT_TRUE(db.Open((dir / "g.kbf").string(), true));
    Fill(db, 1);
    EXPECT_TRUE(db.DeleteDatabaseFiles());
    EXPECT_TRUE(db.FileName().empty());
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

} // namespace

namespace {

// Damage to the index never costs a game its text: after reopening, every
// game that was in the database can still be read (perhaps marked deleted).
TEST(DbEngine, DamagedIndexLosesNoGameText) {
    const uint64_t seed =
        std::getenv("KB_TEST_SEED") ? std::strtoull(std::getenv("KB_TEST_SEED"), nullptr, 10) : 5;
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    std::mt19937_64 rng(seed);
    kbtest::TempDir dir;
    for (int round = 0; round < 150; ++round) {
        const std::string name = (dir / ("d" + std::to_string(round) + ".kbf")).string();
        std::vector<std::string> live;
        {
            TChessDatabase db;
            ASSERT_TRUE(db.Open(name, true));
            const int n = 1 + static_cast<int>(rng() % 30);
            for (int i = 0; i < n; ++i) {
                int64_t k;
                ASSERT_TRUE(db.AddRecord(k, dbtest::RandomPayload(rng)));
            }
            for (int i = 0; i < n / 3; ++i) {
                const auto k = static_cast<int64_t>(rng() % n);
                if (rng() % 2)
                    ASSERT_TRUE(db.ReplaceRecord(dbtest::RandomPayload(rng), k));
                else
                    ASSERT_TRUE(db.DeleteGame(k));
            }
            for (int64_t i = 0; i < n; ++i) {
                bool deleted = false;
                const std::string p = ReadPayload(db, i, &deleted);
                if (!deleted) live.push_back(p);
            }
        }
        std::string index = ReadFile(dir / ("d" + std::to_string(round) + ".kbfidx"));
        const int damage = static_cast<int>(rng() % 4);
        SCOPED_TRACE("damage " + std::to_string(damage));
        switch (damage) {
        case 0:
            index.resize(rng() % (index.size() + 1));
            break; // cut
        case 1:
            for (int i = 0; i < 3; ++i)
                index[rng() % index.size()] = static_cast<char>(rng()); // flipped bytes
            break;
        case 2:
            index += std::string(1 + rng() % 20, static_cast<char>(rng()));
            break; // garbage after
        default:
            index.clear();
            break;
        }
        WriteFile(dir / ("d" + std::to_string(round) + ".kbfidx"), index);
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true)) << "round " << round << " code " << db.LastError();
        std::multiset<std::string> found;
        for (int64_t i = 0; i < db.GetCount(); ++i) {
            std::string key, payload;
            bool deleted;
            if (db.ReadRecord(key, payload, deleted, i)) found.insert(payload);
        }
        for (const auto& p : live) {
            auto it = found.find(p);
            ASSERT_NE(it, found.end())
                << "round " << round << ": a game of " << p.size() << " bytes is gone";
            found.erase(it);
        }
        db.Compress(); // whatever it finds, it must not fail the files
        db.Close();
        ASSERT_TRUE(db.Open(name, true)) << "round " << round;
    }
}

} // namespace

namespace {

// Whatever happens to the main file, opening, reading and compressing give
// results, not crashes, and the database opens again afterwards. A file
// damaged beyond a cut-off last record is refused, and stays as it was.
TEST(DbEngine, DamagedMainFileOpens) {
    const uint64_t seed =
        std::getenv("KB_TEST_SEED") ? std::strtoull(std::getenv("KB_TEST_SEED"), nullptr, 10) : 6;
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    std::mt19937_64 rng(seed);
    kbtest::TempDir dir;
    int refused = 0;
    for (int round = 0; round < 100; ++round) {
        const std::string base = "m" + std::to_string(round);
        const std::string name = (dir / (base + ".kbf")).string();
        {
            TChessDatabase db;
            ASSERT_TRUE(db.Open(name, true));
            const int n = 1 + static_cast<int>(rng() % 20);
            for (int i = 0; i < n; ++i) {
                int64_t k;
                ASSERT_TRUE(db.AddRecord(k, dbtest::RandomPayload(rng)));
            }
            ASSERT_TRUE(db.DeleteGame(0));
        }
        std::string main = ReadFile(dir / (base + ".kbf"));
        for (int i = 0; i < 4; ++i)
            main[rng() % main.size()] = static_cast<char>(rng() % 3 ? 0 : rng());
        if (rng() % 2) main.resize(rng() % (main.size() + 1));
        WriteFile(dir / (base + ".kbf"), main);
        const std::string index = ReadFile(dir / (base + ".kbfidx"));
        TChessDatabase db;
        if (!db.Open(name)) {
            ASSERT_EQ(db.LastError(), dbeNotDatabase) << "round " << round;
            EXPECT_EQ(ReadFile(dir / (base + ".kbf")), main) << "round " << round;
            EXPECT_EQ(ReadFile(dir / (base + ".kbfidx")), index) << "round " << round;
            ++refused;
            continue;
        }
        for (int64_t i = 0; i < db.GetCount(); ++i) {
            std::string key, pgn;
            bool deleted;
            ASSERT_TRUE(db.ReadGame(key, pgn, deleted, i)) << "round " << round << " game " << i;
        }
        db.Compress();
        db.Close();
        ASSERT_TRUE(db.Open(name)) << "round " << round << " code " << db.LastError();
        EXPECT_GE(db.GetCount(), db.GetValidCount());
    }
    // Both ways are taken.
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, 100);
}

} // namespace

// A slot of 0 or a slot naming the record of another slot is damage,
// found by the open whether it samples the index or reads all of it; the
// rebuild keeps the deletion mark of a deleted game.
TEST(DbEngine, ZeroAndRepeatedSlotsAreRebuilt) {
    kbtest::TempDir dir;
    const std::string name = (dir / "g.kbf").string();
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        Fill(db, 20);
        ASSERT_TRUE(db.DeleteGame(7));
    }
    const std::string index = ReadFile(dir / "g.kbfidx");
    auto slot = [&](int i) { return index.substr(static_cast<size_t>(8 + i) * 8, 8); };
    std::string zeroInside = index;
    PutInt64LE(&zeroInside[(8 + 4) * 8], 0);
    std::string twoOnOne = index;
    twoOnOne.replace((8 + 12) * 8, 8, slot(3));
    const std::vector<std::pair<const char*, std::string>> damages = {
        {"zero tail", index + std::string(800, '\0')}, {"zero slot inside", zeroInside},
        {"two slots on one record", twoOnOne},         {"deleted slot repeated", index + slot(7)},
        {"repeated tail", index + index.substr(64)},
    };
    for (const bool sampled : {true, false}) {
        for (const auto& [what, bytes] : damages) {
            SCOPED_TRACE(std::string(what) + (sampled ? ", sampled" : ", full"));
            WriteFile(dir / "g.kbfidx", bytes);
            if (!sampled) {
                auto lock =
                    TFileSystem::Posix().Open((dir / "g.kbftmp").string(), TOpenMode::ReadWrite);
                ASSERT_TRUE(lock->WriteAt(0, "\x01", 1)); // a session that did not close
            }
            TChessDatabase db;
            int rebuilds = 0;
            db.OnBeforeCreateIndex = [&](TCustomDatabase*) { ++rebuilds; };
            db.OnCheckStep = [&](TCustomDatabase*, int64_t& step, bool&) {
                if (sampled) step = 5;
            };
            ASSERT_TRUE(db.Open(name, true));
            EXPECT_EQ(rebuilds, 1);
            ASSERT_EQ(db.GetCount(), 20);
            EXPECT_EQ(db.GetValidCount(), 19);
            for (int i = 0; i < 20; ++i) {
                bool deleted = false;
                EXPECT_EQ(ReadPayload(db, i, &deleted), Payload(i));
                EXPECT_EQ(deleted, i == 7);
            }
        }
    }
}
