// SPDX-License-Identifier: GPL-3.0-or-later
// The frame: start-up, menus, status bar, commands and the orderly close.
#include "Main.h"

#include "About.h"
#include "DialogsLng.h"
#include "Local.h"
#include "UPieces.h"
#include "cProtokoll.h"

#include "Brett.h"
#include "PGN.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QStatusTipEvent>
#include <QStyleOptionMenuItem>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <climits>

namespace {

TMainForm* g_MainForm = nullptr;

// The three menu images: a board, a board marked 960, a stack of files.
QIcon MenuImage(int Index) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    if (Index == 2) {
        for (int i = 2; i >= 0; --i) {
            const QRect r(1 + 2 * i, 1 + 3 * i, 10, 8);
            p.fillRect(r, i == 0 ? QColor(255, 240, 200) : QColor(220, 200, 150));
            p.setPen(QColor(120, 90, 40));
            p.drawRect(r);
        }
        return QIcon(pm);
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            p.fillRect(1 + 3 * x + (x > 1 ? 1 : 0), 1 + 3 * y + (y > 1 ? 1 : 0), 3, 3,
                       (x + y) % 2 ? QColor(120, 80, 40) : QColor(240, 220, 180));
    p.setPen(QColor(60, 40, 20));
    p.drawRect(0, 0, 14, 14);
    if (Index == 1) {
        p.fillRect(8, 9, 8, 7, QColor(200, 0, 0));
        p.setPen(Qt::white);
        p.drawLine(10, 11, 14, 11);
        p.drawLine(10, 13, 14, 13);
    }
    return QIcon(pm);
}

// Menu-bar items that carry an image show it beside their caption.
class TMenuBarStyle : public QProxyStyle {
public:
    QSize sizeFromContents(ContentsType Type, const QStyleOption* Option, const QSize& Size,
                           const QWidget* Widget) const override {
        QSize s = QProxyStyle::sizeFromContents(Type, Option, Size, Widget);
        if (Type == CT_MenuBarItem)
            if (auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(Option);
                mi && !mi->icon.isNull() && !mi->text.isEmpty())
                s.rwidth() += 4 + mi->fontMetrics.horizontalAdvance(PlainText(mi->text));
        return s;
    }
    void drawControl(ControlElement Element, const QStyleOption* Option, QPainter* Painter,
                     const QWidget* Widget) const override {
        auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(Option);
        if (Element != CE_MenuBarItem || !mi || mi->icon.isNull() || mi->text.isEmpty()) {
            QProxyStyle::drawControl(Element, Option, Painter, Widget);
            return;
        }
        // The item's background as the style draws it, then image and caption.
        QStyleOptionMenuItem bg = *mi;
        bg.text.clear();
        bg.icon = QIcon();
        QProxyStyle::drawControl(Element, &bg, Painter, Widget);
        const int ext = pixelMetric(PM_SmallIconSize, Option, Widget);
        const QRect r = mi->rect.adjusted(4, 0, -4, 0);
        const QRect iconRect(r.left(), r.center().y() - ext / 2, ext, ext);
        mi->icon.paint(Painter, iconRect);
        const QRect textRect = r.adjusted(ext + 4, 0, 0, 0);
        drawItemText(Painter, textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                     mi->palette, mi->state & State_Enabled, mi->text, QPalette::ButtonText);
    }

private:
    static QString PlainText(QString Text) {
        Text.replace("&&", QString(QChar(1)));
        Text.remove('&');
        Text.replace(QChar(1), "&");
        return Text;
    }
};

} // namespace

// While SafeProcessMessages pumps, the user's input reaches only the stop button.
class TStopButtonFilter : public QObject {
public:
    explicit TStopButtonFilter(QWidget* Stop) : stop_(Stop) {}
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        switch (Event->type()) {
        case QEvent::Shortcut:
            // Menu shortcuts go to their actions, which are no widgets.
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::Drop:
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            // Input reaches the platform's windows first and widgets after:
            // it is held back at the widget, unless that is the stop button.
            auto* w = qobject_cast<QWidget*>(Watched);
            if (!w) return false;
            return !(stop_ && (w == stop_ || stop_->isAncestorOf(w)));
        }
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> stop_;
};

TMainForm* MainForm() {
    return g_MainForm;
}

QString ExecutableDir() {
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty()) dir = QDir::currentPath();
    if (!dir.endsWith('/')) dir += '/';
    return dir;
}

TCommandLine ParseCommandLine(const QStringList& Arguments) {
    TCommandLine cl;
    if (Arguments.isEmpty()) return cl;
    cl.FileName = Arguments[0];
    if (Arguments.size() < 2) return cl;
    cl.HasRow = true;
    const QString& s = Arguments[1];
    int i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size()) return cl;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return cl;
        v = v * 10 + (s[i].unicode() - '0');
        // Checked per digit, so that no long input can overflow.
        if (v > static_cast<long long>(INT_MAX) + 1) return cl;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return cl;
    cl.Row = static_cast<int>(v);
    cl.RowValid = true;
    return cl;
}

TMainForm::TMainForm(const QString& Dir, const QStringList& Arguments, QWidget* Parent)
    : QMainWindow(Parent), arguments_(Arguments) {
    g_MainForm = this;
    setObjectName("MainForm");
    setWindowTitle("Kestrelbay");
    setWindowIcon(ProgramIcon());
    ProgramDir = Dir.isEmpty() ? ExecutableDir() : Dir;
    if (!ProgramDir.endsWith('/')) ProgramDir += '/';

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setObjectName("MdiArea");
    mdiArea_->setBackground(palette().brush(QPalette::Dark));
    // As in the window stacking order: closing the front window shows the
    // one that was in front before it.
    mdiArea_->setActivationOrder(QMdiArea::ActivationHistoryOrder);
    mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea_);

    hBrett = new kb::TBrett(this);
    hBrett->setObjectName("hBrett");
    hBrett->hide();
    tacticPGN_ = std::make_unique<kb::TPGN>();
    tacticPGN = tacticPGN_.get();

    CreateMenus();
    CreateStatusBar();
    stopFilter_ = std::make_unique<TStopButtonFilter>(bStop);

    // The first start without a file and without an ini installs the
    // program before any frame is built (main.cpp).
    BuildTacticsMenu();
    const bool hasTactics =
        QFileInfo::exists(ProgramDir + "t1.pgn") || QFileInfo::exists(ProgramDir + "t1.kom");
    mKombis->menuAction()->setVisible(hasTactics);

    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] { UpdateMenuItems(); });

    logFile_ = std::make_unique<TProtokoll>(ProgramDir + "kblogfile.txt");

    // The translators' template, then the language menu: "Deutsch" and one
    // item per language file. A write-protected folder only costs the file.
    WriteLanguageFile(ProgramDir + "English.lng");
    BuildLanguageMenu();

    ReadIni();
    logFile_->DisableLog = DisableLog;
    resize(800, 600);
    ApplyMainGeometry();
    UpdateMenuItems();

    QMetaObject::invokeMethod(this, &TMainForm::WMStartup, Qt::QueuedConnection);
}

TMainForm::~TMainForm() {
    // Children first, while the frame they read from still stands.
    const auto subs = mdiArea_->subWindowList();
    for (QMdiSubWindow* sub : subs)
        delete sub;
    children_.clear();
    if (g_MainForm == this) g_MainForm = nullptr;
}

void TMainForm::CreateMenus() {
    auto action = [this](const char* Name, const QString& Caption, const QKeySequence& Key,
                         void (TMainForm::*Slot)()) {
        auto* a = new QAction(Caption, this);
        a->setObjectName(Name);
        if (!Key.isEmpty()) a->setShortcut(Key);
        if (Slot) connect(a, &QAction::triggered, this, Slot);
        addAction(a); // shortcuts work while the menu bar is hidden behind a dialog, too
        return a;
    };
    auto checked = [](QAction* a, bool On) {
        a->setCheckable(true);
        a->setChecked(On);
        return a;
    };
    QMenuBar* bar = menuBar();
    auto* barStyle = new TMenuBarStyle;
    barStyle->setParent(bar);
    bar->setStyle(barStyle);

    mGameOpen = action("mGameOpen", "&Neue Partie", Qt::Key_F4, &TMainForm::mGameOpenClick);
    mGameOpen->setIcon(MenuImage(0));
    mNewFRC = action("mNewFRC", "Neue F&RC-Partie", Qt::Key_F5, &TMainForm::mNewFRCClick);
    mNewFRC->setIcon(MenuImage(1));
    mHistory = action("mHistory", "&Datenbanken", Qt::Key_F8, &TMainForm::mHistoryClick);
    mHistory->setIcon(MenuImage(2));
    bar->addAction(mGameOpen);
    bar->addAction(mNewFRC);
    bar->addAction(mHistory);

    mOptions = bar->addMenu("&Optionen");
    mOptions->setObjectName("mOptions");
    mKombis = mOptions->addMenu("Kombinationen");
    mKombis->setObjectName("mKombis");
    mFont = action("mFont", "Schriftart für Züge...", {}, &TMainForm::mFontClick);
    mFontComm = action("mFontComm", "Schriftart für Kommentare...", {}, &TMainForm::mFontCommClick);
    mOptions->addAction(mFont);
    mOptions->addAction(mFontComm);
    mFontPrint = mOptions->addMenu("Schriftart für Drucken");
    mFontPrint->setObjectName("mFontPrint");
    auto* printFonts = new QActionGroup(this);
    m1Echecs = checked(action("m1Echecs", "1Echecs", {}, nullptr), false);
    mChessMerida = checked(action("mChessMerida", "Chess Merida", {}, nullptr), true);
    printFonts->addAction(m1Echecs);
    printFonts->addAction(mChessMerida);
    mFontPrint->addAction(m1Echecs);
    mFontPrint->addAction(mChessMerida);
    mOptions->addSeparator();
    mWhiteSquare = action("mWhiteSquare", "Farbe helles Feld", {}, &TMainForm::mWhiteSquareClick);
    mBlackSquare = action("mBlackSquare", "Farbe dunkles Feld", {}, &TMainForm::mBlackSquareClick);
    mOptions->addAction(mWhiteSquare);
    mOptions->addAction(mBlackSquare);
    Engines1 = action("Engines1", "&Engines ...", {}, &TMainForm::Engines1Click);
    mOptions->addAction(Engines1);
    mOptions->addSeparator();
    mAnimation = checked(action("mAnimation", "&Animation", {}, &TMainForm::mAnimationClick), true);
    mClickClick = checked(
        action("mClickClick", "&Zugeingabe per Klick&&Klick", {}, &TMainForm::mClickClickClick),
        true);
    mShowLastMove = checked(action("mShowLastMove", "&Letzten Zug zeigen", {}, nullptr), true);
    mToolbarBelow = checked(action("mToolbarBelow", "&Toolbar unten", {}, nullptr), false);
    mOptions->addAction(mAnimation);
    mOptions->addAction(mClickClick);
    mOptions->addAction(mShowLastMove);
    mOptions->addAction(mToolbarBelow);
    mOptions->addSeparator();
    mSprache = mOptions->addMenu("Sprache");
    mSprache->setObjectName("mSprache");
    N2 = mSprache->addSeparator();
    N2->setObjectName("N2");
    mOtherLang = action("mOtherLang", "Weitere Sprachen ...", {}, &TMainForm::mOtherLangClick);
    mSprache->addAction(mOtherLang);
    mOptions->addSeparator();
    mAssignPGN = action("mAssignPGN", "&Endung .pgn zu Kestrelbay zuordnen", {},
                        &TMainForm::mAssignPGNClick);
    mUninstall =
        action("mUninstall", "Kestrelbay &deinstallieren ...", {}, &TMainForm::mUninstallClick);
    mOptions->addAction(mAssignPGN);
    mOptions->addAction(mUninstall);
    mOptions->addSeparator();
    mExit = action("mExit", "&Beenden", QKeySequence(Qt::ALT | Qt::Key_F4), &TMainForm::mExitClick);
    mOptions->addAction(mExit);

    Window1 = bar->addMenu("&Fenster");
    Window1->setObjectName("Window1");
    mClose = action("mClose", "&Fenster schließen", Qt::Key_Escape, &TMainForm::mCloseClick);
    WindowCascadeItem =
        action("WindowCascadeItem", "Ü&berlappend", {}, &TMainForm::WindowCascadeItemClick);
    WindowTileItem =
        action("WindowTileItem", "&Nebeneinander", {}, &TMainForm::WindowTileItemClick);
    WindowArrangeItem = action("WindowArrangeItem", "&Symbole anordnen", {}, nullptr);
    connect(WindowArrangeItem, &QAction::triggered, this, [this] {
        // Minimized windows in a row along the bottom, as icons are arranged.
        int x = 0;
        const int bottom = mdiArea_->viewport()->height();
        for (const TMdiChild& c : MdiChildren()) {
            if (!c.Sub->isMinimized()) continue;
            c.Sub->move(x, bottom - c.Sub->height());
            x += c.Sub->width();
        }
    });
    WindowMinimizeItem =
        action("WindowMinimizeItem", "&Alle verkleinern", {}, &TMainForm::WindowMinimizeItemClick);
    Window1->addAction(mClose);
    Window1->addAction(WindowCascadeItem);
    Window1->addAction(WindowTileItem);
    Window1->addAction(WindowArrangeItem);
    Window1->addAction(WindowMinimizeItem);
    connect(Window1, &QMenu::aboutToShow, this, [this] {
        // The open windows below the commands, the active one checked.
        for (QAction* a : Window1->actions())
            if (a->property("kbWindowItem").toBool()) delete a;
        const auto children = MdiChildren();
        if (!children.empty()) {
            QAction* sep = Window1->addSeparator();
            sep->setProperty("kbWindowItem", true);
        }
        int n = 1;
        for (const TMdiChild& c : children) {
            QPointer<QMdiSubWindow> sub = c.Sub;
            QString caption = c.Sub->windowTitle();
            caption.replace('&', "&&");
            auto* a = Window1->addAction(n < 10 ? QString("&%1 %2").arg(n).arg(caption) : caption);
            a->setProperty("kbWindowItem", true);
            a->setCheckable(true);
            a->setChecked(c.Sub == mdiArea_->activeSubWindow());
            connect(a, &QAction::triggered, this, [this, sub] {
                if (sub) mdiArea_->setActiveSubWindow(sub);
            });
            ++n;
        }
    });

    mNextWin = action("mNextWin", ">", Qt::Key_F9, &TMainForm::mNextWinClick);
    mNextWin->setStatusTip("Nächstes Fenster (F9)");
    bar->addAction(mNextWin);
    HelpAboutItem = action("HelpAboutItem", "&?", Qt::Key_F1, &TMainForm::HelpAboutItemClick);
    bar->addAction(HelpAboutItem);

    SetHint(mGameOpen, "Neue Partie anlegen (F4)");
    SetHint(mNewFRC, "Neue Fischer-Random-Chess-Stellung anlegen (F5)");
    SetHint(mHistory, "Datenbank-Fenster öffnen (F8)");
    SetHint(mClose, "Aktuelles Fenster schließen");
    SetHint(mExit, "Programm beenden");
    SetHint(mShowLastMove, "Letzten Zug markieren");
    SetHint(mAnimation, "Zuganimation ein- oder ausschalten");
    SetHint(mClickClick, "Zugeingabe durch Klick auf Start- und Zielfeld");
    SetHint(WindowCascadeItem, "Überlappend");
    SetHint(WindowTileItem, "Nebeneinander");
    SetHint(WindowArrangeItem, "Symbole anordnen");
    SetHint(WindowMinimizeItem, "Alle verkleinern");
    SetHint(mFont, "Schriftart, Figurenbezeichner und Informatorzeichen der Notation");
    SetHint(mFontComm, "Schriftart der Kommentare");
    SetHint(mFontPrint->menuAction(), "Schachschrift für Diagramme im Druck");
    SetHint(mNextWin, "Nächstes Fenster (F9)");
    SetHint(HelpAboutItem, "Über Kestrelbay (F1)");

    // The German texts above are the frame's own; the language switch
    // replaces them from the string table.
    const std::pair<QObject*, int> pairs[] = {{mOptions->menuAction(), 25},
                                              {Window1->menuAction(), 27},
                                              {HelpAboutItem, 29},
                                              {mHistory, 33},
                                              {mGameOpen, 35},
                                              {mClose, 37},
                                              {mExit, 39},
                                              {mNewFRC, 41},
                                              {mShowLastMove, 45},
                                              {mAnimation, 47},
                                              {mClickClick, 49},
                                              {WindowCascadeItem, 51},
                                              {WindowTileItem, 53},
                                              {WindowArrangeItem, 55},
                                              {WindowMinimizeItem, 57},
                                              {mFont, 107},
                                              {mFontComm, 109},
                                              {mFontPrint->menuAction(), 191}};
    for (const auto& [item, n] : pairs) {
        RegisterCaption(item, n);
        RegisterHint(item, n + 1);
    }
    const std::pair<QObject*, int> captions[] = {{mSprache->menuAction(), 163},
                                                 {mOtherLang, 253},
                                                 {mWhiteSquare, 133},
                                                 {mBlackSquare, 134},
                                                 {mAssignPGN, 193},
                                                 {mUninstall, 254},
                                                 {Engines1, 211},
                                                 {mKombis->menuAction(), 212},
                                                 {mToolbarBelow, 247}};
    for (const auto& [item, n] : captions)
        RegisterCaption(item, n);
    RegisterHint(mNextWin, 197);
}

void TMainForm::CreateStatusBar() {
    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    panel->setFixedHeight(std::max(18, fontMetrics().height() + 4));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(4);
    pHint = new QLabel(panel);
    pHint->setObjectName("pHint");
    pHint->setFrameShape(QFrame::Panel);
    pHint->setFrameShadow(QFrame::Sunken);
    pHint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Edits write the file beside the old one and rename it; no backup copy
    // is made, so the hint says what happens.
    lBackuphint = new QLabel("Speichern", panel);
    lBackuphint->setObjectName("lBackuphint");
    RegisterCaption(lBackuphint, 1);
    lBackuphint->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lBackuphint->hide();
    auto* pTrace = new QWidget(panel);
    pTrace->setObjectName("pTrace");
    pTrace->setFixedWidth(124);
    auto* traceRow = new QHBoxLayout(pTrace);
    traceRow->setContentsMargins(0, 1, 0, 1);
    traceRow->setSpacing(2);
    prBar = new QProgressBar(pTrace);
    prBar->setObjectName("prBar");
    prBar->setRange(0, 100);
    prBar->setValue(0);
    prBar->setTextVisible(false);
    bStop = new QToolButton(pTrace);
    bStop->setObjectName("bStop");
    bStop->setText("X");
    SetHint(bStop, "Abbrechen");
    RegisterHint(bStop, 59);
    bStop->setStyleSheet("QToolButton { color: red; font-weight: bold; }");
    bStop->setFocusPolicy(Qt::NoFocus);
    connect(bStop, &QToolButton::clicked, this, &TMainForm::bStopClick);
    traceRow->addWidget(prBar, 1);
    traceRow->addWidget(bStop);
    row->addWidget(pHint, 1);
    row->addWidget(lBackuphint);
    row->addWidget(pTrace);
    setStatusBar(nullptr);
    // The panel sits below the MDI area, as the status line of the frame.
    auto* central = new QWidget(this);
    auto* col = new QVBoxLayout(central);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);
    takeCentralWidget();
    col->addWidget(mdiArea_, 1);
    col->addWidget(panel);
    setCentralWidget(central);
}

bool TMainForm::event(QEvent* Event) {
    // The application's hint: status tips of menus and controls go to pHint.
    if (Event->type() == QEvent::StatusTip) {
        pHint->setText(static_cast<QStatusTipEvent*>(Event)->tip());
        return true;
    }
    return QMainWindow::event(Event);
}

void TMainForm::UpdateMenuItems() {
    const bool any = !MdiChildren().empty();
    mClose->setEnabled(any);
    WindowCascadeItem->setEnabled(any);
    WindowTileItem->setEnabled(any);
    WindowArrangeItem->setEnabled(any);
    WindowMinimizeItem->setEnabled(any);
}

void TMainForm::closeEvent(QCloseEvent* Event) {
    if (Busy() || closing_) {
        Event->ignore();
        return;
    }
    // Asked before the children go: the ini records whether it was open.
    const bool databaseOpen = DatabaseWindow() != nullptr;
    closing_ = InWMClose = true;
    auto refuse = [this, Event] {
        closing_ = InWMClose = false;
        Event->ignore();
    };
    // Every child is asked first, the one longest inactive first; one refusal
    // leaves them all open. A question may pump events (saving a game), so a
    // child may be gone by the time its turn comes.
    std::vector<TMdiChild> children = MdiChildren();
    std::vector<QPointer<QMdiSubWindow>> subs;
    for (const TMdiChild& c : children)
        subs.emplace_back(c.Sub);
    for (size_t i = children.size(); i-- > 0;) {
        if (!subs[i]) continue;
        if (!children[i].Intf->CloseQuery() || Busy()) {
            refuse();
            return;
        }
    }
    // All agreed: now they close, without asking again.
    for (size_t i = children.size(); i-- > 0;) {
        if (!subs[i]) continue;
        children[i].Intf->CloseAgreed();
        if (!subs[i]->close()) {
            refuse();
            return;
        }
    }
    if (!NoIniSave) {
        DatabaseWinEnabled = databaseOpen;
        // A failed write keeps the old file; the program closes all the same.
        if (!WriteIni()) Log("Kestrelbay.ini could not be written");
    }
    closing_ = InWMClose = false;
    Event->accept();
}

// === commands ===============================================================

void TMainForm::mGameOpenClick() {
    OpenBoardWindow(nullptr, {}, -1, false);
}

void TMainForm::mNewFRCClick() {
    OpenBoardWindow(nullptr, {}, -1, true);
}

void TMainForm::mHistoryClick() {
    if (TDatabaseWindowIntf* db = DatabaseWindow()) {
        BringToFront(db->Window());
        return;
    }
    if (!WindowFactories().NewDatabaseWindow) return;
    TDatabaseWindowIntf* db = WindowFactories().NewDatabaseWindow();
    if (!db) return;
    AddChild(db, TMdiChild::Database);
    db->SetHistory(History);
}

void TMainForm::mFontCommClick() {
    kb::TNotationFont f = FontDialogComm;
    if (!RunFontDialog(f)) return;
    FontDialogComm = f;
    ApplyToBoards(&TBoardWindowIntf::ApplyBoardSettings);
}

void TMainForm::mWhiteSquareClick() {
    QColor c = WhiteSquare ? ColorFromWin(WhiteSquare) : QColor(Qt::white);
    if (!RunColorDialog(c)) return;
    WhiteSquare = ColorToWin(c);
    ApplyToBoards(&TBoardWindowIntf::ApplyBoardSettings);
}

void TMainForm::mBlackSquareClick() {
    QColor c = BlackSquare ? ColorFromWin(BlackSquare) : QColor(Qt::darkGray);
    if (!RunColorDialog(c)) return;
    BlackSquare = ColorToWin(c);
    ApplyToBoards(&TBoardWindowIntf::ApplyBoardSettings);
}

void TMainForm::Engines1Click() {
    if (!WindowFactories().EditEngineList) return;
    // The dialog pauses the boards itself while it browses for files.
    WindowFactories().EditEngineList(this, WBEngines);
    while (WBEngines.size() > 8)
        WBEngines.removeLast();
    ApplyToBoards(&TBoardWindowIntf::BuildEnginesMenu);
}

// The check toggles with the click (checkable action); the boards follow it.
void TMainForm::mAnimationClick() {
    ApplyToBoards(&TBoardWindowIntf::ApplyBoardSettings);
}

void TMainForm::mClickClickClick() {
    ApplyToBoards(&TBoardWindowIntf::ApplyBoardSettings);
}

void TMainForm::mExitClick() {
    close();
}

void TMainForm::mCloseClick() {
    if (QMdiSubWindow* sub = mdiArea_->activeSubWindow()) sub->close();
}

namespace {

QSize SmallestSize(const QMdiSubWindow* Sub) {
    return Sub->minimumSizeHint().expandedTo(Sub->minimumSize());
}

// Size inside Room, but never below the window's smallest.
QSize FitSize(const QMdiSubWindow* Sub, QSize Size, const QSize& Room) {
    return Size.boundedTo(Room).expandedTo(SmallestSize(Sub));
}

} // namespace

// The windows cascade and tile arrange, front window first.
std::vector<QMdiSubWindow*> TMainForm::ArrangedWindows() const {
    std::vector<QMdiSubWindow*> subs;
    for (const TMdiChild& c : MdiChildren())
        if (!c.Sub->isMinimized()) subs.push_back(c.Sub);
    return subs;
}

void TMainForm::WindowCascadeItemClick() {
    const QRect area = mdiArea_->viewport()->rect();
    const std::vector<QMdiSubWindow*> subs = ArrangedWindows();
    if (subs.empty()) return;
    QStyleOptionTitleBar opt;
    opt.initFrom(subs.front());
    const int step = std::max(
        8, subs.front()->style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt, subs.front()));
    // The window longest inactive first, the active one last and on top.
    QPoint at(0, 0);
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        QMdiSubWindow* sub = *it;
        if (sub->isMaximized()) sub->showNormal();
        QSize size = FitSize(sub, sub->sizeHint(), area.size() - QSize(at.x(), at.y()));
        // The next step would leave the area: start again at the top left.
        if (at != QPoint(0, 0) &&
            (at.x() + size.width() > area.width() || at.y() + size.height() > area.height())) {
            at = QPoint(0, 0);
            size = FitSize(sub, sub->sizeHint(), area.size());
        }
        sub->setGeometry(QRect(at, size));
        sub->raise();
        at += QPoint(step, step);
    }
    mdiArea_->setActiveSubWindow(subs.front());
}

void TMainForm::WindowTileItemClick() {
    const QRect area = mdiArea_->viewport()->rect();
    const std::vector<QMdiSubWindow*> subs = ArrangedWindows();
    if (subs.empty()) return;
    const int n = static_cast<int>(subs.size());
    int cols = 1;
    while (cols * cols < n)
        ++cols;
    const int rows = (n + cols - 1) / cols;
    // Front window first, at the top left; the last row shares its width.
    for (int i = 0; i < n; ++i) {
        const int row = i / cols;
        const int inRow = row == rows - 1 ? n - row * cols : cols;
        const int col = i % cols;
        const int x1 = area.width() * col / inRow, x2 = area.width() * (col + 1) / inRow;
        const int y1 = area.height() * row / rows, y2 = area.height() * (row + 1) / rows;
        QMdiSubWindow* sub = subs[static_cast<size_t>(i)];
        if (sub->isMaximized()) sub->showNormal();
        const QSize size = FitSize(sub, QSize(x2 - x1, y2 - y1), area.size());
        // A window that may not be as small as its tile overlaps its
        // neighbours rather than the edge of the area.
        const QPoint pos(std::max(0, std::min(x1, area.width() - size.width())),
                         std::max(0, std::min(y1, area.height() - size.height())));
        sub->setGeometry(QRect(pos, size));
        // Each window above the one before it: where a window too large for
        // its tile overlaps its neighbour, it is its own right or lower part
        // that is covered, never the neighbour's left and top.
        sub->raise();
    }
    mdiArea_->setActiveSubWindow(subs.front());
}

void TMainForm::WindowMinimizeItemClick() {
    const auto children = MdiChildren();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        it->Sub->showMinimized();
}

void TMainForm::mNextWinClick() {
    const auto children = MdiChildren();
    if (children.size() < 2) return;
    // The window longest inactive comes to the front; repeated presses cycle.
    mdiArea_->setActiveSubWindow(children.back().Sub);
}

void TMainForm::bStopClick() {
    StopRequested = true;
}

void TMainForm::ApplyToBoards(void (TBoardWindowIntf::*Method)()) {
    const auto boards = BoardWindows();
    for (auto it = boards.rbegin(); it != boards.rend(); ++it)
        ((*it)->*Method)();
}

bool TMainForm::RunFontDialog(kb::TNotationFont& Font) {
    return ChooseFont(this, {}, Font.Font, Font.Color);
}

bool TMainForm::RunColorDialog(QColor& Color) {
    return ChooseColor(this, Color);
}

void TMainForm::BuildLanguageMenu() {
    languageGroup_ = new QActionGroup(this);
    int number = 1;
    AddLanguageItem(mSprache, languageGroup_, N2, number++, {});
    for (const QString& file : LanguageFiles(ProgramDir))
        AddLanguageItem(mSprache, languageGroup_, N2, number++, file);
    for (QAction* item : languageGroup_->actions())
        connect(item, &QAction::triggered, this, [this, item] { LanguageClick(item); });
}

void TMainForm::SelectLanguage(int Column) {
    const QList<QAction*> items = languageGroup_->actions();
    QAction* item =
        Column == 1 && items.size() > 1 ? FindLanguageItem(items, OtherLang) : items.value(0);
    if (item) LanguageClick(item);
}

void TMainForm::LanguageClick(QAction* Item) {
    const QString file = LanguageItemFile(Item);
    if (!SelectLanguageFile(file)) {
        // Unreadable now: the language stays as it was, and so does the check.
        if (currentLanguageItem_) currentLanguageItem_->setChecked(true);
        return;
    }
    if (!file.isEmpty()) OtherLang = QFileInfo(file).completeBaseName();
    Item->setChecked(true);
    currentLanguageItem_ = Item;
    // The captions changed above; the children's components (notation,
    // board, engine trace) take the language from their windows.
    const auto children = MdiChildren();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        it->Intf->ApplyLanguage();
}

void TMainForm::mOtherLangClick() {
    const QStringList german = {
        "Sie können die Datei \"English.lng\" in \"IhreSprache.lng\" umbenennen und den "
        "Inhalt übersetzen.",
        "Sonderzeichen:",
        "&& = verwendet in Menü-Einträgen - der nächste Buchstabe fungiert als Hotkey,",
        "§ = Zeilenumbruch.",
        "Entfernen Sie keine Leerzeilen.",
        "Nach dem nächsten Programmstart sollte der Eintrag \"IhreSprache\" im Menü "
        "\"Optionen - Sprache\" erscheinen."};
    const QStringList english = {
        "You may rename the file \"English.lng\" to \"YourLanguage.lng\" and translate it.",
        "Special characters:",
        "&& = used in menu captions - the next letter is the hotkey,",
        "§ = Line break.",
        "Do NOT delete empty lines.",
        "After the next program start the item \"YourLanguage\" should appear in the "
        "\"Options - Language\" menu."};
    MessageDlgEx((LanguageColumn == 0 ? german : english).join('\r'), mtInformation, {mbOK}, 0);
}

void TMainForm::HelpAboutItemClick() {
    {
        TAboutBox box(this);
        ExecDialog(box);
    }
    if (logFile_) logFile_->Flush();
}

void TMainForm::Log(const QString& Text) {
    if (logFile_) logFile_->LogOut(Text);
}

void TMainForm::mFontClick() {
    // The font button changes FontDialog1 (font and colour) in place, kept
    // even on cancel.
    TfrmPieces dlg(&FontDialog1.Font, this, &FontDialog1.Color);
    std::string* const letters[] = {&figK, &figQ, &figR, &figB, &figN, &figP};
    for (size_t i = 0; i < dlg.fEdit.size(); ++i)
        dlg.fEdit[i]->setText(QString::fromStdString(*letters[i]));
    for (size_t i = 0; i < dlg.Image.size() && i < dlg.ImageListBold.size(); ++i)
        if (!dlg.ImageListBold[i].isNull())
            dlg.Image[i]->setPixmap(QPixmap::fromImage(dlg.ImageListBold[i]));
    // One byte per sign, in the notation font's 8-bit character set. The
    // letter a chess font draws the sign with is no choice: the notation
    // shows the sign itself for it, and so does the edit.
    for (size_t k = 0; k < dlg.Edit.size() && k < InformantSigns.size(); ++k)
        if (InformantSigns[k] != '#' && InformantSigns[k] != kb::TNotation::DefaultNagChars[k])
            dlg.Edit[k]->setText(
                TfrmPieces::SignChar(static_cast<unsigned char>(InformantSigns[k])));
    if (ExecDialog(dlg) != mrOk) return;

    for (size_t i = 0; i < dlg.fEdit.size(); ++i)
        *letters[i] = dlg.fEdit[i]->text().trimmed().toStdString();
    std::string signs;
    for (int k = 0; k < SignCount; ++k) {
        const QString t = dlg.Edit[static_cast<size_t>(k)]->text();
        // The sign as shown is the default; the edits take no character the
        // 8-bit set lacks.
        const int code = t != TfrmPieces::SignText(k) ? TfrmPieces::SignCode(t) : -1;
        signs += code >= 0 ? static_cast<char>(code) : '#';
    }
    InformantSigns = signs;
    ApplyToBoards(&TBoardWindowIntf::ApplyNotationSettings);
}
