// SPDX-License-Identifier: GPL-3.0-or-later
// The position an external engine is to analyse, with the way the game
// reached it, and the moves exchanged with engines: sent in coordinates,
// read back in whatever form an engine writes them (SAN, coordinates,
// "Nb1-c3", "a2xb3"), each checked with the rules core on the board.
#pragma once

#include "SchachProcs.h"

#include <optional>
#include <string>
#include <vector>

namespace kb {

struct TEnginePosition {
    TSchachbrett Brett = StandardStellung;
    TZug Zug{AllCastlingRights, 0, 1};
    int MoveNo = 1; // number of the next move
    bool Fischer = false;
    bool English = true; // language of the texts about the position
    // The game's start and the moves that lead from there to the position.
    // Without a start the position is its own start.
    bool HasStart = false;
    TSchachbrett StartBrett = StandardStellung;
    TZug StartZug{AllCastlingRights, 0, 1};
    std::vector<TZug> Moves; // From, To, Promotion as in the game tree
};

// Plays a legal move (From, To, Promotion) on the position: board, castling
// rights, en-passant square, side and move number follow. The start and
// the moves of P stay as they are.
void PlayMove(TEnginePosition& P, const TZug& Move);
// The legal move Text names on P, in SAN or coordinates, with or without
// "-", "x", "=", check and judgement marks; none when Text names no move
// or one that is not legal there.
std::optional<TZug> ParseEngineMove(const TEnginePosition& P, const std::string& Text);
// "e2e4", "e1g1" (castling as the king's step), "e7e8q".
std::string CoordinateMove(const TZug& Move);

// The part of a line of moves that is legal on P, move numbers and marks
// between its moves kept, cut before the first word that is neither; none
// when its first move is not legal there (the line is about another
// position). A line without any move is returned as it stands.
std::optional<std::string> LegalPart(const std::string& Line, const TEnginePosition& P);

// Edit mode says where the pieces stand and nothing more: castling is
// taken as possible where king and rook stand on their squares, and no
// pawn may capture en passant. True when P is exactly that.
bool EditModeExact(const TEnginePosition& P);
// The position P's start and moves lead to, checked move by move: false
// when P has no start, a move is not legal, or they do not end on P.
bool StartLeadsTo(const TEnginePosition& P);

} // namespace kb
