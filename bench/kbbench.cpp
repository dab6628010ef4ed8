// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench: benchmark and verification driver. Runs one subsystem on files or
// positions and prints tab-separated results, ending with "seconds<TAB>N".
#include "KbBench.h"
#include "PGN.h"
#include "PGNScan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

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

const std::string& RunningCommand() {
    return g_running;
}

bool ParseInt(const std::string& text, long lo, long hi, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

bool ReadPgnFile(const std::string& path, std::string& bytes) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) return false;
    // Read straight into the string, growing it only if the file grows.
    bytes.clear();
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(f.get());
        if (size > 0) bytes.reserve(static_cast<size_t>(size));
        std::rewind(f.get());
    }
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
        bytes.append(chunk, got);
    return !std::ferror(f.get());
}

int ReadOnePgnFile(const Args& args, std::string& bytes) {
    if (args.size() != 1) return UsageError("expected one PGN file");
    if (!ReadPgnFile(args[0], bytes)) return UsageError("cannot read " + args[0]);
    return 0;
}

void WriteWhenFull(std::string& out) {
    if (out.size() < (1u << 16)) return;
    std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
    out.clear();
}

int WriteRest(const std::string& out) {
    std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
    return std::cout ? 0 : 1;
}

void SayUnreadable(size_t Number, const std::string& White, const std::string& Black,
                   const std::string& Why) {
    std::cerr << "kbbench " << RunningCommand() << ": game " << Number;
    // A header without players reads them as "N.N.".
    if (White != "N.N." || Black != "N.N.") std::cerr << " (" << White << " - " << Black << ")";
    std::cerr << " cannot be read";
    if (!Why.empty()) std::cerr << ": " << Why;
    std::cerr << "\n";
}

bool OpenExistingList(const std::string& file, kb::TPGN& pgn) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        std::cerr << "kbbench " << RunningCommand() << ": no such file: " << file << "\n";
        return false;
    }
    pgn.BeforeCreatePGNFile = [](kb::TPGN*, const std::string&, bool& Create) { Create = false; };
    if (!pgn.SetFileName(file) || pgn.ScanIncomplete()) {
        std::cerr << "kbbench " << RunningCommand() << ": cannot open " << file << "\n";
        return false;
    }
    return true;
}

void ReportChangeFailed(const kb::TPGN& pgn, const std::string& file,
                        const std::string& otherwise) {
    std::cerr << "kbbench " << RunningCommand() << ": ";
    if (!pgn.IsDatabase() && pgn.LastRewrite() == kb::TRewriteResult::Refused)
        std::cerr << "refused: another program holds " << file
                  << " or changed it since it was read\n";
    else
        std::cerr << otherwise << "\n";
}

std::vector<std::string_view> SplitPgnGames(std::string_view bytes) {
    // The game list's own scan: the same games, whatever stands between them.
    return kb::SplitGameTexts(bytes);
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
