// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the notation widget tests: sample games, the tree in text
// order and the position a move leads to, worked out from the tree links.
#pragma once

#include "NotationTestUtil.h"
#include "NotationWidget.h"
#include "TestSupport.h"

#include <string>
#include <vector>

namespace kbwidget {

// Variations down to depth 4, an alternative to a variation's first move,
// comments, and an alternative to a Black move.
extern const char* const NestedGame;
// Glyphs, position NAGs, the extra NAG and both markers.
extern const char* const SignsGame;
// From a FEN with Black to move at move 23, with variations.
extern const char* const BlackFirstGame;
extern const char* const BlackFirstFen;

// Every node of the tree in text order.
std::vector<kb::TBaum*> AllNodes(const kb::TNotation& n);

// The position after Node, replayed along the tree links alone.
kb::TSchachbrett BoardAfter(kb::TNotation& n, const kb::TBaum* Node);

// True when Node lies on the main line.
bool OnMainLine(const kb::TNotation& n, const kb::TBaum* Node);

// A real game with a variation after every third ply (repeating the main
// move, so it is always legal), every second one holding another.
std::string ManyVariations(const std::string& RealGame);

// Sizes, shows and waits for the widget.
void Prepare(kb::TNotationWidget& w, int Width, int Height);

// Scrolls the node's line into the window.
void Reveal(kb::TNotationWidget& w, const kb::TBaum* Node);

} // namespace kbwidget
