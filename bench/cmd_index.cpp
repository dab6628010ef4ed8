// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench index FILE [KEY]: builds the in-memory index of a PGN file and
// prints its game count and the scan speed. With a sort key (1..11) it also
// times a filter that reads every header and a sort by that key.
#include "KbBench.h"
#include "PGN.h"

#include <chrono>
#include <filesystem>
#include <iostream>

namespace {

double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

int RunIndex(const kbbench::Args& args) {
    if (args.empty() || args.size() > 2) return kbbench::UsageError("expected FILE [KEY]");
    int key = 0;
    if (args.size() == 2) {
        try {
            key = std::stoi(args[1]);
        } catch (...) {
            key = -1;
        }
        if (key < 1 || key > kb::skLast) return kbbench::UsageError("KEY must be 1..11");
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(args[0], ec);
    if (ec) {
        std::cerr << "kbbench index: cannot read " << args[0] << "\n";
        return 1;
    }
    kb::TPGN pgn;
    // The list's messages (an index made anew, say) are no silent matter.
    pgn.OnShowError = [](const std::string& Text) {
        std::cerr << "kbbench index: " << Text << "\n";
    };
    auto start = std::chrono::steady_clock::now();
    if (!pgn.SetFileName(args[0]) || pgn.ScanIncomplete()) {
        std::cerr << "kbbench index: not a PGN file: " << args[0] << "\n";
        return 1;
    }
    const double scan = SecondsSince(start);
    std::cout << pgn.GameCount() << "\n";
    std::cout << "bytes_per_second\t" << static_cast<double>(size) / scan << "\n";
    std::cout << "index_bytes_per_game\t"
              << (pgn.GameCount() ? static_cast<double>(pgn.IndexBytes()) / pgn.GameCount() : 0.0)
              << "\n";
    if (key > 0) {
        int shown = 0;
        pgn.OnFilterRequest = [&shown](kb::TPGN*, const kb::TEventData& h, bool& show) {
            show = !h.White.empty() || !h.Black.empty();
            shown += show;
        };
        start = std::chrono::steady_clock::now();
        pgn.ApplyFilter();
        std::cout << "filter_seconds\t" << SecondsSince(start) << "\t" << pgn.ItemCount() << "\n";
        start = std::chrono::steady_clock::now();
        pgn.Sort(static_cast<uint8_t>(key));
        std::cout << "sort_seconds\t" << SecondsSince(start) << "\n";
    }
    return 0;
}

const kbbench::Command c{"index", "FILE [KEY]", &RunIndex};

} // namespace
