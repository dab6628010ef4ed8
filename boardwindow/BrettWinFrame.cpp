// SPDX-License-Identifier: GPL-3.0-or-later
// The board window's access to the frame, with defaults where none exists.
#include "BrettWinFrame.h"

#include "MdiWindows.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <map>

namespace bw {

namespace {

TMessageAnswerer& Answerer() {
    static TMessageAnswerer a;
    return a;
}

QString SaveTarget;

} // namespace

TFrameSettings FrameSettings() {
    TFrameSettings s;
    s.NotationFont = QFont(QStringLiteral("Courier New"), 10, QFont::Bold);
    s.CommentFont = QFont(QStringLiteral("Arial"), 10);
    return s;
}

bool ShowLastMove() {
    return false;
}

void StoreGeometry(const TBoardGeometry&) {}
void StoreClockDefaults(int, int) {}
QSize FrameClientSize() {
    return {};
}
kb::TBrett* FrameBoard() {
    return nullptr;
}

QString Text(int N) {
    static const std::map<int, QString> en = {
        {0, QStringLiteral("Is this the first position of a Fischer-Random-Chess game?\nIf you "
                           "choose \"No\", there will be reseted castling possibilities.")},
        {1, QStringLiteral("Save")},
        {2, QStringLiteral("Please open a database at first.")},
        {3, QStringLiteral("Same position occurred three times.")},
        {4, QStringLiteral("50-moves-rule.")},
        {5, QStringLiteral("Resume")},
        {6, QStringLiteral("RIGHT MOUSE BUTTON TO RESUME")},
        {7, QStringLiteral("Please choose a database this game shall be saved into.")},
        {19, QStringLiteral("An error occurred when saving.")},
        {21, QStringLiteral("Game was changed.\nSave?")},
        {202, QStringLiteral("White's thinking time expired.")},
        {203, QStringLiteral("Black's thinking time expired.")},
        {204, QStringLiteral("White to move")},
        {205, QStringLiteral("Black to move")},
        {206, QStringLiteral("and draw")},
        {207, QStringLiteral("and win")},
        {208, QStringLiteral("and attains an advantage")},
        {209, QStringLiteral("and gains initiative")},
        {210, QStringLiteral("and forces a good endgame")},
    };
    const auto it = en.find(N);
    return it == en.end() ? QStringLiteral("Error") : it->second;
}

int Column = 1;

bool English() {
    return Column != 0;
}

void SetLanguageColumn(int C) {
    Column = C;
}

int Message(const QString& Text, TMsgType Type, int Buttons) {
    if (Answerer()) return Answerer()(Text, Type, Buttons);
    QMessageBox::StandardButtons b;
    if (Buttons & mbYes) b |= QMessageBox::Yes;
    if (Buttons & mbNo) b |= QMessageBox::No;
    if (Buttons & mbOK) b |= QMessageBox::Ok;
    if (Buttons & mbCancel) b |= QMessageBox::Cancel;
    const QMessageBox::Icon icon = Type == TMsgType::Error          ? QMessageBox::Critical
                                   : Type == TMsgType::Warning      ? QMessageBox::Warning
                                   : Type == TMsgType::Confirmation ? QMessageBox::Question
                                                                    : QMessageBox::Information;
    QMessageBox box(icon, QStringLiteral("Kestrelbay"), Text, b);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return mrYes;
    case QMessageBox::No:
        return mrNo;
    case QMessageBox::Ok:
        return mrOk;
    default:
        return mrCancel;
    }
}

void SetMessageAnswerer(TMessageAnswerer A) {
    Answerer() = std::move(A);
}

void ShowMessage(const QString& Text) {
    Message(Text, TMsgType::Information, mbOK);
}

bool Busy() {
    return false;
}
void SetStopRequested(bool) {}
void ShowBackupHint(bool) {}
void Log(const QString&) {}
void LockBoards(bool) {}
void OpenHistoryWindow() {}

QString SaveDataBase() {
    return SaveTarget;
}
void SetSaveDataBase(const QString& Entry) {
    SaveTarget = Entry;
}

QString HistoryEntry(const QString& FileName) {
    const qsizetype slash = FileName.lastIndexOf(QLatin1Char('/'));
    return FileName.mid(slash + 1) + QStringLiteral("   \"") + FileName + QLatin1Char('"');
}

QString HistoryEntryPath(const QString& Entry) {
    const qsizetype q = Entry.indexOf(QLatin1Char('"'));
    if (q < 0) return {};
    return Entry.mid(q + 1).chopped(1);
}

std::vector<TListWindowIntf*> OpenListWindows() {
    std::vector<TListWindowIntf*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* l = dynamic_cast<TListWindowIntf*>(w)) out.push_back(l);
    return out;
}

QString ListWindowCaption(TListWindowIntf* W) {
    return W && W->Window() ? W->Window()->windowTitle() : QString();
}

kb::TPGN* TacticPGN() {
    return nullptr;
}
std::vector<int> TacticPicks() {
    return {};
}
void EnableKombis() {}

} // namespace bw
