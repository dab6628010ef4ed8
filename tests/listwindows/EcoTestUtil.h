// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the ECO suites: the classification file the table comes from,
// split into its entries, and what its suites look up in it.
#pragma once

#include "TestSupport.h"
#include "uEco.h"

#include <string>
#include <vector>

namespace ecotest {

// The entries of the ECO classification file, one game text each, in order.
inline std::vector<std::string> EcoEntries() {
    const std::string bytes = kbtest::ReadFile(KB_ECO_PGN);
    std::vector<std::string> entries;
    size_t pos = 0;
    while ((pos = bytes.find("[ECO ", pos)) != std::string::npos) {
        const size_t next = bytes.find("\n[ECO ", pos);
        const size_t end = next == std::string::npos ? bytes.size() : next + 1;
        entries.push_back(bytes.substr(pos, end - pos));
        pos = end;
    }
    return entries;
}

// The value of a tag in a game text, empty when absent.
inline std::string TagValue(const std::string& game, const std::string& name) {
    const std::string open = "[" + name + " \"";
    size_t pos = game.find(open);
    while (pos != std::string::npos && pos > 0 && game[pos - 1] != '\n')
        pos = game.find(open, pos + 1);
    if (pos == std::string::npos) return {};
    const size_t start = pos + open.size();
    return game.substr(start, game.find('"', start) - start);
}

// First row holding the same FEN as row I.
inline int FirstRowWithFen(int I) {
    for (int j = 0; j <= I; ++j)
        if (std::string(kb::EcoTable[static_cast<size_t>(j)].FEN) ==
            kb::EcoTable[static_cast<size_t>(I)].FEN)
            return j;
    return I;
}

} // namespace ecotest
