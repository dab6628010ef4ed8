// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench db-import PGN KBF: appends every game of a PGN file to a database
// (created when missing). The games go in batches; after the sync that covers
// a batch it prints "stored", TAB and the number of games on disk so far, so
// that a killed import shows what was acknowledged. At the end: "games" and
// the games the file holds, "skipped" and those that could not be read (each
// named on stderr; the exit status is then 1).
// The games of a batch are turned into records by KB_BENCH_THREADS threads
// (default: up to 2), each with its own hidden notation; they are added in
// file order. A game that does not load is stored as its text and named on
// stderr, and the exit status is 1.
#include "KbBench.h"

#include "ChessDatabase.h"
#include "Notation.h"
#include "PGNScan.h"
#include "SchachProcs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

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

bool Say(const std::string& Line) {
    return std::fwrite(Line.data(), 1, Line.size(), stdout) == Line.size() &&
           std::fflush(stdout) == 0;
}

int RunDbImport(const kbbench::Args& args) {
    if (args.size() != 2) return kbbench::UsageError("expected PGN and KBF");
    // What the game list refuses to open goes into no database either.
    if (!kb::IsPGNFile(args[0])) {
        std::cerr << "kbbench db-import: not a PGN file: " << args[0] << "\n";
        return 1;
    }
    const size_t room = kb::TGameStartScanner::HeadRoom;
    std::string bytes;
    if (!ReadWholeFile(args[0], bytes, room)) {
        std::cerr << "kbbench db-import: cannot read " << args[0] << "\n";
        return 1;
    }
    // The games the game list finds; text before the first belongs to none.
    std::vector<int64_t> starts;
    kb::TGameStartScanner scanner;
    scanner.Feed(bytes.data() + room, bytes.size() - room, starts);
    scanner.Finish(starts);
    starts.push_back(static_cast<int64_t>(bytes.size() - room));

    unsigned threads = std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
    if (const char* t = std::getenv("KB_BENCH_THREADS"); t && std::atoi(t) > 0)
        threads = static_cast<unsigned>(std::atoi(t));
    // One converter per thread: a database object that is never opened,
    // with its own hidden notation.
    std::vector<std::unique_ptr<kb::TNotation>> notations;
    std::vector<std::unique_ptr<kb::TChessDatabase>> converters;
    std::vector<std::string> whys(threads); // each notation's last load error
    for (unsigned t = 0; t < threads; ++t) {
        notations.push_back(std::make_unique<kb::TNotation>());
        notations.back()->SetEnglish(true);
        notations.back()->OnError = [&whys, t](kb::TNotation*, const std::string& m) {
            whys[t] = m;
        };
        converters.push_back(std::make_unique<kb::TChessDatabase>());
        converters.back()->Notation = notations.back().get();
    }

    kb::TChessDatabase db;
    if (!db.Open(args[1], true)) {
        std::cerr << "kbbench db-import: cannot open " << args[1] << ": "
                  << kb::DatabaseErrorText(db.LastError()) << " (code " << db.LastError() << ")\n";
        return 1;
    }
    db.SetKeepOpen(true);
    const size_t games = starts.size() - 1;
    std::vector<std::string> payloads(BatchGames);
    std::vector<char> skipped(BatchGames);
    size_t stored = 0, skippedGames = 0;
    // A game that does not load is stored as its text, and named.
    struct TUnread {
        bool Is = false;
        std::string White, Black, Why;
    };
    std::vector<TUnread> unread(BatchGames);
    int status = 0;
    for (size_t first = 0; first < games; first += BatchGames) {
        const size_t count = std::min(BatchGames, games - first);
        auto convert = [&](unsigned t) {
            for (size_t g = t; g < count; g += threads) {
                const int64_t from = starts[first + g], to = starts[first + g + 1];
                const std::string text(bytes.data() + room + from, static_cast<size_t>(to - from));
                bool loaded = false;
                whys[t].clear();
                payloads[g] = converters[t]->PGNToRecord(text, &loaded);
                // Text with neither a tag nor a move is no game to store.
                skipped[g] = notations[t]->NoGameFound() ? 1 : 0;
                if (skipped[g]) payloads[g].clear();
                const kb::TEventData& e = notations[t]->GameData.EventData;
                unread[g] =
                    loaded || skipped[g] ? TUnread{} : TUnread{true, e.White, e.Black, whys[t]};
            }
        };
        std::vector<std::thread> pool;
        for (unsigned t = 1; t < threads; ++t)
            pool.emplace_back(convert, t);
        convert(0);
        for (auto& th : pool)
            th.join();
        for (size_t g = 0; g < count; ++g) {
            if (skipped[g] || payloads[g].empty()) {
                std::cerr << "kbbench db-import: game " << first + g + 1
                          << " cannot be read, skipped\n";
                ++skippedGames;
                continue;
            }
            if (unread[g].Is) {
                kbbench::SayUnreadable(first + g + 1, unread[g].White, unread[g].Black,
                                       unread[g].Why);
                status = 1;
            }
            int64_t number = -1;
            if (!db.AddRecord(number, payloads[g])) {
                std::cerr << "kbbench db-import: game " << first + g + 1 << " not added (code "
                          << db.LastError() << ")\n";
                return 1;
            }
            ++stored;
        }
        if (!db.Flush()) {
            std::cerr << "kbbench db-import: write failed (code " << db.LastError() << ")\n";
            return 1;
        }
        if (!Say("stored\t" + std::to_string(stored) + "\n")) return 1;
    }
    if (!db.Flush()) {
        std::cerr << "kbbench db-import: write failed (code " << db.LastError() << ")\n";
        return 1;
    }
    const std::string none = games == 0 ? "stored\t0\n" : "";
    if (!Say(none + "games\t" + std::to_string(games) + "\nskipped\t" +
             std::to_string(skippedGames) + "\n"))
        return 1;
    db.SetKeepOpen(false);
    db.Close();
    return skippedGames != 0 || status != 0 ? 1 : 0;
}

const kbbench::Command command{"db-import", "PGN KBF", &RunDbImport};

} // namespace
