// SPDX-License-Identifier: GPL-3.0-or-later
// Edits under failing file calls: short writes, a full disk, failing syncs
// and a cancelled backup. The game file must stay intact or be put back, and
// the backup must be kept whenever it is the only copy.
#include "PGN.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <random>

using namespace kb;
namespace fs = std::filesystem;

namespace {

// Passes calls through, failing those chosen by the test.
class FaultyIO : public TPGNFileIO {
public:
    std::string gamePath;
    int gameFd = -1, backupFd = -1;
    int gameWrites = 0;
    int failGameWriteAt = 0;     // this write to the game file fails (1-based), 0 never
    bool failFromThenOn = false; // and every later one too (a full disk)
    bool failBackupWrite = false;
    bool failGameSync = false;
    bool failBackupSync = false;
    size_t maxChunk = 0; // writes take at most this many bytes; 0 no limit

    int Open(const std::string& Path, int Flags, int Mode) override {
        int fd = TPGNFileIO::Open(Path, Flags, Mode);
        if (fd >= 0 && Path == gamePath && (Flags & O_ACCMODE) == O_RDWR)
            gameFd = fd;
        else if (fd >= 0 && Path.find("/backup") != std::string::npos)
            backupFd = fd;
        return fd;
    }
    int64_t PWrite(int Fd, const void* Buf, size_t Count, int64_t Offset) override {
        if (maxChunk && Count > maxChunk) Count = maxChunk;
        if (Fd == backupFd && failBackupWrite) return Disk(Fd, Buf, Count, Offset);
        if (Fd == gameFd) {
            ++gameWrites;
            if (pending_ ||
                (failGameWriteAt && (gameWrites == failGameWriteAt ||
                                     (failFromThenOn && gameWrites > failGameWriteAt)))) {
                injected = true;
                return Disk(Fd, Buf, Count, Offset);
            }
        }
        return TPGNFileIO::PWrite(Fd, Buf, Count, Offset);
    }
    bool injected = false;
    bool Sync(int Fd) override {
        if ((Fd == gameFd && failGameSync) || (Fd == backupFd && failBackupSync)) return false;
        return TPGNFileIO::Sync(Fd);
    }

private:
    // A full disk: part of the bytes go in, the next write gets nothing.
    int64_t Disk(int Fd, const void* Buf, size_t Count, int64_t Offset) {
        if (Count > 1 && !pending_) {
            pending_ = true;
            return TPGNFileIO::PWrite(Fd, Buf, Count / 2, Offset);
        }
        pending_ = false;
        errno = ENOSPC;
        return -1;
    }
    bool pending_ = false;
};

std::string MakeFile(std::mt19937& rng, int games) {
    std::string bytes;
    for (int i = 0; i < games; ++i)
        bytes += (i ? "\r\n\r\n" : "") + pgntest::MakeGame(i, i == 2 ? 40000 : 900, rng);
    return bytes;
}

using Edit = std::function<bool(TPGN&)>;

struct Case {
    const char* name;
    Edit edit;
};

std::vector<Case> Cases(const std::string& longText, const std::string& shortText) {
    return {
        {"insert",
         [=](TPGN& p) {
             int no = 0;
             return p.InsertGame(1, no, longText);
         }},
        {"replace longer",
         [=](TPGN& p) {
             int no = 1;
             return p.ReplaceGame(no, longText);
         }},
        {"replace shorter",
         [=](TPGN& p) {
             int no = 2;
             return p.ReplaceGame(no, shortText);
         }},
        {"delete", [](TPGN& p) { return p.DeleteGame(1); }},
        {"append",
         [=](TPGN& p) {
             int no = 0;
             return p.AppendGame(no, shortText);
         }},
    };
}

} // namespace

TEST(PGNFault, FailedWriteLeavesTheFileAsItWas) {
    std::mt19937 rng(21);
    const std::string original = MakeFile(rng, 5);
    const std::string longText = pgntest::MakeGame(50, 50000, rng);
    const std::string shortText = pgntest::MakeGame(51, 300, rng);
    for (const auto& c : Cases(longText, shortText)) {
        // Fail each write in turn, until the edit needs fewer writes.
        for (int at = 1;; ++at) {
            SCOPED_TRACE(testing::Message() << c.name << ", write " << at);
            kbtest::TempDir dir;
            const auto file = dir / "g.pgn";
            kbtest::WriteFile(file, original);
            FaultyIO io;
            io.gamePath = fs::absolute(file).string();
            io.failGameWriteAt = at;
            TPGN pgn;
            pgn.SetFileIO(&io);
            ASSERT_TRUE(pgn.SetFileName(file.string()));
            const auto before = pgntest::Records(pgn);
            if (c.edit(pgn)) {
                ASSERT_FALSE(io.injected) << "an edit with a failed write reported success";
                break;
            }
            EXPECT_EQ(kbtest::ReadFile(file), original);
            EXPECT_EQ(pgntest::Records(pgn), before);
            // Put back: the backup has served its purpose.
            EXPECT_EQ(pgntest::OtherFiles(dir.path(), "g.pgn"), std::vector<std::string>{});
            // The list still describes the file, so the next try works.
            io.failGameWriteAt = 0;
            ASSERT_TRUE(c.edit(pgn));
            EXPECT_EQ(pgntest::FreshStarts(file).size(), static_cast<size_t>(pgn.GameCount()));
            ASSERT_LT(at, 200);
        }
    }
}

TEST(PGNFault, FullDiskKeepsTheBackupWhenTheRollbackFails) {
    std::mt19937 rng(22);
    const std::string original = MakeFile(rng, 5);
    const std::string longText = pgntest::MakeGame(60, 50000, rng);
    for (int at : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "write " << at);
        kbtest::TempDir dir;
        const auto file = dir / "g.pgn";
        kbtest::WriteFile(file, original);
        FaultyIO io;
        io.gamePath = fs::absolute(file).string();
        io.failGameWriteAt = at;
        io.failFromThenOn = true;
        TPGN pgn;
        pgn.SetFileIO(&io);
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        const int64_t start = pgn.Record(1).Start;
        int no = 1;
        EXPECT_FALSE(pgn.ReplaceGame(no, longText));
        // The only copy of the old tail is the backup: it stays, whole.
        const auto left = pgntest::OtherFiles(dir.path(), "g.pgn");
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(dir.path() / left[0], fs::path(pgn.BackupFileName()));
        const std::string backup = kbtest::ReadFile(dir / left[0]);
        EXPECT_EQ(original.substr(0, start) + backup, original);
        // The list no longer trusts its index.
        EXPECT_TRUE(pgn.ScanIncomplete());
        io.failGameWriteAt = 0;
        EXPECT_FALSE(pgn.DeleteGame(0));
        EXPECT_EQ(pgntest::OtherFiles(dir.path(), "g.pgn"), left);
    }
}

TEST(PGNFault, ShortWritesAreCompleted) {
    std::mt19937 rng(23);
    const std::string original = MakeFile(rng, 4);
    const std::string text = pgntest::MakeGame(70, 20000, rng);
    kbtest::TempDir dir;
    const auto file = dir / "g.pgn";
    kbtest::WriteFile(file, original);
    FaultyIO io;
    io.gamePath = fs::absolute(file).string();
    io.maxChunk = 997;
    TPGN pgn;
    pgn.SetFileIO(&io);
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    const int64_t start = pgn.Record(1).Start, end = pgn.Record(1).End;
    int no = 1;
    ASSERT_TRUE(pgn.ReplaceGame(no, text));
    std::string expected = original;
    expected.replace(start, end - start, text + "\r\n\r\n");
    EXPECT_EQ(kbtest::ReadFile(file), expected);
}

TEST(PGNFault, FailedBackupOrSyncTouchesNothing) {
    std::mt19937 rng(24);
    const std::string original = MakeFile(rng, 4);
    for (int variant = 0; variant < 4; ++variant) {
        SCOPED_TRACE(testing::Message() << "variant " << variant);
        kbtest::TempDir dir;
        const auto file = dir / "g.pgn";
        kbtest::WriteFile(file, original);
        FaultyIO io;
        io.gamePath = fs::absolute(file).string();
        io.failBackupWrite = variant == 0;
        io.failBackupSync = variant == 1;
        io.failGameSync = variant == 2;
        TPGN pgn;
        pgn.SetFileIO(&io);
        bool sawBackupEnd = false;
        pgn.OnPGNTrace = [&](TPGN*, int percent, TCancelMode& mode) {
            if (percent == -1)
                sawBackupEnd = true;
            else if (variant == 3 && percent > 0 && mode == cmGoOn)
                mode = cmCancel;
        };
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        const auto before = pgntest::Records(pgn);
        EXPECT_FALSE(pgn.DeleteGame(0));
        EXPECT_TRUE(sawBackupEnd);
        EXPECT_EQ(kbtest::ReadFile(file), original);
        EXPECT_EQ(pgntest::Records(pgn), before);
        if (variant == 2) {
            // The bytes are back, but a file that cannot be synced may not
            // hold them: the backup stays and the list takes no more edits.
            EXPECT_EQ(pgntest::OtherFiles(dir.path(), "g.pgn").size(), 1u);
            EXPECT_TRUE(pgn.ScanIncomplete());
        } else {
            EXPECT_EQ(pgntest::OtherFiles(dir.path(), "g.pgn"), std::vector<std::string>{});
            EXPECT_EQ(io.gameWrites, 0) << "the game file was written";
        }
    }
}
