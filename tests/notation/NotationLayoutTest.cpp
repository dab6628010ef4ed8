// SPDX-License-Identifier: GPL-3.0-or-later
// Move text and layout: move numbers, SAN in both languages, line starts,
// comment spans, node spans and word wrap with fixed-width metrics.
#include "NotationTestUtil.h"

#include <gtest/gtest.h>

#include <set>

#include <algorithm>
#include <random>

using namespace kb;
using kbtest::MainLine;
using kbtest::Pgn;

namespace {

// Every character the same width; indents per font.
class FixedMetrics : public ITextMetrics {
public:
    FixedMetrics(int width, int charWidth, int var1Indent = 0)
        : width_(width), char_(charWidth), var1_(var1Indent) {}
    int AvailableWidth() const override { return width_; }
    int Indent(TLineFont f) const override { return f == TLineFont::Var1 ? var1_ : 0; }
    int CharWidth(TLineFont, std::string_view, size_t) const override { return char_; }

private:
    int width_, char_, var1_;
};

std::vector<int32_t> Starts(const TNotation& n) {
    std::vector<int32_t> out;
    for (const auto& l : n.LineStarts)
        out.push_back(l.Pos);
    return out;
}

// The display lines as text.
std::vector<std::string> Lines(const TNotation& n) {
    std::vector<std::string> out;
    for (size_t i = 0; i < n.LineStarts.size(); ++i) {
        const size_t a = static_cast<size_t>(n.LineStarts[i].Pos - 1);
        const size_t b = i + 1 < n.LineStarts.size()
                             ? static_cast<size_t>(n.LineStarts[i + 1].Pos - 1)
                             : n.LayoutText.size();
        out.push_back(n.LayoutText.substr(a, b - a));
    }
    return out;
}

TEST(NotationMoveText, MoveNumbers) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3")), 0);
    std::string s;
    n.MoveNumberText(s);
    EXPECT_EQ(s, "1.");
    n.CurrentMove = MainLine(n)[0];
    n.MoveNumberText(s);
    EXPECT_EQ(s, "1...");
    EXPECT_EQ(n.NextMoveNumber(), 1);
    n.CurrentMove = MainLine(n)[1];
    n.MoveNumberText(s);
    EXPECT_EQ(s, "2.");
    EXPECT_EQ(n.NextMoveNumber(), 2);

    ASSERT_EQ(n.LoadPGN(Pgn("23... Kd4", "8/8/8/4k3/8/8/8/4K3 b - - 0 23")), 0);
    n.MoveNumberText(s);
    EXPECT_EQ(s, "23...");
    EXPECT_EQ(n.NextMoveNumber(), 23);
    EXPECT_EQ(kbtest::NodeText(n, MainLine(n)[0]), "23...Kd4");
}

TEST(NotationMoveText, GlyphAndNagTexts) {
    std::string s;
    const char* glyphs[] = {"", "!", "!!", "?", "??", "!?", "?!", ""};
    const char* nags[] = {"", "$1", "$3", "$2", "$4", "$5", "$6", ""};
    for (uint8_t g = 0; g <= 7; ++g) {
        TNotation::GlyphText(g, s);
        EXPECT_EQ(s, glyphs[g]);
        TNotation::GlyphToNag(g, s);
        EXPECT_EQ(s, nags[g]);
    }
    TNotation::NagText(146, s);
    EXPECT_EQ(s, "$146");
    // On display the sign itself shows, not the letter a chess font draws
    // it with; a character the user chose rules; export keeps the letter.
    TNotation n;
    n.NagSymbol(14, s);
    EXPECT_EQ(s, "\u2a72");
    n.NagSymbol(16, s);
    EXPECT_EQ(s, "\u00b1");
    n.NagSymbol(19, s);
    EXPECT_EQ(s, "\u2212+");
    n.SetGlyphChars("#\xB0");
    n.NagSymbol(8, s);
    EXPECT_EQ(s, "\xB0");
    n.NagSymbol(22, s);
    EXPECT_EQ(s, "\u2a00");
    n.ExportMode = true;
    n.NagSymbol(14, s);
    EXPECT_EQ(s, "m");
    n.NagSymbol(7, s);
    EXPECT_EQ(s, "");
    // Nineteen different signs, each also in a plain spelling.
    std::set<std::string> signs(TNotation::UnicodeSigns.begin(), TNotation::UnicodeSigns.end());
    std::set<std::string> plain(TNotation::PlainSigns.begin(), TNotation::PlainSigns.end());
    EXPECT_EQ(signs.size(), 19u);
    EXPECT_EQ(plain.size(), 19u);
}

TEST(NotationMoveText, SanInGermanAndEnglish) {
    struct Case {
        const char* fen;
        const char* move;
        const char* german;
        const char* english;
    };
    const Case cases[] = {
        {"", "1. Ng1f3", "1.Sg1f3", "1.Ng1f3"},
        {"4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1", "1... dxe3", "1...dxe3", "1...dxe3"},
        {"4k3/8/8/8/8/3p4/8/4KB2 w - - 0 1", "1. Bxd3", "1.Lxd3", "1.Bxd3"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "1. O-O-O", "1.O-O-O", "1.O-O-O"},
        {"3qk3/8/8/8/8/8/8/3QK3 b - - 0 1", "1... Qxd1+", "1...Dxd1+", "1...Qxd1+"},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", "1. Ra8#", "1.Ta8#", "1.Ra8#"},
        {"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "1. b8=Q+!?", "1.b8=D+!?", "1.b8=Q+!?"},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", "1. Kd2 $14", "1.Kd2\u2a72", "1.Kd2\u2a72"},
        {"4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1", "1. Nbd2", "1.Sbd2", "1.Nbd2"},
    };
    for (const Case& c : cases) {
        TNotation n;
        ASSERT_EQ(n.LoadPGN(Pgn(c.move, c.fen)), 0) << c.move;
        ASSERT_EQ(MainLine(n).size(), 1u);
        EXPECT_EQ(kbtest::NodeText(n, MainLine(n)[0]), c.german);
        n.SetEnglish(true);
        EXPECT_EQ(kbtest::NodeText(n, MainLine(n)[0]), c.english);
    }

    // Own letters only for the knight: the bishop keeps its built-in letter.
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. Nf3 d5 2. g3 e5 3. Bg2 $14 Qd6")), 0);
    n.SetPieceLetters("", "", "", "", "j", "");
    n.SetGlyphChars(std::string(19, '\xB0'));
    EXPECT_TRUE(n.LetterMode());
    EXPECT_EQ(kbtest::MainLineTexts(n),
              (std::vector<std::string>{"1.Jf3", "d5", "2.g3", "e5", "3.Lg2\xB0", "Dd6"}));
    // Export ignores own letters and own NAG characters.
    n.ExportMode = true;
    n.Refresh();
    EXPECT_EQ(kbtest::MainLineTexts(n)[0], "1.Sf3");
    EXPECT_EQ(kbtest::MainLineTexts(n)[4], "3.Lg2m");
    n.ExportMode = false;
    n.SetPieceLetters("", "", "", "", "", "");
    EXPECT_FALSE(n.LetterMode());
    EXPECT_EQ(kbtest::MainLineTexts(n)[0], "1.Sf3");
}

TEST(NotationMoveText, BrokenMovesReportOncePerLine) {
    TNotation n;
    int errors = 0;
    n.OnError = [&](TNotation*, const std::string&) { ++errors; };
    // Moves from empty squares on the main line and in a variation.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 (2. Nc3) Nc6")), 0);
    auto ml = MainLine(n);
    ml[0]->Zug.From = kbtest::Sq("e3");
    ml[1]->Zug.From = kbtest::Sq("e6");
    ml[2]->Variations->Erster->Zug.From = kbtest::Sq("a3");
    ml[3]->Zug.From = kbtest::Sq("a6");
    n.Refresh();
    // e4 reports; e5 and the variation's move not; after the variation's
    // line ends Nc6 reports again.
    EXPECT_EQ(errors, 2);
}

TEST(NotationLayout, VariationsGetTheirOwnLines) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 (2. f4 exf4) 2... Nc6")), 0);
    n.EnsureLayout();
    EXPECT_EQ(n.LayoutText, "1.e4 e5 2.Nf3 [2.f4 exf4] 2...Nc6   *");
    EXPECT_EQ(Lines(n),
              (std::vector<std::string>{"1.e4 e5 2.Nf3 ", "[2.f4 exf4] ", "2...Nc6  ", " ", "*"}));
    ASSERT_EQ(n.LineStarts.size(), 5u);
    EXPECT_EQ(n.LineStarts[0].Font, TLineFont::Bold); // the main line has variations
    EXPECT_EQ(n.LineStarts[1].Font, TLineFont::Var1);
    EXPECT_EQ(n.LineStarts[2].Font, TLineFont::Bold);
    EXPECT_EQ(n.LineStarts[4].Font, TLineFont::HeadLine);
    auto ml = MainLine(n);
    EXPECT_EQ(ml[2]->TextPos, 9);
    EXPECT_EQ(ml[2]->TextLen, 5);
    EXPECT_EQ(ml[3]->TextPos, 27);
    EXPECT_EQ(ml[3]->ZugNummer, 2);
    EXPECT_TRUE(n.CommentSpans.empty());
    n.AutoBold = false;
    n.Refresh();
    EXPECT_EQ(n.LineStarts[0].Font, TLineFont::Main);
}

TEST(NotationLayout, NestedAndSiblingVariations) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(
        n.LoadPGN(Pgn("1. e4 e5 (1... c5 2. Nf3 (2. c3 d5 (2... Nf6 3. e5)) d6) (1... e6) 2. Nf3")),
        0);
    n.EnsureLayout();
    EXPECT_EQ(Lines(n),
              (std::vector<std::string>{"1.e4 e5 ", "[1...c5 2.Nf3 ", "(2.c3 d5 (2...Nf6 3.e5)) ",
                                        "2...d6] ", "[1...e6] ", "2.Nf3  ", " ", "*"}));
    EXPECT_EQ(n.LineStarts[2].Font, TLineFont::Var2);
    EXPECT_EQ(n.LineStarts[3].Font, TLineFont::Var1);
    EXPECT_EQ(n.LineStarts[4].Font,
              TLineFont::Var1); // the "]" entry became the second variation's line
    EXPECT_EQ(n.LineStarts[5].Font, TLineFont::Bold);
    EXPECT_TRUE(n.CurrentOnMainLine);
    // The working position follows the current move, also inside a variation.
    n.CurrentMove = kbtest::Line(MainLine(n)[1]->Variations)[1];
    n.Refresh();
    EXPECT_FALSE(n.CurrentOnMainLine);
    EXPECT_EQ(n.WorkBoard[kbtest::Sq("f3")], Springer);
    EXPECT_EQ(n.WorkBoard[kbtest::Sq("c5")], -Bauer);
    EXPECT_EQ(n.WorkBoard[kbtest::Sq("e5")], 0);
    EXPECT_EQ(n.WorkMove.Side, -1);
}

TEST(NotationLayout, BlackFirstHeadlineAndComments) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(
        n.LoadPGN(
            "[Event \"Test\"]\n[White \"A\"]\n[Black \"B\"]\n[Result \"*\"]\n"
            "[FEN \"8/8/8/4k3/8/8/8/4K3 b - - 0 12\"]\n\n{ Game }12... Kd5 {  two  } 13. Kd2 *\n"),
        0);
    EXPECT_EQ(n.GameData.Kommentar, "{Game} ");
    // Loading takes one blank off each end, the layout another; a hidden
    // notation's load does both, the text waits.
    EXPECT_EQ(MainLine(n)[0]->Kommentar, "{two}");
    EXPECT_TRUE(n.LayoutText.empty());
    n.EnsureLayout();
    EXPECT_EQ(n.LayoutText, "{Game}  12...Kd5 {two} 13.Kd2   *");
    EXPECT_EQ(MainLine(n)[0]->Kommentar, "{two}");
    EXPECT_EQ(n.CommentSpans, (std::vector<TCommentSpan>{{1, 7}, {18, 5}}));
    EXPECT_EQ(MainLine(n)[0]->TextPos, 9);

    n.SetUeberschrift(true);
    EXPECT_EQ(n.LayoutText.substr(0, 13), "A - B Test  {");
    EXPECT_EQ(n.HeadlineEnd, 12);
    ASSERT_GE(n.LineStarts.size(), 4u);
    EXPECT_EQ(Starts(n).at(0), 1);
    EXPECT_EQ(Starts(n).at(1), 7);
    EXPECT_EQ(Starts(n).at(2), 12);
    EXPECT_EQ(n.LineStarts[3].Pos, 13);
    EXPECT_EQ(n.LineStarts[3].Font, TLineFont::Main);

    // A game without moves: the comment, a blank line, the result.
    TNotation empty;
    empty.LoadPGN(Pgn("{Only words} *"));
    empty.EnsureLayout();
    EXPECT_EQ(empty.LayoutText, "{Only words}    *");
    EXPECT_EQ(Lines(empty), (std::vector<std::string>{"{Only words}   ", " ", "*"}));
}

TEST(NotationLayout, WrapsAtWordsWithFixedWidths) {
    TNotation n;
    n.SetEnglish(true);
    FixedMetrics m(100, 10);
    n.Metrics = &m;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 Nc6 3. Bb5 a6")), 0);
    EXPECT_EQ(Starts(n), (std::vector<int32_t>{1, 9, 19, 29, 30}));
    EXPECT_EQ(Lines(n)[0], "1.e4 e5 ");
    EXPECT_EQ(Lines(n)[1], "2.Nf3 Nc6 ");
    EXPECT_EQ(Lines(n)[2], "3.Bb5 a6  ");
    auto ml = MainLine(n);
    const std::vector<int32_t> pos{1, 6, 9, 15, 19, 25}, len{4, 2, 5, 3, 5, 2};
    for (size_t i = 0; i < ml.size(); ++i) {
        EXPECT_EQ(ml[i]->TextPos, pos[i]) << i;
        EXPECT_EQ(ml[i]->TextLen, len[i]) << i;
    }
    // A hidden notation never wraps.
    n.Metrics = nullptr;
    n.Refresh();
    EXPECT_EQ(Starts(n), (std::vector<int32_t>{1, 29, 30}));
}

TEST(NotationLayout, OverlongWordsBreakInsideAndNoProgressStops) {
    TNotation n;
    n.SetEnglish(true);
    FixedMetrics m(100, 10);
    n.Metrics = &m;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 {xxxxxxxxxxxxxxxxxxxxxxxxx} e5")), 0);
    EXPECT_EQ(Starts(n), (std::vector<int32_t>{1, 9, 16, 23, 34, 38, 39}));

    FixedMetrics narrow(30, 10);
    n.Metrics = &narrow;
    n.Refresh(); // must end: no break can make progress
    EXPECT_EQ(Starts(n).front(), 1);
    EXPECT_EQ(Starts(n).size(), 3u);

    // Variation lines lose their indent from the width.
    FixedMetrics indented(100, 10, 30);
    n.Metrics = &indented;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 (1. d4 d5 2. c4 e6) e5")), 0);
    EXPECT_EQ(Lines(n), (std::vector<std::string>{"1.e4 ", "[1.d4 ", "d5 ", "2.c4 ", "e6] ",
                                                  "1...e5  ", " ", "*"}));
    FixedMetrics plain(100, 10, 0);
    n.Metrics = &plain;
    n.Refresh();
    EXPECT_EQ(Lines(n),
              (std::vector<std::string>{"1.e4 ", "[1.d4 d5 ", "2.c4 e6] ", "1...e5  ", " ", "*"}));
}

TEST(NotationLayout, PosKeyAndParagraphPos) {
    EXPECT_EQ(TNotation::PosKey(42), "             42");
    TNotation n;
    n.Refresh();
    EXPECT_EQ(n.ParagraphPos(0), 1);
    EXPECT_EQ(n.ParagraphPos(99), -1);
    EXPECT_EQ(n.ParagraphPos(-1), -1);
}

} // namespace

namespace {

// Widths that differ by character and font, so that breaks land anywhere.
class VaryingMetrics : public ITextMetrics {
public:
    VaryingMetrics(int width, int seed) : width_(width), seed_(seed) {}
    int AvailableWidth() const override { return width_; }
    int Indent(TLineFont f) const override { return static_cast<int>(f) * 3; }
    int CharWidth(TLineFont f, std::string_view t, size_t p) const override {
        return 4 + (static_cast<unsigned char>(t[p]) * 7 + static_cast<int>(f) * 5 + seed_) % 9;
    }

private:
    int width_, seed_;
};

// Word wrap as it is described: one character at a time, walking back to
// the word's start and measuring the whole word at every full line, each
// break inserted into the sorted line list.
std::vector<TLineStart> ReferenceWrap(const TNotation& n, const ITextMetrics& m,
                                      std::vector<TLineStart> lines) {
    const std::string& s = n.LayoutText;
    const int32_t length = static_cast<int32_t>(s.size());
    const int avail = m.AvailableWidth();
    auto inComment = [&](int32_t p) {
        for (const TCommentSpan& c : n.CommentSpans)
            if (p >= c.Pos && p < c.Pos + c.Len) return true;
        return false;
    };
    auto width = [&](int32_t p, TLineFont font) {
        const char c = s[static_cast<size_t>(p - 1)];
        if (c == '{' || c == '}') return 0;
        return m.CharWidth(inComment(p) ? TLineFont::Comment : font, s, static_cast<size_t>(p - 1));
    };
    auto entry = [&](size_t i) { return i < lines.size() ? lines[i].Pos : -1; };
    int32_t p = 0, lastBreak = 0;
    size_t i = 0;
    int w = 0, indent = 0;
    TLineFont font = TLineFont::Main;
    while (p < length) {
        ++p;
        if (entry(i) == p) {
            font = lines[i].Font;
            indent = m.Indent(font);
            w = width(p, font);
            ++i;
            continue;
        }
        w += width(p, font);
        if (avail - indent > w) continue;
        const int32_t over = p;
        while (p > 0 && s[static_cast<size_t>(p - 1)] != ' ')
            --p;
        int wordWidth = 0;
        for (int32_t q = p + 1; q <= length; ++q) {
            wordWidth += width(q, font);
            if (q >= over && s[static_cast<size_t>(q - 1)] == ' ') break;
        }
        if (wordWidth >= avail - indent && over - 3 > 2) p = over - 3;
        if (p <= lastBreak) break;
        lastBreak = p;
        auto it = std::lower_bound(lines.begin(), lines.end(), p + 1,
                                   [](const TLineStart& a, int32_t v) { return a.Pos < v; });
        if (it == lines.end() || it->Pos != p + 1) lines.insert(it, TLineStart{p + 1, font});
        w = 0;
    }
    return lines;
}

TEST(NotationLayout, WrapAgreesWithTheCharacterByCharacterRule) {
    const unsigned seed = 20261207;
    std::mt19937 gen(seed);
    const char* moves[] = {"1. e4",  "e5",  "2. Nf3", "Nc6", "3. Bb5", "a6", "4. Ba4", "Nf6",
                           "5. O-O", "Be7", "6. Re1", "b5",  "7. Bb3", "d6", "8. c3",  "O-O"};
    auto word = [&] {
        std::string w(std::uniform_int_distribution<size_t>(1, 70)(gen), 'x');
        for (char& c : w)
            c = static_cast<char>('a' + gen() % 26);
        return w;
    };
    int wrapped = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (const char* mv : moves) {
            text += std::string(mv) + " ";
            if (gen() % 3 == 0) {
                text += "{";
                for (int k = std::uniform_int_distribution<int>(1, 6)(gen); k > 0; --k)
                    text += word() + (gen() % 4 ? " " : "  ");
                text += "} ";
            }
            if (gen() % 5 == 0 && std::string(mv) == "e5")
                text += "(1... c5 {" + word() + "} 2. Nf3 (2. c3 d5) d6) ";
        }
        TNotation n;
        n.SetEnglish(true);
        ASSERT_EQ(n.LoadPGN(Pgn(text)), 0) << text;
        n.SetUeberschrift(gen() % 2 == 0);
        n.Refresh(); // no metrics: the lines before wrapping
        const std::vector<TLineStart> unwrapped = n.LineStarts;
        VaryingMetrics m(std::uniform_int_distribution<int>(30, 500)(gen), round);
        n.Metrics = &m;
        n.Refresh();
        // The result line is added after wrapping: compare the lines that
        // start well before it.
        const int32_t near = static_cast<int32_t>(n.LayoutText.size()) - 120;
        auto before = [near](std::vector<TLineStart> v) {
            v.erase(std::remove_if(v.begin(), v.end(),
                                   [near](const TLineStart& l) { return l.Pos >= near; }),
                    v.end());
            return v;
        };
        const std::vector<TLineStart> expected = before(ReferenceWrap(n, m, unwrapped));
        const std::vector<TLineStart> got = before(n.LineStarts);
        std::string diff;
        for (size_t k = 0; k < std::max(expected.size(), got.size()) && diff.empty(); ++k) {
            const TLineStart x = k < got.size() ? got[k] : TLineStart{-1};
            const TLineStart y = k < expected.size() ? expected[k] : TLineStart{-1};
            if (!(x == y))
                diff = "line " + std::to_string(k) + " starts at " + std::to_string(x.Pos) +
                       " instead of " + std::to_string(y.Pos);
        }
        ASSERT_EQ(diff, "") << "round " << round << " seed " << seed << "\n" << text;
        wrapped += got.size() > before(unwrapped).size() ? 1 : 0;
    }
    EXPECT_GT(wrapped, 250);
}

} // namespace
