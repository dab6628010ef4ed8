// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench db-import PGN KBF: appends every game of a PGN file to a database
// (created when missing). Prints each game's number once it is on disk: the
// games go in batches, and a batch is reported after the sync that covers it.
#include "KbBench.h"

#include "ChessDatabase.h"
#include "Notation.h"
#include "PGNScan.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

constexpr size_t BatchGames = 2000;

bool ReadWholeFile(const std::string& Name, std::string& Bytes, size_t HeadRoom) {
    std::ifstream in(Name, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << std::string(HeadRoom, ' ') << in.rdbuf();
    Bytes = s.str();
    return !in.bad();
}

bool Report(std::vector<int64_t>& Numbers) {
    std::string out;
    for (const int64_t n : Numbers)
        out += std::to_string(n) + "\n";
    Numbers.clear();
    return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
}

int RunDbImport(const kbbench::Args& args) {
    if (args.size() != 2) return kbbench::UsageError("expected PGN and KBF");
    const size_t room = kb::TGameStartScanner::HeadRoom;
    std::string bytes;
    if (!ReadWholeFile(args[0], bytes, room)) {
        std::cerr << "kbbench db-import: cannot read " << args[0] << "\n";
        return 1;
    }
    std::vector<int64_t> starts;
    kb::TGameStartScanner scanner;
    scanner.Feed(bytes.data() + room, bytes.size() - room, starts);
    if (starts.empty()) starts.push_back(0);
    starts.push_back(static_cast<int64_t>(bytes.size() - room));

    kb::TNotation notation; // hidden: turns each game into its compact record
    kb::TChessDatabase db;
    db.Notation = &notation;
    if (!db.Open(args[1])) {
        std::cerr << "kbbench db-import: cannot open " << args[1] << " (code " << db.LastError()
                  << ")\n";
        return 1;
    }
    db.SetKeepOpen(true);
    std::vector<int64_t> done;
    for (size_t g = 0; g + 1 < starts.size(); ++g) {
        const std::string text(bytes.data() + room + starts[g],
                               static_cast<size_t>(starts[g + 1] - starts[g]));
        const std::string payload = db.PGNToRecord(text);
        if (payload.empty()) continue; // nothing but blanks
        int64_t number = -1;
        if (!db.AddRecord(number, payload)) {
            std::cerr << "kbbench db-import: game " << g << " not added (code " << db.LastError()
                      << ")\n";
            return 1;
        }
        done.push_back(number);
        if (done.size() >= BatchGames) {
            if (!db.Flush()) {
                std::cerr << "kbbench db-import: write failed (code " << db.LastError() << ")\n";
                return 1;
            }
            if (!Report(done)) return 1;
        }
    }
    if (!db.Flush()) {
        std::cerr << "kbbench db-import: write failed (code " << db.LastError() << ")\n";
        return 1;
    }
    if (!Report(done)) return 1;
    db.SetKeepOpen(false);
    db.Close();
    return 0;
}

const kbbench::Command command{"db-import", "PGN KBF", &RunDbImport};

} // namespace
