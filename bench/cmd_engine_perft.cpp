// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench engine-perft DEPTH FEN: leaf count through the built-in engine's
// generator and make/unmake.
#include "KbBench.h"

#include "EngineTools.h"

#include <iostream>
#include <memory>

namespace {

int RunEnginePerft(const kbbench::Args& args) {
    if (args.size() < 2) return kbbench::UsageError("DEPTH and FEN needed");
    int depth = 0;
    try {
        depth = std::stoi(args[0]);
    } catch (...) {
        return kbbench::UsageError("DEPTH is not a number");
    }
    if (depth < 0 || depth > kb::TMiniMax::MaxPly) return kbbench::UsageError("DEPTH out of range");
    std::string fen;
    for (size_t i = 1; i < args.size(); ++i)
        fen += (i > 1 ? " " : "") + args[i];
    kb::TMiniMaxBrett brett;
    kb::TEngineZug zug;
    kb::TEngineFischerInfo fischer;
    if (!kb::EngineFenLesen(fen, brett, zug, fischer)) return kbbench::UsageError("bad FEN");
    auto engine = std::make_unique<kb::TMiniMax>();
    engine->SetFischerInfo(&fischer);
    engine->SetPosition(brett, zug);
    std::cout << kb::EnginePerft(*engine, depth) << "\n";
    return 0;
}

const kbbench::Command command{"engine-perft", "DEPTH FEN", &RunEnginePerft};

} // namespace
