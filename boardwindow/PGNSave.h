// SPDX-License-Identifier: GPL-3.0-or-later
// TfPGNSave: the game-data dialog. Shows the header fields of a game for
// editing and, when a game is saved, the list to save it into.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TfPGNSave : public QDialog {
    Q_OBJECT

public:
    explicit TfPGNSave(QWidget* Parent = nullptr);

    QLineEdit *eWeiss, *eSchwarz, *eQuelle, *eSite, *eKommentator, *eeco;
    QSpinBox *sewElo, *sesElo, *seJahr, *seMonat, *seTag, *seRunde;
    QGroupBox* GroupBox3;
    QRadioButton *rbGewinn, *rbRemis, *rbVerlust, *rbKeinErgebnis;
    QLabel* lFileName;
    QComboBox* cbFileName;
    QPushButton *bOk, *bCancel;

    // Set by every change of a field (the caller's filling included).
    bool Changed() const { return FChanged; }
    // Shows the save target list and its label.
    void ShowSaveTarget(bool Visible);
    bool SaveTargetShown() const { return FSaveTarget; }

    void bOkClick();
    void ApplyLanguage();

private:
    void eWeissChange() { FChanged = true; }
    void ResultTabStop();

    bool FChanged = false;
    bool FSaveTarget = false;
    QLabel *lWeiss, *lSchwarz, *lQuelle, *lSite, *lJahr, *lMonat, *lTag, *lRunde, *lKommentator;
};
