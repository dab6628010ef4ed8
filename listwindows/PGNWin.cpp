// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIPGN: building the window, captions, closing, keys and the list's
// events.
#include "PGNWin.h"

#include "Brett.h"
#include "Local.h"
#include "NotationWidgetText.h"
#include "PGNWinEco.h"
#include "UfrmMaterial.h"
#include "uReport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDrag>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <numeric>

namespace kb {

namespace {

// Number, players, event, year, result, ECO: the widths a first window
// gives them (players and event then share what the window has).
constexpr int kColumnWidths[6] = {56, 250, 230, 48, 66, 50};

std::vector<TMDIPGN*>& OpenWindows() {
    static std::vector<TMDIPGN*> windows;
    return windows;
}

// "Short|long" hints: the short part labels the button (the long one when
// there is no short part); tool tip and status tip as everywhere.
void ShowHint(QToolButton* B, const QString& Hint) {
    const qsizetype bar = Hint.indexOf(QLatin1Char('|'));
    const QString shortText = bar < 0 ? Hint : Hint.left(bar);
    B->setText(shortText.isEmpty() ? Hint.mid(bar + 1) : shortText);
    ::SetHint(B, Hint);
}

QString ToolTipOf(const QString& Hint) {
    const qsizetype bar = Hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? Hint : Hint.mid(bar + 1);
}

TFigurenset SetFor(int Size) {
    TFigurenset best = TFigurenset::F32;
    for (int i = 1; i <= 14; ++i) {
        const auto set = static_cast<TFigurenset>(i);
        if (std::abs(FigurenGroesse(set) - Size) < std::abs(FigurenGroesse(best) - Size))
            best = set;
    }
    return best;
}

// Holds the filter panel at its full size where there is room; in a window
// smaller than the panel it scrolls the panel instead of making the window
// larger, so that a tiled window keeps its top left part in view.
class TFilterBox : public QScrollArea {
public:
    explicit TFilterBox(QWidget* Parent) : QScrollArea(Parent) {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    }
    QSize sizeHint() const override {
        if (!widget()) return QScrollArea::sizeHint();
        const QSize least = widget()->minimumSizeHint().expandedTo(widget()->minimumSize());
        QSize s = widget()->sizeHint().expandedTo(least);
        if (width() < least.width()) s.rheight() += horizontalScrollBar()->sizeHint().height();
        return s;
    }
    QSize minimumSizeHint() const override {
        const int bar = horizontalScrollBar()->sizeHint().height();
        return {3 * bar, std::min(3 * bar, sizeHint().height())};
    }

protected:
    void resizeEvent(QResizeEvent* Event) override {
        QScrollArea::resizeEvent(Event);
        // The sideways scroll bar comes or goes: the height wanted changes.
        if (widget()) {
            const int panel =
                widget()->minimumSizeHint().expandedTo(widget()->minimumSize()).width();
            if ((Event->size().width() < panel) != (Event->oldSize().width() < panel))
                updateGeometry();
        }
    }
};

// The toolbar: a row of tool buttons that never makes its window wider.
// The buttons that do not fit are hidden from the right, and a button at the
// end lists them in a menu.
class TToolPanel : public QWidget {
public:
    explicit TToolPanel(QWidget* Parent) : QWidget(Parent) {
        row_ = new QHBoxLayout(this);
        row_->setContentsMargins(2, 2, 2, 2);
        row_->setSpacing(2);
        more_ = new QToolButton(this);
        more_->setObjectName(QStringLiteral("bMore"));
        more_->setAutoRaise(true);
        more_->setIcon(style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton));
        more_->hide();
        menu_ = new QMenu(this);
        menu_->setObjectName(QStringLiteral("MoreMenu"));
        connect(more_, &QToolButton::clicked, this, [this] { ShowMore(); });
    }
    void AddButton(QToolButton* B) { buttons_.push_back(B); }
    // After the buttons: every child button in its place, then the end.
    void Finish() {
        for (QToolButton* b : findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
            if (b != more_) row_->addWidget(b);
        row_->addStretch(1);
        row_->addWidget(more_);
    }
    QSize minimumSizeHint() const override {
        const QMargins m = row_->contentsMargins();
        return {m.left() + more_->sizeHint().width() + m.right(),
                QWidget::minimumSizeHint().height()};
    }

protected:
    void resizeEvent(QResizeEvent* Event) override {
        QWidget::resizeEvent(Event);
        Fit();
    }
    bool event(QEvent* Event) override {
        const bool done = QWidget::event(Event);
        // A caption changed: the buttons' widths with it.
        if (Event->type() == QEvent::LayoutRequest) Fit();
        return done;
    }

private:
    void Fit() {
        const QMargins m = row_->contentsMargins();
        const int room = width() - m.left() - m.right();
        int all = 0;
        for (QToolButton* b : buttons_)
            all += b->sizeHint().width() + row_->spacing();
        const int left = all - row_->spacing() <= room ? room : room - more_->sizeHint().width();
        int used = 0;
        bool hidden = false;
        for (QToolButton* b : buttons_) {
            used += b->sizeHint().width();
            const bool fits = !hidden && used <= left;
            hidden = !fits;
            if (b->isHidden() == fits) b->setVisible(fits);
            used += row_->spacing();
        }
        if (more_->isHidden() == hidden) more_->setVisible(hidden);
    }
    void ShowMore() {
        menu_->clear();
        for (QToolButton* b : buttons_) {
            if (!b->isHidden()) continue;
            QAction* item = menu_->addAction(b->text());
            item->setToolTip(b->toolTip());
            item->setStatusTip(b->statusTip());
            item->setEnabled(b->isEnabled());
            item->setCheckable(b->isCheckable());
            item->setChecked(b->isChecked());
            // Once the menu has closed.
            connect(item, &QAction::triggered, b, &QToolButton::click, Qt::QueuedConnection);
        }
        if (!menu_->isEmpty()) menu_->popup(more_->mapToGlobal(QPoint(0, more_->height())));
    }

    QHBoxLayout* row_ = nullptr;
    QToolButton* more_ = nullptr;
    QMenu* menu_ = nullptr;
    std::vector<QToolButton*> buttons_;
};

} // namespace

// --- the list ---------------------------------------------------------------

TPGNWinList::TPGNWinList(TMDIPGN* Owner, QWidget* Parent) : TPGNList(Parent), owner_(Owner) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
}

void TPGNWinList::startDrag(Qt::DropActions) {
    const std::vector<int> rows = owner_->SelectedRows();
    if (rows.empty()) return;
    auto* mime = new QMimeData;
    mime->setData(kGamesMimeType, EncodeGamesDrag(&PGN(), rows));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void TPGNWinList::dragEnterEvent(QDragEnterEvent* Event) {
    if (Event->mimeData()->hasFormat(kGamesMimeType))
        Event->acceptProposedAction();
    else
        Event->ignore();
}

void TPGNWinList::dragMoveEvent(QDragMoveEvent* Event) {
    const TPGN* source = nullptr;
    std::vector<int> rows;
    // Only another list window's games are taken.
    if (DecodeGamesDrag(Event->mimeData()->data(kGamesMimeType), source, rows) &&
        source != &PGN() && TMDIPGN::FromList(source)) {
        Event->setDropAction(Qt::CopyAction);
        Event->accept();
    } else {
        Event->ignore();
    }
}

void TPGNWinList::dropEvent(QDropEvent* Event) {
    const TPGN* source = nullptr;
    std::vector<int> rows;
    if (!DecodeGamesDrag(Event->mimeData()->data(kGamesMimeType), source, rows)) return;
    TMDIPGN* from = TMDIPGN::FromList(source);
    if (!from || source == &PGN()) return;
    Event->setDropAction(Qt::CopyAction);
    Event->accept();
    const int row = ItemAtPos(Event->position().toPoint());
    // The drag ends before the copy starts, so the copy may pump messages.
    QMetaObject::invokeMethod(
        owner_,
        [owner = QPointer<TMDIPGN>(owner_), from = QPointer<TMDIPGN>(from), row] {
            if (owner && from) owner->DropFrom(from, row);
        },
        Qt::QueuedConnection);
}

// --- the window -------------------------------------------------------------

TMDIPGN::TMDIPGN(QWidget* Parent) : QWidget(Parent) {
    OpenWindows().push_back(this);
    setAttribute(Qt::WA_DeleteOnClose);
    hNotation = std::make_unique<TNotation>();
    hNotation->OnFischerInfo = [this](TNotation*, TFischerInfo Info) {
        if (Info.Fischer) {
            fischerInfo_ = Info;
            hNotation->FischerInfo = &fischerInfo_;
        } else {
            hNotation->FischerInfo = nullptr;
        }
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildToolbar();
    BuildList();
    BuildFilterPanel();
    const bool below = ListHost().ToolbarBelow();
    if (!below) layout->addWidget(Panel1);
    layout->addWidget(Panel2, 1);
    layout->addWidget(FilterBox);
    if (below) layout->addWidget(Panel1);
    FilterBox->hide();

    const QRect g = InitialGeometry();
    resize(g.size());
    move(g.topLeft());

    ApplyLanguage();
}

TMDIPGN::~TMDIPGN() {
    auto& all = OpenWindows();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    // The list goes before the notation it converts records with.
    delete PGN1;
    PGN1 = nullptr;
}

// The stored place when it is sensible; inside the frame's client area.
QRect TMDIPGN::InitialGeometry() const {
    const QRect g = ListHost().ListGeometry();
    // A first window is wide enough for every column: the list does not
    // scroll sideways, so a column past the edge could not be seen.
    const int columns = std::accumulate(std::begin(kColumnWidths), std::end(kColumnWidths), 0) +
                        PGN1->verticalScrollBar()->sizeHint().width() + 2 * PGN1->frameWidth() +
                        16;
    const int w = g.width() > 100 ? g.width() : std::max(640, columns);
    const int h = g.height() > 100 ? g.height() : 420;
    const QSize client = ListHost().MainClientSize();
    const int top =
        g.top() >= 0 && client.height() - Panel1->sizeHint().height() > g.top() + h ? g.top() : 0;
    const int left = g.left() >= 0 && client.width() > g.left() + w ? g.left() : 0;
    return {left, top, w, h};
}

const std::vector<TMDIPGN*>& TMDIPGN::Windows() {
    return OpenWindows();
}

TMDIPGN* TMDIPGN::FromList(const TPGN* List) {
    for (TMDIPGN* w : OpenWindows())
        if (w->PGN1 && &w->PGN1->PGN() == List) return w;
    return nullptr;
}

void TMDIPGN::BuildToolbar() {
    auto* bar = new TToolPanel(this);
    Panel1 = bar;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto button = [&](QToolButton*& B, const char* Name, bool Checkable) {
        B = new QToolButton(bar);
        B->setObjectName(QLatin1String(Name));
        B->setCheckable(Checkable);
        B->setAutoRaise(true);
    };
    button(sbFilter, "sbFilter", true);
    button(sbOpen, "sbOpen", false);
    sbOpen->hide();
    button(sbDeleteGame, "sbDeleteGame", false);
    button(sbDeleteDatabase, "sbDeleteDatabase", false);
    button(sbDragInsert, "sbDragInsert", true);
    button(bPrint, "bPrint", false);
    button(bECO, "bECO", false);
    button(bCompress, "bCompress", false);
    bCompress->setEnabled(false);
    for (QToolButton* b :
         {sbFilter, sbDeleteGame, sbDeleteDatabase, sbDragInsert, bPrint, bECO, bCompress})
        bar->AddButton(b);
    bar->Finish();

    connect(sbFilter, &QToolButton::toggled, this, [this] { sbFilterClick(); });
    connect(sbDeleteGame, &QToolButton::clicked, this, [this] { sbDeleteGameClick(); });
    connect(sbDeleteDatabase, &QToolButton::clicked, this, [this] { sbDeleteDatabaseClick(); });
    connect(bPrint, &QToolButton::clicked, this, [this] { bPrintClick(); });
    connect(bECO, &QToolButton::clicked, this, [this] { bECOClick(); });
    connect(bCompress, &QToolButton::clicked, this, [this] { bCompressClick(); });

    RegisterCaption(
        79, [this](const QString& S) { ShowHint(sbFilter, S); },
        QStringLiteral("Filter|Filter ein- oder ausschalten"));
    RegisterCaption(
        78, [this](const QString& S) { ShowHint(sbOpen, S); },
        QStringLiteral("Öffnen|KBF/PGN-Datei öffnen oder neu anlegen"));
    RegisterCaption(
        82, [this](const QString& S) { ShowHint(sbDeleteGame, S); },
        QStringLiteral("Partie löschen"));
    RegisterCaption(
        83, [this](const QString& S) { ShowHint(sbDeleteDatabase, S); },
        QStringLiteral("Datenbank löschen"));
    RegisterCaption(
        80, [this](const QString& S) { ShowHint(sbDragInsert, S); },
        QStringLiteral("Einfügen|Gedrückt = Partien werden an der Mausposition "
                       "eingefügt"));
    RegisterCaption(
        81, [this](const QString& S) { ShowHint(bPrint, S); },
        QStringLiteral("Drucken|Partien mit Diagrammen drucken"));
    RegisterCaption(
        172, [this](const QString& S) { ShowHint(bECO, QStringLiteral("ECO|") + S); },
        QStringLiteral("Eröffnungen bestimmen"));
    RegisterCaption(
        227,
        [this](const QString& S) {
            ShowHint(bCompress, (LwLanguageColumn() == 0 ? QStringLiteral("Komprimieren|")
                                                         : QStringLiteral("Compress|")) +
                                    S);
        },
        QStringLiteral("Datenbank komprimieren; gelöschte Partien entfernen"));
}

void TMDIPGN::BuildList() {
    Panel2 = new QWidget(this);
    auto* v = new QVBoxLayout(Panel2);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    auto* model = new QStandardItemModel(0, 6, this);
    HeaderControl = new QHeaderView(Qt::Horizontal, Panel2);
    HeaderControl->setObjectName(QStringLiteral("HeaderControl"));
    HeaderControl->setModel(model);
    HeaderControl->setSectionsClickable(true);
    HeaderControl->setHighlightSections(false);
    // The list does not scroll sideways: players and event share whatever
    // width the window has beside the other columns, so every column shows
    // in a narrow window, and names show whole in a wide one.
    HeaderControl->setStretchLastSection(false);
    HeaderControl->setSectionResizeMode(QHeaderView::Interactive);
    HeaderControl->setFixedHeight(HeaderControl->fontMetrics().height() + 8);
    for (int i = 0; i < 6; ++i)
        HeaderControl->resizeSection(i, kColumnWidths[i]);
    for (int i : {1, 2})
        HeaderControl->setSectionResizeMode(i, QHeaderView::Stretch);
    model->setHeaderData(5, Qt::Horizontal, QStringLiteral("ECO"));
    v->addWidget(HeaderControl);

    PGN1 = new TPGNWinList(this, Panel2);
    PGN1->setObjectName(QStringLiteral("PGN1"));
    PGN1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PGN1->installEventFilter(this);
    v->addWidget(PGN1, 1);
    TPGN& pgn = PGN1->PGN();
    pgn.DatabaseNotation = hNotation.get();
    pgn.OnPGNTrace = [this](TPGN*, int Percent, TCancelMode& Mode) { Trace(Percent, Mode); };
    pgn.OnFilterRequest = [this](TPGN*, const TEventData& H, bool& Show) {
        PGN1FilterRequest(H, Show);
    };
    pgn.BeforeCreatePGNFile = [this](TPGN*, const std::string& F, bool& Create) {
        PGN1BeforeCreatePGNFile(F, Create);
    };
    // Errors of the list (a database that needs repair) are asked like
    // every other message of the window.
    pgn.OnShowError = [this](const std::string& Text) {
        LwMessage(this, TLwMsgType::Error, QString::fromStdString(Text), lbOK);
    };
    PGN1->OnPGNDrawItem = [this](QWidget*, QPainter* P, int Index, const QRect& R,
                                 const TEventData& H,
                                 int GameIndex) { PGN1PGNDrawItem(P, Index, R, H, GameIndex); };
    PGN1->OnPGNDblClick = [this](TPGNList*, const std::string& Text, int GameNo) {
        PGN1PGNDblClick(Text, GameNo);
    };
    PGN1->ItemHeight = PGN1->fontMetrics().height() + 2;

    connect(HeaderControl, &QHeaderView::sectionClicked, this,
            [this](int Section) { HeaderControlSectionClick(Section); });
    connect(HeaderControl, &QHeaderView::sectionResized, this,
            [this] { PGN1->viewport()->update(); });

    PopupMenu1 = new QMenu(this);
    HTMLkopieren1 = PopupMenu1->addAction(QStringLiteral("HTML kopieren"));
    extkopieren1 = PopupMenu1->addAction(QStringLiteral("Text kopieren"));
    connect(HTMLkopieren1, &QAction::triggered, this, [this] { HTMLkopieren1Click(); });
    connect(extkopieren1, &QAction::triggered, this, [this] { extkopieren1Click(); });
    PGN1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PGN1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& P) { PopupMenu1->popup(PGN1->viewport()->mapToGlobal(P)); });

    for (int i = 0; i < 5; ++i) {
        static const char* const german[5] = {"Nr.", "Spieler", "Quelle", "Jahr", "Ergebnis"};
        RegisterCaption(
            62 + i,
            [this, model, i](const QString& S) {
                model->setHeaderData(i, Qt::Horizontal, S);
                // The search board follows the language too.
                if (i == 0 && SearchBrett) SearchBrett->English = LwLanguageColumn() != 0;
            },
            QString::fromUtf8(german[i]));
    }
    RegisterCaption(
        67, [this](const QString& S) { HeaderControl->setToolTip(ToolTipOf(S)); },
        QStringLiteral("|Sortieren..."));
    RegisterCaption(
        61,
        [this](const QString& S) {
            // "&&" stands for one ampersand in a caption, not in a tool tip.
            PGN1->setToolTip(ToolTipOf(S).replace(QStringLiteral("&&"), QStringLiteral("&")));
        },
        QStringLiteral("Diese Liste akzeptiert Drag&&Drop."));
}

void TMDIPGN::BuildFilterPanel() {
    auto* box = new TFilterBox(this);
    FilterBox = box;
    pFilter = new QWidget;
    pFilter->setObjectName(QStringLiteral("pFilter"));
    auto* h = new QHBoxLayout(pFilter);
    h->setContentsMargins(4, 4, 4, 4);

    SearchBrett = new TBrett(pFilter);
    SearchBrett->SetGroesse(20);
    SearchBrett->SetFiguren(SetFor(20));
    SearchBrett->Ziehenmoeglich = false;
    h->addWidget(SearchBrett, 0, Qt::AlignTop);
    pFilter->setMinimumHeight(SearchBrett->height() + 10);

    // Five short rows beside the board, so that a narrow window still shows
    // every caption whole: labels in the first column, the results on a
    // row of their own instead of after the years.
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    h->addLayout(grid, 1);
    auto line = [&](int Row, int Column, int Span) {
        auto* r = new QHBoxLayout;
        r->setContentsMargins(0, 0, 0, 0);
        r->setSpacing(6);
        grid->addLayout(r, Row, Column, 1, Span);
        return r;
    };

    Label17 = new QLabel(pFilter);
    eSpieler = new QLineEdit(pFilter);
    rbWeiss = new QRadioButton(pFilter);
    rbSchwarz = new QRadioButton(pFilter);
    rbBeide = new QRadioButton(pFilter);
    rbBeide->setChecked(true);
    grid->addWidget(Label17, 0, 0);
    grid->addWidget(eSpieler, 0, 1);
    auto* r1 = line(0, 2, 1);
    r1->addWidget(rbWeiss);
    r1->addWidget(rbSchwarz);
    r1->addWidget(rbBeide);

    Label19 = new QLabel(pFilter);
    eEreignis = new QLineEdit(pFilter);
    LabelECO = new QLabel(QStringLiteral("ECO:"), pFilter);
    eECO = new QLineEdit(pFilter);
    eECO->setMaximumWidth(70);
    grid->addWidget(Label19, 1, 0);
    auto* r2 = line(1, 1, 2);
    r2->addWidget(eEreignis, 1);
    r2->addWidget(LabelECO);
    r2->addWidget(eECO);

    cbZeitraum = new QCheckBox(pFilter);
    seAYear = new QSpinBox(pFilter);
    seEYear = new QSpinBox(pFilter);
    for (QSpinBox* s : {seAYear, seEYear}) {
        s->setRange(0, 3000);
        s->setValue(QDate::currentDate().year());
    }
    grid->addWidget(cbZeitraum, 2, 0);
    auto* r3 = line(2, 1, 2);
    r3->addWidget(seAYear);
    r3->addWidget(new QLabel(QStringLiteral("-"), pFilter));
    r3->addWidget(seEYear);
    r3->addStretch(1);

    cbGewinn = new QCheckBox(QStringLiteral("1 - 0"), pFilter);
    cbRemis = new QCheckBox(QStringLiteral("1/2 - 1/2"), pFilter);
    cbVerlust = new QCheckBox(QStringLiteral("0 - 1"), pFilter);
    auto* r4 = line(3, 0, 3);
    r4->addWidget(cbGewinn);
    r4->addSpacing(8);
    r4->addWidget(cbRemis);
    r4->addSpacing(8);
    r4->addWidget(cbVerlust);
    r4->addStretch(1);

    cbPosition = new QCheckBox(pFilter);
    cbMaterial = new QCheckBox(pFilter);
    bFilter = new QPushButton(pFilter);
    bEmpty = new QPushButton(pFilter);
    bFilter->setDefault(true);
    auto* r5 = line(4, 0, 3);
    r5->addWidget(cbPosition);
    r5->addWidget(cbMaterial);
    r5->addStretch(1);
    r5->addWidget(bEmpty);
    r5->addWidget(bFilter);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(5, 1);

    for (QLineEdit* e : {eSpieler, eEreignis, eECO})
        connect(e, &QLineEdit::returnPressed, this, [this] { bFilterClick(); });
    connect(bFilter, &QPushButton::clicked, this, [this] { bFilterClick(); });
    connect(bEmpty, &QPushButton::clicked, this, [this] { bEmptyClick(); });
    connect(cbPosition, &QCheckBox::clicked, this, [this] { cbPositionClick(); });
    connect(cbMaterial, &QCheckBox::clicked, this, [this] { cbMaterialClick(); });

    RegisterCaption(
        68, [this](const QString& S) { Label17->setText(S); }, QStringLiteral("Spieler:"));
    RegisterCaption(
        69, [this](const QString& S) { Label19->setText(S); }, QStringLiteral("Ereignis:"));
    RegisterCaption(
        70, [this](const QString& S) { rbWeiss->setText(S); }, QStringLiteral("Weiß"));
    RegisterCaption(
        71, [this](const QString& S) { rbSchwarz->setText(S); }, QStringLiteral("Schwarz"));
    RegisterCaption(
        72, [this](const QString& S) { rbBeide->setText(S); }, QStringLiteral("Beide"));
    RegisterCaption(
        73, [this](const QString& S) { cbZeitraum->setText(S); }, QStringLiteral("Zeitraum:"));
    RegisterCaption(
        74, [this](const QString& S) { cbPosition->setText(S); }, QStringLiteral("Stellung"));
    RegisterCaption(
        244, [this](const QString& S) { cbMaterial->setText(S); }, QStringLiteral("Material"));
    RegisterCaption(
        76, [this](const QString& S) { bEmpty->setText(S); }, QStringLiteral("Alles Leer"));
    RegisterCaption(
        77, [this](const QString& S) { bFilter->setText(S); }, QStringLiteral("Filtern"));
    static_cast<QScrollArea*>(FilterBox)->setWidget(pFilter);
}

void TMDIPGN::RegisterCaption(int N, std::function<void(const QString&)> Set,
                              const QString& German) {
    ::RegisterText(this, N, German, std::move(Set));
}

// What the string table does not cover: the search board's own language
// and the buttons whose units are missing.
void TMDIPGN::ApplyLanguage() {
    SearchBrett->English = LwLanguageColumn() != 0;
}

std::function<std::string(const std::string&)>& TMDIPGN::EcoClassifier() {
    static std::function<std::string(const std::string&)> f = ClassifyByTable;
    return f;
}

std::function<void(QWidget*, const std::string&)>& TMDIPGN::GamePrinter() {
    static std::function<void(QWidget*, const std::string&)> f = [](QWidget* Parent,
                                                                    const std::string& Games) {
        const TPrintMoveStyle moves = BoardMoveStyle();
        TfrmReport::PrintGames(Games, &moves, TReportOutput::Preview, Parent);
    };
    return f;
}

std::function<bool(QWidget*, TPiecesFilter&)>& TMDIPGN::MaterialDialog() {
    static std::function<bool(QWidget*, TPiecesFilter&)> f = [](QWidget* Parent,
                                                                TPiecesFilter& Filter) {
        return TfrmMaterial::EditFilter(Filter, Parent);
    };
    return f;
}

void TMDIPGN::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    ApplyLanguage();
}

QString TMDIPGN::OpenFile(const QString& FileName) {
    ListHost().SetStopRequested(false);
    PGN1->PGN().SetFileName(FileName.toStdString());
    const QString name = QString::fromStdString(PGN1->PGN().FileName());
    setWindowTitle(name);
    if (!name.isEmpty())
        SetupForKind(PGN1->PGN().IsDatabase());
    else
        TellOpenRefusal(FileName);
    return name;
}

// A file that does not open is named with the reason, rather than the
// window just not appearing.
void TMDIPGN::TellOpenRefusal(const QString& FileName) {
    using R = TPGN::TOpenRefusal;
    const bool de = LwLanguageColumn() == 0;
    QString text;
    switch (PGN1->PGN().OpenRefusal()) {
    case R::None:
        return;
    case R::NotPGN:
        text = de ? QStringLiteral("Die Datei \"%1\" enthält keine PGN-Partien.")
                  : QStringLiteral("The file \"%1\" holds no PGN games.");
        break;
    case R::NotDatabase:
        text = de ? QStringLiteral("Die Datei \"%1\" ist weder eine PGN-Datei noch eine Datenbank.")
                  : QStringLiteral("The file \"%1\" is neither a PGN file nor a database.");
        break;
    case R::DatabaseNotOpened:
        text = de ? QStringLiteral("Die Datenbank \"%1\" konnte nicht geöffnet werden. Vielleicht "
                                   "ist sie in einem anderen Programm geöffnet.")
                  : QStringLiteral("The database \"%1\" could not be opened. It may be open in "
                                   "another program.");
        break;
    case R::Unreadable:
        text = de ? QStringLiteral("Die Datei \"%1\" konnte nicht gelesen werden.")
                  : QStringLiteral("The file \"%1\" could not be read.");
        break;
    case R::NotCreated:
        text = de ? QStringLiteral("Die Datei \"%1\" konnte nicht angelegt werden.")
                  : QStringLiteral("The file \"%1\" could not be created.");
        break;
    }
    LwMessage(this, TLwMsgType::Error, text.arg(FileName), lbOK);
}

TPGN* TMDIPGN::PGN() {
    return &PGN1->PGN();
}

void TMDIPGN::SetupForKind(bool IsDatabase) {
    sbDragInsert->setEnabled(!IsDatabase);
    if (IsDatabase) sbDragInsert->setChecked(false);
    bCompress->setEnabled(IsDatabase);
}

void TMDIPGN::Trace(int Percent, TCancelMode& Mode) {
    ListHost().PGNTrace(&PGN1->PGN(), Percent, Mode);
}

std::vector<int> TMDIPGN::SelectedRows() const {
    return PGN1->SelectedRows();
}

void TMDIPGN::CloseWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

// --- closing ----------------------------------------------------------------

bool TMDIPGN::ListInUse() {
    if (ListHost().BoundBoards(&PGN1->PGN()) == 0) return false;
    return LwMessage(this, TLwMsgType::Warning, LwText(12), lbYes | lbNo) != lbYes;
}

void TMDIPGN::ReleaseBoards() {
    ListHost().ReleaseBoards(&PGN1->PGN());
}

bool TMDIPGN::FormCloseQuery() {
    if (ListHost().Busy() || PGN1->PGN().Busy()) return false;
    if (!ListHost().MainClosing()) {
        if (ListInUse()) return false;
        ReleaseBoards();
        QWidget* frame = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
        if (!frame->isMaximized() && !frame->isMinimized())
            ListHost().SetListGeometry(frame->geometry());
    }
    return true;
}

bool TMDIPGN::CloseQuery() {
    return isEnabled() && !ListHost().Busy() && !PGN1->PGN().Busy();
}

void TMDIPGN::closeEvent(QCloseEvent* Event) {
    if (!isEnabled() || !FormCloseQuery()) {
        Event->ignore();
        return;
    }
    Event->accept();
    if (!pendingDelete_.isEmpty()) {
        // The path travels with the call; the list closes its file when the
        // window is destroyed, and only then may the file go.
        connect(this, &QObject::destroyed, qApp,
                [path = pendingDelete_] { ListHost().DeleteFileLater(path); });
        pendingDelete_.clear();
    }
}

void TMDIPGN::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape) {
        CloseWindow();
        return;
    }
    QWidget::keyPressEvent(Event);
}

// Del in the list deletes the selected games (only there: elsewhere in the
// window the key is the control's own).
bool TMDIPGN::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == PGN1 && Event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Delete) {
        sbDeleteGameClick();
        return true;
    }
    return QWidget::eventFilter(Watched, Event);
}

// --- list events ------------------------------------------------------------

void TMDIPGN::PGN1PGNDrawItem(QPainter* Canvas, int Index, const QRect& Rect, const TEventData& H,
                              int) {
    const bool selected = PGN1->Selected(Index);
    const QPalette& pal = PGN1->palette();
    Canvas->fillRect(Rect, selected ? pal.highlight() : pal.base());
    Canvas->setPen(selected ? pal.highlightedText().color() : pal.text().color());
    if (PGN1->ItemIndex() == Index && PGN1->hasFocus()) {
        Canvas->save();
        Canvas->setPen(QPen(pal.text().color(), 1, Qt::DotLine));
        Canvas->drawRect(Rect.adjusted(0, 0, -1, -1));
        Canvas->restore();
    }
    QFont normal = PGN1->font();
    normal.setStrikeOut(H.Deleted);
    QFont bold = normal;
    bold.setBold(true);

    auto field = [](const std::string& S) { return !S.empty() && S != "?"; };
    QString source;
    if (field(H.Event)) source = DecodeGameText(H.Event);
    if (field(H.Site)) {
        if (!source.isEmpty()) source += QStringLiteral(", ");
        source += DecodeGameText(H.Site);
    }
    std::string result = H.Result == "1/2-1/2" ? std::string("1/2") : H.Result;
    const QString texts[6] = {
        QString::number(Index + 1),
        DecodeGameText(H.White) + QStringLiteral(" - ") + DecodeGameText(H.Black),
        source,
        H.Year == 0 ? QString() : QString::number(H.Year),
        DecodeGameText(result),
        DecodeGameText(H.ECO),
    };
    // Each column is clipped two pixels before the next section starts.
    int x = Rect.left() - HeaderControl->offset();
    for (int s = 0; s < 6; ++s) {
        const int w = HeaderControl->sectionSize(s);
        const int right = x + w - 2;
        Canvas->setFont(s == 1 || s == 4 ? bold : normal);
        const int left = s == 0 ? x + 5 : x + 2;
        QRect cell(left, Rect.top(), std::max(0, right - left), Rect.height());
        // The number stands right-aligned in the room of six digits.
        Qt::Alignment align = Qt::AlignLeft;
        if (s == 0) {
            cell.setWidth(std::min(
                cell.width(), Canvas->fontMetrics().horizontalAdvance(QStringLiteral("000000"))));
            align = Qt::AlignRight;
        }
        Canvas->drawText(
            cell, align | Qt::AlignVCenter | Qt::TextSingleLine,
            Canvas->fontMetrics().elidedText(texts[s], Qt::ElideRight, cell.width() + 1));
        x += w;
    }
}

void TMDIPGN::PGN1PGNDblClick(const std::string& Text, int GameNo) {
    ListHost().Log(QStringLiteral("Open %1").arg(PGN1->ItemIndex()));
    ListHost().OpenBoardWindow(&PGN1->PGN(), Text, GameNo);
}

void TMDIPGN::PGN1BeforeCreatePGNFile(const std::string& FileName, bool& Create) {
    const QString text = LwText(8) + QString::fromStdString(FileName) + LwText(9);
    Create = LwMessage(this, TLwMsgType::Confirmation, text, lbYes | lbNo) == lbYes;
}

TListWindowIntf* NewListWindow() {
    return new TMDIPGN;
}

} // namespace kb
