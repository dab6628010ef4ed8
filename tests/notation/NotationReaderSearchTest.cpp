// SPDX-License-Identifier: GPL-3.0-or-later
// The reader finds the pieces that reach a move's target from where they
// stand; the public ray scans walk out from the target. On crowded random
// positions (promoted pieces, pieces in each other's way) both must name
// the same pieces in the same order, and the move read must be theirs.
#include "NotationTestUtil.h"

#include <gtest/gtest.h>

#include <random>

using namespace kb;
using kbtest::MainLine;
using kbtest::Pgn;

namespace {

std::string RandomFen(std::mt19937& gen) {
    char board[8][8] = {};
    auto place = [&](char piece, int lowRank, int highRank) {
        for (int tries = 0; tries < 100; ++tries) {
            const int r = std::uniform_int_distribution<int>(lowRank, highRank)(gen);
            const int f = std::uniform_int_distribution<int>(0, 7)(gen);
            if (!board[r][f]) {
                board[r][f] = piece;
                return;
            }
        }
    };
    place('K', 0, 7);
    place('k', 0, 7);
    std::uniform_int_distribution<int> several(0, 4);
    for (const char p : {'Q', 'R', 'B', 'N', 'q', 'r', 'b', 'n'})
        for (int i = several(gen); i > 0; --i)
            place(p, 0, 7);
    for (const char p : {'P', 'p'})
        for (int i = std::uniform_int_distribution<int>(0, 8)(gen); i > 0; --i)
            place(p, 1, 6);
    std::string fen;
    for (int r = 7; r >= 0; --r) {
        int empty = 0;
        for (int f = 0; f < 8; ++f) {
            if (!board[r][f]) {
                ++empty;
                continue;
            }
            if (empty) fen += std::to_string(empty);
            empty = 0;
            fen += board[r][f];
        }
        if (empty) fen += std::to_string(empty);
        if (r) fen += '/';
    }
    return fen + (std::uniform_int_distribution<int>(0, 1)(gen) ? " w" : " b") + " - - 0 1";
}

TEST(NotationReaderSearch, SamePiecesAsTheRayScans) {
    const unsigned seed = 20261207;
    std::mt19937 gen(seed);
    const char letters[] = {'Q', 'R', 'B', 'N', 'K'};
    bool (TNotation::*const scans[])(int32_t, bool) = {
        &TNotation::ScanQueen, &TNotation::ScanRook, &TNotation::ScanBishop, &TNotation::ScanKnight,
        &TNotation::ScanKing};
    int single = 0, several = 0;
    for (int game = 0; game < 60; ++game) {
        // Only positions a game can have load.
        std::string fen;
        for (bool playable = false; !playable;) {
            fen = RandomFen(gen);
            TSchachbrett b;
            TZug z;
            uint16_t no = 1;
            playable = FENToStellung(fen, b, z, no, nullptr) && IsPlayablePosition(b, z);
        }
        TNotation ref;
        ASSERT_EQ(ref.LoadPGN(Pgn("", fen)), 0) << fen;
        const int side = ref.GameData.Zug.Side;
        for (size_t k = 0; k < 5; ++k) {
            for (int sq64 = 0; sq64 < 64; ++sq64) {
                const int32_t to = 21 + (sq64 / 8) * 10 + sq64 % 8;
                const std::string square = {static_cast<char>('a' + sq64 % 8),
                                            static_cast<char>('1' + sq64 / 8)};
                ref.WorkBoard = ref.GameData.Stellung;
                ref.WorkMove = ref.GameData.Zug;
                ref.Candidates.clear();
                (ref.*scans[k])(to, false);
                const std::vector<int32_t> expected = ref.Candidates;

                TNotation n;
                const std::string move = std::string(1, letters[k]) + square;
                const int result = n.LoadPGN(Pgn(move, fen));
                const std::string what = fen + " " + move + " seed " + std::to_string(seed);
                const bool ownPiece = ref.GameData.Stellung[to] * side > 0;
                if (expected.empty() || (expected.size() == 1 && ownPiece)) {
                    EXPECT_EQ(result, -1) << what;
                    continue;
                }
                EXPECT_EQ(n.Candidates, expected) << what;
                if (expected.size() == 1) {
                    ++single;
                    TZug probe = ref.GameData.Zug;
                    probe.From = expected[0];
                    probe.To = to;
                    // The one piece that reaches the square may be pinned.
                    if (!IsLegalMove(ref.GameData.Stellung, probe, nullptr)) {
                        EXPECT_EQ(result, -1) << what;
                        continue;
                    }
                    ASSERT_EQ(result, 0) << what;
                    EXPECT_EQ(MainLine(n)[0]->Zug.From, expected[0]) << what;
                } else {
                    ++several;
                    if (result == 0) {
                        const int32_t from = MainLine(n)[0]->Zug.From;
                        EXPECT_NE(std::find(expected.begin(), expected.end(), from), expected.end())
                            << what;
                    }
                }
                if (HasFailure()) return;
            }
        }
    }
    // The positions must really offer both kinds of case.
    EXPECT_GT(single, 500);
    EXPECT_GT(several, 50);
}

} // namespace
