// SPDX-License-Identifier: GPL-3.0-or-later
// Painting, scrolling, keys and display properties of the notation widget on
// the offscreen platform.
#include "WidgetTestSupport.h"

#include <QDialog>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kb;
using namespace kbwidget;

namespace {

std::string LongGame() {
    const std::string bytes =
        kbtest::ReadFile(kbtest::TestData("pgn/nepomniachtchi-liren-game1.pgn"));
    return ManyVariations(bytes);
}

// Widest line as painted, against the room the paint box has; lines that
// hold a single unbreakable word may overflow and are skipped.
void ExpectLinesFit(TNotationWidget& w) {
    const TNotation& n = w.Notation();
    const int room = w.Paintbox()->width();
    for (int i = 0; i + 1 < w.LineCount(); ++i) {
        const int32_t a = n.LineStarts[static_cast<size_t>(i)].Pos;
        const int32_t b = n.LineStarts[static_cast<size_t>(i) + 1].Pos;
        std::string text =
            n.LayoutText.substr(static_cast<size_t>(a - 1), static_cast<size_t>(b - a));
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        if (text.find(' ') == std::string::npos) continue;
        const int used = w.IndentForFont(n.LineStarts[static_cast<size_t>(i)].Font) +
                         w.RangeWidth(i, a, static_cast<int32_t>(text.size()));
        EXPECT_LE(used, room) << "line " << i << ": " << text;
    }
}

bool HasInk(const QImage& img, const QRect& r, const QColor& background) {
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (img.pixelColor(x, y) != background) return true;
    return false;
}

// A long game with many variations at several widths: every line fits, the
// last move scrolls into view and is drawn white on black, every visible
// line carries ink, and scrolling through the whole game paints cleanly.
TEST(NotationWidgetPaint, LongGameAtSeveralWidths) {
    const std::string pgn = LongGame();
    ASSERT_FALSE(pgn.empty());
    for (int width : {120, 260, 520, 1100}) {
        SCOPED_TRACE("width " + std::to_string(width));
        TNotationWidget w;
        Prepare(w, width, 220);
        TNotation& n = w.Notation();
        ASSERT_EQ(n.LoadPGN(pgn), 0);
        n.Refresh();
        ExpectLinesFit(w);
        ASSERT_GT(w.LineCount(), 220 / w.LineHeight());

        TBaum* last = kbtest::MainLine(n).back();
        n.CurrentMove = last;
        n.Refresh();
        EXPECT_GT(w.Scrollbar()->value(), 0);
        int32_t start = 0;
        const int line = w.LineIndexOfNode(last, start);
        EXPECT_GE(line + 1, w.FirstVisible());
        EXPECT_LE(line + 1, w.LastVisible());

        const QImage img = w.Paintbox()->grab().toImage();
        const QRect hl = w.HighlightRect();
        ASSERT_FALSE(hl.isEmpty());
        EXPECT_EQ(img.pixelColor(hl.topLeft()), QColor(Qt::black));
        bool white = false;
        for (int x = hl.left(); x <= hl.right() && !white; ++x)
            for (int y = hl.top(); y <= hl.bottom() && !white; ++y)
                white = img.pixelColor(x, y) == QColor(Qt::white);
        EXPECT_TRUE(white) << "the move's text is drawn in white";

        // Scroll through everything; each visible line with text shows ink.
        for (int top = 0; top <= w.Scrollbar()->maximum(); top += 3) {
            w.Scrollbar()->setValue(top);
            const QImage page = w.Paintbox()->grab().toImage();
            for (int i = w.FirstVisible() - 1; i + 1 < w.LastVisible(); ++i) {
                const int32_t a = n.LineStarts[static_cast<size_t>(i)].Pos;
                const int32_t b = n.LineStarts[static_cast<size_t>(i) + 1].Pos;
                const std::string t =
                    n.LayoutText.substr(static_cast<size_t>(a - 1), static_cast<size_t>(b - a));
                if (t.find_first_not_of(" {}") == std::string::npos) continue;
                const QRect row(0, (i + 1 - w.FirstVisible()) * w.LineHeight(), page.width(),
                                w.LineHeight());
                EXPECT_TRUE(HasInk(page, row, w.Color())) << "line " << i << ": " << t;
            }
        }
    }
}

// Tiny and empty windows: no row fits, yet nothing divides by zero, the
// page step stays a step and painting and clicks do nothing harmful.
TEST(NotationWidgetPaint, TinyWindow) {
    TNotationWidget w;
    Prepare(w, 30, 4);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn(NestedGame)), 0);
    n.CurrentMove = kbtest::MainLine(n).back();
    n.Refresh();
    EXPECT_GE(w.Scrollbar()->pageStep(), 1);
    EXPECT_GE(w.LineHeight(), 1);
    (void)w.Paintbox()->grab();
    w.ClickAt(1, 1);
    w.LineUpDown(1);
    w.LineUpDown(-1);
    w.resize(0, 0);
    (void)w.Paintbox()->grab();
    EXPECT_GE(w.Scrollbar()->pageStep(), 1);
}

// Down walks the game line by line to the last line with moves and stops
// there; Up walks back to the first line. The host hears of every step with
// the board of the move chosen.
TEST(NotationWidgetKeys, UpAndDownWalkTheLines) {
    for (int width : {160, 300}) {
        SCOPED_TRACE("width " + std::to_string(width));
        TNotationWidget w;
        Prepare(w, width, 150);
        TNotation& n = w.Notation();
        ASSERT_EQ(n.LoadPGN(kbtest::Pgn(NestedGame)), 0);
        int events = 0;
        n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett s, bool) {
            ++events;
            EXPECT_EQ(s, BoardAfter(n, n.CurrentMove));
        };
        n.CurrentMove = kbtest::MainLine(n).front();
        n.Refresh();
        w.setFocus();
        int32_t start = 0;
        int line = w.LineIndexOfNode(n.CurrentMove, start);
        int lastMoveLine = 0;
        for (TBaum* b : AllNodes(n))
            lastMoveLine = std::max(lastMoveLine, w.LineIndexOfNode(b, start));
        int steps = 0;
        while (line < lastMoveLine && steps < 100) {
            const int before = events;
            QTest::keyClick(&w, Qt::Key_Down);
            const int now = w.LineIndexOfNode(n.CurrentMove, start);
            ASSERT_GT(now, line) << "Down did not move on from line " << line;
            EXPECT_EQ(events, before + 1);
            // The move stays in view.
            EXPECT_GE(now + 1, w.FirstVisible());
            EXPECT_LE(now + 1, w.LastVisible());
            line = now;
            ++steps;
        }
        EXPECT_EQ(line, lastMoveLine);
        TBaum* const end = n.CurrentMove;
        QTest::keyClick(&w, Qt::Key_Down); // only the result line follows
        EXPECT_EQ(n.CurrentMove, end);
        while (line > 0 && steps < 200) {
            QTest::keyClick(&w, Qt::Key_Up);
            const int now = w.LineIndexOfNode(n.CurrentMove, start);
            ASSERT_LT(now, line) << "Up did not move on from line " << line;
            line = now;
            ++steps;
        }
        EXPECT_EQ(line, 0);
        QTest::keyClick(&w, Qt::Key_Up); // nothing above the first line
        EXPECT_EQ(w.LineIndexOfNode(n.CurrentMove, start), 0);
    }
}

TEST(NotationWidgetProperties, DefaultsAndSetters) {
    TNotationWidget w;
    Prepare(w, 300, 200);
    EXPECT_FALSE(w.Ueberschrift());
    EXPECT_FALSE(w.English());
    EXPECT_TRUE(w.AutoBold());
    EXPECT_EQ(w.Indent0Var(), 2);
    EXPECT_EQ(w.Indent1Var(), 10);
    EXPECT_EQ(w.Indent2Var(), 18);
    EXPECT_EQ(w.Zeilenabstand(), 3);
    EXPECT_EQ(w.BevelWidthNotat(), 1);
    EXPECT_EQ(w.BorderWidthNotat(), 0);
    EXPECT_EQ(w.Paintbox()->geometry().topLeft(), QPoint(1, 1));

    // The line height follows the main font and the spacing.
    const int lh = w.LineHeight();
    w.SetZeilenabstand(10);
    EXPECT_EQ(w.LineHeight(), lh + 7);

    // Bevel 0 is ignored; border and bevel move the paint box in.
    w.SetBevelWidthNotat(0);
    EXPECT_EQ(w.BevelWidthNotat(), 1);
    w.SetBorderWidthNotat(4);
    w.SetBevelWidthNotat(2);
    EXPECT_EQ(w.Paintbox()->geometry().topLeft(), QPoint(6, 6));
    EXPECT_EQ(w.Scrollbar()->geometry().left(), w.Paintbox()->geometry().right() + 1);
    EXPECT_EQ(w.Paintbox()->height(), 200 - 12);

    // The comment font never outgrows the move fonts.
    TNotationFont big = w.FontComment();
    big.Font.setPointSize(w.Font0Var().Font.pointSize() + 8);
    w.SetFontComment(big);
    EXPECT_EQ(w.FontComment().Font.pointSize(), w.Font0Var().Font.pointSize());

    // Variation fonts take only colour and style; name and size follow the main font.
    TNotationFont v1;
    v1.Font = QFont(w.Font0Var().Font.family(), 40);
    v1.Font.setItalic(true);
    v1.Color = Qt::red;
    w.SetFont1Var(v1);
    EXPECT_EQ(w.Font1Var().Font.pointSize(), w.Font0Var().Font.pointSize());
    EXPECT_TRUE(w.Font1Var().Font.italic());
    EXPECT_EQ(w.Font1Var().Color, QColor(Qt::red));
    TNotationFont main = w.Font0Var();
    main.Font.setPointSize(main.Font.pointSize() + 3);
    w.SetFont0Var(main);
    EXPECT_EQ(w.Font1Var().Font.pointSize(), main.Font.pointSize());
    EXPECT_EQ(w.Font2Var().Font.pointSize(), main.Font.pointSize());
    EXPECT_TRUE(w.Font1Var().Font.italic());
    EXPECT_FALSE(w.Font0Var().Font.kerning());
}

// Indents move the variation lines, and the highlight with them.
TEST(NotationWidgetProperties, IndentsMoveTheLines) {
    TNotationWidget w;
    Prepare(w, 500, 400);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn(NestedGame)), 0);
    const auto nodes = AllNodes(n);
    TBaum* inVar = nullptr;
    for (TBaum* b : nodes) {
        int32_t start = 0;
        const int line = w.LineIndexOfNode(b, start);
        if (n.LineStarts[static_cast<size_t>(line)].Font == TLineFont::Var1 &&
            start == b->TextPos - 1)
            inVar = b; // right after the "["
    }
    ASSERT_NE(inVar, nullptr);
    n.CurrentMove = inVar;
    n.Refresh();
    (void)w.Paintbox()->grab();
    const int left = w.HighlightRect().left();
    w.SetIndent1Var(40);
    (void)w.Paintbox()->grab();
    EXPECT_EQ(w.HighlightRect().left(), left + 30);
}

// A headline in a large font above a game comment in a small one is
// measured in its own font: its lines fit the window.
TEST(NotationWidgetProperties, HeadlineMeasuredInItsFont) {
    TNotationWidget w;
    Prepare(w, 260, 300);
    TNotation& n = w.Notation();
    std::string pgn = kbtest::Pgn("{A comment before the moves.} 1. e4 e5");
    pgn.replace(pgn.find("\"A\""), 3, "\"Alexandrovich Longname Player\"");
    ASSERT_EQ(n.LoadPGN(pgn), 0);
    TNotationFont head = w.FontHeadLine();
    head.Font.setPointSize(head.Font.pointSize() * 2);
    w.SetFontHeadLine(head);
    w.SetUeberschrift(true);
    ASSERT_GT(n.HeadlineEnd, 0);
    ExpectLinesFit(w);
    const QFontMetrics fm(w.FontHeadLine().Font);
    EXPECT_EQ(w.RangeWidth(0, 1, 3), fm.horizontalAdvance(QChar('A')) +
                                         fm.horizontalAdvance(QChar('l')) +
                                         fm.horizontalAdvance(QChar('e')));
}

} // namespace

namespace {

// The navigation keys walk the game: Home and End, Left and Right (asking
// where the next move has alternatives), PgUp and PgDn to branch points.
TEST(NotationWidgetKeys, NavigationKeys) {
    TNotationWidget w;
    Prepare(w, 260, 120);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn(NestedGame)), 0);
    const auto main = kbtest::MainLine(n); // e4 e5 Nf3 Nc6 Bb5 a6 Ba4 Nf6 O-O
    ASSERT_EQ(main.size(), 9u);
    int events = 0;
    bool lastNext = false;
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett s, bool next) {
        ++events;
        lastNext = next;
        EXPECT_EQ(s, n.CurrentMove ? BoardAfter(n, n.CurrentMove) : n.GameData.Stellung);
    };
    w.setFocus();
    auto key = [&](Qt::Key k) { QTest::keyClick(&w, k); };

    key(Qt::Key_End);
    EXPECT_EQ(n.CurrentMove, main.back());
    EXPECT_EQ(events, 1);
    // The last move scrolled into view in a window of a few lines.
    int32_t start = 0;
    const int line = w.LineIndexOfNode(n.CurrentMove, start);
    EXPECT_GT(w.Scrollbar()->value(), 0);
    EXPECT_GE(line + 1, w.FirstVisible());
    EXPECT_LE(line + 1, w.LastVisible());

    key(Qt::Key_Left);
    EXPECT_EQ(n.CurrentMove, main[7]);
    EXPECT_EQ(n.WorkBoard, BoardAfter(n, main[7]));
    key(Qt::Key_PageUp); // before 3...a6, the nearest move with alternatives
    EXPECT_EQ(n.CurrentMove, main[4]);
    key(Qt::Key_Home);
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_EQ(w.Scrollbar()->value(), 0);
    key(Qt::Key_PageDown); // up to the move before 2.Nf3 and its alternatives
    EXPECT_EQ(n.CurrentMove, main[1]);

    // Right where the next move has alternatives asks: Down and Enter take
    // the first alternative, Enter alone the main continuation.
    std::vector<int> counts;
    std::vector<std::vector<Qt::Key>> answers = {{Qt::Key_Down, Qt::Key_Return}, {Qt::Key_Return}};
    w.Dialogs().OnOpen = [&](QDialog* dlg) {
        const std::vector<Qt::Key> answer = answers.at(counts.size());
        auto* list = dlg->findChild<QListWidget*>("candidates");
        counts.push_back(list ? list->count() : -1);
        QTimer::singleShot(0, dlg, [list, answer] {
            for (Qt::Key k : answer)
                QTest::keyClick(list, k);
        });
    };
    const int before = events;
    key(Qt::Key_Right);
    ASSERT_EQ(counts, std::vector<int>({3})); // 2.Nf3, 2.f4, 2.d4
    ASSERT_NE(n.CurrentMove, nullptr);
    EXPECT_EQ(kbtest::NodeText(n, n.CurrentMove), "2.f4");
    EXPECT_FALSE(n.CurrentOnMainLine);
    EXPECT_EQ(events, before + 1);
    EXPECT_TRUE(lastNext);
    key(Qt::Key_Right);
    EXPECT_EQ(counts, std::vector<int>({3, 2})); // exf4, 2...d5
    EXPECT_EQ(kbtest::NodeText(n, n.CurrentMove), "exf4");
    EXPECT_EQ(n.WorkBoard, BoardAfter(n, n.CurrentMove));

    // Disabled, the keys do nothing.
    w.setEnabled(false);
    TBaum* const here = n.CurrentMove;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &press);
    EXPECT_EQ(n.CurrentMove, here);
}

} // namespace
