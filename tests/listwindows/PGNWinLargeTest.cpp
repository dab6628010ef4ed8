// SPDX-License-Identifier: GPL-3.0-or-later
// The shared real games joined twenty times (about 150,000 games): the list
// shows its first rows, scrolls to the end and sorts, and the window keeps
// answering events while it sorts.
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QApplication>
#include <QScrollBar>
#include <QTimer>

#include <fstream>
#include <gtest/gtest.h>

namespace {

TEST(ListLarge, OpensScrollsAndSortsTheJoinedFile) {
    kbtest::THostScope host;
    kbtest::TempDir dir;
    const auto file = dir / "joined.pgn";
    const std::string a = kbtest::ReadFile(kbtest::TestData("pgn/Carlsen.pgn"));
    const std::string b = kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn"));
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 20; ++i)
            out << a << "\r\n" << b << "\r\n";
    }
    const int perRound =
        static_cast<int>(kbtest::SplitGames(a).size() + kbtest::SplitGames(b).size());

    auto w = kbtest::OpenWindow(file);
    ASSERT_EQ(w->PGN()->ItemCount(), 20 * perRound);
    ASSERT_GT(w->PGN()->ItemCount(), 140000);
    w->resize(800, 500);
    w->show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w->grab().isNull());
    EXPECT_TRUE(w->PGN1->indexAt(QPoint(5, 5)).isValid());
    EXPECT_EQ(w->PGN1->indexAt(QPoint(5, 5)).row(), 0);

    w->PGN1->scrollToBottom();
    QCoreApplication::processEvents();
    const QModelIndex last = w->PGN1->model()->index(w->PGN()->ItemCount() - 1, 0);
    const QRect shown = w->PGN1->visualRect(last);
    EXPECT_TRUE(w->PGN1->viewport()->rect().contains(shown.center()));
    EXPECT_EQ(w->PGN1->indexAt(shown.center()), last);
    EXPECT_FALSE(w->grab().isNull());

    // Events keep coming while the sort runs.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    w->HeaderControlSectionClick(1);
    timer.stop();
    EXPECT_GT(ticks, 10);
    EXPECT_EQ(w->PGN()->SortKey(), kb::skWhite);
    // Players in order, first against last row.
    w->PGN()->ReadHeader(w->PGN()->GameIndex(0));
    const std::string first = w->PGN()->GameHeader().White;
    w->PGN()->ReadHeader(w->PGN()->GameIndex(w->PGN()->ItemCount() - 1));
    EXPECT_LE(first, w->PGN()->GameHeader().White);
    EXPECT_TRUE(w->isEnabled());
}

} // namespace
