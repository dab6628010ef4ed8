// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the engine tests: positions from FEN, perft tables and
// stockfish as the reference move counter.
#pragma once

#include "EngineTools.h"
#include "MiniMax.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kbtest {

struct EnginePos {
    kb::TMiniMaxBrett brett{};
    kb::TEngineZug zug{};
    kb::TEngineFischerInfo fischer{};
};

inline EnginePos FromFen(const std::string& fen) {
    EnginePos p;
    EXPECT_TRUE(kb::EngineFenLesen(fen, p.brett, p.zug, p.fischer)) << fen;
    return p;
}

inline void Load(kb::TMiniMax& e, const EnginePos& p) {
    e.SetFischerInfo(&p.fischer);
    e.SetPosition(p.brett, p.zug);
}

// Mailbox index of "e4".
inline int Sq(const char* name) {
    return (name[1] - '1' + 2) * 10 + (name[0] - 'a' + 1);
}

struct PerftCase {
    std::string fen;
    int depth = 0;
    uint64_t count = 0;
};

// "epd FEN" followed by "perft DEPTH COUNT" lines.
inline std::vector<PerftCase> ReadPerftFile(const std::string& relative) {
    std::vector<PerftCase> cases;
    std::ifstream in(TestData(relative));
    std::string line, fen;
    while (std::getline(in, line)) {
        if (line.rfind("epd ", 0) == 0) fen = line.substr(4);
        if (line.rfind("perft ", 0) == 0 && !fen.empty()) {
            std::istringstream s(line.substr(6));
            PerftCase c;
            c.fen = fen;
            s >> c.depth >> c.count;
            cases.push_back(c);
        }
    }
    return cases;
}

// Leaf counts from stockfish's "go perft", one session for all cases.
inline std::vector<uint64_t> StockfishPerft(const std::string& stockfish,
                                            const std::vector<PerftCase>& cases, bool chess960) {
    std::string input = "uci\n";
    if (chess960) input += "setoption name UCI_Chess960 value true\n";
    for (const auto& c : cases)
        input += "position fen " + c.fen + "\ngo perft " + std::to_string(c.depth) + "\n";
    input += "quit\n";
    const RunResult r = Run({stockfish}, input);
    std::vector<uint64_t> counts;
    std::istringstream out(r.out);
    std::string line;
    const std::string key = "Nodes searched:";
    while (std::getline(out, line))
        if (line.rfind(key, 0) == 0) counts.push_back(std::stoull(line.substr(key.size())));
    return counts;
}

} // namespace kbtest
