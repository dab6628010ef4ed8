// SPDX-License-Identifier: GPL-3.0-or-later
#include "schachfonts.h"

namespace kb {
namespace {

using Table = std::array<const char*, ChessFontFieldCount>;

// The built-in sets in record order: borders top, left, right, bottom;
// corners; empty squares; then K, D, T, L, S, B each as white on light,
// black on light, white on dark, black on dark.
constexpr Table Echecs = {"\xDF", "\xDF", "\xDF", "\xDF", "\xDF", "\xDF", "\xDF", "\xDF", //
                          "\xB4", "\xB4", "\xB4", "\xB4", "\xB4", "\xB4", "\xB4", "\xB4", //
                          "\xDE", "\xDE", "\xDE", "\xDE", "\xDE", "\xDE", "\xDE", "\xDE", //
                          "\x83", "\x83", "\x83", "\x83", "\x83", "\x83", "\x83", "\x83", //
                          "\xF1", "\xF2", "\xF3", "\xF4", " ",    ":",                    //
                          "r",    "R",    "01r",  "01R",                                  //
                          "de",   "D",    "23de", "23D",                                  //
                          "t",    "T",    "45t",  "45T",                                  //
                          "f",    "F",    "67f",  "67F",                                  //
                          "c",    "C",    "89c",  "89C",                                  //
                          "p",    "P",    "()p",  "()P"};

constexpr Table Habsburg = {"A", "B",  "C",  "D",  "E", "F", "G",  "H",  //
                            "1", "2",  "3",  "4",  "5", "6", "7",  "8",  //
                            "!", "\"", "#",  "$",  "%", "&", "'",  "(",  //
                            "a", "b",  "c",  "d",  "e", "f", "g",  "h",  //
                            "X", "Y",  "x",  "y",  "-", "+",             //
                            "K", "k",  "mK", "mk", "Q", "q", "wQ", "wq", //
                            "R", "r",  "tR", "tr", "L", "l", "vL", "vl", //
                            "N", "n",  "sN", "sn", "P", "p", "zP", "zp"};

constexpr Table Berlin = {"2", "2", "2", "2", "2", "2", "2", "2", //
                          "4", "4", "4", "4", "4", "4", "4", "4", //
                          "5", "5", "5", "5", "5", "5", "5", "5", //
                          "8", "8", "8", "8", "8", "8", "8", "8", //
                          "1", "3", "7", "9", " ", "+",           //
                          "k", "l", "K", "L", "q", "w", "Q", "W", //
                          "r", "t", "R", "T", "b", "n", "B", "N", //
                          "h", "j", "H", "J", "p", "o", "P", "O"};

constexpr Table Merida = {"2", "2", "2", "2", "2", "2", "2", "2", //
                          "4", "4", "4", "4", "4", "4", "4", "4", //
                          "5", "5", "5", "5", "5", "5", "5", "5", //
                          "8", "8", "8", "8", "8", "8", "8", "8", //
                          "1", "3", "7", "9", " ", "+",           //
                          "k", "l", "K", "L", "q", "w", "Q", "W", //
                          "r", "t", "R", "T", "b", "v", "B", "V", //
                          "n", "m", "N", "M", "p", "o", "P", "O"};

constexpr bool Complete(const Table& t) {
    for (const char* s : t)
        if (s == nullptr) return false;
    return true;
}
static_assert(Complete(Echecs) && Complete(Habsburg) && Complete(Berlin) && Complete(Merida),
              "every built-in set fills all fields");

TChessFontChars FromTable(const Table& t) {
    TChessFontChars c;
    const auto& fields = ChessFontFields();
    for (size_t i = 0; i < fields.size(); ++i)
        c.*(fields[i].Member) = t[i];
    return c;
}

// Record positions of the fields the diagram needs.
constexpr size_t TopBorder = 0, LeftBorder = 8, RightBorder = 16, BottomBorder = 24;
constexpr size_t CornerTopLeft = 32, CornerTopRight = 33, CornerBottomLeft = 34,
                 CornerBottomRight = 35;
constexpr size_t EmptyLight = 36, EmptyDark = 37, FirstPiece = 38;

// Group of a piece code's kind in the record: K, D, T, L, S, B.
int PieceGroup(int32_t kind) {
    switch (kind) {
    case Koenig:
        return 0;
    case Dame:
        return 1;
    case Turm:
        return 2;
    case Laeufer:
        return 3;
    case Springer:
        return 4;
    case Bauer:
        return 5;
    default:
        return -1;
    }
}

const std::string& Field(const TChessFontChars& c, size_t i) {
    return c.*(ChessFontFields()[i].Member);
}

std::string_view TrimControl(std::string_view t) {
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ')
        t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ')
        t.remove_suffix(1);
    return t;
}

} // namespace

#define KB_FONT_FIELD(n)                                                                           \
    TChessFontField {                                                                              \
#n, &TChessFontChars::n                                                                    \
    }

const std::array<TChessFontField, ChessFontFieldCount>& ChessFontFields() {
    static const std::array<TChessFontField, ChessFontFieldCount> fields = {
        KB_FONT_FIELD(sfRo1),  KB_FONT_FIELD(sfRo2),  KB_FONT_FIELD(sfRo3),  KB_FONT_FIELD(sfRo4),
        KB_FONT_FIELD(sfRo5),  KB_FONT_FIELD(sfRo6),  KB_FONT_FIELD(sfRo7),  KB_FONT_FIELD(sfRo8),
        KB_FONT_FIELD(sfRl1),  KB_FONT_FIELD(sfRl2),  KB_FONT_FIELD(sfRl3),  KB_FONT_FIELD(sfRl4),
        KB_FONT_FIELD(sfRl5),  KB_FONT_FIELD(sfRl6),  KB_FONT_FIELD(sfRl7),  KB_FONT_FIELD(sfRl8),
        KB_FONT_FIELD(sfRr1),  KB_FONT_FIELD(sfRr2),  KB_FONT_FIELD(sfRr3),  KB_FONT_FIELD(sfRr4),
        KB_FONT_FIELD(sfRr5),  KB_FONT_FIELD(sfRr6),  KB_FONT_FIELD(sfRr7),  KB_FONT_FIELD(sfRr8),
        KB_FONT_FIELD(sfRu1),  KB_FONT_FIELD(sfRu2),  KB_FONT_FIELD(sfRu3),  KB_FONT_FIELD(sfRu4),
        KB_FONT_FIELD(sfRu5),  KB_FONT_FIELD(sfRu6),  KB_FONT_FIELD(sfRu7),  KB_FONT_FIELD(sfRu8),
        KB_FONT_FIELD(sfElo),  KB_FONT_FIELD(sfEro),  KB_FONT_FIELD(sfElu),  KB_FONT_FIELD(sfEru),
        KB_FONT_FIELD(sfwFl),  KB_FONT_FIELD(sfsFl),  KB_FONT_FIELD(sfwFwK), KB_FONT_FIELD(sfwFsK),
        KB_FONT_FIELD(sfsFwK), KB_FONT_FIELD(sfsFsK), KB_FONT_FIELD(sfwFwD), KB_FONT_FIELD(sfwFsD),
        KB_FONT_FIELD(sfsFwD), KB_FONT_FIELD(sfsFsD), KB_FONT_FIELD(sfwFwT), KB_FONT_FIELD(sfwFsT),
        KB_FONT_FIELD(sfsFwT), KB_FONT_FIELD(sfsFsT), KB_FONT_FIELD(sfwFwL), KB_FONT_FIELD(sfwFsL),
        KB_FONT_FIELD(sfsFwL), KB_FONT_FIELD(sfsFsL), KB_FONT_FIELD(sfwFwS), KB_FONT_FIELD(sfwFsS),
        KB_FONT_FIELD(sfsFwS), KB_FONT_FIELD(sfsFsS), KB_FONT_FIELD(sfwFwB), KB_FONT_FIELD(sfwFsB),
        KB_FONT_FIELD(sfsFwB), KB_FONT_FIELD(sfsFsB),
    };
    return fields;
}

#undef KB_FONT_FIELD

const TChessFontChars& BuiltInChessFontChars(size_t Index) {
    static const std::array<TChessFontChars, 4> sets = {FromTable(Echecs), FromTable(Habsburg),
                                                        FromTable(Berlin), FromTable(Merida)};
    return sets[Index < sets.size() ? Index : 0];
}

bool ValidFontChar(std::string& S) {
    if (TrimControl(S).empty()) S.clear();
    return S != MissingFontChar;
}

bool LoadChessFontChars(const std::string& Section, const TIniValueReader& Read,
                        TChessFontChars& Chars) {
    if (!Read) return false;
    TChessFontChars loaded;
    for (const TChessFontField& f : ChessFontFields()) {
        std::string& value = loaded.*(f.Member);
        if (!Read(Section, f.Name, value)) value = MissingFontChar;
        if (!ValidFontChar(value)) return false;
    }
    Chars = std::move(loaded);
    return true;
}

std::string StellungToFontDiagram(const TSchachbrett& Brett, const std::string& FontName,
                                  const TIniValueReader& Read) {
    std::string upper(TrimControl(FontName));
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);

    TChessFontChars loaded;
    const TChessFontChars* c = &BuiltInChessFontChars(0);
    if (upper == "1ECHECS") {
        // the 1Echecs set
    } else if (FontName == ChessFontNames[1]) {
        c = &BuiltInChessFontChars(1);
    } else if (FontName == ChessFontNames[2]) {
        c = &BuiltInChessFontChars(2);
    } else if (FontName == ChessFontNames[3]) {
        c = &BuiltInChessFontChars(3);
    } else if (LoadChessFontChars(std::string(TrimControl(FontName)), Read, loaded)) {
        c = &loaded;
    }

    std::string text = Field(*c, CornerTopLeft);
    for (size_t f = 0; f < 8; ++f)
        text += Field(*c, TopBorder + f);
    text += Field(*c, CornerTopRight);
    for (int rank = 8; rank >= 1; --rank) {
        text += "\r\n";
        text += Field(*c, LeftBorder + static_cast<size_t>(rank - 1));
        for (int file = 1; file <= 8; ++file) {
            const auto square = static_cast<uint8_t>((rank - 1) * 8 + (file - 1));
            const bool dark = FeldFarben[square] == 1;
            const int32_t v = Brett[Index64To120(square)];
            const int group = PieceGroup(v < 0 ? -v : v);
            if (group < 0) {
                text += Field(*c, dark ? EmptyDark : EmptyLight);
                continue;
            }
            const size_t i =
                FirstPiece + static_cast<size_t>(group) * 4 + (dark ? 2 : 0) + (v < 0 ? 1 : 0);
            text += Field(*c, i);
        }
        text += Field(*c, RightBorder + static_cast<size_t>(rank - 1));
    }
    text += "\r\n";
    text += Field(*c, CornerBottomLeft);
    for (size_t f = 0; f < 8; ++f)
        text += Field(*c, BottomBorder + f);
    text += Field(*c, CornerBottomRight);
    return text;
}

std::string FENToFontDiagram(const std::string& FEN, const std::string& FontName,
                             const TIniValueReader& Read) {
    TSchachbrett brett = LeeresBrett;
    TZug zug;
    uint16_t moveNo = 1;
    if (!FENToStellung(FEN, brett, zug, moveNo, nullptr)) return {};
    return StellungToFontDiagram(brett, FontName, Read);
}

} // namespace kb
