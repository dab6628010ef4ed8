// SPDX-License-Identifier: GPL-3.0-or-later
// The compact game record reader: payload to PGN text without a game tree.
// A damaged payload gives partial text, never a read outside the payload.
#include "ChessDatabase.h"

#include "GameRecordFormat.h"
#include "Notation.h"

#include "SchachProcs.h"

#include <array>
#include <vector>

namespace kb {
namespace {

using namespace gamerecord;

bool IsNumberItem(unsigned char c) {
    return (c >= itWhiteElo && c <= itTimeIncrement) || c == itRound ||
           (c >= itEventMonth && c <= itDay);
}

struct THeader {
    std::array<unsigned, itRoundText + 1> Number{};
    std::array<std::string, itRoundText + 1> Text;
};

std::string GlyphNagText(int Glyph) {
    static constexpr int nag[7] = {0, 1, 3, 2, 4, 5, 6};
    if (Glyph < 1 || Glyph > 6) return {};
    return "$" + std::to_string(nag[Glyph]);
}

std::string TwoDigits(unsigned Value) {
    if (Value == 0) return "??";
    return (Value < 10 ? "0" : "") + std::to_string(Value);
}

std::string DateText(unsigned Year, unsigned Month, unsigned Day) {
    // Four digits at least: readers take the year from the first four characters.
    std::string year = Year ? std::to_string(Year) : std::string("????");
    if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
    return year + "." + TwoDigits(Month) + "." + TwoDigits(Day);
}

// Only a game result ends the move text; any other Result text would be
// read as moves or comment by every reader.
bool IsGameResult(std::string_view Result) {
    return Result == "1-0" || Result == "0-1" || Result == "1/2-1/2" || Result == "*";
}

void TagLine(std::string& Out, std::string_view Name, std::string_view Value) {
    Out += '[';
    Out += Name;
    Out += " \"";
    for (const char c : Value) {
        if (c == '"' || c == '\\') Out += '\\';
        if (c == '\r' || c == '\n') {
            Out += ' ';
            continue;
        }
        Out += c;
    }
    Out += "\"]\r\n";
}

bool IsBlankText(std::string_view Text) {
    for (const char c : Text)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

// Bit source over the move part; bytes are taken most significant bit first.
class TBitReader {
public:
    TBitReader(std::string_view Bytes) : bytes_(Bytes) {}
    bool Bit(int& Value) {
        if (pos_ >= bytes_.size()) return false;
        Value = (static_cast<unsigned char>(bytes_[pos_]) >> (7 - bit_)) & 1;
        if (++bit_ == 8) {
            bit_ = 0;
            ++pos_;
        }
        return true;
    }
    bool Bits(int N, int& Value) {
        Value = 0;
        for (int i = 0; i < N; ++i) {
            int b = 0;
            if (!Bit(b)) return false;
            Value = (Value << 1) | b;
        }
        return true;
    }
    // Comment text: from the next byte boundary up to 0x01; runs between two
    // 0x02 bytes are skipped. False when the payload ends first.
    bool Comment(std::string& Text) {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
        bool skipping = false;
        while (pos_ < bytes_.size()) {
            const char c = bytes_[pos_++];
            if (c == TextEnd && !skipping) return true;
            if (c == HeaderEnd) {
                skipping = !skipping;
                continue;
            }
            if (!skipping) Text += c;
        }
        return false;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
    int bit_ = 0;
};

struct TMoveData {
    bool NewLine = false;
    int From = 0, To = 0;
    int Promotion = -1; // 0 rook, 1 bishop, 2 knight, 3 queen
    int Flags = 0;
    int Glyph = 0;
    int Nag = -1;
    std::string Comment;
    bool HasComment = false;
    int Closings = 0;
};

using TBoard64 = std::array<int, 64>;

void EmitMove(std::string& Text, const TMoveData& M, TBoard64& Current, TBoard64& Before,
              std::vector<TBoard64>& SavedBefore, std::vector<TBoard64>& SavedCurrent,
              bool& Broken) {
    static constexpr char Letters[] = "RBNQK";
    Text += ' ';
    if (M.NewLine) {
        SavedBefore.push_back(Before);
        SavedCurrent.push_back(Current);
        Text += '(';
        Current = Before;
    } else {
        Before = Current;
    }
    int piece = Current[M.From];
    const int colour = piece > 0 ? 1 : piece < 0 ? -1 : (M.To >= 32 ? 1 : -1);
    int kind = piece < 0 ? -piece : piece;
    if (kind == 0 || kind > 6)
        kind = 2; // the reader's board does not follow rooks of castling moves
    const int fromFile = M.From % 8, toFile = M.To % 8;
    if (kind == 6 && (M.From == 4 || M.From == 60) && M.To == M.From + 2) {
        Text += "O-O";
    } else if (kind == 6 && (M.From == 4 || M.From == 60) && M.To == M.From - 2) {
        Text += "O-O-O";
    } else if (kind >= 2) {
        Text += Letters[kind - 2];
        if (M.Flags & 16) Text += static_cast<char>('a' + fromFile);
        if (M.Flags & 32) Text += static_cast<char>('1' + M.From / 8);
        Text += FeldNamen[static_cast<size_t>(M.To)];
    } else {
        if (fromFile != toFile) {
            Text += static_cast<char>('a' + fromFile);
            Text += 'x';
        }
        Text += FeldNamen[static_cast<size_t>(M.To)];
    }
    if (M.Promotion >= 0) {
        Text += '=';
        Text += Letters[M.Promotion];
        Current[M.To] = colour * (M.Promotion + 2);
    } else {
        Current[M.To] = piece == 0 ? colour * kind : piece;
    }
    if (M.From != M.To) Current[M.From] = 0;
    if (M.Flags & 128)
        Text += '#';
    else if (M.Flags & 64)
        Text += '+';
    if (const std::string g = GlyphNagText(M.Glyph); !g.empty()) {
        Text += ' ';
        Text += g;
    }
    if (M.Nag >= 0) {
        int code = M.Nag, extra = 0;
        if (code & 128) extra = 140;
        if (code & 64) extra = 142;
        code &= 63;
        if (code == 61) code = 146;
        if (code == 62) code = 138;
        if (code == 63) code = 132;
        if (code) Text += " $" + std::to_string(code);
        if (extra) Text += " $" + std::to_string(extra);
    }
    if (M.HasComment) {
        Text += ' ';
        AppendSeparatedComments(Text, M.Comment);
    }
    for (int i = 0; i < M.Closings; ++i) {
        if (SavedBefore.empty()) {
            Broken = true; // closes a variation that was never opened
            break;
        }
        Text += ") ";
        Before = SavedBefore.back();
        Current = SavedCurrent.back();
        SavedBefore.pop_back();
        SavedCurrent.pop_back();
    }
    Text += ' ';
}

// The move part as move text; decoding stops where the bits run out or break the rules.
std::string DecodeMoves(std::string_view Bits, const TBoard64& Start, int MoveNo, bool BlackToMove,
                        unsigned& MainPlies) {
    MainPlies = 0;
    std::string text;
    TBoard64 current = Start, before = Start;
    std::vector<TBoard64> savedBefore, savedCurrent;
    TBitReader in(Bits);
    bool first = true, broken = false;
    while (!broken) {
        TMoveData m;
        int v = 0;
        if (!in.Bit(v)) break;
        m.NewLine = v == 0;
        if (first && m.NewLine) break; // the game cannot start with an alternative
        if (!in.Bits(6, m.From) || !in.Bits(6, m.To) || !in.Bit(v)) break;
        if (v == 0) {
            int presence = 0;
            if (!in.Bits(5, presence)) break;
            if (!(presence & 16) && !in.Bits(2, m.Promotion)) break;
            int flags = 0;
            if (!(presence & 8)) {
                if (!in.Bits(4, flags)) break;
                m.Flags = flags << 4;
            }
            if (!(presence & 4) && !in.Bits(8, m.Glyph)) break;
            if (!(presence & 2) && !in.Bits(8, m.Nag)) break;
            if (!(presence & 1)) {
                m.HasComment = true;
                if (!in.Comment(m.Comment)) break;
            }
        }
        // After the move: 0 bits close variations, a 1 bit lets the move out.
        bool linked = false;
        while (in.Bit(v)) {
            if (v == 1) {
                linked = true;
                break;
            }
            ++m.Closings;
        }
        if (!linked) break;
        if (first) {
            text = std::to_string(MoveNo) + (BlackToMove ? "..." : ".");
            first = false;
        }
        if (!m.NewLine && savedBefore.empty()) ++MainPlies;
        EmitMove(text, m, current, before, savedBefore, savedCurrent, broken);
    }
    // Variations that a damaged stream left open are closed, so the text stays PGN.
    for (size_t i = 0; i < savedBefore.size(); ++i)
        text += ") ";
    return text;
}

} // namespace

std::string TChessDatabase::RecordToPGN(const std::string& Payload) const {
    if (Payload.empty()) return {};
    if (Payload[0] == '[') return Payload;
    THeader h;
    size_t i = 0;
    bool moves = false;
    while (i < Payload.size()) {
        const auto c = static_cast<unsigned char>(Payload[i]);
        if (c == HeaderEnd) {
            ++i;
            moves = true;
            break;
        }
        if (IsNumberItem(c)) {
            if (i + 2 >= Payload.size()) break;
            const unsigned hi = (static_cast<unsigned char>(Payload[i + 1]) + 255u) & 255u;
            const unsigned lo = (static_cast<unsigned char>(Payload[i + 2]) + 255u) & 255u;
            h.Number[c] = hi * 256 + lo;
            i += 3;
        } else if ((c >= itWhite && c <= itDay) || c == itRoundText) {
            size_t e = Payload.find(TextEnd, i + 1);
            if (e == std::string::npos) e = Payload.size();
            h.Text[c] = Payload.substr(i + 1, e - i - 1);
            i = e + 1;
        } else {
            ++i;
        }
    }

    TBoard64 board{};
    int moveNo = 1;
    bool blackToMove = false, fenOk = true;
    const std::string& fen = h.Text[itFEN];
    TSchachbrett brett = StandardStellung;
    if (!fen.empty()) {
        TZug zug;
        uint16_t no = 1;
        TFischerInfo fischer;
        fenOk = FENToStellung(fen, brett, zug, no, &fischer);
        if (fenOk) {
            moveNo = no > 0 ? no : 1;
            blackToMove = zug.Side < 0;
        }
    }
    for (int sq = 0; sq < 64; ++sq)
        board[static_cast<size_t>(sq)] = brett[Index64To120(static_cast<uint8_t>(sq))];

    std::string result = h.Text[itResult];
    if (IsBlankText(result)) result = "*";
    auto orQuery = [](const std::string& s) { return IsBlankText(s) ? std::string("?") : s; };

    std::string out;
    out.reserve(Payload.size() * 3 + 256);
    TagLine(out, "Event", orQuery(h.Text[itEvent]));
    TagLine(out, "Site", orQuery(h.Text[itSite]));
    TagLine(out, "Date", DateText(h.Number[itYear], h.Number[itMonth], h.Number[itDay]));
    if (!h.Text[itRoundText].empty())
        TagLine(out, "Round", h.Text[itRoundText]);
    else
        TagLine(out, "Round",
                h.Number[itRound] ? std::to_string(h.Number[itRound]) : std::string("-"));
    TagLine(out, "White", orQuery(h.Text[itWhite]));
    TagLine(out, "Black", orQuery(h.Text[itBlack]));
    TagLine(out, "Result", result);
    static constexpr std::pair<unsigned char, const char*> optional[] = {
        {itAnnotator, "Annotator"},           {itECO, "ECO"},
        {itWhiteGMT, "WhiteDifferenceToGMT"}, {itBlackGMT, "BlackDifferenceToGMT"},
        {itDateTimeFormat, "DateTimeFormat"}, {itGameId, "GameId"},
    };
    for (const auto& [code, name] : optional)
        if (!h.Text[code].empty()) TagLine(out, name, h.Text[code]);
    if (!fen.empty()) {
        TagLine(out, "FEN", fen);
        TagLine(out, "Setup", "1");
    }
    if (h.Number[itWhiteElo]) TagLine(out, "WhiteElo", std::to_string(h.Number[itWhiteElo]));
    if (h.Number[itBlackElo]) TagLine(out, "BlackElo", std::to_string(h.Number[itBlackElo]));
    // The move text first: the ply count below depends on it.
    unsigned plies = 0;
    std::string moveText;
    // A FEN item that does not read leaves no start position to play the moves from.
    if (moves && fenOk)
        moveText =
            DecodeMoves(std::string_view(Payload).substr(i), board, moveNo, blackToMove, plies);
    // The stored word counts full moves; the tag counts plies. The main line
    // gives the exact number when it agrees.
    if (const unsigned full = h.Number[itMoveCount])
        TagLine(out, "PlyCount", std::to_string((plies + 1) / 2 == full ? plies : 2 * full));
    TagLine(out, "EventDate",
            DateText(h.Number[itEventYear], h.Number[itEventMonth], h.Number[itEventDay]));
    if (const unsigned base = h.Number[itTimeBase]) {
        const unsigned inc = h.Number[itTimeIncrement];
        TagLine(out, "TimeControl", std::to_string(base) + (inc ? "+" + std::to_string(inc) : ""));
    }
    out += "\r\n";
    out += h.Text[itComment];
    out += ' ';
    out += moveText;
    out += ' ';
    out += IsGameResult(result) ? result : std::string("*");
    return out;
}

bool TChessDatabase::ReadGame(std::string& Key, std::string& PGN, bool& Deleted, int64_t Index) {
    std::string payload;
    if (!ReadRecord(Key, payload, Deleted, Index)) return false;
    PGN = RecordToPGN(payload);
    return true;
}

} // namespace kb
