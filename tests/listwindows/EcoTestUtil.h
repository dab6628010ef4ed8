// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the ECO suites: the classification file the table comes from,
// split into its entries, and what its suites look up in it.
#pragma once

#include "TestSupport.h"
#include "uEco.h"

#include <string>
#include <vector>

namespace ecotest {

// The entries of the ECO classification file, one game text each, in order.
inline std::vector<std::string> EcoEntries() {
    const std::string bytes = kbtest::ReadFile(KB_ECO_PGN);
    std::vector<std::string> entries;
    size_t pos = 0;
    while ((pos = bytes.find("[ECO ", pos)) != std::string::npos) {
        const size_t next = bytes.find("\n[ECO ", pos);
        const size_t end = next == std::string::npos ? bytes.size() : next + 1;
        entries.push_back(bytes.substr(pos, end - pos));
        pos = end;
    }
    return entries;
}

// The value of a tag in a game text, empty when absent.
inline std::string TagValue(const std::string& game, const std::string& name) {
    const std::string open = "[" + name + " \"";
    size_t pos = game.find(open);
    while (pos != std::string::npos && pos > 0 && game[pos - 1] != '\n')
        pos = game.find(open, pos + 1);
    if (pos == std::string::npos) return {};
    const size_t start = pos + open.size();
    return game.substr(start, game.find('"', start) - start);
}

// The FEN with its en-passant square only where some pawn of the side to
// move may take there (asked of the move-legality test), so that two FENs
// of the same position read the same.
inline std::string NormalFen(const std::string& fen) {
    kb::TSchachbrett b{};
    kb::TZug z{};
    uint16_t moveNo = 1;
    if (!kb::FENToStellung(fen, b, z, moveNo, nullptr)) return fen;
    bool capturable = false;
    for (uint8_t sq = 0; sq < 64 && z.EnPassant != 0 && !capturable; ++sq) {
        const int32_t from = kb::Index64To120(sq);
        if (b[static_cast<size_t>(from)] != z.Side * kb::Bauer) continue;
        kb::TZug m = z;
        m.From = from;
        m.To = z.EnPassant;
        capturable = kb::IsLegalMove(b, m, nullptr);
    }
    if (!capturable) z.EnPassant = 0;
    return kb::StellungToFEN(b, z, moveNo, false);
}

// First row holding the same position as row I.
inline const std::vector<std::string>& NormalTableFens() {
    static const std::vector<std::string> fens = [] {
        std::vector<std::string> v;
        for (const kb::TEcoRow& r : kb::EcoTable)
            v.push_back(NormalFen(r.FEN));
        return v;
    }();
    return fens;
}

inline int FirstRowWithFen(int I) {
    const auto& fens = NormalTableFens();
    for (int j = 0; j <= I; ++j)
        if (fens[static_cast<size_t>(j)] == fens[static_cast<size_t>(I)]) return j;
    return I;
}

} // namespace ecotest
