// SPDX-License-Identifier: GPL-3.0-or-later
// The letter and sign dialog, the translation hint, the About box and the log.
#include "FrameTestSupport.h"

#include "About.h"
#include "UPieces.h"

#include <QEnterEvent>
#include <QLabel>

#include <QLineEdit>
#include <QMenu>

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
    EXPECT_EQ(shown[3], "d");
    EXPECT_EQ(shown[4], "e");
    EXPECT_EQ(f.figK, "S");
    EXPECT_EQ(f.figP, "");
    ASSERT_EQ(f.InformantSigns.size(), 19u);
    EXPECT_EQ(f.InformantSigns[0], '#');
    EXPECT_EQ(f.InformantSigns[1], 'b');
    EXPECT_EQ(static_cast<unsigned char>(f.InformantSigns[6]), 0xE9);
    EXPECT_EQ(f.InformantSigns[7], '#');
    EXPECT_EQ(Boards[0]->NotationApplied, 1);
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
