// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace kbwidget {

const char* const NestedGame =
    "{Game comment.} 1. e4 e5 2. Nf3 (2. f4 exf4 (2... d5 3. exd5 (3. Nf3 dxe4 (3... Nc6 4. Bb5 "
    "{deep} a6) 4. Ng5) 3... e4) 3. Nf3 g5) (2. d4 (2. c3 d5) exd4 3. Qxd4) 2... Nc6 "
    "{Black develops.} 3. Bb5 a6 (3... Nf6 4. O-O Nxe4) 4. Ba4 Nf6 5. O-O";

const char* const SignsGame =
    "1. e4! e5?! 2. Nf3 $14 Nc6 $18 3. Bb5 $140 a6 $998 4. Ba4 $999 Nf6!! {good} 5. O-O $142 "
    "Be7?? 6. Re1 $5 b5";

const char* const BlackFirstFen = "8/8/8/4k3/8/8/8/4K3 b - - 0 23";
const char* const BlackFirstGame =
    "23... Kd4 (23... Ke6 24. Kd2 (24. Ke2 Kd5) Kd5) 24. Kd2 Kc4 25. Kc2 (25. Ke3 Kc3) Kb4";

std::vector<kb::TBaum*> AllNodes(const kb::TNotation& n) {
    std::vector<kb::TBaum*> out;
    if (!n.RootLine) return out;
    // Explicit stack of lines still to walk, each from a given node.
    std::vector<kb::TBaum*> stack{n.RootLine->Erster};
    while (!stack.empty()) {
        kb::TBaum* b = stack.back();
        stack.pop_back();
        if (!b) continue;
        out.push_back(b);
        // The rest of this line after the node's variations.
        stack.push_back(b->Next);
        std::vector<kb::TBaum*> vars;
        for (kb::TVariante* v = b->Variations; v; v = v->Naechste)
            vars.push_back(v->Erster);
        for (auto it = vars.rbegin(); it != vars.rend(); ++it)
            stack.push_back(*it);
    }
    std::sort(out.begin(), out.end(),
              [](const kb::TBaum* a, const kb::TBaum* b) { return a->TextPos < b->TextPos; });
    return out;
}

kb::TSchachbrett BoardAfter(kb::TNotation& n, const kb::TBaum* Node) {
    // Moves played to reach the node: a variation's first move replaces the
    // move it hangs on, so that move is left out.
    std::vector<const kb::TBaum*> chain{Node};
    for (const kb::TBaum* x = Node; x->Prev; x = x->Prev)
        if (x->Prev->Next == x) chain.push_back(x->Prev);
    const kb::TSchachbrett board = n.WorkBoard;
    const kb::TZug move = n.WorkMove;
    n.WorkBoard = n.GameData.Stellung;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        n.WorkMove = (*it)->Zug;
        n.DoMove();
    }
    const kb::TSchachbrett out = n.WorkBoard;
    n.WorkBoard = board;
    n.WorkMove = move;
    return out;
}

bool OnMainLine(const kb::TNotation& n, const kb::TBaum* Node) {
    for (const kb::TBaum* b = n.RootLine ? n.RootLine->Erster : nullptr; b; b = b->Next)
        if (b == Node) return true;
    return false;
}

std::string ManyVariations(const std::string& RealGame) {
    kb::TNotation n;
    n.SetEnglish(true);
    if (n.LoadPGN(RealGame) != 0) return {};
    n.Refresh();
    std::vector<std::string> san;
    for (const kb::TBaum* b : kbtest::MainLine(n)) {
        std::string t = kbtest::NodeText(n, b);
        t.erase(0, t.find_last_of('.') + 1);
        san.push_back(t);
    }
    auto num = [&](size_t ply) {
        // ply 0 is White's first move of a game from the start position.
        return std::to_string(ply / 2 + 1) + (ply % 2 == 0 ? ". " : "... ");
    };
    std::string out;
    for (size_t i = 0; i < san.size(); ++i) {
        out += num(i) + san[i] + " ";
        if (i % 3 == 0 && i + 1 < san.size()) {
            out += "(" + num(i) + san[i] + " {again} ";
            if (i % 2 == 0 && i + 2 < san.size())
                out += "(" + num(i) + san[i] + " " + num(i + 1) + san[i + 1] + ") ";
            out += num(i + 1) + san[i + 1] + ") ";
        }
    }
    return kbtest::Pgn(out);
}

void Prepare(kb::TNotationWidget& w, int Width, int Height) {
    w.resize(Width, Height);
    w.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
}

void Reveal(kb::TNotationWidget& w, const kb::TBaum* Node) {
    int32_t start = 0;
    const int line = w.LineIndexOfNode(Node, start);
    w.Scrollbar()->setValue(std::min(line, w.Scrollbar()->maximum()));
    w.SetVisibleRange(w.Scrollbar()->value());
}

} // namespace kbwidget
