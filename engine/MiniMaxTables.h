// SPDX-License-Identifier: GPL-3.0-or-later
// Constant tables of the built-in engine: piece values, move directions,
// the centre table and the pawn table, by mailbox square.
#pragma once

#include <array>
#include <cstdint>

namespace kb::minimax {

// By piece code: pawn, rook, bishop, knight, queen, king.
inline constexpr std::array<int, 7> PieceValue{0, 100, 500, 350, 325, 900, 0};

// Diagonals, orthogonals, knight jumps.
inline constexpr std::array<int, 16> Directions{-9, -11, 9,  11, -1,  10,  1,   -10,
                                                19, 21,  12, -8, -19, -21, -12, 8};

struct PieceSteps {
    int First;
    int Last;
    bool Slides;
};
inline constexpr std::array<PieceSteps, 7> Steps{{
    {-1, -1, false}, // none
    {-1, -1, false}, // pawn: generated on its own
    {4, 7, true},    // rook
    {0, 3, true},    // bishop
    {8, 15, false},  // knight
    {0, 7, true},    // queen
    {0, 7, false},   // king
}};

namespace detail {
// Rank 1 first, files a..h.
inline constexpr int Centre64[64] = {
    4,  0,  8,  12, 12, 8,  0,  4,  //
    4,  8,  12, 16, 16, 12, 8,  4,  //
    8,  12, 16, 20, 20, 16, 12, 8,  //
    12, 16, 20, 24, 24, 20, 16, 12, //
    12, 16, 20, 24, 24, 20, 16, 12, //
    8,  12, 16, 20, 20, 16, 12, 8,  //
    4,  8,  12, 16, 16, 12, 8,  4,  //
    4,  0,  8,  12, 12, 8,  0,  4,  //
};
// White pawns, rank 1 first (ranks 1 and 8 never hold a pawn).
inline constexpr int Pawn64[64] = {
    0,  0,  0,  0,  0,  0,  0,  0,  //
    4,  4,  0,  0,  0,  6,  6,  6,  //
    6,  6,  8,  8,  8,  4,  6,  6,  //
    8,  8,  16, 22, 22, 4,  4,  4,  //
    10, 10, 20, 26, 26, 10, 10, 10, //
    12, 12, 22, 28, 28, 14, 14, 14, //
    18, 18, 28, 32, 32, 20, 20, 20, //
    0,  0,  0,  0,  0,  0,  0,  0,  //
};

constexpr std::array<int, 120> ToMailbox(const int (&table)[64], bool mirror) {
    std::array<int, 120> out{};
    for (int rank = 1; rank <= 8; ++rank)
        for (int file = 1; file <= 8; ++file) {
            const int from = mirror ? 9 - rank : rank;
            out[(rank + 1) * 10 + file] = table[(from - 1) * 8 + file - 1];
        }
    return out;
}
} // namespace detail

inline constexpr std::array<int, 120> CentreValue = detail::ToMailbox(detail::Centre64, false);
inline constexpr std::array<int, 120> WhitePawnValue = detail::ToMailbox(detail::Pawn64, false);
inline constexpr std::array<int, 120> BlackPawnValue = detail::ToMailbox(detail::Pawn64, true);

} // namespace kb::minimax
