// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench eco FILE: classifies every game of a PGN file. Per game: number,
// ECO code, opening and variation (empty fields when nothing was found).
#include "KbBench.h"
#include "uEco.h"

#include <string_view>
#include <vector>

namespace {

int RunEco(const kbbench::Args& args) {
    std::string bytes;
    if (const int rc = kbbench::ReadOnePgnFile(args, bytes)) return rc;
    kb::TfrmEco eco;
    int number = 0;
    std::string out;
    for (const std::string_view game : kbbench::SplitPgnGames(bytes)) {
        eco.Classify(game);
        out += std::to_string(++number);
        for (const std::string* field : {&eco.Code, &eco.Opening, &eco.Variation}) {
            out += '\t';
            out += *field;
        }
        out += '\n';
        kbbench::WriteWhenFull(out);
    }
    return kbbench::WriteRest(out);
}

const kbbench::Command command{"eco", "FILE", &RunEco};

} // namespace
