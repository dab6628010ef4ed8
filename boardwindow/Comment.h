// SPDX-License-Identifier: GPL-3.0-or-later
// TKomm: the comment dialog. "Insert diagram" puts a line holding only the
// character 127 at the caret: printing draws the position there.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TKomm : public QDialog {
    Q_OBJECT

public:
    explicit TKomm(QWidget* Parent = nullptr);

    QPlainTextEdit* Memo1;
    QPushButton *bOk, *bCancel, *Button3;

    void Button3Click();
    void ApplyLanguage();

protected:
    void showEvent(QShowEvent* Event) override;
};
