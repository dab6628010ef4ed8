// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench eco-run FILE: the game list window's ECO run over FILE without a
// window: the same classification, tag changes and rewrite of the file.
// Prints the games of the file and how many of them changed; fails with the
// reason when the file could not be changed (another copy of the program
// holding or having changed it among them).
#include "KbBench.h"
#include "PGN.h"
#include "PGNWinEco.h"

#include <iostream>

namespace {

int RunEcoRun(const kbbench::Args& args) {
    if (args.size() != 1) return kbbench::UsageError("expected FILE");
    kb::TPGN pgn;
    if (!kbbench::OpenExistingList(args[0], pgn)) return 1;
    const int games = pgn.GameCount();
    int changed = 0;
    kb::TEcoRunOptions options;
    options.Changed = &changed;
    if (kb::RunEcoClassification(pgn, kb::ClassifyByTable, options) != kb::TEcoRunResult::Done) {
        kbbench::ReportChangeFailed(pgn, args[0], args[0] + " could not be changed");
        return 1;
    }
    std::cout << "games\t" << games << "\n";
    std::cout << "changed\t" << changed << "\n";
    return 0;
}

const kbbench::Command c{"eco-run", "FILE", &RunEcoRun};

} // namespace
