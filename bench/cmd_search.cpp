// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench search DEPTH FEN: one search of the built-in engine. Prints the
// best move (coordinate notation), the score in centipawns from the side to
// move, the status byte, the nodes searched and nodes per second.
#include "KbBench.h"

#include "EngineTools.h"

#include <chrono>
#include <iostream>
#include <memory>

namespace {

int RunSearch(const kbbench::Args& args) {
    int depth = 0;
    std::string fen;
    if (const int rc = kbbench::DepthAndFen(args, 1, 255, depth, fen)) return rc;
    kb::TMiniMaxBrett brett;
    kb::TEngineZug zug;
    kb::TEngineFischerInfo fischer;
    if (!kb::EngineFenLesen(fen, brett, zug, fischer)) return kbbench::UsageError("bad FEN");

    auto engine = std::make_unique<kb::TMiniMax>();
    engine->SetFischerInfo(&fischer);
    engine->SetPosition(brett, zug);
    if (!engine->PlayablePosition())
        return kbbench::UsageError("no game reaches this position: " + fen);
    engine->English = true;
    int status = -1;
    engine->OnStop = [&](kb::TMiniMax*, kb::TEngineZug*&, uint8_t s) { status = s; };
    const auto start = std::chrono::steady_clock::now();
    engine->Start(brett, zug, static_cast<uint8_t>(depth));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (status < 0) {
        std::cerr << "kbbench search: no result reported\n";
        return 1;
    }
    const bool hasMove = status == 0 || status == 4 || status == 7;
    const uint64_t nodes = engine->Nodes();
    const double nps = took.count() > 0 ? nodes / took.count() : 0.0;
    std::cout << (hasMove ? kb::EngineZugText(engine->BestMove()) : std::string("-")) << "\t"
              << engine->BestValue() << "\t" << status << "\t" << nodes << "\t"
              << static_cast<uint64_t>(nps) << "\n";
    return 0;
}

const kbbench::Command command{"search", "DEPTH FEN", &RunSearch};

} // namespace
