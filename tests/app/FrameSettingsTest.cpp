// SPDX-License-Identifier: GPL-3.0-or-later
// Kestrelbay.ini: defaults, edge cases of the values, what a close writes
// and what it keeps.
#include "FrameTestSupport.h"

#include "IniFile.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <csignal>
#include <sys/resource.h>

using namespace frametest;

namespace {

// Key names of a section in file order.
std::vector<std::string> Keys(const std::filesystem::path& Ini, const char* Section) {
    return kb::IniFile(Ini.string()).ReadSection(Section);
}

} // namespace

TEST_F(FrameTest, EmptyIniGivesTheDefaults) {
    WriteIni("");
    TMainForm& f = Start();
    ASSERT_EQ(f.History.size(), 16);
    for (const QString& e : f.History)
        EXPECT_TRUE(e.isEmpty());
    EXPECT_EQ(f.FontDialog1.Font.family(), "Courier New");
    EXPECT_EQ(f.FontDialog1.Font.pointSize(), 10);
    EXPECT_TRUE(f.FontDialog1.Font.bold());
    EXPECT_EQ(f.FontDialog1.Color, QColor(0, 0, 0));
    EXPECT_EQ(f.FontDialogComm.Font.family(), "Arial");
    EXPECT_EQ(f.FontDialogComm.Font.pointSize(), 10);
    EXPECT_FALSE(f.FontDialogComm.Font.bold());
    EXPECT_EQ(f.FontDialogComm.Color, QColor(128, 0, 0)); // 128 is dark red
    EXPECT_FALSE(f.DatabaseWinEnabled);
    EXPECT_TRUE(Databases.empty());
    EXPECT_FALSE(f.mClickClick->isChecked());
    EXPECT_TRUE(f.mAnimation->isChecked());
    EXPECT_FALSE(f.mShowLastMove->isChecked());
    EXPECT_FALSE(f.mToolbarBelow->isChecked());
    EXPECT_TRUE(f.m1Echecs->isChecked());
    EXPECT_FALSE(f.mChessMerida->isChecked());
    EXPECT_EQ(f.GameTime, 5);
    EXPECT_EQ(f.MoveTime, 5);
    EXPECT_EQ(f.OtherLang, "English");
    // The first start speaks the system's language, by the string table's one rule.
    EXPECT_EQ(LanguageColumn, SystemLanguageColumn());
    EXPECT_TRUE(f.DisableLog);
    EXPECT_TRUE(f.WBEngines.isEmpty());
    EXPECT_FALSE(f.EngineFromIni);
    EXPECT_EQ(f.EngineInfo.Parameter, "log=off hash=1000000");
    EXPECT_EQ(f.EngineInfo.Init, "xboard\r\npost\r\nforce\r\n");
    EXPECT_EQ(f.EngineInfo.SetPosition, "setboard");
    EXPECT_EQ(f.EngineInfo.StartAnalyze, "post\r\nanalyze\r\n");
    EXPECT_EQ(f.EngineInfo.StopAnalyze, "exit\r\n");
    EXPECT_EQ(f.EngineInfo.Quit, "quit\r\n");
    EXPECT_EQ(f.EngineInfo.GetState, ".\r\n");
}

TEST_F(FrameTest, NumbersOutsideTheirRangeTakeTheDefault) {
    WriteIni("[Options]\nGameTime=0\nMoveTime=-3\nFontSize=0\nCFontSize=-7\nBrettTop=abc\n"
             "PGNLeft=99999999999\nFontColor=0x0000FF\nEnglish=7\n");
    TMainForm& f = Start();
    EXPECT_EQ(f.GameTime, 1); // below one minute is one minute
    EXPECT_EQ(f.MoveTime, 5);
    EXPECT_EQ(f.FontDialog1.Font.pointSize(), 10);
    EXPECT_EQ(f.FontDialogComm.Font.pointSize(), 10);
    EXPECT_EQ(f.BrettTop, 0);                          // not a number: the default
    EXPECT_EQ(f.PGNLeft, 0);                           // beyond 32 bits: the default
    EXPECT_EQ(f.FontDialog1.Color, QColor(255, 0, 0)); // 0x00BBGGRR
    EXPECT_EQ(LanguageColumn, SystemLanguageColumn());
    Frame.reset();

    WriteIni("[Options]\nGameTime=-4\nMoveTime=0\n");
    TMainForm& g = Start();
    EXPECT_EQ(g.GameTime, 1);
    EXPECT_EQ(g.MoveTime, 0);
    Frame.reset();

    // Values at the edges of 32 bits, and a font no screen can show: the
    // defaults, and the window sizes written back at close are sane ones.
    std::string ini = "[Options]\nGameTime=2147483647\nMoveTime=2147483647\nFontSize=100000\n"
                      "CFontSize=2147483647\nFontColor=-1\nBlackSquare=2147483647\n";
    for (const char* key : {"BrettTop", "BrettLeft", "PGNTop", "PGNLeft", "MainTop", "MainLeft"})
        ini += std::string(key) + "=" + (key[0] == 'P' ? "-2147483648" : "2147483647") + "\n";
    for (const char* key : {"BrettWidth", "BrettHeight", "BrettSize", "PGNWidth", "PGNHeight",
                            "DatabaseWidth", "DatabaseHeight", "MainWidth", "MainHeight"})
        ini += std::string(key) + "=2147483647\n";
    WriteIni(ini);
    TMainForm& h = Start();
    EXPECT_EQ(h.GameTime, 5);
    EXPECT_EQ(h.MoveTime, 5);
    EXPECT_EQ(h.FontDialog1.Font.pointSize(), 10);
    EXPECT_EQ(h.FontDialogComm.Font.pointSize(), 10);
    EXPECT_EQ(h.FontDialog1.Color, QColor(0, 0, 0));
    EXPECT_EQ(h.BlackSquare, 0);
    for (int32_t v : {h.BrettTop, h.BrettLeft, h.PGNTop, h.PGNLeft, h.MainTop, h.MainLeft,
                      h.BrettWidth, h.BrettHeight, h.BrettSize, h.PGNWidth, h.PGNHeight,
                      h.DatabaseWidth, h.DatabaseHeight, h.MainWidth, h.MainHeight})
        EXPECT_EQ(v, 0);
    ASSERT_TRUE(Close());
    const kb::IniFile written((Dir() / "Kestrelbay.ini").string());
    for (const char* key : {"MainWidth", "MainHeight", "MainTop", "MainLeft"}) {
        const long v = written.ReadInteger("Options", key, -99999);
        EXPECT_GE(v, -16384) << key;
        EXPECT_LE(v, 16384) << key;
    }
    EXPECT_EQ(written.ReadInteger("Options", "GameTime", 0), 5);
}

// The first start speaks English on an English system and German on any
// other, as the string table's columns are laid out.
TEST(FrameLanguage, FirstStartTakesEnglishOnlyOnAnEnglishSystem) {
    EXPECT_EQ(LanguageColumnFor(QLocale::English), 1);
    EXPECT_EQ(LanguageColumnFor(QLocale::C), 1);
    EXPECT_EQ(LanguageColumnFor(QLocale::German), 0);
    EXPECT_EQ(LanguageColumnFor(QLocale::French), 0);
    EXPECT_EQ(LanguageColumnFor(QLocale::Japanese), 0);
}

TEST_F(FrameTest, EngineSectionOverridesTheDefaults) {
    WriteIni("[Engine]\nInit=  xboard   post force \nSetPosition=setboard\nParameter=a  b\n"
             "Quit=\n");
    TMainForm& f = Start();
    EXPECT_EQ(f.EngineInfo.Init, "xboard\r\npost\r\nforce\r\n");
    EXPECT_EQ(f.EngineInfo.SetPosition, "setboard");
    EXPECT_EQ(f.EngineInfo.Parameter, "a  b"); // taken unchanged
    EXPECT_EQ(f.EngineInfo.Quit, "quit\r\n");  // empty: the default stays
    EXPECT_TRUE(f.EngineFromIni);
    Frame.reset();

    WriteIni("[Engine]\nNoParseOutput=1\n");
    TMainForm& g = Start();
    EXPECT_TRUE(g.EngineInfo.NoParseOutput);
    EXPECT_FALSE(g.EngineFromIni);
    TWBInfo defaults;
    SetEngineDefaults(defaults);
    EXPECT_EQ(g.EngineInfo.Init, defaults.Init);
    EXPECT_EQ(g.EngineInfo.StartAnalyze, defaults.StartAnalyze);
}

TEST(FrameSpacesToLines, TrimsAndBreaksAtEveryRunOfSpaces) {
    EXPECT_EQ(SpacesToLines("xboard   post"), "xboard\r\npost");
    EXPECT_EQ(SpacesToLines("\t  go \r\n"), "go");
    EXPECT_EQ(SpacesToLines("a b  c"), "a\r\nb\r\nc");
    EXPECT_EQ(SpacesToLines("   "), "");
    EXPECT_EQ(SpacesToLines(""), "");
}

TEST(FrameColors, WindowsNumbersAreBlueGreenRed) {
    EXPECT_EQ(ColorFromWin(128), QColor(128, 0, 0));
    EXPECT_EQ(ColorFromWin(0x00FF8000), QColor(0, 0x80, 0xFF));
    EXPECT_EQ(ColorToWin(QColor(0x12, 0x34, 0x56)), 0x00563412);
    for (int32_t c : {0, 128, 0x00FFFFFF, 0x00123456})
        EXPECT_EQ(ColorToWin(ColorFromWin(c)), c);
}

TEST_F(FrameTest, CloseWritesEveryKeyInOrderAndKeepsWhatItDoesNotKnow) {
    WriteIni("; my comment\n[Mine]\nKeep=1\n[Options]\nDisableLog=0\nremis=draw\nOdd=x\n"
             "[Engine]\nInit=xboard\n");
    TMainForm& f = Start();
    EXPECT_FALSE(f.DisableLog);
    f.WBEngines = {"/e/one", "/e/two", "/e/three"};
    f.GameTime = 7;
    f.BlackSquare = 0x00112233;
    f.figK = "K";
    f.InformantSigns = std::string(19, '#');
    f.mClickClick->setChecked(true);
    f.mChessMerida->setChecked(true);
    f.SaveDataBase = "x.pgn   \"/x.pgn\"";
    ASSERT_TRUE(Close());

    const auto ini = Dir() / "Kestrelbay.ini";
    const std::string text = IniText();
    EXPECT_NE(text.find("; my comment"), std::string::npos);
    kb::IniFile r(ini.string());
    EXPECT_EQ(r.ReadString("Mine", "Keep", ""), "1");
    EXPECT_EQ(r.ReadString("Options", "remis", ""), "draw");
    EXPECT_EQ(r.ReadString("Options", "Odd", ""), "x");
    EXPECT_EQ(r.ReadString("Options", "DisableLog", ""), "0"); // never written
    EXPECT_EQ(r.ReadString("Engine", "Init", ""), "xboard");   // read only
    EXPECT_EQ(r.ReadString("WBEngines", "WBEngine0", ""), "/e/one");
    EXPECT_EQ(r.ReadString("WBEngines", "WBEngine2", ""), "/e/three");
    for (int i = 3; i < 8; ++i) {
        EXPECT_TRUE(r.ValueExists("WBEngines", "WBEngine" + std::to_string(i)));
        EXPECT_EQ(r.ReadString("WBEngines", "WBEngine" + std::to_string(i), "?"), "");
    }
    EXPECT_EQ(r.ReadString("Options", "GameTime", ""), "7");
    EXPECT_EQ(r.ReadString("Options", "BlackSquare", ""), std::to_string(0x00112233));
    EXPECT_EQ(r.ReadString("Options", "ClickClick", ""), "1");
    EXPECT_EQ(r.ReadString("Options", "1Echecs", ""), "0");
    EXPECT_EQ(r.ReadString("Options", "figK", ""), "K");
    EXPECT_EQ(r.ReadString("History", "SaveDataBase", ""), "x.pgn   \"/x.pgn\"");

    // New keys follow the writing order after the ones the file had.
    const std::vector<std::string> expected = {
        "DisableLog",     "remis",          "Odd",           "DatabaseWinEnabled",
        "DatabaseFolder", "ClickClick",     "FontName",      "FontSize",
        "FontBold",       "FontColor",      "CFontName",     "CFontSize",
        "CFontBold",      "CFontColor",     "English",       "otherLang",
        "ShowLastMove",   "Animation",      "BrettHeight",   "BrettWidth",
        "BrettSize",      "BrettTop",       "BrettLeft",     "WhiteOnTop",
        "BrettMax",       "PGNHeight",      "PGNWidth",      "PGNTop",
        "PGNLeft",        "DatabaseHeight", "DatabaseWidth", "MainHeight",
        "MainWidth",      "MainTop",        "MainLeft",      "BlackSquare",
        "WhiteSquare",    "figK",           "figQ",          "figR",
        "figB",           "figN",           "figP",          "InformantSigns",
        "1Echecs",        "GameTime",       "MoveTime",      "ToolbarBelow"};
    EXPECT_EQ(Keys(ini, "Options"), expected);
    std::vector<std::string> history;
    for (int i = 0; i < 16; ++i)
        history.push_back("File" + std::to_string(i));
    history.push_back("SaveDataBase");
    EXPECT_EQ(Keys(ini, "History"), history);

    // What was written reads back the same.
    TMainForm& g = Start();
    EXPECT_EQ(g.WBEngines, QStringList({"/e/one", "/e/two", "/e/three"}));
    EXPECT_EQ(g.GameTime, 7);
    EXPECT_EQ(g.BlackSquare, 0x00112233);
    EXPECT_TRUE(g.mClickClick->isChecked());
    EXPECT_TRUE(g.mChessMerida->isChecked());
    EXPECT_FALSE(g.m1Echecs->isChecked());
    EXPECT_EQ(g.FontDialogComm.Color, QColor(128, 0, 0));
}

TEST_F(FrameTest, MaximizedFrameKeepsTheSavedGeometry) {
    WriteIni("[Options]\nMainHeight=333\nMainWidth=444\nMainTop=11\nMainLeft=22\n");
    TMainForm& f = Start();
    f.showMaximized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(f.isMaximized());
    ASSERT_TRUE(Close());
    kb::IniFile r((Dir() / "Kestrelbay.ini").string());
    EXPECT_EQ(r.ReadString("Options", "MainHeight", ""), "333");
    EXPECT_EQ(r.ReadString("Options", "MainWidth", ""), "444");
    EXPECT_EQ(r.ReadString("Options", "MainTop", ""), "11");
    EXPECT_EQ(r.ReadString("Options", "MainLeft", ""), "22");
}

TEST_F(FrameTest, SavedGeometryStaysOnTheDesktop) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    WriteIni("[Options]\nMainHeight=300\nMainWidth=400\nMainTop=5000\nMainLeft=-7000\n");
    TMainForm& f = Start();
    EXPECT_EQ(f.size(), QSize(400, 300));
    EXPECT_TRUE(avail.contains(QRect(f.pos(), f.size()))) << f.x() << "," << f.y();
    Frame.reset();

    // Larger than the screen: shrunk to it.
    WriteIni("[Options]\nMainHeight=90000\nMainWidth=90000\nMainTop=0\nMainLeft=0\n");
    TMainForm& g = Start();
    EXPECT_LE(g.width(), avail.width());
    EXPECT_LE(g.height(), avail.height());
    Frame.reset();

    // A saved place that fits is taken as it is.
    WriteIni("[Options]\nMainHeight=200\nMainWidth=300\nMainTop=40\nMainLeft=50\n");
    TMainForm& h = Start();
    EXPECT_EQ(h.pos(), QPoint(50, 40));
}

TEST_F(FrameTest, FullDiskAtCloseLosesNothingAndStillCloses) {
    const std::string before = "[Options]\nGameTime=9\n[Mine]\nKeep=1\n";
    WriteIni(before);
    TMainForm& f = Start();
    f.GameTime = 3;
    for (int i = 0; i < 16; ++i)
        f.AddToHistory(DirQ() + QString("/file%1.pgn").arg(i));
    // Writes beyond 64 bytes fail as on a full disk.
    const auto old = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool closed = Close();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old);
    EXPECT_TRUE(closed);
    EXPECT_EQ(IniText(), before);
    // No temporary file left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Dir()))
        ++files;
    EXPECT_EQ(files, 2); // the ini and English.lng
}

TEST_F(FrameTest, WithoutAnIniTheProgramStartsAndWritesOneAtClose) {
    kbtest::WriteFile(Dir() / "g.pgn", Games(2));
    TMainForm& f = Start({DirQ() + "/g.pgn"});
    EXPECT_EQ(f.History.size(), 16);
    ASSERT_TRUE(Close());
    kb::IniFile r((Dir() / "Kestrelbay.ini").string());
    EXPECT_EQ(r.ReadString("History", "File0", ""),
              "g.pgn   \"" + (Dir() / "g.pgn").string() + "\"");
    EXPECT_EQ(r.ReadString("Options", "GameTime", ""), "5");
}

TEST_F(FrameTest, EngineListDialogEditsTheListAndBoardsRebuildTheirMenus) {
    WriteIni("[WBEngines]\nWBEngine0=/usr/games/fairymax\n");
    TMainForm& f = Start();
    f.mGameOpenClick();
    QStringList seen;
    WindowFactories().EditEngineList = [&](QWidget*, QStringList& Engines) {
        seen = Engines;
        Engines.clear();
        for (int i = 0; i < 10; ++i)
            Engines << QString("/e/%1").arg(i);
    };
    const int menus = Boards[0]->EngineMenus;
    f.Engines1Click();
    EXPECT_EQ(seen, QStringList({"/usr/games/fairymax"}));
    EXPECT_EQ(f.WBEngines.size(), 8); // eight slots in the ini
    EXPECT_EQ(Boards[0]->EngineMenus, menus + 1);
}

TEST_F(FrameTest, NoIniSaveWritesNothing) {
    WriteIni("[Options]\nGameTime=9\n");
    TMainForm& f = Start();
    f.NoIniSave = true;
    f.GameTime = 2;
    ASSERT_TRUE(Close());
    EXPECT_EQ(IniText(), "[Options]\nGameTime=9\n");
}

TEST_F(FrameTest, LanguageFromTheIni) {
    kbtest::WriteFile(Dir() / "Pirate.lng", "Arr\n");
    WriteIni("[Options]\nEnglish=1\notherLang=english\n");
    TMainForm& f = Start();
    EXPECT_EQ(LanguageColumn, 1);
    EXPECT_EQ(f.mOptions->title(), "&Options");
    EXPECT_EQ(Text(25), "&Options");
    // English.lng was written at start and heads no language of its own.
    EXPECT_TRUE(std::filesystem::exists(Dir() / "English.lng"));
    QStringList items;
    for (QAction* a : f.mSprache->actions())
        if (!a->isSeparator()) items << a->text();
    EXPECT_EQ(items, QStringList({"Deutsch", "English", "Pirate", f.mOtherLang->text()}));
    EXPECT_EQ(f.mSprache->actions()[0]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_1));
    EXPECT_EQ(f.mSprache->actions()[2]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_3));
    EXPECT_TRUE(f.mSprache->actions()[1]->isChecked());

    // Switching to German restores the frame's own captions, and a close
    // stores the choice.
    f.mSprache->actions()[0]->trigger();
    EXPECT_EQ(LanguageColumn, 0);
    EXPECT_EQ(f.mOptions->title(), "&Optionen");
    ASSERT_TRUE(Close());
    kb::IniFile r((Dir() / "Kestrelbay.ini").string());
    EXPECT_EQ(r.ReadString("Options", "English", ""), "0");
    EXPECT_EQ(r.ReadString("Options", "otherLang", ""), "English");
    Frame.reset();

    // A stored language whose file is gone: German.
    WriteIni("[Options]\nEnglish=1\notherLang=Klingon\n");
    TMainForm& g = Start();
    EXPECT_EQ(LanguageColumn, 0);
    EXPECT_TRUE(g.mSprache->actions()[0]->isChecked());
}

// An ini brought from Windows holds its names in Windows-1252: they read as
// the same names, and the close writes them back as UTF-8.
TEST_F(FrameTest, WindowsIniNamesReadAsWritten) {
    WriteIni("[History]\nFile0=M\xFCller.pgn   \"/daten/M\xFCller.pgn\"\n"
             "[Options]\nDatabaseFolder=/daten/Partien \x80\nFontName=Courier New\n"
             "[WBEngines]\nWBEngine0=/opt/Schach/Fritz\xDF\n");
    TMainForm& f = Start();
    EXPECT_EQ(f.History.value(0), QString::fromUtf8("Müller.pgn   \"/daten/Müller.pgn\""));
    EXPECT_EQ(HistoryEntryPath(f.History.value(0)), QString::fromUtf8("/daten/Müller.pgn"));
    EXPECT_EQ(f.DatabaseFolder, QString::fromUtf8("/daten/Partien €"));
    EXPECT_EQ(f.WBEngines.value(0), QString::fromUtf8("/opt/Schach/Fritzß"));
    ASSERT_TRUE(Close());
    kb::IniFile r((Dir() / "Kestrelbay.ini").string());
    EXPECT_EQ(r.ReadString("History", "File0", ""), "Müller.pgn   \"/daten/Müller.pgn\"");
    EXPECT_EQ(r.ReadString("WBEngines", "WBEngine0", ""), "/opt/Schach/Fritzß");
}
