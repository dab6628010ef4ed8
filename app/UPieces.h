// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog "Schriftart für Züge": the notation font, the six piece letters
// of the notation and the characters of the 19 evaluation signs in that
// font. It only presents the controls; the frame fills it and reads it back.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>

#include <array>
#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kb {
class TBrett;
}

// The sign pictures, in the notation's sign order (NAGs 22, 8, 18, 16, 14,
// 11, 13, 15, 17, 19, 44, 132, 36, 40, 138, 32, 146, 140, 142), drawn from
// the symbols' outlines in DejaVu Sans. Size is the square's side.
constexpr int SignCount = 19;
QImage DrawSignPicture(int Index, int Size);

class TfrmPieces : public QDialog {
    Q_OBJECT

public:
    // NotationFont is the frame's notation font, NotationColor its colour:
    // the font button changes them in place, also when the dialog is
    // cancelled afterwards. Without a colour the font button asks for none.
    explicit TfrmPieces(QFont* NotationFont, QWidget* Parent = nullptr,
                        QColor* NotationColor = nullptr);
    ~TfrmPieces() override;

    // Esc closes as cancelled.
    void reject() override;

    QPushButton* bFont;
    QPlainTextEdit* Memo1;
    QPushButton* bOk;
    QPushButton* bCancel;
    QGroupBox* GroupBox1;
    std::array<QLabel*, 6> fImage{};   // fImage1 .. fImage6: K, Q, R, B, N, P
    std::array<QLineEdit*, 6> fEdit{}; // fEdit1 .. fEdit6
    QGroupBox* GroupBox2;
    std::array<QLabel*, SignCount> Image{};   // Image1 .. Image19
    std::array<QLineEdit*, SignCount> Edit{}; // Edit1 .. Edit19
    std::vector<QImage> ImageListBold;
    kb::TBrett* Brett1;

    // Memo1 and the sign edits show the notation font in its colour.
    void ApplyFont();
    // What sign K (0-based) shows in the notation while no character is
    // chosen for it: the sign itself, one or two characters. Its edit starts
    // with this text.
    static QString SignText(int K);
    // The 8-bit code the frame stores for a sign edit's text: one character
    // of the character set shown in Memo1, not the blank and not "#"
    // (stored for "the default"); -1 for any other text.
    static int SignCode(const QString& Text);
    // The character of a stored code as Memo1 shows it; empty below 33.
    static QString SignChar(unsigned char Code);
    void bFontClick();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void FormCreate();

    QFont* notationFont_;
    QColor* notationColor_;
    QFont ownFont_; // when no frame font is given
};
