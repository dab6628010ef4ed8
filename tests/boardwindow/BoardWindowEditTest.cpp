// SPDX-License-Identifier: GPL-3.0-or-later
// The board window as a user drives it through its menus and keys: the
// annotation items, PGN and FEN through the clipboard on a real game, and
// the engine keys Ctrl+digit.
#include "Aufbau.h"
#include "BoardWindowSupport.h"
#include "BrettWinFrame.h"
#include "Local.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <fstream>
#include <sstream>

using namespace bwtest;

namespace {

class BoardWindowEdit : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStringTable();
        LanguageColumn = 1;
        W = NewWindow();
        W->Notation1->Notation().Chooser = &Chooser;
    }
    void TearDown() override {
        if (W) W->Notation1->Notation().SetModified(false);
        delete W.data();
        QApplication::processEvents();
    }
    std::string Pgn() {
        std::string s;
        W->Notation1->Notation().GetPGN(s);
        return s;
    }
    // Triggers the item of a popup menu as a click on it does.
    void Item(QMenu* Menu, const char* Name) {
        auto* a = Menu->findChild<QAction*>(QString::fromLatin1(Name));
        if (!a)
            for (QAction* m : Menu->actions())
                if (m->objectName() == QLatin1String(Name)) a = m;
        ASSERT_NE(a, nullptr) << Name;
        ASSERT_TRUE(a->isEnabled()) << Name;
        a->trigger();
    }
    int Plies() {
        int n = 0;
        for (const kb::TBaum* b = W->Notation1->Notation().CurrentMove; b; b = b->Prev)
            ++n;
        return n;
    }
    TAnswers A;
    TAnswerScope Scope{A};
    TFixedChooser Chooser;
    QPointer<TMDIBrett> W;
};

std::string ReadFile(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace

TEST_F(BoardWindowEdit, AnnotationItemsMarkTheMoveAndThePosition) {
    Drag(*W, "e2", "e4");
    Drag(*W, "e7", "e5");
    QMenu* signs = W->mStellungsBewertung;
    // English captions from the string table, the signs as they are.
    EXPECT_EQ(signs->title(), bw::Text(241));
    EXPECT_EQ(W->Nichts1->text(), bw::Text(101));
    Item(W->puNotation, "N7");
    // Move signs are written as their NAGs.
    EXPECT_NE(Pgn().find("e5 $3"), std::string::npos) << Pgn();
    Item(W->puNotation, "N10");
    EXPECT_NE(Pgn().find("e5 $6"), std::string::npos) << Pgn();
    EXPECT_EQ(Pgn().find("$3"), std::string::npos) << Pgn();
    Item(signs, "mNeuerung");
    EXPECT_NE(Pgn().find("$146"), std::string::npos) << Pgn();
    Item(signs, "N11");
    EXPECT_NE(Pgn().find("$16"), std::string::npos) << Pgn();
    EXPECT_EQ(Pgn().find("$146"), std::string::npos) << Pgn();
    // Nothing: neither sign is left.
    Item(W->puNotation, "Nichts1");
    Item(signs, "Nichts2");
    EXPECT_EQ(Pgn().find('$'), std::string::npos) << Pgn();
    EXPECT_NE(Pgn().find("1.e4 e5"), std::string::npos) << Pgn();
    EXPECT_TRUE(W->sbReplace->isEnabled());
}

TEST_F(BoardWindowEdit, PgnAndFenGoThroughTheClipboard) {
    const std::string game = ReadFile(kbtest::TestData("pgn/nepomniachtchi-liren-game1.pgn"));
    ASSERT_FALSE(game.empty());
    W->Notation1->Notation().LoadPGN(game);
    W->Notation1->Notation().SetModified(false);
    W->Notation1->Notation().GotoEnd();
    const int plies = Plies();
    ASSERT_GT(plies, 90);
    const kb::TSchachbrett end = BoardOf(*W);
    Item(W->puNotation, "mPGNCopy1");
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains("Nepomniachtchi")) << copied.toStdString();

    // A new game, then the copied game pasted back: the same moves.
    W->bNewClick();
    EXPECT_EQ(Plies(), 0);
    Item(W->puNotation, "mPGNInsert");
    EXPECT_EQ(W->windowTitle(), "Nepomniachtchi, Ian - Liren, Ding");
    W->Notation1->Notation().GotoEnd();
    EXPECT_EQ(Plies(), plies);
    EXPECT_EQ(BoardOf(*W), end);
    EXPECT_EQ(NotationBoard(*W), end);

    // The final position's FEN, pasted into a new game: that position is
    // the start, Black to move.
    Item(W->puBrett, "mFENCopy");
    const QString fen = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(fen.contains(" b ")) << fen.toStdString();
    W->Notation1->Notation().SetModified(false);
    W->bNewClick();
    ASSERT_EQ(BoardOf(*W), kb::StandardStellung);
    QGuiApplication::clipboard()->setText(fen);
    Item(W->puBrett, "mInsertFEN");
    EXPECT_EQ(BoardOf(*W), end);
    EXPECT_EQ(NotationBoard(*W), end);
    EXPECT_EQ(Plies(), 0);
    EXPECT_FALSE(W->Brett1->WhiteToMove());
    // Garbage on the clipboard leaves the position alone.
    QGuiApplication::clipboard()->setText("no position here");
    A.Messages.clear();
    W->Notation1->Notation().SetModified(false);
    Item(W->puBrett, "mInsertFEN");
    EXPECT_EQ(BoardOf(*W), end);
}

TEST_F(BoardWindowEdit, CtrlDigitChoosesTheEngineByKey) {
    W->BuildEnginesMenu();
    W->activateWindow();
    QApplication::setActiveWindow(W);
    W->Notation1->setFocus();
    QTest::keyClick(W->Notation1, Qt::Key_1, Qt::ControlModifier);
    EXPECT_TRUE(W->sbAnalyse->isChecked());
    EXPECT_TRUE(W->Memo1->isVisible());
    ASSERT_TRUE(W->FAnalyseThread);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !W->Memo1->toPlainText().isEmpty(); }, 10000));
    // Space plays the engine's move; analysis goes on.
    QTest::keyClick(W->Notation1, Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Plies() == 1; }, 10000));
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    EXPECT_TRUE(W->sbAnalyse->isChecked());
    W->sbAnalyse->click();
    EXPECT_FALSE(W->FAnalyseThread);
    // Again by key: Ctrl+2 names no engine here, Ctrl+1 the built-in one.
    QTest::keyClick(W->Notation1, Qt::Key_2, Qt::ControlModifier);
    EXPECT_FALSE(W->sbAnalyse->isChecked());
    QTest::keyClick(W->Notation1, Qt::Key_1, Qt::ControlModifier);
    EXPECT_TRUE(W->sbAnalyse->isChecked());
    EXPECT_TRUE(W->FAnalyseThread);
    W->sbAnalyse->click();
}

TEST_F(BoardWindowEdit, SetupStartsTheGameFromTheDialogsPosition) {
    Drag(*W, "e2", "e4");
    Drag(*W, "e7", "e5");
    Drag(*W, "g1", "f3");
    const kb::TSchachbrett shown = BoardOf(*W);
    W->sbAnalyse->click();
    ASSERT_TRUE(W->FAnalyseThread);
    // Cancel changes nothing.
    int asked = 0;
    A.Dialog = [&](QDialog& D) {
        ++asked;
        EXPECT_NE(qobject_cast<kb::TAufbauDialog*>(&D), nullptr);
        return static_cast<int>(QDialog::Rejected);
    };
    Item(W->puBrett, "mAufbauen");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Plies(), 3);
    EXPECT_EQ(BoardOf(*W), shown);
    // OK with the shown position, numbered as move 7: the game starts there.
    const int search = W->FSearchNo;
    A.Dialog = [&](QDialog& D) {
        auto* d = qobject_cast<kb::TAufbauDialog*>(&D);
        if (!d) return static_cast<int>(QDialog::Rejected);
        d->MoveNumberEdit()->setValue(7);
        d->OkButton()->click();
        return d->result();
    };
    Item(W->puBrett, "mAufbauen");
    EXPECT_EQ(Plies(), 0);
    EXPECT_EQ(BoardOf(*W), shown);
    EXPECT_EQ(NotationBoard(*W), shown);
    EXPECT_FALSE(W->Brett1->WhiteToMove());
    EXPECT_EQ(W->Notation1->Notation().NextMoveNumber(), 7);
    EXPECT_NE(W->FSearchNo, search); // the analysis follows the new position
    Drag(*W, "b8", "c6");
    EXPECT_EQ(Plies(), 1);
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    W->sbAnalyse->click();
}
