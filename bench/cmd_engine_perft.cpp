// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench engine-perft DEPTH FEN: leaf count through the built-in engine's
// generator and make/unmake.
#include "KbBench.h"

#include "EngineTools.h"

#include <iostream>
#include <memory>

namespace {

int RunEnginePerft(const kbbench::Args& args) {
    int depth = 0;
    std::string fen;
    if (const int rc = kbbench::DepthAndFen(args, 0, kb::TMiniMax::MaxPly, depth, fen)) return rc;
    kb::TMiniMaxBrett brett;
    kb::TEngineZug zug;
    kb::TEngineFischerInfo fischer;
    if (!kb::EngineFenLesen(fen, brett, zug, fischer)) return kbbench::UsageError("bad FEN");
    auto engine = std::make_unique<kb::TMiniMax>();
    engine->SetFischerInfo(&fischer);
    engine->SetPosition(brett, zug);
    if (!engine->PlayablePosition())
        return kbbench::UsageError("no game reaches this position: " + fen);
    std::cout << kb::EnginePerft(*engine, depth) << "\n";
    return 0;
}

const kbbench::Command command{"engine-perft", "DEPTH FEN", &RunEnginePerft};

} // namespace
