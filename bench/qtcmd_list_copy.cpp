// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench list-copy SRC DST [ROW]: every game of SRC copied into DST by the
// game list's own drop, between two list windows on the offscreen screen:
// appended, or inserted before ROW (as with the insert button down). A
// missing DST is created as a new file is from the database window (the
// list's question answered Yes). Prints the games copied and, when some were
// not, how many (the reason on stderr).
#include "KbBench.h"
#include "KbBenchQt.h"
#include "PGNWin.h"

#include <QToolButton>

#include <iostream>
#include <memory>

namespace {

int RunListCopy(const kbbench::Args& args) {
    if (args.size() < 2 || args.size() > 3) return kbbench::UsageError("expected SRC DST [ROW]");
    int row = -1;
    if (args.size() == 3 && !kbbench::ParseInt(args[2], 0, 2147483647L, row))
        return kbbench::UsageError("ROW must be a row number from 0");

    // Questions get their Escape answer, on stderr.
    const auto app = kbbench::StartQt(kbbench::Screen::Offscreen);
    QWidget frame;
    auto* source = new kb::TMDIPGN(&frame);
    auto* target = new kb::TMDIPGN(&frame);
    if (source->OpenFile(QString::fromStdString(args[0])).isEmpty() ||
        source->PGN()->ScanIncomplete()) {
        std::cerr << "kbbench list-copy: cannot open " << args[0] << "\n";
        return 1;
    }
    target->PGN()->BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) {
        Create = true;
    };
    if (target->OpenFile(QString::fromStdString(args[1])).isEmpty() ||
        target->PGN()->ScanIncomplete()) {
        std::cerr << "kbbench list-copy: cannot open " << args[1] << "\n";
        return 1;
    }
    if (row >= 0 && row >= target->PGN()->ItemCount()) {
        std::cerr << "kbbench list-copy: " << args[1] << " has no row " << row << "\n";
        return 1;
    }
    source->PGN1->selectAll();
    if (row >= 0) target->sbDragInsert->setChecked(true);
    const kb::TCopyResult r = target->DropFrom(source, row);
    std::cout << "games\t" << r.Copied << "\n";
    if (r.NotCopied > 0) {
        // How many did not go in, and why: the window's own words.
        const std::string why = kb::CopyEndText(r, true);
        std::cout << "not-copied\t" << r.NotCopied << "\n";
        std::cerr << "kbbench list-copy: "
                  << (why.empty() ? std::to_string(r.NotCopied) + " games not copied, stopped"
                                  : why)
                  << "\n";
        return 1;
    }
    return 0;
}

const kbbench::Command command{"list-copy", "SRC DST [ROW]", &RunListCopy};

} // namespace
