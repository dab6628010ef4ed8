// SPDX-License-Identifier: GPL-3.0-or-later
// TfrmMaterial: the material criteria of the game list's search. For each
// side and piece type but the king: a box that switches the test on and the
// allowed range of the count. The caller fills the controls from its filter
// (LoadFilter), runs the dialog and on OK reads them back (StoreFilter);
// Cancel leaves its filter as it was.
#pragma once

#include "Notation.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kb {

class TBrett;

class TfrmMaterial : public QDialog {
    Q_OBJECT

public:
    explicit TfrmMaterial(QWidget* Parent = nullptr);
    ~TfrmMaterial() override;

    // White: queen, rook, bishop, knight, pawn; box, minimum, maximum.
    QCheckBox *cbwQ, *cbwR, *cbwB, *cbwN, *cbwP;
    QSpinBox *sewQa, *sewQe, *sewRa, *sewRe, *sewBa, *sewBe, *sewNa, *sewNe, *sewPa, *sewPe;
    // Black, the same.
    QCheckBox *cbbQ, *cbbR, *cbbB, *cbbN, *cbbP;
    QSpinBox *sebQa, *sebQe, *sebRa, *sebRe, *sebBa, *sebBe, *sebNa, *sebNe, *sebPa, *sebPe;
    // Piece pictures: white queen .. pawn, black queen .. pawn.
    QLabel *fImage2, *fImage3, *fImage4, *fImage5, *fImage6;
    QLabel *fsImage2, *fsImage3, *fsImage4, *fsImage5, *fsImage6;
    TBrett* Brett1; // hidden; supplies the pictures
    QPushButton *bEmpty, *bOk, *bCancel;

    void FormCreate();
    void FormShow();
    void FormKeyDown(QKeyEvent* Event);
    void bEmptyClick();

    // One row of the table: the filter code and its three controls.
    struct TRow {
        int Code;
        QCheckBox* Box;
        QSpinBox* Min;
        QSpinBox* Max;
    };
    // The ten rows: codes 5, 2, 3, 4, 1, then -5, -2, -3, -4, -1.
    std::array<TRow, 10> Rows() const;
    void LoadFilter(const TPiecesFilter& Filter);
    void StoreFilter(TPiecesFilter& Filter) const;
    // The whole round for the game list: the dialog filled from Filter, run
    // modally (through the answerer of modal questions), Filter updated on
    // OK only. True on OK.
    static bool EditFilter(TPiecesFilter& Filter, QWidget* Parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
};

} // namespace kb
