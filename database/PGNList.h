// SPDX-License-Identifier: GPL-3.0-or-later
// The list face of TPGN: a virtual list view whose rows are painted by the
// host (OnPGNDrawItem) from the header of each row's game, and which hands
// the text of a game to the host on double click or Enter.
#pragma once

#include "PGN.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QPainter;

namespace kb {

class TPGNList;

using TPGNDrawItemEvent =
    std::function<void(QWidget* Control, QPainter* Canvas, int Index, const QRect& Rect,
                       const TEventData& GameHeader, int GameIndex)>;
using TPGNDblClickEvent =
    std::function<void(TPGNList* Sender, const std::string& PGNGame, int GameID)>;
using TPGNKeyPressEvent = std::function<void(TPGNList* Sender, char& Key)>;

// Rows of the list: as many as TPGN has, texts from TPGNList::DataItemText.
class TPGNListModel : public QAbstractListModel {
    Q_OBJECT
public:
    TPGNListModel(TPGNList& List, QObject* Parent);
    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    // Rows can be selected and dragged (the host decides where they may go).
    Qt::ItemFlags flags(const QModelIndex& Index) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;

    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

private:
    TPGNList& list_;
};

class TPGNItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TPGNItemDelegate(TPGNList& List, QObject* Parent);
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

    void PaintDefault(QPainter* Painter, const QStyleOptionViewItem& Option,
                      const QModelIndex& Index) const {
        QStyledItemDelegate::paint(Painter, Option, Index);
    }

private:
    TPGNList& list_;
};

class TPGNList : public QListView {
    Q_OBJECT
public:
    explicit TPGNList(QWidget* Parent = nullptr);
    ~TPGNList() override;

    TPGN& PGN() { return pgn_; }
    const TPGN& PGN() const { return pgn_; }

    TPGNDrawItemEvent OnPGNDrawItem;
    TPGNDblClickEvent OnPGNDblClick;
    TPGNKeyPressEvent OnKeyPress;

    // Row height in pixels (fixed for every row).
    int ItemHeight = 0;

    // Paints one row: nothing while drawing is suppressed; the host's
    // drawing when OnPGNDrawItem is set, else the plain row.
    void DrawItem(QPainter* Painter, int Row, const QRect& Rect, const QStyleOptionViewItem& Option,
                  const QModelIndex& Index);
    // Reads the game of the current row and hands it to OnPGNDblClick.
    void DblClick();
    void KeyPress(char& Key);
    // Text of a row in the virtual list: the row number.
    QString DataItemText(int Row) const;

    int ItemIndex() const;
    void SetItemIndex(int Row);
    int ItemCount() const { return pgn_.ItemCount(); }
    // The row under a point of the list, -1 when there is none.
    int ItemAtPos(const QPoint& Pos) const;
    bool Selected(int Row) const;
    void SetSelected(int Row, bool Value);
    // Rows[First, First + Count) selected or not, in one change of the
    // selection.
    void SetRowsSelected(const std::vector<int>& Rows, size_t First, size_t Count, bool Value);
    int SelCount() const;
    // The selected rows in order. Read from the selection's ranges: asking
    // the selection model row by row takes minutes for a scattered
    // selection of many thousand rows.
    std::vector<int> SelectedRows() const;

protected:
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    // Around a change of the rows: the games of the selected rows and of
    // the current row are noted, and afterwards the rows that still show
    // them are selected again; rows never keep a selection for their index.
    void SaveSelection();
    void RestoreSelection();

    TPGN pgn_;
    TPGNListModel* model_;
    TPGNItemDelegate* delegate_;
    std::vector<int> savedGames_;
    int savedCurrent_ = -1;
    // Numbering of the games at the last change of the rows and when the
    // selection was noted; a new numbering (new scan, compress) drops it.
    std::pair<int64_t, int64_t> stamp_{-1, -1};
    std::pair<int64_t, int64_t> savedStamp_{-1, -1};
    int hourglass_ = 0;
};

} // namespace kb
