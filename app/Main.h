// SPDX-License-Identifier: GPL-3.0-or-later
// TMainForm: the program's MDI frame. It holds the settings the other
// windows read (read from Kestrelbay.ini at start, written at close), opens
// game files in list windows and games in board windows, keeps the file
// history, and owns the shared busy and progress state of the status bar.
// Board, list and database windows are reached only through MdiWindows.h.
#pragma once

#include "MdiWindows.h"
#include "WBInfo.h"

#include "NotationWidget.h"

#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QToolButton;
class TProtokoll;

namespace kb {
struct TEventData;
class IniFile;
class TBrett;
class TPGN;
} // namespace kb

// Colours in the ini are Windows numbers 0x00BBGGRR.
QColor ColorFromWin(int32_t Color);
int32_t ColorToWin(const QColor& Color);

// "name   "full path"": the text of a history entry.
QString HistoryEntry(const QString& FileName);
// The path inside a history entry: the text after the first double quote,
// less its last character; empty without a double quote.
QString HistoryEntryPath(const QString& Entry);

// The file name and 0-based row of the command line "FILE [ROW]". HasRow is
// false without a second argument; RowValid is false when it is not a whole
// number that fits an int (an optional sign, then digits).
struct TCommandLine {
    QString FileName;
    bool HasRow = false;
    bool RowValid = false;
    int Row = 0;
};
TCommandLine ParseCommandLine(const QStringList& Arguments);

// The folder of the running executable, with a trailing slash.
QString ExecutableDir();

// True when Name is a backup that an interrupted edit of the file named
// FileName (no folder) left behind beside it.
bool IsBackupOf(const QString& Name, const QString& FileName);

// What makes up one MDI child, in the frame's bookkeeping.
struct TMdiChild {
    enum Kind { Board, List, Database };
    Kind ChildKind = Board;
    QMdiSubWindow* Sub = nullptr;
    TMdiChildIntf* Intf = nullptr;
    QWidget* Widget = nullptr; // Intf->Window(), kept: it is asked no more once going
    TBoardWindowIntf* BoardWindow() const {
        return ChildKind == Board ? static_cast<TBoardWindowIntf*>(Intf) : nullptr;
    }
    TListWindowIntf* ListWindow() const {
        return ChildKind == List ? static_cast<TListWindowIntf*>(Intf) : nullptr;
    }
    TDatabaseWindowIntf* DatabaseWindow() const {
        return ChildKind == Database ? static_cast<TDatabaseWindowIntf*>(Intf) : nullptr;
    }
};

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // ProgramDir: the folder of the ini, log and language files (empty: the
    // executable's folder). Arguments: the command line without the program
    // name. The deferred start-up (WMStartup) is queued here and runs once
    // the event loop does.
    explicit TMainForm(const QString& ProgramDir = {}, const QStringList& Arguments = {},
                       QWidget* Parent = nullptr);
    ~TMainForm() override;

    // === settings (read from the ini at start, written at close) ============
    QStringList History;
    QString ProgramDir; // with a trailing slash
    QString OtherLang = "English";
    QString ThemeCode, LevelCode;
    bool DatabaseWinEnabled = false;
    bool NoIniSave = false;
    bool InWMClose = false;
    QString SaveDataBase;
    // Set by the stop button; cleared before a file is loaded and by the
    // windows that start long operations, which poll it.
    bool StopRequested = false;
    int32_t BrettHeight = 0, BrettWidth = 0, BrettTop = 0, BrettLeft = 0, BrettSize = 0;
    int32_t PGNHeight = 0, PGNWidth = 0, PGNTop = 0, PGNLeft = 0;
    int32_t DatabaseHeight = 0, DatabaseWidth = 0;
    int32_t MainTop = 0, MainLeft = 0, MainHeight = 0, MainWidth = 0;
    // New board windows maximized (BrettMax).
    bool BoardWindowMaximized = false;
    // Board square colours, Windows numbers; 0 keeps the board's own colour.
    int32_t BlackSquare = 0, WhiteSquare = 0;
    bool WhiteOnTop = false;
    // Notation piece letters; empty: the notation's own.
    std::string figK, figQ, figR, figB, figN, figP;
    // One byte per evaluation sign, "#" for the default sign.
    std::string InformantSigns;
    TWBInfo EngineInfo;
    QStringList WBEngines; // at most 8
    bool EngineFromIni = false;
    int32_t GameTime = 5; // minutes per game, at least 1
    int32_t MoveTime = 5; // seconds per move, at least 0
    std::vector<int> TacticPicks;
    QString DatabaseFolder;
    // The notation font (FontDialog1) and the comment font (FontDialogComm).
    kb::TNotationFont FontDialog1;
    kb::TNotationFont FontDialogComm;
    // DisableLog as read; never written back.
    bool DisableLog = true;

    // === components =========================================================
    QMdiArea* MdiArea() const { return mdiArea_; }
    kb::TBrett* hBrett = nullptr;  // hidden board: the piece strip for board windows
    kb::TPGN* tacticPGN = nullptr; // the tactics file's list
    QLabel* pHint = nullptr;
    QLabel* lBackuphint = nullptr; // "Save" beside the hint while a game is saved
    QProgressBar* prBar = nullptr;
    QToolButton* bStop = nullptr;

    // Menus and commands.
    QMenu* mGames = nullptr;
    QMenu* mOptions = nullptr;
    QMenu* mKombis = nullptr;
    QMenu* mFontPrint = nullptr;
    QMenu* mSprache = nullptr;
    QMenu* Window1 = nullptr;
    QAction* mGameOpen = nullptr;
    QAction* mNewFRC = nullptr;
    QAction* mHistory = nullptr;
    QAction* mFont = nullptr;
    QAction* mFontComm = nullptr;
    QAction* m1Echecs = nullptr;
    QAction* mChessMerida = nullptr;
    QAction* mWhiteSquare = nullptr;
    QAction* mBlackSquare = nullptr;
    QAction* Engines1 = nullptr;
    QAction* mAnimation = nullptr;
    QAction* mClickClick = nullptr;
    QAction* mShowLastMove = nullptr;
    QAction* mToolbarBelow = nullptr;
    QAction* mExit = nullptr;
    QAction* N2 = nullptr; // separator before mOtherLang
    QAction* mOtherLang = nullptr;
    QAction* mAssignPGN = nullptr;
    QAction* mUninstall = nullptr;
    QAction* mClose = nullptr;
    QAction* WindowCascadeItem = nullptr;
    QAction* WindowTileItem = nullptr;
    QAction* WindowArrangeItem = nullptr;
    QAction* WindowMinimizeItem = nullptr;
    QAction* mNextWin = nullptr;
    QAction* HelpAboutItem = nullptr;

    // === windows, history, busy state =======================================
    void OpenListWindow(const QString& FileName);
    // PGN nullptr and empty Text: a new game (FRC: from a random Chess960
    // position). A board window bound to the same list and game is brought
    // to the front instead.
    void OpenBoardWindow(kb::TPGN* PGN, const std::string& Text, int GameNo, bool FRC);
    void SetupListWindow(TListWindowIntf* Window);
    void CheckBackupFile(const QString& FileName);
    void AddToHistory(const QString& FileName);
    void RemoveFromHistory(const QString& FileName);
    // Counted: the boards' threads pause at the first lock and resume after
    // the last unlock.
    void LockBoards(bool Lock);
    int BoardLockCount() const { return lockCount_; }
    // The board window longest inactive, or nullptr.
    TBoardWindowIntf* FindBoardWindow() const;
    // Lets waiting events run; of the user's input only the stop button's
    // clicks come through. Busy() is true meanwhile.
    void SafeProcessMessages();
    bool Busy() const { return busyCount_ > 0; }
    // The progress callback of list and database operations (TPGNTraceEvent).
    void PGNTrace(void* Sender, int Percent, int& CancelMode);
    // True while the frame closes and asks its children (InWMClose is the same): list windows then
    // skip the question whether games are still open from them.
    bool IsClosing() const { return closing_; }
    // One line into the program log.
    void Log(const QString& Text);
    TProtokoll* LogFile() const { return logFile_.get(); }
    // Frees the log; nothing is logged afterwards (uninstall deletes it).
    void CloseLog();
    // Asks for FileName to be deleted and dropped from the history once the
    // calling window has gone (a list window that closed its database).
    void PostDeleteFile(const QString& FileName);

    // MDI children, index 0 the front-most (the window stacking order).
    std::vector<TMdiChild> MdiChildren() const;
    std::vector<QMdiSubWindow*> ArrangedWindows() const;
    std::vector<TBoardWindowIntf*> BoardWindows() const; // front to back
    std::vector<TListWindowIntf*> ListWindows() const;   // front to back
    TDatabaseWindowIntf* DatabaseWindow() const;
    // The sub-window that shows Window, or nullptr.
    QMdiSubWindow* SubWindowOf(QWidget* Window) const;
    void BringToFront(QWidget* Window);
    // Puts a new child into a sub-window and shows it.
    QMdiSubWindow* AddChild(TMdiChildIntf* Child, TMdiChild::Kind Kind);

    // === commands ===========================================================
    void mGameOpenClick();
    void mNewFRCClick();
    void mHistoryClick();
    void mFontClick();
    void mFontCommClick();
    void mWhiteSquareClick();
    void mBlackSquareClick();
    void Engines1Click();
    void mAnimationClick();
    void mClickClickClick();
    void mExitClick();
    void mOtherLangClick();
    void mCloseClick();
    // Cascade and tile keep every window inside the work area and no
    // smaller than it may be (a board window: its whole smallest board).
    void WindowCascadeItemClick();
    void WindowTileItemClick();
    void WindowMinimizeItemClick();
    void mNextWinClick();
    void HelpAboutItemClick();
    void bStopClick();
    void UpdateMenuItems();
    // Install.cpp, Tactics.cpp.
    void mAssignPGNClick();
    void mUninstallClick();
    void BeliebigeSchwierigkeit1Click(QObject* Sender);
    void tacticPGNFilterRequest(kb::TPGN* Sender, const kb::TEventData& GameHeader,
                                bool& ShowThisGame);

    // === settings file ======================================================
    QString IniFileName() const { return ProgramDir + "Kestrelbay.ini"; }
    void ReadIni();
    // False when the file could not be written (the old one is then kept).
    bool WriteIni();
    // The saved frame geometry, kept inside the available desktop.
    void ApplyMainGeometry();
    // Deferred start-up: database window, then the command line.
    void WMStartup();
    // True once WMStartup has run.
    bool StartupDone() const { return startupDone_; }
    void WMDeleteFile(const QString& FileName);
    // Chooses the language column (0 German, 1 the other language) and
    // applies it to the frame and its children.
    void SelectLanguage(int Column);
    void LanguageClick(QAction* Item);

protected:
    bool event(QEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void CreateMenus();
    void CreateStatusBar();
    void BuildTacticsMenu();
    void BuildLanguageMenu();
    void ChildGone(QObject* Window);
    void ReadOptions(const kb::IniFile& Ini);
    void ReadEngine(const kb::IniFile& Ini);
    void WriteOptions(kb::IniFile& Ini);
    bool RunFontDialog(kb::TNotationFont& Font);
    bool RunColorDialog(QColor& Color);
    void ApplyToBoards(void (TBoardWindowIntf::*Method)());
    void ShowBackupMessage(const QString& Path);

    QMdiArea* mdiArea_ = nullptr;
    QStringList arguments_;
    std::unique_ptr<kb::TPGN> tacticPGN_;
    std::unique_ptr<TProtokoll> logFile_;
    std::vector<TMdiChild> children_; // in creation order
    std::vector<QPointer<QWidget>> suspended_;
    std::unique_ptr<QObject> stopFilter_; // lets only the stop button take input
    QActionGroup* languageGroup_ = nullptr;
    QAction* currentLanguageItem_ = nullptr;
    int busyCount_ = 0;
    int lockCount_ = 0;
    bool closing_ = false;
    bool startupDone_ = false;
};

// The MDI child window (or else the top-level window) that holds Control.
QWidget* FindParentForm(QWidget* Control);

// The one frame of the program, nullptr before it is built and after it is gone.
TMainForm* MainForm();
