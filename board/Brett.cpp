// SPDX-License-Identifier: GPL-3.0-or-later
// TBrett: construction, properties, drawing and making moves.
#include "Brett.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <cmath>
#include <cstdlib>

namespace kb {

namespace {

int Sq64(int32_t Index) {
    return Index120To64(static_cast<uint8_t>(Index));
}

int32_t Mailbox(int Square) {
    return Index64To120(static_cast<uint8_t>(Square));
}

} // namespace

TBrett::TBrett(QWidget* parent) : QWidget(parent) {
    board_ = StandardStellung;
    zug_.CastlingRights = 31;
    zug_.Side = 1;
    cache_.fill(-100);
    setFixedSize(8 * groesse_, 8 * groesse_);
    picture_ = QImage(8 * groesse_, 8 * groesse_, QImage::Format_RGB32);
    picture_.fill(Qt::white);
    Redraw(false);
}

TBrett::~TBrett() = default;

// ---------------------------------------------------------------------------
// Piece strip

void TBrett::SetFiguren(TFigurenset Value) {
    if (Value != TFigurenset::User && Value != figuren_) {
        BuildFiguren(Value);
        RedrawAll();
        userFiguren_.clear();
    }
    figuren_ = Value;
}

void TBrett::SetUserFiguren(const QString& Path) {
    if (Path.isEmpty() || Path == userFiguren_) {
        userFiguren_ = Path;
        return;
    }
    if (!QFileInfo::exists(Path)) {
        ShowError(QStringLiteral("File not found."));
        return;
    }
    if (!LoadUserFiguren(Path)) {
        SetFiguren(TFigurenset::WinboardF33);
        return;
    }
    RedrawAll();
    SetFiguren(TFigurenset::User);
    userFiguren_ = Path;
}

void TBrett::BuildFiguren(TFigurenset Set) {
    const bool app = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (app) QApplication::setOverrideCursor(Qt::WaitCursor);
    strip_ = BuildFigurenStrip(Set);
    stripBuiltIn_ = true;
    if (app) QApplication::restoreOverrideCursor();
}

const QImage& TBrett::DrawStrip() const {
    // Stretching a set's cells by whole pixels drops rows and columns: thin
    // outlines break up and a small white piece falls apart. Pieces of the
    // built-in sets are drawn anew for the square size instead, once the
    // board draws at a size that is not the set's own.
    if (!stripBuiltIn_ || strip_.isNull() || strip_.height() / 2 == groesse_) return strip_;
    if (sized_.isNull() || sized_.height() / 2 != groesse_) sized_ = BuildFigurenStrip(groesse_);
    return sized_;
}

bool TBrett::LoadUserFiguren(const QString& Path) {
    QImage img;
    switch (LoadUserStrip(Path, img)) {
    case TStripLoad::NotFound:
        ShowError(QStringLiteral("Datei wurde nicht gefunden."));
        return false;
    case TStripLoad::LoadFailed:
        ShowError(QStringLiteral("Bitmap konnte nicht geladen werden."));
        return false;
    case TStripLoad::BadSize:
        ShowError(QStringLiteral("Ungültige Maße der Bitmap."));
        return false;
    case TStripLoad::Ok:
        break;
    }
    strip_ = img;
    stripBuiltIn_ = false;
    return true;
}

void TBrett::DrawPiece(int Square, int32_t Piece) {
    if (UpdateLock || Square < 0 || Square > 63) return;
    DrawFigurFromStrip(picture_, SquareRect(Square), DrawStrip(), Piece);
    if (Blind) DrawSquare(Square);
    Changed();
}

void TBrett::DrawPieceAt(const QRect& OldRect, const QRect& NewRect, int32_t Piece) {
    if (UpdateLock) return;
    if (OldRect == floatRect_) RestoreBackground();
    floatRect_ = NewRect;
    SaveBackground();
    if (!Blind) DrawFigurFromStrip(picture_, floatRect_, DrawStrip(), Piece);
    Changed();
}

void TBrett::DrawFigur(int32_t Piece, QImage& Bitmap, bool Mask) const {
    const int cell = FigurenZelle(Piece);
    if (cell == 0 || Bitmap.isNull()) return;
    const QRect src = Mask ? FigurenMaskeRect(strip_, cell) : FigurenBildRect(strip_, cell);
    if (src.isEmpty()) return;
    CopyRectMode(Bitmap, Bitmap.rect(), strip_, src, TCopyMode::SrcCopy);
}

void TBrett::SetFigurenBitmap(const QImage& Bitmap, TFigurenset Set) {
    strip_ = Bitmap.convertToFormat(QImage::Format_RGB32);
    stripBuiltIn_ = Set != TFigurenset::User && Bitmap.height() / 2 == FigurenGroesse(Set);
    figuren_ = Set;
    userFiguren_.clear();
}

// ---------------------------------------------------------------------------
// Properties

void TBrett::SetGroesse(int Value) {
    const int v = std::abs(Value);
    if (v == groesse_ || v < 10 || v >= 100) return;
    CancelDrag();
    groesse_ = v;
    setFixedSize(8 * v, 8 * v);
    picture_ = QImage(8 * v, 8 * v, QImage::Format_RGB32);
    picture_.fill(Qt::white);
    RedrawAll();
}

void TBrett::SetGrundstellung(bool Value) {
    CancelDrag();
    for (int sq = 0; sq < 64; ++sq) {
        const int32_t i = Mailbox(sq);
        board_[i] = Value ? StandardStellung[i] : 0;
    }
    zug_ = TZug{};
    zug_.CastlingRights = 31;
    zug_.Side = 1;
    NewFischerInfo = TFischerInfo{};
    if (OnNewPosition) OnNewPosition(this, board_, zug_, 1);
    Redraw(false);
    grundstellung_ = Value;
}

void TBrett::SetWhiteSquareColor(const QColor& c) {
    if (c == whiteColor_) return;
    whiteColor_ = c;
    RedrawAll();
}

void TBrett::SetBlackSquareColor(const QColor& c) {
    if (c == blackColor_) return;
    blackColor_ = c;
    RedrawAll();
}

void TBrett::SetWhiteSquarePattern(const QImage& p) {
    if (p == whitePattern_) return;
    whitePattern_ = p;
    RedrawAll();
}

void TBrett::SetBlackSquarePattern(const QImage& p) {
    if (p == blackPattern_) return;
    blackPattern_ = p;
    RedrawAll();
}

// ---------------------------------------------------------------------------
// Geometry and drawing

QRect TBrett::SquareRect(int Square) const {
    const int d = DisplayOf(Square);
    const int s = groesse_;
    return QRect((d % 8) * s, (7 - d / 8) * s, s, s);
}

int TBrett::SquareAt(const QPoint& p) const {
    const int s = groesse_;
    if (p.x() < 0 || p.y() < 0 || p.x() >= 8 * s || p.y() >= 8 * s) return -1;
    const int d = (7 - p.y() / s) * 8 + p.x() / s;
    return DisplayOf(d);
}

void TBrett::DrawSquare(int Square) {
    if (UpdateLock || Square < 0 || Square > 63) return;
    const QRect r = SquareRect(Square);
    const bool dark = FeldFarben[DisplayOf(Square)] == 1;
    const QImage& pattern = dark ? blackPattern_ : whitePattern_;
    QPainter p(&picture_);
    if (pattern.isNull())
        p.fillRect(r, dark ? blackColor_ : whiteColor_);
    else
        p.drawImage(r, pattern);
    Changed();
}

void TBrett::DrawSquareEmpty(int32_t Index) {
    if (IsBoardSquare(Index)) DrawSquare(Sq64(Index));
}

void TBrett::DrawSquareWithPiece(int32_t Index) {
    if (!IsBoardSquare(Index)) return;
    DrawSquare(Sq64(Index));
    DrawPiece(Sq64(Index), board_[Index]);
}

void TBrett::Redraw(bool Full) {
    if (UpdateLock) return;
    FinishAnimation();
    for (int sq = 0; sq < 64; ++sq) {
        const int32_t i = Mailbox(sq);
        if (Full || board_[i] != cache_[i]) {
            DrawSquare(sq);
            DrawPiece(sq, board_[i]);
        }
    }
    for (int i = 0; i < 120; ++i)
        cache_[i] = board_[i];
    Changed();
}

void TBrett::RedrawSquare(int32_t Index) {
    FinishAnimation();
    DrawSquareWithPiece(Index);
}

void TBrett::MarkSquare(int32_t Index, const QColor& Colour) {
    if (UpdateLock || !IsBoardSquare(Index)) return;
    FinishAnimation();
    const QRect r = SquareRect(Sq64(Index));
    QPainter p(&picture_);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Colour, 2));
    p.drawRect(QRectF(r.left() + 1, r.top() + 1, r.width() - 2, r.height() - 2));
    Changed();
}

void TBrett::Drehen() {
    CancelDrag();
    gedreht_ = !gedreht_;
    clickFirst_ = 0;
    RedrawAll();
}

void TBrett::SetClickClick(bool On) {
    if (!On && clickFirst_ != 0) {
        const int32_t first = clickFirst_;
        clickFirst_ = 0;
        RedrawSquare(first);
    }
    clickClick_ = On;
}

void TBrett::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(rect(), picture_);
}

void TBrett::Beep() {
    QApplication::beep();
}

// ---------------------------------------------------------------------------
// Floating piece

void TBrett::SaveBackground() {
    backgroundRect_ = floatRect_.intersected(picture_.rect());
    background_ = backgroundRect_.isEmpty() ? QImage() : picture_.copy(backgroundRect_);
}

void TBrett::RestoreBackground() {
    if (background_.isNull()) return;
    CopyRectMode(picture_, backgroundRect_, background_, background_.rect(), TCopyMode::SrcCopy);
    background_ = QImage();
    Changed();
}

void TBrett::FloatTo(const QRect& r) {
    RestoreBackground();
    floatRect_ = r;
    SaveBackground();
    if (!Blind && !UpdateLock) DrawFigurFromStrip(picture_, floatRect_, DrawStrip(), dragged_);
    Changed();
}

void TBrett::CancelDrag() {
    // The animation shares the saved background with the drag.
    FinishAnimation();
    if (floating_) RestoreBackground();
    floating_ = false;
    if (dragged_ != 0) {
        dragged_ = 0;
        RedrawSquare(Mailbox(dragStart_));
    }
    if (proposal_ != 0) {
        const int32_t p = proposal_;
        proposal_ = 0;
        RedrawSquare(p);
    }
    if (clickFirst_ != 0) {
        const int32_t f = clickFirst_;
        clickFirst_ = 0;
        RedrawSquare(f);
    }
    if (policySaved_) {
        setContextMenuPolicy(savedPolicy_);
        policySaved_ = false;
    }
}

// ---------------------------------------------------------------------------
// Position and moves

void TBrett::SetStellung(const TSchachbrett& Stellung, const TZug& Zug) {
    CancelDrag();
    board_ = Stellung;
    zug_ = Zug;
    Redraw(false);
}

void TBrett::DoZug(const TZug& Zug) {
    CancelDrag();
    zug_ = Zug;
    ExecuteZug();
}

bool TBrett::MakeMove(int32_t From, int32_t To, bool Castle960, int32_t Promotion) {
    if (!IsBoardSquare(From) || !IsBoardSquare(To)) return false;
    const TZug saved = zug_;
    zug_.From = From;
    zug_.To = To;
    zug_.Captured = board_[To];
    zug_.Flags = 0;
    zug_.Glyph = 0;
    zug_.NAG = 0;
    zug_.ExtraNAG = 0;
    zug_.EnPassantVictim = 0;
    zug_.EnPassant = 0;
    zug_.Promotion = 0;
    zug_.CastlingKind = 0;

    const int32_t piece = board_[From];
    const int from64 = Sq64(From);
    const int to64 = Sq64(To);
    switch (piece) {
    case 6:
    case -6: {
        const bool white = piece > 0;
        int32_t home = white ? SqE1 : SqE8;
        if (Castle960 && FischerInfo)
            home = white ? FischerInfo->WhiteKing : FischerInfo->BlackKing;
        if (From == home) {
            if (To == (white ? SqC1 : SqC8))
                zug_.CastlingKind = Castle960 ? 4 : 2;
            else if (To == (white ? SqG1 : SqG8))
                zug_.CastlingKind = Castle960 ? 3 : 1;
        }
        break;
    }
    case 1:
    case -1: {
        const bool white = piece > 0;
        const int step = white ? to64 - from64 : from64 - to64;
        const int behind = white ? -10 : 10;
        if (step == 16) zug_.EnPassant = To + behind;
        const bool fromEpRank =
            white ? (From >= SqA5 && From <= SqH5) : (From >= SqA4 && From <= SqH4);
        if ((step == 7 || step == 9) && board_[To] == 0 && fromEpRank)
            zug_.EnPassantVictim = To + behind;
        const bool lastRank = white ? To >= SqA8 : To <= SqH1;
        if (lastRank) {
            if (Promotion == -1) {
                const int32_t p = AskPromotion(white ? 1 : -1);
                if (p == 0) {
                    // Closing the choice is a cancel: the pawn stays where it was.
                    zug_ = saved;
                    return false;
                }
                zug_.Promotion = p;
            } else {
                zug_.Promotion = Promotion;
            }
        }
        break;
    }
    default:
        break;
    }

    zug_.CastlingRights = CastlingRightsAfter(zug_.CastlingRights, board_, From, To, FischerInfo);

    // A Chess960 king may castle onto its own rook: that is no capture.
    if (zug_.CastlingKind >= 3) zug_.Captured = 0;

    zug_.Side = -zug_.Side;
    ExecuteZug();
    return true;
}

void TBrett::ExecuteZug() {
    FinishAnimation();
    const int32_t from = zug_.From;
    const int32_t to = zug_.To;
    if (!IsBoardSquare(from) || !IsBoardSquare(to)) return;
    const int32_t piece = board_[from];

    // The board changes in one place for every kind of move; then each
    // square it wrote is drawn again.
    DrawSquareEmpty(from);
    TMoveChanges changes;
    ZugAusfuehren(board_, zug_, FischerInfo, &changes);
    for (uint8_t i = 0; i < changes.Count; ++i)
        DrawSquareWithPiece(changes.Changes[i].Square);
    // The position is exact from here on; only the picture of the moving
    // piece follows, step by step.
    if (Animation > 0 && animateAllowed_ && from != to && piece != 0 && !UpdateLock)
        Animate(from, to, piece);

    if (Ton) Beep();
    for (int i = 0; i < 120; ++i)
        cache_[i] = board_[i];
    Changed();
}

void TBrett::Animate(int32_t From, int32_t To, int32_t Piece) {
    const QRect fr = SquareRect(Sq64(From));
    const QRect tr = SquareRect(Sq64(To));
    const int dv = fr.top() - tr.top();
    const int dh = fr.right() - tr.right();
    animStepV_ = 4;
    animStepH_ = 4;
    if (dv == 0)
        animStepV_ = 0;
    else if (dh == 0)
        animStepH_ = 0;
    else if (std::abs(dh) < std::abs(dv))
        animStepH_ = 2;
    else if (std::abs(dv) < std::abs(dh))
        animStepV_ = 2;
    animNeedH_ = dh == 0 ? 1 : std::abs(dh);
    animNeedV_ = dv == 0 ? 1 : std::abs(dv);
    animDirH_ = dh > 0 ? -1 : 1;
    animDirV_ = dv > 0 ? -1 : 1;
    animMovedH_ = animMovedV_ = 0;
    animFrom_ = fr;
    animTo_ = To;
    animPiece_ = Piece;

    // The target shows empty until the piece lands on it.
    DrawSquare(Sq64(To));
    floatRect_ = fr;
    SaveBackground();
    FloatAnimated(fr);
    if (!animTimer_) {
        animTimer_ = new QTimer(this);
        connect(animTimer_, &QTimer::timeout, this, &TBrett::AnimationStep);
    }
    animTimer_->start(Animation);
}

void TBrett::FloatAnimated(const QRect& r) {
    RestoreBackground();
    floatRect_ = r;
    SaveBackground();
    if (!Blind) DrawFigurFromStrip(picture_, floatRect_, DrawStrip(), animPiece_);
    Changed();
}

void TBrett::AnimationStep() {
    if (animPiece_ == 0) return;
    animMovedH_ += animStepH_;
    animMovedV_ += animStepV_;
    FloatAnimated(animFrom_.translated(animDirH_ * animMovedH_, animDirV_ * animMovedV_));
    if (animMovedH_ >= animNeedH_ || animMovedV_ >= animNeedV_) FinishAnimation();
}

void TBrett::FinishAnimation() {
    if (animPiece_ == 0) return;
    if (animTimer_) animTimer_->stop();
    RestoreBackground();
    animPiece_ = 0;
    DrawSquareWithPiece(animTo_);
}

// ---------------------------------------------------------------------------
// Host hooks and modal windows

void TBrett::DoMoveDone(Qt::KeyboardModifiers Shift) {
    if (!OnMoveDone) return;
    CtrlMove = Shift.testFlag(Qt::ControlModifier);
    AltMove = Shift.testFlag(Qt::AltModifier);
    OnMoveDone(this);
    CtrlMove = false;
    AltMove = false;
}

bool TBrett::DoMoveTry(int32_t From, int32_t To, bool Castle960) {
    const int32_t keepFrom = zug_.From, keepTo = zug_.To, keepKind = zug_.CastlingKind;
    zug_.From = From;
    zug_.To = To;
    zug_.CastlingKind = Castle960 ? 3 : 0;
    bool legal = false;
    if (OnMoveTry) OnMoveTry(this, legal);
    zug_.From = keepFrom;
    zug_.To = keepTo;
    zug_.CastlingKind = keepKind;
    return legal;
}

uint8_t TBrett::DoMovePart(uint8_t Square) {
    uint8_t proposal = 0;
    if (OnMovePart) OnMovePart(this, Square, proposal);
    return proposal;
}

int TBrett::RunModal(QDialog& Dialog) {
    if (ModalRunner) return ModalRunner(Dialog);
    return Dialog.exec();
}

void TBrett::ShowError(const QString& Text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestrelbay"), Text, QMessageBox::Ok,
                    this);
    RunModal(box);
}

int32_t TBrett::AskPromotion(int32_t Colour) {
    const int h = std::max(16, strip_.height() / 2 + 5);
    QDialog popup(this, Qt::Dialog | Qt::FramelessWindowHint);
    popup.setObjectName(QStringLiteral("Umwandlung"));
    popup.setFixedSize(4 * h, h);
    auto* row = new QHBoxLayout(&popup);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    const int white = Colour > 0 ? 1 : -1;
    QPushButton* queen = nullptr;
    for (int kind : {2, 3, 4, 5}) {
        auto* b = new QPushButton(&popup);
        b->setObjectName(QStringLiteral("Umwandlung%1").arg(kind));
        b->setFixedSize(h, h);
        const int cs = std::max(1, strip_.height() / 2);
        QImage glyph(cs, cs, QImage::Format_RGB32);
        glyph.fill(Qt::white);
        DrawFigur(kind * white, glyph, false);
        b->setIcon(QIcon(QPixmap::fromImage(glyph)));
        b->setIconSize(QSize(cs, cs));
        QObject::connect(b, &QPushButton::clicked, &popup, [&popup, kind] { popup.done(kind); });
        row->addWidget(b);
        if (kind == 5) queen = b;
    }
    queen->setDefault(true);
    queen->setFocus();
    // Near the middle of the board, kept inside the screen.
    QPoint at = mapToGlobal(
        QPoint(2 * groesse_, 3 * groesse_ + static_cast<int>(std::nearbyint(groesse_ / 2.0))));
    if (const QScreen* screen = this->screen()) {
        const QRect avail = screen->availableGeometry();
        at.setX(std::max(avail.left(), std::min(at.x(), avail.right() + 1 - popup.width())));
        at.setY(std::max(avail.top(), std::min(at.y(), avail.bottom() + 1 - popup.height())));
    }
    popup.move(at);
    const int kind = RunModal(popup);
    if (kind < 2 || kind > 5) return 0;
    return kind * white;
}

} // namespace kb
