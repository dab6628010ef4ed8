// SPDX-License-Identifier: GPL-3.0-or-later
// A hidden notation lays out only when asked: what it shows then, and what
// it holds before, must equal a notation that laid out at once.
#include "NotationTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kb;
using kbtest::MainLine;
using kbtest::Pgn;

namespace {

struct NodeState {
    int32_t TextPos, TextLen, ZugNummer;
    std::string Kommentar;
    TZug Zug;
    friend bool operator==(const NodeState&, const NodeState&) = default;
};

// Every node in a fixed order (main line first, then each variation).
std::vector<NodeState> Nodes(const TNotation& n) {
    std::vector<NodeState> out;
    std::vector<const TVariante*> lines;
    if (n.RootLine) lines.push_back(n.RootLine);
    for (size_t i = 0; i < lines.size(); ++i) {
        for (const TBaum* b = lines[i]->Erster; b; b = b->Next) {
            out.push_back({b->TextPos, b->TextLen, b->ZugNummer, b->Kommentar, b->Zug});
            for (const TVariante* v = b->Variations; v; v = v->Naechste)
                lines.push_back(v);
        }
    }
    return out;
}

void ExpectSame(const TNotation& eager, const TNotation& lazy, const std::string& what) {
    EXPECT_EQ(lazy.LayoutText, eager.LayoutText) << what;
    EXPECT_EQ(lazy.LineStarts, eager.LineStarts) << what;
    EXPECT_EQ(lazy.CommentSpans, eager.CommentSpans) << what;
    EXPECT_EQ(lazy.HeadlineEnd, eager.HeadlineEnd) << what;
    EXPECT_EQ(lazy.GameData.Kommentar, eager.GameData.Kommentar) << what;
    EXPECT_TRUE(Nodes(lazy) == Nodes(eager)) << what;
    EXPECT_EQ(lazy.WorkBoard, eager.WorkBoard) << what;
    EXPECT_EQ(lazy.WorkMove, eager.WorkMove) << what;
    EXPECT_EQ(lazy.CurrentOnMainLine, eager.CurrentOnMainLine) << what;
    EXPECT_EQ(lazy.ErrorShown, eager.ErrorShown) << what;
    EXPECT_EQ(lazy.CurrentMove == nullptr, eager.CurrentMove == nullptr) << what;
}

// A notation somebody watches lays out on every change.
void Watch(TNotation& n, int& layouts) {
    n.AfterLayout = [&layouts](TNotation*) { ++layouts; };
}

// Loads Text into both, checks the state before and after the layout is
// asked for, then a refresh and an export on both.
void Compare(const std::string& text, const std::string& what, bool english = true,
             bool headline = false) {
    TNotation eager, lazy;
    int layouts = 0;
    Watch(eager, layouts);
    for (TNotation* n : {&eager, &lazy}) {
        n->SetEnglish(english);
        n->SetUeberschrift(headline);
    }
    layouts = 0;
    const int re = eager.LoadPGN(text);
    const int rl = lazy.LoadPGN(text);
    ASSERT_EQ(rl, re) << what;
    EXPECT_GE(layouts, 1) << what;
    EXPECT_FALSE(eager.LayoutPending()) << what;
    EXPECT_TRUE(lazy.LayoutPending()) << what;
    // Before anyone asks: the text is empty, the tree already final.
    EXPECT_TRUE(lazy.LayoutText.empty()) << what;
    EXPECT_TRUE(lazy.LineStarts.empty()) << what;
    for (const auto& [e, l] : [&] {
             std::vector<std::pair<NodeState, NodeState>> pairs;
             const auto a = Nodes(eager), b = Nodes(lazy);
             EXPECT_EQ(a.size(), b.size()) << what;
             for (size_t i = 0; i < a.size() && i < b.size(); ++i)
                 pairs.push_back({a[i], b[i]});
             return pairs;
         }()) {
        EXPECT_EQ(l.ZugNummer, e.ZugNummer) << what;
        EXPECT_EQ(l.Kommentar, e.Kommentar) << what;
        EXPECT_EQ(l.Zug, e.Zug) << what;
    }
    EXPECT_EQ(lazy.WorkBoard, eager.WorkBoard) << what;
    EXPECT_EQ(lazy.WorkMove, eager.WorkMove) << what;
    EXPECT_EQ(lazy.ErrorShown, eager.ErrorShown) << what;

    EXPECT_EQ(lazy.GetText(), eager.LayoutText) << what;
    EXPECT_FALSE(lazy.LayoutPending()) << what;
    ExpectSame(eager, lazy, what + " (asked)");
    lazy.EnsureLayout(); // asking twice changes nothing
    ExpectSame(eager, lazy, what + " (asked twice)");

    // A refresh is a layout of its own on both sides.
    eager.Refresh();
    lazy.Refresh();
    ExpectSame(eager, lazy, what + " (refreshed)");

    // Export, then the display layout back.
    std::string pe, pl;
    ASSERT_EQ(lazy.GetPGN(pl), eager.GetPGN(pe)) << what;
    EXPECT_EQ(pl, pe) << what;
    lazy.EnsureLayout();
    ExpectSame(eager, lazy, what + " (after export)");
}

TEST(NotationLazyLayout, TrickyGamesLayOutAsAtOnce) {
    const std::vector<std::string> games = {
        Pgn("1. e4 e5 2. Nf3 (2. f4 exf4) 2... Nc6"),
        Pgn("1. e4 e5 (1... c5 2. Nf3 (2. c3 d5 (2... Nf6 3. e5)) d6) (1... e6) 2. Nf3"),
        // Comments: blanks taken off by the load and by the layout, one
        // that shrinks to "{}" but still shows, an empty one, joined ones.
        Pgn("{  Game  } 1. e4 {   } e5 {    } 2. Nf3 {} Nc6 {  a  } { b } 3. Bb5 {  x   }"),
        Pgn("1. d4 $14 Nf6 $140 2. c4 !? e6 ?? 3. Nc3 $998 Bb4 $999 4. Qc2 $22 *"),
        Pgn("12... Kd5 {  two  } 13. Kd2 (13. Kf2 Ke4) *", "8/8/8/4k3/8/8/8/4K3 b - - 0 12"),
        Pgn("1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7#", {}, "1-0"),
        // A broken move: the load fails, what was read stays.
        Pgn("1. e4 e5 2. Nf3 (2. Bc4) Nc6 3. Qh7 Nf6"),
        Pgn("{ Only words } *"),
        "",
        "[Event \"x\"]\n[Result \"*\"]\n[FEN \"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/"
        "BQ1BNRKR w HFhf - 2 9\"]\n\n9. Ng3 O-O (9... Nb6 10. O-O) 10. O-O *\n",
    };
    for (size_t i = 0; i < games.size(); ++i) {
        Compare(games[i], "game " + std::to_string(i));
        Compare(games[i], "german headline " + std::to_string(i), false, true);
    }
}

TEST(NotationLazyLayout, RealGamesLayOutAsAtOnce) {
    for (const auto& entry : std::filesystem::directory_iterator(kbtest::TestData("pgn"))) {
        const std::string bytes = kbtest::ReadFile(entry.path());
        size_t start = 0;
        int game = 0;
        for (size_t pos = 1; pos <= bytes.size(); ++pos) {
            if (pos == bytes.size() || ((bytes[pos - 1] == '\n' || bytes[pos - 1] == '\r') &&
                                        bytes.compare(pos, 7, "[Event ") == 0)) {
                Compare(bytes.substr(start, pos - start),
                        entry.path().filename().string() + " #" + std::to_string(++game));
                start = pos;
                if (HasFailure()) return;
            }
        }
        EXPECT_GT(game, 0) << entry.path();
    }
}

TEST(NotationLazyLayout, AskingKeepsTheCurrentMoveAndBoard) {
    const std::string text = Pgn("1. e4 e5 2. Nf3 (2. f4 exf4) 2... Nc6 3. Bb5");
    TNotation eager, lazy;
    int layouts = 0;
    Watch(eager, layouts);
    ASSERT_EQ(eager.LoadPGN(text), 0);
    ASSERT_EQ(lazy.LoadPGN(text), 0);
    lazy.MoveForward();
    lazy.MoveForward();
    lazy.MoveForward();
    ASSERT_EQ(lazy.CurrentMove, MainLine(lazy)[2]);
    const TSchachbrett board = lazy.WorkBoard;
    const TZug move = lazy.WorkMove;
    EXPECT_EQ(board[kbtest::Sq("f3")], Springer);
    lazy.EnsureLayout();
    EXPECT_EQ(lazy.LayoutText, eager.LayoutText);
    EXPECT_EQ(lazy.LineStarts, eager.LineStarts);
    EXPECT_EQ(lazy.CurrentMove, MainLine(lazy)[2]);
    EXPECT_EQ(lazy.WorkBoard, board);
    EXPECT_EQ(lazy.WorkMove, move);
    EXPECT_EQ(kbtest::NodeText(lazy, MainLine(lazy)[2]), "2.Sf3");
}

TEST(NotationLazyLayout, ChangesLayOutAtOnceAgain) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5")), 0);
    ASSERT_TRUE(n.LayoutPending());
    n.SetEnglish(true);
    EXPECT_FALSE(n.LayoutPending());
    EXPECT_EQ(n.LayoutText, "1.e4 e5   *");
    // A watched notation never waits.
    int layouts = 0;
    Watch(n, layouts);
    ASSERT_EQ(n.LoadPGN(Pgn("1. d4 d5")), 0);
    EXPECT_FALSE(n.LayoutPending());
    EXPECT_EQ(n.LayoutText, "1.d4 d5   *");
    EXPECT_GE(layouts, 1);
}

} // namespace
