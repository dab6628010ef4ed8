// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers around the built-in engine for tools and tests: a small FEN
// reader into the engine's own board format, perft through the engine's
// generator, and coordinate move text.
#pragma once

#include "MiniMax.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kb {

// Reads piece placement, side, castling and en-passant fields. Castling may
// be KQkq or file letters (Shredder style, "HAha"); file letters, or KQkq
// with a king off the e-file, make it a Chess960 position, with Fischer
// filled in. An en-passant square that no pawn can just have passed is
// dropped. False on malformed text; the outputs are then unspecified.
bool EngineFenLesen(std::string_view Fen, TMiniMaxBrett& Brett, TEngineZug& Zug,
                    TEngineFischerInfo& Fischer);

// Leaf count of the legal move tree below the engine's current position
// (Depth is capped at the engine's deepest ply).
uint64_t EnginePerft(TMiniMax& Engine, int Depth);

// "e2e4", "e7e8q"; castling as the king's move ("e1g1").
std::string EngineZugText(const TMMZug& Move);

} // namespace kb
