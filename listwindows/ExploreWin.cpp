// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExploreWin.h"

#include "ChessDatabase.h"
#include "DatabaseFormat.h"
#include "Local.h"
#include "PGNRewrite.h"
#include "PGNWin.h"
#include "PGNWinCopy.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <chrono>
#include <filesystem>

namespace kb {

namespace {

const QString kMaskBoth = QStringLiteral("*.pgn;*.kbf");

bool IsIndexOrLock(const QString& Name) {
    const TDatabasePart part = DatabasePartOf(Name.toStdString());
    return part == TDatabasePart::Index || part == TDatabasePart::Lock;
}

} // namespace

bool TGameFileFilter::filterAcceptsRow(int Row, const QModelIndex& Parent) const {
    const QModelIndex i = sourceModel()->index(Row, 0, Parent);
    auto* fs = qobject_cast<QFileSystemModel*>(sourceModel());
    if (fs && fs->isDir(i)) return true;
    return !IsIndexOrLock(i.data().toString());
}

// --- history list -----------------------------------------------------------

THistoryList::THistoryList(TMDIDatabase* Owner, QWidget* Parent)
    : QListWidget(Parent), owner_(Owner) {
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void THistoryList::dragEnterEvent(QDragEnterEvent* Event) {
    if (Event->mimeData()->hasFormat(kGamesMimeType))
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void THistoryList::dragMoveEvent(QDragMoveEvent* Event) {
    // The entry under the mouse becomes the selected one.
    QListWidgetItem* item = itemAt(Event->position().toPoint());
    if (item) setCurrentItem(item);
    const TPGN* source = nullptr;
    std::vector<int> rows;
    if (item && DecodeGamesDrag(Event->mimeData()->data(kGamesMimeType), source, rows) &&
        TMDIPGN::FromList(source)) {
        Event->setDropAction(Qt::CopyAction);
        Event->accept();
    } else {
        Event->ignore();
    }
}

void THistoryList::dropEvent(QDropEvent* Event) {
    QListWidgetItem* item = itemAt(Event->position().toPoint());
    const TPGN* source = nullptr;
    std::vector<int> rows;
    if (!item || !DecodeGamesDrag(Event->mimeData()->data(kGamesMimeType), source, rows)) return;
    TMDIPGN* from = TMDIPGN::FromList(source);
    if (!from) return;
    Event->setDropAction(Qt::CopyAction);
    Event->accept();
    const QString target = LwHistoryEntryPath(item->text());
    QMetaObject::invokeMethod(
        owner_,
        [owner = QPointer<TMDIDatabase>(owner_), from = QPointer<TMDIPGN>(from), target] {
            if (owner && from) owner->DropOnto(target, from->PGN());
        },
        Qt::QueuedConnection);
}

void THistoryList::keyPressEvent(QKeyEvent* Event) {
    if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && currentItem()) {
        owner_->lbDatabaseDblClick();
        return;
    }
    QListWidget::keyPressEvent(Event);
}

// --- the window -------------------------------------------------------------

TMDIDatabase::TMDIDatabase(QWidget* Parent) : QWidget(Parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split);

    pLeft = new QWidget(split);
    auto* left = new QVBoxLayout(pLeft);
    left->setContentsMargins(4, 4, 4, 4);
    Folders = new QFileSystemModel(this);
    Folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    Folders->setRootPath(QStringLiteral("/"));
    DirectoryListBox1 = new QTreeView(pLeft);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setModel(Folders);
    DirectoryListBox1->setRootIndex(Folders->index(QStringLiteral("/")));
    for (int c = 1; c < Folders->columnCount(); ++c)
        DirectoryListBox1->hideColumn(c);
    DirectoryListBox1->header()->hide();
    DirectoryListBox1->setSortingEnabled(true);
    DirectoryListBox1->sortByColumn(0, Qt::AscendingOrder);
    left->addWidget(DirectoryListBox1, 3);
    lFolder = new QLabel(pLeft);
    lFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    left->addWidget(lFolder);

    FileEdit = new QLineEdit(kMaskBoth, pLeft);
    FileEdit->setObjectName(QStringLiteral("FileEdit"));
    left->addWidget(FileEdit);

    Files = new QFileSystemModel(this);
    Files->setFilter(QDir::Files | QDir::NoDotAndDotDot);
    Files->setNameFilterDisables(false);
    FileFilter = new TGameFileFilter(this);
    FileFilter->setSourceModel(Files);
    FileFilter->setSortCaseSensitivity(Qt::CaseInsensitive);
    FileFilter->setDynamicSortFilter(true);
    FileFilter->sort(0, Qt::AscendingOrder);
    FileListBox1 = new QListView(pLeft);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setModel(FileFilter);
    FileListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    left->addWidget(FileListBox1, 4);

    FilterComboBox1 = new QComboBox(pLeft);
    FilterComboBox1->addItem(QStringLiteral("*.pgn; *.kbf"), kMaskBoth);
    FilterComboBox1->addItem(QStringLiteral("*.*"), QStringLiteral("*"));
    left->addWidget(FilterComboBox1);

    auto* buttons = new QHBoxLayout;
    bPGN = new QPushButton(pLeft);
    bKBF = new QPushButton(pLeft);
    buttons->addWidget(bPGN);
    buttons->addWidget(bKBF);
    left->addLayout(buttons);

    Panel1 = new QWidget(split);
    auto* right = new QVBoxLayout(Panel1);
    right->setContentsMargins(4, 4, 4, 4);
    Label1 = new QLabel(Panel1);
    lbDatabase = new THistoryList(this, Panel1);
    lbDatabase->setObjectName(QStringLiteral("lbDatabase"));
    right->addWidget(Label1);
    right->addWidget(lbDatabase, 1);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);

    connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& I) { FolderChosen(I); });
    // The tree reads its folders in the background: the chosen one is shown
    // once its parents are there.
    connect(Folders, &QFileSystemModel::directoryLoaded, this, [this] { ShowFolder(); });
    connect(
        Folders, &QFileSystemModel::layoutChanged, this, [this] { ShowFolder(); },
        Qt::QueuedConnection);
    // The user's own scrolling, opening or closing of folders ends that.
    connect(DirectoryListBox1->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { folderShown_ = true; });
    for (auto signal : {&QTreeView::expanded, &QTreeView::collapsed})
        connect(DirectoryListBox1, signal, this, [this] {
            if (!followingFolder_) folderShown_ = true;
        });
    connect(
        Folders, &QFileSystemModel::rowsInserted, this, [this] { ShowFolder(); },
        Qt::QueuedConnection);
    connect(Files, &QFileSystemModel::directoryLoaded, this, [this](const QString& Folder) {
        FileListBox1->setRootIndex(FileFilter->mapFromSource(Files->index(CurrentFolder())));
        emit FilesLoaded(Folder);
    });
    connect(FileListBox1, &QListView::doubleClicked, this, [this] { FileListBox1DblClick(); });
    // Enter opens too (activated would also fire on a single click where the
    // desktop opens items that way).
    FileListBox1->installEventFilter(this);
    connect(FileEdit, &QLineEdit::returnPressed, this, [this] { SetMask(FileEdit->text()); });
    connect(FilterComboBox1, &QComboBox::activated, this,
            [this](int I) { SetMask(FilterComboBox1->itemData(I).toString()); });
    connect(lbDatabase, &QListWidget::itemDoubleClicked, this, [this] { lbDatabaseDblClick(); });
    connect(bPGN, &QPushButton::clicked, this, [this] { bPGNClick(); });
    connect(bKBF, &QPushButton::clicked, this, [this] { bKBFClick(); });

    SetMask(kMaskBoth);
    QString folder = ListHost().DatabaseFolder();
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    SetFolder(folder);
    SetHistory(ListHost().History());

    move(0, 0);
    const QRect g = ListHost().DatabaseGeometry();
    resize(g.width() > 200 ? g.width() : 620, g.height() > 200 ? g.height() : 420);

    // German design-time texts; the string table switches them.
    setWindowTitle(QStringLiteral("Datenbanken (Doppelklick zum Öffnen)"));
    RegisterCaption(this, 60);
    // "&&" stands for one ampersand in a caption, not in a tool tip.
    RegisterText(
        this, 61, QStringLiteral("Diese Liste akzeptiert Drag&&Drop."), [this](const QString& S) {
            const qsizetype bar = S.indexOf(QLatin1Char('|'));
            lbDatabase->setToolTip(QString(bar < 0 ? S : S.mid(bar + 1))
                                       .replace(QStringLiteral("&&"), QStringLiteral("&")));
        });
    Label1->setText(QStringLiteral("Historie"));
    RegisterCaption(Label1, 248);
    bPGN->setText(QStringLiteral("Neue PGN"));
    RegisterCaption(bPGN, 249);
    bKBF->setText(QStringLiteral("Neue KBF"));
    RegisterCaption(bKBF, 250);
}

TMDIDatabase::~TMDIDatabase() = default;

void TMDIDatabase::SetHistory(const QStringList& History) {
    const int row = lbDatabase->currentRow();
    lbDatabase->clear();
    for (const QString& e : History)
        lbDatabase->addItem(e);
    if (row >= 0 && row < lbDatabase->count()) lbDatabase->setCurrentRow(row);
}

QString TMDIDatabase::CurrentFolder() const {
    const QModelIndex i = DirectoryListBox1->currentIndex();
    return i.isValid() ? Folders->filePath(i) : QDir::homePath();
}

void TMDIDatabase::SetFolder(const QString& Folder) {
    const QModelIndex i = Folders->index(QDir(Folder).absolutePath());
    if (!i.isValid()) return;
    wantedFolder_ = Folders->filePath(i);
    folderShown_ = false;
    ShowFolder();
    FolderChosen(i);
}

// Selects the wanted folder in the tree and opens the tree down to it; done
// again as the tree's folders arrive and are sorted (each may move it), until
// the user moves the tree himself.
void TMDIDatabase::ShowFolder() {
    if (wantedFolder_.isEmpty() || folderShown_) return;
    const QModelIndex i = Folders->index(wantedFolder_);
    if (!i.isValid()) return;
    if (DirectoryListBox1->currentIndex() != i) {
        const QSignalBlocker block(DirectoryListBox1->selectionModel());
        DirectoryListBox1->setCurrentIndex(i);
    }
    followingFolder_ = true;
    for (QModelIndex p = i.parent(); p.isValid(); p = p.parent())
        DirectoryListBox1->expand(p);
    followingFolder_ = false;
    DirectoryListBox1->scrollTo(i, QAbstractItemView::PositionAtCenter);
}

void TMDIDatabase::FolderChosen(const QModelIndex& Index) {
    if (!Index.isValid()) return;
    const QString folder = Folders->filePath(Index);
    if (folder != wantedFolder_) folderShown_ = true;
    wantedFolder_ = folder;
    lFolder->setText(folder);
    Files->setRootPath(folder);
    FileListBox1->setRootIndex(FileFilter->mapFromSource(Files->index(folder)));
}

void TMDIDatabase::SetMask(const QString& Mask) {
    QStringList filters;
    for (const QString& p : Mask.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!p.trimmed().isEmpty()) filters << p.trimmed();
    if (filters.isEmpty()) filters << QStringLiteral("*");
    Files->setNameFilters(filters);
    FileFilter->invalidate();
}

QStringList TMDIDatabase::ListedFiles() const {
    QStringList out;
    const QModelIndex root = FileListBox1->rootIndex();
    for (int r = 0; r < FileFilter->rowCount(root); ++r) {
        const QModelIndex i = FileFilter->mapToSource(FileFilter->index(r, 0, root));
        if (!Files->isDir(i)) out << Files->filePath(i);
    }
    return out;
}

void TMDIDatabase::FileListBox1DblClick() {
    const QModelIndex i = FileFilter->mapToSource(FileListBox1->currentIndex());
    if (!i.isValid() || Files->isDir(i)) return;
    ListHost().OpenListWindow(Files->filePath(i));
}

void TMDIDatabase::lbDatabaseDblClick() {
    QListWidgetItem* item = lbDatabase->currentItem();
    if (!item) return;
    const QString path = LwHistoryEntryPath(item->text());
    if (!path.isEmpty()) ListHost().OpenListWindow(path);
}

QString TMDIDatabase::NewFile(const QString& Extension) {
    QString name;
    if (!ListHost().InputQuery(this, LwText(251), LwText(252), name)) return {};
    name = name.trimmed();
    // A name, not a path: the file goes into the folder shown.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String("..")) {
        LwMessage(this, TLwMsgType::Error,
                  LwLanguageColumn() == 0 ? QStringLiteral("Ungültiger Dateiname.")
                                          : QStringLiteral("Invalid file name."),
                  lbOK);
        return {};
    }
    QString path = QDir(CurrentFolder()).filePath(name);
    const QString suffix = QFileInfo(name).suffix().toUpper();
    if (suffix != QLatin1String("PGN") && suffix != QLatin1String("KBF")) path += Extension;
    ListHost().OpenListWindow(path);
    // The new file shows in the list.
    FileFilter->invalidate();
    return path;
}

void TMDIDatabase::IndexRebuildNotice() {
    LwMessage(this, TLwMsgType::Error, LwText(228), lbOK);
}

TDropResult TMDIDatabase::DropOnto(const QString& Target, TPGN* Source) {
    TDropResult result;
    TMDIPGN* from = TMDIPGN::FromList(Source);
    if (!from || Target.isEmpty() || ListHost().Busy() || Source->Busy()) return result;
    const std::vector<int> rows = from->SelectedRows();
    if (rows.empty() || TChessDatabase::SameFile(Target.toStdString(), Source->FileName()))
        return result;
    if (ListHost().WindowOpenFor(Target)) {
        LwMessage(this, TLwMsgType::Error, LwText(15) + Target + LwText(16), lbOK);
        return result;
    }
    if (LwMessage(this, TLwMsgType::Confirmation, LwText(17) + Target + LwText(18), lbYes | lbNo) !=
        lbYes)
        return result;

    const std::string target = Target.toStdString();
    auto db = std::make_unique<TChessDatabase>();
    if (db->IsDatabaseFile(target)) {
        db->OnBeforeCreateIndex = [this](TCustomDatabase*) { IndexRebuildNotice(); };
        if (!db->Open(target)) {
            LwMessage(this, TLwMsgType::Error, LwText(19), lbOK);
            result.Failed = true;
            return result;
        }
    } else {
        db.reset();
        if (!IsPGNFile(target)) {
            LwMessage(this, TLwMsgType::Error, LwText(19), lbOK);
            result.Failed = true;
            return result;
        }
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPointer<TMDIPGN> source(from);
    setEnabled(false);
    from->setEnabled(false);
    ListHost().LockBoards(true);
    ListHost().SetStopRequested(false);
    if (db) db->SetKeepOpen(true);

    // Each batch with one write and one sync.
    TCopySink sink;
    sink.Records = db != nullptr;
    bool writeFailed = false;
    bool refused = false;
    bool heldByOther = false;
    if (db) {
        sink.Write = [&](const std::vector<std::string>& Games, int& Written) {
            Written = 0;
            for (const std::string& g : Games) {
                int64_t index = -1;
                if (!db->AddRecord(index, g)) break;
                ++Written;
            }
            // Queued records count only once they are on disk.
            if (!db->Flush()) Written = 0;
            writeFailed = Written < static_cast<int>(Games.size());
            return !writeFailed;
        };
    } else {
        // As into a list's file: only a text that reads back as one game,
        // else it would take the games behind it. It ends the copy.
        sink.Accepts = [&refused](const std::string& Text) {
            refused = !TPGN::IsGameText(Text);
            return !refused;
        };
        // The file may be written anew for each batch: a batch holds at
        // least as much.
        sink.Rewritten = [&target] {
            std::error_code ec;
            const auto size = std::filesystem::file_size(target, ec);
            return ec ? int64_t{0} : static_cast<int64_t>(size);
        };
        sink.Write = [&](const std::vector<std::string>& Games, int& Written) {
            std::string collected;
            for (const std::string& g : Games)
                collected += (collected.empty() ? "" : "\r\n\r\n") + g;
            // Through the door every change of a game file goes through: a
            // file another copy of the program holds or has changed is not
            // written over.
            const TRewriteResult r = AppendToPGNFile(TFileSystem::Posix(), target, collected, LockWait);
            heldByOther = r == TRewriteResult::Refused;
            writeFailed = r != TRewriteResult::Done;
            Written = writeFailed ? 0 : static_cast<int>(Games.size());
            return !writeFailed;
        };
        sink.Refused = [&heldByOther] { return heldByOther; };
    }
    TCopyOptions options;
    TProgressPace pace;
    options.Progress = [&](int Row, int Done, int Total) {
        if (Row >= 0 && AfterEachGame) AfterEachGame();
        if (!pace.Due(Done, Total)) return !source.isNull();
        TCancelMode mode = cmGoOn;
        ListHost().PGNTrace(Source, pace.Percent, mode);
        return source && mode != cmCancel && !ListHost().StopRequested();
    };
    const TCopyResult copied = CopyInBatches(*Source, rows, sink, options);
    result.Appended = copied.Copied;
    result.NotAppended = copied.NotCopied;
    result.Stopped = copied.Stopped;
    // A game that did not go in is reported, not counted.
    result.Failed = writeFailed || refused;

    if (source) source->setEnabled(true);
    db.reset();
    TCancelMode mode = cmGoOn;
    ListHost().PGNTrace(Source, 0, mode);
    setEnabled(true);
    ListHost().LockBoards(false);
    QApplication::restoreOverrideCursor();
    // How many games went in and how many did not, and why.
    const std::string told = CopyEndText(copied, LwLanguageColumn() != 0);
    if (!told.empty())
        LwMessage(this, TLwMsgType::Error, QString::fromStdString(told), lbOK);
    else if (result.Failed)
        LwMessage(this, TLwMsgType::Error, LwText(19), lbOK);
    return result;
}

bool TMDIDatabase::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FileListBox1 && Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            FileListBox1DblClick();
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

void TMDIDatabase::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    QMetaObject::invokeMethod(
        this, [this] { ShowFolder(); }, Qt::QueuedConnection);
}

// --- closing and keys ---------------------------------------------------------

bool TMDIDatabase::CloseQuery() {
    return isEnabled() && !ListHost().Busy();
}

void TMDIDatabase::closeEvent(QCloseEvent* Event) {
    // The folder is kept even when the close is refused.
    ListHost().SetDatabaseFolder(CurrentFolder());
    if (ListHost().Busy() || !isEnabled()) {
        Event->ignore();
        return;
    }
    QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    if (!frame->isMaximized() && !frame->isMinimized())
        ListHost().SetDatabaseGeometry(frame->geometry());
    Event->accept();
}

void TMDIDatabase::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(Event);
}

TDatabaseWindowIntf* NewDatabaseWindow() {
    return new TMDIDatabase;
}

} // namespace kb
