// SPDX-License-Identifier: GPL-3.0-or-later
// The command line, list and board windows, the history and the backup
// found beside a file.
#include "FrameTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <climits>

using namespace frametest;

TEST(FrameCommandLine, RowIsAWholeNumberThatFits) {
    struct Case {
        QStringList Args;
        bool HasRow, Valid;
        int Row;
    };
    const Case cases[] = {
        {{}, false, false, 0},
        {{"f.pgn"}, false, false, 0},
        {{"f.pgn", "0"}, true, true, 0},
        {{"f.pgn", "17"}, true, true, 17},
        {{"f.pgn", "+3"}, true, true, 3},
        {{"f.pgn", "-1"}, true, true, -1},
        {{"f.pgn", "x"}, true, false, 0},
        {{"f.pgn", "3x"}, true, false, 0},
        {{"f.pgn", ""}, true, false, 0},
        {{"f.pgn", "-"}, true, false, 0},
        {{"f.pgn", " 3"}, true, false, 0},
        {{"f.pgn", "2147483647"}, true, true, INT_MAX},
        {{"f.pgn", "-2147483648"}, true, true, INT_MIN},
        {{"f.pgn", "2147483648"}, true, false, 0},
        {{"f.pgn", "99999999999999999999999999"}, true, false, 0},
    };
    for (const Case& c : cases) {
        const TCommandLine cl = ParseCommandLine(c.Args);
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        EXPECT_EQ(cl.FileName, c.Args.value(0));
        EXPECT_EQ(cl.HasRow, c.HasRow);
        EXPECT_EQ(cl.RowValid, c.Valid);
        if (c.Valid) {
            EXPECT_EQ(cl.Row, c.Row);
        }
    }
}

TEST_F(FrameTest, StartUpWithAFileAndARow) {
    kbtest::WriteFile(Dir() / "three.pgn", Games(3));
    kbtest::WriteFile(Dir() / "one.pgn", Games(1));
    const QString three = DirQ() + "/three.pgn", one = DirQ() + "/one.pgn";
    WriteIni("");

    // Only the list: three games and no row.
    Start({three});
    ASSERT_EQ(Lists.size(), 1u);
    EXPECT_TRUE(Boards.empty());
    EXPECT_EQ(Lists[0]->windowTitle(), three);
    EXPECT_TRUE(Lists[0]->SetUp);
    EXPECT_FALSE(Lists[0]->Database);
    EXPECT_EQ(HistoryEntryPath(Frame->History[0]), three);

    // A row: that game.
    Start({three, "2"});
    ASSERT_EQ(Boards.size(), 1u);
    EXPECT_EQ(Boards[0]->Pgn, &Lists[0]->List);
    EXPECT_EQ(Boards[0]->GameNo, 2);
    EXPECT_NE(Boards[0]->GameText.find("[White \"W2\"]"), std::string::npos);
    EXPECT_FALSE(Boards[0]->Chess960);
    EXPECT_FALSE(Boards[0]->TrainingMode);
    EXPECT_EQ(Boards[0]->EngineMenus, 1);
    // The board window is in front of the list.
    const auto children = Frame->MdiChildren();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0].ChildKind, TMdiChild::Board);

    Start({three, "0"});
    ASSERT_EQ(Boards.size(), 1u);
    EXPECT_EQ(Boards[0]->GameNo, 0);

    // A file of one game opens it without a row.
    Start({one});
    ASSERT_EQ(Boards.size(), 1u);
    EXPECT_NE(Boards[0]->GameText.find("[White \"W0\"]"), std::string::npos);

    // Rows that are no rows of the list open nothing.
    for (const QString row : {"x", "3", "-1", "99999999999999999999", "2147483647"}) {
        Start({three, row});
        EXPECT_EQ(Lists.size(), 1u) << row.toStdString();
        EXPECT_TRUE(Boards.empty()) << row.toStdString();
    }
    Start({one, "1"});
    EXPECT_TRUE(Boards.empty());
}

TEST_F(FrameTest, StartUpWithAMissingFileOpensNothing) {
    WriteIni("");
    const QString missing = DirQ() + "/missing.pgn";
    TMainForm& f = Start({missing, "0"});
    EXPECT_TRUE(f.MdiChildren().empty());
    EXPECT_TRUE(Boards.empty());
    EXPECT_FALSE(std::filesystem::exists(Dir() / "missing.pgn"));
    for (const QString& e : f.History)
        EXPECT_TRUE(e.isEmpty());
}

TEST_F(FrameTest, StartUpOpensTheDatabaseWindowWhenItWasOpen) {
    WriteIni("[Options]\nDatabaseWinEnabled=1\n[History]\nFile0=a.pgn   \"/x/a.pgn\"\n");
    TMainForm& f = Start();
    ASSERT_EQ(Databases.size(), 1u);
    EXPECT_EQ(Databases[0]->History.size(), 16);
    EXPECT_EQ(Databases[0]->History[0], "a.pgn   \"/x/a.pgn\"");
    // F8 brings it to the front instead of opening a second one.
    f.mGameOpenClick();
    f.mHistoryClick();
    EXPECT_EQ(Databases.size(), 1u);
    EXPECT_EQ(f.MdiChildren()[0].ChildKind, TMdiChild::Database);
    ASSERT_TRUE(Close());
    EXPECT_NE(IniText().find("DatabaseWinEnabled=1"), std::string::npos);

    // Closed before the frame: not opened next time.
    TMainForm& g = Start();
    ASSERT_EQ(Databases.size(), 1u);
    g.MdiChildren()[0].Sub->close();
    Flush();
    ASSERT_TRUE(Close());
    EXPECT_NE(IniText().find("DatabaseWinEnabled=0"), std::string::npos);
}

// The database window opens first; what the command line opens stays in
// front and active once the shown frame becomes the active window.
TEST_F(FrameTest, StartUpWithTheDatabaseWindowKeepsTheFileInFront) {
    kbtest::WriteFile(Dir() / "three.pgn", Games(3));
    const QString three = DirQ() + "/three.pgn";
    WriteIni("[Options]\nDatabaseWinEnabled=1\n");
    struct TCase {
        QStringList Args;
        TMdiChild::Kind Front;
    };
    for (const TCase& c :
         {TCase{{three}, TMdiChild::List}, TCase{{three, "1"}, TMdiChild::Board}}) {
        SCOPED_TRACE(c.Args.join(' ').toStdString());
        // The frame becomes the active window after its windows opened, as
        // a slow window manager or a long load has it.
        Start(c.Args);
        Frame->show();
        Frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame.get()));
        Flush();
        const auto children = Frame->MdiChildren();
        ASSERT_EQ(children.size(), c.Front == TMdiChild::List ? 2u : 3u);
        EXPECT_EQ(children.back().ChildKind, TMdiChild::Database); // opened first
        EXPECT_EQ(children[0].ChildKind, c.Front);
        EXPECT_EQ(Frame->MdiArea()->activeSubWindow(), children[0].Sub);
        EXPECT_TRUE(children[0].Sub->isAncestorOf(QApplication::focusWidget()));
    }
}

TEST_F(FrameTest, HistoryEntriesAndTheirPaths) {
    EXPECT_EQ(HistoryEntry("/a/b/games.pgn"), "games.pgn   \"/a/b/games.pgn\"");
    EXPECT_EQ(HistoryEntryPath("games.pgn   \"/a/b/games.pgn\""), "/a/b/games.pgn");
    EXPECT_EQ(HistoryEntryPath(HistoryEntry("/with \"quote\".pgn")), "/with \"quote\".pgn");
    EXPECT_EQ(HistoryEntryPath("no quote"), "");
    EXPECT_EQ(HistoryEntryPath(""), "");
}

TEST_F(FrameTest, HistoryKeepsSixteenAndReopeningKeepsThePlace) {
    WriteIni("");
    TMainForm& f = Start();
    for (int i = 0; i < 17; ++i) {
        kbtest::WriteFile(Dir() / ("g" + std::to_string(i) + ".pgn"), Games(1));
        f.OpenListWindow(DirQ() + QString("/g%1.pgn").arg(i));
    }
    ASSERT_EQ(f.History.size(), 16);
    EXPECT_EQ(HistoryEntryPath(f.History[0]), DirQ() + "/g16.pgn");
    EXPECT_EQ(HistoryEntryPath(f.History[15]), DirQ() + "/g1.pgn");
    // g0 dropped out; g5 opened again (window closed) keeps its place.
    for (const TMdiChild& c : f.MdiChildren())
        c.Sub->close();
    Flush();
    const QStringList before = f.History;
    f.OpenListWindow(DirQ() + "/g5.pgn");
    EXPECT_EQ(f.History, before);
    // Another spelling of an open file brings its window to the front and
    // opens nothing new.
    const size_t lists = Lists.size();
    f.OpenListWindow(DirQ() + "/./sub/../g5.pgn");
    std::filesystem::create_directory(Dir() / "sub");
    f.OpenListWindow(DirQ() + "/sub/../g5.pgn");
    EXPECT_EQ(Lists.size(), lists);
    EXPECT_EQ(f.History, before);
    // Case counts on this system: G5.pgn is another file.
    kbtest::WriteFile(Dir() / "G5.pgn", Games(2));
    f.OpenListWindow(DirQ() + "/G5.pgn");
    EXPECT_EQ(Lists.size(), lists + 1);
    EXPECT_EQ(HistoryEntryPath(f.History[0]), DirQ() + "/G5.pgn");

    f.RemoveFromHistory(DirQ() + "/sub/../G5.pgn");
    EXPECT_EQ(f.History.size(), 15);
    EXPECT_EQ(HistoryEntryPath(f.History[0]), DirQ() + "/g16.pgn");
}

TEST_F(FrameTest, BackupOfThisFileIsRenamedAndReported) {
    WriteIni("");
    kbtest::WriteFile(Dir() / "data.pgn", Games(2));
    kbtest::WriteFile(Dir() / "a.pgn", Games(2));
    const std::string backup = "backup06.12.a_game5-120_data.pgn";
    kbtest::WriteFile(Dir() / backup, "tail");
    TMainForm& f = Start();

    // a.pgn's name is inside the backup's name, but it is not its backup.
    f.OpenListWindow(DirQ() + "/a.pgn");
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(std::filesystem::exists(Dir() / backup));

    f.OpenListWindow(DirQ() + "/data.pgn");
    const QString renamed = DirQ() + "/backup06.12.a_game5-120_data_.pgn";
    EXPECT_FALSE(std::filesystem::exists(Dir() / backup));
    EXPECT_EQ(kbtest::ReadFile(Dir() / "backup06.12.a_game5-120_data_.pgn"), "tail");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].contains(renamed)) << Messages[0].toStdString();
    EXPECT_EQ(HistoryEntryPath(f.History[0]), renamed);
    EXPECT_EQ(HistoryEntryPath(f.History[1]), DirQ() + "/data.pgn");
}

TEST_F(FrameTest, BackupRenameNeverReplacesAFile) {
    WriteIni("");
    kbtest::WriteFile(Dir() / "data.pgn", Games(2));
    const std::string backup = "BACKUP01.02.b_game1-2_data.pgn";
    kbtest::WriteFile(Dir() / backup, "new tail");
    kbtest::WriteFile(Dir() / "BACKUP01.02.b_game1-2_data_.pgn", "older tail");
    TMainForm& f = Start();
    f.OpenListWindow(DirQ() + "/data.pgn");
    EXPECT_EQ(kbtest::ReadFile(Dir() / backup), "new tail");
    EXPECT_EQ(kbtest::ReadFile(Dir() / "BACKUP01.02.b_game1-2_data_.pgn"), "older tail");
    // The message names the file where the games are.
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].contains(DirQ() + "/" + QString::fromStdString(backup)));
    EXPECT_EQ(HistoryEntryPath(f.History[0]), DirQ() + "/" + QString::fromStdString(backup));
}

TEST(FrameBackupName, OnlyTheExactNameOfAnEdit) {
    EXPECT_TRUE(IsBackupOf("backup06.12.a_game5-120_club.pgn", "club.pgn"));
    EXPECT_TRUE(IsBackupOf("Backup31.01.z_game1-1_club.pgn", "club.pgn"));
    EXPECT_FALSE(IsBackupOf("backup06.12.a_game5-120_myclub.pgn", "club.pgn"));
    EXPECT_FALSE(IsBackupOf("backup06.12.a_game5-120_club.pgn", "Club.pgn"));
    EXPECT_FALSE(IsBackupOf("backup06.12.a_game5-120_club_.pgn", "club.pgn"));
    EXPECT_FALSE(IsBackupOf("backupclub.pgn", "club.pgn"));
    EXPECT_FALSE(IsBackupOf("club.pgn", "club.pgn"));
}

TEST_F(FrameTest, BoardWindowsForGamesAndNewGames) {
    WriteIni("");
    kbtest::WriteFile(Dir() / "three.pgn", Games(3));
    TMainForm& f = Start({DirQ() + "/three.pgn"});
    ASSERT_EQ(Lists.size(), 1u);
    kb::TPGN* pgn = Lists[0]->PGN();
    f.OpenBoardWindow(pgn, "[White \"x\"]", 1, false);
    f.OpenBoardWindow(pgn, "[White \"y\"]", 2, false);
    f.OpenBoardWindow(pgn, "[White \"x\"]", 1, false);
    EXPECT_EQ(Boards.size(), 2u);
    EXPECT_EQ(f.MdiChildren()[0].Intf, static_cast<TBoardWindowIntf*>(Boards[0].data()));
    // New games always get a window of their own.
    f.mGameOpenClick();
    f.mGameOpenClick();
    f.mNewFRCClick();
    ASSERT_EQ(Boards.size(), 5u);
    EXPECT_EQ(Boards[2]->GameNo, -1);
    EXPECT_EQ(Boards[2]->Pgn, nullptr);
    EXPECT_FALSE(Boards[3]->Chess960);
    EXPECT_TRUE(Boards[4]->Chess960);
    // The tactics list opens its games for training.
    f.OpenBoardWindow(f.tacticPGN, "[White \"t\"]", 0, false);
    ASSERT_EQ(Boards.size(), 6u);
    EXPECT_TRUE(Boards[5]->TrainingMode);
    // The longest inactive board window: the first one opened.
    EXPECT_EQ(f.FindBoardWindow(), static_cast<TBoardWindowIntf*>(Boards[1].data()));
}

TEST_F(FrameTest, NewWindowsAtTheSamePlaceAreCascaded) {
    WriteIni("");
    TMainForm& f = Start();
    f.resize(800, 600);
    f.show();
    Flush();
    TTestBoardWindow::Geometry = QRect(0, 0, 300, 200);
    f.mGameOpenClick();
    f.mGameOpenClick();
    f.mGameOpenClick();
    const QPoint a = f.SubWindowOf(Boards[0])->pos(), b = f.SubWindowOf(Boards[1])->pos(),
                 c = f.SubWindowOf(Boards[2])->pos();
    EXPECT_EQ(a, QPoint(0, 0));
    EXPECT_GT(b.x(), 0);
    EXPECT_EQ(b.x(), b.y());
    EXPECT_EQ(c, b * 2);
    // A place beyond the frame's client area starts at its edge.
    TTestBoardWindow::Geometry = QRect(5000, 40, 300, 200);
    f.mGameOpenClick();
    EXPECT_EQ(f.SubWindowOf(Boards[3])->pos(), QPoint(0, 40));
}

TEST_F(FrameTest, WindowMenuListsTheWindowsFrontFirst) {
    WriteIni("");
    TMainForm& f = Start();
    f.mGameOpenClick();
    f.mGameOpenClick();
    Boards[0]->setWindowTitle("A & B");
    f.BringToFront(Boards[0]);
    emit f.Window1->aboutToShow();
    QStringList items;
    QList<QAction*> windows;
    for (QAction* a : f.Window1->actions())
        if (a->isCheckable()) {
            items << a->text() + (a->isChecked() ? "*" : "");
            windows << a;
        }
    EXPECT_EQ(items, QStringList({"&1 A && B*", "&2 Board -1"}));
    windows[1]->trigger();
    EXPECT_EQ(f.MdiChildren()[0].Widget, Boards[1].data());
    // Shown again: the same two items, not four.
    emit f.Window1->aboutToShow();
    int count = 0;
    for (QAction* a : f.Window1->actions())
        count += a->isCheckable();
    EXPECT_EQ(count, 2);
}

TEST_F(FrameTest, ClosingTheFrontWindowShowsTheOneBeforeIt) {
    WriteIni("");
    TMainForm& f = Start();
    f.mGameOpenClick();
    f.mGameOpenClick();
    f.mGameOpenClick();
    f.BringToFront(Boards[1]);
    f.BringToFront(Boards[2]);
    f.mCloseClick();
    Flush();
    EXPECT_EQ(f.MdiChildren()[0].Widget, Boards[1].data());
    f.mCloseClick();
    Flush();
    EXPECT_EQ(f.MdiChildren()[0].Widget, Boards[0].data());
}

TEST_F(FrameTest, ParentFormOfAControlIsItsMdiWindow) {
    WriteIni("");
    TMainForm& f = Start();
    f.mGameOpenClick();
    auto* inner = new QWidget(new QWidget(Boards[0]));
    EXPECT_EQ(FindParentForm(inner), Boards[0].data());
    EXPECT_EQ(FindParentForm(f.bStop), &f);
    EXPECT_EQ(FindParentForm(nullptr), nullptr);
}

TEST_F(FrameTest, NextWindowCyclesAndMenusFollowTheWindows) {
    WriteIni("");
    TMainForm& f = Start();
    EXPECT_FALSE(f.mClose->isEnabled());
    EXPECT_FALSE(f.WindowTileItem->isEnabled());
    f.mGameOpenClick();
    EXPECT_TRUE(f.mClose->isEnabled());
    EXPECT_TRUE(f.WindowMinimizeItem->isEnabled());
    // One window: F9 does nothing.
    f.mNextWinClick();
    EXPECT_EQ(f.MdiChildren()[0].Intf, static_cast<TBoardWindowIntf*>(Boards[0].data()));
    f.mGameOpenClick();
    f.mGameOpenClick();
    std::vector<TMdiChildIntf*> fronts;
    for (int i = 0; i < 3; ++i) {
        f.mNextWinClick();
        fronts.push_back(f.MdiChildren()[0].Intf);
    }
    // Each press brings the one longest inactive: all three in turn.
    EXPECT_EQ(fronts[0], static_cast<TMdiChildIntf*>(Boards[0].data()));
    EXPECT_EQ(fronts[1], static_cast<TMdiChildIntf*>(Boards[1].data()));
    EXPECT_EQ(fronts[2], static_cast<TMdiChildIntf*>(Boards[2].data()));
    f.mCloseClick();
    Flush();
    EXPECT_EQ(f.MdiChildren().size(), 2u);
    EXPECT_TRUE(Boards[2].isNull());
    f.WindowMinimizeItemClick();
    for (const TMdiChild& c : f.MdiChildren())
        EXPECT_TRUE(c.Sub->isMinimized());
    for (const TMdiChild& c : f.MdiChildren())
        c.Sub->close();
    Flush();
    EXPECT_FALSE(f.mClose->isEnabled());
}

TEST_F(FrameTest, SettingsCommandsReachTheBoards) {
    WriteIni("");
    TMainForm& f = Start();
    f.mGameOpenClick();
    f.mGameOpenClick();
    TAnswererScope answers(
        TAnswerer{.Color = [](const QColor&) -> std::optional<QColor> { return QColor(1, 2, 3); }});
    f.mWhiteSquareClick();
    EXPECT_EQ(f.WhiteSquare, 0x00030201);
    f.mAnimation->trigger();
    EXPECT_FALSE(f.mAnimation->isChecked());
    for (auto& b : Boards)
        EXPECT_EQ(b->BoardApplied, 2);
    {
        TAnswererScope cancel(TAnswerer{
            .Color = [](const QColor&) -> std::optional<QColor> { return std::nullopt; }});
        f.mBlackSquareClick();
    }
    EXPECT_EQ(f.BlackSquare, 0);
    for (auto& b : Boards)
        EXPECT_EQ(b->BoardApplied, 2);
}

TEST_F(FrameTest, ChildrenAreAskedBeforeTheFrameCloses) {
    WriteIni("[Options]\nGameTime=9\n");
    TMainForm& f = Start();
    f.mGameOpenClick();
    f.mGameOpenClick();
    f.mGameOpenClick();
    f.GameTime = 4;
    // Whichever window refuses, the first asked or the last, all stay open.
    for (size_t refusing : {size_t{0}, size_t{2}}) {
        Boards[refusing]->RefuseClose = true;
        EXPECT_FALSE(Close());
        for (const auto& b : Boards) {
            ASSERT_FALSE(b.isNull()) << "refusing " << refusing;
            EXPECT_FALSE(b->isHidden()) << "refusing " << refusing;
        }
        EXPECT_EQ(f.MdiChildren().size(), 3u);
        EXPECT_EQ(IniText(), "[Options]\nGameTime=9\n");
        EXPECT_FALSE(f.IsClosing());
        Boards[refusing]->RefuseClose = false;
    }
    EXPECT_TRUE(Close());
    EXPECT_NE(IniText().find("GameTime=4"), std::string::npos);
}

TEST_F(FrameTest, DeleteRequestRemovesFileAndHistoryEntry) {
    WriteIni("");
    TMainForm& f = Start();
    kbtest::WriteFile(Dir() / "gone.kbf", "x");
    f.AddToHistory(DirQ() + "/gone.kbf");
    f.PostDeleteFile(DirQ() + "/gone.kbf");
    EXPECT_TRUE(std::filesystem::exists(Dir() / "gone.kbf")); // later, not now
    ASSERT_TRUE(WaitFor([&] { return !std::filesystem::exists(Dir() / "gone.kbf"); }));
    EXPECT_TRUE(f.History.isEmpty() || HistoryEntryPath(f.History[0]) != DirQ() + "/gone.kbf");

    // Two requests are two deletes, not one overwritten name.
    kbtest::WriteFile(Dir() / "one.kbf", "1");
    kbtest::WriteFile(Dir() / "two.kbf", "2");
    kbtest::WriteFile(Dir() / "three.kbf", "3");
    f.PostDeleteFile(DirQ() + "/one.kbf");
    f.PostDeleteFile(DirQ() + "/two.kbf");
    Flush();
    EXPECT_FALSE(std::filesystem::exists(Dir() / "one.kbf"));
    EXPECT_FALSE(std::filesystem::exists(Dir() / "two.kbf"));
    EXPECT_TRUE(std::filesystem::exists(Dir() / "three.kbf"));
}
