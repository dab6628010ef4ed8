// SPDX-License-Identifier: GPL-3.0-or-later
// Moves as text: read in every form programs write them, played on a
// position, lines cut at their first illegal move, and what the xboard edit
// mode can state.
#include "SchachProcs.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace kb;

namespace {

TStellung At(const std::string& Fen) {
    TStellung p;
    uint16_t no = 1;
    TFischerInfo f;
    EXPECT_TRUE(FENToStellung(Fen, p.Brett, p.Zug, no, &f)) << Fen;
    p.MoveNo = no;
    p.Fischer = f.Fischer;
    return p;
}

std::string Fen(const TStellung& P) {
    return StellungToFEN(P.Brett, P.Zug, P.MoveNo, false);
}

// Plays Moves (any form ParseMove reads) on P; false at the first it cannot.
bool Play(TStellung& P, const std::string& Moves, std::vector<TZug>* Played = nullptr) {
    std::istringstream in(Moves);
    for (std::string m; in >> m;) {
        const std::optional<TZug> z = ParseMove(P, m);
        if (!z) return false;
        PlayMove(P, *z);
        if (Played) Played->push_back(*z);
    }
    return true;
}

// Every legal move of P, promotions to each piece.
std::vector<TZug> LegalMoves(const TStellung& P) {
    std::vector<TZug> out;
    for (int from = SqA1; from <= SqH8; ++from) {
        if (!IsBoardSquare(from) || P.Brett[from] * P.Zug.Side <= 0) continue;
        for (int to = SqA1; to <= SqH8; ++to) {
            if (!IsBoardSquare(to)) continue;
            const bool pawnLast = P.Brett[from] * P.Zug.Side == Bauer && (to / 10 == 9 || to / 10 == 2);
            for (int promo : pawnLast ? std::vector<int>{Dame, Turm, Laeufer, Springer}
                                      : std::vector<int>{0}) {
                TZug z = P.Zug;
                z.From = from;
                z.To = to;
                z.Promotion = promo * P.Zug.Side;
                if (IsLegalMove(P.Brett, z, nullptr)) {
                    TZug m;
                    m.From = from;
                    m.To = to;
                    m.Promotion = promo * P.Zug.Side;
                    out.push_back(m);
                }
            }
        }
    }
    return out;
}

const std::string Start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

} // namespace

TEST(MoveText, EveryFormProgramsWriteAndNothingElse) {
    // The same game in SAN, coordinates and long algebraic, with marks.
    for (const char* game : {"e4 d5 exd5 Qxd5 Nc3 Qa5 d4 c6 Nf3 Bg4 Be2 e6 O-O Nd7",
                             "e2e4 d7d5 e4d5 d8d5 b1c3 d5a5 d2d4 c7c6 g1f3 c8g4 f1e2 e7e6 e1g1 b8d7",
                             "e2-e4 d7-d5 e4xd5 Qd8xd5 Nb1-c3 Qd5-a5 d2-d4! c7-c6 Ng1-f3 Bc8-g4+? "
                             "Bf1-e2 e7-e6 0-0 Nb8-d7"}) {
        TStellung p = At(Start);
        ASSERT_TRUE(Play(p, game)) << game;
        EXPECT_EQ(Fen(p), "r3kbnr/pp1n1ppp/2p1p3/q7/3P2b1/2N2N2/PPP1BPPP/R1BQ1RK1 w kq - 0 8")
            << game;
    }
    // En passant: the square is set, the capture takes the victim.
    TStellung ep = At(Start);
    ASSERT_TRUE(Play(ep, "e4 Nf6 e5 d5"));
    EXPECT_EQ(Fen(ep), "rnbqkb1r/ppp1pppp/5n2/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 3");
    ASSERT_TRUE(Play(ep, "exd6"));
    EXPECT_EQ(Fen(ep), "rnbqkb1r/ppp1pppp/3P1n2/8/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3");
    // Promotions: "=Q", "Q", "q", and a bare pawn move becomes a queen.
    const TStellung promo = At("8/4P1k1/8/8/8/8/6K1/8 w - - 0 1");
    for (const char* m : {"e8=Q", "e8Q", "e7e8q", "e8", "e7-e8=Q+"})
        ASSERT_TRUE(ParseMove(promo, m) && ParseMove(promo, m)->Promotion == Dame) << m;
    EXPECT_EQ(ParseMove(promo, "e8N")->Promotion, Springer);
    EXPECT_EQ(CoordinateMove(*ParseMove(promo, "e8=R")), "e7e8r");
    // Ambiguous, illegal, off the board, nonsense: no move.
    const TStellung rooks = At("4k3/8/8/8/8/8/4K3/R6R w - - 0 1");
    EXPECT_FALSE(ParseMove(rooks, "Rd1"));
    EXPECT_EQ(CoordinateMove(*ParseMove(rooks, "Rad1")), "a1d1");
    EXPECT_EQ(CoordinateMove(*ParseMove(rooks, "R1h4")), "h1h4");
    const TStellung start = At(Start);
    for (const char* m : {"e5", "O-O", "Ke2", "e2e5", "i2i4", "Qh9", "", "++", "xx", "e2", "Nb1c4"})
        EXPECT_FALSE(ParseMove(start, m)) << m;
    // Castling is the king's step in coordinates; the move number follows Black.
    TStellung castle = At("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 20");
    ASSERT_TRUE(Play(castle, "O-O-O O-O"));
    EXPECT_EQ(Fen(castle), "2kr3r/8/8/8/8/8/8/R4RK1 b - - 0 21");
}

TEST(MoveText, LinesAreCutAtTheirFirstIllegalMove) {
    TStellung walk = At(Start);
    ASSERT_TRUE(Play(walk, "e4 e5 Nf3 Nc6 Bc4 Bc5 Ke2 Ke7 Ke1 Ke8 d3 d6"));
    EXPECT_EQ(LegalPart("7. Nc3 Nf6 8. O-O O-O", walk), "7. Nc3 Nf6");
    EXPECT_EQ(LegalPart("1.Nc3 Nf6 (+) 2.Bg5 h6 zz", walk), "1.Nc3 Nf6 (+) 2.Bg5 h6");
    EXPECT_EQ(LegalPart("O-O Na5", walk), std::nullopt); // about another position
    EXPECT_EQ(LegalPart("(e7-e5 c7-c5, book)", walk), std::nullopt);
    EXPECT_EQ(LegalPart("(Nc3 a3, book)", walk), "(Nc3 a3, book)");
    EXPECT_EQ(LegalPart("no moves at all", walk), std::nullopt);
    EXPECT_EQ(LegalPart("", walk), "");
    EXPECT_EQ(LegalPart("(+) !", walk), "(+) !");
}

TEST(MoveText, WhatEditModeStatesAndWhereMovesLead) {
    // Castling where king and rook stand, no en passant: stated exactly.
    EXPECT_TRUE(EditModeExact(At(Start)));
    EXPECT_TRUE(EditModeExact(At("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1"))); // no pawn to take
    EXPECT_FALSE(EditModeExact(At("r3k2r/8/8/8/8/8/8/R3K2R w Kkq - 0 1")));
    EXPECT_FALSE(EditModeExact(At("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3")));
    TStellung fischer = At("nrbqkbrn/pppppppp/8/8/8/8/PPPPPPPP/NRBQKBRN w - - 0 1");
    fischer.Fischer = true;
    EXPECT_TRUE(EditModeExact(fischer));
    fischer.Zug.CastlingRights = WhiteShort;
    EXPECT_FALSE(EditModeExact(fischer));

    // Random games: every legal move reads back from its coordinates, and
    // the moves played lead from the start to where the game stands.
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    for (int game = 0; game < 10; ++game) {
        const TStellung start = At(Start);
        TStellung p = start;
        std::vector<TZug> played;
        for (int ply = 0; ply < 60; ++ply) {
            const std::vector<TZug> moves = LegalMoves(p);
            if (moves.empty()) break;
            for (const TZug& m : moves) {
                const std::optional<TZug> back = ParseMove(p, CoordinateMove(m));
                ASSERT_TRUE(back && back->From == m.From && back->To == m.To &&
                            back->Promotion == m.Promotion)
                    << "seed " << seed << " " << Fen(p) << " " << CoordinateMove(m);
            }
            const TZug m = moves[std::uniform_int_distribution<size_t>(0, moves.size() - 1)(rng)];
            PlayMove(p, m);
            played.push_back(m);
            ASSERT_TRUE(MovesLeadTo(start, played, p)) << "seed " << seed;
        }
        TStellung other = p;
        other.Zug.Side = -other.Zug.Side;
        EXPECT_FALSE(MovesLeadTo(start, played, other)) << "seed " << seed;
        if (!played.empty()) {
            played.back().To = played.back().From; // no move
            EXPECT_FALSE(MovesLeadTo(start, played, p)) << "seed " << seed;
        }
    }
}
