// SPDX-License-Identifier: GPL-3.0-or-later
// Chess-font diagram text: built-in sets, sets from ini files, fallbacks.
#include "IniFile.h"
#include "TestSupport.h"
#include "schachfonts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kb::StellungToFontDiagram;

namespace {

int32_t Sq(const char* name) {
    return 10 * (name[1] - '1' + 2) + (name[0] - 'a' + 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t p = text.find("\r\n", start);
        lines.push_back(text.substr(start, p == std::string::npos ? p : p - start));
        if (p == std::string::npos) return lines;
        start = p + 2;
    }
}

std::string Join(const std::vector<std::string>& lines) {
    std::string t;
    for (size_t i = 0; i < lines.size(); ++i)
        t += (i ? "\r\n" : "") + lines[i];
    return t;
}

std::string Repeat(const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i)
        r += s;
    return r;
}

// Kings and queens on the square colours the start position does not give them.
kb::TSchachbrett Royals() {
    kb::TSchachbrett b = kb::LeeresBrett;
    b[Sq("d1")] = kb::Koenig;
    b[Sq("e1")] = kb::Dame;
    b[Sq("d8")] = -kb::Koenig;
    b[Sq("e8")] = -kb::Dame;
    return b;
}

// An ini section whose every key holds its own name, except those overridden.
std::string Section(const std::string& name, const std::string& skip = {},
                    const std::string& overrideKey = {}, const std::string& overrideValue = {}) {
    std::string s = "[" + name + "]\r\n";
    for (const auto& f : kb::ChessFontFields()) {
        if (f.Name == skip) continue;
        s += std::string(f.Name) + "=" + (f.Name == overrideKey ? overrideValue : f.Name) + "\r\n";
    }
    return s;
}

} // namespace

TEST(Fonts, EmptyBoardInChessMerida) {
    const std::string text = StellungToFontDiagram(kb::LeeresBrett, "Chess Merida");
    EXPECT_EQ(text, Join({"1222222223", "4 + + + +5", "4+ + + + 5", "4 + + + +5", "4+ + + + 5",
                          "4 + + + +5", "4+ + + + 5", "4 + + + +5", "4+ + + + 5", "7888888889"}));
}

TEST(Fonts, StartPositionInEachBuiltInFont) {
    const auto& b = kb::StandardStellung;
    EXPECT_EQ(StellungToFontDiagram(b, "Chess Merida"),
              Join({"1222222223", "4tMvWlVmT5", "4OoOoOoOo5", "4 + + + +5", "4+ + + + 5",
                    "4 + + + +5", "4+ + + + 5", "4pPpPpPpP5", "4RnBqKbNr5", "7888888889"}));
    EXPECT_EQ(StellungToFontDiagram(b, "Chess Berlin"),
              Join({"1222222223", "4tJnWlNjT5", "4OoOoOoOo5", "4 + + + +5", "4+ + + + 5",
                    "4 + + + +5", "4+ + + + 5", "4pPpPpPpP5", "4RhBqKbHr5", "7888888889"}));
    EXPECT_EQ(
        StellungToFontDiagram(b, "DiagramTTHabsburg"),
        Join({"XABCDEFGHY", "8rsnlwqkvlntr(", "7zppzppzppzpp'", "6-+-+-+-+&", "5+-+-+-+-%",
              "4-+-+-+-+$", "3+-+-+-+-#", "2PzPPzPPzPPzP\"", "1tRNvLQmKLsNR!", "xabcdefghy"}));
    const std::string l = "\xB4", r = "\xDE";
    EXPECT_EQ(StellungToFontDiagram(b, "1Echecs"),
              Join({"\xF1" + Repeat("\xDF", 8) + "\xF2", l + "T89CF23DR67FC45T" + r,
                    l + Repeat("()PP", 4) + r, l + " : : : :" + r, l + ": : : : " + r,
                    l + " : : : :" + r, l + ": : : : " + r, l + Repeat("p()p", 4) + r,
                    l + "45tc67fde01rf89ct" + r, "\xF3" + Repeat("\x83", 8) + "\xF4"}));
}

TEST(Fonts, KingsAndQueensOnTheOtherSquareColours) {
    struct Row {
        const char* Font;
        std::string Rank8, Rank1;
    };
    const Row rows[] = {
        {"Chess Merida", "4 + Lw+ +5", "4+ +kQ + 5"},
        {"Chess Berlin", "4 + Lw+ +5", "4+ +kQ + 5"},
        {"DiagramTTHabsburg", "8-+-mkq+-+(", "1+-+KwQ-+-!"},
        {"1Echecs", "\xB4 : 01RD: :\xDE", "\xB4: :r23de : \xDE"},
    };
    for (const Row& row : rows) {
        const auto lines = Lines(StellungToFontDiagram(Royals(), row.Font));
        ASSERT_EQ(lines.size(), 10u) << row.Font;
        EXPECT_EQ(lines[1], row.Rank8) << row.Font;
        EXPECT_EQ(lines[8], row.Rank1) << row.Font;
    }
    // A white king on a dark square in 1Echecs is three characters.
    kb::TSchachbrett b = kb::LeeresBrett;
    b[Sq("e1")] = kb::Koenig;
    EXPECT_EQ(Lines(StellungToFontDiagram(b, "1Echecs"))[8], "\xB4: : 01r : \xDE");
}

TEST(Fonts, ChoosingTheSet) {
    kbtest::TempDir dir;
    const std::string ini = (dir / "fonts.ini").string();
    kbtest::WriteFile(ini, Section("Chess Merida"));
    const std::string echecs = StellungToFontDiagram(kb::LeeresBrett, "1Echecs");
    const std::string merida = StellungToFontDiagram(kb::LeeresBrett, "Chess Merida");
    const std::string fromIni = "sfElosfRo1sfRo2sfRo3sfRo4sfRo5sfRo6sfRo7sfRo8sfEro";

    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, " 1echecs\t", kb::IniValueReader(ini)),
              echecs);
    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, "chess merida"), echecs);
    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, "Unknown Font", kb::IniValueReader(ini)),
              echecs);
    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, "Unknown Font"), echecs);
    // The built-in name wins over an ini section of that name...
    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, "Chess Merida", kb::IniValueReader(ini)),
              merida);
    // ...but only when spelt exactly; otherwise the section is read.
    EXPECT_EQ(
        Lines(StellungToFontDiagram(kb::LeeresBrett, "chess merida", kb::IniValueReader(ini)))[0],
        fromIni);
    EXPECT_EQ(
        Lines(StellungToFontDiagram(kb::LeeresBrett, " Chess Merida ", kb::IniValueReader(ini)))[0],
        fromIni);
}

TEST(Fonts, SetsFromIniFiles) {
    kbtest::TempDir dir;
    const std::string ini = (dir / "fonts.ini").string();
    kbtest::WriteFile(
        ini, "; user fonts\r\n" + Section("Full") + Section("Blank light", "", "sfwFl", "   ") +
                 Section("Lacks one", "sfsFsB") + Section("Marked", "", "sfRu3", "xxxxxxxxxx"));
    const std::string echecs = StellungToFontDiagram(kb::LeeresBrett, "1Echecs");

    kb::TSchachbrett b = kb::LeeresBrett;
    b[Sq("a8")] = -kb::Turm;
    b[Sq("h1")] = kb::Bauer;
    const auto full = Lines(StellungToFontDiagram(b, "Full", kb::IniValueReader(ini)));
    ASSERT_EQ(full.size(), 10u);
    EXPECT_EQ(full[0], "sfElosfRo1sfRo2sfRo3sfRo4sfRo5sfRo6sfRo7sfRo8sfEro");
    EXPECT_EQ(full[1], "sfRl8sfwFsTsfsFlsfwFlsfsFlsfwFlsfsFlsfwFlsfsFlsfRr8");
    EXPECT_EQ(full[8], "sfRl1sfsFlsfwFlsfsFlsfwFlsfsFlsfwFlsfsFlsfwFwBsfRr1");
    EXPECT_EQ(full[9], "sfElusfRu1sfRu2sfRu3sfRu4sfRu5sfRu6sfRu7sfRu8sfEru");

    // A key set to blanks is present and gives nothing.
    const auto blank =
        Lines(StellungToFontDiagram(kb::LeeresBrett, "Blank light", kb::IniValueReader(ini)));
    EXPECT_EQ(blank[1], "sfRl8sfsFlsfsFlsfsFlsfsFlsfRr8");

    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, "Lacks one", kb::IniValueReader(ini)), echecs);
    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, "Marked", kb::IniValueReader(ini)), echecs);
    EXPECT_EQ(StellungToFontDiagram(kb::LeeresBrett, "Full",
                                    kb::IniValueReader((dir / "none.ini").string())),
              echecs);

    kb::TChessFontChars chars = kb::BuiltInChessFontChars(2);
    EXPECT_FALSE(kb::LoadChessFontChars("Lacks one", kb::IniValueReader(ini), chars));
    EXPECT_EQ(chars, kb::BuiltInChessFontChars(2)) << "a refused section changes nothing";
    EXPECT_FALSE(kb::LoadChessFontChars("Full", kb::IniValueReader(dir.path().string()), chars));
    ASSERT_TRUE(kb::LoadChessFontChars("full", kb::IniValueReader(ini), chars));
    EXPECT_EQ(chars.sfsFsB, "sfsFsB");
    EXPECT_EQ(chars.sfRo1, "sfRo1");
}

TEST(Fonts, ValidFontChar) {
    struct Row {
        std::string In, Out;
        bool Valid;
    };
    const Row rows[] = {
        {"", "", true},
        {"   ", "", true},
        {"\t\x01 ", "", true},
        {" a ", " a ", true},
        {"\xDF", "\xDF", true},
        {"xxxxxxxxxx", "xxxxxxxxxx", false},
        {"xxxxxxxxx", "xxxxxxxxx", true},
    };
    for (const Row& r : rows) {
        std::string s = r.In;
        EXPECT_EQ(kb::ValidFontChar(s), r.Valid) << r.In;
        EXPECT_EQ(s, r.Out);
    }
}

TEST(Fonts, FieldTableFollowsTheRecord) {
    const auto& fields = kb::ChessFontFields();
    EXPECT_STREQ(fields.front().Name, "sfRo1");
    EXPECT_STREQ(fields[36].Name, "sfwFl");
    EXPECT_STREQ(fields.back().Name, "sfsFsB");
    // Every member once, so that loading fills the whole record.
    kb::TChessFontChars c;
    for (size_t i = 0; i < fields.size(); ++i)
        c.*(fields[i].Member) = std::to_string(i);
    for (size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(c.*(fields[i].Member), std::to_string(i)) << fields[i].Name;
    EXPECT_EQ(kb::ChessFontNames[0], "1Echecs");
    EXPECT_EQ(kb::ChessFontNames[3], "Chess Merida");
}

TEST(Fonts, FromFEN) {
    EXPECT_EQ(kb::FENToFontDiagram("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                                   "Chess Merida"),
              StellungToFontDiagram(kb::StandardStellung, "Chess Merida"));
    EXPECT_EQ(Lines(kb::FENToFontDiagram("3k4/8/8/8/8/8/8/4K3 b - - 0 1", "1Echecs"))[8],
              "\xB4: : 01r : \xDE");
    EXPECT_EQ(kb::FENToFontDiagram("not a position", "Chess Merida"), "");
    EXPECT_EQ(kb::FENToFontDiagram("", "1Echecs"), "");
    EXPECT_EQ(kb::FENToFontDiagram("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1", "1Echecs"),
              "");
}
