// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's view of its MDI children. Board, list and database windows live
// in libraries above the frame (boardwindow/, listwindows/); they implement
// these interfaces, and RegisterProgramWindows() (boardwindow/, the topmost
// library) installs their factories, so the frame never includes them.
//
// A method added here later gets a default body, so that implementers that do
// not need it keep building.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QWidget;
namespace kb {
class TPGN;
}

// A board window (TMDIBrett).
class TBoardWindowIntf {
public:
    virtual ~TBoardWindowIntf() = default;
    // The widget shown inside the MDI sub-window.
    virtual QWidget *Window() = 0;
    // The bound list (nullptr for a new game) and game number (-1 for a new game).
    virtual kb::TPGN *SourcePGN() const = 0;
    virtual int GameNumber() const = 0;
    // The frame's OpenBoardWindow after creating the window: engine menu, then
    // bind, load or set up, caption, pane sizes, training mode.
    virtual void BuildEnginesMenu() {}
    virtual void StartGame(kb::TPGN *PGN, const std::string &Text, int GameNo, bool FRC,
                           bool Training) = 0;
    // LockBoards: pause and resume the window's analysis threads.
    virtual void SuspendThreads() {}
    virtual void ResumeThreads() {}
    // The frame changed piece letters, notation font or sign font.
    virtual void ApplyNotationSettings() {}
    // The frame changed animation, click-click entry, square colours or the
    // comment font: the window reads them again from the frame.
    virtual void ApplyBoardSettings() {}
    // The bound list window closes: drop the binding.
    virtual void ReleaseList() {}
};

// A game list window (TMDIPGN).
class TListWindowIntf {
public:
    virtual ~TListWindowIntf() = default;
    virtual QWidget *Window() = 0;
    // Opens the file in the window's list (TPGN::SetFileName); the file name
    // the list now holds, empty when opening failed.
    virtual QString OpenFile(const QString &FileName) = 0;
    virtual kb::TPGN *PGN() = 0;
    // The frame's SetupListWindow: buttons by file kind.
    virtual void SetupForKind(bool IsDatabase) = 0;
};

// The database window (TMDIDatabase).
class TDatabaseWindowIntf {
public:
    virtual ~TDatabaseWindowIntf() = default;
    virtual QWidget *Window() = 0;
    // The frame's history changed: show a copy of it.
    virtual void SetHistory(const QStringList &History) = 0;
};

// Factories installed by RegisterProgramWindows(). Each returns a new window
// owned by the caller (the frame puts it into an MDI sub-window).
struct TWindowFactories {
    std::function<TBoardWindowIntf *()> NewBoardWindow;
    std::function<TListWindowIntf *()> NewListWindow;
    std::function<TDatabaseWindowIntf *()> NewDatabaseWindow;
    // The engine list dialog (Options - Engines): edits Engines in place
    // (at most eight executables), whatever button closes it.
    std::function<void(QWidget *Parent, QStringList &Engines)> EditEngineList;
};

TWindowFactories &WindowFactories();
