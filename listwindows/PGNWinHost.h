// SPDX-License-Identifier: GPL-3.0-or-later
// What the game list and database windows need from the program around them:
// the string table, the message dialog, progress and stop, the board windows,
// the file history and the settings. Each entry has a working default; tests
// and the frame replace the entries they answer themselves.
#pragma once

#include "PGN.h"

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QWidget;
class QFont;

namespace kb {

// Message dialog kinds and buttons.
enum class TLwMsgType { Warning, Error, Information, Confirmation };
enum TLwButton : int { lbNone = 0, lbYes = 1, lbNo = 2, lbOK = 4, lbCancel = 8 };

struct TListHost {
    // Text(n) of the string table in the current language.
    std::function<QString(int N)> Text;
    // 0 German, 1 the other language.
    std::function<int()> LanguageColumn;
    // A modal message; the answer is one of the buttons (lbNone when closed).
    std::function<int(QWidget* Parent, TLwMsgType Type, const QString& Text, int Buttons)> Message;
    // An input query: false when cancelled.
    std::function<bool(QWidget* Parent, const QString& Title, const QString& Prompt,
                       QString& Value)>
        InputQuery;

    // Progress of long work; pumps messages and answers cmCancel after a stop.
    std::function<void(TPGN* Sender, int Percent, TCancelMode& CancelMode)> PGNTrace;
    std::function<bool()> Busy;
    std::function<bool()> StopRequested;
    std::function<void(bool)> SetStopRequested;
    std::function<void(bool Lock)> LockBoards;
    std::function<void(const QString& Line)> Log;
    std::function<void(bool Show)> BackupHint;
    // The frame is closing itself (children then close without questions).
    std::function<bool()> MainClosing;

    // Board windows bound to a list.
    std::function<int(TPGN* List)> BoundBoards;
    std::function<void(TPGN* List)> ReleaseBoards;
    std::function<void(TPGN* List, const std::string& Text, int GameNo)> OpenBoardWindow;

    // Files, windows and history.
    std::function<void(const QString& FileName)> OpenListWindow;
    std::function<bool(const QString& FileName)> WindowOpenFor;
    std::function<void(const QString& FileName)> AddToHistory;
    std::function<void(const QString& FileName)> RemoveFromHistory;
    std::function<QStringList()> History;
    // Deletes a PGN file once its window is gone (the queued delete).
    std::function<void(const QString& FileName)> DeleteFileLater;

    // Settings.
    std::function<QRect()> ListGeometry;
    std::function<void(const QRect&)> SetListGeometry;
    std::function<QRect()> DatabaseGeometry;
    std::function<void(const QRect&)> SetDatabaseGeometry;
    std::function<QString()> DatabaseFolder;
    std::function<void(const QString&)> SetDatabaseFolder;
    std::function<bool()> ToolbarBelow;
    std::function<QFont()> NotationFont;
    // Size of the frame's client area (windows are kept inside it).
    std::function<QSize()> MainClientSize;
    // Folder of Kestrelbay.ini.
    std::function<QString()> ProgramDir;
};

// The host in use; entries start with the defaults.
TListHost& ListHost();
// Puts every entry back to its default.
void ResetListHost();

// Shorthands.
QString LwText(int N);
int LwLanguageColumn();
// The language of the built-in texts (0 German, 1 English).
void LwSetLanguageColumn(int Column);
int LwMessage(QWidget* Parent, TLwMsgType Type, const QString& Text, int Buttons);

// History display text: name, three blanks, the quoted full path.
QString LwHistoryEntry(const QString& FileName);
// The path of a history entry (the file name may hold a double quote);
// empty when it has no double quote.
QString LwHistoryEntryPath(const QString& Entry);

} // namespace kb
