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
    return board_[Mailbox(Square)] * zug_.Side > 0;
}

bool TBrett::Castle960Requested(Qt::KeyboardModifiers Shift, int StartSquare,
                                bool ExactCtrl) const {
    if (!FischerInfo || !FischerInfo->Fischer) return false;
    const bool ctrl =
        ExactCtrl ? Shift == Qt::ControlModifier : Shift.testFlag(Qt::ControlModifier);
    if (!ctrl || StartSquare < 0 || StartSquare > 63) return false;
    const int32_t king = zug_.Side == 1 ? FischerInfo->WhiteKing : FischerInfo->BlackKing;
    return Mailbox(StartSquare) == king && board_[king] == 6 * zug_.Side;
}

void TBrett::MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    // A piece still sliding lands before the user takes hold of the board.
    FinishAnimation();
    if (aufbau_) {
        aufbau_->BoardMouseDown(Button, Shift, X, Y);
        return;
    }
    if (Button != Qt::LeftButton || !Ziehenmoeglich) return;
    if (!policySaved_) {
        savedPolicy_ = contextMenuPolicy();
        policySaved_ = true;
        setContextMenuPolicy(Qt::PreventContextMenu);
    }
    const int pressed = SquareAt(QPoint(X, Y));
    if (pressed < 0) return;

    if (!clickClick_) {
        // A gesture whose release never came is dropped first.
        if (dragged_ != 0 || proposal_ != 0) CancelDrag();
        proposal_ = 0;
        if (ZugVorschlagen) {
            const uint8_t proposal = DoMovePart(static_cast<uint8_t>(Mailbox(pressed)));
            // Only a square of the board is a proposal.
            if (IsBoardSquare(proposal) && proposal != Mailbox(pressed)) {
                proposal_ = proposal;
                MarkSquare(proposal_, MarkColor);
            }
        }
        if (board_[Mailbox(pressed)] == 0 && proposal_ == 0) return;
        dragStart_ = pressed;
        if (!OwnPiece(pressed)) return;
        lastMouse_ = QPoint(X, Y);
        dragged_ = board_[Mailbox(pressed)];
        DrawSquare(pressed);
        floating_ = true;
        background_ = QImage();
        FloatTo(SquareRect(pressed).translated(0, -2));
        return;
    }

    if (clickFirst_ == 0) {
        if (board_[Mailbox(pressed)] != 0) {
            clickFirst_ = Mailbox(pressed);
            MarkSquare(clickFirst_, MarkColor);
        }
        return;
    }
    const int32_t first = clickFirst_;
    clickFirst_ = 0;
    RedrawSquare(first);
    const bool castling = Castle960Requested(Shift, Sq64(first), false);
    const int32_t target = Mailbox(pressed);
    if ((target != first || castling) && (!OwnPiece(pressed) || castling) &&
        DoMoveTry(first, target, castling)) {
        FinishMove(Sq64(first), pressed, castling, Shift);
    }
}

void TBrett::MouseMove(Qt::KeyboardModifiers Shift, int X, int Y) {
    if (aufbau_) {
        aufbau_->BoardMouseMove(Shift, X, Y);
        return;
    }
    if (dragged_ == 0 || !floating_) return;
    const QPoint delta = QPoint(X, Y) - lastMouse_;
    lastMouse_ = QPoint(X, Y);
    FloatTo(floatRect_.translated(delta));
}

void TBrett::MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
    if (aufbau_ || Button != Qt::LeftButton) return;
    if (policySaved_) {
        setContextMenuPolicy(savedPolicy_);
        policySaved_ = false;
    }
    if (dragged_ == 0 && proposal_ == 0) return;

    const QPoint drop =
        floating_
            ? QPoint(floatRect_.left() + static_cast<int>(std::nearbyint(floatRect_.width() / 2.0)),
                     floatRect_.top() + static_cast<int>(std::nearbyint(floatRect_.height() / 2.0)))
            : QPoint(X, Y);
    int dropSq = SquareAt(drop);
    int start = dragStart_;

    if (proposal_ != 0) {
        const int32_t proposal = proposal_;
        RedrawSquare(proposal);
        if (dropSq < 0) {
            // Released off the board: nothing is played.
            proposal_ = 0;
            CancelDrag();
            return;
        }
        if (dropSq == start) {
            if (Shift != Qt::ControlModifier) {
                if (!OwnPiece(start))
                    start = Sq64(proposal);
                else
                    dropSq = Sq64(proposal);
                dragged_ = board_[Mailbox(start)];
            }
        } else {
            if (OwnPiece(dropSq) && !OwnPiece(start)) {
                std::swap(start, dropSq);
                dragged_ = board_[Mailbox(start)];
            }
            if (!OwnPiece(start)) {
                proposal_ = 0;
                CancelDrag();
                return;
            }
        }
    }

    if (floating_) RestoreBackground();
    floating_ = false;
    if (proposal_ != 0) RedrawSquare(proposal_);
    const bool castling = Castle960Requested(Shift, start, true);
    proposal_ = 0;

    if (dropSq >= 0 && OwnPiece(start) && (dropSq != start || castling) &&
        (!OwnPiece(dropSq) || castling) && DoMoveTry(Mailbox(start), Mailbox(dropSq), castling)) {
        FinishMove(start, dropSq, castling, Shift);
        return;
    }
    // Refused: the piece goes back where it was.
    if (dragged_ != 0) {
        DrawSquare(start);
        DrawPiece(start, board_[Mailbox(start)]);
        if (start != dragStart_) RedrawSquare(Mailbox(dragStart_));
    }
    dragged_ = 0;
}

void TBrett::FinishMove(int Start, int Drop, bool Castling, Qt::KeyboardModifiers Shift) {
    const bool ton = Ton;
    Ton = false;
    animateAllowed_ = false;
    const int32_t piece = board_[Mailbox(Start)];
    const bool made = MakeMove(Mailbox(Start), Mailbox(Drop), Castling, -1);
    animateAllowed_ = true;
    Ton = ton;
    dragged_ = 0;
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
