// SPDX-License-Identifier: GPL-3.0-or-later
// Copies between game lists without a window: the memory a copy leaves
// behind does not grow with the number of copies.
#include "PGNCopy.h"
#include "ChessDatabase.h"
#include "Notation.h"
#include "PGN.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

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

} // namespace
