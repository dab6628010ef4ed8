// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench pgn-load FILE: loads every game of a PGN file into a hidden
// notation. Per game: number, main-line plies, all nodes, load result and
// the FEN after the main line. A game that cannot be read is named on
// stderr, and the exit status is 1.
#include "KbBench.h"
#include "Notation.h"

#include <charconv>

namespace {

int RunPgnLoad(const kbbench::Args& args) {
    std::string bytes;
    if (const int rc = kbbench::ReadOnePgnFile(args, bytes)) return rc;
    kb::TNotation notation;
    notation.SetEnglish(true);
    std::string why;
    notation.OnError = [&why](kb::TNotation*, const std::string& m) { why = m; };
    int status = 0;
    int number = 0;
    std::string out;
    std::vector<const kb::TVariante*> lines;
    for (const std::string_view game : kbbench::SplitPgnGames(bytes)) {
        ++number;
        why.clear();
        const int result = notation.LoadPGN(game);
        if (result != 0 && !notation.NoGameFound()) {
            const kb::TEventData& e = notation.GameData.EventData;
            kbbench::SayUnreadable(static_cast<size_t>(number), e.White, e.Black, why);
            status = 1;
        }
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
        kbbench::WriteWhenFull(out);
    }
    const int rc = kbbench::WriteRest(out);
    return rc != 0 ? rc : status;
}

const kbbench::Command command{"pgn-load", "FILE", &RunPgnLoad};

} // namespace
