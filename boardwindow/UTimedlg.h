// SPDX-License-Identifier: GPL-3.0-or-later
// TTimeDlg: thinking time of a clock, minutes per game and seconds per move.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

class TTimeDlg : public QDialog {
    Q_OBJECT

public:
    explicit TTimeDlg(QWidget* Parent = nullptr);

    QSpinBox* SpinEdit1; // minutes
    QSpinBox* SpinEdit2; // seconds added per move
    QCheckBox* cbOnlyOneClock;
    QPushButton *Button1, *Button2;

    void ApplyLanguage();

private:
    QLabel *Label1, *Label2;
};
