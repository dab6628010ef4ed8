// SPDX-License-Identifier: GPL-3.0-or-later
// The About box and the piece-letter and sign dialog.
#include "About.h"
#include "DialogsLng.h"
#include "Local.h"
#include "Notation.h"
#include "NotationWidgetText.h"
#include "TestSupport.h"
#include "UPieces.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace {

QString U(const char* s) {
    return QString::fromUtf8(s);
}

// Catches the addresses the dialogs ask the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() {
        QDesktopServices::setUrlHandler("https", this, "Open");
        QDesktopServices::setUrlHandler("http", this, "Open");
    }
    ~UrlCatcher() override {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
    }
    QList<QUrl> Opened;
public slots:
    void Open(const QUrl& Url) { Opened << Url; }
};

class SmallDialogs : public ::testing::Test {
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

// Every caption and hint of a window, by object.
std::map<QString, QString> AllTexts(QWidget& W) {
    std::map<QString, QString> texts{{"title", W.windowTitle()}};
    int i = 0;
    for (QWidget* w : W.findChildren<QWidget*>()) {
        const QString key = QString("%1#%2").arg(w->objectName()).arg(i++);
        QString t;
        if (auto* l = qobject_cast<QLabel*>(w)) t = l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) t = b->text();
        if (auto* g = qobject_cast<QGroupBox*>(w)) t = g->title();
        texts[key] = t + "|" + w->toolTip() + "|" + w->statusTip();
    }
    return texts;
}

// German, English, a language file, German again: every text comes back.
template <class Dialog> void RoundTrip(Dialog& D, int InEnglish, int Registered) {
    const auto german = AllTexts(D);
    LanguageColumn = 1;
    ApplyLanguage();
    const auto english = AllTexts(D);
    int differ = 0;
    for (const auto& [key, text] : german)
        differ += english.at(key) != text;
    EXPECT_EQ(differ, InEnglish);
    kbtest::TempDir dir;
    std::string lng;
    for (int i = 0; i < TextCount; ++i)
        lng += "L" + std::to_string(i) + "\n";
    kbtest::WriteFile(dir / "Test.lng", lng);
    ASSERT_TRUE(SelectLanguageFile(QString::fromStdString((dir / "Test.lng").string())));
    int fromFile = 0;
    for (const auto& [key, text] : AllTexts(D))
        fromFile += text.startsWith("L");
    EXPECT_EQ(fromFile, Registered);
    ASSERT_TRUE(SelectLanguageFile(QString()));
    EXPECT_EQ(AllTexts(D), german);
}

// Runs the dialog modally, does Action once it shows, returns the result.
int RunModal(QDialog& d, std::function<void()> Action) {
    QTimer::singleShot(0, &d, Action);
    return d.exec();
}

TEST_F(SmallDialogs, AboutLanguagesLinksAndKeys) {
    {
        TAboutBox about;
        EXPECT_EQ(about.windowTitle(), "Info");
        EXPECT_EQ(about.lFischer->text(), "Fischer-Random-Chess-Regeln");
        EXPECT_EQ(about.lFischerHint->text(),
                  U("(Ausführen der Fischer-Rochade mit gedrückter <Strg>-Taste)"));
        EXPECT_GE(about.width(), 320);
        EXPECT_GE(about.height(), 445);
        // Every link: empty short hint, the address in the status line.
        for (auto* link : about.findChildren<TLinkLabel*>()) {
            EXPECT_TRUE(link->toolTip().isEmpty()) << link->objectName().toStdString();
            EXPECT_EQ(link->statusTip(), link->Url.toString());
            EXPECT_TRUE(link->Url.isValid());
            EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        }
        EXPECT_EQ(about.findChildren<TLinkLabel*>().size(), 5);
        // The program's own picture, the one its windows carry: a piece
        // (its white body and black rim, colours no square has) on squares.
        const QImage shown = about.Icon->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown.size(), QSize(32, 32));
        EXPECT_EQ(shown,
                  ProgramIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_RGB32));
        std::map<QRgb, int> colours;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                ++colours[shown.pixel(x, y)];
        EXPECT_GT(colours[qRgb(255, 255, 255)], 20);
        EXPECT_GT(colours[qRgb(0, 0, 0)], 20);
        EXPECT_GT(colours[qRgb(120, 80, 40)], 20);
        EXPECT_GT(colours[qRgb(240, 220, 180)], 20);

        UrlCatcher catcher;
        const int result = RunModal(about, [&] {
            QTest::mouseClick(about.lGnu, Qt::LeftButton);
            QTest::mouseClick(about.lFischer, Qt::LeftButton);
            EXPECT_TRUE(about.isVisible()); // links keep it open
            QTest::keyClick(&about, Qt::Key_Escape);
        });
        EXPECT_EQ(result, mrCancel);
        ASSERT_EQ(catcher.Opened.size(), 2);
        EXPECT_EQ(catcher.Opened[0], about.lGnu->Url);
        EXPECT_EQ(catcher.Opened[1], about.lFischer->Url);
        EXPECT_EQ(RunModal(about, [&] { QTest::keyClick(&about, Qt::Key_Return); }), mrOk);
    }
    LanguageColumn = 1;
    ApplyLanguage();
    TAboutBox about;
    EXPECT_EQ(about.lCreated->text(), "Created with");
    EXPECT_EQ(about.lFischer->text(), "Fischer-Random-Chess-rules");
    EXPECT_EQ(about.lFontHint->text(), "(select it in \"Options\" - Merida is recommended for NT)");
    // The table's line breaks show as lines.
    EXPECT_EQ(about.lParameters->text().count(u'\n'), 4);
    EXPECT_EQ(about.lStatusHint->text(), ScreenLines(Text(230)));
    EXPECT_EQ(about.OKButton->text(), "OK");
    ASSERT_TRUE(SelectLanguageFile(QString()));
    EXPECT_EQ(about.lCreated->text(), "Erstellt mit");
}

TEST_F(SmallDialogs, PiecesDialogControls) {
    QFont notation("DejaVu Sans Mono", 13);
    TfrmPieces dlg(&notation);
    EXPECT_EQ(dlg.windowTitle(), U("Schriftart für Züge"));
    EXPECT_EQ(dlg.size(), QSize(473, 414));
    EXPECT_EQ(dlg.GroupBox1->title(), "Figurenbezeichner");
    EXPECT_EQ(dlg.GroupBox2->title(), "Informatorzeichen");
    EXPECT_EQ(dlg.bCancel->text(), "Abbrechen");

    // The character set 32..255 in order, Windows-1252 for the upper half.
    const QString memo = dlg.Memo1->toPlainText();
    ASSERT_EQ(memo.size(), 224);
    EXPECT_EQ(memo[0], u' ');
    EXPECT_EQ(memo[33], u'A');
    EXPECT_EQ(memo[0x80 - 32], QChar(0x20AC));
    EXPECT_EQ(memo[0xFC - 32], QChar(0xFC));
    EXPECT_TRUE(dlg.Memo1->isReadOnly());

    // Six piece pictures from the board, nineteen sign pictures, all drawn.
    auto drawn = [](const QImage& img) {
        const QRgb corner = img.pixel(0, 0);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != corner) return true;
        return false;
    };
    for (int i = 0; i < 6; ++i) {
        const QImage img = dlg.fImage[i]->pixmap().toImage();
        EXPECT_EQ(img.size(), QSize(32, 32));
        EXPECT_TRUE(drawn(img)) << i;
    }
    EXPECT_NE(dlg.fImage[0]->pixmap().toImage(), dlg.fImage[5]->pixmap().toImage());
    ASSERT_EQ(dlg.ImageListBold.size(), 19u);
    for (int k = 0; k < SignCount; ++k) {
        EXPECT_TRUE(drawn(dlg.ImageListBold[k])) << k;
        // The sign as the notation shows it while no character is chosen
        // (one or two characters), never the letter of a chess font.
        const QString sign = QString::fromStdString(kb::ShowableSignTexts()[k]);
        EXPECT_EQ(dlg.Edit[k]->text(), sign) << k;
        EXPECT_EQ(TfrmPieces::SignText(k), sign) << k;
        EXPECT_NE(dlg.Edit[k]->text(), QString(QChar(kb::TNotation::DefaultNagChars[k]))) << k;
        for (int j = 0; j < k; ++j)
            EXPECT_NE(dlg.ImageListBold[j], dlg.ImageListBold[k]) << j << k;
    }
    // Signs 1-9 stand in the left column, 10-19 in the right.
    EXPECT_EQ(dlg.Image[0]->x(), dlg.Image[8]->x());
    EXPECT_GT(dlg.Image[9]->x(), dlg.Image[8]->x());
    EXPECT_EQ(dlg.Image[9]->y(), dlg.Image[0]->y());

    // Showing applies the notation font to the memo and the sign edits only.
    const QFont own = dlg.fEdit[0]->font();
    const int result = RunModal(dlg, [&] {
        EXPECT_EQ(dlg.Memo1->font().family(), notation.family());
        EXPECT_EQ(dlg.Edit[18]->font().pointSize(), 13);
        EXPECT_EQ(dlg.fEdit[0]->font(), own);
        dlg.fEdit[1]->setText("D");
        QTest::mouseClick(dlg.bOk, Qt::LeftButton);
    });
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(dlg.fEdit[1]->text(), "D");
}

TEST_F(SmallDialogs, PiecesSignEditsShowTheNotationFontInItsColour) {
    // The sign edits show their characters as the notation will: its font
    // and its colour, like the memo beside them.
    QFont notation("DejaVu Sans", 12);
    QColor colour(0x20, 0x60, 0xC0);
    TfrmPieces dlg(&notation, nullptr, &colour);
    const auto shows = [&](const QColor& c) {
        for (int k = 0; k < SignCount; ++k) {
            EXPECT_EQ(dlg.Edit[k]->palette().color(QPalette::Text), c) << k;
            EXPECT_EQ(dlg.Edit[k]->font().pointSize(), notation.pointSize()) << k;
        }
        EXPECT_EQ(dlg.Memo1->palette().color(QPalette::Text), c);
        EXPECT_NE(dlg.fEdit[0]->palette().color(QPalette::Text), c);
    };
    dlg.ApplyFont();
    shows(colour);
    {
        TAnswererScope scope({.Font = [](const QFont& f) -> std::optional<QFont> { return f; },
                              .Color = [](const QColor&) -> std::optional<QColor> {
                                  return QColor(0x90, 0x10, 0x10);
                              }});
        QTest::mouseClick(dlg.bFont, Qt::LeftButton);
    }
    EXPECT_EQ(colour, QColor(0x90, 0x10, 0x10));
    shows(colour);
}

TEST_F(SmallDialogs, PiecesFontButtonEscAndEnglish) {
    QFont notation("DejaVu Sans Mono", 10);
    TfrmPieces dlg(&notation);
    // A cancelled font dialog changes nothing.
    {
        TAnswererScope scope({.Font = [](const QFont&) -> std::optional<QFont> { return {}; }});
        QTest::mouseClick(dlg.bFont, Qt::LeftButton);
    }
    EXPECT_EQ(notation.pointSize(), 10);
    // A chosen one goes to the frame's font at once, and to the controls.
    {
        TAnswererScope scope({.Font = [](const QFont& f) -> std::optional<QFont> {
            QFont g = f;
            g.setPointSize(17);
            return g;
        }});
        QTest::mouseClick(dlg.bFont, Qt::LeftButton);
    }
    EXPECT_EQ(notation.pointSize(), 17);
    EXPECT_EQ(dlg.Memo1->font().pointSize(), 17);
    EXPECT_EQ(dlg.Edit[0]->font().pointSize(), 17);
    EXPECT_NE(dlg.fEdit[0]->font().pointSize(), 17);
    // Esc cancels.
    EXPECT_EQ(RunModal(dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); }), mrCancel);
    EXPECT_EQ(notation.pointSize(), 17); // the font stays chosen

    LanguageColumn = 1;
    ApplyLanguage();
    EXPECT_EQ(dlg.windowTitle(), "Font of moves");
    EXPECT_EQ(dlg.bFont->text(), "Font of moves");
    EXPECT_EQ(dlg.GroupBox1->title(), "Pieces letters");
    EXPECT_EQ(dlg.GroupBox2->title(), "Informant signs letters");
    EXPECT_EQ(dlg.bOk->text(), "OK");
    EXPECT_EQ(dlg.bCancel->text(), "Cancel");
    TfrmPieces later(nullptr);
    EXPECT_EQ(later.GroupBox1->title(), "Pieces letters");
}

TEST_F(SmallDialogs, LanguageRoundTrips) {
    {
        TAboutBox about;
        // 135-141, 190, 230 and OK, which reads the same in English.
        RoundTrip(about, 9, 10);
    }
    TfrmPieces pieces(nullptr);
    // Title, font button, both groups, both buttons.
    RoundTrip(pieces, 6, 6);
}

} // namespace

#include "SmallDialogsTest.moc"
