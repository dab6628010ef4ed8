// SPDX-License-Identifier: GPL-3.0-or-later
// The message dialog whose captions follow the chosen language, and the one
// place where every modal question of the program can be answered without
// a user: tests install answers in Answerer(), the program installs none
// and the real dialogs show.
//
//   if (MessageDlgEx(Text(10), mtConfirmation, {mbYes, mbNo}, 0) == mrYes) ...
//
//   QString name;
//   if (!InputQueryEx(Text(251), Text(252), name)) return;
//
//   TfrmComment dlg(this);
//   if (ExecDialog(dlg) != mrOk) return;
#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

class QFontDialog;
class QPushButton;
class QWidget;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn {
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp
};
constexpr int MsgDlgBtnCount = 11;

// A set of buttons: MessageDlgEx(..., {mbYes, mbNo}, ...).
class TMsgDlgButtons {
public:
    constexpr TMsgDlgButtons() = default;
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> Buttons) {
        for (TMsgDlgBtn b : Buttons)
            Bits |= 1u << b;
    }
    constexpr bool Contains(TMsgDlgBtn B) const { return (Bits & (1u << B)) != 0; }
    constexpr bool Empty() const { return Bits == 0; }
    constexpr int Count() const {
        int n = 0;
        for (int b = 0; b < MsgDlgBtnCount; ++b)
            n += Contains(static_cast<TMsgDlgBtn>(b));
        return n;
    }
    constexpr bool operator==(const TMsgDlgButtons&) const = default;

private:
    unsigned Bits = 0;
};

constexpr TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
constexpr TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
constexpr TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrAbort = 3;
constexpr int mrRetry = 4;
constexpr int mrIgnore = 5;
constexpr int mrYes = 6;
constexpr int mrNo = 7;
constexpr int mrAll = 8;
constexpr int mrNoToAll = 9;
constexpr int mrYesToAll = 10;

// Captions of the dialog types (warning, error, information, confirmation)
// and of the buttons in TMsgDlgBtn order; English until the language is
// applied, which fills them from entries 175-189.
extern QString MsgDlgCaptions[4];
extern QString MsgDlgButtonCaptions[MsgDlgBtnCount];
void ApplyMessageDialogLanguage();

// Object names and modal results of the buttons, in TMsgDlgBtn order.
extern const char* const MsgDlgButtonNames[MsgDlgBtnCount];
extern const int MsgDlgButtonResults[MsgDlgBtnCount];

// The buttons Enter and Escape stand for.
TMsgDlgBtn MsgDlgDefaultButton(TMsgDlgButtons Buttons);
TMsgDlgBtn MsgDlgEscapeButton(TMsgDlgButtons Buttons);

// The dialog, not yet shown. Its buttons are QPushButtons named as in
// MsgDlgButtonNames, the text a QLabel named "Message".
std::unique_ptr<QDialog> CreateMessageDialogEx(const QString& Msg, TMsgDlgType DlgType,
                                               TMsgDlgButtons Buttons);
int MessageDlgEx(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// X and Y place the dialog when each is >= 0; otherwise it stays centred.
int MessageDlgPosHelpEx(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int HelpCtx, int X, int Y, const QString& HelpFileName);

// What the Help button does (the program has no help system: nothing).
extern std::function<void(int HelpCtx, const QString& HelpFileName)> MessageHelpHandler;

// Modal questions, each asked through these wrappers.
struct TMessageRequest {
    QString Msg;
    TMsgDlgType DlgType = mtInformation;
    TMsgDlgButtons Buttons;
    int HelpCtx = 0;
    QString Caption; // as the dialog would show it
};

enum class TFileMode { Open, Save, Directory };
struct TFileRequest {
    TFileMode Mode = TFileMode::Open;
    QString Title;
    QString FileName; // start folder or file
    QString Filter;   // "PGN/KBF-files (*.pgn *.kbf);;All files (*)"
};

// An empty member lets the real dialog show. A file answer of nullopt is a
// cancel; a font or colour answer of nullopt too.
struct TAnswerer {
    std::function<int(const TMessageRequest&)> Message{};
    std::function<std::optional<QString>(const TFileRequest&)> FileName{};
    std::function<std::optional<QString>(const QString& Caption, const QString& Prompt,
                                         const QString& Value)>
        InputText{};
    std::function<std::optional<QFont>(const QFont& Current)> Font{};
    std::function<std::optional<QColor>(const QColor& Current)> Color{};
    // A dialog of our own: the answer may change its controls, then
    // returns its modal result; the dialog is not shown.
    std::function<int(QDialog& Dialog)> Dialog{};
};
TAnswerer& Answerer();

// Installs answers for its lifetime and puts the previous ones back.
class TAnswererScope {
public:
    explicit TAnswererScope(TAnswerer Answers);
    ~TAnswererScope();
    TAnswererScope(const TAnswererScope&) = delete;
    TAnswererScope& operator=(const TAnswererScope&) = delete;

private:
    TAnswerer Saved;
};

// Qt's font dialog with a colour button beside it, OK and Cancel below.
class TFontColorDialog : public QDialog {
public:
    TFontColorDialog(const QFont& Font, const QColor& Color, QWidget* Parent = nullptr);
    QFontDialog* FontDialog;
    QPushButton* bColor; // asks for the colour; shows it
    QPushButton* bOk;
    QPushButton* bCancel;
    QFont SelectedFont() const;
    QColor SelectedColor() const { return color_; }
    void SetColor(const QColor& Color);
    void bColorClick();

private:
    QColor color_;
};

// The file chooser: true with the chosen name, false when cancelled.
bool ChooseFileName(QWidget* Parent, const TFileRequest& Request, QString& FileName);
// A line of text; Value holds the preset and the answer. False when cancelled.
bool InputQueryEx(const QString& Caption, const QString& Prompt, QString& Value,
                  QWidget* Parent = nullptr);
bool ChooseFont(QWidget* Parent, const QString& Title, QFont& Font);
// The point sizes Qt's font dialog takes; the settings read the same range.
constexpr int FontSizeMin = 1, FontSizeMax = 512;
// The font together with its colour: Qt's font dialog has no colour, so a
// colour button sits beside it. An answerer's Font answer stands for the
// dialog (a nullopt cancels), its Color answer, when set, for the colour.
bool ChooseFont(QWidget* Parent, const QString& Title, QFont& Font, QColor& Color);
bool ChooseColor(QWidget* Parent, QColor& Color);
// Shows a dialog of our own modally; its modal result (QDialog::result,
// with Accepted = mrOk when the dialog sets no result of its own).
int ExecDialog(QDialog& Dialog);
