// SPDX-License-Identifier: GPL-3.0-or-later
// ECO classification: the opening table and the classifier that looks for
// the deepest main-line position of a game in it. Plain C++ over a hidden
// notation; the game list's ECO run creates one TfrmEco and hands it every
// game.
#pragma once

#include "Notation.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kb {

struct TEcoRow {
    const char* Code;      // "A00" .. "E99"
    const char* Opening;   // never empty
    const char* Variation; // may be empty
    const char* FEN;       // halfmove clock and move number always " 0 1"
};

inline constexpr int EcoRowCount = 2014;

// Ordered by code, and within a code from the opening's first position to
// its deeper variations. Generated at build time from an ECO classification
// in PGN.
extern const std::array<TEcoRow, EcoRowCount> EcoTable;

// A position as the table compares it: placement, side to move, castling
// rights, and the en-passant square only when an en-passant capture is legal
// there (halfmove clock and move number play no part). So a transposition
// through a double step that no pawn can answer en passant is the same
// position.
struct TEcoKey {
    std::array<uint64_t, 4> Placement{}; // one nibble per square
    uint32_t State = 0;                  // side, rights, capturable en-passant square

    friend bool operator==(const TEcoKey&, const TEcoKey&) = default;
};

TEcoKey EcoKey(const TSchachbrett& Brett, const TZug& Zug);
// The first table row holding this position, -1 when none does.
int FindEcoRow(const TEcoKey& Key);

// Loads Text into N and answers whether it has a main line to classify: it
// loads, is not blank, is not Chess960, and any FEN tag reads.
bool LoadForEco(TNotation& N, std::string_view Text);

class TfrmEco {
public:
    TfrmEco();
    TfrmEco(const TfrmEco&) = delete;
    TfrmEco& operator=(const TfrmEco&) = delete;

    // The game parser and move stepper.
    TNotation Notation1;

    // FEN of the notation's current position, and what was found (all
    // empty when nothing was).
    std::string CurrentFEN;
    std::string Code;
    std::string Opening;
    std::string Variation;

    // OnMoveChange of Notation1.
    void Notation1MoveChange(TNotation* Sender, TZug Zug, TSchachbrett Stellung, bool NextMove);
    // Looks the current FEN up in the table; True sets code, opening and
    // variation from the first row with that position, False leaves them.
    bool FindEco();
    // The deepest main-line position of the game that the table holds
    // decides, the start position included. A game that does not load or is
    // Chess960 has no main line to classify: nothing is found. True when
    // something was found.
    bool Classify(std::string_view Text);
    // Out := the game with its ECO tag set to the found code (removed when
    // nothing was found), written as PGN. A game that does not load or is
    // Chess960 comes back unchanged, and then the result is False.
    bool ClassifyGame(std::string_view Text, std::string& Out);

private:
    bool FLoaded = false; // the last Classify had a main line to look at
};

} // namespace kb
