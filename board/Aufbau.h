// SPDX-License-Identifier: GPL-3.0-or-later
// The position setup dialog of TBrett: a second board on which the user
// places pieces, castling rights, side to move, move number and an
// en-passant file. Each dialog keeps its own state.
#pragma once

#include "Brett.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace kb {

class TAufbauDialog : public QDialog {
    Q_OBJECT

public:
    TAufbauDialog(TBrett* Caller, bool NoCheck);
    ~TAufbauDialog() override;

    TBrett* SetupBoard() const { return board_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* ResetButton() const { return reset_; }
    QPushButton* CancelButton() const { return cancel_; }
    // Castling boxes: 0 white O-O, 1 white O-O-O, 2 black O-O, 3 black O-O-O.
    QCheckBox* CastlingBox(int i) const { return castle_.at(static_cast<size_t>(i)); }
    QRadioButton* WhiteRadio() const { return white_; }
    QRadioButton* BlackRadio() const { return black_; }
    QSpinBox* MoveNumberEdit() const { return moveNo_; }
    QComboBox* EpFileBox() const { return epFile_; }
    // Piece button of a signed piece code.
    QPushButton* PieceButton(int32_t Piece) const;

    int32_t AufbauFigur() const { return figur_; }
    // True once OK has written the boxes into the setup board's record.
    bool Confirmed() const { return confirmed_; }

    // Mouse on the setup board.
    void BoardMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void BoardMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // The piece in hand and the one button that shows it pressed in.
    void TakeInHand(int32_t Piece);
    void ShowFloat(const QRect& r);
    void HideFloat();
    void UpdateOk();
    void SyncCastlingBoxes();
    bool HomeOk(int Box) const;
    void CastlingClicked(int Box);
    void SideClicked(bool White);
    void OkClicked();
    void ClearClicked();
    void ResetClicked();

    TBrett* caller_;
    TBrett* board_ = nullptr;
    bool noCheck_;
    int32_t figur_ = 0;
    bool cursorNeu_ = false;
    bool guard_ = false;
    bool confirmed_ = false;
    QPoint lastMouse_;

    QPushButton* ok_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* cancel_ = nullptr;
    std::array<QCheckBox*, 4> castle_{};
    QRadioButton* white_ = nullptr;
    QRadioButton* black_ = nullptr;
    QSpinBox* moveNo_ = nullptr;
    QComboBox* epFile_ = nullptr;
    std::array<QPushButton*, 12> pieces_{};
};

} // namespace kb
