// SPDX-License-Identifier: GPL-3.0-or-later
// Move text: move numbers, SAN with German or English letters, glyphs and
// NAG texts.
#include "Notation.h"

namespace kb {
namespace {

// Built-in letters by piece type; German 1..6, English 7..12.
const char* const BuiltInLetters[13] = {"", "",  "T", "L", "S", "D", "K",
                                        "", "R", "B", "N", "Q", "K"};

const char* const MoveErrorDe = "Beim Einlesen der Züge ist ein Fehler aufgetreten.";
const char* const MoveErrorEn = "Error while reading the moves.";

} // namespace

void TNotation::MoveNumberText(std::string& S) const {
    if (CurrentMove) {
        S = CurrentMove->Zug.Side == 1 ? std::to_string(CurrentMove->ZugNummer + 1) + "."
                                       : std::to_string(CurrentMove->ZugNummer) + "...";
    } else {
        S = std::to_string(GameData.ZugNummer) + (GameData.Zug.Side == 1 ? "." : "...");
    }
}

int TNotation::NextMoveNumber() const {
    if (CurrentMove)
        return CurrentMove->Zug.Side == 1 ? CurrentMove->ZugNummer + 1 : CurrentMove->ZugNummer;
    return GameData.ZugNummer;
}

void TNotation::GlyphText(uint8_t Glyph, std::string& S) {
    static const char* const texts[] = {"", "!", "!!", "?", "??", "!?", "?!"};
    S = Glyph <= 6 ? texts[Glyph] : "";
}

void TNotation::GlyphToNag(uint8_t Glyph, std::string& S) {
    static const char* const texts[] = {"", "$1", "$3", "$2", "$4", "$5", "$6"};
    S = Glyph <= 6 ? texts[Glyph] : "";
}

void TNotation::NagText(uint8_t Nag, std::string& S) {
    S = "$" + std::to_string(Nag);
}

void TNotation::NagSymbol(uint8_t Nag, std::string& S) const {
    S.clear();
    for (size_t i = 0; i < NagNumbers.size(); ++i) {
        if (NagNumbers[i] == Nag) {
            // Export uses the built-in characters, so it can turn them back
            // into numbers. On display a character the user chose rules;
            // otherwise the sign itself shows, not the letter that stands
            // for it in a chess font Linux does not have.
            if (ExportMode)
                S = std::string(1, DefaultNagChars[i]);
            else if (NagChars[i] != DefaultNagChars[i])
                S = std::string(1, NagChars[i]);
            else
                S = SignTexts[i];
            return;
        }
    }
}

void TNotation::PieceLetter(int Code, std::string& S) const {
    if (Code < 1 || Code > 12) {
        S.clear();
        return;
    }
    if (!ExportMode && FLetterMode) {
        const std::string& own = FPieceLetters[Code > 6 ? Code - 6 : Code];
        if (!own.empty()) {
            S = own;
            return;
        }
    }
    S = BuiltInLetters[Code];
}

void TNotation::MoveToSAN(const TZug& Zug, std::string& S) {
    S.clear();
    auto annotations = [&] {
        std::string t;
        GlyphText(static_cast<uint8_t>(Zug.Glyph), t);
        S += t;
        NagSymbol(Zug.NAG, t);
        S += t;
    };
    if (Zug.CastlingKind != 0) {
        S = (Zug.CastlingKind == 1 || Zug.CastlingKind == 3) ? "O-O" : "O-O-O";
        if (Zug.Flags & FlagCheck) S += '+';
        if (Zug.Flags & FlagMate) S += '#';
        annotations();
        return;
    }
    const bool fromOk = IsBoardSquare(Zug.From);
    const bool toOk = IsBoardSquare(Zug.To);
    const int32_t p = fromOk ? WorkBoard[Zug.From] : 0;
    const bool capture = (toOk && WorkBoard[Zug.To] != 0) || Zug.EnPassantVictim != 0;
    const char fromFile = fromOk ? static_cast<char>('a' + Zug.From % 10 - 1) : '?';
    const char fromRank = fromOk ? static_cast<char>('0' + Zug.From / 10 - 1) : '?';
    const int kind = p < 0 ? -p : p;
    if (kind == Bauer && capture) {
        S += fromFile;
    } else if (p != 0) {
        std::string letter;
        PieceLetter(kind + (FEnglish ? 6 : 0), letter);
        S += letter;
    }
    if (Zug.Flags & FlagFromFile) S += fromFile;
    if (Zug.Flags & FlagFromRank) S += fromRank;
    if (capture) S += 'x';
    if (toOk) S += FeldNamen[Index120To64(static_cast<uint8_t>(Zug.To))];
    if (Zug.Promotion != 0) {
        std::string letter;
        PieceLetter((Zug.Promotion < 0 ? -Zug.Promotion : Zug.Promotion) + (FEnglish ? 6 : 0),
                    letter);
        S += '=';
        S += letter;
    }
    if (Zug.Flags & FlagCheck) S += '+';
    if (Zug.Flags & FlagMate) S += '#';
    annotations();
    if (p == 0 && !ErrorShown) {
        ErrorShown = true;
        if (OnError) OnError(this, FEnglish ? MoveErrorEn : MoveErrorDe);
    }
}

} // namespace kb
