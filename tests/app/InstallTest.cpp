// SPDX-License-Identifier: GPL-3.0-or-later
// The install branch and its pieces: the target folder, the menu entry (as
// the desktop's own tools read it), mimeapps.list, failures and cleanup.
#include "InstallTestSupport.h"

#include "DialogsLng.h"
#include "InstanceLock.h"
#include "Local.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

using namespace installtest;

namespace {

// Each test process has its own lock folder, so that copies it starts are
// seen as other running copies and nothing else is.
class TLockFolder : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Q(dir_.path())));
        ProgramInstanceLock().Acquire();
    }

private:
    kbtest::TempDir dir_;
};
const auto* const g_lockFolder = ::testing::AddGlobalTestEnvironment(new TLockFolder);

// Answers of the install questions, and what was asked.
struct TInstallAnswers {
    int Offer = mrOk;
    std::optional<QString> Folder;
    std::vector<TMessageRequest> Messages;
    std::vector<TFileRequest> Files;
    TAnswerer Answerer() {
        return {.Message =
                    [this](const TMessageRequest& R) {
                        Messages.push_back(R);
                        return R.Buttons.Contains(mbCancel) ? Offer : mrOk;
                    },
                .FileName =
                    [this](const TFileRequest& R) {
                        Files.push_back(R);
                        return Folder;
                    }};
    }
};

class InstallBranch : public ::testing::Test {
protected:
    void SetUp() override { ResetStringTable(); }
    void TearDown() override { ResetStringTable(); }

    // Setup of a program at Source in its own folder; launches are recorded.
    TInstallSetup Setup(const QString& Source = KB_PROGRAM_PATH) {
        TInstallSetup s;
        s.ExePath = Source;
        s.ProgramDir = QFileInfo(Source).absolutePath() + '/';
        s.PresetFolder = Home.Home;
        s.Xdg = Home.Xdg;
        s.Launch = [this](const QString& Program, const QString& Dir) {
            Launched << Program + "|" + Dir;
            return true;
        };
        return s;
    }
    TInstallResult Run(const TInstallSetup& S) {
        TAnswererScope scope(Answers.Answerer());
        return RunInstallBranch(S);
    }

    TFakeHome Home;
    TInstallAnswers Answers;
    QStringList Launched;
};

} // namespace

TEST(InstallPieces, TargetFolderRule) {
    EXPECT_EQ(InstallTargetDir("/home/ann"), "/home/ann/Kestrelbay/");
    EXPECT_EQ(InstallTargetDir("/home/ann/"), "/home/ann/Kestrelbay/");
    EXPECT_EQ(InstallTargetDir("/opt/Programs"), "/opt/Programs/Kestrelbay/");
    // A folder already named so, in any case, is the target itself.
    EXPECT_EQ(InstallTargetDir("/opt/KESTRELBAY"), "/opt/KESTRELBAY/");
    EXPECT_EQ(InstallTargetDir("/opt/kestrelbay/"), "/opt/kestrelbay/");
    EXPECT_EQ(InstallTargetDir("/"), "/Kestrelbay/");
}

TEST(InstallPieces, SameFolderSeesThroughLinksAndMissingFolders) {
    kbtest::TempDir dir;
    const QString real = Q(dir / "real");
    QDir().mkpath(real + "/Kestrelbay");
    ASSERT_TRUE(QFile::link(real, Q(dir / "link")));
    EXPECT_TRUE(SameFolder(Q(dir / "link") + "/Kestrelbay/", real + "/Kestrelbay"));
    EXPECT_TRUE(SameFolder(Q(dir / "link") + "/new/../Kestrelbay", real + "/Kestrelbay/"));
    EXPECT_TRUE(SameFolder(Q(dir / "link") + "/not/yet", real + "/not/yet/"));
    EXPECT_FALSE(SameFolder(real + "/kestrelbay", real + "/Kestrelbay"));
    EXPECT_FALSE(SameFolder(real, real + "/Kestrelbay"));
}

// The desktop's own launcher reads our Exec line: a program in a folder
// whose name holds the characters that need quoting gets started, with the
// file it is given. (A "%" is written as the rules say, "%%", but GLib looks
// for the program before it expands that: the validator checks it instead.)
TEST(InstallPieces, MenuEntryStartsProgramsWithAnyPathAndPassesTheFile) {
    KB_REQUIRE_PEER(gio, "gio");
    KB_REQUIRE_PEER(validate, "desktop-file-validate");
    TFakeHome home;
    const QString dir = home.Home + "/odd \"name\" $HOME `x` back\\slash it's; a&b (ä) <>|*?#~";
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString exe = dir + "/kestrelbay";
    const QString out = home.Home + "/started.txt";
    {
        QFile f(exe);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\nprintf '%s\\n%s\\n' \"$0\" \"$1\" > '" + out + "'\n").toUtf8());
    }
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(RegisterFileType(home.Xdg, {DatabaseMimeType}, exe, true));

    const TRun v = RunProgram(Q(validate), {home.Xdg.DesktopFile()});
    EXPECT_EQ(v.Exit, 0) << v.Out.toStdString();
    EXPECT_FALSE(v.Out.contains("error", Qt::CaseInsensitive)) << v.Out.toStdString();
    const QString percent = home.Home + "/100% sure";
    ASSERT_TRUE(RegisterFileType(home.Xdg, {DatabaseMimeType}, percent + "/kestrelbay", true));
    EXPECT_TRUE(QString::fromUtf8(ReadAll(home.Xdg.DesktopFile())).contains("100%% sure"));
    const TRun vp = RunProgram(Q(validate), {home.Xdg.DesktopFile()});
    EXPECT_EQ(vp.Exit, 0) << vp.Out.toStdString();
    ASSERT_TRUE(RegisterFileType(home.Xdg, {DatabaseMimeType}, exe, true));

    const QString game = home.Home + "/my game.kbf";
    const TRun l = RunProgram(Q(gio), {"launch", home.Xdg.DesktopFile(), game});
    ASSERT_EQ(l.Exit, 0) << l.Out.toStdString();
    QByteArray started;
    // The launcher does not wait for the program: up to 30 s on a loaded machine.
    for (int i = 0; i < 600 && started.count('\n') < 2; ++i) {
        QThread::msleep(50);
        started = ReadAll(out);
    }
    EXPECT_EQ(QString::fromUtf8(started), exe + "\n" + game + "\n");
}

TEST(InstallPieces, MimeAppsListKeepsWhatIsNotOurs) {
    TFakeHome home;
    const QString file = home.Xdg.MimeApps();
    QDir().mkpath(QFileInfo(file).path());
    const QByteArray before = "# mine\n[Default Applications]\ntext/plain=editor.desktop;\n"
                              "application/x-chess-pgn=other.desktop;\n\n"
                              "[Removed Associations]\nimage/png=viewer.desktop;\n";
    kbtest::WriteFile(file.toStdString(), before.toStdString());

    ASSERT_TRUE(SetDefaultApplication(file, {"application/x-chess-pgn", DatabaseMimeType}));
    EXPECT_EQ(DefaultApplication(file, "application/x-chess-pgn"), DesktopFileId);
    EXPECT_EQ(DefaultApplication(file, DatabaseMimeType), DesktopFileId);
    const QString set = QString::fromUtf8(ReadAll(file));
    EXPECT_TRUE(set.contains("application/x-chess-pgn=kestrelbay.desktop;other.desktop;"));
    EXPECT_TRUE(set.contains("[Added Associations]"));
    // Setting it twice lists us once.
    ASSERT_TRUE(SetDefaultApplication(file, {"application/x-chess-pgn"}));
    EXPECT_EQ(ReadAll(file).count("kestrelbay.desktop"), 4);

    ASSERT_TRUE(RemoveDefaultApplication(file, {"application/x-chess-pgn", DatabaseMimeType}));
    const QString after = QString::fromUtf8(ReadAll(file));
    EXPECT_FALSE(after.contains("kestrelbay"));
    EXPECT_EQ(DefaultApplication(file, "application/x-chess-pgn"), "other.desktop");
    for (const char* kept : {"# mine", "text/plain=editor.desktop;", "image/png=viewer.desktop;"})
        EXPECT_TRUE(after.contains(kept)) << kept;
    EXPECT_EQ(DefaultApplication(file, "image/png"),
              QString()); // a removed association is no default
}

TEST_F(InstallBranch, InstallsCopyIniEntryAndAssociationAndStartsTheCopy) {
    Answers.Folder = Home.Home;
    ASSERT_EQ(Run(Setup()), TInstallResult::Installed);
    ASSERT_EQ(Answers.Messages.size(), 1u);
    EXPECT_EQ(Answers.Messages[0].Msg,
              "Kestrelbay\r(Chess Database)\r\r\r\r\r\r"
              "Press OK to continue and select the installation folder then.");
    EXPECT_EQ(Answers.Messages[0].DlgType, mtInformation);
    ASSERT_EQ(Answers.Files.size(), 1u);
    EXPECT_EQ(Answers.Files[0].Mode, TFileMode::Directory);
    EXPECT_EQ(Answers.Files[0].FileName, Home.Home); // the home folder is offered first
    EXPECT_EQ(Answers.Files[0].Title,
              "Kestrelbay will be installed now. Please select the installation folder.");

    const QString dir = QFileInfo(Home.Home).canonicalFilePath() + "/Kestrelbay/";
    const QString exe = dir + "kestrelbay";
    EXPECT_EQ(ReadAll(exe), ReadAll(KB_PROGRAM_PATH));
    EXPECT_TRUE(QFileInfo(exe).isExecutable());
    ASSERT_TRUE(QFileInfo::exists(dir + "Kestrelbay.ini"));
    EXPECT_EQ(QFileInfo(dir + "Kestrelbay.ini").size(), 0);
    EXPECT_EQ(Launched, QStringList{exe + "|" + dir});
    // Nothing else lies in the folder: no temporary copy was left.
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 2);

    const TDesktopEntryInfo entry = ReadDesktopEntry(Home.Xdg.DesktopFile(), exe);
    EXPECT_TRUE(entry.NamesExe);
    EXPECT_TRUE(entry.Installed);
    EXPECT_EQ(entry.MimeTypes, QStringList{DatabaseMimeType});
    EXPECT_EQ(DefaultApplication(Home.Xdg.MimeApps(), DatabaseMimeType), DesktopFileId);
    EXPECT_TRUE(QFileInfo::exists(Home.Xdg.MimePackage()));
    // .pgn is associated only on request.
    EXPECT_EQ(DefaultApplication(Home.Xdg.MimeApps(), "application/x-chess-pgn"), QString());

    // The copy is the whole program: it needs nothing of the build tree.
    const TRun ldd = RunProgram("ldd", {exe});
    ASSERT_EQ(ldd.Exit, 0) << ldd.Out.toStdString();
    EXPECT_FALSE(ldd.Out.contains("not found")) << ldd.Out.toStdString();
    EXPECT_FALSE(ldd.Out.contains(KB_BUILD_DIR)) << ldd.Out.toStdString();
}

// The desktop's tools agree: entry valid, .kbf files have our type, and
// we open them.
TEST_F(InstallBranch, DesktopToolsSeeTheEntryAndTheDatabaseType) {
    KB_REQUIRE_PEER(gio, "gio");
    KB_REQUIRE_PEER(validate, "desktop-file-validate");
    if (QStandardPaths::findExecutable("update-mime-database").isEmpty())
        GTEST_SKIP() << "update-mime-database not installed";
    Answers.Folder = Home.Home + "/apps";
    ASSERT_EQ(Run(Setup()), TInstallResult::Installed);
    const TRun v = RunProgram(Q(validate), {Home.Xdg.DesktopFile()});
    EXPECT_EQ(v.Exit, 0) << v.Out.toStdString();

    const QString game = Home.Home + "/games.kbf";
    kbtest::WriteFile(game.toStdString(), std::string("\x01[Event \"x\"]\0", 14));
    const TRun info = RunProgram(Q(gio), {"info", "-a", "standard::content-type", game});
    EXPECT_TRUE(info.Out.contains(DatabaseMimeType)) << info.Out.toStdString();
    const TRun mime = RunProgram(Q(gio), {"mime", DatabaseMimeType});
    EXPECT_TRUE(mime.Out.contains(QString(": ") + DesktopFileId)) << mime.Out.toStdString();
}

TEST_F(InstallBranch, GermanSystemGetsGermanTexts) {
    TInstallSetup s = Setup();
    s.German = true;
    Answers.Folder = std::nullopt;
    EXPECT_EQ(Run(s), TInstallResult::Cancelled);
    ASSERT_EQ(Answers.Messages.size(), 1u);
    EXPECT_TRUE(Answers.Messages[0].Msg.startsWith("Kestrelbay\r(Schachdatenbank)\r"));
    EXPECT_TRUE(Answers.Messages[0].Msg.endsWith(
        "Drücken Sie OK, und wählen Sie dann das Installations-Verzeichnis aus."));
    EXPECT_EQ(Answers.Messages[0].Caption, "Information");
    ASSERT_EQ(Answers.Files.size(), 1u);
    EXPECT_EQ(Answers.Files[0].Title, "Kestrelbay wird nun installiert. Bitte wählen Sie das "
                                      "Installations-Verzeichnis.");
}

TEST_F(InstallBranch, CancelOrTheProgramsOwnFolderInstallNothing) {
    Answers.Offer = mrCancel;
    Answers.Folder = Home.Home;
    EXPECT_EQ(Run(Setup()), TInstallResult::Cancelled);
    EXPECT_TRUE(Answers.Files.empty());

    Answers.Offer = mrOk;
    Answers.Folder = std::nullopt;
    EXPECT_EQ(Run(Setup()), TInstallResult::Cancelled);

    // A program in .../Kestrelbay: choosing its parent or the folder itself
    // names the folder it runs from.
    const QString own = Home.Home + "/Kestrelbay";
    QDir().mkpath(own);
    const QString program = own + "/kestrelbay";
    ASSERT_TRUE(QFile::copy(KB_PROGRAM_PATH, program));
    for (const QString& chosen : {Home.Home, own, own + "/"}) {
        Answers.Folder = chosen;
        EXPECT_EQ(Run(Setup(program)), TInstallResult::SameFolder) << chosen.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(own + "/Kestrelbay.ini"));
    EXPECT_TRUE(Launched.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.DesktopFile()));
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.DataHome));
}

TEST_F(InstallBranch, SecondInstallKeepsTheIniAndReplacesTheProgram) {
    const QString dir = Home.Home + "/kestrelbay/";
    QDir().mkpath(dir);
    kbtest::WriteFile((dir + "Kestrelbay.ini").toStdString(), "[History]\r\nFile0=x\r\n");
    kbtest::WriteFile((dir + "kestrelbay").toStdString(), "old program");
    Answers.Folder = dir; // named so already: installs right there
    ASSERT_EQ(Run(Setup()), TInstallResult::Installed);
    EXPECT_EQ(kbtest::ReadFile((dir + "Kestrelbay.ini").toStdString()), "[History]\r\nFile0=x\r\n");
    EXPECT_EQ(ReadAll(dir + "kestrelbay"), ReadAll(KB_PROGRAM_PATH));
    ASSERT_EQ(Run(Setup()), TInstallResult::Installed);
    EXPECT_EQ(ReadAll(dir + "kestrelbay"), ReadAll(KB_PROGRAM_PATH));
    EXPECT_EQ(Launched.size(), 2);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(InstallBranch, FolderThatCannotBeMadeReportsAndLeavesNothing) {
    QStringList chosen = {"/proc/kestrelbay-test/a"};
    const QString ro = Home.Home + "/readonly";
    if (::geteuid() != 0) { // root writes into read-only folders anyway
        QDir().mkpath(ro);
        QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner);
        chosen << ro;
    }
    for (const QString& c : chosen) {
        Answers.Messages.clear();
        Answers.Folder = c;
        EXPECT_EQ(Run(Setup()), TInstallResult::Failed) << c.toStdString();
        ASSERT_EQ(Answers.Messages.size(), 2u);
        EXPECT_EQ(Answers.Messages[1].DlgType, mtError);
        EXPECT_EQ(Answers.Messages[1].Msg,
                  "Error while creating the installation folder. Maybe it is write protected.");
    }
    QFile::setPermissions(ro, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(Launched.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.DataHome));
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.ConfigHome));
}

// A copy that fails leaves no ini, no entry, no association, and takes
// back the folders it made; a folder that was there stays with its files.
TEST_F(InstallBranch, FailedCopyStopsAndCleansUp) {
    Answers.Folder = Home.Home + "/new/deeper";
    EXPECT_EQ(Run(Setup(Home.Home + "/missing/kestrelbay")), TInstallResult::Failed);
    ASSERT_EQ(Answers.Messages.size(), 2u);
    EXPECT_EQ(Answers.Messages[1].DlgType, mtError);
    EXPECT_FALSE(QFileInfo::exists(Home.Home + "/new"));

    const QString dir = Home.Home + "/Kestrelbay/";
    QDir().mkpath(dir);
    kbtest::WriteFile((dir + "notes.txt").toStdString(), "mine");
    Answers.Folder = Home.Home;
    EXPECT_EQ(Run(Setup(Home.Home + "/missing/kestrelbay")), TInstallResult::Failed);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"notes.txt"});
    EXPECT_TRUE(Launched.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.DataHome));
    EXPECT_FALSE(QFileInfo::exists(Home.Xdg.ConfigHome));
}

TEST(InstallPieces, NeedsInstallOnlyWithoutFileAndIni) {
    kbtest::TempDir dir;
    const QString d = Q(dir.path()) + '/';
    EXPECT_TRUE(NeedsInstall({}, d));
    EXPECT_FALSE(NeedsInstall({"games.pgn"}, d));
    kbtest::WriteFile(dir / "Kestrelbay.ini", "");
    EXPECT_FALSE(NeedsInstall({}, d));
}
