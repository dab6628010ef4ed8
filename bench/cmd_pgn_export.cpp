// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench pgn-export FILE: every game loaded and written back as PGN.
#include "KbBench.h"
#include "Notation.h"

#include <iostream>
#include <string_view>
#include <vector>

namespace {

int RunPgnExport(const kbbench::Args& args) {
    std::string bytes;
    if (const int rc = kbbench::ReadOnePgnFile(args, bytes)) return rc;
    kb::TNotation notation;
    bool first = true;
    for (const std::string_view game : kbbench::SplitPgnGames(bytes)) {
        notation.LoadPGN(game);
        std::string text;
        if (notation.GetPGN(text) != 0) return 1;
        if (!first) std::cout << "\r\n";
        first = false;
        std::cout << text;
    }
    return 0;
}

const kbbench::Command command{"pgn-export", "FILE", &RunPgnExport};

} // namespace
