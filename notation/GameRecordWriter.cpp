// SPDX-License-Identifier: GPL-3.0-or-later
#include "GameRecordWriter.h"

#include "GameRecordFormat.h"

#include <vector>

namespace kb {
namespace {

using namespace gamerecord;

// The main bit stream, packed into the output as it grows.
class TBitStream {
public:
    explicit TBitStream(std::string& Out) : out_(Out) {}
    void Put(unsigned Value, int N) {
        acc_ = (acc_ << N) | (Value & ((1u << N) - 1));
        n_ += N;
        while (n_ >= 8) {
            n_ -= 8;
            out_ += static_cast<char>((acc_ >> n_) & 0xFF);
        }
    }
    // Pads with 0 bits to the byte boundary, the last padding bit 1.
    void Flush() {
        if (n_ == 0) return;
        const int pad = 8 - n_;
        out_ += static_cast<char>((((acc_ << pad) | 1) & 0xFF));
        acc_ = 0;
        n_ = 0;
    }

private:
    std::string& out_;
    unsigned acc_ = 0; // the last n_ bits are not written yet
    int n_ = 0;
};

bool CodableNag(const TZug& Z) {
    const bool nag = Z.NAG <= 60 || Z.NAG == 132 || Z.NAG == 138 || Z.NAG == 146;
    return nag && (Z.ExtraNAG == 0 || Z.ExtraNAG == 140 || Z.ExtraNAG == 142);
}

unsigned NagCode(const TZug& Z) {
    unsigned c = Z.NAG;
    if (c == 132) c = 63;
    if (c == 138) c = 62;
    if (c == 146) c = 61;
    if (Z.ExtraNAG == 140) c += 128;
    if (Z.ExtraNAG == 142) c += 64;
    return c;
}

bool HasMarkerBytes(const std::string& Text, bool SkipMarks) {
    for (const char c : Text)
        if (c == TextEnd || (SkipMarks && c == HeaderEnd)) return true;
    return false;
}

// The Round tag text to keep beside the number; empty when the number says it.
std::string RoundTextToKeep(const TEventData& E) {
    std::string v = RoundTagValue(E);
    return v == (E.Round == 0 ? std::string("-") : std::to_string(E.Round)) ? std::string() : v;
}

// Only bytes an older reader skips may go into the round text item.
bool SkippableText(const std::string& Text) {
    for (const char c : Text)
        if (static_cast<unsigned char>(c) <= itDay) return false;
    return true;
}

bool CodableMove(const TBaum& N) {
    const TZug& z = N.Zug;
    if (!IsBoardSquare(z.From) || !IsBoardSquare(z.To)) return false;
    const int promotion = z.Promotion < 0 ? -z.Promotion : z.Promotion;
    if (promotion != 0 && (promotion < Turm || promotion > Dame)) return false;
    // The signs ">" and "<" have no bits of their own.
    if (z.Flags & ~(FlagFromFile | FlagFromRank | FlagCheck | FlagMate)) return false;
    if (z.Glyph < 0 || z.Glyph > 6 || !CodableNag(z)) return false;
    return !HasMarkerBytes(N.Kommentar, true);
}

// The whole tree, without recursion: every move codable, no empty variation.
bool CodableTree(const TVariante* Root) {
    std::vector<const TVariante*> lines;
    if (Root) lines.push_back(Root);
    while (!lines.empty()) {
        const TVariante* line = lines.back();
        lines.pop_back();
        if (!line->Erster) return false;
        for (const TBaum* n = line->Erster; n; n = n->Next) {
            if (!CodableMove(*n)) return false;
            for (const TVariante* v = n->Variations; v; v = v->Naechste)
                lines.push_back(v);
        }
    }
    return true;
}

void NumberItem(std::string& Out, unsigned char Code, uint16_t Value) {
    if (Value == 0) return;
    Out += static_cast<char>(Code);
    Out += static_cast<char>(((Value >> 8) + 1) & 255);
    Out += static_cast<char>(((Value & 255) + 1) & 255);
}

void StringItem(std::string& Out, unsigned char Code, const std::string& Value) {
    if (Value.empty()) return;
    Out += static_cast<char>(Code);
    Out += Value;
    Out += TextEnd;
}

void WriteMove(TBitStream& Bits, std::string& Out, const TBaum& N, bool& FirstMove,
               bool& VariationStart) {
    const TZug& z = N.Zug;
    if (!FirstMove) Bits.Put(1, 1);
    FirstMove = false;
    Bits.Put(VariationStart ? 0 : 1, 1);
    VariationStart = false;
    Bits.Put(Index120To64(static_cast<uint8_t>(z.From)), 6);
    Bits.Put(Index120To64(static_cast<uint8_t>(z.To)), 6);
    const bool comment = !N.Kommentar.empty();
    if (!z.Promotion && !z.Flags && !z.Glyph && !z.NAG && !z.ExtraNAG && !comment) {
        Bits.Put(1, 1);
        return;
    }
    Bits.Put(0, 1);
    unsigned presence = 0b11111;
    if (z.Promotion) presence &= ~16u;
    if (z.Flags) presence &= ~8u;
    if (z.Glyph) presence &= ~4u;
    if (z.NAG || z.ExtraNAG) presence &= ~2u;
    if (comment) presence &= ~1u;
    Bits.Put(presence, 5);
    if (z.Promotion)
        Bits.Put(static_cast<unsigned>((z.Promotion < 0 ? -z.Promotion : z.Promotion) - 2), 2);
    if (z.Flags) Bits.Put(static_cast<unsigned>(z.Flags) >> 4, 4);
    if (z.Glyph) Bits.Put(static_cast<unsigned>(z.Glyph), 8);
    if (z.NAG || z.ExtraNAG) Bits.Put(NagCode(z), 8);
    if (comment) {
        Bits.Flush();
        Out += N.Kommentar;
        Out += TextEnd;
    }
}

} // namespace

bool CanEncodeCompact(const TNotation& Notation) {
    if (IsFischer(Notation.ActiveFischerInfo())) return false;
    const TEventData& e = Notation.GameData.EventData;
    if (e.Tags && !e.Tags->Empty()) return false;
    // Stored by the format but never read back.
    if (!e.MetaDescription.empty() || !e.MetaKeywords.empty()) return false;
    if (!e.WhiteClubId.empty() || !e.BlackClubId.empty()) return false;
    if (!SkippableText(RoundTextToKeep(e))) return false;
    // The record keeps the time control as two numbers only, read back as
    // "base" or "base+increment"; any other text goes into the text form.
    if (const unsigned base = e.TimeControlBase, inc = e.TimeControlIncrement;
        !e.TimeControlText.empty() && TimeControlTagValue(e) == e.TimeControlText &&
        e.TimeControlText != (base == 0
                                  ? std::string()
                                  : std::to_string(base) + (inc ? "+" + std::to_string(inc) : "")))
        return false;
    for (const std::string* s : {&e.White, &e.Black, &e.Event, &e.Annotator, &e.Site, &e.Result,
                                 &e.ECO, &e.WhiteDifferenceToGMT, &e.BlackDifferenceToGMT,
                                 &e.DateTimeFormat, &e.GameId, &Notation.GameData.Kommentar})
        if (HasMarkerBytes(*s, false)) return false;
    return CodableTree(Notation.RootLine);
}

bool EncodeGameRecord(TNotation& Notation, std::string& Payload) {
    Payload.clear();
    if (!CanEncodeCompact(Notation)) {
        std::string text;
        if (Notation.GetPGN(text) != 0 || text.empty()) return false;
        // A payload not starting with "[" would be taken for the compact form.
        if (text[0] != '[') text = "[Event \"?\"]\r\n\r\n" + text;
        Payload = std::move(text);
        return true;
    }
    const TPartiedaten& g = Notation.GameData;
    const TEventData& e = g.EventData;
    std::string& out = Payload;
    NumberItem(out, itYear, e.Year);
    NumberItem(out, itMonth, e.Month);
    NumberItem(out, itDay, e.Day);
    NumberItem(out, itRound, e.Round);
    StringItem(out, itRoundText, RoundTextToKeep(e));
    NumberItem(out, itWhiteElo, e.WhiteElo);
    NumberItem(out, itBlackElo, e.BlackElo);
    NumberItem(out, itMoveCount, e.MoveCount);
    NumberItem(out, itEventYear, e.EventYear);
    NumberItem(out, itEventMonth, e.EventMonth);
    NumberItem(out, itEventDay, e.EventDay);
    NumberItem(out, itTimeBase, e.TimeControlBase);
    NumberItem(out, itTimeIncrement, e.TimeControlIncrement);
    StringItem(out, itWhite, e.White);
    StringItem(out, itBlack, e.Black);
    StringItem(out, itEvent, e.Event);
    StringItem(out, itAnnotator, e.Annotator);
    StringItem(out, itSite, e.Site);
    StringItem(out, itResult, e.Result);
    StringItem(out, itECO, e.ECO);
    StringItem(out, itWhiteGMT, e.WhiteDifferenceToGMT);
    StringItem(out, itBlackGMT, e.BlackDifferenceToGMT);
    StringItem(out, itDateTimeFormat, e.DateTimeFormat);
    StringItem(out, itGameId, e.GameId);
    StringItem(out, itMetaDescription, e.MetaDescription);
    StringItem(out, itMetaKeywords, e.MetaKeywords);
    // Side to move, rights, en-passant square and move number count as much as the board.
    if (!HasStandardStart(g))
        StringItem(out, itFEN, StellungToFEN(g.Stellung, g.Zug, g.ZugNummer, false));
    StringItem(out, itComment, g.Kommentar);
    out += HeaderEnd;
    if (!Notation.RootLine || !Notation.RootLine->Erster) return true;

    // A move, then each of its alternatives in full (closed by a 0 bit), then
    // the next move of its line. Walked with an explicit stack.
    struct TFrame {
        const TBaum* Node;
        const TVariante* NextVariation;
        bool IsVariation;
    };
    TBitStream bits(out);
    bool first = true, variationStart = false;
    std::vector<TFrame> stack;
    const TBaum* start = Notation.RootLine->Erster;
    WriteMove(bits, out, *start, first, variationStart);
    stack.push_back({start, start->Variations, false});
    while (!stack.empty()) {
        const size_t top = stack.size() - 1;
        if (const TVariante* v = stack[top].NextVariation) {
            stack[top].NextVariation = v->Naechste;
            variationStart = true;
            WriteMove(bits, out, *v->Erster, first, variationStart);
            stack.push_back({v->Erster, v->Erster->Variations, true});
            continue;
        }
        if (const TBaum* next = stack[top].Node->Next) {
            WriteMove(bits, out, *next, first, variationStart);
            stack[top] = {next, next->Variations, stack[top].IsVariation};
            continue;
        }
        const bool variation = stack[top].IsVariation;
        stack.pop_back();
        if (variation) bits.Put(0, 1);
    }
    bits.Put(1, 1);
    bits.Flush();
    return true;
}

} // namespace kb
