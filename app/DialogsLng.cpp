// SPDX-License-Identifier: GPL-3.0-or-later
#include "DialogsLng.h"

#include "Local.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

QString MsgDlgCaptions[4] = {QStringLiteral("Warning"), QStringLiteral("Error"),
                             QStringLiteral("Information"), QStringLiteral("Confirmation")};

QString MsgDlgButtonCaptions[MsgDlgBtnCount] = {
    QStringLiteral("Yes"),        QStringLiteral("No"),    QStringLiteral("OK"),
    QStringLiteral("Cancel"),     QStringLiteral("Abort"), QStringLiteral("Retry"),
    QStringLiteral("Ignore"),     QStringLiteral("All"),   QStringLiteral("No to All"),
    QStringLiteral("Yes to All"), QStringLiteral("Help")};

const char* const MsgDlgButtonNames[MsgDlgBtnCount] = {
    "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll", "Help"};

const int MsgDlgButtonResults[MsgDlgBtnCount] = {
    mrYes, mrNo, mrOk, mrCancel, mrAbort, mrRetry, mrIgnore, mrAll, mrNoToAll, mrYesToAll, mrNone};

std::function<void(int, const QString&)> MessageHelpHandler;

void ApplyMessageDialogLanguage() {
    for (int i = 0; i < 4; ++i)
        MsgDlgCaptions[i] = Text(175 + i);
    for (int i = 0; i < MsgDlgBtnCount; ++i)
        MsgDlgButtonCaptions[i] = Text(179 + i);
}

TMsgDlgBtn MsgDlgDefaultButton(TMsgDlgButtons Buttons) {
    if (Buttons.Contains(mbOK)) return mbOK;
    if (Buttons.Contains(mbYes)) return mbYes;
    return mbRetry;
}

TMsgDlgBtn MsgDlgEscapeButton(TMsgDlgButtons Buttons) {
    if (Buttons.Contains(mbCancel)) return mbCancel;
    if (Buttons.Contains(mbNo)) return mbNo;
    return mbOK;
}

namespace {

QString ApplicationTitle() {
    const QString title = QGuiApplication::applicationDisplayName();
    return title.isEmpty() ? QStringLiteral("Kestrelbay") : title;
}

QString DialogCaption(TMsgDlgType DlgType) {
    return DlgType == mtCustom ? ApplicationTitle() : MsgDlgCaptions[DlgType];
}

QStyle::StandardPixmap DialogIcon(TMsgDlgType DlgType) {
    switch (DlgType) {
    case mtWarning:
        return QStyle::SP_MessageBoxWarning;
    case mtError:
        return QStyle::SP_MessageBoxCritical;
    case mtInformation:
        return QStyle::SP_MessageBoxInformation;
    default:
        return QStyle::SP_MessageBoxQuestion;
    }
}

class TMessageFormEx : public QDialog {
public:
    // No parent: it is centred on the screen, and a window closed while
    // the question is open cannot take the dialog with it.
    TMessageFormEx() = default;

    int EscapeResult = mrCancel;
    int HelpCtx = 0;
    QString HelpFile;

    // Escape and the close box give the escape button's answer, so a
    // Yes/No question never answers Cancel.
    void reject() override { done(EscapeResult); }
};

// Modal result of a finished dialog: Qt's Rejected (0) is a cancel.
int ModalResult(int Result) {
    return Result == QDialog::Rejected ? mrCancel : Result;
}

} // namespace

std::unique_ptr<QDialog> CreateMessageDialogEx(const QString& Message, TMsgDlgType DlgType,
                                               TMsgDlgButtons Buttons) {
    // The table breaks lines with CR; Qt breaks them at LF only.
    const QString Msg = ScreenLines(Message);
    auto form = std::make_unique<TMessageFormEx>();
    form->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint);
    form->setFont(QApplication::font("QMessageBox"));
    const QFontMetrics fm(form->font());

    // Dialog units from the average character, as message boxes measure.
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int w = std::max(1, fm.horizontalAdvance(letters) / 52);
    const int h = std::max(1, fm.height());
    const int hMargin = 8 * w / 4, vMargin = 8 * h / 8;
    const int hSpacing = 10 * w / 4, vSpacing = 10 * h / 8;
    const int buttonWidth = 50 * w / 4, buttonHeight = 14 * h / 8, buttonSpacing = 4 * w / 4;

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect textRect = fm.boundingRect(QRect(0, 0, screenRect.width() / 2, 0),
                                           Qt::TextWordWrap | Qt::TextExpandTabs, Msg);

    int textWidth = textRect.width(), textHeight = textRect.height();
    int textLeft = hMargin;
    if (DlgType != mtCustom) {
        auto* icon = new QLabel(form.get());
        icon->setObjectName(QStringLiteral("Image"));
        icon->setPixmap(form->style()->standardIcon(DialogIcon(DlgType)).pixmap(32, 32));
        icon->setGeometry(hMargin, vMargin, 32, 32);
        textWidth += 32 + hSpacing;
        textLeft += 32 + hSpacing;
        textHeight = std::max(textHeight, 32);
    }

    const int count = Buttons.Count();
    const int groupWidth = count * buttonWidth + std::max(0, count - 1) * buttonSpacing;
    const int clientWidth = std::max(textWidth, groupWidth) + 2 * hMargin;
    const int clientHeight = textHeight + vSpacing + buttonHeight + 2 * vMargin;
    form->setFixedSize(clientWidth, clientHeight);
    form->move(screenRect.center() - QPoint(clientWidth / 2, clientHeight / 2));
    form->setWindowTitle(DialogCaption(DlgType));

    auto* message = new QLabel(Msg, form.get());
    message->setObjectName(QStringLiteral("Message"));
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A few pixels more than measured: the label wraps by its own rules.
    message->setGeometry(textLeft, vMargin, textRect.width() + 4, textRect.height());

    const TMsgDlgBtn defaultButton = MsgDlgDefaultButton(Buttons);
    form->EscapeResult = MsgDlgButtonResults[MsgDlgEscapeButton(Buttons)];
    int x = (clientWidth - groupWidth) / 2;
    const int y = textHeight + vMargin + vSpacing;
    TMessageFormEx* raw = form.get();
    for (int b = 0; b < MsgDlgBtnCount; ++b) {
        const auto btn = static_cast<TMsgDlgBtn>(b);
        if (!Buttons.Contains(btn)) continue;
        auto* button = new QPushButton(MsgDlgButtonCaptions[b], raw);
        button->setObjectName(QString::fromLatin1(MsgDlgButtonNames[b]));
        button->setGeometry(x, y, buttonWidth, buttonHeight);
        button->setAutoDefault(false);
        if (btn == defaultButton) {
            button->setDefault(true);
            button->setFocus();
        }
        const int result = MsgDlgButtonResults[b];
        if (btn == mbHelp) {
            QObject::connect(button, &QPushButton::clicked, raw, [raw] {
                if (MessageHelpHandler) MessageHelpHandler(raw->HelpCtx, raw->HelpFile);
            });
        } else {
            QObject::connect(button, &QPushButton::clicked, raw,
                             [raw, result] { raw->done(result); });
        }
        x += buttonWidth + buttonSpacing;
    }
    return form;
}

int MessageDlgEx(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
    return MessageDlgPosHelpEx(Msg, DlgType, Buttons, HelpCtx, -1, -1, QString());
}

int MessageDlgPosHelpEx(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int HelpCtx, int X, int Y, const QString& HelpFileName) {
    if (Answerer().Message)
        return Answerer().Message({Msg, DlgType, Buttons, HelpCtx, DialogCaption(DlgType)});
    auto dialog = CreateMessageDialogEx(Msg, DlgType, Buttons);
    auto* form = static_cast<TMessageFormEx*>(dialog.get());
    form->HelpCtx = HelpCtx;
    form->HelpFile = HelpFileName;
    QPoint pos = form->pos();
    if (X >= 0) pos.setX(X);
    if (Y >= 0) pos.setY(Y);
    form->move(pos);
    return form->exec();
}

TAnswerer& Answerer() {
    static TAnswerer answers;
    return answers;
}

TAnswererScope::TAnswererScope(TAnswerer Answers) : Saved(std::move(Answerer())) {
    Answerer() = std::move(Answers);
}

TAnswererScope::~TAnswererScope() {
    Answerer() = std::move(Saved);
}

bool ChooseFileName(QWidget* Parent, const TFileRequest& Request, QString& FileName) {
    std::optional<QString> answer;
    if (Answerer().FileName) {
        answer = Answerer().FileName(Request);
    } else {
        QString chosen;
        switch (Request.Mode) {
        case TFileMode::Open:
            chosen = QFileDialog::getOpenFileName(Parent, Request.Title, Request.FileName,
                                                  Request.Filter);
            break;
        case TFileMode::Save:
            chosen = QFileDialog::getSaveFileName(Parent, Request.Title, Request.FileName,
                                                  Request.Filter);
            break;
        case TFileMode::Directory:
            chosen = QFileDialog::getExistingDirectory(Parent, Request.Title, Request.FileName);
            break;
        }
        if (!chosen.isEmpty()) answer = chosen;
    }
    if (!answer || answer->isEmpty()) return false;
    FileName = *answer;
    return true;
}

bool InputQueryEx(const QString& Caption, const QString& Prompt, QString& Value, QWidget* Parent) {
    if (Answerer().InputText) {
        const auto answer = Answerer().InputText(Caption, Prompt, Value);
        if (!answer) return false;
        Value = *answer;
        return true;
    }
    QInputDialog dialog(Parent);
    dialog.setWindowTitle(Caption);
    dialog.setLabelText(Prompt);
    dialog.setTextValue(Value);
    dialog.setOkButtonText(Text(181));
    dialog.setCancelButtonText(Text(182));
    if (dialog.exec() != QDialog::Accepted) return false;
    Value = dialog.textValue();
    return true;
}

namespace {

// Qt's font dialog looks the font's style up by name and, when the font
// names none, by a made-up one ("Normal" where the family says "Book"):
// not found, it selects the first style, often an oblique one, and OK then
// returns that. Name the style of the family that matches the font.
QFont WithStyleName(const QFont& Font) {
    if (!Font.styleName().isEmpty()) return Font;
    // Of the matching styles the plainest: "Book" before "Condensed".
    QString best;
    for (const QString& style : QFontDatabase::styles(Font.family())) {
        const QFont f = QFontDatabase::font(Font.family(), style, Font.pointSize());
        if (f.italic() == Font.italic() && f.weight() == Font.weight() &&
            (best.isEmpty() || style.size() < best.size()))
            best = style;
    }
    if (best.isEmpty()) return Font;
    QFont named = Font;
    named.setStyleName(best);
    return named;
}

} // namespace

bool ChooseFont(QWidget* Parent, const QString& Title, QFont& Font) {
    if (Answerer().Font) {
        const auto answer = Answerer().Font(Font);
        if (!answer) return false;
        Font = *answer;
        return true;
    }
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, WithStyleName(Font), Parent, Title);
    if (ok) Font = chosen;
    return ok;
}

TFontColorDialog::TFontColorDialog(const QFont& Font, const QColor& Color, QWidget* Parent)
    : QDialog(Parent) {
    setObjectName(QStringLiteral("FontColorDialog"));
    FontDialog = new QFontDialog(WithStyleName(Font), this);
    FontDialog->setObjectName(QStringLiteral("FontDialog"));
    // Embedded: its own buttons would close only itself.
    FontDialog->setOptions(QFontDialog::NoButtons);
    FontDialog->setWindowFlags(Qt::Widget);
    setWindowTitle(FontDialog->windowTitle());
    const bool german = LanguageColumn == 0;
    bColor =
        new QPushButton(german ? QStringLiteral("&Farbe...") : QStringLiteral("&Colour..."), this);
    bColor->setObjectName(QStringLiteral("bColor"));
    bColor->setAutoDefault(false);
    bOk = new QPushButton(Text(181), this);
    bOk->setObjectName(QStringLiteral("bOk"));
    bOk->setDefault(true);
    bCancel = new QPushButton(Text(182), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bColor);
    buttons->addStretch(1);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FontDialog);
    layout->addLayout(buttons);
    connect(bColor, &QPushButton::clicked, this, [this] { bColorClick(); });
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    SetColor(Color);
}

QFont TFontColorDialog::SelectedFont() const {
    return FontDialog->currentFont();
}

void TFontColorDialog::SetColor(const QColor& Color) {
    color_ = Color;
    // The button shows the colour as a swatch.
    QPixmap swatch(16, 16);
    swatch.fill(Color);
    bColor->setIcon(QIcon(swatch));
    // The sample text shows the font in its colour.
    if (auto* sample =
            FontDialog->findChild<QLineEdit*>(QStringLiteral("qt_fontDialog_sampleEdit"))) {
        QPalette pal = sample->palette();
        pal.setColor(QPalette::Text, Color);
        sample->setPalette(pal);
    }
}

void TFontColorDialog::bColorClick() {
    QColor c = color_;
    if (ChooseColor(this, c)) SetColor(c);
}

bool ChooseFont(QWidget* Parent, const QString& Title, QFont& Font, QColor& Color) {
    if (Answerer().Font) {
        const auto answer = Answerer().Font(Font);
        if (!answer) return false;
        if (Answerer().Color) {
            if (const auto c = Answerer().Color(Color); c && c->isValid()) Color = *c;
        }
        Font = *answer;
        return true;
    }
    TFontColorDialog dialog(Font, Color, Parent);
    if (!Title.isEmpty()) dialog.setWindowTitle(Title);
    if (ExecDialog(dialog) != mrOk) return false;
    Font = dialog.SelectedFont();
    Color = dialog.SelectedColor();
    return true;
}

bool ChooseColor(QWidget* Parent, QColor& Color) {
    std::optional<QColor> answer;
    if (Answerer().Color) {
        answer = Answerer().Color(Color);
    } else {
        const QColor chosen = QColorDialog::getColor(Color, Parent);
        if (chosen.isValid()) answer = chosen;
    }
    if (!answer || !answer->isValid()) return false;
    Color = *answer;
    return true;
}

int ExecDialog(QDialog& Dialog) {
    if (Answerer().Dialog) return Answerer().Dialog(Dialog);
    return ModalResult(Dialog.exec());
}
