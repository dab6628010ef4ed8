// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the engine worker suites.
#pragma once

#include "AThreadWB.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace kbtest {

// The position a FEN describes, as a window hands it to its worker.
inline kb::TEnginePosition FromFen(const std::string& Fen) {
    kb::TEnginePosition p;
    uint16_t no = 1;
    kb::TFischerInfo f;
    EXPECT_TRUE(kb::FENToStellung(Fen, p.Brett, p.Zug, no, &f)) << Fen;
    p.MoveNo = no;
    p.Fischer = f.Fischer;
    return p;
}

// The position a game from Fen reaches with Moves (SAN or coordinates,
// separated by blanks), with that start and those moves, as a window hands
// it over.
inline kb::TEnginePosition FromGame(const std::string& Fen, const std::string& Moves) {
    kb::TEnginePosition p = FromFen(Fen);
    p.HasStart = true;
    p.StartBrett = p.Brett;
    p.StartZug = p.Zug;
    std::istringstream in(Moves);
    for (std::string m; in >> m;) {
        const std::optional<kb::TZug> z = kb::ParseMove(p, m);
        if (!z) {
            ADD_FAILURE() << "not legal: " << m;
            break;
        }
        kb::PlayMove(p, *z);
        p.Moves.push_back(*z);
    }
    return p;
}

inline const std::string StandardFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
// Both kings walked out and back: no castling is left.
inline const std::string KingWalk = "e4 e5 Nf3 Nc6 Bc4 Bc5 Ke2 Ke7 Ke1 Ke8 d3 d6";
inline const std::string KingWalkFen =
    "r1bqk1nr/ppp2ppp/2np4/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w - - 0 7";
inline const std::string MateIn3Fen = "8/8/p2Q3p/6k1/2B2p2/P4K2/1q5P/8 w - - 0 1";

} // namespace kbtest
