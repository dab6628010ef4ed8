// SPDX-License-Identifier: GPL-3.0-or-later
// The list and database windows inside the real frame: Enter opens a game
// in a board window, closing the list asks while a board holds one of its
// games and frees the board, a deleted PGN file goes once its window is
// gone, the database window shows the frame's history, and the captions
// follow the language.
#include "BrettWin.h"
#include "ExploreWin.h"
#include "FrameStartup.h"
#include "Local.h"
#include "Main.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class ListFrame : public ::testing::Test {
protected:
    void SetUp() override {
        WindowFactories() = {};
        RegisterProgramWindows();
        kbtest::WriteFile(dir_ / "Kestrelbay.ini", "");
        const auto games = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
        file_ = QString::fromStdString(kbtest::WriteGames(dir_ / "six.pgn", games, 0, 6).string());
        frame_ = std::make_unique<TMainForm>(QString::fromStdString(dir_.path().string()),
                                             QStringList{file_});
        ASSERT_TRUE(kbtest::WaitForStartup(*frame_));
        ASSERT_EQ(frame_->ListWindows().size(), 1u);
        list_ = dynamic_cast<kb::TMDIPGN*>(frame_->ListWindows().front());
        ASSERT_TRUE(list_);
    }
    void TearDown() override {
        if (frame_)
            for (TBoardWindowIntf* b : frame_->BoardWindows())
                static_cast<TMDIBrett*>(b)->Notation1->Notation().SetModified(false);
        frame_.reset();
        WindowFactories() = {};
    }
    static void Settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    kbtest::THostScope host_;
    kbtest::TempDir dir_;
    QString file_;
    std::unique_ptr<TMainForm> frame_;
    kb::TMDIPGN* list_ = nullptr;
};

TEST_F(ListFrame, EnterOpensTheGameAndClosingFreesTheBoard) {
    list_->PGN1->setFocus();
    list_->PGN1->SetItemIndex(2);
    QTest::keyClick(list_->PGN1, Qt::Key_Return);
    ASSERT_EQ(frame_->BoardWindows().size(), 1u);
    TBoardWindowIntf* board = frame_->BoardWindows().front();
    EXPECT_EQ(board->SourcePGN(), list_->PGN());
    EXPECT_EQ(board->GameNumber(), 2);

    // A board holds a game: closing asks; No keeps the list.
    QPointer<kb::TMDIPGN> alive(list_);
    QMdiSubWindow* sub = frame_->SubWindowOf(list_);
    ASSERT_TRUE(sub);
    host_.Answers = {kb::lbNo};
    sub->close();
    Settle();
    ASSERT_TRUE(alive);
    ASSERT_EQ(host_.Messages.size(), 1u);
    EXPECT_EQ(host_.Messages[0].Text, Text(12));
    EXPECT_EQ(board->SourcePGN(), list_->PGN());

    // Yes: the board lets go of the list before the list goes.
    host_.Answers = {kb::lbYes};
    sub->close();
    Settle();
    EXPECT_FALSE(alive);
    ASSERT_EQ(frame_->BoardWindows().size(), 1u);
    EXPECT_EQ(frame_->BoardWindows().front()->SourcePGN(), nullptr);
    EXPECT_EQ(frame_->BoardWindows().front()->GameNumber(), -1);
    // The list's place went into the settings.
    EXPECT_GT(frame_->PGNWidth, 100);
}

TEST_F(ListFrame, DeletedPgnFileGoesAfterItsWindow) {
    ASSERT_TRUE(frame_->History.join('\n').contains(file_));
    QPointer<kb::TMDIPGN> alive(list_);
    host_.Answers = {kb::lbYes};
    list_->sbDeleteDatabaseClick();
    EXPECT_TRUE(fs::exists(dir_ / "six.pgn"));
    Settle();
    Settle();
    EXPECT_FALSE(alive);
    EXPECT_FALSE(fs::exists(dir_ / "six.pgn"));
    EXPECT_FALSE(frame_->History.join('\n').contains(file_));
}

TEST_F(ListFrame, DatabaseWindowAndLanguage) {
    frame_->mHistoryClick();
    auto* db = dynamic_cast<kb::TMDIDatabase*>(frame_->DatabaseWindow());
    ASSERT_TRUE(db);
    QStringList shown;
    for (int i = 0; i < db->lbDatabase->count(); ++i)
        shown << db->lbDatabase->item(i)->text();
    EXPECT_EQ(shown, frame_->History);

    auto header = [&](int S) {
        return list_->HeaderControl->model()->headerData(S, Qt::Horizontal).toString();
    };
    frame_->SelectLanguage(0);
    EXPECT_EQ(header(1), "Spieler");
    EXPECT_EQ(db->bPGN->text(), "Neue PGN");
    frame_->SelectLanguage(1);
    EXPECT_EQ(header(1), "Players");
    EXPECT_EQ(header(3), "Date");
    EXPECT_EQ(db->bPGN->text(), "New PGN");
    EXPECT_EQ(db->windowTitle(), "Databases (double click to open a file)");
    EXPECT_TRUE(list_->SearchBrett->English);
    frame_->SelectLanguage(0);
    EXPECT_EQ(header(1), "Spieler");
    EXPECT_EQ(db->Label1->text(), "Historie");
    EXPECT_FALSE(list_->SearchBrett->English);
}

TEST_F(ListFrame, FirstWindowShowsEveryColumn) {
    // No stored place: the window is as wide as its columns, since the list
    // does not scroll sideways.
    frame_->show();
    Settle();
    QMdiSubWindow* sub = frame_->SubWindowOf(list_);
    ASSERT_TRUE(sub);
    ASSERT_FALSE(sub->isMaximized());
    const int eco = list_->HeaderControl->sectionViewportPosition(5);
    EXPECT_LE(eco + list_->fontMetrics().horizontalAdvance(QStringLiteral("E99")),
              list_->PGN1->viewport()->width());
    // Narrower, every column still shows; wider, the names get the room.
    const int players = list_->HeaderControl->sectionSize(1);
    for (const int width : {480, 1500}) {
        sub->resize(width, sub->height());
        Settle();
        EXPECT_LE(list_->HeaderControl->sectionViewportPosition(5) +
                      list_->fontMetrics().horizontalAdvance(QStringLiteral("E99")),
                  list_->PGN1->viewport()->width())
            << width;
        EXPECT_EQ(list_->HeaderControl->sectionSize(1) > players, width > 1000) << width;
    }
}

// Tiled in a small frame beside board windows, the list window fits its tile,
// so its left part (first columns, start of the toolbar) is not hidden under
// a neighbour; the buttons that do not fit are reached through the toolbar.
TEST_F(ListFrame, TiledInASmallFrameTheListShowsItsLeftPart) {
    frame_->resize(800, 600);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
    QMdiSubWindow* sub = frame_->SubWindowOf(list_);
    ASSERT_TRUE(sub);
    QWidget* area = frame_->MdiArea()->viewport();
    // Seen by the user at this point of the list window: its own sub-window
    // is the one on top there.
    auto onTop = [&](QWidget* W, QPoint P) {
        QWidget* hit = area->childAt(W->mapTo(area, P));
        return hit && (hit == sub || sub->isAncestorOf(hit));
    };
    for (int boards : {3, 5}) {
        while (static_cast<int>(frame_->BoardWindows().size()) < boards)
            frame_->mGameOpenClick();
        for (int column : {0, 1}) {
            frame_->SelectLanguage(column);
            Settle();
            for (bool filter : {false, true}) {
                if (list_->pFilter->isVisible() != filter) list_->sbFilter->click();
                Settle();
                // The boards were used last, as after opening them: the
                // list is the window longest inactive, tiled bottom right.
                for (TBoardWindowIntf* b : frame_->BoardWindows())
                    frame_->MdiArea()->setActiveSubWindow(frame_->SubWindowOf(b->Window()));
                frame_->WindowTileItemClick();
                Settle();
                const std::string where = std::to_string(boards + 1) + " windows, language " +
                                          std::to_string(column) + (filter ? ", filter" : "");
                const int cols = boards + 1 <= 4 ? 2 : 3;
                EXPECT_LE(sub->width(), area->width() / cols + 1) << where;
                EXPECT_TRUE(sub->contentsRect().contains(list_->geometry())) << where;
                EXPECT_GE(list_->x(), 0) << where;
                EXPECT_TRUE(onTop(list_->sbFilter, {2, 2})) << where;
                EXPECT_TRUE(onTop(list_->HeaderControl, {2, 2})) << where;
                EXPECT_EQ(list_->HeaderControl->sectionViewportPosition(0), 0) << where;
                EXPECT_TRUE(onTop(list_->PGN1->viewport(), {2, 2})) << where;
                // What does not fit is reached, not squeezed: the toolbar's
                // last button lists the buttons that did not fit, the filter
                // panel keeps its smallest width and scrolls sideways.
                const auto* extension =
                    list_->Panel1->findChild<QToolButton*>(QStringLiteral("bMore"));
                ASSERT_TRUE(extension) << where;
                EXPECT_TRUE(extension->isVisible()) << where;
                EXPECT_FALSE(list_->bCompress->isVisible()) << where;
                const_cast<QToolButton*>(extension)->click();
                auto* more = list_->Panel1->findChild<QMenu*>(QStringLiteral("MoreMenu"));
                ASSERT_TRUE(more) << where;
                QStringList listed;
                for (QAction* a : more->actions())
                    listed << a->text();
                EXPECT_TRUE(listed.contains(list_->bCompress->text())) << where;
                EXPECT_FALSE(listed.contains(list_->sbFilter->text())) << where;
                EXPECT_FALSE(listed.contains(list_->sbOpen->text())) << where;
                // An entry of the menu presses its button.
                const bool drag = list_->sbDragInsert->isHidden();
                EXPECT_TRUE(drag || boards < 5) << where;
                for (QAction* a : more->actions())
                    if (drag && a->text() == list_->sbDragInsert->text()) {
                        const bool before = list_->sbDragInsert->isChecked();
                        EXPECT_EQ(a->isChecked(), before) << where;
                        a->trigger();
                        Settle();
                        EXPECT_NE(list_->sbDragInsert->isChecked(), before) << where;
                        list_->sbDragInsert->setChecked(before);
                    }
                EXPECT_EQ(listed.contains(list_->sbDragInsert->text()), drag) << where;
                more->close();
                if (filter) {
                    EXPECT_GE(list_->pFilter->width(), list_->pFilter->minimumSizeHint().width())
                        << where;
                    EXPECT_GT(list_->pFilter->width(), list_->width()) << where;
                    QScrollArea* box = nullptr;
                    for (QWidget* p = list_->pFilter; p && p != list_ && !box;
                         p = p->parentWidget())
                        box = qobject_cast<QScrollArea*>(p);
                    ASSERT_TRUE(box) << where;
                    EXPECT_TRUE(box->horizontalScrollBar()->isVisible()) << where;
                }
            }
        }
    }
    frame_->SelectLanguage(0);
}

TEST_F(ListFrame, DoubleClickOnASortedListOpensTheGameOfThatRow) {
    // Sorted by the players, the last row is not the last game of the file.
    list_->HeaderControlSectionClick(1);
    list_->HeaderControlSectionClick(1);
    frame_->show();
    Settle();
    const int row = list_->PGN()->ItemCount() - 1;
    const int game = list_->PGN()->GameIndex(row);
    ASSERT_NE(game, row);
    list_->PGN1->scrollTo(list_->PGN1->model()->index(row, 0));
    const QRect r = list_->PGN1->visualRect(list_->PGN1->model()->index(row, 0));
    QTest::mouseClick(list_->PGN1->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list_->PGN1->viewport(), Qt::LeftButton, {}, r.center());
    Settle();
    ASSERT_EQ(frame_->BoardWindows().size(), 1u);
    TBoardWindowIntf* board = frame_->BoardWindows().front();
    EXPECT_EQ(board->SourcePGN(), list_->PGN());
    EXPECT_EQ(board->GameNumber(), game);
    // The board shows that game's players.
    bool deleted = false;
    std::string text;
    ASSERT_TRUE(list_->PGN()->ReadGameText(game, deleted, text));
    const auto tags = kbtest::TagsOf(text);
    EXPECT_TRUE(board->Window()->windowTitle().contains(QString::fromStdString(tags.at("White"))))
        << board->Window()->windowTitle().toStdString();
}

} // namespace
