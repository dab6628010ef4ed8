// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinHost.h"

#include "DialogsLng.h"
#include "Local.h"
#include "Main.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>

#include <map>
#include <utility>

namespace kb {

namespace {

bool g_stop = false;
bool g_busy = false;
QStringList g_history;
QRect g_listGeometry(0, 0, 0, 0);
QRect g_databaseGeometry(0, 0, 0, 0);
QString g_databaseFolder;

TMsgDlgType TypeOf(TLwMsgType T) {
    switch (T) {
    case TLwMsgType::Warning:
        return mtWarning;
    case TLwMsgType::Error:
        return mtError;
    case TLwMsgType::Information:
        return mtInformation;
    case TLwMsgType::Confirmation:
        break;
    }
    return mtConfirmation;
}

TMsgDlgButtons ButtonsOf(int B) {
    if (B == (lbYes | lbNo)) return {mbYes, mbNo};
    if (B == (lbYes | lbNo | lbCancel)) return mbYesNoCancel;
    if (B == (lbOK | lbCancel)) return mbOKCancel;
    return {mbOK};
}

// Board windows bound to a list.
std::vector<TBoardWindowIntf*> BoardsOf(TPGN* List) {
    std::vector<TBoardWindowIntf*> out;
    if (!MainForm() || !List) return out;
    for (TBoardWindowIntf* b : MainForm()->BoardWindows())
        if (b->SourcePGN() == List) out.push_back(b);
    return out;
}

void SafeProcessMessages() {
    g_busy = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    g_busy = false;
}

// Everything goes to the frame when there is one; without it (kbbench,
// tests) the stand-ins keep their own state.
TListHost Defaults() {
    TListHost h;
    h.Text = [](int N) { return ::Text(N); };
    h.LanguageColumn = [] { return ::LanguageColumn; };
    h.Message = [](QWidget*, TLwMsgType Type, const QString& Msg, int Buttons) {
        switch (MessageDlgEx(ScreenLines(Msg), TypeOf(Type), ButtonsOf(Buttons), 0)) {
        case mrYes:
            return int(lbYes);
        case mrNo:
            return int(lbNo);
        case mrOk:
            return int(lbOK);
        case mrCancel:
            return int(lbCancel);
        default:
            return int(lbNone);
        }
    };
    h.InputQuery = [](QWidget* Parent, const QString& Title, const QString& Prompt,
                      QString& Value) { return InputQueryEx(Title, Prompt, Value, Parent); };
    h.PGNTrace = [](TPGN* Sender, int Percent, TCancelMode& CancelMode) {
        if (MainForm()) {
            int mode = CancelMode;
            MainForm()->PGNTrace(Sender, Percent, mode);
            CancelMode = mode;
            return;
        }
        if (CancelMode == cmNoCancel) return;
        SafeProcessMessages();
        if (g_stop) CancelMode = cmCancel;
    };
    h.Busy = [] { return MainForm() ? MainForm()->Busy() : g_busy; };
    h.StopRequested = [] { return MainForm() ? MainForm()->StopRequested : g_stop; };
    h.SetStopRequested = [](bool V) {
        if (MainForm())
            MainForm()->StopRequested = V;
        else
            g_stop = V;
    };
    h.LockBoards = [](bool Lock) {
        if (MainForm()) MainForm()->LockBoards(Lock);
    };
    h.Log = [](const QString& Line) {
        if (MainForm()) MainForm()->Log(Line);
    };
    h.BackupHint = [](bool Show) {
        if (MainForm() && MainForm()->lBackuphint) MainForm()->lBackuphint->setVisible(Show);
    };
    h.MainClosing = [] { return MainForm() && MainForm()->IsClosing(); };
    h.BoundBoards = [](TPGN* List) { return static_cast<int>(BoardsOf(List).size()); };
    h.ReleaseBoards = [](TPGN* List) {
        for (TBoardWindowIntf* b : BoardsOf(List))
            b->ReleaseList();
    };
    h.OpenBoardWindow = [](TPGN* List, const std::string& Text, int GameNo) {
        if (MainForm()) MainForm()->OpenBoardWindow(List, Text, GameNo, false);
    };
    h.OpenListWindow = [](const QString& F) {
        if (MainForm()) MainForm()->OpenListWindow(F);
    };
    h.WindowOpenFor = [](const QString& F) {
        if (!MainForm()) return false;
        for (const TMdiChild& c : MainForm()->MdiChildren())
            if (c.Intf->Window()->windowTitle() == F) return true;
        return false;
    };
    h.AddToHistory = [](const QString& F) {
        if (MainForm()) {
            MainForm()->AddToHistory(F);
            return;
        }
        if (F.isEmpty()) return;
        const QString e = LwHistoryEntry(F);
        for (const auto& x : g_history)
            if (x.compare(e, Qt::CaseInsensitive) == 0) return;
        g_history.prepend(e);
        while (g_history.size() > 16)
            g_history.removeLast();
    };
    h.RemoveFromHistory = [](const QString& F) {
        if (MainForm()) {
            MainForm()->RemoveFromHistory(F);
            return;
        }
        const QString e = LwHistoryEntry(F);
        g_history.removeIf(
            [&](const QString& x) { return x.compare(e, Qt::CaseInsensitive) == 0; });
    };
    h.History = [] { return MainForm() ? MainForm()->History : g_history; };
    h.DeleteFileLater = [](const QString& F) {
        if (MainForm()) {
            MainForm()->PostDeleteFile(F);
            return;
        }
        QTimer::singleShot(0, qApp, [F] {
            QFile::remove(F);
            ListHost().RemoveFromHistory(F);
        });
    };
    h.ListGeometry = [] {
        if (!MainForm()) return g_listGeometry;
        const TMainForm& m = *MainForm();
        return QRect(m.PGNLeft, m.PGNTop, m.PGNWidth, m.PGNHeight);
    };
    h.SetListGeometry = [](const QRect& R) {
        if (!MainForm()) {
            g_listGeometry = R;
            return;
        }
        TMainForm& m = *MainForm();
        m.PGNLeft = R.left();
        m.PGNTop = R.top();
        m.PGNWidth = R.width();
        m.PGNHeight = R.height();
    };
    h.DatabaseGeometry = [] {
        if (!MainForm()) return g_databaseGeometry;
        return QRect(0, 0, MainForm()->DatabaseWidth, MainForm()->DatabaseHeight);
    };
    h.SetDatabaseGeometry = [](const QRect& R) {
        if (!MainForm()) {
            g_databaseGeometry = R;
            return;
        }
        MainForm()->DatabaseWidth = R.width();
        MainForm()->DatabaseHeight = R.height();
    };
    h.DatabaseFolder = [] { return MainForm() ? MainForm()->DatabaseFolder : g_databaseFolder; };
    h.SetDatabaseFolder = [](const QString& F) {
        if (MainForm())
            MainForm()->DatabaseFolder = F;
        else
            g_databaseFolder = F;
    };
    h.ToolbarBelow = [] {
        return MainForm() && MainForm()->mToolbarBelow && MainForm()->mToolbarBelow->isChecked();
    };
    h.NotationFont = [] {
        return MainForm() ? MainForm()->FontDialog1.Font : QFont(QStringLiteral("DejaVu Sans"), 10);
    };
    h.MainClientSize = [] {
        if (MainForm() && MainForm()->MdiArea()) return MainForm()->MdiArea()->viewport()->size();
        return QSize(4000, 4000);
    };
    h.ProgramDir = [] {
        return MainForm() ? MainForm()->ProgramDir : QCoreApplication::applicationDirPath();
    };
    return h;
}

} // namespace

TListHost& ListHost() {
    static TListHost host = Defaults();
    return host;
}

void ResetListHost() {
    g_stop = false;
    g_busy = false;
    g_history.clear();
    ListHost() = Defaults();
}

QString LwText(int N) {
    return ListHost().Text(N);
}

int LwLanguageColumn() {
    return ListHost().LanguageColumn();
}

void LwSetLanguageColumn(int Column) {
    ::LanguageColumn = Column;
    ::ApplyLanguage();
}

int LwMessage(QWidget* Parent, TLwMsgType Type, const QString& Text, int Buttons) {
    return ListHost().Message(Parent, Type, Text, Buttons);
}

QString LwHistoryEntry(const QString& FileName) {
    const int slash = static_cast<int>(FileName.lastIndexOf(QLatin1Char('/')));
    return FileName.mid(slash + 1) + QStringLiteral("   \"") + FileName + QLatin1Char('"');
}

QString LwHistoryEntryPath(const QString& Entry) {
    // The frame's reading: a file name may hold a double quote itself.
    return ::HistoryEntryPath(Entry);
}

} // namespace kb
