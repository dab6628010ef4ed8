// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the board window tests: a window with answered questions, a
// game-list window over a file, moves by mouse, and reading files back.
#pragma once

#include "BrettWin.h"
#include "DialogsLng.h"
#include "Main.h"
#include "MdiWindows.h"
#include "PGNList.h"
#include "TestSupport.h"

#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bwtest {

// Mailbox index of a square name such as "e4".
inline int32_t Sq(const char* name) {
    return 21 + (name[0] - 'a') + 10 * (name[1] - '1');
}

// A game-list window as the frame sees one: a list face over a file, its
// title the file's path.
class TTestListWindow : public QWidget, public TListWindowIntf {
public:
    TTestListWindow();
    QWidget* Window() override { return this; }
    QString OpenFile(const QString& FileName) override;
    kb::TPGN* PGN() override { return &List->PGN(); }
    void SetupForKind(bool) override {}
    kb::TPGNList* List;
};

// Records the questions asked and answers them from a queue (default: the
// first button's natural answer, OK / Yes).
struct TAnswers {
    std::vector<QString> Messages;
    std::vector<int> Replies; // consumed front first
    std::function<int(QDialog&)> Dialog;
    int Reply();
};

// Installs the answerer for the lifetime of a test.
class TAnswerScope {
public:
    explicit TAnswerScope(TAnswers& A);

private:
    std::unique_ptr<TAnswererScope> scope_;
};

// A fresh window without animation, shown offscreen.
TMDIBrett* NewWindow();
// Loads the game of a list row into a new window bound to the list.
TMDIBrett* OpenFromList(TTestListWindow& L, int Row);

// Plays a move as the user does: drag on the board.
void Drag(TMDIBrett& W, const char* From, const char* To,
          Qt::KeyboardModifiers Mods = Qt::KeyboardModifiers());

// The notation's position after its current move.
kb::TSchachbrett NotationBoard(TMDIBrett& W);
kb::TSchachbrett BoardOf(TMDIBrett& W);

// All games of a game file, as the list reads them.
std::vector<std::string> ReadGames(const std::string& Path);
std::vector<std::string> ReadGames(kb::TPGN& PGN);

// A chooser that answers the notation's questions.
class TFixedChooser : public kb::INotationChooser {
public:
    kb::TNewMoveChoice Choice = kb::TNewMoveChoice::NewVariation;
    int Asked = 0;
    kb::TNewMoveChoice ChooseNewMove(kb::TNotation&, const std::vector<std::string>&) override {
        ++Asked;
        return Choice;
    }
    int SelectMove(kb::TNotation&, const std::vector<std::string>&) override { return 0; }
};

// A fresh English window W per test, its questions answered through A and
// its notation's through Chooser; deleted after the test.
class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    TAnswers A;
    TAnswerScope Scope{A};
    TFixedChooser Chooser;
    QPointer<TMDIBrett> W;
};

// The real frame with the program's windows, on a fresh program folder with
// an empty ini and a copy of Korchnoi.pgn (File); questions answered through
// A. The test starts the frame; afterwards its games are left unmodified, so
// that closing asks nothing.
class TFrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    kbtest::TempDir Dir;
    std::string File;
    TAnswers A;
    TAnswerScope Scope{A};
    std::unique_ptr<TMainForm> Frame;
};

// Drags the splitter's handle as the user does, by DX pixels.
void DragSplitter(TMDIBrett& B, int DX);
// The notation has room for a numbered move pair of its own font.
::testing::AssertionResult NotationReadable(TMDIBrett& B);

} // namespace bwtest
