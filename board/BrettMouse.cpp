// SPDX-License-Identifier: GPL-3.0-or-later
// TBrett: move entry with the mouse (drag, click-click, one-click proposals).
#include "Aufbau.h"
#include "Brett.h"

#include <QMouseEvent>

#include <cmath>

namespace kb {

namespace {

int32_t Mailbox(int Square) {
    return Index64To120(static_cast<uint8_t>(Square));
}

int Sq64(int32_t Index) {
    return Index120To64(static_cast<uint8_t>(Index));
}

} // namespace

void TBrett::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    MouseDown(e->button(), e->modifiers(), p.x(), p.y());
}

void TBrett::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    MouseMove(e->modifiers(), p.x(), p.y());
}

void TBrett::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    MouseUp(e->button(), e->modifiers(), p.x(), p.y());
}

bool TBrett::OwnPiece(int Square) const {
    if (Square < 0 || Square > 63) return false;
    return Board_[Mailbox(Square)] * Zug_.Side > 0;
}

bool TBrett::Castle960Requested(Qt::KeyboardModifiers Shift, int StartSquare,
                                bool ExactCtrl) const {
    if (!FischerInfo || !FischerInfo->Fischer) return false;
    const bool ctrl =
        ExactCtrl ? Shift == Qt::ControlModifier : Shift.testFlag(Qt::ControlModifier);
    if (!ctrl || StartSquare < 0 || StartSquare > 63) return false;
    const int32_t king = Zug_.Side == 1 ? FischerInfo->WhiteKing : FischerInfo->BlackKing;
    return Mailbox(StartSquare) == king && Board_[king] == 6 * Zug_.Side;
}

void TBrett::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    // A piece still sliding lands before the user takes hold of the board.
    FinishAnimation();
    if (Aufbau_) {
        Aufbau_->BoardMouseDown(Button, Shift, X, Y);
        return;
    }
    if (Button != Qt::LeftButton || !Ziehenmoeglich) return;
    if (!PolicySaved_) {
        SavedPolicy_ = contextMenuPolicy();
        PolicySaved_ = true;
        setContextMenuPolicy(Qt::PreventContextMenu);
    }
    const int pressed = SquareAt(QPoint(X, Y));
    if (pressed < 0) return;

    if (!ClickClick_) {
        // A gesture whose release never came is dropped first.
        if (Dragged_ != 0 || Proposal_ != 0) CancelDrag();
        Proposal_ = 0;
        if (ZugVorschlagen) {
            const uint8_t proposal = DoMovePart(static_cast<uint8_t>(Mailbox(pressed)));
            // Only a square of the board is a proposal.
            if (IsBoardSquare(proposal) && proposal != Mailbox(pressed)) {
                Proposal_ = proposal;
                MarkSquare(Proposal_, MarkColor);
            }
        }
        if (Board_[Mailbox(pressed)] == 0 && Proposal_ == 0) return;
        DragStart_ = pressed;
        if (!OwnPiece(pressed)) return;
        LastMouse_ = QPoint(X, Y);
        Dragged_ = Board_[Mailbox(pressed)];
        DrawSquare(pressed);
        Floating_ = true;
        Background_ = QImage();
        FloatTo(SquareRect(pressed).translated(0, -2));
        return;
    }

    if (ClickFirst_ == 0) {
        if (Board_[Mailbox(pressed)] != 0) {
            ClickFirst_ = Mailbox(pressed);
            MarkSquare(ClickFirst_, MarkColor);
        }
        return;
    }
    const int32_t first = ClickFirst_;
    ClickFirst_ = 0;
    RedrawSquare(first);
    const bool castling = Castle960Requested(Shift, Sq64(first), false);
    const int32_t target = Mailbox(pressed);
    if ((target != first || castling) && (!OwnPiece(pressed) || castling) &&
        DoMoveTry(first, target, castling)) {
        FinishMove(Sq64(first), pressed, castling, Shift);
    }
}

void TBrett::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
    if (Aufbau_) {
        Aufbau_->BoardMouseMove(Shift, X, Y);
        return;
    }
    if (Dragged_ == 0 || !Floating_) return;
    const QPoint delta = QPoint(X, Y) - LastMouse_;
    LastMouse_ = QPoint(X, Y);
    FloatTo(FloatRect_.translated(delta));
}

void TBrett::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (Aufbau_ || Button != Qt::LeftButton) return;
    if (PolicySaved_) {
        setContextMenuPolicy(SavedPolicy_);
        PolicySaved_ = false;
    }
    if (Dragged_ == 0 && Proposal_ == 0) return;

    const QPoint drop =
        Floating_
            ? QPoint(FloatRect_.left() + static_cast<int>(std::nearbyint(FloatRect_.width() / 2.0)),
                     FloatRect_.top() + static_cast<int>(std::nearbyint(FloatRect_.height() / 2.0)))
            : QPoint(X, Y);
    int dropSq = SquareAt(drop);
    int start = DragStart_;

    if (Proposal_ != 0) {
        const int32_t proposal = Proposal_;
        RedrawSquare(proposal);
        if (dropSq < 0) {
            // Released off the board: nothing is played.
            Proposal_ = 0;
            CancelDrag();
            return;
        }
        if (dropSq == start) {
            if (Shift != Qt::ControlModifier) {
                if (!OwnPiece(start))
                    start = Sq64(proposal);
                else
                    dropSq = Sq64(proposal);
                Dragged_ = Board_[Mailbox(start)];
            }
        } else {
            if (OwnPiece(dropSq) && !OwnPiece(start)) {
                std::swap(start, dropSq);
                Dragged_ = Board_[Mailbox(start)];
            }
            if (!OwnPiece(start)) {
                Proposal_ = 0;
                CancelDrag();
                return;
            }
        }
    }

    if (Floating_) RestoreBackground();
    Floating_ = false;
    if (Proposal_ != 0) RedrawSquare(Proposal_);
    const bool castling = Castle960Requested(Shift, start, true);
    Proposal_ = 0;

    if (dropSq >= 0 && OwnPiece(start) && (dropSq != start || castling) &&
        (!OwnPiece(dropSq) || castling) && DoMoveTry(Mailbox(start), Mailbox(dropSq), castling)) {
        FinishMove(start, dropSq, castling, Shift);
        return;
    }
    // Refused: the piece goes back where it was.
    if (Dragged_ != 0) {
        DrawSquare(start);
        DrawPiece(start, Board_[Mailbox(start)]);
        if (start != DragStart_) RedrawSquare(Mailbox(DragStart_));
    }
    Dragged_ = 0;
}

void TBrett::FinishMove(int Start, int Drop, bool Castling, Qt::KeyboardModifiers Shift) {
    const bool ton = Ton;
    Ton = false;
    AnimateAllowed_ = false;
    const int32_t piece = Board_[Mailbox(Start)];
    const bool made = MakeMove(Mailbox(Start), Mailbox(Drop), Castling, -1);
    AnimateAllowed_ = true;
    Ton = ton;
    Dragged_ = 0;
    if (!made) {
        // The promotion choice was closed: put the pawn back.
        DrawSquare(Start);
        DrawPiece(Start, piece);
        RedrawSquare(Mailbox(Drop));
        return;
    }
    DoMoveDone(Castling ? Qt::KeyboardModifiers() : Shift);
}

} // namespace kb
