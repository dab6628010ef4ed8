// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench eco FILE: classifies every game of a PGN file. Per game: number,
// ECO code, opening and variation (empty fields when nothing was found).
#include "KbBench.h"
#include "uEco.h"

#include <iostream>
#include <string_view>
#include <vector>

namespace {

int RunEco(const kbbench::Args& args) {
    if (args.size() != 1) return kbbench::UsageError("expected one PGN file");
    std::string bytes;
    if (!kbbench::ReadPgnFile(args[0], bytes)) return kbbench::UsageError("cannot read " + args[0]);
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
        if (out.size() >= (1u << 16)) {
            std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
            out.clear();
        }
    }
    std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
    return std::cout ? 0 : 1;
}

const kbbench::Command command{"eco", "FILE", &RunEco};

} // namespace
