// SPDX-License-Identifier: GPL-3.0-or-later
// Busy state, progress, the stop button, the counted lock of the boards'
// threads and the instance lock.
#include "FrameTestSupport.h"

#include "InstanceLock.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <thread>

using namespace frametest;

TEST_F(FrameTest, CloseIsRefusedWhileALongOperationPumps) {
    WriteIni("[Options]\nGameTime=9\n");
    TMainForm& f = Start();
    f.mGameOpenClick();
    f.GameTime = 2;
    bool closedInside = true;
    bool busyInside = false;
    QTimer::singleShot(0, &f, [&] {
        busyInside = f.Busy();
        closedInside = f.close();
    });
    // A cancellable operation reports progress and lets events run.
    int mode = kb::cmGoOn;
    f.PGNTrace(nullptr, 40, mode);
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(closedInside);
    EXPECT_FALSE(f.Busy());
    EXPECT_EQ(f.prBar->value(), 40);
    EXPECT_EQ(mode, kb::cmGoOn);
    EXPECT_FALSE(Boards[0].isNull());
    EXPECT_EQ(IniText(), "[Options]\nGameTime=9\n");
    // Afterwards it closes.
    EXPECT_TRUE(Close());
}

TEST_F(FrameTest, NestedPumpingKeepsBusyUntilTheOuterEnds) {
    WriteIni("");
    TMainForm& f = Start();
    std::vector<bool> seen;
    QTimer::singleShot(0, &f, [&] {
        seen.push_back(f.Busy());
        f.SafeProcessMessages(); // nested
        seen.push_back(f.Busy());
    });
    QTimer::singleShot(0, &f, [&] { seen.push_back(f.Busy()); });
    f.SafeProcessMessages();
    EXPECT_EQ(seen, std::vector<bool>({true, true, true}));
    EXPECT_FALSE(f.Busy());
}

TEST_F(FrameTest, StopButtonCancelsAndOtherInputIsHeldBack) {
    WriteIni("");
    TMainForm& f = Start();
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    auto* edit = new QLineEdit(&f);
    edit->setGeometry(10, 10, 100, 20);
    edit->show();
    edit->setFocus();
    // While the operation pumps, a click on stop and typing come in.
    QTimer::singleShot(0, &f, [&] {
        QTest::keyClicks(edit, "abc");
        QTest::mouseClick(f.bStop, Qt::LeftButton);
    });
    f.StopRequested = false;
    int mode = kb::cmGoOn;
    f.PGNTrace(nullptr, 10, mode);
    EXPECT_EQ(mode, kb::cmCancel);
    EXPECT_TRUE(f.StopRequested);
    EXPECT_EQ(edit->text(), ""); // typing reached nothing
    // Not busy any more: typing works again.
    QTest::keyClicks(edit, "ok");
    EXPECT_EQ(edit->text(), "ok");

    // Menu shortcuts wait too: F4 opens no new game while the list pumps.
    QTimer::singleShot(0, &f, [&] { QTest::keyClick(edit, Qt::Key_F4); });
    mode = kb::cmGoOn;
    f.StopRequested = false;
    f.PGNTrace(nullptr, 20, mode);
    EXPECT_TRUE(Boards.empty());
    EXPECT_EQ(mode, kb::cmGoOn);
    QTest::keyClick(edit, Qt::Key_F4);
    EXPECT_EQ(Boards.size(), 1u);
}

TEST_F(FrameTest, HintsOfMenusAndControlsShowInTheStatusLine) {
    WriteIni("");
    TMainForm& f = Start();
    QStatusTipEvent tip("Datenbank-Fenster öffnen (F8)");
    QCoreApplication::sendEvent(f.bStop, &tip); // travels up to the frame
    EXPECT_EQ(f.pHint->text(), "Datenbank-Fenster öffnen (F8)");
    f.mHistory->showStatusText(&f);
    EXPECT_EQ(f.pHint->text(), f.mHistory->statusTip());
}

TEST_F(FrameTest, UncancellableProgressNeverPumps) {
    WriteIni("");
    TMainForm& f = Start();
    bool ran = false;
    QTimer::singleShot(0, &f, [&] { ran = true; });
    int mode = kb::cmNoCancel;
    f.StopRequested = true;
    f.PGNTrace(nullptr, 55, mode);
    EXPECT_FALSE(ran);
    EXPECT_EQ(mode, kb::cmNoCancel);
    EXPECT_EQ(f.prBar->value(), 55);
    f.PGNTrace(nullptr, 0, mode);
    EXPECT_FALSE(ran);
    EXPECT_EQ(f.prBar->value(), 0);
    // An edit rewrites the file and renames it; the hint says so and names
    // no backup. -1 ends the copy: the hint goes, the bar starts over.
    EXPECT_EQ(f.lBackuphint->text(), Text(1));
    f.lBackuphint->show();
    f.PGNTrace(nullptr, 70, mode);
    f.PGNTrace(nullptr, -1, mode);
    EXPECT_TRUE(f.lBackuphint->isHidden());
    EXPECT_EQ(f.prBar->value(), 0);
    f.PGNTrace(nullptr, 250, mode);
    EXPECT_EQ(f.prBar->value(), 100);
}

TEST_F(FrameTest, BoardLocksAreCountedAndResumeOnlyWhatTheyPaused) {
    WriteIni("");
    TMainForm& f = Start();
    f.mGameOpenClick();
    f.mGameOpenClick();
    f.LockBoards(true);
    f.LockBoards(true); // nested, as a file load inside a drop
    for (auto& b : Boards)
        EXPECT_EQ(b->Suspends, 1);
    // A window opened during the lock was not paused by it.
    f.mGameOpenClick();
    // One window goes away while locked.
    f.SubWindowOf(Boards[1])->close();
    Flush();
    ASSERT_TRUE(Boards[1].isNull());
    f.LockBoards(false);
    EXPECT_EQ(Boards[0]->Resumes, 0); // the outer lock still holds
    f.LockBoards(false);
    EXPECT_EQ(Boards[0]->Resumes, 1);
    EXPECT_EQ(Boards[2]->Suspends, 0);
    EXPECT_EQ(Boards[2]->Resumes, 0);
    // An unlock too many changes nothing.
    f.LockBoards(false);
    EXPECT_EQ(Boards[0]->Resumes, 1);
    EXPECT_EQ(f.BoardLockCount(), 0);
}

TEST_F(FrameTest, OpeningAFileLocksTheBoardsWhileItLoads) {
    WriteIni("");
    kbtest::WriteFile(Dir() / "g.pgn", Games(2));
    TMainForm& f = Start();
    f.mGameOpenClick();
    f.OpenListWindow(DirQ() + "/g.pgn");
    EXPECT_EQ(Boards[0]->Suspends, 1);
    EXPECT_EQ(Boards[0]->Resumes, 1);
    EXPECT_EQ(f.BoardLockCount(), 0);
    // A file that does not open: the window closes, the lock ends too.
    f.OpenListWindow(DirQ() + "/none.pgn");
    Flush();
    EXPECT_EQ(Boards[0]->Resumes, 2);
    EXPECT_EQ(f.ListWindows().size(), 1u);
}

TEST(FrameInstanceLock, AnotherCopyIsSeenOnlyWhileItRuns) {
    kbtest::TempDir dir;
    const std::string file = (dir / "lock").string();
    TInstanceLock first(file), second(file);
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(first.OtherInstanceFound());
    ASSERT_TRUE(second.Acquire());
    EXPECT_TRUE(first.OtherInstanceFound());
    EXPECT_TRUE(second.OtherInstanceFound());
    // The test leaves the own lock in place.
    EXPECT_TRUE(first.OtherInstanceFound());
    second.Release();
    EXPECT_FALSE(first.OtherInstanceFound());
    EXPECT_TRUE(first.Held());
    // Someone without a lock of their own sees the one holder.
    TInstanceLock probe(file);
    EXPECT_TRUE(probe.OtherInstanceFound());
    first.Release();
    EXPECT_FALSE(probe.OtherInstanceFound());
}

// Two copies that look for each other at the same moment both see the
// other, and so does a probe without a lock of its own: a check never lets
// go of the lock in a way another check can see.
TEST(FrameInstanceLock, CopiesCheckingAtOnceSeeEachOther) {
    kbtest::TempDir dir;
    const std::string file = (dir / "lock").string();
    TInstanceLock first(file), second(file), probe(file);
    ASSERT_TRUE(first.Acquire());
    ASSERT_TRUE(second.Acquire());
    std::atomic<int> missed{0};
    auto check = [&](TInstanceLock& L) {
        for (int i = 0; i < 3000; ++i)
            if (!L.OtherInstanceFound()) ++missed;
    };
    std::thread a(check, std::ref(first)), b(check, std::ref(second)), c(check, std::ref(probe));
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(missed, 0);
    EXPECT_TRUE(first.Held());
    EXPECT_TRUE(second.Held());
}

TEST(FrameInstanceLock, DefaultFileIsPerUser) {
    const std::string name = TInstanceLock::DefaultFileName();
    EXPECT_NE(name.find("VODOZAVODOVEREVARI"), std::string::npos);
    EXPECT_NE(name.find(std::to_string(::getuid())), std::string::npos);
}
