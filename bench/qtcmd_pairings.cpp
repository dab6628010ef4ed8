// SPDX-License-Identifier: GPL-3.0-or-later
// pairings FILE html|text: the pairing table of every game of FILE, as the
// list window copies it, to stdout.
#include "KbBench.h"
#include "KbBenchQt.h"
#include "PGNWin.h"

#include <QApplication>

#include <iostream>

namespace {

int RunPairings(const kbbench::Args& args) {
    if (args.size() != 2 || (args[1] != "html" && args[1] != "text"))
        return kbbench::UsageError("expected FILE and html or text");
    const auto app = kbbench::StartQt(kbbench::Screen::Offscreen);
    std::string table;
    {
        kb::TMDIPGN w;
        if (w.OpenFile(QString::fromStdString(args[0])).isEmpty()) {
            std::cerr << "kbbench pairings: cannot open " << args[0] << "\n";
            return 1;
        }
        table = w.CopyPairings(args[1] == "html");
    }
    std::cout << table;
    if (!table.empty() && table.back() != '\n') std::cout << "\n";
    return 0;
}

const kbbench::Command command{"pairings", "FILE html|text", &RunPairings};

} // namespace
