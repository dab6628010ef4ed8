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
    Board_ = StandardStellung;
    Zug_.CastlingRights = 31;
    Zug_.Side = 1;
    Cache_.fill(-100);
    setFixedSize(8 * Groesse_, 8 * Groesse_);
    Picture_ = QImage(8 * Groesse_, 8 * Groesse_, QImage::Format_RGB32);
    Picture_.fill(Qt::white);
    Redraw(false);
}

TBrett::~TBrett() = default;

// ---------------------------------------------------------------------------
// Piece strip

void TBrett::SetFiguren(TFigurenset Value) {
    if (Value != TFigurenset::User && Value != Figuren_) {
        BuildFiguren(Value);
        RedrawAll();
        UserFiguren_.clear();
    }
    Figuren_ = Value;
}

void TBrett::SetUserFiguren(const QString& Path) {
    if (Path.isEmpty() || Path == UserFiguren_) {
        UserFiguren_ = Path;
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
    UserFiguren_ = Path;
}

void TBrett::BuildFiguren(TFigurenset Set) {
    const bool app = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (app) QApplication::setOverrideCursor(Qt::WaitCursor);
    Strip_ = BuildFigurenStrip(Set);
    if (app) QApplication::restoreOverrideCursor();
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
    Strip_ = img;
    return true;
}

void TBrett::DrawPiece(int Square, int32_t Piece) {
    if (UpdateLock || Square < 0 || Square > 63) return;
    DrawFigurFromStrip(Picture_, SquareRect(Square), Strip_, Piece);
    if (Blind) DrawSquare(Square);
    Changed();
}

void TBrett::DrawPieceAt(const QRect& OldRect, const QRect& NewRect, int32_t Piece) {
    if (UpdateLock) return;
    if (OldRect == FloatRect_) RestoreBackground();
    FloatRect_ = NewRect;
    SaveBackground();
    if (!Blind) DrawFigurFromStrip(Picture_, FloatRect_, Strip_, Piece);
    Changed();
}

void TBrett::DrawFigur(int32_t Piece, QImage& Bitmap, bool Mask) const {
    const int cell = FigurenZelle(Piece);
    if (cell == 0 || Bitmap.isNull()) return;
    const QRect src = Mask ? FigurenMaskeRect(Strip_, cell) : FigurenBildRect(Strip_, cell);
    if (src.isEmpty()) return;
    CopyRectMode(Bitmap, Bitmap.rect(), Strip_, src, TCopyMode::SrcCopy);
}

void TBrett::SetFigurenBitmap(const QImage& Bitmap, TFigurenset Set) {
    Strip_ = Bitmap.convertToFormat(QImage::Format_RGB32);
    Figuren_ = Set;
    UserFiguren_.clear();
}

// ---------------------------------------------------------------------------
// Properties

void TBrett::SetGroesse(int Value) {
    const int v = std::abs(Value);
    if (v == Groesse_ || v < 10 || v >= 100) return;
    CancelDrag();
    Groesse_ = v;
    setFixedSize(8 * v, 8 * v);
    Picture_ = QImage(8 * v, 8 * v, QImage::Format_RGB32);
    Picture_.fill(Qt::white);
    RedrawAll();
}

void TBrett::SetGrundstellung(bool Value) {
    CancelDrag();
    for (int sq = 0; sq < 64; ++sq) {
        const int32_t i = Mailbox(sq);
        Board_[i] = Value ? StandardStellung[i] : 0;
    }
    Zug_ = TZug{};
    Zug_.CastlingRights = 31;
    Zug_.Side = 1;
    if (OnNewPosition) OnNewPosition(this, Board_, Zug_, 1);
    Redraw(false);
    Grundstellung_ = Value;
}

void TBrett::SetWhiteSquareColor(const QColor& c) {
    if (c == WhiteColor_) return;
    WhiteColor_ = c;
    RedrawAll();
}

void TBrett::SetBlackSquareColor(const QColor& c) {
    if (c == BlackColor_) return;
    BlackColor_ = c;
    RedrawAll();
}

void TBrett::SetWhiteSquarePattern(const QImage& p) {
    if (p == WhitePattern_) return;
    WhitePattern_ = p;
    RedrawAll();
}

void TBrett::SetBlackSquarePattern(const QImage& p) {
    if (p == BlackPattern_) return;
    BlackPattern_ = p;
    RedrawAll();
}

// ---------------------------------------------------------------------------
// Geometry and drawing

QRect TBrett::SquareRect(int Square) const {
    const int d = DisplayOf(Square);
    const int s = Groesse_;
    return QRect((d % 8) * s, (7 - d / 8) * s, s, s);
}

int TBrett::SquareAt(const QPoint& p) const {
    const int s = Groesse_;
    if (p.x() < 0 || p.y() < 0 || p.x() >= 8 * s || p.y() >= 8 * s) return -1;
    const int d = (7 - p.y() / s) * 8 + p.x() / s;
    return DisplayOf(d);
}

void TBrett::DrawSquare(int Square) {
    if (UpdateLock || Square < 0 || Square > 63) return;
    const QRect r = SquareRect(Square);
    const bool dark = FeldFarben[DisplayOf(Square)] == 1;
    const QImage& pattern = dark ? BlackPattern_ : WhitePattern_;
    QPainter p(&Picture_);
    if (pattern.isNull())
        p.fillRect(r, dark ? BlackColor_ : WhiteColor_);
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
    DrawPiece(Sq64(Index), Board_[Index]);
}

void TBrett::Redraw(bool Full) {
    if (UpdateLock) return;
    FinishAnimation();
    for (int sq = 0; sq < 64; ++sq) {
        const int32_t i = Mailbox(sq);
        if (Full || Board_[i] != Cache_[i]) {
            DrawSquare(sq);
            DrawPiece(sq, Board_[i]);
        }
    }
    for (int i = 0; i < 120; ++i)
        Cache_[i] = Board_[i];
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
    QPainter p(&Picture_);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Colour, 2));
    p.drawRect(QRectF(r.left() + 1, r.top() + 1, r.width() - 2, r.height() - 2));
    Changed();
}

void TBrett::Drehen() {
    CancelDrag();
    Gedreht_ = !Gedreht_;
    ClickFirst_ = 0;
    RedrawAll();
}

void TBrett::SetClickClick(bool On) {
    if (!On && ClickFirst_ != 0) {
        const int32_t first = ClickFirst_;
        ClickFirst_ = 0;
        RedrawSquare(first);
    }
    ClickClick_ = On;
}

void TBrett::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(rect(), Picture_);
}

void TBrett::Beep() {
    QApplication::beep();
}

// ---------------------------------------------------------------------------
// Floating piece

void TBrett::SaveBackground() {
    BackgroundRect_ = FloatRect_.intersected(Picture_.rect());
    Background_ = BackgroundRect_.isEmpty() ? QImage() : Picture_.copy(BackgroundRect_);
}

void TBrett::RestoreBackground() {
    if (Background_.isNull()) return;
    CopyRectMode(Picture_, BackgroundRect_, Background_, Background_.rect(), TCopyMode::SrcCopy);
    Background_ = QImage();
    Changed();
}

void TBrett::FloatTo(const QRect& r) {
    RestoreBackground();
    FloatRect_ = r;
    SaveBackground();
    if (!Blind && !UpdateLock) DrawFigurFromStrip(Picture_, FloatRect_, Strip_, Dragged_);
    Changed();
}

void TBrett::CancelDrag() {
    // The animation shares the saved background with the drag.
    FinishAnimation();
    if (Floating_) RestoreBackground();
    Floating_ = false;
    if (Dragged_ != 0) {
        Dragged_ = 0;
        RedrawSquare(Mailbox(DragStart_));
    }
    if (Proposal_ != 0) {
        const int32_t p = Proposal_;
        Proposal_ = 0;
        RedrawSquare(p);
    }
    if (ClickFirst_ != 0) {
        const int32_t f = ClickFirst_;
        ClickFirst_ = 0;
        RedrawSquare(f);
    }
    if (PolicySaved_) {
        setContextMenuPolicy(SavedPolicy_);
        PolicySaved_ = false;
    }
}

// ---------------------------------------------------------------------------
// Position and moves

void TBrett::SetStellung(const TSchachbrett& Stellung, const TZug& Zug) {
    CancelDrag();
    Board_ = Stellung;
    Zug_ = Zug;
    Redraw(false);
}

void TBrett::DoZug(const TZug& Zug) {
    CancelDrag();
    Zug_ = Zug;
    ExecuteZug();
}

bool TBrett::MakeMove(int32_t From, int32_t To, bool Castle960, int32_t Promotion) {
    if (!IsBoardSquare(From) || !IsBoardSquare(To)) return false;
    const TZug saved = Zug_;
    Zug_.From = From;
    Zug_.To = To;
    Zug_.Captured = Board_[To];
    Zug_.Flags = 0;
    Zug_.Glyph = 0;
    Zug_.NAG = 0;
    Zug_.ExtraNAG = 0;
    Zug_.EnPassantVictim = 0;
    Zug_.EnPassant = 0;
    Zug_.Promotion = 0;
    Zug_.CastlingKind = 0;

    const int32_t piece = Board_[From];
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
                Zug_.CastlingKind = Castle960 ? 4 : 2;
            else if (To == (white ? SqG1 : SqG8))
                Zug_.CastlingKind = Castle960 ? 3 : 1;
        }
        break;
    }
    case 1:
    case -1: {
        const bool white = piece > 0;
        const int step = white ? to64 - from64 : from64 - to64;
        const int behind = white ? -10 : 10;
        if (step == 16) Zug_.EnPassant = To + behind;
        const bool fromEpRank = white ? (From >= 61 && From <= 68) : (From >= 51 && From <= 58);
        if ((step == 7 || step == 9) && Board_[To] == 0 && fromEpRank)
            Zug_.EnPassantVictim = To + behind;
        const bool lastRank = white ? To >= SqA8 : To <= SqH1;
        if (lastRank) {
            if (Promotion == -1) {
                const int32_t p = AskPromotion(white ? 1 : -1);
                if (p == 0) {
                    // Closing the choice is a cancel: the pawn stays where it was.
                    Zug_ = saved;
                    return false;
                }
                Zug_.Promotion = p;
            } else {
                Zug_.Promotion = Promotion;
            }
        }
        break;
    }
    default:
        break;
    }

    Zug_.CastlingRights = CastlingRightsAfter(Zug_.CastlingRights, Board_, From, To, FischerInfo);

    // A Chess960 king may castle onto its own rook: that is no capture.
    if (Zug_.CastlingKind >= 3) Zug_.Captured = 0;

    Zug_.Side = -Zug_.Side;
    ExecuteZug();
    return true;
}

void TBrett::ExecuteZug() {
    FinishAnimation();
    const int32_t from = Zug_.From;
    const int32_t to = Zug_.To;
    if (!IsBoardSquare(from) || !IsBoardSquare(to)) return;
    const int32_t piece = Board_[from];

    // The board changes in one place for every kind of move; then each
    // square it wrote is drawn again.
    DrawSquareEmpty(from);
    TMoveChanges changes;
    ZugAusfuehren(Board_, Zug_, FischerInfo, &changes);
    for (uint8_t i = 0; i < changes.Count; ++i)
        DrawSquareWithPiece(changes.Changes[i].Square);
    // The position is exact from here on; only the picture of the moving
    // piece follows, step by step.
    if (Animation > 0 && AnimateAllowed_ && from != to && piece != 0 && !UpdateLock)
        Animate(from, to, piece);

    if (Ton) Beep();
    for (int i = 0; i < 120; ++i)
        Cache_[i] = Board_[i];
    Changed();
}

void TBrett::Animate(int32_t From, int32_t To, int32_t Piece) {
    const QRect fr = SquareRect(Sq64(From));
    const QRect tr = SquareRect(Sq64(To));
    const int dv = fr.top() - tr.top();
    const int dh = fr.right() - tr.right();
    AnimStepV_ = 4;
    AnimStepH_ = 4;
    if (dv == 0)
        AnimStepV_ = 0;
    else if (dh == 0)
        AnimStepH_ = 0;
    else if (std::abs(dh) < std::abs(dv))
        AnimStepH_ = 2;
    else if (std::abs(dv) < std::abs(dh))
        AnimStepV_ = 2;
    AnimNeedH_ = dh == 0 ? 1 : std::abs(dh);
    AnimNeedV_ = dv == 0 ? 1 : std::abs(dv);
    AnimDirH_ = dh > 0 ? -1 : 1;
    AnimDirV_ = dv > 0 ? -1 : 1;
    AnimMovedH_ = AnimMovedV_ = 0;
    AnimFrom_ = fr;
    AnimTo_ = To;
    AnimPiece_ = Piece;

    // The target shows empty until the piece lands on it.
    DrawSquare(Sq64(To));
    FloatRect_ = fr;
    SaveBackground();
    FloatAnimated(fr);
    if (!AnimTimer_) {
        AnimTimer_ = new QTimer(this);
        connect(AnimTimer_, &QTimer::timeout, this, &TBrett::AnimationStep);
    }
    AnimTimer_->start(Animation);
}

void TBrett::FloatAnimated(const QRect& r) {
    RestoreBackground();
    FloatRect_ = r;
    SaveBackground();
    if (!Blind) DrawFigurFromStrip(Picture_, FloatRect_, Strip_, AnimPiece_);
    Changed();
}

void TBrett::AnimationStep() {
    if (AnimPiece_ == 0) return;
    AnimMovedH_ += AnimStepH_;
    AnimMovedV_ += AnimStepV_;
    FloatAnimated(AnimFrom_.translated(AnimDirH_ * AnimMovedH_, AnimDirV_ * AnimMovedV_));
    if (AnimMovedH_ >= AnimNeedH_ || AnimMovedV_ >= AnimNeedV_) FinishAnimation();
}

void TBrett::FinishAnimation() {
    if (AnimPiece_ == 0) return;
    if (AnimTimer_) AnimTimer_->stop();
    RestoreBackground();
    AnimPiece_ = 0;
    DrawSquareWithPiece(AnimTo_);
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
    const int32_t keepFrom = Zug_.From, keepTo = Zug_.To, keepKind = Zug_.CastlingKind;
    Zug_.From = From;
    Zug_.To = To;
    Zug_.CastlingKind = Castle960 ? 3 : 0;
    bool legal = false;
    if (OnMoveTry) OnMoveTry(this, legal);
    Zug_.From = keepFrom;
    Zug_.To = keepTo;
    Zug_.CastlingKind = keepKind;
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
    const int h = std::max(16, Strip_.height() / 2 + 5);
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
        const int cs = std::max(1, Strip_.height() / 2);
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
        QPoint(2 * Groesse_, 3 * Groesse_ + static_cast<int>(std::nearbyint(Groesse_ / 2.0))));
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
