// SPDX-License-Identifier: GPL-3.0-or-later
// The compact game record writer: the game held by a notation turned into the
// payload the own database stores (tagged header items, 0x02, a bit stream
// of moves with their annotations, comments and variations).
#pragma once

#include "Notation.h"

#include <string>

namespace kb {

// True when the compact form holds everything of the game: no Chess960
// start, no tag lines without a header field of their own, no annotation
// the bit layout cannot code, no 0x01/0x02 bytes in texts, no empty variation.
bool CanEncodeCompact(const TNotation& Notation);

// Payload of the game: the compact form when it holds the whole game, else
// the game's PGN text (it starts with "["). False when no payload could be made.
bool EncodeGameRecord(TNotation& Notation, std::string& Payload);

} // namespace kb
