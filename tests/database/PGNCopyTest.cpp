// SPDX-License-Identifier: GPL-3.0-or-later
// Copies between game lists without a window: the memory a copy leaves
// behind does not grow with the number of copies; another writer's short
// hold of the target waits, a long one stops the copy with counts that
// match the file.
#include "PGNCopy.h"
#include "ChessDatabase.h"
#include "Notation.h"
#include "PGN.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <numeric>

using namespace kb;

namespace {

// Resident bytes of this process now.
int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Each copy of real games into a new database runs its conversion on worker
// threads; the moves those threads freed must serve the next copy, not stay
// with the ended threads.
TEST(PGNCopy, TenCopiesLeaveMemoryFlat) {
    kbtest::TempDir dir;
    const auto games =
        kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")));
    ASSERT_GT(games.size(), 2500u);
    std::string text;
    for (size_t g = 0; g < 2500; ++g)
        text += games[g];
    kbtest::WriteFile(dir / "src.pgn", text);
    TPGN source;
    ASSERT_TRUE(source.SetFileName((dir / "src.pgn").string()));
    ASSERT_EQ(source.ItemCount(), 2500);
    std::vector<int> rows(2500);
    std::iota(rows.begin(), rows.end(), 0);

    size_t blocksAfterFirst = 0;
    int64_t residentAfterFirst = 0;
    for (int copy = 0; copy < 10; ++copy) {
        TNotation notation;
        TPGN target;
        target.DatabaseNotation = &notation;
        const auto name = dir / ("copy" + std::to_string(copy) + ".kbf");
        ASSERT_TRUE(target.SetFileName(name.string()));
        const TCopyResult r = copyGames(source, rows, target, -1);
        ASSERT_EQ(r.Copied, 2500);
        ASSERT_EQ(r.Failed, 0);
        ASSERT_EQ(target.ItemCount(), 2500);
        if (copy == 0) {
            blocksAfterFirst = NodePoolBlocks();
            residentAfterFirst = ResidentBytes();
        }
    }
    if (blocksAfterFirst == 0) GTEST_SKIP() << "built without the move pool";
    // One more chunk of moves at most, where the threads' lists happened to
    // be split unevenly; the old stranded lists grew by ten times that.
    EXPECT_LE(NodePoolBlocks(), blocksAfterFirst + 1024);
    EXPECT_LE(ResidentBytes(), residentAfterFirst + (int64_t{1} << 20));
    std::cout << "moves held: " << blocksAfterFirst << " after the first copy, " << NodePoolBlocks()
              << " after the tenth; resident " << residentAfterFirst / 1024 << " KiB, "
              << ResidentBytes() / 1024 << " KiB\n";
}

// Another process takes the lock of File and holds it for Ms milliseconds
// (for ever with -1, until killed). Returns once the lock is held.
pid_t HoldLock(const std::filesystem::path& File, int Ms) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(File.c_str(), O_RDONLY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(2);
        if (::write(ready[1], "x", 1) != 1) ::_exit(3);
        if (Ms < 0)
            for (;;)
                ::pause();
        ::usleep(static_cast<useconds_t>(Ms) * 1000);
        ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    const bool held = pid > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    return held ? pid : -1;
}

// A copy of two real files' games (two batches) into a PGN list; once the
// first batch is on disk another writer holds the file. For a second the
// copy waits and then completes; for longer it stops, and the games it
// says went in and did not are those the file holds and lacks.
TEST(PGNCopy, AShortHoldIsWaitedForALongOneStopsTheCopyWithTrueCounts) {
    kbtest::TempDir dir;
    const std::string text = kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")) + "\r\n" +
                             kbtest::ReadFile(kbtest::TestData("pgn/Carlsen.pgn"));
    kbtest::WriteFile(dir / "src.pgn", text);
    TPGN source;
    ASSERT_TRUE(source.SetFileName((dir / "src.pgn").string()));
    const int total = source.ItemCount();
    ASSERT_EQ(static_cast<size_t>(total), pgntest::PlainStarts(text).size());
    std::vector<int> rows(static_cast<size_t>(total));
    std::iota(rows.begin(), rows.end(), 0);
    const std::string three = "[Event \"a\"]\r\n\r\n*\r\n\r\n[Event \"b\"]\r\n\r\n*\r\n\r\n"
                              "[Event \"c\"]\r\n\r\n*\r\n";

    for (const bool longHold : {false, true}) {
        SCOPED_TRACE(longHold ? "held for long" : "held for a second");
        const auto file = dir / (longHold ? "long.pgn" : "short.pgn");
        kbtest::WriteFile(file, three);
        TPGN target;
        ASSERT_TRUE(target.SetFileName(file.string()));
        if (longHold) target.SetLockWait(std::chrono::milliseconds(300));
        pid_t holder = -1;
        int batches = 0;
        TCopyOptions options;
        options.Written = [&](size_t, size_t) {
            if (++batches == 1) holder = HoldLock(file, longHold ? -1 : 1000);
        };
        const TCopyResult r = copyGames(source, rows, target, -1, options);
        ASSERT_GT(holder, 0);
        if (longHold) ::kill(holder, SIGKILL);
        int status = 0;
        ::waitpid(holder, &status, 0);
        const size_t inFile = pgntest::PlainStarts(kbtest::ReadFile(file)).size();
        EXPECT_EQ(r.Copied + r.NotCopied, total);
        EXPECT_EQ(inFile, 3u + static_cast<size_t>(r.Copied));
        if (!longHold) {
            EXPECT_EQ(batches, 2);
            EXPECT_EQ(r.Copied, total);
            EXPECT_EQ(r.End, TCopyEnd::Done);
            EXPECT_EQ(CopyEndText(r, true), "");
        } else {
            EXPECT_EQ(batches, 1);
            EXPECT_GT(r.Copied, 0);
            EXPECT_GT(r.NotCopied, 0);
            EXPECT_EQ(r.End, TCopyEnd::Refused);
            EXPECT_EQ(CopyEndText(r, true), std::to_string(r.Copied) + " games were copied, " +
                                                std::to_string(r.NotCopied) +
                                                " were not: another program holds the file or "
                                                "changed it.");
        }
    }
}

} // namespace
