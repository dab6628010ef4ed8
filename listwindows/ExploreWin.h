// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIDatabase: the window for finding game files. A folder tree and a file
// list of PGN files and own databases on the left, the file history on the
// right. A double click opens a file in a list window; games dragged from a
// list window onto a history entry are appended to that file unopened.
#pragma once

#include "MdiWindows.h"
#include "PGNRewrite.h"
#include "PGNWinHost.h"

#include <QListWidget>
#include <QSortFilterProxyModel>
#include <QWidget>

#include <chrono>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QTreeView;

namespace kb {

class TMDIDatabase;

// Index and lock files of own databases never show.
class TGameFileFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int Row, const QModelIndex& Parent) const override;
};

// The history list; takes drops of games from list windows.
class THistoryList : public QListWidget {
    Q_OBJECT
public:
    THistoryList(TMDIDatabase* Owner, QWidget* Parent);

protected:
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    TMDIDatabase* owner_;
};

struct TDropResult {
    int Appended = 0;
    bool Failed = false;
    bool Stopped = false;
    // Games of the selected rows that did not go in.
    int NotAppended = 0;
};

class TMDIDatabase : public QWidget, public TDatabaseWindowIntf {
    Q_OBJECT
public:
    explicit TMDIDatabase(QWidget* Parent = nullptr);
    ~TMDIDatabase() override;

    // TDatabaseWindowIntf.
    QWidget* Window() override { return this; }
    QRect InitialGeometry() const override { return geometry(); }
    void SetHistory(const QStringList& History) override;
    bool CloseQuery() override;

    QWidget* pLeft = nullptr;
    QTreeView* DirectoryListBox1 = nullptr;
    QFileSystemModel* Folders = nullptr;
    QLabel* lFolder = nullptr; // the folder shown
    QLineEdit* FileEdit = nullptr;
    QListView* FileListBox1 = nullptr;
    QFileSystemModel* Files = nullptr;
    TGameFileFilter* FileFilter = nullptr;
    QComboBox* FilterComboBox1 = nullptr;
    QPushButton* bPGN = nullptr;
    QPushButton* bKBF = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    THistoryList* lbDatabase = nullptr;

    // The folder shown in the file list.
    QString CurrentFolder() const;
    void SetFolder(const QString& Folder);
    // The file list's mask, "*.pgn;*.kbf" style.
    void SetMask(const QString& Mask);
    // The full paths of the files listed now.
    QStringList ListedFiles() const;

    void FileListBox1DblClick();
    void lbDatabaseDblClick();
    void bPGNClick() { NewFile(QStringLiteral(".pgn")); }
    void bKBFClick() { NewFile(QStringLiteral(".kbf")); }
    // Asks for a name and opens it in a list window (which asks whether to
    // create it). Returns the path opened, empty when refused.
    QString NewFile(const QString& Extension);
    // Appends the selected games of a list window's list to a file.
    TDropResult DropOnto(const QString& Target, TPGN* Source);
    void IndexRebuildNotice();

    // The drop's own wait between games (tests stop the drop there).
    std::function<void()> AfterEachGame;
    // How long a drop onto a PGN file waits for another writer's lock.
    std::chrono::milliseconds LockWait = kLockWait;

signals:
    // The file list has read its folder.
    void FilesLoaded(const QString& Folder);

protected:
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FolderChosen(const QModelIndex& Index);
    void ShowFolder();
    QString wantedFolder_;
    bool folderShown_ = false;
    bool followingFolder_ = false;
};

// A new database window for the frame (owned by the caller).
TDatabaseWindowIntf* NewDatabaseWindow();

} // namespace kb
