// SPDX-License-Identifier: GPL-3.0-or-later
// Board constants, square numbering and Percent.
#include "SchachProcs.h"

namespace kb {
namespace {

constexpr TSchachbrett MakeBoard(bool standard) {
    TSchachbrett b{};
    for (int i = 0; i < 120; ++i)
        b[i] = Border;
    constexpr int32_t backRank[8] = {2, 4, 3, 5, 6, 3, 4, 2};
    for (int f = 1; f <= 8; ++f) {
        for (int r = 1; r <= 8; ++r) {
            int32_t v = 0;
            if (standard) {
                if (r == 1)
                    v = backRank[f - 1];
                else if (r == 2)
                    v = 1;
                else if (r == 7)
                    v = -1;
                else if (r == 8)
                    v = -backRank[f - 1];
            }
            b[10 * (r + 1) + f] = v;
        }
    }
    return b;
}

constexpr std::array<uint8_t, 64> MakeColours() {
    std::array<uint8_t, 64> c{};
    for (int sq = 0; sq < 64; ++sq)
        c[sq] = ((sq % 8 + 1) + (sq / 8 + 1)) % 2 == 0 ? 1 : 0;
    return c;
}

} // namespace

const TSchachbrett StandardStellung = MakeBoard(true);
const TSchachbrett LeeresBrett = MakeBoard(false);

const std::array<const char*, 64> FeldNamen = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
};

const std::array<uint8_t, 64> FeldFarben = MakeColours();

uint8_t Index120To64(uint8_t Index) {
    return static_cast<uint8_t>((Index / 10 - 2) * 8 + (Index % 10 - 1));
}

uint8_t Index64To120(uint8_t Square) {
    return static_cast<uint8_t>((Square >> 3) * 10 + (Square & 7) + 21);
}

int Percent(int64_t Part, int64_t Total) {
    if (Total == 0) return 0;
    return static_cast<int>(static_cast<double>(Part * 100) / static_cast<double>(Total));
}

std::string_view TrimBlanks(std::string_view S) {
    size_t b = 0, e = S.size();
    while (b < e && static_cast<unsigned char>(S[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(S[e - 1]) <= ' ')
        --e;
    return S.substr(b, e - b);
}

} // namespace kb
