// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's view of its MDI children. Board, list and database windows live
// in libraries above the frame (boardwindow/, listwindows/); they implement
// these interfaces, and RegisterProgramWindows() (boardwindow/, the topmost
// library) installs their factories, so the frame never includes them.
//
// A method added here later gets a default body, so that implementers that do
// not need it keep building.
//
// Lifetime: the frame puts Window() into a QMdiSubWindow that deletes itself
// when closed. The interface object must live exactly as long as that widget
// (normally the window class derives from both QWidget and the interface and
// Window() returns this). A window refuses a close by ignoring its
// QCloseEvent. The frame's own close asks every child first (CloseQuery) and
// closes them only when all agreed, so that one refusal leaves every window open.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QWidget;
namespace kb {
class TPGN;
}

// What every MDI child tells the frame.
class TMdiChildIntf {
public:
    virtual ~TMdiChildIntf() = default;
    // The widget shown inside the MDI sub-window.
    virtual QWidget* Window() = 0;
    // Where the new sub-window goes, in MDI-area coordinates; an empty
    // rectangle leaves the placement to the frame.
    virtual QRect InitialGeometry() const { return {}; }
    // True: the new sub-window is shown maximized.
    virtual bool InitiallyMaximized() const { return false; }
    // The frame is about to close: may this window close? It asks its own
    // questions (save the game?) but closes nothing and stops nothing, since
    // another window may still refuse. The default sends Window() a close
    // event, which asks without closing; a window whose closeEvent does more
    // than answer overrides this.
    virtual bool CloseQuery();
    // Every child agreed and the frame closes this one now: its close must not
    // ask again (a "No, don't save" answer still leaves the game modified).
    virtual void CloseAgreed() {}
    // The frame switched the language. Registered captions (Local.h) have
    // already changed; here the window hands the language to the
    // components that choose their own texts (their English property).
    virtual void ApplyLanguage() {}
};

// A board window (TMDIBrett).
class TBoardWindowIntf : public TMdiChildIntf {
public:
    // The bound list (nullptr for a new game) and game number (-1 for a new game).
    virtual kb::TPGN* SourcePGN() const = 0;
    virtual int GameNumber() const = 0;
    // The frame's OpenBoardWindow after creating the window: engine menu, then
    // bind, load or set up, caption, pane sizes, training mode.
    virtual void BuildEnginesMenu() {}
    virtual void StartGame(kb::TPGN* PGN, const std::string& Text, int GameNo, bool FRC,
                           bool Training) = 0;
    // LockBoards: the frame calls SuspendThreads once when the first lock
    // begins and ResumeThreads once when the last lock ends. SuspendThreads
    // pauses the analysis threads that run now and remembers them;
    // ResumeThreads resumes only those, never a thread the user paused.
    virtual void SuspendThreads() {}
    virtual void ResumeThreads() {}
    // The frame changed piece letters, notation font or sign characters
    // (MainForm()->figK .. figP, FontDialog1, InformantSigns).
    virtual void ApplyNotationSettings() {}
    // The frame changed animation, click-click entry, square colours or the
    // comment font: the window reads them again from the frame.
    virtual void ApplyBoardSettings() {}
    // The bound list window closes: drop the binding.
    virtual void ReleaseList() {}
};

// A game list window (TMDIPGN).
class TListWindowIntf : public TMdiChildIntf {
public:
    // Opens the file in the window's list (TPGN::SetFileName); the file name
    // the list now holds, empty when opening failed.
    virtual QString OpenFile(const QString& FileName) = 0;
    virtual kb::TPGN* PGN() = 0;
    // The frame's SetupListWindow: buttons by file kind.
    virtual void SetupForKind(bool IsDatabase) = 0;
    // Another program changed the file: the list reads it again, and the
    // board windows holding its games let go of it, keeping their edits.
    virtual void ReadFileAgain() {}
};

// The database window (TMDIDatabase).
class TDatabaseWindowIntf : public TMdiChildIntf {
public:
    // The frame's history changed: show a copy of it.
    virtual void SetHistory(const QStringList& History) = 0;
};

// Factories installed by RegisterProgramWindows(). Each returns a new window
// owned by the caller (the frame puts it into an MDI sub-window).
struct TWindowFactories {
    std::function<TBoardWindowIntf*()> NewBoardWindow;
    std::function<TListWindowIntf*()> NewListWindow;
    std::function<TDatabaseWindowIntf*()> NewDatabaseWindow;
    // The engine list dialog (Options - Engines): edits Engines in place
    // (at most eight executables), whatever button closes it.
    std::function<void(QWidget* Parent, QStringList& Engines)> EditEngineList;
};

TWindowFactories& WindowFactories();

// Installs the factories of the board, list and database windows and the
// engines dialog (boardwindow/RegisterWindows.cpp). The program calls it
// before it builds the frame.
void RegisterProgramWindows();
