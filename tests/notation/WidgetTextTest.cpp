// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes to characters for the screen and the clipboard, and the clipboard
// commands of the notation widget.
#include "NotationWidgetText.h"
#include "WidgetTestSupport.h"

#include <QClipboard>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTextLayout>

#include <gtest/gtest.h>

using namespace kb;

namespace {

TEST(NotationWidgetText, Utf8AndWindows1252) {
    // "é" as UTF-8, then a lone 0xE9 (Windows-1252 "é"), 0x80 (the euro sign)
    // and a truncated three-byte sequence.
    const std::string s = "a\xC3\xA9 \xE9\x80\xE2\x82";
    EXPECT_EQ(Utf8SequenceAt(s, 0), 1u);
    EXPECT_EQ(Utf8SequenceAt(s, 1), 2u);
    EXPECT_TRUE(ContinuesCharacter(s, 2));
    EXPECT_EQ(Utf8SequenceAt(s, 4), 0u);
    EXPECT_FALSE(ContinuesCharacter(s, 5));
    EXPECT_EQ(Utf8SequenceAt(s, 6), 0u); // E2 82 ends early
    EXPECT_FALSE(ContinuesCharacter(s, 7));
    EXPECT_EQ(DecodeGameText(s),
              QString::fromUtf8("a\xC3\xA9 \xC3\xA9\xE2\x82\xAC\xC3\xA2\xE2\x80\x9A"));
    size_t len = 0;
    EXPECT_EQ(CharacterAt(s, 1, len), U'\u00E9');
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(CharacterAt(s, 5, len), U'\u20AC');
    EXPECT_EQ(len, 1u);
    // Overlong forms and surrogates are no UTF-8.
    EXPECT_EQ(Utf8SequenceAt("\xC0\xAF", 0), 0u);
    EXPECT_EQ(Utf8SequenceAt("\xED\xA0\x80", 0), 0u);
    EXPECT_EQ(Utf8SequenceAt("\xF0\x9F\x98\x80", 0), 4u);
    // A line break inside a comment takes the room of a blank.
    EXPECT_EQ(CharacterAt("\n", 0, len), U' ');
    EXPECT_EQ(EncodeGameText(QString::fromUtf8("\xC3\xA9")), "\xC3\xA9");
}

// A comment in Windows-1252 is measured per character: the UTF-8 and the
// single-byte spelling of the same word take the same room.
TEST(NotationWidgetText, WidthsPerCharacter) {
    kb::TNotationWidget w;
    kbwidget::Prepare(w, 300, 200);
    const std::string utf8 = "\xC3\xA9t\xC3\xA9";
    const std::string cp1252 = "\xE9t\xE9";
    int a = 0, b = 0;
    for (size_t i = 0; i < utf8.size(); ++i)
        a += w.CharWidth(TLineFont::Comment, utf8, i);
    for (size_t i = 0; i < cp1252.size(); ++i)
        b += w.CharWidth(TLineFont::Comment, cp1252, i);
    EXPECT_EQ(a, b);
    EXPECT_GT(a, 0);
    EXPECT_EQ(w.CharWidth(TLineFont::Main, "{", 0), 0);
}

// The notation on screen shows each evaluation sign as the character it
// stands for where an installed font draws it, else in plain characters;
// never a chess-font letter, never an empty box.
TEST(NotationWidgetText, SignsShowAsTheirCharacters) {
    const auto& shown = ShowableSignTexts();
    int unicode = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(shown[i] == TNotation::UnicodeSigns[i] || shown[i] == TNotation::PlainSigns[i])
            << i;
        unicode += shown[i] == TNotation::UnicodeSigns[i];
        // Whatever is chosen has a glyph for every character.
        QTextLayout layout(QString::fromUtf8(shown[i]), QFont());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun& run : layout.glyphRuns())
            for (const quint32 glyph : run.glyphIndexes())
                EXPECT_NE(glyph, 0u) << "sign " << i << " " << shown[i];
    }
    // DejaVu Sans, which the program needs for its pieces, has these.
    for (const size_t i : {2u, 3u, 6u, 8u, 9u})
        EXPECT_EQ(shown[i], TNotation::UnicodeSigns[i]) << i;
    EXPECT_GE(unicode, 12);

    kb::TNotationWidget w;
    kbwidget::Prepare(w, 400, 200);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN("[Event \"E\"]\r\n\r\n1. e4 $16 e5 $14 2. Nf3 $13 *\r\n"), 0);
    n.Refresh();
    const std::string text = n.GetText();
    EXPECT_NE(text.find("1.e4\u00b1 e5" + shown[4] + " 2.Sf3\u221e"), std::string::npos) << text;
    // A character the user chose for a sign rules.
    n.SetGlyphChars("###\xA7");
    EXPECT_NE(n.GetText().find("1.e4\xA7 e5" + shown[4]), std::string::npos) << n.GetText();
}

TEST(NotationWidgetClipboard, CopyAndPaste) {
    kb::TNotationWidget w;
    kbwidget::Prepare(w, 300, 200);
    TNotation& n = w.Notation();
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4 {caf\xE9} e5 2. Nf3 (2. f4) Nc6", {}, "1-0")), 0);
    QClipboard* cb = QGuiApplication::clipboard();
    ASSERT_NE(cb, nullptr);
    cb->clear();
    EXPECT_EQ(w.CopyPGN(), 0);
    const QString copied = cb->text();
    EXPECT_TRUE(copied.startsWith("[Event \"Test\"]")) << copied.toStdString();
    EXPECT_TRUE(copied.contains(QString::fromUtf8("{caf\xC3\xA9}"))) << copied.toStdString();
    EXPECT_TRUE(copied.contains("(2.f4)")) << copied.toStdString();

    // Back in through the clipboard: the same game.
    std::string exported;
    ASSERT_EQ(n.GetPGN(exported), 0);
    n.NewGame();
    ASSERT_EQ(n.RootLine, nullptr);
    EXPECT_TRUE(w.PastePGN());
    std::string again;
    ASSERT_EQ(n.GetPGN(again), 0);
    // The comment now comes back as UTF-8; the moves and tags are the same.
    EXPECT_EQ(kbtest::MainLineTexts(n).size(), 4u);
    EXPECT_NE(again.find("{caf\xC3\xA9}"), std::string::npos);
    EXPECT_EQ(again.substr(0, again.find('{')), exported.substr(0, exported.find('{')));

    // Only a picture there: nothing to paste, the game stays.
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::red);
    cb->setImage(img);
    EXPECT_FALSE(w.PastePGN());
    EXPECT_EQ(kbtest::MainLineTexts(n).size(), 4u);
}

} // namespace
