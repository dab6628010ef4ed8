// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench pgn-export FILE: every game loaded and written back as PGN. A
// game that cannot be read is named on stderr instead, and the exit status
// is 1.
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
    notation.SetEnglish(true);
    std::string why;
    notation.OnError = [&why](kb::TNotation*, const std::string& m) { why = m; };
    int status = 0;
    size_t number = 0;
    bool first = true;
    for (const std::string_view game : kbbench::SplitPgnGames(bytes)) {
        ++number;
        why.clear();
        if (notation.LoadPGN(game) != 0) {
            // What was not read is not written: no empty or cut game in its place.
            if (notation.NoGameFound()) continue;
            const kb::TEventData& e = notation.GameData.EventData;
            kbbench::SayUnreadable(number, e.White, e.Black, why);
            status = 1;
            continue;
        }
        std::string text;
        if (notation.GetPGN(text) != 0) return 1;
        if (!first) std::cout << "\r\n";
        first = false;
        std::cout << text;
    }
    return std::cout ? status : 1;
}

const kbbench::Command command{"pgn-export", "FILE", &RunPgnExport};

} // namespace
