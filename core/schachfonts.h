// SPDX-License-Identifier: GPL-3.0-or-later
// Chess-font diagram tables and diagram text. A diagram is text set in a
// chess font: every square, border piece and corner is one or more
// characters of that font (single bytes of its code page).
#pragma once

#include "SchachProcs.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace kb {

// The characters of one chess font. Each field is named after its ini key.
// Piece fields: "sf" + square colour (w light, s dark) + "F" + piece colour
// (w White, s Black) + piece letter (K, D, T, L, S, B).
struct TChessFontChars {
    // Top border above files a..h, left and right borders beside ranks 1..8,
    // bottom border below files a..h.
    std::string sfRo1, sfRo2, sfRo3, sfRo4, sfRo5, sfRo6, sfRo7, sfRo8;
    std::string sfRl1, sfRl2, sfRl3, sfRl4, sfRl5, sfRl6, sfRl7, sfRl8;
    std::string sfRr1, sfRr2, sfRr3, sfRr4, sfRr5, sfRr6, sfRr7, sfRr8;
    std::string sfRu1, sfRu2, sfRu3, sfRu4, sfRu5, sfRu6, sfRu7, sfRu8;
    // Corners: top left, top right, bottom left, bottom right.
    std::string sfElo, sfEro, sfElu, sfEru;
    // Empty light and dark squares.
    std::string sfwFl, sfsFl;
    std::string sfwFwK, sfwFsK, sfsFwK, sfsFsK;
    std::string sfwFwD, sfwFsD, sfsFwD, sfsFsD;
    std::string sfwFwT, sfwFsT, sfsFwT, sfsFsT;
    std::string sfwFwL, sfwFsL, sfsFwL, sfsFsL;
    std::string sfwFwS, sfwFsS, sfsFwS, sfsFsS;
    std::string sfwFwB, sfwFsB, sfsFwB, sfsFsB;

    friend bool operator==(const TChessFontChars&, const TChessFontChars&) = default;
};

constexpr int ChessFontFieldCount = 62;

// Name (= ini key) and member of each field, in record order.
struct TChessFontField {
    const char* Name;
    std::string TChessFontChars::*Member;
};
const std::array<TChessFontField, ChessFontFieldCount>& ChessFontFields();

// Marks a key that the ini file lacks.
inline constexpr std::string_view MissingFontChar = "xxxxxxxxxx";

inline constexpr std::array<std::string_view, 4> ChessFontNames = {"1Echecs", "DiagramTTHabsburg",
                                                                   "Chess Berlin", "Chess Merida"};

// The built-in set of ChessFontNames[Index] (0..3).
const TChessFontChars& BuiltInChessFontChars(size_t Index);

// Blanks and control characters alone become empty. False for the missing
// marker.
bool ValidFontChar(std::string& S);

// Where font sets beyond the built-in ones come from: gives the text of one
// key of an ini section, False when there is none. The core reads no files;
// the caller hands it a settings file this way (IniValueReader of the
// platform layer), or nothing.
using TIniValueReader =
    std::function<bool(const std::string& Section, const std::string& Key, std::string& Value)>;

// Reads the 62 keys of Section. False, and Chars unchanged, when there is
// no reader or any key is missing.
bool LoadChessFontChars(const std::string& Section, const TIniValueReader& Read,
                        TChessFontChars& Chars);

// Ten lines joined by CR LF, rank 8 at the top. "1Echecs" in any letter case
// and with surrounding blanks, the other three built-in names exactly, or an
// ini section named after the font; any other font gets the 1Echecs set.
std::string StellungToFontDiagram(const TSchachbrett& Brett, const std::string& FontName,
                                  const TIniValueReader& Read = {});

// The diagram of the position a FEN describes; empty when the FEN cannot be
// read.
std::string FENToFontDiagram(const std::string& FEN, const std::string& FontName,
                             const TIniValueReader& Read = {});

} // namespace kb
