// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench db-export KBF: every game of a database read back as PGN, to stdout.
#include "KbBench.h"

#include "ChessDatabase.h"

#include <cstdio>
#include <iostream>

namespace {

int RunDbExport(const kbbench::Args& args) {
    if (args.size() != 1) return kbbench::UsageError("expected KBF");
    kb::TChessDatabase db;
    // A repair is no silent matter.
    db.OnBeforeCreateIndex = [&args](kb::TCustomDatabase*) {
        std::cerr << "kbbench db-export: " << args[0] << ": the index is made anew\n";
    };
    if (!db.Open(args[0])) {
        std::cerr << "kbbench db-export: cannot open " << args[0] << ": "
                  << kb::DatabaseErrorText(db.LastError()) << " (code " << db.LastError() << ")\n";
        return 1;
    }
    db.SetKeepOpen(true);
    const int64_t count = db.GetCount();
    std::string out, key, pgn;
    for (int64_t i = 0; i < count; ++i) {
        bool deleted = false;
        if (!db.ReadGame(key, pgn, deleted, i)) {
            std::cerr << "kbbench db-export: game " << i << " unreadable (code " << db.LastError()
                      << ")\n";
            return 1;
        }
        if (deleted) continue;
        out += pgn;
        out += "\r\n\r\n";
        if (out.size() > (size_t{1} << 20)) {
            if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) return 1;
            out.clear();
        }
    }
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        return 1;
    db.SetKeepOpen(false);
    db.Close();
    return 0;
}

const kbbench::Command command{"db-export", "KBF", &RunDbExport};

} // namespace
