// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the board window and its dialogs take from the frame: settings,
// messages, the busy state, the log and the open lists. One place, so that a
// window also works (with the frame's defaults) where no frame exists, as in
// the window tests and the picture bench.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QWidget;
class TListWindowIntf;

namespace kb {
class TPGN;
class TBrett;
} // namespace kb

namespace bw {

// Settings a new board window starts from.
struct TFrameSettings {
    int BrettHeight = 0, BrettWidth = 0, BrettTop = 0, BrettLeft = 0, BrettSize = 0;
    bool BoardMaximized = false;
    QColor BlackSquare, WhiteSquare; // invalid: the board's own default
    bool WhiteOnTop = false;
    bool ClickClick = false;
    bool Animation = true;
    bool ShowLastMove = false;
    bool ToolbarBelow = false;
    QFont NotationFont;
    QColor NotationColor = Qt::black;
    QFont CommentFont;
    QColor CommentColor = QColor(0x80, 0, 0);
    std::string FigK, FigQ, FigR, FigB, FigN, FigP;
    std::string InformantSigns;
    int GameTime = 5; // minutes
    int MoveTime = 5; // seconds per move
    QStringList WBEngines;
};
TFrameSettings FrameSettings();
// The frame's "show last move" check, read at each move.
bool ShowLastMove();

// What a closing window gives back.
struct TBoardGeometry {
    bool Normal = true; // window state normal: size and place are stored
    int Height = 0, Width = 0, Top = 0, Left = 0;
    int BrettSize = 0;      // width of the board pane
    bool StoreState = true; // false when minimised
    bool Maximized = false;
    bool WhiteOnTop = false;
    QColor BlackSquare, WhiteSquare;
};
void StoreGeometry(const TBoardGeometry& G);
void StoreClockDefaults(int GameTime, int MoveTime);

// The hidden board of the frame whose piece strip new boards take; nil
// without a frame.
kb::TBrett* FrameBoard();

// String table: entry N with its line breaks for the screen.
QString Text(int N);
bool English();
// Chooses the language column (0 German, 1 the other language) and applies it.
void SetLanguageColumn(int Column);

// Messages through the frame's localised message dialog.
enum class TMsgType { Warning, Error, Information, Confirmation };
enum TMsgButton { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
enum TMsgResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };
int Message(const QString& Text, TMsgType Type, int Buttons);
// Tests answer the messages here; the default shows them.
using TMessageAnswerer = std::function<int(const QString& Text, TMsgType Type, int Buttons)>;
void SetMessageAnswerer(TMessageAnswerer Answerer);
// A plain message box (repetition and 50-move notes).
void ShowMessage(const QString& Text);

// Busy state, stop request, backup hint, log.
bool Busy();
void SetStopRequested(bool Value);
void ShowBackupHint(bool Visible);
void Log(const QString& Line);
void LockBoards(bool Lock);

// The history window (database window), as the frame's menu opens it.
void OpenHistoryWindow();

// Save targets.
QString SaveDataBase();
void SetSaveDataBase(const QString& Entry);
QString HistoryEntry(const QString& FileName);
QString HistoryEntryPath(const QString& Entry);

// Open game-list windows, from the last MDI index to the first.
std::vector<TListWindowIntf*> OpenListWindows();
// Title of a list window: its file's full path.
QString ListWindowCaption(TListWindowIntf* W);

// Tactics trainer.
kb::TPGN* TacticPGN();
std::vector<int> TacticPicks();
void EnableKombis();

} // namespace bw
