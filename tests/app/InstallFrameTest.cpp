// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's .pgn association and uninstall, on an installed program in a
// home folder of its own.
#include "FrameTestSupport.h"
#include "InstallTestSupport.h"

#include "InstanceLock.h"
#include "cProtokoll.h"

#include <QAction>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace frametest;
using namespace installtest;

namespace {

class UninstallTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        Answers.reset(); // scopes end in the reverse order they began
        Answers =
            std::make_unique<TAnswererScope>(TAnswerer{.Message = [this](const TMessageRequest& R) {
                Messages.push_back(R.Msg);
                Types.push_back(R.DlgType);
                return R.Buttons.Contains(mbYes) ? Confirm : mrOk;
            }});
    }
    void TearDown() override {
        Frame.reset();
        ProgramFiles() = {};
        FrameTest::TearDown();
    }
    QString ProgramFolder() const { return DirQ() + '/'; }
    QString Exe() const { return ProgramFolder() + "kestrelbay"; }
    // The state the installer leaves: program, empty ini, entry, association.
    void Installed(bool Ours = true) {
        ASSERT_TRUE(CopyExecutable(KB_PROGRAM_PATH, Exe()));
        WriteIni("[Options]\r\nDisableLog=0\r\n");
        ASSERT_TRUE(RegisterFileType(Home.Xdg, {DatabaseMimeType},
                                     Ours ? Exe() : Home.Home + "/elsewhere/kestrelbay", true));
        ProgramFiles().ExePath = Exe();
    }
    // What uninstall always deletes is there.
    void ProgramFilesThere() {
        kbtest::WriteFile(Dir() / "kblogfile.txt.old", "old log");
        ASSERT_TRUE(QFileInfo::exists(ProgramFolder() + "English.lng"));
    }
    bool AnyOfOursLeft() const {
        for (const char* n :
             {"Kestrelbay.ini", "kblogfile.txt", "kblogfile.txt.old", "English.lng"})
            if (QFileInfo::exists(ProgramFolder() + n)) return true;
        return false;
    }

    TFakeHome Home;
    int Confirm = mrYes;
    std::vector<TMsgDlgType> Types;
};

// Kills a started copy whatever the test's outcome.
struct TChild {
    qint64 Pid = 0;
    ~TChild() { Stop(); }
    void Stop() {
        if (Pid <= 0) return;
        ::kill(static_cast<pid_t>(Pid), SIGKILL);
        // Not our child (started detached): wait until it is gone.
        for (int i = 0; i < 200 && ::kill(static_cast<pid_t>(Pid), 0) == 0; ++i)
            QThread::msleep(10);
        Pid = 0;
    }
};

} // namespace

// The whole way: install, the installed copy runs with its ini and holds
// the lock, so uninstall refuses; once it ends, uninstall leaves nothing.
TEST_F(UninstallTest, InstalledCopyRunsAndBlocksUninstallUntilItEnds) {
    TChild copy;
    TInstallSetup s;
    s.ExePath = KB_PROGRAM_PATH;
    s.ProgramDir = QFileInfo(KB_PROGRAM_PATH).absolutePath() + '/';
    s.PresetFolder = Home.Home;
    s.Xdg = Home.Xdg;
    s.Launch = [&copy](const QString& Program, const QString& Dir) {
        return QProcess::startDetached(Program, {}, Dir, &copy.Pid);
    };
    TAnswerer install{.Message = [](const TMessageRequest&) { return mrOk; },
                      .FileName = [this](const TFileRequest&) { return Home.Home; }};
    {
        TAnswererScope scope(install);
        ASSERT_EQ(RunInstallBranch(s), TInstallResult::Installed);
    }
    const QString dir = QFileInfo(Home.Home).canonicalFilePath() + "/Kestrelbay/";
    ASSERT_GT(copy.Pid, 0);
    // A copy that found its ini starts normally and writes its language template.
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(dir + "English.lng"); }, 20000))
        << "the installed copy did not start";
    EXPECT_EQ(::kill(static_cast<pid_t>(copy.Pid), 0), 0) << "the installed copy ended";

    ProgramFiles().ExePath = dir + "kestrelbay";
    Frame = std::make_unique<TMainForm>(dir, QStringList{});
    ASSERT_TRUE(WaitFor([&] { return Frame->StartupDone(); }));
    Frame->show();
    Frame->mUninstallClick();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1], Text(257));
    EXPECT_TRUE(QFileInfo::exists(dir + "kestrelbay"));
    EXPECT_TRUE(QFileInfo::exists(Home.Xdg.DesktopFile()));

    copy.Stop();
    Messages.clear();
    Frame->mUninstallClick();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1], Text(256));
    Flush();
    EXPECT_FALSE(Frame->isVisible()); // the frame closed
    Frame.reset();
    EXPECT_FALSE(QFileInfo::exists(dir)) << "program folder left";
    EXPECT_EQ(Home.FilesMentioning("kestrelbay"), QStringList{});
}

TEST_F(UninstallTest, RefusedWithABoardWindowOpenOrWhileBusy) {
    Installed();
    Start();
    ProgramFilesThere();
    Frame->show();
    Frame->mGameOpenClick();
    Frame->mUninstallClick();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[0], Text(255));
    EXPECT_EQ(Messages[1], Text(259));
    EXPECT_TRUE(AnyOfOursLeft());
    EXPECT_TRUE(QFileInfo::exists(Exe()));
    EXPECT_TRUE(QFileInfo::exists(Home.Xdg.DesktopFile()));

    Boards[0]->close();
    Flush();
    // A click that arrives while a long operation pumps events is refused.
    Messages.clear();
    QMetaObject::invokeMethod(Frame.get(), &TMainForm::mUninstallClick, Qt::QueuedConnection);
    Frame->SafeProcessMessages();
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(QFileInfo::exists(ProgramFolder() + "Kestrelbay.ini"));

    // No, Cancel: nothing happens either.
    for (int answer : {mrNo, mrCancel}) {
        Confirm = answer;
        Frame->mUninstallClick();
    }
    EXPECT_EQ(Messages.size(), 2u);
    EXPECT_TRUE(QFileInfo::exists(Exe()));
    EXPECT_TRUE(Frame->isVisible());
}

TEST_F(UninstallTest, RefusedWhileAnotherCopyHoldsTheLock) {
    KB_REQUIRE_PEER(flock, "flock");
    Installed();
    Start();
    QProcess other;
    other.start(Q(flock), {"-F", "-s", QString::fromStdString(TInstanceLock::DefaultFileName()),
                           "sleep", "60"});
    ASSERT_TRUE(other.waitForStarted());
    // It holds the lock once an exclusive one cannot be had.
    ASSERT_TRUE(WaitFor([] { return OtherInstanceFound(); }));
    Frame->mUninstallClick();
    other.kill();
    other.waitForFinished();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1], Text(257));
    EXPECT_TRUE(QFileInfo::exists(Exe()));
    EXPECT_TRUE(QFileInfo::exists(ProgramFolder() + "Kestrelbay.ini"));
    EXPECT_TRUE(WaitFor([] { return !OtherInstanceFound(); })); // gone with it
}

TEST_F(UninstallTest, RemovesEverythingOursAndWritesNoIniOrLogAfterwards) {
    Installed();
    Start().show();
    ProgramFilesThere();
    Frame->mAssignPGNClick();
    ASSERT_EQ(DefaultApplication(Home.Xdg.MimeApps(), "application/x-chess-pgn"), DesktopFileId);
    Frame->Log("before");
    Messages.clear();
    Frame->mUninstallClick();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1], Text(256));
    EXPECT_EQ(Frame->LogFile(), nullptr);
    Frame->Log("after"); // must not bring the log back
    Flush();
    EXPECT_FALSE(Frame->isVisible()); // the frame closed
    Frame.reset();
    EXPECT_FALSE(AnyOfOursLeft());
    EXPECT_FALSE(QFileInfo::exists(DirQ())); // the folder went with the program
    EXPECT_EQ(Home.FilesMentioning("kestrelbay"), QStringList{});
}

// A program that is not the installed copy (a build, a package) stays, and
// so do the entry and associations that start another copy; the .pgn
// default of another program stays too.
TEST_F(UninstallTest, KeepsWhatBelongsToAnotherCopyOrProgram) {
    Installed(false);
    const QString mimeApps = Home.Xdg.MimeApps();
    SetDefaultApplication(mimeApps, {DatabaseMimeType});
    const QByteArray entry = ReadAll(Home.Xdg.DesktopFile());
    Start();
    ProgramFilesThere();
    Frame->mUninstallClick();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1], Text(256));
    Frame.reset();
    EXPECT_FALSE(AnyOfOursLeft());
    EXPECT_TRUE(QFileInfo::exists(Exe()));
    EXPECT_EQ(ReadAll(Home.Xdg.DesktopFile()), entry);
    EXPECT_EQ(DefaultApplication(mimeApps, DatabaseMimeType), DesktopFileId);
    EXPECT_TRUE(QFileInfo::exists(Home.Xdg.MimePackage()));
}

TEST_F(UninstallTest, OtherProgramsPgnDefaultStaysOursGoes) {
    Installed();
    const QString mimeApps = Home.Xdg.MimeApps();
    kbtest::WriteFile(mimeApps.toStdString(),
                      "[Default Applications]\napplication/x-chess-pgn=other.desktop;\n");
    ASSERT_TRUE(SetDefaultApplication(mimeApps, {DatabaseMimeType}));
    Start();
    Frame->mUninstallClick();
    Frame.reset();
    EXPECT_EQ(DefaultApplication(mimeApps, "application/x-chess-pgn"), "other.desktop");
    EXPECT_EQ(DefaultApplication(mimeApps, DatabaseMimeType), QString());
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.DesktopFile()));
}

TEST_F(UninstallTest, WhatCannotBeDeletedIsReportedTheRestGoes) {
    Installed();
    Start();
    // A folder where the language template was: no file delete removes it.
    QFile::remove(ProgramFolder() + "English.lng");
    QDir().mkpath(ProgramFolder() + "English.lng/x");
    Frame->mUninstallClick();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_TRUE(Messages[1].startsWith(Text(256)));
    EXPECT_TRUE(Messages[1].endsWith("\r" + ProgramFolder() + "English.lng"))
        << Messages[1].toStdString();
    EXPECT_EQ(Types[1], mtWarning);
    Frame.reset();
    EXPECT_FALSE(QFileInfo::exists(ProgramFolder() + "Kestrelbay.ini"));
    EXPECT_FALSE(QFileInfo::exists(Exe()));
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.DesktopFile()));
    EXPECT_TRUE(QFileInfo::exists(DirQ())); // not empty: it stays
}

TEST_F(UninstallTest, PgnAssociationReportsWhatHappened) {
    Installed();
    Start();
    ASSERT_TRUE(Frame->mAssignPGN->isEnabled());
    Frame->mAssignPGNClick();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "OK.");
    EXPECT_FALSE(Frame->mAssignPGN->isEnabled());
    for (const QString& type : PGNMimeTypes())
        EXPECT_EQ(DefaultApplication(Home.Xdg.MimeApps(), type), DesktopFileId);
    const TDesktopEntryInfo entry = ReadDesktopEntry(Home.Xdg.DesktopFile(), Exe());
    EXPECT_TRUE(entry.Installed); // still the installed copy
    EXPECT_TRUE(entry.MimeTypes.contains(DatabaseMimeType));
    EXPECT_TRUE(entry.MimeTypes.contains("application/x-chess-pgn"));

    // Nowhere to write: a failure, and the item stays for another try.
    Frame.reset();
    Messages.clear();
    qputenv("XDG_CONFIG_HOME", "/proc/kestrelbay-test");
    Start();
    Frame->mAssignPGNClick();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "The extension .pgn could not be associated with Kestrelbay.");
    EXPECT_EQ(Types.back(), mtError);
    EXPECT_TRUE(Frame->mAssignPGN->isEnabled());
}

TEST_F(UninstallTest, PgnAssociationOfAProgramNeverInstalledMakesNoInstalledCopy) {
    ProgramFiles().ExePath = Exe();
    kbtest::WriteFile(Dir() / "kestrelbay", "program");
    WriteIni("");
    Start();
    Frame->mAssignPGNClick();
    const TDesktopEntryInfo entry = ReadDesktopEntry(Home.Xdg.DesktopFile(), Exe());
    EXPECT_TRUE(entry.NamesExe);
    EXPECT_FALSE(entry.Installed);
    Frame->mUninstallClick();
    Frame.reset();
    // The association goes, the program stays.
    EXPECT_TRUE(QFileInfo::exists(Exe()));
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.DesktopFile()));
    EXPECT_EQ(DefaultApplication(Home.Xdg.MimeApps(), "application/x-chess-pgn"), QString());
}
