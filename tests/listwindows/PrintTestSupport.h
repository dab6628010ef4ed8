// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the printing suites.
#pragma once

#include "ChessPrintText.h"
#include "TestSupport.h"

#include <filesystem>
#include <string>

namespace printtest {

// Three games: annotated with variations to depth three, comments and a
// diagram mark; one from a set-up position; one unfinished ending in a comment.
inline std::string Annotated() {
    return kbtest::ReadFile(std::filesystem::path(KB_PRINT_TESTDIR) / "PrintAnnotated.pgn");
}

inline kb::TChessPrintText Build(std::string_view Pgn, bool FirstPosition = false,
                                 const std::string& Font = "Chess Merida") {
    kb::TChessPrintText t;
    t.FirstPosition = FirstPosition;
    t.DiagramFont = Font;
    kb::TNotation n;
    t.BuildText(Pgn, n);
    return t;
}

inline std::string SegmentText(const kb::TChessPrintText& T, const kb::TPrintSegment& S) {
    return T.PrintText.substr(static_cast<size_t>(S.Start - 1), static_cast<size_t>(S.Length));
}

// One game whose text grows with N, as bench/print_series.py writes it:
// kind 'c' a comment of N numbered words after the first move, 't' a White
// of N characters without a blank, 'm' N moves of knights going out and back.
inline std::string LongGame(char Kind, int N) {
    std::string white = "Alpha", moves;
    if (Kind == 'c') {
        moves = "1. e4 {";
        for (int i = 0; i < N; ++i)
            moves += (i ? " w" : "w") + std::to_string(i) + (i % 12 == 11 ? "\n" : "");
        moves += "} e5 2. Nf3 Nc6";
    } else if (Kind == 't') {
        white.clear();
        for (int i = 0; i < N; ++i)
            white += "abcdefghijklmnopqrstuvwxyz0123456789"[i % 36];
        moves = "1. e4 e5 2. Nf3 Nc6";
    } else {
        static const char* const cycle[4][2] = {
            {"Nf3", "Nf6"}, {"Ng1", "Ng8"}, {"Nc3", "Nc6"}, {"Nb1", "Nb8"}};
        for (int i = 0; i < N; ++i)
            moves += std::to_string(i + 1) + ". " + cycle[i % 4][0] + " " + cycle[i % 4][1] +
                     (i % 6 == 5 ? "\n" : " ");
    }
    return "[Event \"Series\"]\n[Site \"Bay\"]\n[Date \"2026.12.07\"]\n[Round \"1\"]\n"
           "[White \"" +
           white + "\"]\n[Black \"Beta\"]\n[Result \"1-0\"]\n\n" + moves + " 1-0\n";
}

inline bool IsBlank(char C) {
    return C == ' ' || C == '\r' || C == '\n';
}

} // namespace printtest
