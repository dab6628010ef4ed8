// SPDX-License-Identifier: GPL-3.0-or-later
// TBrett: the chess board control. Shows one position from a piece strip,
// takes moves by drag, two clicks or one click on a proposal, asks its host
// whether a move is legal, and keeps the record of the last move made on it.
#pragma once

#include "SchachProcs.h"
#include "Schachfiguren.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QDialog;

namespace kb {

class TAufbauDialog;

class TBrett : public QWidget {
    Q_OBJECT

public:
    explicit TBrett(QWidget* parent = nullptr);
    ~TBrett() override;

    // Events.
    std::function<void(TBrett* Sender, const TSchachbrett& Stellung, const TZug& Zug, int z)>
        OnNewPosition;
    std::function<void(TBrett* Sender)> OnMoveDone;
    std::function<void(TBrett* Sender, bool& legal)> OnMoveTry;
    std::function<void(TBrett* Sender, uint8_t Teilfeld, uint8_t& Zugvorschlag)> OnMovePart;

    // Runs the board's modal windows (promotion choice, setup dialog,
    // messages) and returns their result. Empty: QDialog::exec. Tests put
    // their own answer here.
    std::function<int(QDialog& Dialog)> ModalRunner;

    // Set by the host directly.
    bool Blind = false;
    bool UpdateLock = false;
    QColor MarkColor = QColor(0, 0, 0);
    PFischerInfo FischerInfo = nullptr;
    // Valid only during OnMoveDone.
    bool CtrlMove = false;
    bool AltMove = false;

    // Piece strip.
    TFigurenset Figuren() const { return Figuren_; }
    void SetFiguren(TFigurenset Value);
    const QString& UserFiguren() const { return UserFiguren_; }
    void SetUserFiguren(const QString& Path);
    void BuildFiguren(TFigurenset Set);
    bool LoadUserFiguren(const QString& Path);
    // Board square 0..63 (a1 = 0), drawn at its display square.
    void DrawPiece(int Square, int32_t Piece);
    void DrawPieceAt(const QRect& OldRect, const QRect& NewRect, int32_t Piece);
    // The picture (Mask false) or mask (Mask true) half of the piece's cell,
    // stretched over the whole bitmap.
    void DrawFigur(int32_t Piece, QImage& Bitmap, bool Mask) const;
    const QImage& GetFigurenBitmap() const { return Strip_; }
    void SetFigurenBitmap(const QImage& Bitmap, TFigurenset Set);

    // Published properties.
    int Groesse() const { return Groesse_; }
    void SetGroesse(int Value);
    bool Grundstellung() const { return Grundstellung_; }
    void SetGrundstellung(bool Value);
    bool Ziehenmoeglich = true;
    QColor WhiteSquareColor() const { return WhiteColor_; }
    void SetWhiteSquareColor(const QColor& c);
    QColor BlackSquareColor() const { return BlackColor_; }
    void SetBlackSquareColor(const QColor& c);
    const QImage& WhiteSquarePattern() const { return WhitePattern_; }
    void SetWhiteSquarePattern(const QImage& p);
    const QImage& BlackSquarePattern() const { return BlackPattern_; }
    void SetBlackSquarePattern(const QImage& p);
    bool Ton = false;
    bool English = false;
    uint8_t Animation = 0;
    bool ZugVorschlagen = false;
    bool AufbauFiguren = false;

    // Position.
    void SetStellung(const TSchachbrett& Stellung, const TZug& Zug);
    void GetStellung(TSchachbrett& Stellung) const { Stellung = Board_; }
    void GetZug(TZug& Zug) const { Zug = Zug_; }
    bool WhiteToMove() const { return Zug_.Side == 1; }

    // Moves (mailbox indices). Promotion -1 asks the user on the last rank.
    // False when the user cancelled the promotion choice; then nothing changed.
    bool MakeMove(int32_t From, int32_t To, bool Castle960, int32_t Promotion);
    void DoZug(const TZug& Zug);
    void ExecuteZug();

    // Drawing.
    void Redraw(bool Full);
    void RedrawAll() { Redraw(true); }
    void RedrawSquare(int32_t Index);
    void MarkSquare(int32_t Index, const QColor& Colour);
    void Drehen();
    bool GetGedreht() const { return Gedreht_; }
    void SetClickClick(bool On);
    bool ClickClick() const { return ClickClick_; }
    const QImage& Picture() const { return Picture_; }
    // A host move is sliding across the picture (the position is exact already).
    bool Animating() const { return AnimPiece_ != 0; }
    // Puts a sliding piece on its target at once.
    void FinishAnimation();

    // Clipboard.
    void FENCopy();
    bool FENInsert();
    void DiaCopy();

    // Setup dialog.
    bool Aufbauen(bool NoCheck);
    // Plausibility of the position for the setup dialog.
    bool AufbauLegal() const;

    // Geometry: display rectangle of a board square 0..63, and the board
    // square under a point of the control (-1 when none).
    QRect SquareRect(int Square) const;
    int SquareAt(const QPoint& p) const;

    // The mouse handling, also reachable without events.
    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void MouseMove(Qt::KeyboardModifiers Shift, int X, int Y);
    void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);

    bool Dragging() const { return Dragged_ != 0; }
    // Mailbox index of the pending click-click square, 0 = none.
    int32_t ClickClickPending() const { return ClickFirst_; }

    // Shows a modal window through ModalRunner.
    int RunModal(QDialog& Dialog);
    // Error message box (German-only texts come in as they are).
    void ShowError(const QString& Text);

    virtual void DoMoveDone(Qt::KeyboardModifiers Shift);
    virtual bool DoMoveTry(int32_t From, int32_t To, bool Castle960);
    virtual uint8_t DoMovePart(uint8_t Square);
    // Promotion choice for colour +1/-1: the signed piece code, 0 when closed.
    int32_t AskPromotion(int32_t Colour);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    virtual void Beep();

private:
    friend class TAufbauDialog;

    int DisplayOf(int Square) const { return Gedreht_ ? 63 - Square : Square; }
    void DrawSquare(int Square);
    void DrawSquareEmpty(int32_t Index);
    void DrawSquareWithPiece(int32_t Index);
    bool OwnPiece(int Square) const;
    // Floating piece: background saved under FloatRect_, clipped to the picture.
    void SaveBackground();
    void RestoreBackground();
    void FloatTo(const QRect& r);
    void CancelDrag();
    void Animate(int32_t From, int32_t To, int32_t Piece);
    void AnimationStep();
    void FloatAnimated(const QRect& r);
    bool Castle960Requested(Qt::KeyboardModifiers Shift, int StartSquare, bool ExactCtrl) const;
    void FinishMove(int Start, int Drop, bool Castling, Qt::KeyboardModifiers Shift);
    void Changed() { update(); }

    TFigurenset Figuren_ = TFigurenset::User;
    QString UserFiguren_;
    QImage Strip_;
    QImage Picture_;
    int Groesse_ = 32;
    bool Grundstellung_ = true;
    QColor WhiteColor_ = QColor(0xFF, 0xFF, 0xFF);
    QColor BlackColor_ = QColor(0xC0, 0xC0, 0xC0);
    QImage WhitePattern_;
    QImage BlackPattern_;

    TSchachbrett Board_{};
    TZug Zug_{};
    std::array<int32_t, 120> Cache_{};

    // Drag state.
    int32_t Dragged_ = 0;
    bool Floating_ = false;
    QImage Background_;
    QRect BackgroundRect_;
    QPoint LastMouse_;
    QRect FloatRect_;
    int DragStart_ = 0;    // board square 0..63
    int32_t Proposal_ = 0; // mailbox, 0 = none
    bool Gedreht_ = false;
    bool AnimateAllowed_ = true;
    bool ClickClick_ = false;
    int32_t ClickFirst_ = 0; // mailbox, 0 = none
    // The context menu is kept away during a left-button drag.
    Qt::ContextMenuPolicy SavedPolicy_ = Qt::DefaultContextMenu;
    bool PolicySaved_ = false;

    TAufbauDialog* Aufbau_ = nullptr; // set on the setup dialog's own board

    // Animation: a timer steps the piece from AnimFrom_ to AnimTo_, so the
    // GUI thread never waits for it.
    QTimer* AnimTimer_ = nullptr;
    int32_t AnimPiece_ = 0; // 0 = no animation running
    int32_t AnimTo_ = 0;    // mailbox
    QRect AnimFrom_;
    int AnimStepH_ = 0, AnimStepV_ = 0, AnimDirH_ = 0, AnimDirV_ = 0;
    int AnimNeedH_ = 0, AnimNeedV_ = 0, AnimMovedH_ = 0, AnimMovedV_ = 0;
};

} // namespace kb
