// SPDX-License-Identifier: GPL-3.0-or-later
// The message dialog: captions per language, default and escape buttons,
// answers, wrapping; and the answerer.
#include "DialogsLng.h"
#include "Local.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

class MessageDlg : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStringTable();
        ApplyLanguage();
    }
    void TearDown() override {
        ResetStringTable();
        ApplyLanguage();
    }
};

QStringList ButtonNames(QDialog& d) {
    QStringList names;
    auto buttons = d.findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    for (auto* b : buttons)
        names << b->objectName();
    return names;
}

QPushButton* DefaultButton(QDialog& d) {
    for (auto* b : d.findChildren<QPushButton*>())
        if (b->isDefault()) return b;
    return nullptr;
}

// Runs the dialog modally and presses Key (or clicks the named button)
// once it shows.
int RunAndPress(QDialog& d, const QString& Button, int Key = 0) {
    QTimer::singleShot(0, &d, [&] {
        if (Key) {
            QTest::keyClick(&d, static_cast<Qt::Key>(Key));
        } else {
            auto* b = d.findChild<QPushButton*>(Button);
            if (b)
                QTest::mouseClick(b, Qt::LeftButton);
            else
                d.done(-99);
        }
    });
    return d.exec();
}

TEST_F(MessageDlg, DefaultAndEscapeButtonsForEachSet) {
    struct Case {
        TMsgDlgButtons Buttons;
        TMsgDlgBtn Default;
        TMsgDlgBtn Escape;
        int EscapeResult;
    };
    const Case cases[] = {
        {{mbYes, mbNo}, mbYes, mbNo, mrNo},
        {mbYesNoCancel, mbYes, mbCancel, mrCancel},
        {mbOKCancel, mbOK, mbCancel, mrCancel},
        {{mbOK}, mbOK, mbOK, mrOk},
        {mbAbortRetryIgnore, mbRetry, mbOK, mrOk},
        {{mbYes, mbNo, mbYesToAll, mbNoToAll}, mbYes, mbNo, mrNo},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MsgDlgDefaultButton(c.Buttons), c.Default);
        EXPECT_EQ(MsgDlgEscapeButton(c.Buttons), c.Escape);
        auto d = CreateMessageDialogEx("Frage?", mtConfirmation, c.Buttons);
        QPushButton* def = DefaultButton(*d);
        if (c.Buttons.Contains(c.Default)) {
            ASSERT_NE(def, nullptr);
            EXPECT_EQ(def->objectName(), MsgDlgButtonNames[c.Default]);
        }
        EXPECT_EQ(RunAndPress(*d, {}, Qt::Key_Escape), c.EscapeResult);
    }
}

TEST_F(MessageDlg, ButtonsInTableOrderWithTheirResults) {
    TMsgDlgButtons all{mbHelp,  mbYesToAll, mbNoToAll, mbAll, mbIgnore, mbRetry,
                       mbAbort, mbCancel,   mbOK,      mbNo,  mbYes};
    auto d = CreateMessageDialogEx("x", mtWarning, all);
    EXPECT_EQ(ButtonNames(*d), QStringList({"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore",
                                            "All", "NoToAll", "YesToAll", "Help"}));
    const int results[] = {mrYes,   mrNo,     mrOk,  mrCancel,  mrAbort,
                           mrRetry, mrIgnore, mrAll, mrNoToAll, mrYesToAll};
    for (int b = 0; b < 10; ++b) {
        auto dlg = CreateMessageDialogEx("x", mtWarning, all);
        EXPECT_EQ(RunAndPress(*dlg, MsgDlgButtonNames[b]), results[b]) << MsgDlgButtonNames[b];
    }
    // Help asks the help handler and leaves the dialog open.
    int helpCalls = 0;
    MessageHelpHandler = [&](int, const QString&) { ++helpCalls; };
    auto dlg = CreateMessageDialogEx("x", mtWarning, {mbOK, mbHelp});
    QTimer::singleShot(0, dlg.get(), [&] {
        QTest::mouseClick(dlg->findChild<QPushButton*>("Help"), Qt::LeftButton);
        EXPECT_TRUE(dlg->isVisible());
        QTest::keyClick(dlg.get(), Qt::Key_Return);
    });
    EXPECT_EQ(dlg->exec(), mrOk);
    EXPECT_EQ(helpCalls, 1);
    MessageHelpHandler = nullptr;
}

TEST_F(MessageDlg, CaptionsFollowTheLanguage) {
    // German after the first apply.
    auto d = CreateMessageDialogEx("x", mtConfirmation, {mbYes, mbNo, mbCancel});
    EXPECT_EQ(d->windowTitle(), U("Bestätigen"));
    EXPECT_EQ(d->findChild<QPushButton*>("Yes")->text(), "&Ja");
    EXPECT_EQ(d->findChild<QPushButton*>("Cancel")->text(), "Abbrechen");

    LanguageColumn = 1;
    ApplyLanguage();
    d = CreateMessageDialogEx("x", mtConfirmation, {mbYes, mbNo});
    EXPECT_EQ(d->windowTitle(), "Confirmation");
    EXPECT_EQ(d->findChild<QPushButton*>("Yes")->text(), "&Yes");
    EXPECT_EQ(d->findChild<QPushButton*>("No")->text(), "&No");
    EXPECT_EQ(RunAndPress(*d, "Yes"), mrYes);
    d = CreateMessageDialogEx("x", mtConfirmation, {mbYes, mbNo});
    EXPECT_EQ(RunAndPress(*d, "No"), mrNo);
    EXPECT_EQ(CreateMessageDialogEx("x", mtError, {mbOK})->windowTitle(), "Error");
    EXPECT_EQ(CreateMessageDialogEx("x", mtWarning, {mbOK})->windowTitle(), "Warning");
    EXPECT_EQ(CreateMessageDialogEx("x", mtInformation, {mbOK})->windowTitle(), "Information");
    EXPECT_EQ(
        CreateMessageDialogEx("x", mtWarning, {mbAbort})->findChild<QPushButton*>("Abort")->text(),
        "&Cancel");

    // A language file's texts, then back to German.
    SetTableText(178, 1, "Confirmer");
    SetTableText(179, 1, "&Oui");
    ApplyLanguage();
    d = CreateMessageDialogEx("x", mtConfirmation, {mbYes});
    EXPECT_EQ(d->windowTitle(), "Confirmer");
    EXPECT_EQ(d->findChild<QPushButton*>("Yes")->text(), "&Oui");
    LanguageColumn = 0;
    ApplyLanguage();
    d = CreateMessageDialogEx("x", mtConfirmation, {mbNo});
    EXPECT_EQ(d->findChild<QPushButton*>("No")->text(), "&Nein");

    // The custom type takes the application's title and shows no icon.
    d = CreateMessageDialogEx("x", mtCustom, {mbOK});
    EXPECT_EQ(d->windowTitle(), QGuiApplication::applicationDisplayName());
    EXPECT_EQ(d->findChild<QLabel*>("Image"), nullptr);
    EXPECT_NE(CreateMessageDialogEx("x", mtError, {mbOK})->findChild<QLabel*>("Image"), nullptr);
}

TEST_F(MessageDlg, LongMessagesWrapAtHalfTheScreen) {
    const int half = QGuiApplication::primaryScreen()->availableGeometry().width() / 2;
    QString longText;
    for (int i = 0; i < 200; ++i)
        longText += "Wort ";
    auto d = CreateMessageDialogEx(longText, mtInformation, {mbOK});
    auto* msg = d->findChild<QLabel*>("Message");
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->text(), longText);
    EXPECT_LE(msg->width(), half + 4);
    EXPECT_GT(msg->width(), half * 3 / 4);
    EXPECT_GT(msg->height(), 3 * msg->fontMetrics().height());
    // The label has room for every wrapped line, the button sits below it.
    EXPECT_GE(msg->height(), msg->heightForWidth(msg->width()));
    auto* ok = d->findChild<QPushButton*>("OK");
    EXPECT_GE(ok->y(), msg->geometry().bottom());
    EXPECT_LE(ok->geometry().bottom(), d->height());
    EXPECT_LE(d->width(), half + 200);

    // A short one gives a small box, still wide enough for its buttons.
    auto s = CreateMessageDialogEx("Ok?", mtConfirmation, mbYesNoCancel);
    EXPECT_LT(s->width(), half);
    for (auto* b : s->findChildren<QPushButton*>()) {
        EXPECT_GE(b->x(), 0);
        EXPECT_LE(b->geometry().right(), s->width());
    }
    // Line breaks of the table (CR) break the text.
    auto cr = CreateMessageDialogEx(Text(21), mtConfirmation, {mbYes});
    EXPECT_GE(cr->findChild<QLabel*>("Message")->height(), 2 * msg->fontMetrics().height());
}

TEST_F(MessageDlg, AnswererAnswersWithoutADialog) {
    LanguageColumn = 1;
    ApplyLanguage();
    TMessageRequest seen;
    {
        TAnswererScope scope({.Message = [&](const TMessageRequest& r) {
            seen = r;
            return mrNo;
        }});
        EXPECT_EQ(MessageDlgEx(Text(10), mtConfirmation, {mbYes, mbNo}, 0), mrNo);
    }
    EXPECT_EQ(seen.Msg, "Are you sure that you want to delete the game(s)?");
    EXPECT_EQ(seen.Caption, "Confirmation");
    EXPECT_EQ(seen.Buttons, (TMsgDlgButtons{mbYes, mbNo}));
    EXPECT_FALSE(Answerer().Message); // the scope put the old answers back

    QString name = "old";
    {
        TAnswererScope scope({.FileName = [](const TFileRequest& r) -> std::optional<QString> {
                                  if (r.Mode == TFileMode::Save) return std::nullopt;
                                  return QString("/tmp/a.pgn");
                              },
                              .InputText = [](const QString&, const QString&, const QString& v)
                                  -> std::optional<QString> { return v + "!"; },
                              .Dialog =
                                  [](QDialog& d) {
                                      d.setObjectName("seen");
                                      return mrOk;
                                  }});
        EXPECT_TRUE(ChooseFileName(nullptr, {TFileMode::Open, "t", {}, {}}, name));
        EXPECT_EQ(name, "/tmp/a.pgn");
        EXPECT_FALSE(ChooseFileName(nullptr, {TFileMode::Save, "t", {}, {}}, name));
        EXPECT_EQ(name, "/tmp/a.pgn");
        QString v = "neu";
        EXPECT_TRUE(InputQueryEx("c", "p", v));
        EXPECT_EQ(v, "neu!");
        QDialog dlg;
        EXPECT_EQ(ExecDialog(dlg), mrOk);
        EXPECT_EQ(dlg.objectName(), "seen");
    }
    // Without an answer the real dialog runs; rejecting it is a cancel.
    QDialog real;
    QTimer::singleShot(0, &real, [&] { real.reject(); });
    EXPECT_EQ(ExecDialog(real), mrCancel);
}

} // namespace
