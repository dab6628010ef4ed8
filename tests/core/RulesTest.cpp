// SPDX-License-Identifier: GPL-3.0-or-later
#include "SchachProcs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

using namespace kb;

namespace {

int32_t Sq(const char* name) {
    return 10 * (name[1] - '0' + 1) + (name[0] - 'a' + 1);
}

TSchachbrett Board(std::initializer_list<std::pair<const char*, int32_t>> pieces) {
    TSchachbrett b = LeeresBrett;
    for (const auto& [sq, p] : pieces)
        b[Sq(sq)] = p;
    return b;
}

TZug Move(const char* from, const char* to, int32_t side = 1, uint8_t rights = 0, int32_t ep = 0) {
    TZug z;
    z.From = Sq(from);
    z.To = Sq(to);
    z.Side = side;
    z.CastlingRights = rights;
    z.EnPassant = ep;
    return z;
}

TZug Castle960(const char* from, const char* to, int32_t side, uint8_t rights) {
    TZug z = Move(from, to, side, rights);
    z.CastlingKind = 3;
    return z;
}

TFischerInfo Fischer(const TSchachbrett& b) {
    TFischerInfo fi;
    FischerInfoFromStellung(&fi, b);
    return fi;
}

TSquareList Sorted(TSquareList l) {
    std::sort(l.begin(), l.end());
    return l;
}

// Rank 1 of a Chess960 start position from the five draws of the generator.
TSchachbrett StartFromDraws(int b1, int b2, int q, int n1, int n2) {
    const int draws[] = {b1, b2, q, n1, n2};
    int i = 0;
    return RandomFischerStellung([&](int) { return i < 5 ? draws[i++] : 0; });
}

std::vector<TSchachbrett> AllStartsByDraws() {
    std::vector<TSchachbrett> all;
    for (int b1 = 0; b1 < 4; ++b1)
        for (int b2 = 0; b2 < 4; ++b2)
            for (int q = 0; q < 6; ++q)
                for (int n1 = 0; n1 < 5; ++n1)
                    for (int n2 = 0; n2 < 4; ++n2)
                        all.push_back(StartFromDraws(b1, b2, q, n1, n2));
    return all;
}

} // namespace

TEST(Rules, StartPositionMovesAndSide) {
    const TSchachbrett& b = StandardStellung;
    EXPECT_TRUE(IsLegalMove(b, Move("e2", "e4", 1, 30), nullptr));
    EXPECT_TRUE(IsLegalMove(b, Move("e2", "e3", 1, 30), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e2", "e5", 1, 30), nullptr));
    EXPECT_TRUE(IsLegalMove(b, Move("g1", "f3", 1, 30), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("g1", "e2", 1, 30), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e7", "e5", 1, 30), nullptr));
    EXPECT_TRUE(IsLegalMove(b, Move("e7", "e5", -1, 30), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e4", "e5", 1, 30), nullptr)); // empty square
    EXPECT_FALSE(IsLegalMove(b, Move("e1", "g1", 1, 30), nullptr));
    // A pawn blocked on the square in front gets no double step.
    TSchachbrett blocked = b;
    blocked[Sq("e3")] = -4;
    EXPECT_FALSE(IsLegalMove(blocked, Move("e2", "e4", 1, 30), nullptr));
    EXPECT_FALSE(IsLegalMove(blocked, Move("e2", "e3", 1, 30), nullptr));
    EXPECT_TRUE(IsLegalMove(blocked, Move("d2", "e3", 1, 30), nullptr));
}

TEST(Rules, TargetListsFollowOffsetOrder) {
    const TSchachbrett b = Board({{"d4", 5}, {"d6", -1}, {"f4", 1}, {"b2", -3}, {"e1", 6}});
    TSquareList l;
    ASSERT_EQ(CollectQueenTargets(Sq("d4"), 1, b, &l), 0);
    // Directions in offset order; own pieces stop, enemy pieces are taken.
    const TSquareList expected = {Sq("e3"), Sq("f2"), Sq("g1"), Sq("c3"), Sq("b2"), Sq("c5"),
                                  Sq("b6"), Sq("a7"), Sq("e5"), Sq("f6"), Sq("g7"), Sq("h8"),
                                  Sq("c4"), Sq("b4"), Sq("a4"), Sq("d5"), Sq("d6"), Sq("e4"),
                                  Sq("d3"), Sq("d2"), Sq("d1")};
    EXPECT_EQ(l, expected);
    ASSERT_EQ(CollectKnightTargets(Sq("b1"), -1, b, &l), 0);
    EXPECT_EQ(Sorted(l), Sorted({Sq("d2"), Sq("a3"), Sq("c3")}));
    EXPECT_EQ(CollectQueenTargets(Sq("d4"), 1, b, nullptr), -1);
    EXPECT_EQ(CollectPawnTargets(Sq("d4"), TZug{}, b, nullptr), -1);
    EXPECT_EQ(KingTargetsFischer(Sq("e1"), TZug{}, b, nullptr, nullptr), -1);
    EXPECT_EQ(CollectRookAttackers(Sq("d4"), 1, b, nullptr), -1);
}

TEST(Rules, AttackersAndAttackedSquares) {
    const TSchachbrett b = Board({{"a1", -2},
                                  {"h4", -5},
                                  {"c3", -3},
                                  {"f5", -4},
                                  {"e5", -1},
                                  {"d5", 1},
                                  {"e3", -6},
                                  {"d1", 2}});
    TSquareList l;
    ASSERT_EQ(CollectQueenAttackers(Sq("d4"), -1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("h4")});
    ASSERT_EQ(CollectBishopAttackers(Sq("d4"), -1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("c3")});
    ASSERT_EQ(CollectKnightAttackers(Sq("d4"), -1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("f5")});
    ASSERT_EQ(CollectPawnAttackers(Sq("d4"), -1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("e5")});
    ASSERT_EQ(CollectKingAttackers(Sq("d4"), -1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("e3")});
    ASSERT_EQ(CollectRookAttackers(Sq("d4"), 1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("d1")});
    ASSERT_EQ(CollectPawnAttackers(Sq("c6"), 1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("d5")});
    ASSERT_EQ(CollectRookAttackers(Sq("a4"), -1, b, &l), 0);
    EXPECT_EQ(l, TSquareList{Sq("a1")});

    EXPECT_TRUE(IsSquareAttacked(Sq("d4"), 1, b));
    EXPECT_FALSE(IsSquareAttacked(Sq("b8"), 1, b));
    EXPECT_TRUE(IsSquareAttacked(Sq("b1"), 1, b));  // rook a1
    EXPECT_FALSE(IsSquareAttacked(Sq("f1"), 1, b)); // d1 shields it from a1
    EXPECT_TRUE(IsSquareAttacked(Sq("e1"), -1, b)); // white rook d1
    // Squares off the board count as attacked and give empty lists.
    for (int32_t sq : {-1, 0, 20, 29, 99, 119, 120, 5000}) {
        EXPECT_TRUE(IsSquareAttacked(sq, 1, b)) << sq;
        l = {1, 2};
        EXPECT_EQ(CollectQueenAttackers(sq, -1, b, &l), 0);
        EXPECT_TRUE(l.empty());
        EXPECT_EQ(CollectQueenTargets(sq, 1, b, &l), 0);
        EXPECT_TRUE(l.empty());
    }
}

TEST(Rules, StandardCastling) {
    const TSchachbrett b =
        Board({{"e1", 6}, {"a1", 2}, {"h1", 2}, {"e8", -6}, {"a8", -2}, {"h8", -2}});
    EXPECT_TRUE(IsLegalMove(b, Move("e1", "g1", 1, 30), nullptr));
    EXPECT_TRUE(IsLegalMove(b, Move("e1", "c1", 1, 30), nullptr));
    EXPECT_TRUE(IsLegalMove(b, Move("e8", "g8", -1, 30), nullptr));
    EXPECT_TRUE(IsLegalMove(b, Move("e8", "c8", -1, 30), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e1", "g1", 1, 30 & ~WhiteShort), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e1", "c1", 1, 30 & ~WhiteLong), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e8", "g8", -1, 30 & ~BlackShort), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e8", "c8", -1, 30 & ~BlackLong), nullptr));

    // f1 attacked: no short castling.
    TSchachbrett f1 = b;
    f1[Sq("f5")] = -2;
    EXPECT_FALSE(IsLegalMove(f1, Move("e1", "g1", 1, 30), nullptr));
    // b1 attacked, c1, d1, e1 not: long castling stays.
    TSchachbrett b1 = b;
    b1[Sq("b5")] = -2;
    EXPECT_TRUE(IsLegalMove(b1, Move("e1", "c1", 1, 30), nullptr));
    // b1 occupied: no long castling.
    b1[Sq("b1")] = 4;
    EXPECT_FALSE(IsLegalMove(b1, Move("e1", "c1", 1, 30), nullptr));
    // In check: neither.
    TSchachbrett check = b;
    check[Sq("e5")] = -2;
    EXPECT_FALSE(IsLegalMove(check, Move("e1", "g1", 1, 30), nullptr));
    EXPECT_FALSE(IsLegalMove(check, Move("e1", "c1", 1, 30), nullptr));

    TSquareList l;
    CollectKingTargets(Sq("e1"), Move("e1", "e1", 1, 30), b, &l);
    EXPECT_EQ(Sorted(l),
              Sorted({Sq("d1"), Sq("f1"), Sq("d2"), Sq("e2"), Sq("f2"), Sq("g1"), Sq("c1")}));
    // A standard game gives positive castling targets from KingTargetsFischer too.
    TFischerInfo none;
    TSquareList l2;
    KingTargetsFischer(Sq("e1"), Move("e1", "e1", 1, 30), b, &l2, &none);
    EXPECT_EQ(l, l2);
}

TEST(Rules, EnPassantNeedsAnEmptyTargetAndAnEnemyPawnBehindIt) {
    const TSchachbrett b = Board({{"e1", 6}, {"e8", -6}, {"e5", 1}, {"d5", -1}});
    EXPECT_TRUE(IsLegalMove(b, Move("e5", "d6", 1, 0, Sq("d6")), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e5", "d6", 1, 0, 0), nullptr));
    EXPECT_FALSE(IsLegalMove(b, Move("e5", "f6", 1, 0, Sq("d6")), nullptr));

    // The victim leaves the board copy, so a pin along the rank is seen.
    TSchachbrett pin = Board({{"a5", 6}, {"e8", -6}, {"e5", 1}, {"d5", -1}, {"h5", -2}});
    EXPECT_FALSE(IsLegalMove(pin, Move("e5", "d6", 1, 0, Sq("d6")), nullptr));
    EXPECT_TRUE(IsLegalMove(pin, Move("e5", "e6", 1, 0, Sq("d6")), nullptr));

    // A recorded square with the wrong things on it gives no capture.
    TSchachbrett noVictim = b;
    noVictim[Sq("d5")] = 0;
    EXPECT_FALSE(IsLegalMove(noVictim, Move("e5", "d6", 1, 0, Sq("d6")), nullptr));
    TSchachbrett ownPawn = b;
    ownPawn[Sq("d5")] = 1;
    EXPECT_FALSE(IsLegalMove(ownPawn, Move("e5", "d6", 1, 0, Sq("d6")), nullptr));
    TSchachbrett knight = b;
    knight[Sq("d5")] = -4;
    EXPECT_FALSE(IsLegalMove(knight, Move("e5", "d6", 1, 0, Sq("d6")), nullptr));
    TSchachbrett ownPiece = b;
    ownPiece[Sq("d6")] = 3;
    EXPECT_FALSE(IsLegalMove(ownPiece, Move("e5", "d6", 1, 0, Sq("d6")), nullptr));
    // An enemy piece on the square is an ordinary capture: d5 stays.
    TSchachbrett capture = b;
    capture[Sq("d6")] = -4;
    capture[Sq("a5")] = -2;
    capture[Sq("e1")] = 0;
    capture[Sq("h5")] = 6;
    EXPECT_TRUE(IsLegalMove(capture, Move("e5", "d6", 1, 0, Sq("d6")), nullptr));

    TSquareList l;
    CollectPawnTargets(Sq("e5"), Move("e5", "e5", 1, 0, Sq("d6")), noVictim, &l);
    EXPECT_EQ(l, TSquareList{Sq("e6")});
    CollectPawnTargets(Sq("e5"), Move("e5", "e5", 1, 0, Sq("d6")), b, &l);
    EXPECT_EQ(l, (TSquareList{Sq("e6"), Sq("d6")}));

    // Black's side of it.
    const TSchachbrett bl = Board({{"e1", 6}, {"e8", -6}, {"d4", -1}, {"e4", 1}});
    EXPECT_TRUE(IsLegalMove(bl, Move("d4", "e3", -1, 0, Sq("e3")), nullptr));
    EXPECT_FALSE(IsLegalMove(bl, Move("d4", "c3", -1, 0, Sq("e3")), nullptr));
}

TEST(Rules, BadIndicesAndPromotionsGiveFalse) {
    const TSchachbrett b = Board({{"e1", 6}, {"e8", -6}, {"b7", 1}, {"g2", -1}});
    for (int32_t from : {-1000, -1, 0, 10, 20, 29, 30, 99, 100, 119, 120, 1 << 30}) {
        TZug z = Move("b7", "b8", 1);
        z.From = from;
        EXPECT_FALSE(IsLegalMove(b, z, nullptr)) << from;
        z = Move("b7", "b8", 1);
        z.To = from;
        EXPECT_FALSE(IsLegalMove(b, z, nullptr)) << from;
        z = Move("e1", "e1", 1);
        z.To = from;
        TFischerInfo fi = Fischer(b);
        EXPECT_FALSE(IsLegalMove(b, z, &fi)) << from;
        z.EnPassant = from;
        EXPECT_FALSE(IsLegalMove(b, z, nullptr)) << from;
    }
    TZug promo = Move("b7", "b8", 1);
    for (int32_t p : {0, 2, 3, 4, 5}) {
        promo.Promotion = p;
        EXPECT_TRUE(IsLegalMove(b, promo, nullptr)) << p;
    }
    for (int32_t p : {1, 6, -5, -2, 7, 100, -100, 1 << 20}) {
        promo.Promotion = p;
        EXPECT_FALSE(IsLegalMove(b, promo, nullptr)) << p;
    }
    TZug black = Move("g2", "g1", -1);
    black.Promotion = -4;
    EXPECT_TRUE(IsLegalMove(b, black, nullptr));
    black.Promotion = 4;
    EXPECT_FALSE(IsLegalMove(b, black, nullptr));

    // Any side other than White counts as Black, without walking off the board.
    for (int32_t side : {0, 2, -7, 1 << 30}) {
        TZug z = Move("g2", "g1", side);
        EXPECT_TRUE(IsLegalMove(b, z, nullptr)) << side;
        z = Move("b7", "b8", side);
        EXPECT_FALSE(IsLegalMove(b, z, nullptr)) << side;
    }
    // Cells that hold no piece never move.
    TSchachbrett junk = b;
    junk[Sq("d4")] = 7;
    junk[Sq("d5")] = 100;
    EXPECT_FALSE(IsLegalMove(junk, Move("d4", "d5", 1), nullptr));
    EXPECT_FALSE(IsLegalMove(junk, Move("d5", "d6", 1), nullptr));
    EXPECT_FALSE(IsLegalMove(junk, Move("d5", "d6", -1), nullptr));
}

TEST(Rules, MissingKingMakesEveryMoveIllegal) {
    const TSchachbrett b = Board({{"e8", -6}, {"d2", 1}});
    EXPECT_EQ(FindKing(true, b), -1);
    EXPECT_EQ(FindKing(false, b), Sq("e8"));
    EXPECT_FALSE(IsLegalMove(b, Move("d2", "d3", 1), nullptr));
    EXPECT_EQ(FindKing(true, StandardStellung), Sq("e1"));
}

TEST(Rules, Chess960CastlingSquares) {
    // King b1, rooks a1 and h1.
    const TSchachbrett b =
        Board({{"b1", 6}, {"a1", 2}, {"h1", 2}, {"b8", -6}, {"a8", -2}, {"h8", -2}});
    TFischerInfo fi = Fischer(b);
    EXPECT_EQ(fi.WhiteRookA, Sq("a1"));
    EXPECT_EQ(fi.WhiteRookH, Sq("h1"));
    TSquareList l;
    KingTargetsFischer(Sq("b1"), Move("b1", "b1", 1, 30), b, &l, &fi);
    EXPECT_NE(std::find(l.begin(), l.end(), -23), l.end());
    EXPECT_NE(std::find(l.begin(), l.end(), -27), l.end());
    // Kind 0 and kind 3 both reach the castling target.
    EXPECT_TRUE(IsLegalMove(b, Move("b1", "c1", 1, 30), &fi));
    EXPECT_TRUE(IsLegalMove(b, Castle960("b1", "c1", 1, 30), &fi));
    EXPECT_TRUE(IsLegalMove(b, Castle960("b1", "g1", 1, 30), &fi));
    EXPECT_TRUE(IsLegalMove(b, Castle960("b8", "c8", -1, 30), &fi));
    EXPECT_TRUE(IsLegalMove(b, Castle960("b8", "g8", -1, 30), &fi));
    EXPECT_FALSE(IsLegalMove(b, Castle960("b1", "c1", 1, 30 & ~WhiteLong), &fi));
    EXPECT_FALSE(IsLegalMove(b, Castle960("b1", "g1", 1, 30 & ~WhiteShort), &fi));
    // Kind 3 is castling only: without the right, c1 is no king step then.
    EXPECT_TRUE(IsLegalMove(b, Move("b1", "c1", 1, 0), &fi));
    EXPECT_FALSE(IsLegalMove(b, Castle960("b1", "c1", 1, 0), &fi));
    // Short castling needs c1..g1 unattacked.
    TSchachbrett e1 = b;
    e1[Sq("e4")] = -2;
    EXPECT_FALSE(IsLegalMove(e1, Castle960("b1", "g1", 1, 30), &fi));
    EXPECT_TRUE(IsLegalMove(e1, Castle960("b1", "c1", 1, 30), &fi));
    // Long castling needs c1 unattacked, and d1 empty for the rook.
    TSchachbrett c1 = b;
    c1[Sq("c5")] = -2;
    EXPECT_FALSE(IsLegalMove(c1, Castle960("b1", "c1", 1, 30), &fi));
    TSchachbrett d1 = b;
    d1[Sq("d1")] = 3;
    EXPECT_FALSE(IsLegalMove(d1, Castle960("b1", "c1", 1, 30), &fi));
    EXPECT_FALSE(IsLegalMove(d1, Castle960("b1", "g1", 1, 30), &fi));

    // King e1, rook a1 and a knight on b1: long castling refused.
    const TSchachbrett kn = Board({{"e1", 6}, {"a1", 2}, {"b1", 4}, {"e8", -6}});
    TFischerInfo fk = Fischer(kn);
    EXPECT_FALSE(IsLegalMove(kn, Castle960("e1", "c1", 1, 30), &fk));
    EXPECT_FALSE(IsLegalMove(kn, Move("e1", "c1", 1, 30), &fk));

    // King g1, rook h1: the king stays, f1 must be empty.
    const TSchachbrett g = Board({{"g1", 6}, {"h1", 2}, {"e8", -6}});
    TFischerInfo fg = Fischer(g);
    EXPECT_TRUE(IsLegalMove(g, Castle960("g1", "g1", 1, 30), &fg));
    EXPECT_TRUE(IsLegalMove(g, Move("g1", "g1", 1, 30), &fg));
    TSchachbrett gf = g;
    gf[Sq("f1")] = 4;
    EXPECT_FALSE(IsLegalMove(gf, Castle960("g1", "g1", 1, 30), &fg));
    TSchachbrett gAtt = g;
    gAtt[Sq("g5")] = -2;
    EXPECT_FALSE(IsLegalMove(gAtt, Castle960("g1", "g1", 1, 30), &fg));

    // King f1, rook g1: king and rook swap their squares.
    const TSchachbrett sw = Board({{"f1", 6}, {"g1", 2}, {"e8", -6}});
    TFischerInfo fs = Fischer(sw);
    EXPECT_TRUE(IsLegalMove(sw, Castle960("f1", "g1", 1, 30), &fs));
    // The king's target attacked.
    TSchachbrett swAtt = sw;
    swAtt[Sq("h2")] = -5;
    EXPECT_FALSE(IsLegalMove(swAtt, Castle960("f1", "g1", 1, 30), &fs));
    // Kind 0 onto the own rook can only be the castling.
    EXPECT_TRUE(IsLegalMove(sw, Move("f1", "g1", 1, 30), &fs));
    EXPECT_FALSE(IsLegalMove(sw, Move("f1", "g1", 1, 0), &fs));

    // Rooks already on their targets: d1 for long, f1 for short.
    const TSchachbrett still = Board({{"e1", 6}, {"d1", 2}, {"f1", 2}, {"e8", -6}});
    TFischerInfo ft = Fischer(still);
    EXPECT_TRUE(IsLegalMove(still, Castle960("e1", "c1", 1, 30), &ft));
    EXPECT_TRUE(IsLegalMove(still, Castle960("e1", "g1", 1, 30), &ft));
    TSchachbrett stillAtt = still;
    stillAtt[Sq("d5")] = -2; // the king would pass d1
    EXPECT_FALSE(IsLegalMove(stillAtt, Castle960("e1", "c1", 1, 30), &ft));
    EXPECT_TRUE(IsLegalMove(stillAtt, Castle960("e1", "g1", 1, 30), &ft));
    TSchachbrett stillBlocked = still;
    stillBlocked[Sq("b1")] = 4; // not on any path: long castling stays
    EXPECT_TRUE(IsLegalMove(stillBlocked, Castle960("e1", "c1", 1, 30), &ft));
    stillBlocked[Sq("c1")] = 4;
    EXPECT_FALSE(IsLegalMove(stillBlocked, Castle960("e1", "c1", 1, 30), &ft));
}

TEST(Rules, Chess960CastlingThatEndsInCheckIsRefused) {
    // King c1, castling rook b1, a black queen on a1 behind the rook: the
    // rook shields c1 until it goes to d1.
    const TSchachbrett b = Board({{"c1", 6}, {"b1", 2}, {"a1", -5}, {"e8", -6}});
    TFischerInfo fi = Fischer(b);
    ASSERT_EQ(fi.WhiteRookA, Sq("b1"));
    EXPECT_FALSE(IsLegalMove(b, Castle960("c1", "c1", 1, 30), &fi));
    EXPECT_FALSE(IsLegalMove(b, Move("c1", "c1", 1, 30), &fi));
    // Without the queen the same castling is legal.
    TSchachbrett free = b;
    free[Sq("a1")] = 0;
    EXPECT_TRUE(IsLegalMove(free, Castle960("c1", "c1", 1, 30), &fi));

    // King d1, rook b1, queen a1: the king goes to c1 into the queen's line.
    const TSchachbrett d = Board({{"d1", 6}, {"b1", 2}, {"a1", -5}, {"e8", -6}});
    TFischerInfo fd = Fischer(d);
    EXPECT_FALSE(IsLegalMove(d, Castle960("d1", "c1", 1, 30), &fd));
    // A plain step to c1 stays legal: the rook keeps shielding it.
    EXPECT_TRUE(IsLegalMove(d, Move("d1", "c1", 1, 30), &fd));
}

TEST(Rules, Chess960RookSquaresAreChecked) {
    const TSchachbrett b = Board({{"e1", 6}, {"a1", 2}, {"h1", 2}, {"e8", -6}});
    TFischerInfo good = Fischer(b);
    EXPECT_TRUE(IsLegalMove(b, Castle960("e1", "g1", 1, 30), &good));
    for (int32_t bad : {-100000, -1, 0, 5, 29, 99, 100, 119, 120, 1 << 30, Sq("h2"), Sq("d1")}) {
        TFischerInfo fi = good;
        fi.WhiteRookH = bad;
        EXPECT_FALSE(IsLegalMove(b, Castle960("e1", "g1", 1, 30), &fi)) << bad;
        TSquareList l;
        EXPECT_EQ(KingTargetsFischer(Sq("e1"), Move("e1", "e1", 1, 30), b, &l, &fi), 0);
        EXPECT_EQ(std::count(l.begin(), l.end(), -27), 0) << bad;
        fi = good;
        fi.WhiteKing = bad;
        EXPECT_FALSE(IsLegalMove(b, Castle960("e1", "g1", 1, 30), &fi)) << bad;
    }
}

TEST(Rules, FischerStartPositionTestOverAll960) {
    const std::vector<TSchachbrett> all = AllStartsByDraws();
    std::map<TSchachbrett, int> count;
    for (const TSchachbrett& b : all)
        ++count[b];
    // Every one of the 960 arrangements comes out, each from two of the
    // 1920 equally likely draw sequences (the knights are alike).
    ASSERT_EQ(count.size(), 960u);
    for (const auto& [b, n] : count)
        EXPECT_EQ(n, 2);

    int fischer = 0, standardCorners = 0;
    for (const auto& [b, n] : count) {
        // Rank 8 mirrors rank 1; king between the rooks; bishops on both colours.
        int rooks = 0, kings = 0, bishopColours = 0;
        for (int f = 1; f <= 8; ++f) {
            EXPECT_EQ(b[90 + f], -b[20 + f]);
            EXPECT_EQ(b[30 + f], 1);
            EXPECT_EQ(b[80 + f], -1);
            if (b[20 + f] == Turm) ++rooks;
            if (b[20 + f] == Koenig) {
                ++kings;
                EXPECT_EQ(rooks, 1);
            }
            if (b[20 + f] == Laeufer) bishopColours += f % 2 ? 1 : 10;
        }
        EXPECT_EQ(rooks, 2);
        EXPECT_EQ(kings, 1);
        EXPECT_EQ(bishopColours, 11);

        const bool corners = b[25] == Koenig && b[21] == Turm && b[28] == Turm;
        EXPECT_EQ(IsFischerStartPosition(b), !corners);
        EXPECT_EQ(IsStandardStartPosition(b), b == StandardStellung);
        fischer += IsFischerStartPosition(b) ? 1 : 0;
        standardCorners += corners ? 1 : 0;

        TFischerInfo fi;
        FischerInfoFromStellung(&fi, b);
        EXPECT_TRUE(fi.Fischer);
        EXPECT_EQ(b[fi.WhiteKing], Koenig);
        EXPECT_EQ(b[fi.BlackKing], -Koenig);
        EXPECT_EQ(b[fi.WhiteRookA], Turm);
        EXPECT_EQ(b[fi.WhiteRookH], Turm);
        EXPECT_LT(fi.WhiteRookA, fi.WhiteKing);
        EXPECT_GT(fi.WhiteRookH, fi.WhiteKing);
        EXPECT_EQ(fi.BlackRookA, fi.WhiteRookA + 70);
        EXPECT_EQ(fi.BlackRookH, fi.WhiteRookH + 70);
        EXPECT_EQ(fi.BlackKing, fi.WhiteKing + 70);
    }
    EXPECT_EQ(standardCorners, 18);
    EXPECT_EQ(fischer, 942);
    EXPECT_FALSE(IsFischerStartPosition(StandardStellung));
    // Structure: a piece off its ranks, or a pawn missing, is no start position.
    TSchachbrett b = all[100];
    ASSERT_TRUE(IsFischerStartPosition(b));
    b[Sq("e2")] = 0;
    b[Sq("e4")] = 1;
    EXPECT_FALSE(IsFischerStartPosition(b));
    b = all[100];
    b[Sq("a8")] = 2;
    EXPECT_FALSE(IsFischerStartPosition(b));
    // King f1 with rooks b1 and h1, mirrored on rank 8.
    const TSchachbrett f =
        Board({{"a1", 3},  {"b1", 2},  {"c1", 4},  {"d1", 5},  {"e1", 3},  {"f1", 6},  {"g1", 4},
               {"h1", 2},  {"a8", -3}, {"b8", -2}, {"c8", -4}, {"d8", -5}, {"e8", -3}, {"f8", -6},
               {"g8", -4}, {"h8", -2}, {"a2", 1},  {"b2", 1},  {"c2", 1},  {"d2", 1},  {"e2", 1},
               {"f2", 1},  {"g2", 1},  {"h2", 1},  {"a7", -1}, {"b7", -1}, {"c7", -1}, {"d7", -1},
               {"e7", -1}, {"f7", -1}, {"g7", -1}, {"h7", -1}});
    EXPECT_TRUE(IsFischerStartPosition(f));
}

TEST(Rules, RandomFischerStellungWithARealGenerator) {
    const unsigned seed = 960;
    std::mt19937 gen(seed);
    std::map<TSchachbrett, int> count;
    const int draws = 96000;
    for (int i = 0; i < draws; ++i)
        ++count[RandomFischerStellung(
            [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(gen); })];
    ASSERT_EQ(count.size(), 960u) << "seed " << seed;
    // About 100 each; a bias of a whole factor would show far outside this.
    for (const auto& [b, n] : count) {
        EXPECT_GT(n, 50) << "seed " << seed;
        EXPECT_LT(n, 160) << "seed " << seed;
    }
    // A generator that answers out of range still gives a start position.
    const TSchachbrett odd = RandomFischerStellung([](int n) { return n + 3; });
    EXPECT_EQ(count.count(odd), 1u);
    EXPECT_EQ(count.count(RandomFischerStellung()), 1u);
}
