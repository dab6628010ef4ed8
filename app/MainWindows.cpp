// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's windows: opening files in list windows and games in board
// windows, the MDI children in stacking order, the file history, the pause
// of the boards' threads, and the busy and progress state.
#include "Main.h"

#include "DialogsLng.h"
#include "Local.h"
#include "PGN.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QRegularExpression>
#include <QStyle>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int HistoryMax = 16;

// One spelling per file: the canonical path when the file exists, else the
// absolute path with "." and ".." resolved. Letter case counts.
QString CanonicalPath(const QString& FileName) {
    if (FileName.isEmpty()) return {};
    const QFileInfo fi(FileName);
    const QString canonical = fi.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(fi.absoluteFilePath()) : canonical;
}

// Renames without replacing a file of the new name. False when anything failed.
bool RenameNoReplace(const QString& From, const QString& To) {
    const QByteArray from = QFile::encodeName(From), to = QFile::encodeName(To);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without that flag: a hard link cannot replace a file either.
    if (::link(from.constData(), to.constData()) != 0) return false;
    if (::unlink(from.constData()) != 0) {
        ::unlink(to.constData());
        return false;
    }
    return true;
}

// RAII for the hourglass and for LockBoards.
class THourglass {
public:
    THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~THourglass() { QApplication::restoreOverrideCursor(); }
};

class TBoardLock {
public:
    explicit TBoardLock(TMainForm& F) : f_(F) { f_.LockBoards(true); }
    ~TBoardLock() { f_.LockBoards(false); }

private:
    TMainForm& f_;
};

} // namespace

QString HistoryEntry(const QString& FileName) {
    return QFileInfo(FileName).fileName() + "   \"" + FileName + "\"";
}

QString HistoryEntryPath(const QString& Entry) {
    // A name may hold a double quote itself: the path is the one whose file
    // name stands before it.
    for (qsizetype sep = Entry.indexOf("   \""); sep >= 0; sep = Entry.indexOf("   \"", sep + 1)) {
        QString path = Entry.mid(sep + 4);
        path.chop(1);
        if (QFileInfo(path).fileName() == Entry.left(sep)) return path;
    }
    const qsizetype q = Entry.indexOf('"');
    if (q < 0) return {};
    QString rest = Entry.mid(q + 1);
    rest.chop(1);
    return rest;
}

// A backup that an edit of File left behind is named
// "backup" + "dd.mm." + letter + "_game" + n + "-" + count + "_" + File's name.
bool IsBackupOf(const QString& Name, const QString& FileName) {
    static const QRegularExpression prefix("^backup\\d\\d\\.\\d\\d\\.[a-z]_game\\d+-\\d+_",
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = prefix.match(Name);
    return m.hasMatch() && Name.mid(m.capturedLength()) == FileName;
}

// === MDI children ===========================================================

QMdiSubWindow* TMainForm::AddChild(TMdiChildIntf* Child, TMdiChild::Kind Kind) {
    QWidget* w = Child->Window();
    auto* sub = new QMdiSubWindow;
    sub->setWidget(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    if (w->windowIcon().cacheKey() == QApplication::windowIcon().cacheKey())
        sub->setWindowIcon(windowIcon());
    mdiArea_->addSubWindow(sub);
    children_.push_back({Kind, sub, Child, w});
    connect(w, &QObject::destroyed, this, [this, w] { ChildGone(w); });

    QRect r = Child->InitialGeometry();
    if (!r.isEmpty()) {
        // A saved place outside today's frame starts at its edge instead.
        const QSize client = mdiArea_->viewport()->size();
        if (client.height() < r.top() + r.height() + 2) r.moveTop(0);
        if (client.width() < r.left() + r.width() + 2) r.moveLeft(0);
        if (r.top() < 0) r.moveTop(0);
        if (r.left() < 0) r.moveLeft(0);
        // Never exactly on top of another window (all start at 0,0 on a
        // first run): one title bar further down and right, while it fits.
        const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub);
        for (bool moved = true; moved;) {
            moved = false;
            for (const TMdiChild& c : MdiChildren())
                if (c.Sub != sub && c.Sub->pos() == r.topLeft() && !c.Sub->isMaximized() &&
                    r.bottom() + step < client.height() && r.right() + step < client.width()) {
                    r.translate(step, step);
                    moved = true;
                }
        }
        sub->setGeometry(r);
    }
    if (Child->InitiallyMaximized())
        sub->showMaximized();
    else
        sub->show();
    mdiArea_->setActiveSubWindow(sub);
    // While the frame is not active yet (start-up), activation moves no
    // focus: the frame would hand it back to the window that had it when it
    // becomes active, and the area would bring that window to the front.
    if (!isActiveWindow() && !w->isAncestorOf(focusWidget())) w->setFocus(Qt::OtherFocusReason);
    UpdateMenuItems();
    return sub;
}

void TMainForm::ChildGone(QObject* Window) {
    std::erase_if(children_, [Window](const TMdiChild& c) { return c.Widget == Window; });
    // Its sub-window is still being destroyed: look at the windows afterwards.
    QMetaObject::invokeMethod(this, &TMainForm::UpdateMenuItems, Qt::QueuedConnection);
}

std::vector<TMdiChild> TMainForm::MdiChildren() const {
    std::vector<TMdiChild> out;
    const auto subs = mdiArea_->subWindowList(QMdiArea::StackingOrder);
    // Stacking order puts the top-most last; index 0 is the front here.
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        QMdiSubWindow* sub = *it;
        if (sub->isHidden()) continue; // closed, waiting to be deleted
        for (const TMdiChild& c : children_)
            if (c.Sub == sub && sub->widget() == c.Widget) out.push_back(c);
    }
    return out;
}

std::vector<TBoardWindowIntf*> TMainForm::BoardWindows() const {
    std::vector<TBoardWindowIntf*> out;
    for (const TMdiChild& c : MdiChildren())
        if (TBoardWindowIntf* b = c.BoardWindow()) out.push_back(b);
    return out;
}

std::vector<TListWindowIntf*> TMainForm::ListWindows() const {
    std::vector<TListWindowIntf*> out;
    for (const TMdiChild& c : MdiChildren())
        if (TListWindowIntf* l = c.ListWindow()) out.push_back(l);
    return out;
}

TDatabaseWindowIntf* TMainForm::DatabaseWindow() const {
    for (const TMdiChild& c : MdiChildren())
        if (TDatabaseWindowIntf* d = c.DatabaseWindow()) return d;
    return nullptr;
}

QMdiSubWindow* TMainForm::SubWindowOf(QWidget* Window) const {
    for (const TMdiChild& c : children_)
        if (c.Widget == Window) return c.Sub;
    return nullptr;
}

void TMainForm::BringToFront(QWidget* Window) {
    QMdiSubWindow* sub = SubWindowOf(Window);
    if (!sub) return;
    if (sub->isMinimized()) sub->showNormal();
    mdiArea_->setActiveSubWindow(sub);
    sub->raise();
}

TBoardWindowIntf* TMainForm::FindBoardWindow() const {
    const auto boards = BoardWindows();
    return boards.empty() ? nullptr : boards.back();
}

QWidget* FindParentForm(QWidget* Control) {
    const TMainForm* f = MainForm();
    for (QWidget* w = Control; w; w = w->parentWidget()) {
        if (f)
            for (const TMdiChild& c : f->MdiChildren())
                if (c.Widget == w) return w;
        if (w->isWindow()) return w;
    }
    return nullptr;
}

// === opening files and games ================================================

void TMainForm::OpenListWindow(const QString& FileName) {
    TBoardLock lock(*this);
    const QString path = CanonicalPath(FileName);
    if (path.isEmpty()) return;
    const auto lists = ListWindows();
    for (auto it = lists.rbegin(); it != lists.rend(); ++it) {
        kb::TPGN* pgn = (*it)->PGN();
        if (pgn && CanonicalPath(QString::fromStdString(pgn->FileName())) == path) {
            BringToFront((*it)->Window());
            return;
        }
    }
    if (!WindowFactories().NewListWindow) return;
    TListWindowIntf* w = WindowFactories().NewListWindow();
    if (!w) return;
    QPointer<QWidget> window = w->Window();
    QMdiSubWindow* sub = AddChild(w, TMdiChild::List);
    StopRequested = false;
    const QString name = w->OpenFile(path);
    // Messages were pumped while the file loaded: the window may be gone.
    if (!window) return;
    window->setWindowTitle(name);
    AddToHistory(name);
    if (name.isEmpty())
        sub->close();
    else
        SetupListWindow(w);
}

void TMainForm::SetupListWindow(TListWindowIntf* Window) {
    kb::TPGN* pgn = Window->PGN();
    const bool database = pgn && pgn->IsDatabase();
    Window->SetupForKind(database);
    if (!database) CheckBackupFile(Window->Window()->windowTitle());
}

void TMainForm::CheckBackupFile(const QString& FileName) {
    const QFileInfo fi(FileName);
    const QString own = fi.fileName();
    if (own.isEmpty()) return;
    QDir dir = fi.absoluteDir();
    QStringList names = dir.entryList({"*.pgn"}, QDir::Files | QDir::Hidden | QDir::System,
                                      QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        if (name == own || !IsBackupOf(name, own)) continue;
        const QString oldPath = dir.absoluteFilePath(name);
        // "_" before the extension, so that the next opening does not find it again.
        const QString newPath =
            dir.absoluteFilePath(name.left(name.size() - 4) + "_" + name.right(4));
        // A rename that failed, or would replace a file, leaves the backup
        // where it is: that name is the one reported.
        const QString shown = RenameNoReplace(oldPath, newPath) ? newPath : oldPath;
        ShowBackupMessage(shown);
        AddToHistory(shown);
        return;
    }
}

void TMainForm::OpenBoardWindow(kb::TPGN* PGN, const std::string& Text, int GameNo, bool FRC) {
    THourglass hourglass;
    if (!Text.empty()) {
        const auto boards = BoardWindows();
        for (auto it = boards.rbegin(); it != boards.rend(); ++it) {
            if ((*it)->SourcePGN() == PGN && (*it)->GameNumber() == GameNo) {
                BringToFront((*it)->Window());
                return;
            }
        }
    }
    if (!WindowFactories().NewBoardWindow) return;
    TBoardWindowIntf* b = WindowFactories().NewBoardWindow();
    if (!b) return;
    AddChild(b, TMdiChild::Board);
    b->BuildEnginesMenu();
    b->StartGame(PGN, Text, GameNo, FRC, PGN && PGN == tacticPGN);
}

void TMainForm::ShowBackupMessage(const QString& Path) {
    MessageDlgEx(QString(Text(201)).replace("%s", Path), mtWarning, {mbOK}, 0);
}

// === history ================================================================

void TMainForm::AddToHistory(const QString& FileName) {
    if (FileName.isEmpty()) return;
    const QString path = CanonicalPath(FileName);
    for (const QString& e : History)
        if (!e.isEmpty() && CanonicalPath(HistoryEntryPath(e)) == path) return;
    History.insert(0, HistoryEntry(path));
    while (History.size() > HistoryMax)
        History.removeLast();
    if (TDatabaseWindowIntf* db = DatabaseWindow()) db->SetHistory(History);
}

void TMainForm::RemoveFromHistory(const QString& FileName) {
    if (FileName.isEmpty()) return;
    const QString path = CanonicalPath(FileName);
    History.removeIf([&](const QString& e) {
        const QString p = HistoryEntryPath(e);
        return !e.isEmpty() && (p == FileName || CanonicalPath(p) == path);
    });
    if (TDatabaseWindowIntf* db = DatabaseWindow()) db->SetHistory(History);
}

void TMainForm::PostDeleteFile(const QString& FileName) {
    QMetaObject::invokeMethod(
        this, [this, FileName] { WMDeleteFile(FileName); }, Qt::QueuedConnection);
}

void TMainForm::WMDeleteFile(const QString& FileName) {
    if (FileName.isEmpty()) return;
    QFile::remove(FileName);
    RemoveFromHistory(FileName);
}

// === busy state =============================================================

void TMainForm::LockBoards(bool Lock) {
    if (Lock) {
        if (lockCount_++ > 0) return;
        suspended_.clear();
        const auto boards = BoardWindows();
        for (auto it = boards.rbegin(); it != boards.rend(); ++it) {
            (*it)->SuspendThreads();
            suspended_.push_back((*it)->Window());
        }
        return;
    }
    if (lockCount_ == 0 || --lockCount_ > 0) return;
    // Only the windows the lock paused; one closed meanwhile is skipped.
    const auto paused = std::move(suspended_);
    suspended_.clear();
    for (const QPointer<QWidget>& w : paused) {
        if (!w) continue;
        for (const TMdiChild& c : children_)
            if (c.Widget == w)
                if (TBoardWindowIntf* b = c.BoardWindow()) b->ResumeThreads();
    }
}

void TMainForm::SafeProcessMessages() {
    ++busyCount_;
    qApp->installEventFilter(stopFilter_.get());
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    qApp->removeEventFilter(stopFilter_.get());
    // A nested call removed the filter; the outer one still needs it.
    if (--busyCount_ > 0) qApp->installEventFilter(stopFilter_.get());
}

void TMainForm::PGNTrace(void* Sender, int Percent, int& CancelMode) {
    Q_UNUSED(Sender);
    if (Percent == -1) {
        lBackuphint->hide();
        prBar->setValue(0);
    } else {
        prBar->setValue(std::clamp(Percent, 0, 100));
    }
    if (CancelMode != kb::cmNoCancel) {
        SafeProcessMessages();
        if (StopRequested) CancelMode = kb::cmCancel;
    } else if (Percent == 0) {
        repaint();
    }
}

// === deferred start-up ======================================================

void TMainForm::WMStartup() {
    // However it ends: start-up has run.
    struct TDone {
        bool& Flag;
        ~TDone() { Flag = true; }
    } done{startupDone_};
    if (DatabaseWinEnabled) mHistoryClick();
    const TCommandLine cl = ParseCommandLine(arguments_);
    if (cl.FileName.isEmpty()) return;
    OpenListWindow(cl.FileName);
    const auto lists = ListWindows();
    if (lists.empty()) return;
    kb::TPGN* pgn = lists.front()->PGN();
    if (!pgn) return;
    int row = 0;
    if (cl.HasRow) {
        if (!cl.RowValid) return;
        row = cl.Row;
    } else if (pgn->GameCount() != 1) {
        return;
    }
    const int index = pgn->GameIndex(row); // -1 outside the list
    if (index < 0) return;
    int gameNo = -1;
    std::string text;
    pgn->GetGame(index, gameNo, text);
    if (text.empty()) return;
    OpenBoardWindow(pgn, text, gameNo, false);
}
