// SPDX-License-Identifier: GPL-3.0-or-later
// The text of a game printout, without any drawing: games given as PGN text
// become one print text with a headline per game, moves by variation depth,
// comments, diagram text and results, cut into runs of one font (segments).
// The chunk step hands the text out band by band; how much fits in a band is
// asked of a measure function, so the whole flow runs without a display.
#pragma once

#include "Notation.h"
#include "schachfonts.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// Kinds of print runs; each has its own font.
enum TPrintKind : uint8_t {
    pkHeadline = 0,
    pkDiagram = 1,
    pkResult = 2, // result and the blank lines between games
    pkMain = 3,
    pkVar1 = 4, // first-level variation
    pkVar2 = 5, // deeper variations
    pkComment = 6,
};

// One run of text in one font. Start is 1-based in PrintText.
struct TPrintSegment {
    int32_t Start = 0;
    int32_t Length = 0;
    uint8_t Kind = pkMain;
    int32_t End() const { return Start + Length - 1; } // last position
    friend bool operator==(const TPrintSegment&, const TPrintSegment&) = default;
};

// The games of a PGN text, as the game list finds them, each running to the
// next; every line is followed by CR LF. Text before the first is skipped.
std::vector<std::string> SplitPrintGames(std::string_view PGNGames);

// The character set the diagram text functions use for a font name.
TChessFontChars ChessFontCharsFor(const std::string& FontName, const std::string& IniFileName);

// Reads diagram text (ten lines, rank 8 on the second) back into a board with
// the given character set; false when the text is no diagram of that set.
bool ParseFontDiagram(std::string_view Text, const TChessFontChars& Chars, TSchachbrett& Board);

// What the measure function answers for a band that starts at position
// First of PrintText: the last position whose line still fits in the band
// (First - 1 when not even the first line fits), and the last position of
// the band's first line.
struct TChunkFit {
    int32_t LastFit = 0;
    int32_t FirstLineEnd = 0;
};
using TChunkMeasure = std::function<TChunkFit(int32_t First)>;

class TChessPrintText {
public:
    bool FirstPosition = false;
    std::string DiagramFont = "1Echecs"; // picks the diagram characters
    std::string FontIniFile;             // never set: other fonts get the 1Echecs characters

    std::string PrintText;
    std::vector<TPrintSegment> Segments; // in text order, covering PrintText exactly
    int32_t PrintPos = 0;                // last position already handed to a chunk
    int32_t ChunkStart = 0;              // PrintPos at the end of the previous chunk
    // The chunk handed out by the last NextChunk that answered true.
    int32_t ChunkFirst = 0;
    int32_t ChunkLast = 0;

    // Builds PrintText and Segments from the games; Notation parses and lays
    // out each game (a hidden notation: no metrics, no headline). False, and
    // nothing built, when OnBuildProgress asked to stop.
    bool BuildText(std::string_view PGNGames, TNotation& Notation);
    // Percent of the games built, each time it changes; false stops.
    std::function<bool(int Percent)> OnBuildProgress;
    // Index of the segment holding Position; the segment count when none.
    int SegmentAt(int32_t Position) const;
    void ClearPrintText();

    // The next band's worth of text: ChunkFirst..ChunkLast. False when all
    // text has been handed out; the state is then cleared. Every true answer
    // moves PrintPos on: a headline, diagram or line taller than the band
    // goes out whole (the band clips it).
    bool NextChunk(const TChunkMeasure& Measure);

private:
    std::string pending_;
    void AddSegment(uint8_t Kind);
    void EnsureLineBreak();
    void AddGame(TNotation& Notation);
    void AddHeadline(const TEventData& E);
    int32_t AdjustBreak(int32_t First, int32_t Last) const;
};

} // namespace kb
