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

inline bool IsBlank(char C) {
    return C == ' ' || C == '\r' || C == '\n';
}

} // namespace printtest
