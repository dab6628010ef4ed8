// SPDX-License-Identifier: GPL-3.0-or-later
// The list face on Qt's offscreen platform: rows follow the list, the host
// paints them, double click and Enter hand over the game, edits update the view.
#include "PGNList.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QTest>

using namespace kb;

namespace {

// The suite's application comes from the shared test environment.
QApplication& App() {
    return *qApp;
}

std::string Games(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += (i ? "\r\n\r\n" : "") + std::string("[Event \"E\"]\r\n[White \"W") +
             std::to_string(i) + "\"]\r\n\r\n1. e4 *";
    return s;
}

} // namespace

TEST(PGNList, HostPaintsTheVisibleRows) {
    App();
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "l.pgn", Games(200));
    TPGNList list;
    list.resize(300, 200);
    std::vector<std::pair<int, std::string>> painted;
    list.OnPGNDrawItem = [&](QWidget* control, QPainter* canvas, int index, const QRect& rect,
                             const TEventData& header, int gameIndex) {
        EXPECT_EQ(control, &list);
        EXPECT_EQ(gameIndex, list.PGN().GameIndex(index));
        EXPECT_FALSE(rect.isEmpty());
        canvas->drawText(rect, QString::fromStdString(header.White));
        painted.emplace_back(index, header.White);
    };
    ASSERT_TRUE(list.PGN().SetFileName((dir / "l.pgn").string()));
    EXPECT_EQ(list.model()->rowCount(), 200);
    list.show();
    QImage image = list.grab().toImage();
    ASSERT_FALSE(painted.empty());
    // Only the rows in view are painted (a virtual list).
    EXPECT_LT(painted.size(), 50u);
    for (const auto& [row, white] : painted)
        EXPECT_EQ(white, "W" + std::to_string(row));

    // Sorted in reverse, row 0 shows the last game.
    list.PGN().Sort(skWhite);
    list.PGN().Sort(skWhite);
    painted.clear();
    image = list.grab().toImage();
    ASSERT_FALSE(painted.empty());
    EXPECT_EQ(painted.front().first, 0);
    EXPECT_EQ(painted.front().second, "W99"); // names compare as text: W99 is the greatest
}

TEST(PGNList, DoubleClickAndEnterHandOverTheGame) {
    App();
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "d.pgn", Games(10));
    TPGNList list;
    list.resize(300, 300);
    ASSERT_TRUE(list.PGN().SetFileName((dir / "d.pgn").string()));
    list.show();
    std::vector<std::pair<std::string, int>> opened;
    list.OnPGNDblClick = [&](TPGNList* sender, const std::string& text, int gameNo) {
        EXPECT_EQ(sender, &list);
        opened.emplace_back(text, gameNo);
    };
    std::string keys;
    list.OnKeyPress = [&](TPGNList*, char& key) {
        keys += key;
        if (key == 'x') key = '\r'; // a host may turn a key into Enter
    };

    const QRect r3 = list.visualRect(list.model()->index(3, 0));
    ASSERT_TRUE(r3.isValid());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, r3.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, r3.center());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].second, 3);
    EXPECT_EQ(opened[0].first, "[Event \"E\"]\r\n[White \"W3\"]\r\n\r\n1. e4 *");

    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].second, 4);
    QTest::keyClick(&list, Qt::Key_X);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_NE(keys.find('x'), std::string::npos);

    // Deleting a game above it: the current row follows game 4 up a row.
    ASSERT_TRUE(list.PGN().DeleteGame(2));
    EXPECT_EQ(list.model()->rowCount(), 9);
    EXPECT_EQ(list.ItemIndex(), 3);
    EXPECT_EQ(list.SelCount(), 1);
    EXPECT_TRUE(list.Selected(3));
    QTest::keyClick(&list, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[3].second, 4);
    // Deleting game 4 itself leaves no current row: Enter opens nothing,
    // not the game that moved up into its row.
    ASSERT_TRUE(list.PGN().DeleteGame(3));
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.SelCount(), 0);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(opened.size(), 4u);

    // Appending shows a new row.
    int no = -1;
    ASSERT_TRUE(list.PGN().AppendGame(no, "[Event \"N\"]\r\n\r\n*"));
    EXPECT_EQ(no, 10);
    EXPECT_EQ(list.model()->rowCount(), 9);
}

TEST(PGNList, NoPaintingWhileDrawingIsSuppressed) {
    App();
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "p.pgn", Games(30));
    TPGNList list;
    list.resize(300, 300);
    ASSERT_TRUE(list.PGN().SetFileName((dir / "p.pgn").string()));
    list.show();
    int paintsDuringDelete = 0, paints = 0;
    bool deleting = false;
    list.OnPGNDrawItem = [&](QWidget*, QPainter*, int, const QRect&, const TEventData&, int) {
        ++paints;
        if (deleting) ++paintsDuringDelete;
    };
    int traces = 0;
    list.PGN().OnPGNTrace = [&](TPGN*, int percent, TCancelMode&) {
        // 0 ends the edit: drawing is allowed again by then.
        if (!deleting || percent == 0) return;
        ++traces;
        list.grab(); // a repaint from message pumping in the middle of the edit
    };
    deleting = true;
    ASSERT_TRUE(list.PGN().DeleteGame(0));
    deleting = false;
    EXPECT_GT(traces, 0);
    EXPECT_EQ(paintsDuringDelete, 0);
    list.grab();
    EXPECT_GT(paints, 0);
}

TEST(PGNList, DatabaseRowsAreNumbered) {
    App();
    kbtest::TempDir dir;
    TPGNList list;
    std::vector<std::string> errors;
    list.PGN().OnShowError = [&](const std::string& text) { errors.push_back(text); };
    list.PGN().BeforeCreatePGNFile = [](TPGN*, const std::string&, bool& create) { create = true; };
    ASSERT_TRUE(list.PGN().SetFileName((dir / "d.kbf").string()));
    ASSERT_TRUE(list.PGN().IsDatabase());
    for (int i = 0; i < 3; ++i) {
        int no = -1;
        ASSERT_TRUE(list.PGN().AppendGame(no, "[Event \"E\"]\r\n\r\n1. d4 *"));
    }
    EXPECT_EQ(list.model()->rowCount(), 3);
    EXPECT_EQ(list.model()->data(list.model()->index(2, 0), Qt::DisplayRole).toString(), "2");
    ASSERT_TRUE(list.PGN().DeleteGame(1));
    EXPECT_EQ(list.model()->rowCount(), 3);
    std::vector<bool> deleted;
    list.OnPGNDrawItem = [&](QWidget*, QPainter*, int, const QRect&, const TEventData& header,
                             int) { deleted.push_back(header.Deleted); };
    list.resize(200, 200);
    list.show();
    list.grab();
    EXPECT_EQ(deleted, (std::vector<bool>{false, true, false}));
    EXPECT_TRUE(errors.empty());
}

TEST(PGNList, SelectionAndRowUnderThePointer) {
    App();
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "s.pgn", Games(8));
    TPGNList list;
    list.resize(300, 300);
    ASSERT_TRUE(list.PGN().SetFileName((dir / "s.pgn").string()));
    list.show();
    const QRect r2 = list.visualRect(list.model()->index(2, 0));
    EXPECT_EQ(list.ItemAtPos(r2.center()), 2);
    EXPECT_EQ(list.ItemAtPos(QPoint(5, 290)), -1);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, r2.center());
    const QRect r5 = list.visualRect(list.model()->index(5, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, r5.center());
    EXPECT_EQ(list.SelCount(), 2);
    EXPECT_TRUE(list.Selected(2));
    EXPECT_TRUE(list.Selected(5));
    EXPECT_FALSE(list.Selected(3));
    list.SetSelected(5, false);
    list.SetSelected(7, true);
    EXPECT_FALSE(list.Selected(5));
    EXPECT_TRUE(list.Selected(7));
    EXPECT_FALSE(list.Selected(99));
    EXPECT_TRUE(list.model()->flags(list.model()->index(1, 0)) & Qt::ItemIsDragEnabled);
}
