// SPDX-License-Identifier: GPL-3.0-or-later
// The board window's access to the frame; without one (tests, the picture
// bench) the settings are the frame's defaults and nothing is stored.
#include "BrettWinFrame.h"

#include "DialogsLng.h"
#include "Local.h"
#include "Main.h"
#include "MdiWindows.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>

namespace bw {

namespace {

// Where no frame exists, the last save target lives here.
QString& LocalSaveTarget() {
    static QString s;
    return s;
}

QColor SquareColor(int32_t Win) {
    return Win != 0 ? ColorFromWin(Win) : QColor();
}

} // namespace

TFrameSettings FrameSettings() {
    TFrameSettings s;
    s.NotationFont = QFont(QStringLiteral("Courier New"), 10, QFont::Bold);
    s.CommentFont = QFont(QStringLiteral("Arial"), 10);
    const TMainForm* f = MainForm();
    if (!f) return s;
    s.BrettHeight = f->BrettHeight;
    s.BrettWidth = f->BrettWidth;
    s.BrettTop = f->BrettTop;
    s.BrettLeft = f->BrettLeft;
    s.BrettSize = f->BrettSize;
    s.BoardMaximized = f->BoardWindowMaximized;
    s.BlackSquare = SquareColor(f->BlackSquare);
    s.WhiteSquare = SquareColor(f->WhiteSquare);
    s.WhiteOnTop = f->WhiteOnTop;
    if (f->mClickClick) s.ClickClick = f->mClickClick->isChecked();
    if (f->mAnimation) s.Animation = f->mAnimation->isChecked();
    if (f->mShowLastMove) s.ShowLastMove = f->mShowLastMove->isChecked();
    if (f->mToolbarBelow) s.ToolbarBelow = f->mToolbarBelow->isChecked();
    s.NotationFont = f->FontDialog1.Font;
    s.NotationColor = f->FontDialog1.Color;
    s.CommentFont = f->FontDialogComm.Font;
    s.CommentColor = f->FontDialogComm.Color;
    s.FigK = f->figK;
    s.FigQ = f->figQ;
    s.FigR = f->figR;
    s.FigB = f->figB;
    s.FigN = f->figN;
    s.FigP = f->figP;
    s.InformantSigns = f->InformantSigns;
    s.GameTime = std::max(1, static_cast<int>(f->GameTime));
    s.MoveTime = std::max(0, static_cast<int>(f->MoveTime));
    s.WBEngines = f->WBEngines;
    return s;
}

bool ShowLastMove() {
    const TMainForm* f = MainForm();
    return f && f->mShowLastMove && f->mShowLastMove->isChecked();
}

void StoreGeometry(const TBoardGeometry& G) {
    TMainForm* f = MainForm();
    if (!f) return;
    if (G.Normal) {
        f->BrettHeight = G.Height;
        f->BrettWidth = G.Width;
        f->BrettTop = G.Top;
        f->BrettLeft = G.Left;
    }
    f->BrettSize = G.BrettSize;
    if (G.StoreState) f->BoardWindowMaximized = G.Maximized;
    f->WhiteOnTop = G.WhiteOnTop;
    f->BlackSquare = ColorToWin(G.BlackSquare);
    f->WhiteSquare = ColorToWin(G.WhiteSquare);
}

void StoreClockDefaults(int GameTime, int MoveTime) {
    if (TMainForm* f = MainForm()) {
        f->GameTime = GameTime;
        f->MoveTime = MoveTime;
    }
}

kb::TBrett* FrameBoard() {
    const TMainForm* f = MainForm();
    return f ? f->hBrett : nullptr;
}

QString Text(int N) {
    return ScreenLines(::Text(N));
}

bool English() {
    return ::LanguageColumn != 0;
}

void SetLanguageColumn(int Column) {
    ::LanguageColumn = Column;
    ::ApplyLanguage();
}

int Message(const QString& Text, TMsgType Type, int Buttons) {
    TMsgDlgButtons set{::mbOK};
    if ((Buttons & mbYes) && (Buttons & mbNo) && (Buttons & mbCancel))
        set = {::mbYes, ::mbNo, ::mbCancel};
    else if ((Buttons & mbYes) && (Buttons & mbNo))
        set = {::mbYes, ::mbNo};
    else if ((Buttons & mbOK) && (Buttons & mbCancel))
        set = {::mbOK, ::mbCancel};
    const TMsgDlgType t = Type == TMsgType::Error          ? mtError
                          : Type == TMsgType::Warning      ? mtWarning
                          : Type == TMsgType::Confirmation ? mtConfirmation
                                                           : mtInformation;
    return MessageDlgEx(ScreenLines(Text), t, set, 0);
}

void ShowMessage(const QString& Text) {
    Message(Text, TMsgType::Information, mbOK);
}

bool Busy() {
    const TMainForm* f = MainForm();
    return f && f->Busy();
}

void SetStopRequested(bool Value) {
    if (TMainForm* f = MainForm()) f->StopRequested = Value;
}

void ShowBackupHint(bool Visible) {
    if (TMainForm* f = MainForm(); f && f->lBackuphint) f->lBackuphint->setVisible(Visible);
}

void Log(const QString& Line) {
    if (TMainForm* f = MainForm()) f->Log(Line);
}

void LockBoards(bool Lock) {
    if (TMainForm* f = MainForm()) f->LockBoards(Lock);
}

void OpenHistoryWindow() {
    if (TMainForm* f = MainForm()) f->mHistoryClick();
}

QString SaveDataBase() {
    const TMainForm* f = MainForm();
    return f ? f->SaveDataBase : LocalSaveTarget();
}

void SetSaveDataBase(const QString& Entry) {
    if (TMainForm* f = MainForm())
        f->SaveDataBase = Entry;
    else
        LocalSaveTarget() = Entry;
}

QString HistoryEntry(const QString& FileName) {
    return ::HistoryEntry(FileName);
}

QString HistoryEntryPath(const QString& Entry) {
    return ::HistoryEntryPath(Entry);
}

std::vector<TListWindowIntf*> OpenListWindows() {
    std::vector<TListWindowIntf*> out;
    if (const TMainForm* f = MainForm()) {
        // The frame lists front to back; the last MDI index comes first here.
        const std::vector<TListWindowIntf*> lists = f->ListWindows();
        out.assign(lists.rbegin(), lists.rend());
        return out;
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* l = dynamic_cast<TListWindowIntf*>(w); l && w->isVisible()) out.push_back(l);
    return out;
}

QString ListWindowCaption(TListWindowIntf* W) {
    return W && W->Window() ? W->Window()->windowTitle() : QString();
}

kb::TPGN* TacticPGN() {
    const TMainForm* f = MainForm();
    return f ? f->tacticPGN : nullptr;
}

std::vector<int> TacticPicks() {
    const TMainForm* f = MainForm();
    return f ? f->TacticPicks : std::vector<int>{};
}

void EnableKombis() {
    if (TMainForm* f = MainForm(); f && f->mKombis) f->mKombis->setEnabled(true);
}

} // namespace bw
