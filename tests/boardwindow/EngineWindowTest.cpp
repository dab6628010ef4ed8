// SPDX-License-Identifier: GPL-3.0-or-later
// Engines in the board window: analysis and move-now, play on frozen clocks
// (tick limits, stable values, clock reset), pause, closing while the engine
// thinks, and external engines from the frame's engine list with the
// watchdog.
#include "BoardWindowSupport.h"
#include "BrettWinFrame.h"
#include "FrameStartup.h"
#include "Local.h"
#include "Main.h"
#include "TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>

using namespace bwtest;

namespace {

int Plies(TMDIBrett& W) {
    int n = 0;
    for (const kb::TBaum* b = W.Notation1->Notation().CurrentMove; b; b = b->Prev)
        ++n;
    return n;
}

class EngineWindow : public TWindowTest {
protected:
    // Play mode with both clocks frozen at Seconds.
    void Play(int Seconds) {
        for (kb::TTimeLabel* t : {W->tlWhite, W->tlBlack}) {
            t->SetClock([] { return int64_t{0}; });
            t->SetSecTotal(Seconds);
        }
        W->sbAnalyse->click();
        ASSERT_TRUE(W->sbPlay->isEnabled());
        W->sbPlay->click();
        ASSERT_TRUE(W->sbPlay->isChecked());
    }
    // The user's e2-e4; the engine starts thinking for Black. The real
    // think timer is stopped: the test ticks.
    void UserMove() {
        Drag(*W, "e2", "e4");
        ASSERT_EQ(Plies(*W), 1);
        ASSERT_TRUE(W->Timer1->isActive());
        W->Timer1->stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return W->MiniMax1.Busy(); }, 10000));
    }
    // Ticks until the engine's move is on the board; the number of ticks.
    // The tick that asks for the move counts, however long the move then
    // takes to come.
    int TicksToMove(int Max) {
        for (int i = 1; i <= Max; ++i) {
            W->Timer1Timer();
            if (Plies(*W) == 2 || W->FAnalyseThread->MoveNowAsked())
                return QTest::qWaitFor([&] { return Plies(*W) == 2; }, 10000) ? i : -1;
        }
        return -1;
    }
};

} // namespace

TEST_F(EngineWindow, SpaceInAnalysisPlaysTheMoveAndAnalysisGoesOn) {
    W->sbAnalyse->click();
    ASSERT_TRUE(W->Memo1->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !W->Memo1->toPlainText().isEmpty(); }, 10000));
    QTest::keyClick(W, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Plies(*W) == 1; }, 10000));
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    // The worker analyses the new position: Black to move.
    EXPECT_TRUE(W->ThreadRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !W->Memo1->toPlainText().isEmpty(); }, 10000));
    // Without Space nothing more is played.
    QTest::qWait(200);
    EXPECT_EQ(Plies(*W), 1);
    W->sbAnalyse->click();
    EXPECT_FALSE(W->ThreadRunning());
    EXPECT_FALSE(W->MiniMax1.Busy());
}

TEST_F(EngineWindow, SpaceInPlayMakesTheEngineMoveForTheSideToMove) {
    Play(600);
    EXPECT_FALSE(W->ThreadRunning());
    // No search runs: Space starts one for White with the think timer.
    QTest::keyClick(W, Qt::Key_Space);
    EXPECT_TRUE(W->Timer1->isActive());
    W->Timer1->stop();
    ASSERT_TRUE(W->ThreadRunning());
    EXPECT_FALSE(W->Brett1->Ziehenmoeglich);
    // While playing the memo shows the value line only.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !W->Memo1->toPlainText().isEmpty(); }, 10000));
    EXPECT_TRUE(W->Memo1->toPlainText().startsWith("Depth: "));
    EXPECT_FALSE(W->Memo1->toPlainText().contains('\n'));
    // Space again: the move now.
    QTest::keyClick(W, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Plies(*W) == 1; }, 10000));
    EXPECT_EQ(W->Notation1->Notation().CurrentMove->Zug.Side, -1);
    EXPECT_TRUE(W->tlBlack->Running());
    EXPECT_FALSE(W->tlWhite->Running());
    EXPECT_TRUE(W->Brett1->Ziehenmoeglich);
}

TEST_F(EngineWindow, ThinkTimeFollowsTheClock) {
    int v = 0;
    W->FEngineValue = [&v] { return (v++) / 100.0; }; // never stable
    // 100 s left: 100 / 20 = 5 ticks.
    Play(100);
    UserMove();
    EXPECT_EQ(TicksToMove(10), 5);
    EXPECT_TRUE(W->tlWhite->Running());
}

TEST_F(EngineWindow, UnderTwentySecondsTheFirstTickStops) {
    W->FEngineValue = [] { return 0.5; };
    Play(19);
    UserMove();
    EXPECT_EQ(TicksToMove(3), 1);
}

TEST_F(EngineWindow, TenEqualValuesStopEarly) {
    // 1000 s would allow 50 ticks; the eleventh equal value stops.
    W->FEngineValue = [] { return 0.25; };
    Play(1000);
    UserMove();
    EXPECT_EQ(TicksToMove(20), 11);
    EXPECT_FALSE(W->ValuesStable(11));
    EXPECT_TRUE(W->ValuesStable(10));
}

TEST_F(EngineWindow, PlayResetsOnlyRunOutClocks) {
    for (kb::TTimeLabel* t : {W->tlWhite, W->tlBlack})
        t->SetClock([] { return int64_t{0}; });
    W->tlWhite->SetSecTotal(100);
    W->tlBlack->SetSecTotal(200);
    W->sbAnalyse->click();
    W->sbPlay->click();
    EXPECT_EQ(W->tlWhite->Remaining(), 100000);
    EXPECT_EQ(W->tlBlack->Remaining(), 200000);
    W->sbPlay->click();
    W->tlBlack->SetSecTotal(0);
    W->sbPlay->click();
    const int game = bw::FrameSettings().GameTime * 60 * 1000;
    EXPECT_EQ(W->tlWhite->Remaining(), game);
    EXPECT_EQ(W->tlBlack->Remaining(), game);
    EXPECT_TRUE(W->tlWhite->Running());
}

TEST_F(EngineWindow, PauseLineComesAndGoesExactly) {
    W->sbAnalyse->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !W->Memo1->toPlainText().isEmpty(); }, 10000));
    W->mStopClick();
    EXPECT_EQ(W->mStop->text(), bw::Text(5));
    EXPECT_TRUE(W->MiniMax1.Paused());
    EXPECT_FALSE(W->pBrett->isEnabled());
    const QString paused = W->Memo1->toPlainText();
    EXPECT_TRUE(paused.startsWith(bw::Text(6) + "\n"));
    // Late texts of the search do not overwrite the paused memo.
    QTest::qWait(100);
    EXPECT_EQ(W->Memo1->toPlainText(), paused);
    W->mStopClick();
    EXPECT_EQ(W->mStop->text(), QStringLiteral("Stop"));
    EXPECT_FALSE(W->MiniMax1.Paused());
    EXPECT_EQ(W->Memo1->toPlainText(), paused.mid(bw::Text(6).size() + 1));
    EXPECT_TRUE(W->pBrett->isEnabled());
    // The frame's lock and the user's pause are separate reasons.
    W->SuspendThreads();
    W->mStopClick();
    W->mStopClick();
    EXPECT_TRUE(W->MiniMax1.Paused());
    W->ResumeThreads();
    EXPECT_FALSE(W->MiniMax1.Paused());
}

TEST_F(EngineWindow, LeavingPlayWhileTheEngineThinksGivesTheBoardBack) {
    Play(300);
    UserMove();
    EXPECT_FALSE(W->Brett1->Ziehenmoeglich);
    // Play off: the engine's search is dropped for analysis of the same
    // position, and the user moves again.
    W->sbPlay->click();
    ASSERT_FALSE(W->sbPlay->isChecked());
    EXPECT_TRUE(W->Brett1->Ziehenmoeglich);
    Drag(*W, "e7", "e5");
    EXPECT_EQ(Plies(*W), 2);
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
    // Analysis off while playing: the same.
    W->sbPlay->click();
    ASSERT_TRUE(W->sbPlay->isChecked());
    Drag(*W, "g1", "f3");
    ASSERT_EQ(Plies(*W), 3);
    W->Timer1->stop();
    W->sbAnalyse->click();
    ASSERT_FALSE(W->sbAnalyse->isChecked());
    EXPECT_TRUE(W->Brett1->Ziehenmoeglich);
    Drag(*W, "b8", "c6");
    EXPECT_EQ(Plies(*W), 4);
}

TEST_F(EngineWindow, StopItemWithoutAPausedSearchLeavesTheMemoAlone) {
    // Black is mated: the search ends at once and nothing is left to pause.
    W->Notation1->Notation().LoadPGN("[Event \"x\"]\n\n1. f3 e5 2. g4 Qh4# 0-1\n");
    W->Notation1->Notation().GotoEnd();
    W->sbAnalyse->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return W->FAnalyseThread && !W->FAnalyseThread->Searching(); }, 10000));
    QApplication::processEvents();
    W->Memo1->setPlainText("first\nsecond");
    W->mStopClick();
    EXPECT_EQ(W->mStop->text(), QStringLiteral("Stop"));
    EXPECT_EQ(W->Memo1->toPlainText(), "first\nsecond");
    EXPECT_TRUE(W->pBrett->isEnabled());
}

TEST_F(EngineWindow, ClosingWhileTheEngineThinksLeavesOtherWindowsRunning) {
    QPointer<TMDIBrett> other = NewWindow();
    other->sbAnalyse->click();
    W->sbAnalyse->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->MiniMax1.Busy(); }, 10000));
    W->mStopClick(); // paused as well: closing must not hang on it
    QElapsedTimer t;
    t.start();
    delete W.data();
    EXPECT_LT(t.elapsed(), 5000);
    other->Memo1->clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !other->Memo1->toPlainText().isEmpty(); }, 10000));
    delete other.data();
}

// --- external engines from the frame's list -------------------------------

namespace {

class EngineWindowFrame : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStringTable();
        WindowFactories() = {};
        RegisterProgramWindows();
        kbtest::WriteFile(Dir / "Kestrelbay.ini", "");
        Frame = std::make_unique<TMainForm>(QString::fromStdString(Dir.path().string()));
        ASSERT_TRUE(kbtest::WaitForStartup(*Frame));
        Frame->OpenBoardWindow(nullptr, {}, -1, false);
        const auto boards = Frame->BoardWindows();
        ASSERT_FALSE(boards.empty());
        W = dynamic_cast<TMDIBrett*>(boards.front());
        ASSERT_TRUE(W);
        W->Brett1->Animation = 0;
    }
    void TearDown() override {
        unsetenv("FAKE_ENGINE_MODE");
        if (W) W->Notation1->Notation().SetModified(false);
        Frame.reset();
        WindowFactories() = {};
        ResetStringTable();
    }
    // Chooses list entry Tag (1 = the first external engine) as the menu does.
    void Choose(int Tag) {
        W->BuildEnginesMenu();
        W->sbAnalyse->setChecked(true);
        W->Memo1->setVisible(true);
        W->EngineMenuClick(Tag);
    }
    bool MemoStartsWith(const QString& S, int Ms = 10000) {
        return QTest::qWaitFor([&] { return W->Memo1->toPlainText().startsWith(S); }, Ms);
    }
    // The engine as a user adds it (through a script when it takes words)
    // on a game of 297 plies: at the start, at its end (End), at the start
    // again (Home), at its end again and at a move in the middle (a click),
    // the memo shows thinking about the board's position, and the engine is
    // never started again.
    void JumpsThroughALongGame(const std::vector<std::string>& Argv);
    kbtest::TempDir Dir;
    TAnswers A;
    TAnswerScope Scope{A};
    std::unique_ptr<TMainForm> Frame;
    QPointer<TMDIBrett> W;
};

} // namespace

TEST_F(EngineWindowFrame, MenuHoldsMiniMaxAndAtMostEightEngines) {
    QStringList nine;
    for (int i = 0; i < 9; ++i)
        nine << QStringLiteral("/opt/engines/e%1").arg(i);
    Frame->WBEngines = nine;
    W->BuildEnginesMenu();
    const auto actions = W->puEngines->actions();
    ASSERT_EQ(actions.size(), 9);
    EXPECT_EQ(actions[0]->text(), "MiniMax");
    EXPECT_EQ(actions[0]->shortcut(), QKeySequence("Ctrl+1"));
    EXPECT_EQ(actions[8]->text(), "e7");
    EXPECT_EQ(actions[8]->shortcut(), QKeySequence("Ctrl+9"));
    // A missing program: analysis goes off again.
    Choose(1);
    EXPECT_FALSE(W->sbAnalyse->isChecked());
    EXPECT_FALSE(W->Memo1->isVisible());
    EXPECT_FALSE(W->sbPlay->isEnabled());
    EXPECT_FALSE(W->FEngineThread);
}

TEST_F(EngineWindowFrame, EngineMenuClosedWithoutAChoiceLeavesAnalysisOff) {
    Frame->WBEngines = {KB_FAKE_ENGINE};
    // The user closes the popup (Esc) without choosing.
    QTimer::singleShot(50, W->puEngines, [this] { W->puEngines->close(); });
    W->sbAnalyse->click();
    EXPECT_FALSE(W->sbAnalyse->isChecked());
    EXPECT_FALSE(W->Memo1->isVisible());
    EXPECT_FALSE(W->sbPlay->isEnabled());
    EXPECT_FALSE(W->FEngineThread);
    EXPECT_FALSE(W->FAnalyseThread);
    // Choosing MiniMax from the popup analyses.
    QTimer::singleShot(50, W->puEngines, [this] {
        W->puEngines->actions().constFirst()->trigger();
        W->puEngines->close();
    });
    W->sbAnalyse->click();
    EXPECT_TRUE(W->sbAnalyse->isChecked());
    EXPECT_TRUE(W->FAnalyseThread);
    EXPECT_TRUE(W->sbPlay->isEnabled());
    W->sbAnalyse->click();
}

TEST_F(EngineWindowFrame, FakeEngineAnalysesRestartsAndIsReplacedByTheNextChoice) {
    Frame->WBEngines = {KB_FAKE_ENGINE, KB_FAKE_ENGINE};
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    EXPECT_FALSE(W->sbPlay->isEnabled());
    EXPECT_FALSE(W->mStop->isEnabled());
    ASSERT_TRUE(MemoStartsWith("Depth: 2  Value: 0.11\n1. e4 e5 2. Nf3"));
    const pid_t first = W->FEngineThread->Pid();
    // A user move restarts the engine on the new position.
    Drag(*W, "e2", "e4");
    ASSERT_TRUE(MemoStartsWith("Depth: 2  Value: 0.12"));
    // Space does nothing to an external engine.
    QTest::keyClick(W, Qt::Key_Space);
    EXPECT_EQ(Plies(*W), 1);
    // The next choice stops the running engine first.
    Choose(2);
    ASSERT_TRUE(W->FEngineThread);
    EXPECT_NE(W->FEngineThread->Pid(), first);
    kb::TEngineReaper::Instance().WaitIdle();
    EXPECT_EQ(kbtest::ProcState(first), 0);
    const pid_t second = W->FEngineThread->Pid();
    // The watchdog leaves an engine alone that has answered.
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->FEngineThread->Answered(); }, 10000));
    W->TimerEngineReactivateTimer();
    EXPECT_EQ(W->FEngineThread->Pid(), second);
    // Locked boards stop the engine process.
    W->SuspendThreads();
    siginfo_t si{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(second), &si, WSTOPPED | WNOWAIT), 0);
    W->ResumeThreads();
    W->sbAnalyse->click(); // off
    EXPECT_FALSE(W->FEngineThread);
    kb::TEngineReaper::Instance().WaitIdle();
    EXPECT_EQ(kbtest::ProcState(second), 0);
}

TEST_F(EngineWindowFrame, WatchdogRestartsASilentEngineThreeTimesThenGivesUp) {
    // Done with its handshake at once, then silent. The watchdog looks
    // often, so that the test need not wait its 2.5 s.
    setenv("FAKE_ENGINE_MODE", "mute", 1);
    Frame->WBEngines = {KB_FAKE_ENGINE};
    W->TimerEngineReactivate->setInterval(100);
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    W->TimerEngineReactivate->stop();
    // Its position went out a moment ago: not judged yet.
    ASSERT_TRUE(W->FEngineThread->Settling(std::chrono::seconds(5)));
    const pid_t first = W->FEngineThread->Pid();
    W->TimerEngineReactivateTimer();
    EXPECT_EQ(W->FEngineThread->Pid(), first);
    auto judged = [&] {
        return QTest::qWaitFor(
            [&] { return !W->FEngineThread->Settling(std::chrono::milliseconds(100)); }, 10000);
    };
    std::vector<pid_t> pids{first};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(judged());
        W->TimerEngineReactivateTimer();
        ASSERT_TRUE(W->FEngineThread);
        W->TimerEngineReactivate->stop(); // started again with the engine: the test ticks
        kb::TEngineReaper::Instance().WaitIdle();
        EXPECT_EQ(kbtest::ProcState(pids.back()), 0);
        pids.push_back(W->FEngineThread->Pid());
        EXPECT_NE(pids.back(), pids[pids.size() - 2]);
    }
    ASSERT_TRUE(judged());
    W->TimerEngineReactivate->start();
    W->TimerEngineReactivateTimer();
    EXPECT_FALSE(W->TimerEngineReactivate->isActive());
    const std::string why = "The engine does not answer.";
    EXPECT_EQ(W->Memo1->toPlainText().toStdString(), why);
    // Given up, the engine is stopped (one that never answers may be busy
    // at full load), with the window open.
    EXPECT_FALSE(W->FEngineThread);
    kb::TEngineReaper::Instance().WaitIdle();
    EXPECT_EQ(kbtest::ProcState(pids.back()), 0);
    // Nothing takes its place: a move, Space, the pause item leave the memo
    // saying why, and play stays off.
    Drag(*W, "e2", "e4");
    ASSERT_EQ(Plies(*W), 1);
    QTest::keyClick(W, Qt::Key_Space);
    W->mStopClick();
    EXPECT_EQ(Plies(*W), 1);
    EXPECT_FALSE(W->FEngineThread);
    EXPECT_FALSE(W->FAnalyseThread);
    EXPECT_TRUE(W->sbAnalyse->isChecked());
    EXPECT_FALSE(W->sbPlay->isEnabled());
    EXPECT_EQ(W->Memo1->toPlainText().toStdString(), why);
    // Chosen again, it starts afresh on the position shown.
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    EXPECT_FALSE(W->FEngineGivenUp);
    EXPECT_EQ(W->FReactivations, 0);
    W->sbAnalyse->click(); // off
    EXPECT_FALSE(W->FEngineThread);
}

TEST_F(EngineWindowFrame, TheWatchdogRestartsTheChosenEngineWhereverTheListPutsIt) {
    // Three names for the fake engine, which dies in the middle of its first
    // line: the one chosen is started again by its name, whatever the list
    // holds at its old place now; once it is off the list, none is.
    setenv("FAKE_ENGINE_MODE", "diemidline", 1);
    QStringList names;
    for (const char* n : {"chosen", "other", "third"}) {
        const auto link = Dir / n;
        std::filesystem::create_symlink(KB_FAKE_ENGINE, link);
        names << QString::fromStdString(link.string());
    }
    Frame->WBEngines = {names[1], names[0]};
    W->TimerEngineReactivate->setInterval(100);
    Choose(2);
    ASSERT_TRUE(W->FEngineThread);
    W->TimerEngineReactivate->stop(); // the test ticks, or a loaded machine restarts it twice
    EXPECT_EQ(W->Memo1->toolTip(), "chosen");
    // An entry above it is added meanwhile.
    Frame->WBEngines = {names[2], names[1], names[0]};
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return W->FEngineThread->OutputEnded(); }, 10000));
        const pid_t dead = W->FEngineThread->Pid();
        W->TimerEngineReactivateTimer();
        ASSERT_TRUE(W->FEngineThread) << i;
        W->TimerEngineReactivate->stop(); // the test ticks
        EXPECT_NE(W->FEngineThread->Pid(), dead);
        EXPECT_EQ(W->Memo1->toolTip(), "chosen"); // the name it was started by
        // Then the list is sorted anew.
        Frame->WBEngines = {names[0], names[2], names[1]};
    }
    Frame->WBEngines = {names[2], names[1]}; // and it is removed
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->FEngineThread->OutputEnded(); }, 10000));
    W->TimerEngineReactivateTimer();
    EXPECT_FALSE(W->FEngineThread);
    EXPECT_FALSE(W->sbAnalyse->isChecked());
    EXPECT_FALSE(W->TimerEngineReactivate->isActive());
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_TRUE(A.Messages[0].contains("chosen")) << A.Messages[0].toStdString();
}

TEST_F(EngineWindowFrame, AnEngineThatEndsWithItsReasonKeepsTheReasonWhenTheWatchdogGivesUp) {
    // As an engine started without the file it needs: it says why and ends.
    const auto script = Dir / "needsini.sh";
    kbtest::WriteFile(script, "#!/bin/sh\necho 'NeedsIni 1.0'\n"
                              "echo 'tellusererror main(): cannot open config file'\nexit 1\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    Frame->WBEngines = {QString::fromStdString(script.string())};
    // The test ticks: the timer's own would come at no time at all.
    W->TimerEngineReactivate->setInterval(3600 * 1000);
    // In the German program, whose word for the end is its own.
    bw::SetLanguageColumn(0);
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    pid_t last = 0;
    for (int i = 0; i < 4 && W->TimerEngineReactivate->isActive(); ++i) {
        // Each run: started, said why, ended; then the watchdog looks.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return W->FEngineThread->OutputEnded() &&
                       W->Memo1->toPlainText().endsWith("Engine beendet");
            },
            10000));
        last = W->FEngineThread->Pid();
        W->TimerEngineReactivateTimer();
    }
    EXPECT_FALSE(W->TimerEngineReactivate->isActive());
    EXPECT_FALSE(W->FEngineThread);
    // Not "does not answer": it answered, and the user sees what it said.
    QTest::qWait(50);
    EXPECT_EQ(W->Memo1->toPlainText().toStdString(),
              "tellusererror main(): cannot open config file\nEngine beendet");
    kb::TEngineReaper::Instance().WaitIdle();
    EXPECT_EQ(kbtest::ProcState(last), 0);
}

TEST_F(EngineWindowFrame, AnEngineThatDiesDuringAWalkIsStartedAgainAtTheNextPosition) {
    // It leaves at its third ping, and the positions come faster than the
    // watchdog's ticks (here none comes at all).
    setenv("FAKE_ENGINE_MODE", "pingdie", 1);
    Frame->WBEngines = {KB_FAKE_ENGINE};
    W->TimerEngineReactivate->setInterval(3600 * 1000);
    kb::TNotation& n = W->Notation1->Notation();
    ASSERT_EQ(n.LoadPGN("[Event \"Walk\"]\n\n1.e4 *\n"), 0);
    n.GotoStart();
    QApplication::processEvents();
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    const pid_t first = W->FEngineThread->Pid();
    ASSERT_TRUE(MemoStartsWith("Depth: 2  Value: 0.11\n1. e4")); // ping 1
    n.MoveForward();
    QApplication::processEvents();
    ASSERT_TRUE(MemoStartsWith("Depth: 2  Value: 0.12\n1. ... e5")); // ping 2
    // Ping 3: it leaves.
    n.MoveBack();
    QApplication::processEvents();
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->FEngineThread->OutputEnded(); }, 10000));
    // The next position starts it again at once, on that position.
    n.MoveForward();
    QApplication::processEvents();
    ASSERT_TRUE(W->FEngineThread);
    EXPECT_NE(W->FEngineThread->Pid(), first);
    EXPECT_EQ(W->FReactivations, 1);
    ASSERT_TRUE(MemoStartsWith("Depth: 2  Value: 0.11\n1. ... e5"))
        << W->Memo1->toPlainText().toStdString();
    // It answered: the count of restarts in a row starts again.
    n.MoveBack();
    QApplication::processEvents();
    EXPECT_EQ(W->FReactivations, 0);
    ASSERT_TRUE(MemoStartsWith("Depth: 2  Value: 0.12\n1. e4"));
}

TEST_F(EngineWindowFrame, OnMateOrStalemateTheMemoSaysSoInsteadOfTheEngine) {
    // As engines do there: a greeting on "analyze", a word on "exit".
    const auto script = Dir / "greets.sh";
    kbtest::WriteFile(script, "#!/bin/sh\nwhile read -r l; do case \"$l\" in\n"
                              "protover*) echo 'feature done=1';;\n"
                              "analyze) echo \"analyze mode, type 'exit' to terminate\";;\n"
                              "exit) echo 'analysis left';;\n"
                              "quit) exit 0;;\nesac; done\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    Frame->WBEngines = {QString::fromStdString(script.string())};
    W->TimerEngineReactivate->setInterval(3600 * 1000);
    kb::TNotation& n = W->Notation1->Notation();
    ASSERT_EQ(n.LoadPGN("[Event \"Fool\"]\n\n1. f3 e5 2. g4 Qh4# 0-1\n"), 0);
    n.GotoEnd();
    QApplication::processEvents();
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    EXPECT_EQ(W->Memo1->toPlainText(), "Checkmate.");
    // Told the position, it greeted and was stopped; the memo kept its say.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return W->FEngineThread->LastWords() == "analysis left"; }, 10000));
    QApplication::processEvents();
    EXPECT_EQ(W->Memo1->toPlainText(), "Checkmate.");
    // A position of the game going on gets the engine's words again.
    n.MoveBack();
    QApplication::processEvents();
    ASSERT_TRUE(MemoStartsWith("analyze mode"));
    n.MoveForward();
    QApplication::processEvents();
    EXPECT_EQ(W->Memo1->toPlainText(), "Checkmate.");
    // The German program on a stalemate.
    W->sbAnalyse->click(); // off
    bw::SetLanguageColumn(0);
    ASSERT_EQ(n.LoadPGN("[Event \"Patt\"]\n[SetUp \"1\"]\n"
                        "[FEN \"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1\"]\n\n*\n"),
              0);
    n.GotoEnd();
    QApplication::processEvents();
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    EXPECT_EQ(W->Memo1->toPlainText(), "Patt.");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return W->FEngineThread->LastWords() == "analysis left"; }, 10000));
    QApplication::processEvents();
    EXPECT_EQ(W->Memo1->toPlainText(), "Patt.");
    EXPECT_EQ(W->FReactivations, 0);
}

TEST_F(EngineWindowFrame, AnEngineWhoseLinesNeverFitThePositionIsSaidToDoSo) {
    // The fake's lines fit the start and 1.e4 only; the test ticks.
    Frame->WBEngines = {KB_FAKE_ENGINE};
    W->TimerEngineReactivate->setInterval(3600 * 1000);
    kb::TNotation& n = W->Notation1->Notation();
    ASSERT_EQ(n.LoadPGN("[Event \"Walk\"]\n\n1.e4 e5 *\n"), 0);
    n.GotoEnd();
    QApplication::processEvents();
    bw::SetLanguageColumn(0);
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    const pid_t pid = W->FEngineThread->Pid();
    const QString note = QStringLiteral("Die Zeilen der Engine passen nicht zu dieser Stellung.");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            W->TimerEngineReactivateTimer();
            return W->Memo1->toPlainText() == note;
        },
        10000))
        << W->Memo1->toPlainText().toStdString();
    EXPECT_EQ(W->FEngineThread->Pid(), pid);
    // A position its lines fit: they replace the note.
    n.GotoStart();
    QApplication::processEvents();
    ASSERT_TRUE(MemoStartsWith("Depth: 2"));
    W->TimerEngineReactivateTimer();
    QApplication::processEvents();
    EXPECT_TRUE(W->Memo1->toPlainText().startsWith("Depth: 2"));
    EXPECT_EQ(W->FEngineThread->Pid(), pid);
}

TEST_F(EngineWindowFrame, AnEngineInItsHandshakeIsNotRestarted) {
    // It asks for more time with done=0 and ends its handshake 3 s later,
    // past the watchdog's 2.5 s, which runs as it does for the user.
    setenv("FAKE_ENGINE_MODE", "slowdone", 1);
    setenv("FAKE_ENGINE_DELAY_MS", "3000", 1);
    Frame->WBEngines = {KB_FAKE_ENGINE};
    ASSERT_EQ(W->TimerEngineReactivate->interval(), 2500);
    Choose(1);
    unsetenv("FAKE_ENGINE_DELAY_MS");
    ASSERT_TRUE(W->FEngineThread);
    const pid_t pid = W->FEngineThread->Pid();
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(MemoStartsWith("Depth: 2  Value: 0.11", 15000))
        << W->Memo1->toPlainText().toStdString();
    EXPECT_GE(t.elapsed(), 2500);
    EXPECT_EQ(W->FEngineThread->Pid(), pid);
    EXPECT_EQ(W->FReactivations, 0);
    EXPECT_TRUE(W->TimerEngineReactivate->isActive());
}

TEST_F(EngineWindowFrame, AnEngineWithoutFenIsToldTheGameInTheWindow) {
    // The fake takes no FEN and writes down what it reads.
    const std::string log = (Dir / "engine.log").string();
    setenv("FAKE_ENGINE_MODE", "edit", 1);
    setenv("FAKE_ENGINE_LOG", log.c_str(), 1);
    Frame->WBEngines = {KB_FAKE_ENGINE};
    kb::TNotation& n = W->Notation1->Notation();
    ASSERT_EQ(n.LoadPGN("[Event \"Walk\"]\n\n1.e4 e5 2.Nf3 Nc6 3.Bc4 Bc5 4.Ke2 Ke7 5.Ke1 Ke8 "
                        "6.d3 d6 *\n"),
              0);
    n.GotoEnd();
    QApplication::processEvents();
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->FEngineThread->Answered(); }, 10000));
    // Its answer (the start position's 1. e4) is no move here: not shown.
    EXPECT_FALSE(W->Memo1->toPlainText().startsWith("Depth:"))
        << W->Memo1->toPlainText().toStdString();
    auto read = [&] {
        std::vector<std::string> lines;
        std::istringstream in(kbtest::ReadFile(log));
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    };
    auto logged = [&](const std::string& Last) {
        return QTest::qWaitFor([&] { return !read().empty() && read().back() == Last; }, 10000);
    };
    // Steps through the game: the engine thinks on, told the move or
    // "undo" that leads there.
    n.MoveBack();
    QApplication::processEvents();
    ASSERT_TRUE(logged("undo"));
    n.MoveForward();
    QApplication::processEvents();
    ASSERT_TRUE(logged("d7d6"));
    // A jump back to the start: told anew, after "exit"; then a step again.
    n.GotoStart();
    QApplication::processEvents();
    ASSERT_TRUE(logged("analyze"));
    n.MoveForward();
    QApplication::processEvents();
    ASSERT_TRUE(logged("e2e4"));
    W->sbAnalyse->click(); // off
    kb::TEngineReaper::Instance().WaitIdle();
    unsetenv("FAKE_ENGINE_LOG");
    const std::vector<std::string> got = read();
    const std::vector<std::string> moves{"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "f8c5",
                                         "e1e2", "e8e7", "e2e1", "e7e8", "d2d3", "d7d6"};
    std::vector<std::string> game{"new", "force"};
    game.insert(game.end(), moves.begin(), moves.end());
    game.insert(game.end(), {"post", "analyze", "undo", "d7d6", ".", "exit", "new", "force", "post",
                             "analyze", "e2e4", ".", "exit", "quit"});
    const auto first = std::find(got.begin(), got.end(), "new");
    EXPECT_EQ(std::vector<std::string>(first, got.end()), game) << ::testing::PrintToString(got);
    EXPECT_EQ(std::count(got.begin(), got.end(), "edit"), 0);
}

TEST_F(EngineWindowFrame, FairymaxAnalysesInTheWindow) {
    KB_REQUIRE_PEER(fairymax, "fairymax");
    Frame->WBEngines = {QString::fromStdString(fairymax)};
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    EXPECT_EQ(W->Memo1->toolTip(), "fairymax");
    ASSERT_TRUE(MemoStartsWith("Depth: "));
    Drag(*W, "e2", "e4");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QString m = W->Memo1->toPlainText();
            return m.startsWith("Depth: ") && W->FEngineThread->Answered();
        },
        10000));
    const pid_t pid = W->FEngineThread->Pid();
    W->sbAnalyse->click();
    kb::TEngineReaper::Instance().WaitIdle();
    EXPECT_EQ(kbtest::ProcState(pid), 0);
}

namespace {

// The memo shows thinking whose first move can be played on P.
bool ThinksAbout(const QString& Memo, const kb::TEnginePosition& P) {
    const QStringList lines = Memo.split(QLatin1Char('\n'));
    if (lines.size() < 2 || !lines[0].startsWith(QStringLiteral("Depth: "))) return false;
    std::istringstream in(lines[1].toStdString());
    for (std::string w; in >> w;) {
        while (!w.empty() && (w[0] == '(' || (w[0] >= '0' && w[0] <= '9') || w[0] == '.'))
            w.erase(0, 1);
        while (!w.empty() && (w.back() == ',' || w.back() == ')'))
            w.pop_back();
        if (!w.empty()) return kb::ParseMove(P, w).has_value();
    }
    return false;
}

} // namespace

void EngineWindowFrame::JumpsThroughALongGame(const std::vector<std::string>& Argv) {
    const auto games =
        kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")));
    ASSERT_GT(games.size(), 3512u);
    std::string engine = Argv[0];
    if (Argv.size() > 1) {
        std::string script = "#!/bin/sh\nexec";
        for (const std::string& a : Argv)
            script += " '" + a + "'";
        engine = (Dir / std::filesystem::path(Argv[0]).filename()).string();
        kbtest::WriteFile(engine, script + " \"$@\"\n");
        std::filesystem::permissions(engine, std::filesystem::perms::owner_all);
    }
    Frame->WBEngines = {QString::fromStdString(engine)};
    kb::TNotation& n = W->Notation1->Notation();
    ASSERT_EQ(n.LoadPGN(games[3512]), 0);
    std::vector<const kb::TBaum*> plies;
    for (const kb::TBaum* b = n.RootLine->Erster; b; b = b->Next)
        plies.push_back(b);
    ASSERT_GE(plies.size(), 250u);
    n.GotoStart();
    QApplication::processEvents();
    Choose(1);
    ASSERT_TRUE(W->FEngineThread);
    const pid_t pid = W->FEngineThread->Pid();
    // Only what the memo shows after the jump counts.
    int shown = 0;
    QObject::connect(W->Memo1, &QPlainTextEdit::textChanged, W, [&] { ++shown; });
    // The game ends 119 plies after its last capture or pawn move: an engine
    // that keeps the fifty-move count may say the draw instead of thinking.
    auto stop = [&](const char* Where, const std::function<void()>& Jump, bool FiftyMoves = false) {
        const int before = shown;
        Jump();
        const kb::TEnginePosition pos = W->EnginePosition();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const QString memo = W->Memo1->toPlainText();
                return shown > before &&
                       (ThinksAbout(memo, pos) ||
                        (FiftyMoves && memo.startsWith(QStringLiteral("1/2-1/2"))));
            },
            30000))
            << Argv[0] << " at " << Where << ": " << W->Memo1->toPlainText().toStdString();
        ASSERT_TRUE(W->FEngineThread);
        EXPECT_EQ(W->FEngineThread->Pid(), pid) << Argv[0] << " at " << Where;
        EXPECT_EQ(W->FReactivations, 0) << Argv[0] << " at " << Where;
    };
    stop("the start", [] {});
    stop(
        "the end", [&] { QTest::keyClick(W, Qt::Key_End); }, true);
    EXPECT_EQ(n.CurrentMove, plies.back());
    stop("the start again", [&] { QTest::keyClick(W, Qt::Key_Home); });
    EXPECT_EQ(n.CurrentMove, nullptr);
    stop(
        "the end again", [&] { QTest::keyClick(W, Qt::Key_End); }, true);
    kb::TSchachbrett board;
    stop("the middle", [&] { W->Notation1->PositionAt(plies[plies.size() / 2]->TextPos, board); });
    EXPECT_EQ(n.CurrentMove, plies[plies.size() / 2]);
    n.SetModified(false);
    W->sbAnalyse->click(); // off
    kb::TEngineReaper::Instance().WaitIdle();
    EXPECT_EQ(kbtest::ProcState(pid), 0);
}

TEST_F(EngineWindowFrame, GnuchessJumpsThroughALongGame) {
    KB_REQUIRE_PEER(gnuchess, "gnuchess");
    JumpsThroughALongGame({gnuchess, "-x"});
}

TEST_F(EngineWindowFrame, HoichessJumpsThroughALongGame) {
    KB_REQUIRE_PEER(hoichess, "hoichess");
    JumpsThroughALongGame({hoichess, "-x"});
}

TEST_F(EngineWindowFrame, PhalanxJumpsThroughALongGame) {
    KB_REQUIRE_PEER(phalanx, "phalanx");
    JumpsThroughALongGame({phalanx});
}

TEST_F(EngineWindowFrame, SjengJumpsThroughALongGame) {
    KB_REQUIRE_PEER(sjeng, "sjeng");
    JumpsThroughALongGame({sjeng});
}

TEST_F(EngineWindowFrame, FairymaxJumpsThroughALongGame) {
    KB_REQUIRE_PEER(fairymax, "fairymax");
    JumpsThroughALongGame({fairymax});
}

TEST_F(EngineWindowFrame, StockfishThroughPolyglotJumpsThroughALongGame) {
    KB_REQUIRE_PEER(polyglot, "polyglot");
    KB_REQUIRE_PEER(stockfish, "stockfish");
    JumpsThroughALongGame({polyglot, "-noini", "-ec", stockfish});
}

// --- kbbench xboard-run ------------------------------------------------------

TEST(EngineBench, XboardRunPrintsTheMemoAndHowTheEngineEnded) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "engine.ini", "[Engine]\r\nSetPosition=setboard\r\n");
    const std::string fen = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 12";
    // The run ends once the three texts are shown; the seconds only bound it.
    const kbtest::RunResult r =
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "--ini", (dir / "engine.ini").string(),
                     "--texts", "3", "60", fen, KB_FAKE_ENGINE, "normal"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(
        r.out.rfind("Starting ...\nDepth: 1  Value: 0.11 | 12. ... e5\n"
                    "Depth: 2  Value: 0.11 | 12. ... e5 13. Nf3\nend\tquit\texit 0\nseconds\t",
                    0),
        0u)
        << r.out;
    // An engine that ignores quit is ended, and says so.
    const kbtest::RunResult t =
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "0.2", fen, KB_FAKE_ENGINE, "ignorequit"});
    EXPECT_NE(t.out.find("end\tterminated\tsignal 15\n"), std::string::npos) << t.out;
    // Usage errors.
    EXPECT_EQ(kbtest::Run({kbtest::BenchPath(), "xboard-run", "x", fen, KB_FAKE_ENGINE}).exitCode,
              2);
    EXPECT_EQ(
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "--texts", "0", "1", fen, KB_FAKE_ENGINE})
            .exitCode,
        2);
    EXPECT_EQ(
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "1", "no fen", KB_FAKE_ENGINE}).exitCode,
        2);
}

TEST(EngineBench, XboardRunTakesTheEndOfAGameAsTheWindowHandsItOver) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "games.pgn",
                      "[Event \"Walk\"]\r\n\r\n1.e4 e5 2.Nf3 Nc6 3.Bc4 Bc5 4.Ke2 Ke7 5.Ke1 Ke8 "
                      "6.d3 d6 (6...Nf6) *\r\n\r\n"
                      "[Event \"Mate\"]\r\n[SetUp \"1\"]\r\n"
                      "[FEN \"8/8/p2Q3p/6k1/2B2p2/P4K2/1q5P/8 w - - 0 1\"]\r\n\r\n"
                      "1.h4+ Kh5 2.Bf7+ Kxh4 3.Qxh6# 1-0\r\n");
    const std::string pgn = (dir / "games.pgn").string();
    // The engine takes no FEN and writes down what it reads.
    auto received = [&](const std::string& Row) {
        const std::string log = (dir / ("log" + Row)).string();
        setenv("FAKE_ENGINE_LOG", log.c_str(), 1);
        const kbtest::RunResult r = kbtest::Run(
            {kbtest::BenchPath(), "xboard-run", "--game", pgn, Row, "0.5", KB_FAKE_ENGINE, "edit"});
        unsetenv("FAKE_ENGINE_LOG");
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_NE(r.out.find("end\tquit\texit 0\n"), std::string::npos) << r.out;
        return kbtest::ReadFile(log);
    };
    // The end of the main line, told as the game's moves from the start.
    const std::string walk = received("0");
    EXPECT_NE(walk.find("new\nforce\ne2e4\ne7e5\ng1f3\nb8c6\nf1c4\nf8c5\ne1e2\ne8e7\ne2e1\n"
                        "e7e8\nd2d3\nd7d6\npost\nanalyze\n"),
              std::string::npos)
        << walk;
    EXPECT_EQ(walk.find("edit"), std::string::npos) << walk;
    // A set-up start that edit mode can give, then the moves.
    const std::string mate = received("1");
    EXPECT_NE(mate.find("edit\n#\nPh2\nPa3\nKf3\nBc4\nQd6\nc\nQb2\nPf4\nKg5\nPa6\nPh6\n.\n"
                        "h2h4\ng5h5\nc4f7\nh5h4\nd6h6\npost\nanalyze\n"),
              std::string::npos)
        << mate;
    // Usage errors.
    EXPECT_EQ(
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "--game", pgn, "x", "1", KB_FAKE_ENGINE})
            .exitCode,
        2);
    EXPECT_EQ(kbtest::Run({kbtest::BenchPath(), "xboard-run", "--game", pgn, "0", "1"}).exitCode,
              2);
    EXPECT_EQ(
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "--game", pgn, "7", "1", KB_FAKE_ENGINE})
            .exitCode,
        1);
}

TEST(EngineBench, XboardRunWalksAGameInTheWindow) {
    // An engine with an argument, as a user adds it through a script; it
    // writes prompts before its answers.
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "games.pgn", "[Event \"Walk\"]\r\n\r\n1.e4 *\r\n");
    const kbtest::RunResult r =
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "--game", (dir / "games.pgn").string(), "0",
                     "--walk", "1", "1.5", KB_FAKE_ENGINE, "prompt"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("step\t0\trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\t"
                         "1. e4 e5 2. Nf3\n"
                         "step\t1\trnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1\t"
                         "1. ... e5 2. Nf3\n"
                         "restarts\t0\n"),
              std::string::npos)
        << r.out;
    // Jumps as clicks do, each stop with how long its first line took.
    const kbtest::RunResult p =
        kbtest::Run({kbtest::BenchPath(), "xboard-run", "--game", (dir / "games.pgn").string(), "0",
                     "--path", "0,end,0", "1", KB_FAKE_ENGINE, "prompt"});
    EXPECT_EQ(p.exitCode, 0) << p.out;
    static const std::regex stops(
        "step\t1\trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\t1\\. e4 e5 2\\. Nf3\n"
        "wait\t1\t[0-9]+\n"
        "step\t2\trnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1\t1\\. \\.\\.\\. e5 "
        "2\\. Nf3\n"
        "wait\t2\t[0-9]+\n"
        "step\t3\trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\t1\\. e4 e5 2\\. Nf3\n"
        "wait\t3\t[0-9]+\n"
        "restarts\t0\n");
    EXPECT_TRUE(std::regex_search(p.out, stops)) << p.out;
    for (const char* path : {"0,x", "", "-1"})
        EXPECT_EQ(
            kbtest::Run({kbtest::BenchPath(), "xboard-run", "--game", (dir / "games.pgn").string(),
                         "0", "--path", path, "1", KB_FAKE_ENGINE})
                .exitCode,
            2)
            << path;
}

TEST_F(EngineWindow, AutoplayWithAnalysisAnalysesEachPosition) {
    for (auto [from, to] : {std::pair{"e2", "e4"}, {"e7", "e5"}, {"g1", "f3"}})
        Drag(*W, from, to);
    W->Notation1->Notation().GotoStart();
    QApplication::processEvents();
    ASSERT_EQ(Plies(*W), 0);
    W->sbAnalyse->click();
    W->bAutoplayClick();
    EXPECT_TRUE(W->AutoplayTimer->isActive());
    EXPECT_FALSE(W->Brett1->Ziehenmoeglich);
    W->AutoplayTimer->stop(); // the test steps
    W->AutoplayTimerTimer();
    W->AutoplayTimerTimer();
    ASSERT_EQ(Plies(*W), 3);
    EXPECT_TRUE(W->ThreadRunning());
    // At the end of the main line autoplay switches itself off.
    W->AutoplayTimerTimer();
    EXPECT_FALSE(W->AutoplayTimer->isActive());
    EXPECT_TRUE(W->Brett1->Ziehenmoeglich);
    // The worker searches the last position: its move is Black's and legal.
    ASSERT_TRUE(QTest::qWaitFor([&] { return W->MiniMax1.Busy(); }, 10000));
    QTest::keyClick(W, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Plies(*W) == 4; }, 10000));
    EXPECT_EQ(W->Notation1->Notation().CurrentMove->Zug.Side, 1);
    EXPECT_EQ(BoardOf(*W), NotationBoard(*W));
}

TEST_F(EngineWindow, TimeOutStopsTheClocksAndStillDeliversTheMove) {
    W->FEngineValue = [] { return 0.5; };
    Play(600);
    UserMove();
    W->tlBlackZue();
    ASSERT_EQ(A.Messages.size(), 1u);
    EXPECT_EQ(A.Messages[0], bw::Text(203));
    EXPECT_FALSE(W->tlWhite->Running());
    EXPECT_FALSE(W->tlBlack->Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Plies(*W) == 2; }, 10000));
}
