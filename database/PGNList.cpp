// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNList.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace kb {

TPGNListModel::TPGNListModel(TPGNList& List, QObject* Parent)
    : QAbstractListModel(Parent), list_(List) {}

int TPGNListModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : list_.ItemCount();
}

Qt::ItemFlags TPGNListModel::flags(const QModelIndex& Index) const {
    if (!Index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QVariant TPGNListModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= list_.ItemCount()) return {};
    if (Role == Qt::DisplayRole) return list_.DataItemText(Index.row());
    return {};
}

TPGNItemDelegate::TPGNItemDelegate(TPGNList& List, QObject* Parent)
    : QStyledItemDelegate(Parent), list_(List) {}

void TPGNItemDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                             const QModelIndex& Index) const {
    list_.DrawItem(Painter, Index.row(), Option.rect, Option, Index);
}

QSize TPGNItemDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex&) const {
    int h = list_.ItemHeight > 0 ? list_.ItemHeight : Option.fontMetrics.height() + 4;
    return {Option.rect.width() > 0 ? Option.rect.width() : 100, h};
}

TPGNList::TPGNList(QWidget* Parent) : QListView(Parent) {
    model_ = new TPGNListModel(*this, this);
    delegate_ = new TPGNItemDelegate(*this, this);
    setModel(model_);
    setItemDelegate(delegate_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    // The rows change under the view only between these two calls; the
    // selection and the current row follow their games.
    pgn_.OnBeforeRowsChange = [this] {
        SaveSelection();
        model_->BeginReset();
    };
    pgn_.OnAfterRowsChange = [this] {
        model_->EndReset();
        RestoreSelection();
    };
    pgn_.OnHourglass = [this](bool On) {
        if (On) {
            if (hourglass_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
        } else if (hourglass_ > 0 && --hourglass_ == 0) {
            QApplication::restoreOverrideCursor();
        }
    };
    pgn_.OnRepaint = [this] { viewport()->update(); };
    pgn_.OnShowError = [this](const std::string& Text) {
        QMessageBox::critical(this, QString(), QString::fromStdString(Text));
    };
}

TPGNList::~TPGNList() {
    pgn_.OnBeforeRowsChange = nullptr;
    pgn_.OnAfterRowsChange = nullptr;
    pgn_.OnRepaint = nullptr;
    while (hourglass_ > 0) {
        --hourglass_;
        QApplication::restoreOverrideCursor();
    }
    pgn_.OnHourglass = nullptr;
}

void TPGNList::SaveSelection() {
    savedGames_.clear();
    savedCurrent_ = -1;
    savedStamp_ = pgn_.NumberingStamp();
    // Numbers given out since the rows last changed name other games.
    if (savedStamp_ != stamp_) return;
    const int n = pgn_.ItemCount();
    for (int row : SelectedRows()) {
        if (row >= n) continue;
        const int game = pgn_.RowGameNo(row);
        if (game >= 0) savedGames_.push_back(game);
    }
    const int cur = ItemIndex();
    if (cur >= 0 && cur < n) savedCurrent_ = pgn_.RowGameNo(cur);
}

void TPGNList::RestoreSelection() {
    stamp_ = pgn_.NumberingStamp();
    std::vector<int> games;
    games.swap(savedGames_);
    const int current = std::exchange(savedCurrent_, -1);
    if (stamp_ != savedStamp_ || (games.empty() && current < 0)) return;
    std::sort(games.begin(), games.end());
    auto chosen = [&games](int Game) {
        return Game >= 0 && std::binary_search(games.begin(), games.end(), Game);
    };
    QItemSelection selection;
    int first = -1, currentRow = -1;
    const int n = pgn_.ItemCount();
    for (int row = 0; row <= n; ++row) {
        const int game = row < n ? pgn_.RowGameNo(row) : -1;
        const bool on = row < n && chosen(game);
        if (on && first < 0) first = row;
        if (!on && first >= 0) {
            selection.select(model_->index(first, 0), model_->index(row - 1, 0));
            first = -1;
        }
        if (currentRow < 0 && current >= 0 && game == current) currentRow = row;
    }
    if (!selection.isEmpty()) selectionModel()->select(selection, QItemSelectionModel::Select);
    if (currentRow >= 0)
        selectionModel()->setCurrentIndex(model_->index(currentRow, 0),
                                          QItemSelectionModel::NoUpdate);
}

void TPGNList::DrawItem(QPainter* Painter, int Row, const QRect& Rect,
                        const QStyleOptionViewItem& Option, const QModelIndex& Index) {
    if (pgn_.DrawingSuppressed() || pgn_.DatabaseBusy()) return;
    if (!OnPGNDrawItem) {
        delegate_->PaintDefault(Painter, Option, Index);
        return;
    }
    const int game = pgn_.GameIndex(Row);
    pgn_.ReadHeader(game);
    Painter->save();
    OnPGNDrawItem(this, Painter, Row, Rect, pgn_.GameHeader(), game);
    Painter->restore();
}

void TPGNList::DblClick() {
    if (!OnPGNDblClick || !pgn_.Loaded()) return;
    int gameNo = -1;
    std::string text;
    pgn_.GetGame(pgn_.GameIndex(ItemIndex()), gameNo, text);
    if (!text.empty()) OnPGNDblClick(this, text, gameNo);
}

void TPGNList::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
    if (Key == '\r') DblClick();
}

QString TPGNList::DataItemText(int Row) const {
    return pgn_.IsDatabase() ? QString::number(Row) : QString();
}

int TPGNList::ItemIndex() const {
    QModelIndex i = currentIndex();
    return i.isValid() ? i.row() : -1;
}

void TPGNList::SetItemIndex(int Row) {
    if (Row < 0 || Row >= pgn_.ItemCount()) {
        setCurrentIndex(QModelIndex());
        return;
    }
    setCurrentIndex(model_->index(Row, 0));
}

int TPGNList::ItemAtPos(const QPoint& Pos) const {
    QModelIndex i = indexAt(Pos);
    return i.isValid() ? i.row() : -1;
}

bool TPGNList::Selected(int Row) const {
    if (Row < 0 || Row >= ItemCount()) return false;
    return selectionModel()->isSelected(model_->index(Row, 0));
}

void TPGNList::SetSelected(int Row, bool Value) {
    if (Row < 0 || Row >= ItemCount()) return;
    selectionModel()->select(model_->index(Row, 0),
                             Value ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void TPGNList::SetRowsSelected(const std::vector<int>& Rows, size_t First, size_t Count,
                               bool Value) {
    std::vector<int> rows;
    for (size_t i = First; i < First + Count && i < Rows.size(); ++i)
        if (Rows[i] >= 0 && Rows[i] < ItemCount()) rows.push_back(Rows[i]);
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] <= rows[j] + 1)
            ++j;
        selection.select(model_->index(rows[i], 0), model_->index(rows[j], 0));
        i = j + 1;
    }
    if (!selection.isEmpty())
        selectionModel()->select(selection, Value ? QItemSelectionModel::Select
                                                  : QItemSelectionModel::Deselect);
}

int TPGNList::SelCount() const {
    return static_cast<int>(SelectedRows().size());
}

std::vector<int> TPGNList::SelectedRows() const {
    std::vector<int> rows;
    for (const QItemSelectionRange& r : selectionModel()->selection()) {
        if (!r.isValid() || r.parent().isValid()) continue;
        for (int row = r.top(); row <= r.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TPGNList::mouseDoubleClickEvent(QMouseEvent* Event) {
    QListView::mouseDoubleClickEvent(Event);
    if (indexAt(Event->position().toPoint()).isValid()) DblClick();
}

void TPGNList::keyPressEvent(QKeyEvent* Event) {
    QListView::keyPressEvent(Event);
    char key = 0;
    if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter)
        key = '\r';
    else if (Event->text().size() == 1 && Event->text().at(0).unicode() < 128)
        key = static_cast<char>(Event->text().at(0).unicode());
    if (key != 0) KeyPress(key);
}

} // namespace kb
