// SPDX-License-Identifier: GPL-3.0-or-later
// The board window: board sizes, coordinates, moves, messages, navigation,
// games of the source list, new games, FEN paste, engine answers, keys.
#include "AThreadWB.h"
#include "BoardWindowSupport.h"
#include "BrettWinFrame.h"
#include "Local.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolButton>

#include <filesystem>
#include <set>

using namespace bwtest;
using kb::TZug;

namespace {

class BoardWindow : public TWindowTest {
protected:
    QString Caption() {
        const kb::TEventData& e = W->Notation1->Notation().GameData.EventData;
        return QString::fromStdString(e.White + " - " + e.Black);
    }
};

// A copy of a shared game file in a temporary folder.
std::string CopyOf(const kbtest::TempDir& Dir, const std::string& Name) {
    const auto to = Dir / Name;
    std::filesystem::copy_file(kbtest::TestData("pgn/" + Name), to);
    return to.string();
}

} // namespace

TEST_F(BoardWindow, SplitterWidthsGiveTheFourteenSquareSizes) {
    const std::set<int> sizes{16, 21, 25, 29, 33, 37, 40, 45, 49, 54, 58, 64, 72, 80};
    std::set<int> seen;
    for (int width = 60; width <= 900; width += 3) {
        W->SetBoardPaneWidth(width);
        const int s = W->Brett1->Groesse();
        ASSERT_TRUE(sizes.count(s)) << "width " << width << " gave " << s;
        // The largest size whose board fits the pane; the pane is never
        // narrower than the smallest board with its buttons.
        const int pane = std::max(width, W->pBrett->minimumWidth());
        EXPECT_LE(8 * s, std::max(8 * 16, pane - W->FMargin)) << width;
        for (int bigger : sizes) {
            if (bigger > s) {
                EXPECT_GT(8 * bigger, pane - W->FMargin - 7) << width;
            }
        }
        // Shown whole: the window grew for it, buttons included.
        EXPECT_GE(W->pBrett->height(), W->pNavigation->geometry().bottom() + 1) << width;
        EXPECT_GE(W->pBrett->width(), W->pBoard->width()) << width;
        EXPECT_EQ(W->pBoard->width(), 8 * s + W->FMargin);
        EXPECT_EQ(W->pBoard->height(), 8 * s + W->FMargin);
        const kb::TFigurenset set = W->Brett1->Figuren();
        if (s == 16 || s == 21) {
            EXPECT_EQ(set, kb::TFigurenset::WinboardF21);
        } else {
            EXPECT_EQ(kb::FigurenGroesse(set), s);
        }
        // File letters sit below their files, ranks beside their ranks.
        const QLabel* a = W->FRankFileLabels[0][8];
        const QPoint boardA = W->Brett1->mapTo(W->pBoard, W->Brett1->SquareRect(0).center());
        EXPECT_LE(std::abs(a->geometry().center().x() - boardA.x()), 1) << width;
        EXPECT_GT(a->geometry().top(), W->Brett1->geometry().bottom() - 1);
        seen.insert(s);
    }
    EXPECT_EQ(seen, sizes);
}

TEST_F(BoardWindow, FlipTurnsBoardAndCoordinates) {
    auto texts = [this] {
        QString t;
        for (QLabel* l : W->FRankFileLabels[0])
            t += l->text();
        return t;
    };
    EXPECT_EQ(texts(), "87654321ABCDEFGH");
    W->mDrehen->trigger();
    EXPECT_TRUE(W->Brett1->GetGedreht());
    EXPECT_EQ(texts(), "12345678HGFEDCBA");
    // The label beside the top rank names the rank drawn there.
    W->mDrehen->trigger();
    EXPECT_FALSE(W->Brett1->GetGedreht());
    EXPECT_EQ(texts(), "87654321ABCDEFGH");
}

TEST_F(BoardWindow, UserMovesGoIntoTheNotation) {
    Drag(*W, "e2", "e4");
    Drag(*W, "e7", "e5");
    Drag(*W, "e1", "e3"); // illegal: taken back
    kb::TNotation& n = W->Notation1->Notation();
    ASSERT_TRUE(n.CurrentMove);
    EXPECT_EQ(n.CurrentMove->Zug.To, Sq("e5"));
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    EXPECT_EQ(BoardOf(*W)[Sq("e1")], 6);
    EXPECT_TRUE(W->sbReplace->isEnabled());
    EXPECT_TRUE(n.Modified);
    EXPECT_EQ(W->windowTitle(), Caption());
}

TEST_F(BoardWindow, RefusedMoveTouchesNeitherClocksNorThinkTimer) {
    Drag(*W, "e2", "e4");
    Drag(*W, "e7", "e5");
    W->sbBackClick();
    ASSERT_EQ(BoardOf(*W)[Sq("e7")], -1);
    // Play mode with frozen clocks, White's clock not running.
    for (kb::TTimeLabel* t : {W->tlWhite, W->tlBlack})
        t->SetClock([] { return int64_t{0}; });
    W->sbAnalyse->click();
    W->sbPlay->setEnabled(true);
    W->sbPlay->click();
    ASSERT_TRUE(W->sbPlay->isChecked());
    W->StopClocks();
    const auto before = BoardOf(*W);
    Chooser.Choice = kb::TNewMoveChoice::Cancel;
    W->Brett1->Ziehenmoeglich = true;
    Drag(*W, "d7", "d5");
    EXPECT_EQ(Chooser.Asked, 1);
    EXPECT_EQ(BoardOf(*W), before);
    EXPECT_FALSE(W->tlWhite->Running());
    EXPECT_FALSE(W->tlBlack->Running());
    EXPECT_FALSE(W->Timer1->isActive());
    // A move that is taken switches the clocks and starts the think timer.
    Chooser.Choice = kb::TNewMoveChoice::NewVariation;
    Drag(*W, "d7", "d5");
    EXPECT_TRUE(W->tlWhite->Running() || W->tlBlack->Running());
    EXPECT_TRUE(W->Timer1->isActive());
    W->sbPlay->click();
    W->sbAnalyse->click();
    EXPECT_FALSE(W->Timer1->isActive());
    EXPECT_FALSE(W->pTime->isVisible());
}

TEST_F(BoardWindow, MessagesSwitchSilencesRepetition) {
    auto shuffle = [this] {
        for (int i = 0; i < 2; ++i) {
            Drag(*W, "g1", "f3");
            Drag(*W, "g8", "f6");
            Drag(*W, "f3", "g1");
            Drag(*W, "f6", "g8");
        }
    };
    shuffle();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(A.Messages[0], bw::Text(3));
    A.Messages.clear();
    W->Notation1->Notation().SetModified(false);
    W->bNewClick();
    W->mMessages->trigger();
    EXPECT_TRUE(W->FMessagesOff);
    shuffle();
    EXPECT_TRUE(A.Messages.empty());
    W->mMessages->trigger();
    EXPECT_FALSE(W->FMessagesOff);
}

TEST_F(BoardWindow, PreviousAndNextGameWrapAround) {
    kbtest::TempDir dir;
    TTestListWindow list;
    ASSERT_FALSE(list.OpenFile(QString::fromStdString(CopyOf(dir, "Korchnoi.pgn"))).isEmpty());
    const std::vector<std::string> games = ReadGames(list.List->PGN().FileName());
    const int n = list.List->ItemCount();
    ASSERT_GE(n, 3);
    auto captionOf = [&](int row) {
        kb::TNotation t;
        t.LoadPGN(games[static_cast<size_t>(row)]);
        return QString::fromStdString(t.GameData.EventData.White + " - " +
                                      t.GameData.EventData.Black);
    };
    delete W.data();
    W = OpenFromList(list, 0);
    EXPECT_TRUE(W->bNext->isEnabled());
    W->bNextClick();
    EXPECT_EQ(list.List->ItemIndex(), 1);
    EXPECT_EQ(W->windowTitle(), captionOf(1));
    EXPECT_EQ(W->SourcePGN(), &list.List->PGN());
    list.List->SetItemIndex(n - 1);
    W->bNextClick();
    EXPECT_EQ(list.List->ItemIndex(), 0);
    EXPECT_EQ(W->windowTitle(), captionOf(0));
    W->bPrevClick();
    EXPECT_EQ(list.List->ItemIndex(), n - 1);
    EXPECT_EQ(W->windowTitle(), captionOf(n - 1));
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    list.List->SetItemIndex(-1);
    W->bPrevClick();
    EXPECT_EQ(list.List->ItemIndex(), n - 1);
    list.List->SetItemIndex(-1);
    W->bNextClick();
    EXPECT_EQ(list.List->ItemIndex(), 0);
    // A changed game asks first; Cancel stays on the game.
    Drag(*W, "a2", "a3");
    W->Notation1->Notation().SetModified(true);
    A.Replies = {mrCancel};
    W->bNextClick();
    EXPECT_EQ(list.List->ItemIndex(), 0);
    EXPECT_EQ(A.Messages.size(), 1u);
    // The list window closes: the window lets go of it.
    delete list.List;
    list.List = nullptr;
    EXPECT_EQ(W->SourcePGN(), nullptr);
    W->bNextClick(); // nothing to step through, no crash
}

TEST_F(BoardWindow, NewGameAndChess960) {
    Drag(*W, "e2", "e4");
    W->Notation1->Notation().SetModified(false);
    W->bNewClick();
    EXPECT_FALSE(W->Notation1->Notation().HasMoves());
    EXPECT_EQ(W->GameNumber(), -1);
    EXPECT_EQ(W->SourcePGN(), nullptr);
    EXPECT_TRUE(W->lFRC->isHidden());

    delete W.data();
    W = new TMDIBrett;
    W->Brett1->Animation = 0;
    W->show();
    W->StartGame(nullptr, {}, -1, true, false);
    for (int i = 0; i < 3; ++i) {
        const kb::TSchachbrett start = BoardOf(*W);
        EXPECT_EQ(start, NotationBoard(*W));
        EXPECT_FALSE(W->Notation1->Notation().Modified);
        EXPECT_FALSE(W->sbReplace->isEnabled());
        EXPECT_EQ(!W->lFRC->isHidden(), kb::IsFischerStartPosition(start));
        if (kb::IsFischerStartPosition(start)) {
            EXPECT_TRUE(W->FFischerInfo.Fischer);
            EXPECT_EQ(W->Brett1->FischerInfo, &W->FFischerInfo);
        }
        // Stays a Chess960 game (while the start is one).
        if (W->lFRC->isHidden()) break;
        W->bNewClick();
    }
}

// A pasted position no game reaches is refused with a message, in the
// window's language; the game and the Chess960 question stay untouched.
TEST_F(BoardWindow, FenPasteRefusesAnUnplayablePosition) {
    std::vector<QString> shown;
    A.Dialog = [&shown](QDialog& D) {
        if (auto* box = dynamic_cast<QMessageBox*>(&D)) shown.push_back(box->text());
        return int(mrOk);
    };
    Drag(*W, "e2", "e4");
    W->Notation1->Notation().SetModified(false);
    const std::string before = W->Notation1->Notation().GetText();
    const kb::TSchachbrett board = BoardOf(*W);
    QGuiApplication::clipboard()->setText(QStringLiteral("4k3/8/8/8/8/8/4R3/4K3 w - - 0 1"));
    W->mInsertFENClick();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].startsWith("This position cannot occur")) << shown[0].toStdString();
    EXPECT_TRUE(A.Messages.empty());
    EXPECT_EQ(W->Notation1->Notation().GetText(), before);
    EXPECT_EQ(BoardOf(*W), board);
}

TEST_F(BoardWindow, FenPasteInChess960AsksAboutCastling) {
    delete W.data();
    W = new TMDIBrett;
    W->Brett1->Animation = 0;
    W->show();
    W->StartGame(nullptr, {}, -1, true, false);
    W->Notation1->Notation().Chooser = &Chooser;
    const char* fen = "bbqnnrkr/pppppppp/8/8/8/8/PPPPPPPP/BBQNNRKR w KQkq - 0 1";
    for (int answer : {mrYes, mrNo}) {
        QGuiApplication::clipboard()->setText(QString::fromLatin1(fen));
        W->Notation1->Notation().SetModified(false);
        A.Messages.clear();
        A.Replies = {answer};
        W->mInsertFENClick();
        ASSERT_EQ(A.Messages.size(), 1u);
        EXPECT_EQ(A.Messages[0], bw::Text(0));
        const kb::TNotation& n = W->Notation1->Notation();
        EXPECT_EQ(n.GameData.Zug.CastlingRights, answer == mrYes ? 30 : 0);
        TZug z;
        W->Brett1->GetZug(z);
        EXPECT_EQ(z.CastlingRights, answer == mrYes ? 30 : 0);
        EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
        EXPECT_EQ(BoardOf(*W)[Sq("a1")], 3);
    }
}

// A pasted FEN that names a Chess960 position by its rook files keeps the
// game Chess960 in any window, without the start-array question; engines
// that take FEN are then told it cannot be said exactly. Rights the pieces
// deny never reach an engine.
TEST_F(BoardWindow, FenPasteKeepsChess960AndDropsDeniedRights) {
    TWBInfo fenMode;
    kb::SetCraftyEngineCommands(fenMode);
    const QString frc = QStringLiteral("1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w HBhb - 0 1");
    const QString denied = QStringLiteral("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w KQkq - 0 1");
    for (const bool frcWindow : {false, true}) {
        SCOPED_TRACE(frcWindow);
        delete W.data();
        W = new TMDIBrett;
        W->Brett1->Animation = 0;
        W->show();
        W->StartGame(nullptr, {}, -1, frcWindow, false);
        W->Notation1->Notation().SetModified(false);
        A.Messages.clear();

        QGuiApplication::clipboard()->setText(frc);
        W->mInsertFENClick();
        EXPECT_TRUE(A.Messages.empty());
        EXPECT_FALSE(W->lFRC->isHidden());
        EXPECT_TRUE(W->FFischerInfo.Fischer);
        EXPECT_EQ(W->FFischerInfo.WhiteRookA, Sq("b1"));
        EXPECT_EQ(W->Brett1->FischerInfo, &W->FFischerInfo);
        const kb::TNotation& n = W->Notation1->Notation();
        EXPECT_EQ(n.ActiveFischerInfo(), &W->FFischerInfo);
        EXPECT_EQ(n.GameData.Zug.CastlingRights, 30);
        const kb::TEnginePosition pos = W->EnginePosition();
        EXPECT_TRUE(pos.Fischer);
        EXPECT_EQ(pos.Zug.CastlingRights, 30);
        EXPECT_TRUE(kb::PositionCommands(fenMode, pos).empty());
        W->mFENCopyClick();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), frc);

        QGuiApplication::clipboard()->setText(denied);
        W->Notation1->Notation().SetModified(false);
        W->mInsertFENClick();
        EXPECT_TRUE(W->lFRC->isHidden());
        EXPECT_EQ(n.GameData.Zug.CastlingRights, 24);
        const auto sent = kb::PositionCommands(fenMode, W->EnginePosition());
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].rfind("setboard r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w kq - 0 1\r\n", 0),
                  0u)
            << sent[0];
        W->mFENCopyClick();
        EXPECT_EQ(QGuiApplication::clipboard()->text(),
                  QStringLiteral("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w kq - 0 1"));
    }
}

TEST_F(BoardWindow, EngineAnswersOnlyForTheShownPosition) {
    Drag(*W, "e2", "e4");
    W->sbAnalyse->click();
    W->sbPlay->setEnabled(true);
    W->sbPlay->click();
    for (kb::TTimeLabel* t : {W->tlWhite, W->tlBlack})
        t->SetClock([] { return int64_t{0}; });
    TZug e5;
    e5.CastlingRights = 30;
    e5.Side = 1;
    e5.From = Sq("e7");
    e5.To = Sq("e5");
    e5.EnPassant = Sq("e6");
    const auto before = BoardOf(*W);
    // Illegal and no-move answers change nothing but the memo.
    for (int status : {kb::StatusIllegal, kb::StatusNoMove}) {
        W->Memo1->setPlainText("thinking");
        W->WMEngineMove(e5, status, W->FSearchNo);
        EXPECT_EQ(BoardOf(*W), before);
        EXPECT_EQ(W->Notation1->Notation().CurrentMove->Zug.To, Sq("e4"));
        EXPECT_TRUE(W->Memo1->toPlainText().isEmpty());
    }
    // An answer for an older position is dropped.
    W->WMEngineMove(e5, kb::StatusMove, W->FSearchNo - 1);
    EXPECT_EQ(BoardOf(*W), before);
    // A move that is not legal here is dropped.
    TZug bad = e5;
    bad.To = Sq("e4");
    W->WMEngineMove(bad, kb::StatusMove, W->FSearchNo);
    EXPECT_EQ(BoardOf(*W), before);
    // The current answer is played.
    W->WMEngineMove(e5, kb::StatusMove, W->FSearchNo);
    EXPECT_EQ(W->Notation1->Notation().CurrentMove->Zug.To, Sq("e5"));
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    EXPECT_TRUE(W->tlWhite->Running());
}

TEST_F(BoardWindow, KeysWalkTheGameAndEscapeCloses) {
    Drag(*W, "e2", "e4");
    Drag(*W, "e7", "e5");
    W->Notation1->Notation().SetModified(false);
    QTest::keyClick(W->Brett1, Qt::Key_Left);
    EXPECT_EQ(W->Notation1->Notation().CurrentMove->Zug.To, Sq("e4"));
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    QTest::keyClick(W->Brett1, Qt::Key_Home);
    EXPECT_EQ(W->Notation1->Notation().CurrentMove, nullptr);
    EXPECT_EQ(BoardOf(*W), kb::StandardStellung);
    QTest::keyClick(W->Brett1, Qt::Key_End);
    EXPECT_EQ(W->Notation1->Notation().CurrentMove->Zug.To, Sq("e5"));
    W->bNextMainClick(); // at the end: nothing, autoplay off
    EXPECT_FALSE(W->AutoplayTimer->isActive());
    QTest::keyClick(W->Brett1, Qt::Key_Escape);
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(W.isNull());
}

TEST_F(BoardWindow, NextMainMovePlaysAlongTheMainLine) {
    W->Notation1->Notation().LoadPGN("[Event \"x\"]\n\n1. e4 (1. d4 d5) 1... e5 2. Nf3 *\n");
    W->Notation1->Notation().GotoStart();
    W->bAutoplayClick();
    EXPECT_TRUE(W->AutoplayTimer->isActive());
    EXPECT_EQ(W->bAutoplay->text(), "S");
    W->AutoplayTimerTimer();
    W->AutoplayTimerTimer();
    EXPECT_EQ(W->Notation1->Notation().CurrentMove->Zug.To, Sq("f3"));
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    W->AutoplayTimerTimer(); // the end switches autoplay off
    EXPECT_FALSE(W->AutoplayTimer->isActive());
    EXPECT_EQ(W->bAutoplay->text(), "A");
}

TEST_F(BoardWindow, TrainingTaskText) {
    struct Case {
        const char* Annotator;
        const char* Result;
        const char* Fen; // empty: White to move from the start
        const char* Text;
    };
    const Case cases[] = {
        {"T+", "*", "", "White to move and attains an advantage"},
        {"T!3", "*", "", "White to move and gains initiative"},
        {"T=", "*", "", "White to move and forces a good endgame"},
        {"T3", "1/2-1/2", "", "White to move and draw"},
        {"Tv", "1-0", "4k3/8/8/8/8/8/8/4K3 b - - 0 1", "Black to move and win"},
        {"T", "1-0", "", ""},
        {"X+", "1-0", "", ""},
    };
    for (const Case& c : cases) {
        std::string pgn = std::string("[Event \"x\"]\n[Annotator \"") + c.Annotator +
                          "\"]\n[Result \"" + c.Result + "\"]\n";
        if (*c.Fen) pgn += std::string("[SetUp \"1\"]\n[FEN \"") + c.Fen + "\"]\n";
        pgn += "\n*\n";
        ASSERT_EQ(W->Notation1->Notation().LoadPGN(pgn), 0) << c.Annotator;
        EXPECT_EQ(W->ForderungText().toStdString(), c.Text) << c.Annotator;
    }
    LanguageColumn = 0;
    W->Notation1->Notation().LoadPGN("[Event \"x\"]\n[Annotator \"T+\"]\n\n*\n");
    EXPECT_EQ(W->ForderungText(), "Weiß zieht und erreicht Vorteil");
}

// In training the task lies over the notation, which holds the solution;
// a click on it uncovers the moves.
TEST_F(BoardWindow, TrainingTaskCoversTheSolution) {
    const std::string game = "[Event \"x\"]\n[White \"A\"]\n[Black \"B\"]\n[Annotator \"T+\"]\n"
                             "[Result \"1-0\"]\n\n1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# 1-0\n";
    W->StartGame(nullptr, game, 0, false, true);
    ASSERT_TRUE(W->IsTraining());
    QApplication::processEvents();
    const auto topAt = [&](QPoint P) { return W->pNotation->childAt(P); };
    const auto covered = [&](const char* When) {
        ASSERT_TRUE(W->pForderung->isVisible()) << When;
        EXPECT_TRUE(W->pForderung->geometry().contains(W->Notation1->geometry())) << When;
        const QRect n = W->Notation1->geometry();
        for (QPoint p : {n.topLeft() + QPoint(2, 2), n.center(), n.bottomRight() - QPoint(2, 2)}) {
            QWidget* top = topAt(p);
            EXPECT_TRUE(top == W->pForderung || top == W->lForderung) << When;
        }
    };
    EXPECT_EQ(W->lForderung->text(), "White to move and attains an advantage");
    covered("shown");
    W->resize(W->width() + 120, W->height() + 90);
    QApplication::processEvents();
    covered("resized");

    QTest::mouseClick(W->lForderung, Qt::LeftButton);
    EXPECT_FALSE(W->pForderung->isVisible());
    QWidget* top = topAt(W->Notation1->geometry().center());
    EXPECT_TRUE(top == W->Notation1 || W->Notation1->isAncestorOf(top));
    // The next task covers its moves again.
    W->StartGame(nullptr, game, 0, false, true);
    QApplication::processEvents();
    covered("next task");
}

TEST_F(BoardWindow, SplitterAtItsEndsKeepsTheSmallestBoardAndAReadableNotation) {
    W->resize(900, 760);
    QApplication::processEvents();
    // Fully right: the board at its largest, the notation still readable and
    // no empty strip beside the board.
    DragSplitter(*W, 2000);
    EXPECT_TRUE(NotationReadable(*W));
    EXPECT_EQ(W->Brett1->Groesse(), 80);
    EXPECT_LE(W->pBrett->width(), W->pBoard->width() + 8);
    // The window narrowed under it: the notation keeps its width, the board
    // gives way.
    W->resize(600, 760);
    QApplication::processEvents();
    EXPECT_TRUE(NotationReadable(*W));
    EXPECT_LE(W->pBoard->width(), W->pBrett->width());
    // The same through the window's own call, and with a larger font.
    kb::TNotationFont big = W->Notation1->Font0Var();
    big.Font.setPointSize(16);
    W->Notation1->SetFont0Var(big);
    W->SetBoardPaneWidth(5000);
    QApplication::processEvents();
    EXPECT_TRUE(NotationReadable(*W));
    // A font larger than any pane: the notation takes a bounded part, and a
    // window of 600 pixels still holds it beside the smallest board.
    big.Font.setPointSize(300);
    W->Notation1->SetFont0Var(big);
    W->SetBoardPaneWidth(5000);
    EXPECT_LE(W->minimumSizeHint().width(), 600);
    // Fully left: the smallest board, whole.
    DragSplitter(*W, -2000);
    EXPECT_EQ(W->Brett1->Groesse(), 16);
    EXPECT_GE(W->pBrett->width(), W->pBoard->width());
}
