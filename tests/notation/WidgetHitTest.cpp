// SPDX-License-Identifier: GPL-3.0-or-later
// Selecting moves by text position and by mouse: every move of a laid-out
// game can be reached, at several widths, and the position shown is the one
// the tree leads to.
#include "WidgetTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace kb;
using namespace kbwidget;

namespace {

struct Case {
    const char* Name;
    std::string Pgn;
};

std::vector<Case> Cases() {
    return {{"nested", kbtest::Pgn(NestedGame)},
            {"signs", kbtest::Pgn(SignsGame)},
            {"black first", kbtest::Pgn(BlackFirstGame, BlackFirstFen)}};
}

// Every position inside a move's text selects exactly that move, with the
// board it leads to; the result tells which node failed.
TEST(NotationWidgetSelect, EveryPositionOfEveryMove) {
    for (const Case& c : Cases()) {
        for (bool headline : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (headline ? " with headline" : ""));
            TNotationWidget w;
            Prepare(w, 260, 300);
            TNotation& n = w.Notation();
            ASSERT_EQ(n.LoadPGN(c.Pgn), 0);
            w.SetUeberschrift(headline);
            const auto nodes = AllNodes(n);
            ASSERT_GT(nodes.size(), 10u);
            for (TBaum* node : nodes) {
                const std::string text = kbtest::NodeText(n, node);
                for (int32_t p = node->TextPos; p < node->TextPos + node->TextLen; ++p) {
                    n.CurrentMove = nullptr;
                    ASSERT_TRUE(w.SelectTextPos(p)) << text << " at " << p;
                    ASSERT_EQ(n.CurrentMove, node)
                        << text << " at " << p << " got " << kbtest::NodeText(n, n.CurrentMove);
                    EXPECT_EQ(n.WorkBoard, BoardAfter(n, node)) << text;
                    EXPECT_EQ(n.WorkMove.From, node->Zug.From);
                    EXPECT_EQ(n.CurrentOnMainLine, OnMainLine(n, node)) << text;
                }
            }
        }
    }
}

// The nested alternative to a variation's first move, as in
// [2.f4 (2.d4) exf4]: the inner move is chosen, not the outer one.
TEST(NotationWidgetSelect, AlternativeToAVariationsFirstMove) {
    TNotationWidget w;
    Prepare(w, 400, 300);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4 e5 2. Nf3 (2. f4 (2. d4 exd4) exf4) Nc6")), 0);
    const std::string& t = n.LayoutText;
    const size_t d4 = t.find("2.d4");
    ASSERT_NE(d4, std::string::npos) << t;
    ASSERT_TRUE(w.SelectTextPos(static_cast<int32_t>(d4) + 3));
    ASSERT_NE(n.CurrentMove, nullptr);
    EXPECT_EQ(kbtest::NodeText(n, n.CurrentMove), "2.d4");
    EXPECT_FALSE(n.CurrentOnMainLine);
    const size_t exd4 = t.find("exd4");
    ASSERT_TRUE(w.SelectTextPos(static_cast<int32_t>(exd4) + 1));
    EXPECT_EQ(kbtest::NodeText(n, n.CurrentMove), "exd4");
    EXPECT_EQ(n.WorkBoard, BoardAfter(n, n.CurrentMove));
    const size_t exf4 = t.find("exf4");
    ASSERT_TRUE(w.SelectTextPos(static_cast<int32_t>(exf4) + 1));
    EXPECT_EQ(kbtest::NodeText(n, n.CurrentMove), "2...exf4");
    EXPECT_EQ(n.WorkBoard, BoardAfter(n, n.CurrentMove));
}

// Positions that hold no move are refused without touching the game, and no
// position, however far out, reads outside the text.
TEST(NotationWidgetSelect, RefusesWhatIsNoMove) {
    TNotationWidget w;
    Prepare(w, 300, 300);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn(NestedGame, {}, "1-0")), 0);
    w.SetUeberschrift(true);
    const std::string& t = n.LayoutText;
    TBaum* const before = kbtest::MainLine(n)[2];
    auto refused = [&](int32_t p) {
        n.CurrentMove = before;
        n.Refresh();
        const TSchachbrett board = n.WorkBoard;
        const bool ok = w.SelectTextPos(p);
        EXPECT_EQ(n.CurrentMove, before) << "at " << p;
        EXPECT_EQ(n.WorkBoard, board) << "at " << p;
        return !ok;
    };
    // Comments, the headline, the result and beyond.
    for (const TCommentSpan& c : n.CommentSpans) {
        const int32_t close = static_cast<int32_t>(t.find('}', static_cast<size_t>(c.Pos))) + 1;
        ASSERT_LT(close, c.Pos + c.Len + 1);
        for (int32_t p = c.Pos; p <= close; ++p)
            EXPECT_TRUE(refused(p)) << "comment at " << p;
    }
    for (int32_t p = 1; p <= n.HeadlineEnd; ++p)
        EXPECT_TRUE(refused(p)) << "headline at " << p;
    const int32_t len = static_cast<int32_t>(t.size());
    ASSERT_EQ(t.substr(t.size() - 3), "1-0");
    for (int32_t p = len - 4; p <= len + 3; ++p)
        EXPECT_TRUE(refused(p)) << "result at " << p;
    EXPECT_TRUE(refused(0));
    EXPECT_TRUE(refused(-5));

    // Every position: either refused or a move whose board matches the tree.
    for (int32_t p = -2; p <= len + 2; ++p) {
        n.CurrentMove = nullptr;
        if (w.SelectTextPos(p)) {
            ASSERT_NE(n.CurrentMove, nullptr) << p;
            EXPECT_EQ(n.WorkBoard, BoardAfter(n, n.CurrentMove)) << p;
        }
    }
}

// Text without any move number (a hand-broken layout) is refused.
TEST(NotationWidgetSelect, NoMoveNumberIsRefused) {
    TNotationWidget w;
    Prepare(w, 300, 200);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4 e5")), 0);
    n.LayoutText = "e4 e5 x  *";
    EXPECT_FALSE(w.SelectTextPos(1));
    EXPECT_FALSE(w.SelectTextPos(4));
    n.LayoutText = "0.e4 e5  *"; // a number before the game's start
    EXPECT_FALSE(w.SelectTextPos(3));
    EXPECT_EQ(n.CurrentMove, nullptr);
}

// A click on the middle of every move selects it, at several widths; the
// host hears of each selection with the board it must show.
TEST(NotationWidgetClick, RoundTripAtSeveralWidths) {
    for (const Case& c : Cases()) {
        for (int width : {140, 230, 420, 900}) {
            SCOPED_TRACE(std::string(c.Name) + " width " + std::to_string(width));
            TNotationWidget w;
            Prepare(w, width, 160);
            TNotation& n = w.Notation();
            int events = 0;
            TSchachbrett shown{};
            n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett s, bool next) {
                ++events;
                shown = s;
                EXPECT_FALSE(next);
            };
            ASSERT_EQ(n.LoadPGN(c.Pgn), 0);
            n.Refresh();
            events = 0;
            for (TBaum* node : AllNodes(n)) {
                n.CurrentMove = nullptr;
                Reveal(w, node);
                QPoint at;
                const int32_t mid = node->TextPos + node->TextLen / 2;
                ASSERT_TRUE(w.CharOrigin(mid, at)) << kbtest::NodeText(n, node);
                const int before = events;
                QTest::mouseClick(w.Paintbox(), Qt::LeftButton, {},
                                  at + QPoint(1, w.LineHeight() / 2));
                ASSERT_EQ(n.CurrentMove, node) << kbtest::NodeText(n, node);
                EXPECT_EQ(events, before + 1);
                EXPECT_EQ(shown, BoardAfter(n, node));
            }
        }
    }
}

// Clicks beside the moves: nothing happens without the headline; with it
// the start position returns and the host is told.
TEST(NotationWidgetClick, BesideTheMoves) {
    TNotationWidget w;
    Prepare(w, 400, 400);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn(NestedGame)), 0);
    int events = 0;
    TSchachbrett shown{};
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett s, bool) {
        ++events;
        shown = s;
    };
    TBaum* third = kbtest::MainLine(n)[2];
    n.CurrentMove = third;
    n.Refresh();
    const TCommentSpan game = n.CommentSpans.front();
    QPoint at;
    ASSERT_TRUE(w.CharOrigin(game.Pos + 2, at));
    QTest::mouseClick(w.Paintbox(), Qt::LeftButton, {}, at + QPoint(1, 2));
    EXPECT_EQ(n.CurrentMove, third);
    EXPECT_EQ(events, 0);
    // Below the last line.
    QTest::mouseClick(w.Paintbox(), Qt::LeftButton, {}, QPoint(5, w.Paintbox()->height() - 1));
    EXPECT_EQ(n.CurrentMove, third);
    EXPECT_EQ(events, 0);

    w.SetUeberschrift(true);
    ASSERT_TRUE(w.CharOrigin(1, at)); // the headline
    QTest::mouseClick(w.Paintbox(), Qt::LeftButton, {}, at + QPoint(1, 2));
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(shown, n.GameData.Stellung);
    EXPECT_TRUE(w.hasFocus() || !w.isActiveWindow());
}

TEST(NotationWidgetSelect, PositionAt) {
    TNotationWidget w;
    Prepare(w, 400, 300);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn(NestedGame)), 0);
    int events = 0;
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett, bool) { ++events; };
    TSchachbrett board{};
    const TCommentSpan c = n.CommentSpans.back();
    w.PositionAt(c.Pos + 1, board);
    EXPECT_EQ(board, n.GameData.Stellung);
    EXPECT_EQ(events, 0);
    TBaum* e5 = kbtest::MainLine(n)[1];
    w.PositionAt(e5->TextPos, board);
    EXPECT_EQ(events, 1);
    EXPECT_EQ(n.CurrentMove, e5);
    EXPECT_EQ(board, BoardAfter(n, e5));
}

} // namespace
