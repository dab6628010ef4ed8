// SPDX-License-Identifier: GPL-3.0-or-later
// Board windows inside the real frame with the real list windows: the
// command line opens a game, a new game is saved into an open list, and a
// closing window gives its geometry back to the frame's settings.
#include "BoardWindowSupport.h"
#include "FrameStartup.h"
#include "Local.h"
#include "Main.h"
#include "PGNSave.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QToolButton>

using namespace bwtest;

namespace {

class BoardWindowFrame : public TFrameTest {
protected:
    void Start(const QStringList& Args) {
        Frame = std::make_unique<TMainForm>(QString::fromStdString(Dir.path().string()), Args);
        ASSERT_TRUE(kbtest::WaitForStartup(*Frame));
    }
    TMDIBrett* FrontBoard() {
        const auto boards = Frame->BoardWindows();
        return boards.empty() ? nullptr : dynamic_cast<TMDIBrett*>(boards.front());
    }
};

// The board and its buttons lie whole inside the pane, the window and the
// frame's work area.
::testing::AssertionResult ShowsWholeBoard(TMDIBrett& B, QWidget* Area) {
    for (QWidget* part : {static_cast<QWidget*>(B.pBoard), B.pNavigation}) {
        const std::string name = part->objectName().toStdString();
        if (!B.pBrett->rect().contains(part->geometry()))
            return ::testing::AssertionFailure() << name << " cut off by the pane";
        const QRect inWindow(part->mapTo(&B, QPoint(0, 0)), part->size());
        if (!B.rect().contains(inWindow))
            return ::testing::AssertionFailure() << name << " cut off by the window";
        const QRect inArea(part->mapTo(Area, QPoint(0, 0)), part->size());
        if (!Area->rect().contains(inArea))
            return ::testing::AssertionFailure() << name << " outside the work area";
    }
    return ::testing::AssertionSuccess();
}

} // namespace

// Cascade, tile and splitter drags: every board window shows its whole board
// with its buttons, and tiled windows stay inside the work area.
TEST_F(BoardWindowFrame, CascadeTileAndSplitterShowTheWholeBoard) {
    Start({QString::fromStdString(File)});
    Frame->resize(1000, 900);
    Frame->show();
    for (int i = 0; i < 3; ++i)
        Frame->mGameOpenClick();
    QApplication::processEvents();
    QWidget* area = Frame->MdiArea()->viewport();
    const auto boards = [&] {
        std::vector<TMDIBrett*> out;
        for (TBoardWindowIntf* b : Frame->BoardWindows())
            out.push_back(dynamic_cast<TMDIBrett*>(b));
        return out;
    };
    ASSERT_EQ(boards().size(), 3u);
    ASSERT_EQ(Frame->MdiChildren().size(), 4u);

    const auto checkAll = [&](const char* After) {
        QApplication::processEvents();
        for (TMDIBrett* b : boards()) {
            EXPECT_TRUE(ShowsWholeBoard(*b, area)) << After;
            EXPECT_GE(b->Brett1->Groesse(), 16) << After;
        }
        EXPECT_FALSE(Frame->MdiArea()->horizontalScrollBar()->isVisible()) << After;
    };
    Frame->WindowCascadeItem->trigger();
    checkAll("cascade");
    // Cascaded windows are board windows, not title bars: as large as their
    // board asks, within the area.
    for (TMDIBrett* b : boards())
        EXPECT_GE(b->Brett1->Groesse(), 33);
    Frame->WindowTileItem->trigger();
    checkAll("tile");
    for (const TMdiChild& c : Frame->MdiChildren())
        EXPECT_TRUE(area->rect().contains(c.Sub->geometry()));
    // Tiled, the splitter dragged to either end: the notation stays readable
    // at the one, the whole smallest board at the other.
    for (TMDIBrett* t : boards()) {
        DragSplitter(*t, 2000);
        EXPECT_TRUE(NotationReadable(*t)) << "tiled, splitter fully right";
        DragSplitter(*t, -2000);
        EXPECT_TRUE(NotationReadable(*t)) << "tiled, splitter fully left";
    }
    checkAll("tile, splitter at its ends");

    // The splitter dragged far left, then to large squares.
    TMDIBrett* b = boards().front();
    b->SetBoardPaneWidth(10);
    QApplication::processEvents();
    EXPECT_GE(b->pBrett->width(), 8 * 16 + b->FMargin);
    EXPECT_TRUE(ShowsWholeBoard(*b, area));
    QMdiSubWindow* sub = Frame->SubWindowOf(b);
    sub->resize(900, sub->height());
    QApplication::processEvents();
    const int heightBefore = sub->height();
    b->SetBoardPaneWidth(8 * 72 + b->FMargin + 4);
    checkAll("splitter to 72");
    // The window grew for it: the area has the room.
    EXPECT_EQ(b->Brett1->Groesse(), 72);
    EXPECT_GT(sub->height(), heightBefore);
    // Where it has not, the board is as large as the window shows whole.
    Frame->resize(1000, 600);
    Frame->WindowTileItem->trigger();
    sub->resize(950, sub->height());
    QApplication::processEvents();
    b->SetBoardPaneWidth(8 * 80 + b->FMargin + 4);
    checkAll("splitter to 80 in a low frame");
    EXPECT_LT(b->Brett1->Groesse(), 80);

    // A small work area: the boards shrink to what it shows, never below
    // the smallest board.
    Frame->resize(700, 520);
    Frame->WindowTileItem->trigger();
    checkAll("tile in a small frame");
    for (TMDIBrett* t : boards()) {
        DragSplitter(*t, 2000);
        EXPECT_TRUE(NotationReadable(*t)) << "small frame tiled, splitter fully right";
    }
    checkAll("tile in a small frame, splitter fully right");
    Frame->WindowCascadeItem->trigger();
    checkAll("cascade in a small frame");
}

TEST_F(BoardWindowFrame, CommandLineShowsTheGameAndSaveGoesToTheList) {
    Start({QString::fromStdString(File), "2"});
    TMDIBrett* b = FrontBoard();
    ASSERT_TRUE(b);
    const std::vector<std::string> games = ReadGames(File);
    kb::TNotation third;
    third.LoadPGN(games.at(2));
    EXPECT_EQ(b->windowTitle().toStdString(),
              third.GameData.EventData.White + " - " + third.GameData.EventData.Black);
    ASSERT_EQ(Frame->ListWindows().size(), 1u);
    EXPECT_EQ(b->SourcePGN(), Frame->ListWindows().front()->PGN());
    EXPECT_TRUE(b->bNext->isEnabled());
    // It has the keyboard focus (for when the frame becomes active), so
    // that its Ctrl+digit shortcuts work at once.
    QWidget* focus = Frame->focusWidget();
    EXPECT_TRUE(focus && (focus == b || b->isAncestorOf(focus)))
        << (focus ? focus->metaObject()->className() : "no focus");
    // The same game again: the window comes to the front, no second one.
    kb::TPGN* pgn = b->SourcePGN();
    int no = -1;
    std::string text;
    pgn->GetGame(pgn->GameIndex(2), no, text);
    Frame->OpenBoardWindow(pgn, text, no, false);
    EXPECT_EQ(Frame->BoardWindows().size(), 1u);

    // A new game, saved into the open list.
    Frame->mGameOpenClick();
    TMDIBrett* n = FrontBoard();
    ASSERT_TRUE(n);
    ASSERT_NE(n, b);
    n->Brett1->Animation = 0;
    Drag(*n, "d2", "d4");
    Drag(*n, "g8", "f6");
    A.Dialog = [](QDialog& D) {
        auto* s = dynamic_cast<TfPGNSave*>(&D);
        if (!s) return int(mrCancel);
        EXPECT_EQ(s->cbFileName->count(), 1);
        s->eWeiss->setText("Neu");
        s->bOkClick();
        return s->result() == QDialog::Accepted ? int(mrOk) : int(mrCancel);
    };
    n->sbSaveClick();
    EXPECT_TRUE(A.Messages.empty());
    EXPECT_EQ(n->SourcePGN(), pgn);
    EXPECT_EQ(Frame->SaveDataBase, HistoryEntry(QString::fromStdString(File)));
    const std::vector<std::string> after = ReadGames(*pgn);
    ASSERT_EQ(after.size(), games.size() + 1);
    EXPECT_NE(after.back().find("Nf6"), std::string::npos);
}

// A paste of text that is no game tells so and keeps the window as it was:
// its game, tags, caption and place in the file, so that Save writes nothing.
// A pasted game not yet saved stays too.
TEST_F(BoardWindowFrame, PasteOfNoGameKeepsTheGameAndItsPlace) {
    Start({QString::fromStdString(File), "2"});
    TMDIBrett* b = FrontBoard();
    ASSERT_TRUE(b);
    kb::TNotation& n = b->Notation1->Notation();
    kb::TPGN* pgn = b->SourcePGN();
    ASSERT_TRUE(pgn);
    const int gameNo = b->GameNumber();
    const std::string fileBefore = kbtest::ReadFile(File);
    std::string gameBefore;
    n.GetPGN(gameBefore);
    const QString title = b->windowTitle();
    ASSERT_EQ(title.toStdString(), "Bakulin, Nikolay I - Kortschnoj, Viktor");
    n.MoveForward();
    const kb::TBaum* current = n.CurrentMove;
    ASSERT_TRUE(current);

    QGuiApplication::clipboard()->setText("https://example.org/x");
    b->mPGNInsertClick();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_TRUE(A.Messages[0].contains("Error reading moves.") ||
                A.Messages[0].contains(QString::fromUtf8("Beim Einlesen der Züge")))
        << A.Messages[0].toStdString();
    std::string gameAfter;
    n.GetPGN(gameAfter);
    EXPECT_EQ(gameAfter, gameBefore);
    EXPECT_EQ(n.CurrentMove, current);
    EXPECT_EQ(BoardOf(*b), NotationBoard(*b));
    EXPECT_EQ(b->windowTitle(), title);
    EXPECT_EQ(b->SourcePGN(), pgn);
    EXPECT_EQ(b->GameNumber(), gameNo);
    // Save, the first tool button: nothing changed, nothing written.
    EXPECT_FALSE(b->sbReplace->isEnabled());
    b->sbReplaceClick();
    EXPECT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(kbtest::ReadFile(File), fileBefore);

    // A game pasted over it, unsaved, then the bad paste again: the pasted
    // game stays.
    const std::vector<std::string> games = ReadGames(File);
    QGuiApplication::clipboard()->setText(QString::fromStdString(games.at(0)));
    b->mPGNInsertClick();
    const QString pastedTitle = b->windowTitle();
    ASSERT_NE(pastedTitle, title);
    std::string pasted;
    n.GetPGN(pasted);
    QGuiApplication::clipboard()->setText("  \r\n");
    A.Messages.clear();
    b->mPGNInsertClick();
    EXPECT_EQ(A.Messages.size(), 1u);
    std::string after;
    n.GetPGN(after);
    EXPECT_EQ(after, pasted);
    EXPECT_EQ(b->windowTitle(), pastedTitle);
    EXPECT_EQ(kbtest::ReadFile(File), fileBefore);
}

TEST_F(BoardWindowFrame, ClosingGivesTheGeometryBack) {
    Start({});
    Frame->mNewFRCClick();
    TMDIBrett* b = FrontBoard();
    ASSERT_TRUE(b);
    // A start that castles as standard chess does (king and rooks at home)
    // is no Chess960 game for the window.
    EXPECT_EQ(!b->lFRC->isHidden(), kb::IsFischerStartPosition(BoardOf(*b)));
    b->SetBoardPaneWidth(420);
    b->mDrehenClick();
    QMdiSubWindow* sub = Frame->SubWindowOf(b);
    ASSERT_TRUE(sub);
    sub->showNormal();
    sub->setGeometry(10, 20, 700, 500);
    ASSERT_TRUE(sub->close());
    QApplication::processEvents();
    EXPECT_EQ(Frame->BrettSize, 420);
    EXPECT_TRUE(Frame->WhiteOnTop);
    EXPECT_EQ(Frame->BrettWidth, 700);
    EXPECT_EQ(Frame->BrettHeight, 500);
    EXPECT_EQ(Frame->BrettLeft, 10);
    EXPECT_EQ(Frame->BrettTop, 20);
    // The next window starts from them.
    Frame->mGameOpenClick();
    TMDIBrett* next = FrontBoard();
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->Brett1->GetGedreht());
    EXPECT_EQ(next->BoardPaneWidth(), 420);
    EXPECT_EQ(next->Brett1->Groesse(), 49);
}

TEST_F(BoardWindowFrame, SaveWithoutAnOpenListOpensTheDatabaseWindow) {
    Start({});
    ASSERT_EQ(Frame->DatabaseWindow(), nullptr);
    Frame->mGameOpenClick();
    TMDIBrett* b = FrontBoard();
    ASSERT_TRUE(b);
    b->Brett1->Animation = 0;
    Drag(*b, "e2", "e4");
    b->sbSaveClick();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(A.Messages[0], ScreenLines(Text(2)));
    EXPECT_NE(Frame->DatabaseWindow(), nullptr);
    EXPECT_TRUE(b->Notation1->Notation().Modified);
}
