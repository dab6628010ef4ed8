// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench list-delete FILE ROW...: opens FILE (PGN or own database) as the
// game list does and deletes those 0-based rows through the list's own
// delete, so that it can be timed and killed without a window. Prints the
// rows deleted and the games the file holds afterwards.
#include "KbBench.h"
#include "PGN.h"

#include <algorithm>
#include <iostream>

namespace {

int RunListDelete(const kbbench::Args& args) {
    if (args.size() < 2) return kbbench::UsageError("expected FILE ROW...");
    kb::TPGN pgn;
    if (!kbbench::OpenExistingList(args[0], pgn)) return 1;
    std::vector<int> rows;
    for (size_t i = 1; i < args.size(); ++i) {
        int row = 0;
        if (!kbbench::ParseInt(args[i], 0, pgn.ItemCount() - 1, row))
            return kbbench::UsageError("ROW must be 0.." + std::to_string(pgn.ItemCount() - 1));
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    bool ok = true;
    if (!pgn.IsDatabase()) {
        ok = pgn.DeleteGames(rows);
    } else {
        // From the last row up, as the list window does.
        for (auto it = rows.rbegin(); ok && it != rows.rend(); ++it)
            ok = pgn.DeleteGame(*it);
    }
    if (!ok) {
        kbbench::ReportChangeFailed(pgn, args[0], "the delete failed");
        return 1;
    }
    std::cout << "deleted\t" << rows.size() << "\n";
    std::cout << "games\t" << pgn.GameCount() << "\n";
    return 0;
}

const kbbench::Command c{"list-delete", "FILE ROW...", &RunListDelete};

} // namespace
