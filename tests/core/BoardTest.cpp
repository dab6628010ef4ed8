// SPDX-License-Identifier: GPL-3.0-or-later
#include "SchachProcs.h"

#include <gtest/gtest.h>

using namespace kb;

TEST(Squares, NumberingRoundTripsOverAllSquares) {
    EXPECT_EQ(Index64To120(0), 21);
    EXPECT_EQ(Index64To120(7), 28);
    EXPECT_EQ(Index64To120(8), 31);
    EXPECT_EQ(Index64To120(63), 98);
    for (int sq = 0; sq < 64; ++sq) {
        const uint8_t idx = Index64To120(static_cast<uint8_t>(sq));
        EXPECT_TRUE(IsBoardSquare(idx));
        EXPECT_EQ(Index120To64(idx), sq);
        const std::string name{char('a' + sq % 8), char('1' + sq / 8)};
        EXPECT_EQ(std::string(FeldNamen[sq]), name);
    }
    int border = 0;
    for (int i = 0; i < 120; ++i)
        border += IsBoardSquare(i) ? 0 : 1;
    EXPECT_EQ(border, 56);
}

TEST(Squares, ColoursAndTables) {
    EXPECT_EQ(FeldFarben[0], 1);  // a1 dark
    EXPECT_EQ(FeldFarben[7], 0);  // h1 light
    EXPECT_EQ(FeldFarben[63], 1); // h8 dark
    EXPECT_EQ(FigurenBuchstaben[0 + 6], ' ');
    EXPECT_EQ(FigurenBuchstaben[-6 + 6], 'k');
    EXPECT_EQ(FigurenBuchstaben[4 + 6], 'N');
    EXPECT_EQ(StandardStellung[25], 6);
    EXPECT_EQ(StandardStellung[95], -6);
    EXPECT_EQ(StandardStellung[21], 2);
    EXPECT_EQ(StandardStellung[92], -4);
    EXPECT_EQ(StandardStellung[0], Border);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(LeeresBrett[i], IsBoardSquare(i) ? 0 : Border) << i;
}

TEST(Percent, TruncatesAndGuardsZeroAndLargeValues) {
    EXPECT_EQ(Percent(2, 3), 66);
    EXPECT_EQ(Percent(1, 3), 33);
    EXPECT_EQ(Percent(7, 0), 0);
    EXPECT_EQ(Percent(3, 3), 100);
    // File offsets beyond 2 GiB must not overflow the product.
    EXPECT_EQ(Percent(int64_t{3} << 31, int64_t{4} << 31), 75);
    EXPECT_EQ(Percent(30'000'000, 60'000'000), 50);
}
