// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIPGN: the window that lists the games of one PGN file or own database.
// It filters the list by header fields, position and material, sorts it by a
// header column, paints each row, opens games in board windows, deletes
// games or the whole file, compresses a database, copies games between lists
// by drag and drop, classifies openings, copies pairing tables and prints.
#pragma once

#include "MdiWindows.h"
#include "Notation.h"
#include "PGNList.h"
#include "PGNWinCopy.h"
#include "PGNWinHost.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QHeaderView;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;
class QStandardItemModel;
class QToolButton;
class QPushButton;

namespace kb {

class TBrett;
class TMDIPGN;

// The list of a list window: drags its selected rows out under our own MIME
// type and takes drops from other list windows.
class TPGNWinList : public TPGNList {
    Q_OBJECT
public:
    TPGNWinList(TMDIPGN* Owner, QWidget* Parent);

protected:
    void startDrag(Qt::DropActions Actions) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;

private:
    TMDIPGN* owner_;
};

class TMDIPGN : public QWidget, public TListWindowIntf {
    Q_OBJECT
public:
    explicit TMDIPGN(QWidget* Parent = nullptr);
    ~TMDIPGN() override;

    // TListWindowIntf.
    QWidget* Window() override { return this; }
    QRect InitialGeometry() const override;
    QString OpenFile(const QString& FileName) override;
    TPGN* PGN() override;
    void SetupForKind(bool IsDatabase) override;
    void ReadFileAgain() override;
    // The frame's close asks nothing of a list: only busy work refuses.
    bool CloseQuery() override;

    // Every open list window (drops name their source by it).
    static const std::vector<TMDIPGN*>& Windows();
    static TMDIPGN* FromList(const TPGN* List);

    // Toolbar.
    QWidget* Panel1 = nullptr;
    QToolButton* sbFilter = nullptr;
    QToolButton* sbOpen = nullptr;
    QToolButton* sbDeleteGame = nullptr;
    QToolButton* sbDeleteDatabase = nullptr;
    QToolButton* sbDragInsert = nullptr;
    QToolButton* bPrint = nullptr;
    QToolButton* bECO = nullptr;
    QToolButton* bCompress = nullptr;
    // List.
    QWidget* Panel2 = nullptr;
    QHeaderView* HeaderControl = nullptr;
    TPGNWinList* PGN1 = nullptr;
    std::unique_ptr<TNotation> hNotation;
    // Filter panel, inside a box that scrolls it sideways in a narrow window.
    QWidget* pFilter = nullptr;
    QWidget* FilterBox = nullptr;
    TBrett* SearchBrett = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label19 = nullptr;
    QLabel* LabelECO = nullptr;
    QLineEdit* eSpieler = nullptr;
    QRadioButton* rbWeiss = nullptr;
    QRadioButton* rbSchwarz = nullptr;
    QRadioButton* rbBeide = nullptr;
    QLineEdit* eEreignis = nullptr;
    QLineEdit* eECO = nullptr;
    QCheckBox* cbZeitraum = nullptr;
    QSpinBox* seAYear = nullptr;
    QSpinBox* seEYear = nullptr;
    QCheckBox* cbGewinn = nullptr;
    QCheckBox* cbRemis = nullptr;
    QCheckBox* cbVerlust = nullptr;
    QCheckBox* cbPosition = nullptr;
    QCheckBox* cbMaterial = nullptr;
    QPushButton* bFilter = nullptr;
    QPushButton* bEmpty = nullptr;
    // Pop-up menu of the list.
    QMenu* PopupMenu1 = nullptr;
    QAction* HTMLkopieren1 = nullptr;
    QAction* extkopieren1 = nullptr;

    // The material ranges of the filter.
    TPiecesFilter MaterialFilter;

    // Handlers.
    void ApplyLanguage() override;
    void PGN1FilterRequest(const TEventData& GameHeader, bool& ShowThisGame);
    void PGN1PGNDrawItem(QPainter* Canvas, int Index, const QRect& Rect,
                         const TEventData& GameHeader, int GameIndex);
    void PGN1PGNDblClick(const std::string& Text, int GameNo);
    void PGN1BeforeCreatePGNFile(const std::string& FileName, bool& Create);
    void HeaderControlSectionClick(int Section);
    void sbFilterClick();
    void bFilterClick();
    // After the list read its file anew (every game, file order): the
    // panel's filter again while the filter button is down.
    void ListReread();
    void bEmptyClick();
    void cbPositionClick();
    void cbMaterialClick();
    void sbDeleteGameClick();
    void sbDeleteDatabaseClick();
    void bCompressClick();
    void bECOClick();
    void bPrintClick();
    void HTMLkopieren1Click();
    void extkopieren1Click();
    // The pairing table of the selected rows (every row when fewer than two
    // are selected), also put on the clipboard.
    std::string CopyPairings(bool Html);

    // A board window holds a game of this list and the user does not want
    // to close it anyway.
    bool ListInUse();
    void ReleaseBoards();
    // A change of the list's file did not go through: the reason is told,
    // and a file another program changed is read again, so that the next
    // change can go through.
    void TellChangeFailed();

    // Copies the selected rows of Source into this list: at the row under
    // DropRow when sbDragInsert is down, else appended.
    TCopyResult DropFrom(TMDIPGN* Source, int DropRow);
    // The progress of a copy out of Source: false once the user stopped it
    // or Source is gone.
    std::function<bool(int SourceRow, int Done, int Total)> CopyProgress(QPointer<TMDIPGN> Source);

    // The selected rows, in row order.
    std::vector<int> SelectedRows() const;
    // Closes the MDI sub-window around this window (or this window).
    void CloseWindow();

    // The ECO code of a game text (the opening table; tests put their own).
    static std::function<std::string(const std::string& GameText)>& EcoClassifier();
    // Previews and prints the joined texts of games.
    static std::function<void(QWidget* Parent, const std::string& Games)>& GamePrinter();
    // Edits the material filter in the material dialog; true on OK.
    static std::function<bool(QWidget* Parent, TPiecesFilter& Filter)>& MaterialDialog();

protected:
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void BuildToolbar();
    void BuildList();
    void BuildFilterPanel();
    void RegisterCaption(int N, std::function<void(const QString&)> Set, const QString& German);
    bool FormCloseQuery();
    void TellOpenRefusal(const QString& FileName);
    // Disables the window and locks the boards for one long operation.
    class TLongWork;
    void Trace(int Percent, TCancelMode& Mode);
    // The panel holds a criterion (an empty one filters nothing).
    bool FilterCriteria() const;

    TFischerInfo fischerInfo_{};
    // The rows were last built with the panel's filter.
    bool listFiltered_ = false;
    // A PGN file to delete once this window is gone.
    QString pendingDelete_;
};

// A new list window for the frame (owned by the caller).
TListWindowIntf* NewListWindow();

} // namespace kb
