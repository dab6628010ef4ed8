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
    // The Chess960 record a pasted FEN gave its position (Fischer false when
    // the text named no Chess960 position): set before OnNewPosition, kept
    // until the next new position.
    TFischerInfo NewFischerInfo{};
    // Valid only during OnMoveDone.
    bool CtrlMove = false;
    bool AltMove = false;

    // Piece strip.
    TFigurenset Figuren() const { return figuren_; }
    void SetFiguren(TFigurenset Value);
    const QString& UserFiguren() const { return userFiguren_; }
    void SetUserFiguren(const QString& Path);
    void BuildFiguren(TFigurenset Set);
    bool LoadUserFiguren(const QString& Path);
    // Board square 0..63 (a1 = 0), drawn at its display square.
    void DrawPiece(int Square, int32_t Piece);
    void DrawPieceAt(const QRect& OldRect, const QRect& NewRect, int32_t Piece);
    // The picture (Mask false) or mask (Mask true) half of the piece's cell,
    // stretched over the whole bitmap.
    void DrawFigur(int32_t Piece, QImage& Bitmap, bool Mask) const;
    const QImage& GetFigurenBitmap() const { return strip_; }
    void SetFigurenBitmap(const QImage& Bitmap, TFigurenset Set);

    // Published properties.
    int Groesse() const { return groesse_; }
    void SetGroesse(int Value);
    bool Grundstellung() const { return grundstellung_; }
    void SetGrundstellung(bool Value);
    bool Ziehenmoeglich = true;
    QColor WhiteSquareColor() const { return whiteColor_; }
    void SetWhiteSquareColor(const QColor& c);
    QColor BlackSquareColor() const { return blackColor_; }
    void SetBlackSquareColor(const QColor& c);
    const QImage& WhiteSquarePattern() const { return whitePattern_; }
    void SetWhiteSquarePattern(const QImage& p);
    const QImage& BlackSquarePattern() const { return blackPattern_; }
    void SetBlackSquarePattern(const QImage& p);
    bool Ton = false;
    bool English = false;
    uint8_t Animation = 0;
    bool ZugVorschlagen = false;
    bool AufbauFiguren = false;

    // Position.
    void SetStellung(const TSchachbrett& Stellung, const TZug& Zug);
    void GetStellung(TSchachbrett& Stellung) const { Stellung = board_; }
    void GetZug(TZug& Zug) const { Zug = zug_; }
    bool WhiteToMove() const { return zug_.Side == 1; }

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
    bool GetGedreht() const { return gedreht_; }
    void SetClickClick(bool On);
    bool ClickClick() const { return clickClick_; }
    const QImage& Picture() const { return picture_; }
    // A host move is sliding across the picture (the position is exact already).
    bool Animating() const { return animPiece_ != 0; }
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

    bool Dragging() const { return dragged_ != 0; }
    // Mailbox index of the pending click-click square, 0 = none.
    int32_t ClickClickPending() const { return clickFirst_; }

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

    int DisplayOf(int Square) const { return gedreht_ ? 63 - Square : Square; }
    void DrawSquare(int Square);
    void DrawSquareEmpty(int32_t Index);
    void DrawSquareWithPiece(int32_t Index);
    bool OwnPiece(int Square) const;
    // Floating piece: background saved under floatRect_, clipped to the picture.
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
    // The strip pieces are drawn from: the set's own, or the same pieces
    // drawn for the square size when the set's cells are of another size.
    const QImage& DrawStrip() const;

    TFigurenset figuren_ = TFigurenset::User;
    QString userFiguren_;
    QImage strip_;
    bool stripBuiltIn_ = false; // strip_ drawn from the font, so any size can be drawn anew
    mutable QImage sized_;      // drawn when first needed
    QImage picture_;
    int groesse_ = 32;
    bool grundstellung_ = true;
    QColor whiteColor_ = QColor(0xFF, 0xFF, 0xFF);
    QColor blackColor_ = QColor(0xC0, 0xC0, 0xC0);
    QImage whitePattern_;
    QImage blackPattern_;

    TSchachbrett board_{};
    TZug zug_{};
    std::array<int32_t, 120> cache_{};

    // Drag state.
    int32_t dragged_ = 0;
    bool floating_ = false;
    QImage background_;
    QRect backgroundRect_;
    QPoint lastMouse_;
    QRect floatRect_;
    int dragStart_ = 0;    // board square 0..63
    int32_t proposal_ = 0; // mailbox, 0 = none
    bool gedreht_ = false;
    bool animateAllowed_ = true;
    bool clickClick_ = false;
    int32_t clickFirst_ = 0; // mailbox, 0 = none
    // The context menu is kept away during a left-button drag.
    Qt::ContextMenuPolicy savedPolicy_ = Qt::DefaultContextMenu;
    bool policySaved_ = false;

    TAufbauDialog* aufbau_ = nullptr; // set on the setup dialog's own board

    // Animation: a timer steps the piece from animFrom_ to animTo_, so the
    // GUI thread never waits for it.
    QTimer* animTimer_ = nullptr;
    int32_t animPiece_ = 0; // 0 = no animation running
    int32_t animTo_ = 0;    // mailbox
    QRect animFrom_;
    int animStepH_ = 0, animStepV_ = 0, animDirH_ = 0, animDirV_ = 0;
    int animNeedH_ = 0, animNeedV_ = 0, animMovedH_ = 0, animMovedV_ = 0;
};

} // namespace kb
