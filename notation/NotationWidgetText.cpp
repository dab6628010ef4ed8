// SPDX-License-Identifier: GPL-3.0-or-later
#include "NotationWidgetText.h"
#include "Notation.h"

#include <QFont>
#include <QGlyphRun>
#include <QTextLayout>

namespace kb {
namespace {

// Windows-1252 0x80..0x9F; the five unused codes keep their own value.
const char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Cp1252(unsigned char B) {
    if (B >= 0x80 && B < 0xA0) return Cp1252High[B - 0x80];
    return B;
}

char32_t DecodeUtf8(std::string_view Text, size_t Pos, size_t Len) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(Text[Pos + i]); };
    switch (Len) {
    case 1:
        return b(0);
    case 2:
        return (char32_t(b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3:
        return (char32_t(b(0) & 0x0F) << 12) | (char32_t(b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default:
        return (char32_t(b(0) & 0x07) << 18) | (char32_t(b(1) & 0x3F) << 12) |
               (char32_t(b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

} // namespace

size_t Utf8SequenceAt(std::string_view Text, size_t Pos) {
    if (Pos >= Text.size()) return 0;
    const auto at = [&](size_t i) { return static_cast<unsigned char>(Text[Pos + i]); };
    const unsigned char c = at(0);
    if (c < 0x80) return 1;
    size_t len = 0;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4;
    else
        return 0;
    if (Pos + len > Text.size()) return 0;
    for (size_t i = 1; i < len; ++i)
        if ((at(i) & 0xC0) != 0x80) return 0;
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    const unsigned char c1 = at(1);
    if (c == 0xE0 && c1 < 0xA0) return 0;
    if (c == 0xED && c1 >= 0xA0) return 0;
    if (c == 0xF0 && c1 < 0x90) return 0;
    if (c == 0xF4 && c1 >= 0x90) return 0;
    return len;
}

bool ContinuesCharacter(std::string_view Text, size_t Pos) {
    if (Pos >= Text.size()) return false;
    if ((static_cast<unsigned char>(Text[Pos]) & 0xC0) != 0x80) return false;
    for (size_t k = 1; k <= 3 && k <= Pos; ++k)
        if (Utf8SequenceAt(Text, Pos - k) > k) return true;
    return false;
}

char32_t CharacterAt(std::string_view Text, size_t Pos, size_t& Len) {
    Len = 0;
    if (Pos >= Text.size()) return U' ';
    const size_t seq = Utf8SequenceAt(Text, Pos);
    char32_t c;
    if (seq > 0) {
        Len = seq;
        c = DecodeUtf8(Text, Pos, seq);
    } else {
        Len = 1;
        c = Cp1252(static_cast<unsigned char>(Text[Pos]));
    }
    if (c < 0x20 || c == 0x7F) c = U' ';
    return c;
}

QString DecodeGameText(std::string_view Text) {
    QString out;
    out.reserve(static_cast<qsizetype>(Text.size()));
    size_t pos = 0;
    while (pos < Text.size()) {
        const size_t seq = Utf8SequenceAt(Text, pos);
        char32_t c;
        if (seq > 0) {
            c = DecodeUtf8(Text, pos, seq);
            pos += seq;
        } else {
            c = Cp1252(static_cast<unsigned char>(Text[pos]));
            ++pos;
        }
        out += QString::fromUcs4(&c, 1);
    }
    return out;
}

std::string EncodeGameText(const QString& Text) {
    return Text.toUtf8().toStdString();
}

namespace {

// True when every character of Text has a glyph in the application font or
// in a font the font system falls back to; a missing one comes out as glyph 0.
bool Drawable(const QString& Text) {
    QTextLayout layout(Text, QFont());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.isEmpty()) return false;
    for (const QGlyphRun& run : runs)
        for (const quint32 glyph : run.glyphIndexes())
            if (glyph == 0) return false;
    return true;
}

} // namespace

const std::array<std::string, 19>& ShowableSignTexts() {
    static const std::array<std::string, 19> texts = [] {
        std::array<std::string, 19> t;
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = Drawable(QString::fromUtf8(TNotation::UnicodeSigns[i]))
                       ? TNotation::UnicodeSigns[i]
                       : TNotation::PlainSigns[i];
        return t;
    }();
    return texts;
}

} // namespace kb
