// SPDX-License-Identifier: GPL-3.0-or-later
// The letter and sign dialog, the translation hint, the About box and the log.
#include "FrameTestSupport.h"

#include "About.h"
#include "UPieces.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontDialog>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace frametest;

namespace {

// Answers the next dialog of our own with Fill, then Result.
TAnswerer DialogAnswer(std::function<void(TfrmPieces&)> Fill, int Result,
                       std::vector<QString>* Messages = nullptr) {
    TAnswerer a;
    a.Dialog = [Fill, Result](QDialog& D) {
        if (auto* p = dynamic_cast<TfrmPieces*>(&D)) Fill(*p);
        return Result;
    };
    if (Messages)
        a.Message = [Messages](const TMessageRequest& R) {
            Messages->push_back(R.Msg);
            return mrOk;
        };
    return a;
}

// Key presses carrying each character of Text, as a keyboard layout sends them.
void Type(QWidget* W, const QString& Text) {
    for (const QChar c : Text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(W, &press);
    }
}

} // namespace

TEST_F(FrameTest, LetterDialogStoresLettersAndNineteenSigns) {
    WriteIni("[Options]\nInformantSigns=ab#de\nfigK=K\n");
    TMainForm& f = Start();
    f.mGameOpenClick();
    std::vector<QString> shown;
    TAnswererScope answers(DialogAnswer(
        [&](TfrmPieces& d) {
            for (QLineEdit* e : d.Edit)
                shown.push_back(e->text());
            EXPECT_EQ(d.fEdit[0]->text(), "K");
            d.fEdit[0]->setText(" S ");
            d.fEdit[5]->setText("");
            d.Edit[0]->setText("");                     // empty: the default sign
            d.Edit[6]->setText(QString(QChar(0xE9)));   // an 8-bit character
            d.Edit[7]->setText(QString(QChar(0x263A))); // none: the default
        },
        mrOk));
    f.mFontClick();
    // Only the five signs of the ini were filled in; "#" left its edit alone.
    ASSERT_EQ(shown.size(), 19u);
    EXPECT_EQ(shown[0], "a");
    EXPECT_EQ(shown[1], "b");
    EXPECT_EQ(shown[2], TfrmPieces::SignText(2)); // the sign itself, as the notation shows it
    EXPECT_EQ(shown[3], "d");
    EXPECT_EQ(shown[4], "e");
    EXPECT_EQ(shown[5], TfrmPieces::SignText(5));
    EXPECT_EQ(f.figK, "S");
    EXPECT_EQ(f.figP, "");
    ASSERT_EQ(f.InformantSigns.size(), 19u);
    EXPECT_EQ(f.InformantSigns[0], '#');
    EXPECT_EQ(f.InformantSigns[1], 'b');
    EXPECT_EQ(static_cast<unsigned char>(f.InformantSigns[6]), 0xE9);
    EXPECT_EQ(f.InformantSigns[7], '#');
    // Signs left as they were shown keep their default: "#", not the sign's
    // own character nor the letter a chess font would draw it with.
    EXPECT_EQ(f.InformantSigns[2], '#');
    for (size_t k = 8; k < 19; ++k)
        EXPECT_EQ(f.InformantSigns[k], '#') << k;
    EXPECT_EQ(Boards[0]->NotationApplied, 1);
}

// A sign edit takes, as typed, only what can be stored for its sign: one
// character of the 8-bit set, not the blank and not "#" (which stands for
// the default). Such a character is stored and shown again, as the
// character set shows it.
TEST_F(FrameTest, SignEditsTakeOnlyWhatIsStored) {
    TMainForm& f = Start();
    int two = -1; // a sign spelt with two characters ("+-")
    for (int k = 0; k < SignCount && two < 0; ++k)
        if (TfrmPieces::SignText(k).size() == 2) two = k;
    ASSERT_GE(two, 0);
    const int euro = two == 0 ? 1 : 0;
    const int other = two == 2 || euro == 2 ? 3 : 2;
    std::vector<QString> typed;
    TAnswererScope answers(DialogAnswer(
        [&](TfrmPieces& d) {
            d.show();
            QLineEdit* e = d.Edit[static_cast<size_t>(two)];
            e->selectAll();
            Type(e, QStringLiteral("W+"));
            typed.push_back(e->text());
            QTest::keyClick(e, Qt::Key_End);
            Type(e, QStringLiteral("x"));
            typed.push_back(e->text());
            QLineEdit* u = d.Edit[static_cast<size_t>(euro)];
            u->clear();
            Type(u, QString(QChar(0x263A)) + " #" + QChar(0x20AC) + "a");
            typed.push_back(u->text());
            QLineEdit* o = d.Edit[static_cast<size_t>(other)];
            o->clear();
            Type(o, QStringLiteral(" "));
            typed.push_back(o->text());
        },
        mrOk));
    f.mFontClick();
    ASSERT_EQ(typed.size(), 4u);
    EXPECT_EQ(typed[0], "W");
    EXPECT_EQ(typed[1], "W");
    EXPECT_EQ(typed[2], QString(QChar(0x20AC)));
    EXPECT_EQ(typed[3], "");
    ASSERT_EQ(f.InformantSigns.size(), 19u);
    EXPECT_EQ(f.InformantSigns[static_cast<size_t>(two)], 'W');
    EXPECT_EQ(static_cast<unsigned char>(f.InformantSigns[static_cast<size_t>(euro)]), 0x80);
    EXPECT_EQ(f.InformantSigns[static_cast<size_t>(other)], '#');

    // Shown again as stored, through the ini.
    ASSERT_TRUE(Close());
    TMainForm& g = Start();
    std::vector<QString> shown;
    TAnswererScope again(DialogAnswer(
        [&](TfrmPieces& d) {
            for (QLineEdit* e : d.Edit)
                shown.push_back(e->text());
        },
        mrCancel));
    g.mFontClick();
    ASSERT_EQ(shown.size(), 19u);
    EXPECT_EQ(shown[static_cast<size_t>(two)], "W");
    EXPECT_EQ(shown[static_cast<size_t>(euro)], QString(QChar(0x20AC)));
    EXPECT_EQ(shown[static_cast<size_t>(other)], TfrmPieces::SignText(other));
}

TEST_F(FrameTest, LetterDialogShowsSignsForTheLettersOfAChessFont) {
    // Stored by an earlier run that showed the letters i..z: the same as no
    // choice, so the edits show the signs, and OK stores "#".
    WriteIni("[Options]\nInformantSigns=ijklmnopqrstuvwyz|~\n");
    TMainForm& f = Start();
    std::vector<QString> shown;
    TAnswererScope answers(DialogAnswer(
        [&](TfrmPieces& d) {
            for (QLineEdit* e : d.Edit)
                shown.push_back(e->text());
        },
        mrOk));
    f.mFontClick();
    ASSERT_EQ(shown.size(), 19u);
    for (int k = 0; k < 19; ++k)
        EXPECT_EQ(shown[static_cast<size_t>(k)], TfrmPieces::SignText(k)) << k;
    EXPECT_EQ(f.InformantSigns, std::string(19, '#'));
}

TEST_F(FrameTest, CancelledLetterDialogChangesNothing) {
    WriteIni("[Options]\nfigQ=D\n");
    TMainForm& f = Start();
    f.mGameOpenClick();
    TAnswererScope answers(DialogAnswer(
        [](TfrmPieces& d) {
            d.fEdit[1]->setText("X");
            d.Edit[2]->setText("z");
        },
        mrCancel));
    f.mFontClick();
    EXPECT_EQ(f.figQ, "D");
    EXPECT_EQ(f.InformantSigns, "");
    EXPECT_EQ(Boards[0]->NotationApplied, 0);
}

TEST_F(FrameTest, TranslationHintInTheCurrentLanguage) {
    WriteIni("[Options]\nEnglish=0\n");
    TMainForm& f = Start();
    f.mOtherLangClick();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Messages[0].contains("IhreSprache.lng"));
    EXPECT_TRUE(Messages[0].contains("&& = verwendet"));
    f.mSprache->actions()[1]->trigger(); // English
    f.mOtherLangClick();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_TRUE(Messages[1].contains("YourLanguage.lng"));
    EXPECT_EQ(Messages[1].count('\r'), 5);
}

TEST_F(FrameTest, AboutBoxFlushesTheLog) {
    WriteIni("[Options]\nDisableLog=0\n");
    TMainForm& f = Start();
    f.Log("Open 3");
    EXPECT_FALSE(std::filesystem::exists(Dir() / "kblogfile.txt"));
    int dialogs = 0;
    TAnswererScope answers(TAnswerer{.Dialog = [&](QDialog&) {
        ++dialogs;
        return mrOk;
    }});
    f.HelpAboutItemClick();
    EXPECT_EQ(dialogs, 1);
    const std::string log = kbtest::ReadFile(Dir() / "kblogfile.txt");
    EXPECT_EQ(log.rfind("OUT:  ", 0), 0u) << log;
    EXPECT_NE(log.find(": Open 3"), std::string::npos);
}

// The mouse over a link of the About box shows its address in the frame's
// status line, and leaving it clears the line.
TEST_F(FrameTest, AboutBoxLinksShowTheirAddressInTheStatusLine) {
    WriteIni("");
    TMainForm& f = Start();
    int links = 0;
    TAnswererScope answers(TAnswerer{.Dialog = [&](QDialog& D) {
        auto* about = dynamic_cast<TAboutBox*>(&D);
        if (!about) return mrCancel;
        D.show();
        for (TLinkLabel* link : about->findChildren<TLinkLabel*>()) {
            const QPointF inside(2, 2);
            QEnterEvent enter(inside, link->mapTo(&D, inside), link->mapToGlobal(inside));
            QCoreApplication::sendEvent(link, &enter);
            EXPECT_EQ(f.pHint->text(), link->Url.toString()) << link->objectName().toStdString();
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(link, &leave);
            EXPECT_EQ(f.pHint->text(), QString());
            ++links;
        }
        return mrOk;
    }});
    f.HelpAboutItemClick();
    EXPECT_EQ(links, 5);
}

TEST_F(FrameTest, LogIsOffByDefault) {
    WriteIni("");
    TMainForm& f = Start();
    f.Log("Filtern");
    Frame.reset();
    EXPECT_FALSE(std::filesystem::exists(Dir() / "kblogfile.txt"));
}

namespace {

// Qt's font dialog has no colour: both font dialogs carry a colour button,
// and what is chosen there reaches the boards and the ini with the font.
TEST_F(FrameTest, FontDialogsChooseTheColourWithTheFont) {
    WriteIni("[Options]\nFontColor=0\nCFontColor=128\n");
    TMainForm& f = Start();
    f.mGameOpenClick();
    const QColor chosen(0x12, 0x34, 0x56);
    int colourAsked = 0;
    int finish = mrOk;
    TAnswerer a;
    a.Color = [&](const QColor&) -> std::optional<QColor> {
        ++colourAsked;
        return chosen;
    };
    a.Dialog = [&](QDialog& D) {
        if (auto* d = dynamic_cast<TFontColorDialog*>(&D)) {
            d->FontDialog->setCurrentFont(QFont("DejaVu Serif", 15));
            QTest::mouseClick(d->bColor, Qt::LeftButton);
            EXPECT_EQ(d->SelectedColor(), chosen);
            return finish;
        }
        if (auto* p = dynamic_cast<TfrmPieces*>(&D)) {
            QTest::mouseClick(p->bFont, Qt::LeftButton);
            return int(mrOk);
        }
        return int(mrCancel);
    };
    TAnswererScope scope(a);

    // Cancelled: the colour picked on the way is dropped with the font.
    finish = mrCancel;
    f.mFontCommClick();
    EXPECT_EQ(colourAsked, 1);
    EXPECT_EQ(f.FontDialogComm.Color, ColorFromWin(128));
    EXPECT_EQ(Boards[0]->BoardApplied, 0);

    finish = mrOk;
    f.mFontCommClick();
    EXPECT_EQ(f.FontDialogComm.Color, chosen);
    EXPECT_EQ(f.FontDialogComm.Font.pointSize(), 15);
    EXPECT_EQ(Boards[0]->BoardApplied, 1);
    f.mFontClick();
    EXPECT_EQ(colourAsked, 3);
    EXPECT_EQ(f.FontDialog1.Color, chosen);
    EXPECT_EQ(f.FontDialog1.Font.pointSize(), 15);
    EXPECT_EQ(Boards[0]->NotationApplied, 1);

    // Confirmed without a change: font and colour come back as they were.
    for (const QFont& font :
         {QFont("DejaVu Sans", 10), QFont("DejaVu Sans Mono", 12, QFont::Bold)}) {
        TFontColorDialog d(font, chosen);
        EXPECT_EQ(d.SelectedFont().family(), font.family());
        EXPECT_EQ(d.SelectedFont().pointSize(), font.pointSize());
        EXPECT_EQ(d.SelectedFont().bold(), font.bold());
        EXPECT_FALSE(d.SelectedFont().italic()) << font.family().toStdString();
        EXPECT_FALSE(d.SelectedFont().styleName().contains("Condensed"));
        EXPECT_EQ(d.SelectedColor(), chosen);
    }

    ASSERT_TRUE(Close());
    const std::string ini = IniText();
    const std::string value = std::to_string(ColorToWin(chosen));
    EXPECT_NE(ini.find("\nFontColor=" + value), std::string::npos) << ini;
    EXPECT_NE(ini.find("\nCFontColor=" + value), std::string::npos) << ini;
}

} // namespace

TEST_F(FrameTest, EveryFontSizeTheFontDialogOffersSurvivesARestart) {
    TMainForm& f = Start();
    int size = 0;
    TAnswerer a;
    a.Dialog = [&](QDialog& D) {
        if (auto* d = dynamic_cast<TFontColorDialog*>(&D)) {
            // The sizes the dialog takes are the sizes the ini reads back.
            const QIntValidator* range = nullptr;
            for (const QLineEdit* e : d->FontDialog->findChildren<QLineEdit*>())
                if (auto* v = qobject_cast<const QIntValidator*>(e->validator())) range = v;
            EXPECT_TRUE(range);
            if (range) {
                EXPECT_EQ(range->bottom(), FontSizeMin);
                EXPECT_EQ(range->top(), FontSizeMax);
            }
            d->FontDialog->setCurrentFont(QFont("DejaVu Sans", size));
            return int(mrOk);
        }
        if (auto* p = dynamic_cast<TfrmPieces*>(&D)) {
            QTest::mouseClick(p->bFont, Qt::LeftButton);
            return int(mrOk);
        }
        return int(mrCancel);
    };
    {
        TAnswererScope scope(a);
        size = 200;
        f.mFontClick();
        size = 2;
        f.mFontCommClick();
    }
    EXPECT_EQ(f.FontDialog1.Font.pointSize(), 200);
    EXPECT_EQ(f.FontDialogComm.Font.pointSize(), 2);
    ASSERT_TRUE(Close());
    TMainForm& g = Start();
    EXPECT_EQ(g.FontDialog1.Font.pointSize(), 200);
    EXPECT_EQ(g.FontDialogComm.Font.pointSize(), 2);
    Frame.reset();

    // The ends of the range are read, one beyond them is not.
    WriteIni("[Options]\nFontSize=" + std::to_string(FontSizeMax) +
             "\nCFontSize=" + std::to_string(FontSizeMin) + "\n");
    TMainForm& h = Start();
    EXPECT_EQ(h.FontDialog1.Font.pointSize(), FontSizeMax);
    EXPECT_EQ(h.FontDialogComm.Font.pointSize(), FontSizeMin);
    Frame.reset();
    WriteIni("[Options]\nFontSize=" + std::to_string(FontSizeMax + 1) +
             "\nCFontSize=" + std::to_string(FontSizeMin - 1) + "\n");
    TMainForm& i = Start();
    EXPECT_EQ(i.FontDialog1.Font.pointSize(), 10);
    EXPECT_EQ(i.FontDialogComm.Font.pointSize(), 10);
}
