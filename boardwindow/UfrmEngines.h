// SPDX-License-Identifier: GPL-3.0-or-later
// TfrmEngines: the list of external engine programs (at most eight).
#pragma once

#include <QDialog>

#include <functional>

class QFileDialog;
class QListWidget;
class QPushButton;

class TfrmEngines : public QDialog {
    Q_OBJECT

public:
    static constexpr int MaxEngines = 8;

    explicit TfrmEngines(QWidget* Parent = nullptr);

    QListWidget* ListBox1;
    QPushButton *bAdd, *bRemove, *bOk;

    // Chooses an executable file; empty when cancelled. Tests put their
    // answer here; the default shows a file dialog of executable files.
    std::function<QString()> ChooseFile;

    void bAddClick();
    void bRemoveClick();
    void ApplyLanguage();
    QStringList Engines() const;
    void SetEngines(const QStringList& Engines);
    // Makes Dlg list folders and executable files only.
    static void SetupFileDialog(QFileDialog& Dlg);

private:
    QString ShowFileDialog();
    void UpdateButtons();
};
