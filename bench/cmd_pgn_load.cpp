// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench pgn-load FILE: loads every game of a PGN file into a hidden
// notation. Per game: number, main-line plies, all nodes, load result and
// the FEN after the main line.
#include "KbBench.h"
#include "Notation.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>

namespace kbbench {

// Shared with pgn-export.
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

// A game starts at a line beginning with "[Event "; text before the first
// such line belongs to the first game.
std::vector<std::string_view> SplitPgnGames(std::string_view bytes) {
    std::vector<size_t> starts{0};
    for (size_t pos = bytes.find("[Event ", 1); pos != std::string_view::npos;
         pos = bytes.find("[Event ", pos + 1)) {
        const char before = bytes[pos - 1];
        if (before == '\n' || before == '\r') starts.push_back(pos);
    }
    std::vector<std::string_view> games;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
        if (end > starts[i]) games.push_back(bytes.substr(starts[i], end - starts[i]));
    }
    return games;
}

} // namespace kbbench

namespace {

int RunPgnLoad(const kbbench::Args& args) {
    if (args.size() != 1) return kbbench::UsageError("expected one PGN file");
    std::string bytes;
    if (!kbbench::ReadPgnFile(args[0], bytes)) return kbbench::UsageError("cannot read " + args[0]);
    kb::TNotation notation;
    int number = 0;
    std::string out;
    std::vector<const kb::TVariante*> lines;
    for (const std::string_view game : kbbench::SplitPgnGames(bytes)) {
        ++number;
        const int result = notation.LoadPGN(game);
        // Count every node with an explicit stack of lines.
        long nodes = 0;
        lines.clear();
        if (notation.RootLine) lines.push_back(notation.RootLine);
        while (!lines.empty()) {
            const kb::TVariante* line = lines.back();
            lines.pop_back();
            for (const kb::TBaum* n = line->Erster; n; n = n->Next) {
                ++nodes;
                for (const kb::TVariante* v = n->Variations; v; v = v->Naechste)
                    lines.push_back(v);
            }
        }
        // Replay the main line on the working board.
        kb::TSchachbrett board = notation.GameData.Stellung;
        const kb::TZug* last = &notation.GameData.Zug;
        const kb::TFischerInfo* fischer = notation.ActiveFischerInfo();
        int plies = 0;
        int moveNo = notation.GameData.ZugNummer;
        for (const kb::TBaum* n = notation.RootLine ? notation.RootLine->Erster : nullptr; n;
             n = n->Next) {
            kb::ZugAusfuehren(board, n->Zug, fischer);
            last = &n->Zug;
            ++plies;
            moveNo = n->ZugNummer + (n->Zug.Side == 1 ? 1 : 0);
        }
        const std::string fen = kb::StellungToFEN(board, *last, moveNo, fischer != nullptr);
        char numbers[64];
        char* o = numbers;
        for (const long v : {static_cast<long>(number), static_cast<long>(plies), nodes,
                             static_cast<long>(result)}) {
            o = std::to_chars(o, numbers + sizeof numbers, v).ptr;
            *o++ = '\t';
        }
        out.append(numbers, o);
        out += fen;
        out += '\n';
        // Written in large pieces: one write per line would cost more than a load.
        if (out.size() >= (1u << 16)) {
            std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
            out.clear();
        }
    }
    std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
    return std::cout ? 0 : 1;
}

const kbbench::Command command{"pgn-load", "FILE", &RunPgnLoad};

} // namespace
