// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers for the notation tests.
#pragma once

#include <gtest/gtest.h>

#include "Notation.h"

#include <string>
#include <vector>

namespace kbtest {

// A PGN game text with the usual tags around the movetext.
inline std::string Pgn(const std::string& movetext, const std::string& fen = {},
                       const std::string& result = "*") {
    std::string s = "[Event \"Test\"]\n[White \"A\"]\n[Black \"B\"]\n[Result \"" + result + "\"]\n";
    if (!fen.empty()) s += "[FEN \"" + fen + "\"]\n[SetUp \"1\"]\n";
    return s + "\n" + movetext + "\n";
}

inline std::vector<kb::TBaum*> MainLine(const kb::TNotation& n) {
    std::vector<kb::TBaum*> out;
    for (kb::TBaum* b = n.RootLine ? n.RootLine->Erster : nullptr; b; b = b->Next)
        out.push_back(b);
    return out;
}

inline std::vector<kb::TBaum*> Line(kb::TVariante* v) {
    std::vector<kb::TBaum*> out;
    for (kb::TBaum* b = v ? v->Erster : nullptr; b; b = b->Next)
        out.push_back(b);
    return out;
}

// The node's text in the laid-out notation (move number, SAN, signs).
inline std::string NodeText(const kb::TNotation& n, const kb::TBaum* b) {
    if (b->TextPos < 1 || b->TextPos - 1 + b->TextLen > static_cast<int>(n.LayoutText.size()))
        return "<bad span>";
    return n.LayoutText.substr(static_cast<size_t>(b->TextPos - 1),
                               static_cast<size_t>(b->TextLen));
}

// The main line as laid out, one text per move.
inline std::vector<std::string> MainLineTexts(const kb::TNotation& n) {
    std::vector<std::string> out;
    for (const kb::TBaum* b : MainLine(n))
        out.push_back(NodeText(n, b));
    return out;
}

// A hidden notation lays out when asked: these ask first.
inline std::string NodeText(kb::TNotation& n, const kb::TBaum* b) {
    n.EnsureLayout();
    return NodeText(static_cast<const kb::TNotation&>(n), b);
}

inline std::vector<std::string> MainLineTexts(kb::TNotation& n) {
    n.EnsureLayout();
    return MainLineTexts(static_cast<const kb::TNotation&>(n));
}

// The node whose laid-out text is Text, anywhere in the tree.
inline kb::TBaum* FindNode(kb::TNotation& n, const std::string& text) {
    std::vector<kb::TBaum*> work{n.RootLine ? n.RootLine->Erster : nullptr};
    while (!work.empty()) {
        kb::TBaum* b = work.back();
        work.pop_back();
        for (; b; b = b->Next) {
            if (NodeText(n, b) == text) return b;
            for (kb::TVariante* v = b->Variations; v; v = v->Naechste)
                work.push_back(v->Erster);
        }
    }
    ADD_FAILURE() << "no move " << text;
    return nullptr;
}

// Makes Node current through the layout's own replay.
inline void SelectNode(kb::TNotation& n, kb::TBaum* node) {
    n.CurrentMove = node;
    n.LayoutNotation(n.RootLine);
}

inline int Sq(const char* name) {
    return 10 * (name[1] - '1' + 2) + (name[0] - 'a' + 1);
}

// FEN of the position after the whole main line.
inline std::string FinalFen(kb::TNotation& n) {
    n.WorkBoard = n.GameData.Stellung;
    n.WorkMove = n.GameData.Zug;
    int moveNo = n.GameData.ZugNummer;
    for (kb::TBaum* b : MainLine(n)) {
        n.WorkMove = b->Zug;
        n.DoMove();
        moveNo = b->ZugNummer + (b->Zug.Side == 1 ? 1 : 0);
    }
    return kb::StellungToFEN(n.WorkBoard, n.WorkMove, moveNo, n.ActiveFischerInfo() != nullptr);
}

} // namespace kbtest
