// SPDX-License-Identifier: GPL-3.0-or-later
// The position an external engine is to analyse, with the way the game
// reached it: an engine that takes no FEN is told the game.
#pragma once

#include "SchachProcs.h"

#include <vector>

namespace kb {

struct TEnginePosition : TStellung {
    bool English = true; // language of the texts about the position
    // The game's start and the moves that lead from there to the position.
    // Without a start the position is its own start.
    bool HasStart = false;
    TSchachbrett StartBrett = StandardStellung;
    TZug StartZug{AllCastlingRights, 0, 1};
    std::vector<TZug> Moves; // From, To, Promotion as in the game tree
};

} // namespace kb
