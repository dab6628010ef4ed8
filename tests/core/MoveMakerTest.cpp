// SPDX-License-Identifier: GPL-3.0-or-later
// The one move maker (board, notation and reader play moves through it),
// the castling-rights bookkeeping, and which positions a game can reach,
// where the core and the engine must agree.
#include "EngineTools.h"
#include "SchachProcs.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

using namespace kb;

namespace {

TSchachbrett Board(const std::string& fen, TZug& z) {
    TSchachbrett b{};
    uint16_t no = 1;
    EXPECT_TRUE(FENToStellung(fen, b, z, no, nullptr)) << fen;
    return b;
}

// A move record as the tree holds it: Side is the side to move after it.
TZug Move(int32_t From, int32_t To, int32_t Mover, int32_t Kind = 0) {
    TZug z;
    z.From = From;
    z.To = To;
    z.Side = -Mover;
    z.CastlingKind = Kind;
    return z;
}

TEST(MoveMaker, EveryKindOfMoveAndItsTakeBack) {
    TZug pos;
    const TSchachbrett start = Board("r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1", pos);
    struct Case {
        const char* name;
        TZug move;
        std::vector<std::pair<int32_t, int32_t>> after; // square, piece
        uint8_t changes;
    };
    TZug ep = Move(SqE5, SqD6, 1);
    ep.EnPassantVictim = SqD5;
    TZug promo = Move(SqB7, SqA8, 1);
    promo.Promotion = Springer;
    const Case cases[] = {
        {"short castling",
         Move(SqE1, SqG1, 1, 1),
         {{SqG1, Koenig}, {SqF1, Turm}, {SqE1, 0}, {SqH1, 0}},
         4},
        {"long castling",
         Move(SqE1, SqC1, 1, 2),
         {{SqC1, Koenig}, {SqD1, Turm}, {SqE1, 0}, {SqA1, 0}},
         4},
        {"black long castling",
         Move(SqE8, SqC8, -1, 2),
         {{SqC8, -Koenig}, {SqD8, -Turm}, {SqE8, 0}, {SqA8, 0}},
         4},
        {"en passant", ep, {{SqD6, Bauer}, {SqD5, 0}, {SqE5, 0}}, 3},
        {"promotion with capture", promo, {{SqA8, Springer}, {SqB7, 0}}, 2},
        {"rook takes rook", Move(SqA1, SqA8, 1), {{SqA8, Turm}, {SqA1, 0}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TSchachbrett b = start;
        TMoveChanges changes;
        ZugAusfuehren(b, c.move, nullptr, &changes);
        for (const auto& [sq, piece] : c.after)
            EXPECT_EQ(b[sq], piece) << FeldNamen[Index120To64(static_cast<uint8_t>(sq))];
        EXPECT_EQ(changes.Count, c.changes);
        int differing = 0;
        for (int i = 0; i < 120; ++i)
            differing += b[i] != start[i];
        EXPECT_EQ(differing, c.changes);
        ZugZuruecknehmen(b, changes);
        EXPECT_EQ(b, start);
    }
    // A record off the board moves nothing.
    TSchachbrett b = start;
    TMoveChanges changes;
    ZugAusfuehren(b, Move(SqE1, 0, 1), nullptr, &changes);
    EXPECT_EQ(b, start);
    EXPECT_EQ(changes.Count, 0);
}

TEST(MoveMaker, Chess960CastlingWithKingAndRookOnEachOthersSquares) {
    // King f1 and rook g1 castle short: king to g1 over its own rook, rook to f1.
    TZug pos;
    TSchachbrett b = Board("4k3/8/8/8/8/8/8/1R3KR1 w KQ - 0 1", pos);
    TFischerInfo fi;
    FischerInfoFromStellung(&fi, b);
    const TSchachbrett start = b;
    TMoveChanges changes;
    ZugAusfuehren(b, Move(SqF1, SqG1, 1, 3), &fi, &changes);
    EXPECT_EQ(b[SqG1], Koenig);
    EXPECT_EQ(b[SqF1], Turm);
    ZugZuruecknehmen(b, changes);
    EXPECT_EQ(b, start);
    // Long: king f1 to c1, rook b1 to d1.
    ZugAusfuehren(b, Move(SqF1, SqC1, 1, 4), &fi, &changes);
    EXPECT_EQ(b[SqC1], Koenig);
    EXPECT_EQ(b[SqD1], Turm);
    EXPECT_EQ(b[SqB1], 0);
    EXPECT_EQ(b[SqF1], 0);
    EXPECT_EQ(b[SqG1], Turm);
}

TEST(MoveMaker, CastlingRights) {
    TZug pos;
    const TSchachbrett b = Board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", pos);
    const uint8_t all = AllCastlingRights;
    EXPECT_EQ(CastlingRightsAfter(all, b, SqE1, SqE2, nullptr), BlackShort | BlackLong);
    EXPECT_EQ(CastlingRightsAfter(all, b, SqH1, SqH5, nullptr), all & ~WhiteShort);
    EXPECT_EQ(CastlingRightsAfter(all, b, SqA1, SqA8, nullptr), WhiteShort | BlackShort);
    EXPECT_EQ(CastlingRightsAfter(all, b, SqE8, SqD8, nullptr), WhiteShort | WhiteLong);
    // Bit 1 (the board's start record) is left alone.
    EXPECT_EQ(CastlingRightsAfter(31, b, SqE1, SqE2, nullptr), 1 | BlackShort | BlackLong);
    // In standard chess a right without its rook on the corner is gone.
    const TSchachbrett noRook = Board("4k3/8/8/8/8/8/8/4K2R w KQkq - 0 1", pos);
    EXPECT_EQ(CastlingRightsAfter(all, noRook, SqH1, SqH2, nullptr), 0);
    // Chess960: the record's rook squares count, not the corners.
    TSchachbrett fb = Board("1r3kr1/8/8/8/8/8/8/1R3KR1 w KQkq - 0 1", pos);
    TFischerInfo fi;
    FischerInfoFromStellung(&fi, fb);
    EXPECT_EQ(CastlingRightsAfter(all, fb, SqG1, SqG4, &fi), all & ~WhiteShort);
    EXPECT_EQ(CastlingRightsAfter(all, fb, SqB1, SqB8, &fi), WhiteShort | BlackShort);
    EXPECT_EQ(CastlingRightsAfter(all, fb, SqH1, SqH2, &fi), all);
}

TEST(MoveMaker, PlayablePositions) {
    const struct {
        const char* fen;
        bool playable;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", true},
        {"4k3/8/8/8/8/8/4R3/4K3 b - - 0 1", true},  // the side to move in check
        {"4k3/8/8/8/8/8/4R3/4K3 w - - 0 1", false}, // the other side in check
        {"4k3/8/8/8/8/8/8/3KK3 w - - 0 1", false},  // two kings
        {"8/8/8/8/8/8/8/4K3 w - - 0 1", false},     // no black king
        {"4k2P/8/8/8/8/8/8/4K3 w - - 0 1", false},  // pawn on the last rank
        {"4k3/8/8/8/8/8/8/p3K3 b - - 0 1", false},  // pawn on the first rank
    };
    for (const auto& c : cases) {
        TZug z;
        const TSchachbrett b = Board(c.fen, z);
        EXPECT_EQ(IsPlayablePosition(b, z), c.playable) << c.fen;
    }
}

// Legal moves by the core: every from-to pair IsLegalMove takes, a
// promotion counted once per piece.
uint64_t CoreMoveCount(const TSchachbrett& b, const TZug& z) {
    uint64_t n = 0;
    for (uint8_t f = 0; f < 64; ++f) {
        for (uint8_t t = 0; t < 64; ++t) {
            TZug m = z;
            m.From = Index64To120(f);
            m.To = Index64To120(t);
            if (!IsLegalMove(b, m, nullptr)) continue;
            const bool pawn = b[m.From] == Bauer || b[m.From] == -Bauer;
            n += pawn && (t >= 56 || t < 8) ? 4 : 1;
        }
    }
    return n;
}

TEST(MoveMaker, CoreAndEngineAgreeOnWhichPositionsAGameReaches) {
    const unsigned seed = 20261207;
    std::mt19937 gen(seed);
    const std::string letters = "KkQqRrBbNnPp";
    int playable = 0, refused = 0;
    for (int round = 0; round < 400; ++round) {
        // Random boards with up to two kings a side and pawns anywhere.
        char cells[64];
        for (char& c : cells)
            c = 0;
        const int pieces = std::uniform_int_distribution<int>(2, 12)(gen);
        for (int i = 0; i < pieces; ++i) {
            const char p =
                i < 2 ? "Kk"[i] : letters[std::uniform_int_distribution<size_t>(0, 11)(gen)];
            cells[std::uniform_int_distribution<int>(0, 63)(gen)] = p;
        }
        std::string fen;
        for (int r = 7; r >= 0; --r) {
            int run = 0;
            for (int f = 0; f < 8; ++f) {
                const char c = cells[r * 8 + f];
                if (!c) {
                    ++run;
                    continue;
                }
                if (run) fen += static_cast<char>('0' + run);
                run = 0;
                fen += c;
            }
            if (run) fen += static_cast<char>('0' + run);
            if (r) fen += '/';
        }
        fen += round % 2 ? " b - - 0 1" : " w - - 0 1";

        TSchachbrett b;
        TZug z;
        uint16_t no = 1;
        ASSERT_TRUE(FENToStellung(fen, b, z, no, nullptr)) << fen;
        const bool core = IsPlayablePosition(b, z);
        TMiniMaxBrett eb;
        TEngineZug ez;
        TEngineFischerInfo efi;
        ASSERT_TRUE(EngineFenLesen(fen, eb, ez, efi)) << fen;
        auto engine = std::make_unique<TMiniMax>();
        engine->SetFischerInfo(&efi);
        engine->SetPosition(eb, ez);
        ASSERT_EQ(engine->PlayablePosition(), core) << fen << " seed " << seed;
        if (!core) {
            ++refused;
            continue;
        }
        ++playable;
        // Where both accept, both count the same moves.
        ASSERT_EQ(EnginePerft(*engine, 1), CoreMoveCount(b, z)) << fen << " seed " << seed;
    }
    EXPECT_GT(playable, 50);
    EXPECT_GT(refused, 50);
}

} // namespace
