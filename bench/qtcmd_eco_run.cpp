// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench eco-run FILE: the game list window's ECO run over FILE without a
// window: the same classification, tag changes and rewrite of the file.
// Prints the games of the file and how many of them changed; fails with the
// reason when the file could not be changed (another copy of the program
// holding or having changed it among them).
#include "KbBench.h"
#include "PGN.h"
#include "PGNWinEco.h"

#include <filesystem>
#include <iostream>

namespace {

int RunEcoRun(const kbbench::Args& args) {
    if (args.size() != 1) return kbbench::UsageError("expected FILE");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(args[0], ec)) {
        std::cerr << "kbbench eco-run: no such file: " << args[0] << "\n";
        return 1;
    }
    kb::TPGN pgn;
    // Never create a file that is not there.
    pgn.BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) { Create = false; };
    if (!pgn.SetFileName(args[0]) || pgn.ScanIncomplete()) {
        std::cerr << "kbbench eco-run: cannot open " << args[0] << "\n";
        return 1;
    }
    const int games = pgn.GameCount();
    int changed = 0;
    kb::TEcoRunOptions options;
    options.Changed = &changed;
    if (kb::RunEcoClassification(pgn, kb::ClassifyByTable, options) != kb::TEcoRunResult::Done) {
        if (!pgn.IsDatabase() && pgn.LastRewrite() == kb::TRewriteResult::Refused)
            std::cerr << "kbbench eco-run: refused: another program holds " << args[0]
                      << " or changed it since it was read\n";
        else
            std::cerr << "kbbench eco-run: " << args[0] << " could not be changed\n";
        return 1;
    }
    std::cout << "games\t" << games << "\n";
    std::cout << "changed\t" << changed << "\n";
    return 0;
}

const kbbench::Command c{"eco-run", "FILE", &RunEcoRun};

} // namespace
