// SPDX-License-Identifier: GPL-3.0-or-later
// TMDIBrett: creation, layout, board size and coordinates, captions, closing.
#include "BrettWin.h"

#include "BrettWinFrame.h"
#include "DialogsLng.h"
#include "Local.h"
#include "NotationWidgetText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstdlib>

using namespace kb;

namespace {

constexpr int SquareSizes[] = {80, 72, 64, 58, 54, 49, 45, 40, 37, 33, 29, 25, 21};
constexpr int BoardBevel = 2;
constexpr int BoardBorder = 10;
constexpr int DefaultSquare = 40;
constexpr int SmallestSquare = 16;

QToolButton* MakeButton(QWidget* Parent, const char* Name, const QString& Text) {
    auto* b = new QToolButton(Parent);
    b->setObjectName(QString::fromLatin1(Name));
    b->setText(Text);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

QToolButton* MakeIconButton(QWidget* Parent, const char* Name, QStyle::StandardPixmap Icon) {
    QToolButton* b = MakeButton(Parent, Name, QString());
    b->setIcon(Parent->style()->standardIcon(Icon));
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return b;
}

} // namespace

// ---------------------------------------------------------------------------
// Board panel

TBoardPanel::TBoardPanel(QWidget* Parent, int Bevel, int Border)
    : QWidget(Parent), bevel_(Bevel), border_(Border) {
    setMouseTracking(true);
}

void TBoardPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Window));
    // Raised outer bevel, lowered inner bevel around the board.
    auto bevel = [&p](QRect r, int w, const QColor& tl, const QColor& br) {
        for (int i = 0; i < w; ++i) {
            p.setPen(tl);
            p.drawLine(r.left(), r.top(), r.right(), r.top());
            p.drawLine(r.left(), r.top(), r.left(), r.bottom());
            p.setPen(br);
            p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
            r.adjust(1, 1, -1, -1);
        }
    };
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    bevel(rect(), bevel_, light, dark);
    const int in = bevel_ + border_;
    bevel(rect().adjusted(in, in, -in, -in), bevel_, dark, light);
}

void TBoardPanel::mouseMoveEvent(QMouseEvent* Event) {
    if (OnMouseMove) OnMouseMove();
    QWidget::mouseMoveEvent(Event);
}

// ---------------------------------------------------------------------------
// Creation

TMDIBrett::TMDIBrett(QWidget* Parent) : QWidget(Parent) {
    setObjectName(QStringLiteral("MDIBrett"));
    setAttribute(Qt::WA_DeleteOnClose);
    MiniMax1.Silent = false;
    MMCheck.Silent = true;

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    BuildToolbar();
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    BuildBoardPane();
    BuildNotationPane();
    Splitter1->addWidget(pBrett);
    Splitter1->addWidget(pNotation);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    root->addWidget(pButtonLeiste);
    root->addWidget(Splitter1, 1);
    BuildMenus();
    RegisterCaptions();

    TimerEngineReactivate = new QTimer(this);
    TimerEngineReactivate->setInterval(2500);
    AutoplayTimer = new QTimer(this);
    AutoplayTimer->setInterval(1500);
    Timer1 = new QTimer(this);
    Timer1->setInterval(500);

    ConnectEvents();
    ApplySettings();
    InstallKeyPreview(this);
    ApplyLanguage();
}

TMDIBrett::~TMDIBrett() {
    // Timers first, so that nothing starts a search while the worker ends.
    TimerEngineReactivate->stop();
    AutoplayTimer->stop();
    Timer1->stop();
    StopAnalysis();
    // The notation's callbacks point into this window.
    TNotation& n = Notation1->Notation();
    n.OnMoveChange = nullptr;
    n.OnFischerInfo = nullptr;
    n.OnError = nullptr;
    n.On50MovesRule = nullptr;
    n.On3Repetition = nullptr;
    n.OnGameChanged = nullptr;
    n.FischerInfo = nullptr;
    Brett1->FischerInfo = nullptr;
}

void TMDIBrett::BuildToolbar() {
    pButtonLeiste = new QWidget(this);
    pButtonLeiste->setObjectName(QStringLiteral("pButtonLeiste"));
    auto* outer = new QHBoxLayout(pButtonLeiste);
    outer->setContentsMargins(2, 1, 2, 1);
    outer->setSpacing(0);
    pButtons = new QWidget(pButtonLeiste);
    pButtons->setObjectName(QStringLiteral("pButtons"));
    auto* row = new QHBoxLayout(pButtons);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);

    sbReplace = MakeIconButton(pButtons, "sbReplace", QStyle::SP_DialogSaveButton);
    sbReplace->setEnabled(false);
    sbSave = MakeIconButton(pButtons, "sbSave", QStyle::SP_FileDialogNewFolder);
    mGameData = MakeIconButton(pButtons, "mGameData", QStyle::SP_FileDialogInfoView);
    bNew = MakeIconButton(pButtons, "bNew", QStyle::SP_FileIcon);
    bPrev = MakeIconButton(pButtons, "bPrev", QStyle::SP_MediaSkipBackward);
    bPrev->setEnabled(false);
    bNext = MakeIconButton(pButtons, "bNext", QStyle::SP_MediaSkipForward);
    bNext->setEnabled(false);
    bUndo = MakeButton(pButtons, "bUndo", QStringLiteral("\u21B6"));
    bCut = MakeButton(pButtons, "bCut", QStringLiteral("\u2702"));
    for (QToolButton* b : {sbReplace, sbSave, mGameData, bNew, bPrev, bNext, bUndo, bCut})
        row->addWidget(b);
    row->addSpacing(6);

    pPu = new QWidget(pButtons);
    pPu->setObjectName(QStringLiteral("pPu"));
    auto* pu = new QHBoxLayout(pPu);
    pu->setContentsMargins(0, 0, 0, 0);
    pu->setSpacing(1);
    bDelete = MakeButton(pPu, "bDelete", QStringLiteral("\u2717"));
    mAufwerten = MakeButton(pPu, "mAufwerten", QStringLiteral("\u21D1"));
    bComment = MakeButton(pPu, "bComment", QStringLiteral("{ }"));
    sbPlay = MakeButton(pPu, "sbPlay", QStringLiteral("\u265A"));
    sbPlay->setCheckable(true);
    sbPlay->setEnabled(false);
    pEngines = new QWidget(pPu);
    pEngines->setObjectName(QStringLiteral("pEngines"));
    auto* eng = new QHBoxLayout(pEngines);
    eng->setContentsMargins(0, 0, 0, 0);
    sbAnalyse = MakeButton(pEngines, "sbAnalyse", QStringLiteral("\u2699"));
    sbAnalyse->setCheckable(true);
    eng->addWidget(sbAnalyse);
    for (QWidget* w :
         std::initializer_list<QWidget*>{bDelete, mAufwerten, bComment, sbPlay, pEngines})
        pu->addWidget(w);
    row->addWidget(pPu);
    row->addSpacing(6);

    lFRC = new QLabel(QStringLiteral("FRC"), pButtons);
    lFRC->setObjectName(QStringLiteral("lFRC"));
    QFont f = lFRC->font();
    f.setBold(true);
    lFRC->setFont(f);
    lFRC->setStyleSheet(QStringLiteral("color: #a00000"));
    lFRC->setVisible(false);
    row->addWidget(lFRC);

    outer->addWidget(pButtons);
    outer->addStretch(1);
}

void TMDIBrett::BuildBoardPane() {
    pBrett = new QWidget(Splitter1);
    pBrett->setObjectName(QStringLiteral("pBrett"));
    pBrett->setMinimumWidth(60);
    pBoard = new TBoardPanel(pBrett, BoardBevel, BoardBorder);
    pBoard->setObjectName(QStringLiteral("pBoard"));
    FMargin = 4 * pBoard->BevelWidth() + 2 * pBoard->BorderWidth();
    Brett1 = new TBrett(pBoard);
    Brett1->setObjectName(QStringLiteral("Brett1"));
    Brett1->MarkColor = QColor(0xFF, 0xFF, 0x00);
    // Moves of the mouse without a button clear the last-move frames, too.
    Brett1->setMouseTracking(true);
    const int off = 2 * pBoard->BevelWidth() + pBoard->BorderWidth();
    Brett1->move(off, off);

    QFont labelFont = font();
    labelFont.setPixelSize(9);
    for (int a = 0; a < 2; ++a) {
        for (int i = 1; i <= 16; ++i) {
            const QString text = i <= 8 ? QString::number(9 - i) : QString(QChar(i + 56));
            auto* l = new QLabel(text, pBoard);
            l->setObjectName(QStringLiteral("lCoord%1_%2").arg(a).arg(i));
            l->setFont(labelFont);
            l->setAttribute(Qt::WA_TransparentForMouseEvents);
            l->setAlignment(Qt::AlignCenter);
            l->adjustSize();
            FRankFileLabels[static_cast<size_t>(a)][static_cast<size_t>(i - 1)] = l;
        }
    }

    pNavigation = new QWidget(pBrett);
    pNavigation->setObjectName(QStringLiteral("pNavigation"));
    auto* nav = new QHBoxLayout(pNavigation);
    nav->setContentsMargins(0, 0, 0, 0);
    nav->setSpacing(1);
    bAutoplay = MakeButton(pNavigation, "bAutoplay", QStringLiteral("A"));
    sbPrev = MakeButton(pNavigation, "sbPrev", QStringLiteral("|<"));
    sbBack = MakeButton(pNavigation, "sbBack", QStringLiteral("<"));
    sbAhead = MakeButton(pNavigation, "sbAhead", QStringLiteral(">"));
    bNextMain = MakeButton(pNavigation, "bNextMain", QStringLiteral(">>"));
    sbNext = MakeButton(pNavigation, "sbNext", QStringLiteral(">|"));
    for (QToolButton* b : {bAutoplay, sbPrev, sbBack, sbAhead, bNextMain, sbNext}) {
        b->setAutoRaise(false);
        b->setMinimumWidth(28);
        nav->addWidget(b);
    }
    pNavigation->adjustSize();
    // The pane never gets narrower or lower than the smallest board with its
    // buttons below it.
    pBrett->setMinimumSize(std::max(8 * SmallestSquare + FMargin, pNavigation->width()),
                           PaneHeightFor(SmallestSquare));
    // Nor wider than the largest board: beyond it the pane would only take
    // the notation's room for an empty strip.
    pBrett->setMaximumWidth(std::max(pBrett->minimumWidth(), 8 * SquareSizes[0] + FMargin + 4));
}

void TMDIBrett::BuildNotationPane() {
    pNotation = new QWidget(Splitter1);
    pNotation->setObjectName(QStringLiteral("pNotation"));
    auto* col = new QVBoxLayout(pNotation);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(1);

    pTime = new QWidget(pNotation);
    pTime->setObjectName(QStringLiteral("pTime"));
    auto* clocks = new QHBoxLayout(pTime);
    clocks->setContentsMargins(0, 0, 0, 0);
    tlWhite = new TTimeLabel(pTime);
    tlWhite->setObjectName(QStringLiteral("tlWhite"));
    tlBlack = new TTimeLabel(pTime);
    tlBlack->setObjectName(QStringLiteral("tlBlack"));
    for (TTimeLabel* t : {tlWhite, tlBlack}) {
        QFont f = t->font();
        f.setPointSize(f.pointSize() + 4);
        f.setBold(true);
        t->setFont(f);
        t->setAlignment(Qt::AlignCenter);
        t->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        clocks->addWidget(t);
    }
    tlWhite->setStyleSheet(QStringLiteral("background: white; color: black"));
    tlBlack->setStyleSheet(QStringLiteral("background: black; color: white"));
    pTime->setVisible(false);

    // The task lies over the notation, which holds the solution; a click on
    // it uncovers the moves. It is kept on the notation's place (eventFilter).
    pForderung = new QFrame(pNotation);
    pForderung->setObjectName(QStringLiteral("pForderung"));
    pForderung->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pForderung->setAutoFillBackground(true);
    auto* fl = new QHBoxLayout(pForderung);
    lForderung = new QLabel(pForderung);
    lForderung->setObjectName(QStringLiteral("lForderung"));
    lForderung->setWordWrap(true);
    lForderung->setAlignment(Qt::AlignCenter);
    lForderung->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    QFont ff = lForderung->font();
    ff.setBold(true);
    ff.setPointSize(ff.pointSize() + 2);
    lForderung->setFont(ff);
    lForderung->setCursor(Qt::PointingHandCursor);
    lForderung->installEventFilter(this);
    fl->addWidget(lForderung);
    pForderung->setVisible(false);

    Notation1 = new TNotationWidget(pNotation);
    Notation1->setObjectName(QStringLiteral("Notation1"));

    Memo1 = new QPlainTextEdit(pNotation);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFont(QFont(QStringLiteral("Courier New"), 9));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setFixedHeight(Memo1->fontMetrics().lineSpacing() * 4 + 8);
    Memo1->setVisible(false);

    col->addWidget(pTime);
    col->addWidget(Notation1, 1);
    col->addWidget(Memo1);
    Notation1->installEventFilter(this);
}

void TMDIBrett::CoverNotation() {
    pForderung->setGeometry(Notation1->geometry());
    pForderung->raise();
}

void TMDIBrett::BuildMenus() {
    auto act = [this](QMenu* m, const char* name, const QString& text) {
        QAction* a = m->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };

    puBrett = new QMenu(this);
    puBrett->setObjectName(QStringLiteral("puBrett"));
    mDiaCopy = act(puBrett, "mDiaCopy", {});
    mFENCopy = act(puBrett, "mFENCopy", {});
    mPrint = act(puBrett, "mPrint", {});
    puBrett->addSeparator();
    mAufbauen = act(puBrett, "mAufbauen", {});
    mInsertFEN = act(puBrett, "mInsertFEN", {});
    mDrehen = act(puBrett, "mDrehen", {});
    puBrett->addSeparator();
    mMessages = act(puBrett, "mMessages", {});
    mMessages->setCheckable(true);
    mMessages->setChecked(true);
    Blind1 = act(puBrett, "Blind1", {});
    Blind1->setCheckable(true);

    puNotation = new QMenu(this);
    puNotation->setObjectName(QStringLiteral("puNotation"));
    BuildNotationMenu();

    puCut = new QMenu(this);
    puCut->setObjectName(QStringLiteral("puCut"));
    mPrev = act(puCut, "mPrev", {});
    mNext = act(puCut, "mNext", {});

    puMiniMax = new QMenu(this);
    puMiniMax->setObjectName(QStringLiteral("puMiniMax"));
    mStop = act(puMiniMax, "mStop", QStringLiteral("Stop"));

    puEngines = new QMenu(this);
    puEngines->setObjectName(QStringLiteral("puEngines"));
}

void TMDIBrett::ApplySettings() {
    const bw::TFrameSettings s = bw::FrameSettings();
    Brett1->SetClickClick(s.ClickClick);
    Brett1->Animation = s.Animation ? 10 : 0;
    if (kb::TBrett* strip = bw::FrameBoard())
        Brett1->SetFigurenBitmap(strip->GetFigurenBitmap(), strip->Figuren());

    // Geometry: sizes only when sensible, places only when the window fits.
    int w = s.BrettWidth > 100 ? s.BrettWidth : 760;
    int h = s.BrettHeight > 100 ? s.BrettHeight : 520;
    resize(w, h);
    FBrettWidth = s.BrettSize > 50 ? std::min(s.BrettSize, pBrett->maximumWidth())
                                   : 8 * DefaultSquare + FMargin + 4;
    // The frame moves a place that does not fit its client area to the edge.
    FInitialRect = QRect(std::max(0, s.BrettLeft), std::max(0, s.BrettTop), w, h);
    FInitialMaximized = s.BoardMaximized;
    Splitter1->setSizes({FBrettWidth, std::max(100, w - FBrettWidth)});

    Brett1->UpdateLock = true;
    if (s.WhiteSquare.isValid()) Brett1->SetWhiteSquareColor(s.WhiteSquare);
    if (s.BlackSquare.isValid()) Brett1->SetBlackSquareColor(s.BlackSquare);
    Brett1->UpdateLock = false;
    SetBoardSize(DefaultSquare);
    if (s.WhiteOnTop) mDrehenClick();

    ApplyNotationSettings();
    Notation1->SetFontComment(TNotationFont{s.CommentFont, s.CommentColor});
    for (TTimeLabel* t : {tlWhite, tlBlack}) {
        t->SetSecTotal(s.GameTime * 60);
        t->SecPerMove = s.MoveTime;
    }
    if (s.ToolbarBelow) {
        auto* root = static_cast<QVBoxLayout*>(layout());
        root->removeWidget(pButtonLeiste);
        root->addWidget(pButtonLeiste);
    }
}

void TMDIBrett::ApplyNotationSettings() {
    const bw::TFrameSettings s = bw::FrameSettings();
    TNotation& n = Notation1->Notation();
    Notation1->SetFont0Var(TNotationFont{s.NotationFont, s.NotationColor});
    n.SetPieceLetters(s.FigK, s.FigQ, s.FigR, s.FigB, s.FigN, s.FigP);
    n.SetGlyphChars(s.InformantSigns);
    Notation1->SetEnglish(bw::English());
    Notation1->Refresh();
    KeepNotationReadable();
}

void TMDIBrett::KeepNotationReadable() {
    // As the board never gets smaller than its smallest size, the notation
    // never gets narrower than a numbered move pair in its own font.
    const QFontMetrics fm(Notation1->Font0Var().Font);
    const int w = fm.horizontalAdvance(QStringLiteral("99. Qxe8+ Qxe8+")) +
                  2 * Notation1->frameWidth() + Notation1->Scrollbar()->sizeHint().width() + 8;
    // A font too large for any pane does not push the window off the screen.
    const int least = std::min(w, 400);
    if (pNotation->minimumWidth() != least) pNotation->setMinimumWidth(least);
}

void TMDIBrett::ApplyBoardSettings() {
    const bw::TFrameSettings s = bw::FrameSettings();
    Brett1->SetClickClick(s.ClickClick);
    Brett1->Animation = s.Animation ? 10 : 0;
    if (s.WhiteSquare.isValid()) Brett1->SetWhiteSquareColor(s.WhiteSquare);
    if (s.BlackSquare.isValid()) Brett1->SetBlackSquareColor(s.BlackSquare);
    Notation1->SetFontComment(TNotationFont{s.CommentFont, s.CommentColor});
    if (!s.ShowLastMove) ClearEngineMarks();
}

void TMDIBrett::InstallKeyPreview(QWidget* W) {
    W->installEventFilter(this);
    for (QObject* c : W->children())
        if (auto* w = qobject_cast<QWidget*>(c); w && !qobject_cast<QMenu*>(w))
            InstallKeyPreview(w);
}

int TMDIBrett::RunModal(QDialog& Dialog) {
    return ExecDialog(Dialog);
}

QRect TMDIBrett::InitialGeometry() const {
    return FInitialRect;
}

// ---------------------------------------------------------------------------
// Board size and coordinates

int TMDIBrett::SquareSizeForWidth(int Width) {
    const int v = Width / 8;
    for (int s : SquareSizes)
        if (v >= s) return s;
    return SmallestSquare;
}

int TMDIBrett::PaneHeightFor(int S) const {
    return 8 * S + FMargin + 2 + pNavigation->sizeHint().height();
}

int TMDIBrett::FittingSquareSize() const {
    int s = SquareSizeForWidth(std::abs(FBrettWidth - FMargin));
    if (!pBrett->isVisible()) return s;
    // The pane as it is laid out now: no more board than it shows whole,
    // with the buttons below it.
    s = std::min(s, SquareSizeForWidth(std::abs(pBrett->width() - FMargin)));
    for (int smaller : SquareSizes)
        if (smaller < s && PaneHeightFor(s) > pBrett->height()) s = smaller;
    if (PaneHeightFor(s) > pBrett->height()) s = SmallestSquare;
    return s;
}

void TMDIBrett::GrowForBoard(int PaneHeight) {
    const int delta = PaneHeight - pBrett->height();
    if (delta <= 0) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        if (sub->isMaximized() || sub->isMinimized()) return;
        // Within the work area: moved up where it would reach below it.
        const int room = sub->parentWidget() ? sub->parentWidget()->height() : INT_MAX;
        const int h = std::min(sub->height() + delta, room);
        const int y = std::max(0, std::min(sub->y(), room - h));
        sub->setGeometry(sub->x(), y, sub->width(), h);
    } else if (isWindow() && !isMaximized() && !isFullScreen()) {
        resize(width(), height() + delta);
    }
}

QSize TMDIBrett::sizeHint() const {
    // The whole board the pane's width asks for, and room for the notation.
    const int s = SquareSizeForWidth(std::abs(FBrettWidth - FMargin));
    const int w = std::max(FBrettWidth, pBrett->minimumWidth()) + Splitter1->handleWidth() + 320;
    const int h = pButtonLeiste->sizeHint().height() + PaneHeightFor(s);
    return QSize(w, h).expandedTo(minimumSizeHint());
}

TFigurenset TMDIBrett::FigurenForSize(int S) {
    switch (S) {
    case 25:
        return TFigurenset::WinboardF25;
    case 29:
        return TFigurenset::WinboardF29;
    case 33:
        return TFigurenset::WinboardF33;
    case 37:
        return TFigurenset::WinboardF37;
    case 40:
        return TFigurenset::WinboardF40;
    case 45:
        return TFigurenset::WinboardF45;
    case 49:
        return TFigurenset::WinboardF49;
    case 54:
        return TFigurenset::WinboardF54;
    case 58:
        return TFigurenset::WinboardF58;
    case 64:
        return TFigurenset::WinboardF64;
    case 72:
        return TFigurenset::WinboardF72;
    case 80:
        return TFigurenset::WinboardF80;
    default:
        return TFigurenset::WinboardF21;
    }
}

void TMDIBrett::Splitter1Moved() {
    KeepNotationReadable();
    // A wider pane asks for a larger board: the window grows to show it whole
    // where the work area has room, else the board stays as large as fits.
    if (pBrett->isVisible())
        GrowForBoard(PaneHeightFor(SquareSizeForWidth(std::abs(FBrettWidth - FMargin))));
    SetBoardSize(FittingSquareSize());
}

void TMDIBrett::SetBoardPaneWidth(int Width) {
    KeepNotationReadable();
    FBrettWidth = std::clamp(Width, pBrett->minimumWidth(), pBrett->maximumWidth());
    const int total = std::max(Splitter1->width(), width());
    Splitter1->setSizes({FBrettWidth, std::max(50, total - FBrettWidth)});
    Splitter1Moved();
}

void TMDIBrett::SetBoardSize(int S) {
    Brett1->SetGroesse(S);
    Brett1->SetFiguren(FigurenForSize(S));
    const int side = 8 * S + FMargin;
    pBoard->setFixedSize(side, side);
    pBoard->move(0, 0);
    pNavigation->adjustSize();
    pNavigation->move(std::max(0, (side - pNavigation->width()) / 2), side + 2);
    PlaceCoordinateLabels(true);
}

void TMDIBrett::PlaceCoordinateLabels(bool Visible) {
    const int m = FMargin;
    const int s = Brett1->Groesse();
    for (size_t a = 0; a < 2; ++a) {
        for (int i = 1; i <= 16; ++i) {
            QLabel* l = FRankFileLabels[a][static_cast<size_t>(i - 1)];
            const int w = l->width(), h = l->height();
            int x, y;
            if (i >= 9) {
                const int f = i - 9;
                x = m / 2 - w / 2 + f * s + s / 2;
                y = a == 0 ? Brett1->height() + m / 2 + m / 4 - h / 2 : m / 4 - h / 2;
            } else {
                const int r = i - 1;
                y = m / 2 - h / 2 + r * s + s / 2;
                x = a == 0 ? m / 4 - w / 2 : Brett1->width() + m / 2 + m / 4 - w / 2;
            }
            l->move(x, y);
            l->setVisible(Visible);
            l->raise();
        }
    }
}

void TMDIBrett::mDrehenClick() {
    for (auto& labels : FRankFileLabels) {
        for (int i = 1; i <= 16; ++i) {
            QLabel* l = labels[static_cast<size_t>(i - 1)];
            if (i <= 8)
                l->setText(QString::number(std::abs(l->text().toInt() - 9)));
            else
                l->setText(QString(QChar(std::abs(l->text().at(0).unicode() - 73) + 64)));
        }
    }
    Brett1->Drehen();
    if (FMarkFrom >= 0 || FMarkTo >= 0) {
        const int32_t from = FMarkFrom, to = FMarkTo;
        FMarkFrom = FMarkTo = -1;
        MarkEngineMove(from, to);
    }
    PlaceCoordinateLabels(true);
}

// ---------------------------------------------------------------------------
// Binding and captions

TPGN* TMDIBrett::SourcePGN() const {
    if (FSourceTactic) return FSourceTactic;
    return FSourceList ? &FSourceList->PGN() : nullptr;
}

TPGNList* TMDIBrett::SourceList() const {
    return FSourceList.data();
}

void TMDIBrett::ReleaseList() {
    FSourceList = nullptr;
    if (!FSourceTactic) {
        FSourceIndex = -1;
        bPrev->setEnabled(false);
        bNext->setEnabled(false);
    }
}

void TMDIBrett::SetCaptionFromGame() {
    const TEventData& e = Notation1->Notation().GameData.EventData;
    setWindowTitle(DecodeGameText(e.White) + QStringLiteral(" - ") + DecodeGameText(e.Black));
}

void TMDIBrett::Caption(QObject* O, const QString& German, int Number) {
    if (auto* a = qobject_cast<QAction*>(O))
        a->setText(German);
    else if (auto* m = qobject_cast<QMenu*>(O))
        m->setTitle(German);
    else if (auto* b = qobject_cast<QAbstractButton*>(O))
        b->setText(German);
    else if (auto* l = qobject_cast<QLabel*>(O))
        l->setText(German);
    if (Number >= 0) RegisterCaption(O, Number);
}

void TMDIBrett::Hint(QObject* O, const QString& German, int Number) {
    SetHint(O, German);
    if (Number >= 0) RegisterHint(O, Number);
}

// The components that choose their own texts.
void TMDIBrett::ApplyLanguage() {
    const bool english = bw::English();
    Notation1->SetEnglish(english);
    Brett1->English = english;
    // MiniMax1 gets the language with each search (it may be searching now).
    MMCheck.English = english;
}

void TMDIBrett::SetLanguage(int Column) {
    if (Column >= 0) bw::SetLanguageColumn(Column);
    ApplyLanguage();
}

void TMDIBrett::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (FShownOnce) return;
    FShownOnce = true;
    ApplyLanguage();
}

// ---------------------------------------------------------------------------
// Keys and mouse

bool TMDIBrett::eventFilter(QObject* Watched, QEvent* Event) {
    // Tile, cascade and the user's resizing: the board follows the pane.
    if (Watched == pBrett && Event->type() == QEvent::Resize && pBrett->isVisible()) {
        const int s = FittingSquareSize();
        if (s != Brett1->Groesse()) SetBoardSize(s);
    }
    if (Watched == Notation1 && (Event->type() == QEvent::Resize || Event->type() == QEvent::Move))
        CoverNotation();
    if (Event->type() == QEvent::MouseButtonPress) {
        if (Watched == lForderung || Watched == pForderung) {
            pForderung->setVisible(false);
            return true;
        }
        if (Watched == tlWhite || Watched == tlBlack) {
            Watched == tlWhite ? tlWhiteClick() : tlBlackClick();
            return true;
        }
    }
    if (Watched == Brett1 &&
        (Event->type() == QEvent::MouseButtonPress || Event->type() == QEvent::MouseMove))
        ClearEngineMarks();
    if (Event->type() == QEvent::KeyPress && !FInKey) {
        auto* k = static_cast<QKeyEvent*>(Event);
        // Keys typed into the memo or a dialog stay there.
        if (qobject_cast<QDialog*>(QApplication::activeModalWidget())) return false;
        FInKey = true;
        const bool used = FormKeyDown(k->key());
        FInKey = false;
        if (used) return true;
    }
    return QWidget::eventFilter(Watched, Event);
}

void TMDIBrett::keyPressEvent(QKeyEvent* Event) {
    if (!FInKey) {
        FInKey = true;
        const bool used = FormKeyDown(Event->key());
        FInKey = false;
        if (used) return;
    }
    QWidget::keyPressEvent(Event);
}

// ---------------------------------------------------------------------------
// Closing

bool TMDIBrett::FormCloseQuery() {
    if (!CloseQuery()) return false;
    FinishClose();
    return true;
}

bool TMDIBrett::CloseQuery() {
    if (bw::Busy()) return false;
    return AskSaveGame();
}

void TMDIBrett::CloseAgreed() {
    FCloseAgreed = true;
}

void TMDIBrett::FinishClose() {
    // Timers first, then the worker, so that no timer restarts what is ending.
    TimerEngineReactivate->stop();
    AutoplayTimer->stop();
    Timer1->stop();
    StopAnalysis();
    StoreGeometryBack();
    if (FTraining) bw::EnableKombis();
}

void TMDIBrett::StoreGeometryBack() {
    bw::TBoardGeometry g;
    QWidget* w = this;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) w = sub;
    const Qt::WindowStates st = w->windowState();
    g.Normal = !(st & (Qt::WindowMinimized | Qt::WindowMaximized));
    g.Height = w->height();
    g.Width = w->width();
    g.Top = w->y();
    g.Left = w->x();
    g.BrettSize = FBrettWidth;
    g.StoreState = !(st & Qt::WindowMinimized);
    g.Maximized = st & Qt::WindowMaximized;
    g.WhiteOnTop = Brett1->GetGedreht();
    g.BlackSquare = Brett1->BlackSquareColor();
    g.WhiteSquare = Brett1->WhiteSquareColor();
    bw::StoreGeometry(g);
}

void TMDIBrett::closeEvent(QCloseEvent* Event) {
    if (FCloseAgreed && !FClosing) {
        FinishClose();
        FClosing = true;
    }
    if (FClosing || FormCloseQuery()) {
        FClosing = true;
        Event->accept();
    } else {
        Event->ignore();
    }
}

void TMDIBrett::CloseWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}
