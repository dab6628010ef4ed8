// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench: benchmark and verification driver. Runs one subsystem on files or
// positions and prints tab-separated results, ending with "seconds<TAB>N".
#include "KbBench.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>

namespace kbbench {
namespace {

struct Entry {
    const char* usage;
    Handler handler;
};

std::map<std::string, Entry>& Registry() {
    static std::map<std::string, Entry> commands;
    return commands;
}

std::string g_running;

} // namespace

Command::Command(const char* name, const char* usage, Handler handler) {
    Registry()[name] = Entry{usage, handler};
}

int UsageError(const std::string& message) {
    std::cerr << "kbbench " << g_running << ": " << message << "\n";
    auto it = Registry().find(g_running);
    if (it != Registry().end())
        std::cerr << "usage: kbbench " << g_running << " " << it->second.usage << "\n";
    return 2;
}

int DepthAndFen(const Args& args, int minDepth, int maxDepth, int& depth, std::string& fen) {
    if (args.size() < 2) return UsageError("DEPTH and FEN needed");
    try {
        depth = std::stoi(args[0]);
    } catch (...) {
        return UsageError("DEPTH is not a number");
    }
    if (depth < minDepth || depth > maxDepth)
        return UsageError("DEPTH out of range " + std::to_string(minDepth) + ".." +
                          std::to_string(maxDepth));
    fen = args[1];
    for (size_t i = 2; i < args.size(); ++i)
        fen += " " + args[i];
    return 0;
}

} // namespace kbbench

int main(int argc, char** argv) {
    using namespace kbbench;
    if (argc < 2 || !Registry().count(argv[1])) {
        std::cerr << "usage: kbbench COMMAND ARGS...\ncommands:\n";
        for (const auto& [name, entry] : Registry())
            std::cerr << "  " << name << " " << entry.usage << "\n";
        return 2;
    }
    g_running = argv[1];
    Args args(argv + 2, argv + argc);
    const auto start = std::chrono::steady_clock::now();
    const int rc = Registry()[g_running].handler(args);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (rc == 0) {
        std::cout << "seconds\t" << elapsed.count() << "\n";
        std::cout.flush();
    }
    return rc;
}
