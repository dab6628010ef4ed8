// SPDX-License-Identifier: GPL-3.0-or-later
// Pairing tables of a game list: per round (0..50) the games ordered by the
// sum of both Elo ratings (compared as text, highest first), as HTML or as
// plain text.
#pragma once

#include "SchachProcs.h"

#include <string>
#include <vector>

namespace kb {

// Games whose round is above 50 are left out. DrawText stands for
// "1/2-1/2" (the ini's "remis"), "*" becomes a blank. Every HTML table is
// closed, and names are escaped.
std::string PairingTable(const std::vector<TEventData>& Games, bool Html,
                         const std::string& DrawText);

// &, <, >, " as HTML entities.
std::string HtmlEscape(const std::string& Text);

} // namespace kb
