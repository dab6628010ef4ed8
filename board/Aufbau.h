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

    TBrett* SetupBoard() const { return Board_; }
    QPushButton* OkButton() const { return Ok_; }
    QPushButton* ClearButton() const { return Clear_; }
    QPushButton* ResetButton() const { return Reset_; }
    QPushButton* CancelButton() const { return Cancel_; }
    // Castling boxes: 0 white O-O, 1 white O-O-O, 2 black O-O, 3 black O-O-O.
    QCheckBox* CastlingBox(int i) const { return Castle_.at(static_cast<size_t>(i)); }
    QRadioButton* WhiteRadio() const { return White_; }
    QRadioButton* BlackRadio() const { return Black_; }
    QSpinBox* MoveNumberEdit() const { return MoveNo_; }
    QComboBox* EpFileBox() const { return EpFile_; }
    // Piece button of a signed piece code.
    QPushButton* PieceButton(int32_t Piece) const;

    int32_t AufbauFigur() const { return Figur_; }
    // True once OK has written the boxes into the setup board's record.
    bool Confirmed() const { return Confirmed_; }

    // Mouse on the setup board.
    void BoardMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void BoardMouseMove(Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
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

    TBrett* Caller_;
    TBrett* Board_ = nullptr;
    bool NoCheck_;
    int32_t Figur_ = 0;
    bool CursorNeu_ = false;
    bool Guard_ = false;
    bool Confirmed_ = false;
    QPoint LastMouse_;

    QPushButton* Ok_ = nullptr;
    QPushButton* Clear_ = nullptr;
    QPushButton* Reset_ = nullptr;
    QPushButton* Cancel_ = nullptr;
    std::array<QCheckBox*, 4> Castle_{};
    QRadioButton* White_ = nullptr;
    QRadioButton* Black_ = nullptr;
    QSpinBox* MoveNo_ = nullptr;
    QComboBox* EpFile_ = nullptr;
    std::array<QPushButton*, 12> Pieces_{};
};

} // namespace kb
