// SPDX-License-Identifier: GPL-3.0-or-later
// PGN import: tag section, movetext reader with variations, comments and
// NAGs. Every move is checked far enough that the tree only ever holds moves
// of a piece of the mover from a real square.
#include "Notation.h"

#include <algorithm>

#include <bit>
#include <cctype>
#include <cstring>

namespace kb {
namespace {

const char* const LoadErrorDe = "Beim Einlesen der Züge ist ein Fehler aufgetreten.";
const char* const LoadErrorEn = "Error reading moves.";
const char* const NoGameDe = "Der Text enthält keine Partie.";
const char* const NoGameEn = "The text holds no game.";
const char* const BadFenDe = "Die Stellung im FEN-Tag ist ungültig: ";
const char* const BadFenEn = "The position in the FEN tag is not valid: ";
const char* const VariantDe = "Diese Schachvariante wird nicht unterstützt: ";
const char* const VariantEn = "This chess variant is not supported: ";

// Variant tag values that name standard chess or Chess960.
bool IsChessVariant(std::string_view Value) {
    if (Value.empty()) return true;
    std::string v;
    for (const char c : Value)
        if (c != ' ' && c != '-' && c != '_')
            v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* ok : {"", "standard", "chess", "normal", "chess960", "960", "fischerandom",
                           "fischerrandom", "frc", "fromposition"})
        if (v == ok) return true;
    return false;
}

} // namespace

bool IsChess960VariantName(std::string_view Value) {
    std::string v;
    for (const char c : Value)
        if (c != ' ' && c != '-' && c != '_')
            v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* ok : {"chess960", "960", "fischerandom", "fischerrandom", "frc"})
        if (v == ok) return true;
    return false;
}

namespace {

// Lines split at CR LF, LF or a lone CR.
void SplitLines(std::string_view text, std::vector<std::string_view>& lines) {
    lines.clear();
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
}

// Characters the movetext reader acts on; all others are skipped.
constexpr std::array<bool, 256> MovetextActive = [] {
    std::array<bool, 256> t{};
    for (int c = 'a'; c <= 'z'; ++c)
        t[static_cast<size_t>(c)] = true;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[static_cast<size_t>(c)] = true;
    for (const char c : {'{', '$', '(', ')', '0', '*', '-'})
        t[static_cast<unsigned char>(c)] = true;
    return t;
}();

// Characters that end a move token or carry its signs.
constexpr std::array<bool, 256> TokenMark = [] {
    std::array<bool, 256> t{};
    for (const char c : {' ', ')', '(', '{', '$', '*', '+', '#', '=', '!', '?'})
        t[static_cast<unsigned char>(c)] = true;
    return t;
}();

// Characters the movetext copy treats apart.
constexpr std::array<bool, 256> CopySpecial = [] {
    std::array<bool, 256> t{};
    for (const char c : {';', '{', '}', '\t'})
        t[static_cast<unsigned char>(c)] = true;
    return t;
}();

bool IsFileChar(char c) {
    return c >= 'a' && c <= 'h';
}
bool IsRankChar(char c) {
    return c >= '1' && c <= '8';
}
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}

// Buf[Q] begins a move: a file or a piece letter (or the O of castling)
// with more of the move behind it. Evaluation signs such as "+-" or "+/="
// and a lone novelty "N" do not.
bool StartsMove(std::string_view Buf, size_t Q) {
    const char c = Buf[Q];
    if (!IsFileChar(c) && std::string_view("KQRBNO").find(c) == std::string_view::npos)
        return false;
    return Q + 1 < Buf.size() && (IsFileChar(Buf[Q + 1]) || IsRankChar(Buf[Q + 1]) ||
                                  Buf[Q + 1] == 'x' || Buf[Q + 1] == '-');
}

// Tag, one tag from its "[", is named Name (upper case), letter case
// ignored, as the tag parser reads names (a missing value reads empty).
bool NamesTag(std::string_view Tag, std::string_view Name) {
    size_t i = 1;
    while (i < Tag.size() && (Tag[i] == ' ' || Tag[i] == '\t'))
        ++i;
    if (Tag.size() - i < Name.size()) return false;
    for (size_t k = 0; k < Name.size(); ++k)
        if (std::toupper(static_cast<unsigned char>(Tag[i + k])) != Name[k]) return false;
    i += Name.size();
    return i == Tag.size() || Tag[i] == ' ' || Tag[i] == '\t' || Tag[i] == '"';
}

// Tag, one tag from its "[", is named "Variant": blanks may stand around
// the name, and its value may follow without one or be missing (the tag
// then reads with an empty value).
bool NamesVariant(std::string_view Tag) {
    size_t i = 1;
    while (i < Tag.size() && (Tag[i] == ' ' || Tag[i] == '\t'))
        ++i;
    constexpr std::string_view name = "Variant";
    if (Tag.compare(i, name.size(), name) != 0) return false;
    i += name.size();
    return i == Tag.size() || Tag[i] == ' ' || Tag[i] == '\t' || Tag[i] == '"';
}

int32_t SquareOf(char file, char rank) {
    return 10 * (rank - '1' + 2) + (file - 'a' + 1);
}

// The blanks inside the braces at either end go, all of them: the export
// writes a run of blanks as one, so dropping only one would let every
// load and save of a game take one more away.
void TrimCommentBlanks(std::string& c) {
    const size_t open = c.find('{');
    if (open != std::string::npos) {
        size_t end = open + 1;
        while (end < c.size() && c[end] == ' ')
            ++end;
        c.erase(open + 1, end - open - 1);
    }
    const size_t close = c.rfind('}');
    if (close != std::string::npos && close > 0) {
        size_t start = close;
        while (start > 0 && c[start - 1] == ' ' && (open == std::string::npos || start - 1 > open))
            --start;
        c.erase(start, close - start);
    }
}

} // namespace

// Reader state saved at "(" and restored at ")".
struct TNotation::TVarState {
    TSchachbrett Board;
    TZug Move;
    TVariante* Line;
    TBaum* Current;
    TMoveChanges Changes;
    TZug MoveBefore;
    TPieceSets PieceSets;
};

namespace {

// Mailbox index of each of the 64 squares, and back (-1 off the board).
constexpr std::array<int32_t, 64> Square120 = [] {
    std::array<int32_t, 64> t{};
    for (int i = 0; i < 64; ++i)
        t[static_cast<size_t>(i)] = 21 + (i / 8) * 10 + i % 8;
    return t;
}();
constexpr std::array<int8_t, 120> Square64 = [] {
    std::array<int8_t, 120> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 64; ++i)
        t[static_cast<size_t>(21 + (i / 8) * 10 + i % 8)] = static_cast<int8_t>(i);
    return t;
}();

// The unit step of the line from one square to another (their difference
// -77..77 at index +77): rank, file or diagonal; 0 when none fits. A step
// that would cross the board's edge meets a border square on the way.
constexpr std::array<int8_t, 155> LineStep = [] {
    std::array<int8_t, 155> t{};
    for (int delta = -77; delta <= 77; ++delta) {
        const int a = delta < 0 ? -delta : delta;
        const int sign = delta < 0 ? -1 : 1;
        int step = 0;
        if (a == 0)
            step = 0;
        else if (a % 10 == 0)
            step = 10;
        else if (a <= 7)
            step = 1;
        else if (a % 11 == 0)
            step = 11;
        else if (a % 9 == 0)
            step = 9;
        t[static_cast<size_t>(delta + 77)] = static_cast<int8_t>(sign * step);
    }
    return t;
}();

bool IsPieceCode(int32_t v) {
    return v != 0 && v >= -6 && v <= 6;
}

} // namespace

void TNotation::BuildPieceSets() {
    FPieceSets.fill(0);
    for (size_t i = 0; i < 64; ++i) {
        const int32_t v = WorkBoard[static_cast<size_t>(Square120[i])];
        if (IsPieceCode(v)) FPieceSets[static_cast<size_t>(v + 6)] |= uint64_t{1} << i;
    }
}

void TNotation::MovePieceSets(int32_t Square, int32_t Old, int32_t New) {
    if (Old == New || Square < 0 || Square >= 120) return;
    const int8_t i = Square64[static_cast<size_t>(Square)];
    if (i < 0) return;
    const uint64_t bit = uint64_t{1} << i;
    if (IsPieceCode(Old)) FPieceSets[static_cast<size_t>(Old + 6)] &= ~bit;
    if (IsPieceCode(New)) FPieceSets[static_cast<size_t>(New + 6)] |= bit;
}

namespace {

// For each piece type, the index in its offset list of the direction in
// which a piece Delta (-77..77, at index +77) away from a square would
// reach it; -1 when none does. Sliders go by the line's unit step.
template <size_t N>
constexpr std::array<int8_t, 155> DirectionTable(const std::array<int32_t, N>& Dirs, bool Slide) {
    std::array<int8_t, 155> t{};
    for (int delta = -77; delta <= 77; ++delta) {
        const int step = Slide ? LineStep[static_cast<size_t>(delta + 77)] : delta;
        int8_t index = -1;
        for (size_t d = 0; d < N; ++d)
            if (step != 0 && Dirs[d] == step) index = static_cast<int8_t>(d);
        t[static_cast<size_t>(delta + 77)] = index;
    }
    return t;
}

constexpr std::array<std::array<int8_t, 155>, 7> DirectionOf = {
    std::array<int8_t, 155>{},
    std::array<int8_t, 155>{},
    DirectionTable(RookOffsets, true),
    DirectionTable(BishopOffsets, true),
    DirectionTable(KnightOffsets, false),
    DirectionTable(QueenOffsets, true),
    DirectionTable(KingOffsets, false),
};

} // namespace

// Same candidates, in the same order, as Scan(Kind, Square, false, true),
// but found from where the pieces stand rather than by walking every ray.
void TNotation::CollectReaching(int Kind, int32_t Square) {
    if (Kind < Turm || Kind > Koenig || !IsBoardSquare(Square)) return;
    const bool slide = Kind == Dame || Kind == Turm || Kind == Laeufer;
    const int32_t wanted = Kind * (WorkMove.Side == -1 ? -1 : 1);
    const std::array<int8_t, 155>& direction = DirectionOf[static_cast<size_t>(Kind)];
    // At most one piece per direction gets through: sorted by direction.
    struct THit {
        int8_t Direction;
        int32_t Square;
    };
    std::array<THit, 8> hits{};
    size_t count = 0;
    for (uint64_t set = FPieceSets[static_cast<size_t>(wanted + 6)]; set; set &= set - 1) {
        const int32_t sq = Square120[static_cast<size_t>(std::countr_zero(set))];
        const int32_t delta = sq - Square;
        const int8_t d = direction[static_cast<size_t>(delta + 77)];
        if (d < 0) continue;
        if (slide) {
            // Only the first piece on the ray counts.
            const int32_t step = LineStep[static_cast<size_t>(delta + 77)];
            int32_t s = Square + step;
            while (s != sq && WorkBoard[static_cast<size_t>(s)] == 0)
                s += step;
            if (s != sq) continue;
        }
        size_t at = count++;
        for (; at > 0 && hits[at - 1].Direction > d; --at)
            hits[at] = hits[at - 1];
        hits[at] = {d, sq};
        if (count == hits.size()) break;
    }
    for (size_t i = 0; i < count; ++i)
        Candidates.push_back(hits[i].Square);
    if (count > 0)
        CandidateCount = static_cast<uint8_t>(Candidates.size() > 255 ? 255 : Candidates.size());
}

namespace {

// Squares (0..63) from which a piece stepping by Offsets reaches each square.
template <size_t N>
constexpr std::array<uint64_t, 64> StepMasks(const std::array<int32_t, N>& Offsets) {
    std::array<uint64_t, 64> t{};
    for (size_t i = 0; i < 64; ++i) {
        const int32_t sq = Square120[i];
        for (const int32_t off : Offsets) {
            const int32_t from = sq - off;
            if (from >= 0 && from < 120 && Square64[static_cast<size_t>(from)] >= 0)
                t[i] |= uint64_t{1} << Square64[static_cast<size_t>(from)];
        }
    }
    return t;
}
constexpr std::array<uint64_t, 64> KnightMasks = StepMasks(KnightOffsets);
constexpr std::array<uint64_t, 64> KingMasks = StepMasks(KingOffsets);
// A white pawn attacks forward (+9, +11), a black one backward.
constexpr std::array<uint64_t, 64> WhitePawnMasks = StepMasks(std::array<int32_t, 2>{9, 11});
constexpr std::array<uint64_t, 64> BlackPawnMasks = StepMasks(std::array<int32_t, 2>{-9, -11});

// Squares on the rook lines and the bishop lines through each square.
template <size_t N>
constexpr std::array<uint64_t, 64> LineMasks(const std::array<int32_t, N>& Dirs) {
    std::array<uint64_t, 64> t{};
    for (size_t i = 0; i < 64; ++i)
        for (const int32_t d : Dirs)
            for (int32_t sq = Square120[i] + d; Square64[static_cast<size_t>(sq)] >= 0; sq += d)
                t[i] |= uint64_t{1} << Square64[static_cast<size_t>(sq)];
    return t;
}
constexpr std::array<uint64_t, 64> RookLines = LineMasks(RookOffsets);
constexpr std::array<uint64_t, 64> BishopLines = LineMasks(BishopOffsets);

} // namespace

bool TNotation::KingAttacked(int32_t Side) const {
    const uint64_t kings = FPieceSets[static_cast<size_t>(Koenig * Side + 6)];
    if (kings == 0) return true;
    return SquareAttacked(static_cast<size_t>(std::countr_zero(kings)), -Side);
}

bool TNotation::SquareAttacked(size_t k, int32_t e) const {
    auto set = [this, e](int Kind) { return FPieceSets[static_cast<size_t>(Kind * e + 6)]; };
    if ((set(Springer) & KnightMasks[k]) |
        (set(Bauer) & (e == 1 ? WhitePawnMasks : BlackPawnMasks)[k]) | (set(Koenig) & KingMasks[k]))
        return true;
    // A slider on a line with the king attacks it when nothing stands between.
    uint64_t sliders =
        ((set(Dame) | set(Turm)) & RookLines[k]) | ((set(Dame) | set(Laeufer)) & BishopLines[k]);
    if (sliders == 0) return false;
    const int32_t square = Square120[k];
    for (; sliders; sliders &= sliders - 1) {
        const int32_t sq = Square120[static_cast<size_t>(std::countr_zero(sliders))];
        const int32_t step = LineStep[static_cast<size_t>(sq - square + 77)];
        int32_t s = square + step;
        while (s != sq && WorkBoard[static_cast<size_t>(s)] == 0)
            s += step;
        if (s == sq) return true;
    }
    return false;
}

namespace {

// Piece type of a SAN letter (German or English; a file letter is a pawn),
// -100 for anything else.
inline int PieceKindOf(char C) {
    switch (C) {
    case 'K':
        return Koenig;
    case 'Q':
    case 'D':
        return Dame;
    case 'R':
    case 'T':
        return Turm;
    case 'B':
    case 'L':
        return Laeufer;
    case 'N':
    case 'S':
        return Springer;
    case 'P':
        return Bauer;
    default:
        return IsFileChar(C) ? Bauer : -100;
    }
}

} // namespace

int8_t TNotation::PieceFromLetter(char C) const {
    const int kind = PieceKindOf(C);
    if (kind == -100) return -100;
    return static_cast<int8_t>(kind * (WorkMove.Side == -1 ? -1 : 1));
}

namespace {

// A move token in a buffer of its own: no move is written with more than a
// few characters, and a string per token costs more than the rest of it.
struct TShortText {
    static constexpr size_t Capacity = 31;
    char Data[Capacity];
    size_t Size = 0;
    bool Overflow = false;

    size_t size() const { return Size; }
    bool empty() const { return Size == 0; }
    char& operator[](size_t I) { return Data[I]; }
    char operator[](size_t I) const { return Data[I]; }
    char back() const { return Data[Size - 1]; }
    void push_back(char C) {
        if (Size < Capacity)
            Data[Size++] = C;
        else
            Overflow = true;
    }
    void erase(size_t At, size_t Count) {
        std::memmove(Data + At, Data + At + Count, Size - At - Count);
        Size -= Count;
    }
    void resize(size_t N) { Size = N; }
    char* begin() { return Data; }
    char* end() { return Data + Size; }
    std::string_view view() const { return {Data, Size}; }
};

template <typename TText> void NormalizeInPlace(TText& S) {
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (c != 'x' && c != '-') continue;
        bool removedDigit = false;
        if (i >= 2 && IsFileChar(S[i - 2]) && IsRankChar(S[i - 1]) &&
            (i == 2 || !IsUpper(S[i - 3]))) {
            // A pawn's from square: keep only its file.
            S.erase(i - 1, 1);
            --i;
            removedDigit = true;
        }
        if (c == '-' && !(i >= 1 && (S[i - 1] == 'O' || S[i - 1] == 'o' || S[i - 1] == '0'))) {
            if (removedDigit && i >= 1) {
                S.erase(i - 1, 1);
                --i;
            }
            S.erase(i, 1);
            --i;
        }
    }
}

} // namespace

std::string TNotation::NormalizeMoveToken(std::string S) {
    NormalizeInPlace(S);
    return S;
}

namespace {

// Squares from which a piece on Board (value Wanted) reaches Square along
// Dirs, in the order of Dirs; Slide for queen, rook and bishop. Each
// direction holds at most one. Returns how many were written to Out.
template <size_t N>
size_t ReachingPieces(const TSchachbrett& Board, int32_t Square, int32_t Wanted,
                      const std::array<int32_t, N>& Dirs, bool Slide, int32_t* Out) {
    const int32_t* b = Board.data();
    size_t count = 0;
    for (const int32_t d : Dirs) {
        // Border squares are never empty, so every ray stops inside the
        // board array; the first piece on it is the one that counts.
        int32_t sq = Square + d;
        if (Slide)
            while (static_cast<uint32_t>(sq) < 120u && b[sq] == 0)
                sq += d;
        if (static_cast<uint32_t>(sq) < 120u) {
            Out[count] = sq;
            count += b[sq] == Wanted ? 1 : 0;
        }
    }
    return count;
}

} // namespace

bool TNotation::Scan(int Kind, int32_t Square, bool Enemy, bool Record) {
    const int colour = (WorkMove.Side == -1 ? -1 : 1) * (Enemy ? -1 : 1);
    const int32_t wanted = Kind * colour;
    if (Square < 0 || Square >= 120) return false;
    int32_t hits[8];
    size_t count = 0;
    switch (Kind) {
    case Dame:
        count = ReachingPieces(WorkBoard, Square, wanted, QueenOffsets, true, hits);
        break;
    case Turm:
        count = ReachingPieces(WorkBoard, Square, wanted, RookOffsets, true, hits);
        break;
    case Laeufer:
        count = ReachingPieces(WorkBoard, Square, wanted, BishopOffsets, true, hits);
        break;
    case Springer:
        count = ReachingPieces(WorkBoard, Square, wanted, KnightOffsets, false, hits);
        break;
    case Koenig:
        count = ReachingPieces(WorkBoard, Square, wanted, KingOffsets, false, hits);
        break;
    case Bauer: {
        bool found = false;
        for (const int32_t sq : {Square - 9 * colour, Square - 11 * colour})
            if (sq >= 0 && sq < 120 && WorkBoard[sq] == wanted) found = true;
        return found;
    }
    default:
        return false;
    }
    if (Record && !Enemy && count > 0) {
        Candidates.insert(Candidates.end(), hits, hits + count);
        CandidateCount = static_cast<uint8_t>(Candidates.size() > 255 ? 255 : Candidates.size());
    }
    return count > 0;
}

bool TNotation::ScanQueen(int32_t Square, bool Enemy) {
    return Scan(Dame, Square, Enemy, true);
}
bool TNotation::ScanRook(int32_t Square, bool Enemy) {
    return Scan(Turm, Square, Enemy, true);
}
bool TNotation::ScanBishop(int32_t Square, bool Enemy) {
    return Scan(Laeufer, Square, Enemy, true);
}
bool TNotation::ScanKnight(int32_t Square, bool Enemy) {
    return Scan(Springer, Square, Enemy, true);
}
bool TNotation::ScanKing(int32_t Square, bool Enemy) {
    return Scan(Koenig, Square, Enemy, true);
}
bool TNotation::ScanPawn(int32_t Square, bool Enemy) {
    return Scan(Bauer, Square, Enemy, false);
}

void TNotation::NagToAnnotation(std::string_view Digits) {
    if (!CurrentMove) return;
    static const char* const glyphs[] = {"1", "3", "2", "4", "5", "6"};
    for (int g = 0; g < 6; ++g) {
        if (Digits == glyphs[g]) {
            CurrentMove->Zug.Glyph = g + 1;
            return;
        }
    }
    if (Digits == "140" || Digits == "142") {
        CurrentMove->Zug.ExtraNAG = Digits == "140" ? 140 : 142;
        return;
    }
    // Only the plain decimal text of a number counts: no leading zeros.
    if (Digits.empty() || Digits.size() > 3 || Digits[0] == '0') return;
    int value = 0;
    for (const char d : Digits)
        value = value * 10 + (d - '0');
    for (int i = 0; i < 17; ++i) {
        if (value == NagNumbers[i]) {
            CurrentMove->Zug.NAG = NagNumbers[i];
            return;
        }
    }
}

bool TNotation::ResolvePiece(int Piece, std::string_view T, int32_t& From) {
    const int side = WorkMove.Side == -1 ? -1 : 1;
    const int32_t to = WorkMove.To;
    Candidates.clear();
    CandidateCount = 0;
    CollectReaching(Piece, to);
    if (Candidates.empty()) return false;
    // At most one piece per ray or knight step reaches the square.
    std::array<int32_t, 16> cands{};
    size_t count = 0;
    for (const int32_t c : Candidates)
        if (count < cands.size()) cands[count++] = c;
    if (T.size() >= 4) {
        if (!IsFileChar(T[0]) || !IsRankChar(T[1])) return false;
        const int32_t sq = SquareOf(T[0], T[1]);
        bool reaches = false;
        for (size_t i = 0; i < count; ++i)
            reaches = reaches || cands[i] == sq;
        if (!reaches) return false;
        From = sq;
        WorkMove.Flags |= FlagFromFile | FlagFromRank;
        return true;
    }
    if (T.size() == 3) {
        const char d = T[0];
        size_t kept = 0;
        int flag = 0;
        if (IsRankChar(d)) {
            flag = FlagFromRank;
            for (size_t i = 0; i < count; ++i)
                if (cands[i] / 10 - 1 == d - '0') cands[kept++] = cands[i];
        } else if (IsFileChar(d)) {
            flag = FlagFromFile;
            for (size_t i = 0; i < count; ++i)
                if (cands[i] % 10 == d - 'a' + 1) cands[kept++] = cands[i];
        } else {
            return false;
        }
        if (count > 1) WorkMove.Flags |= flag;
        count = kept;
    }
    if (count > 1) {
        // Several pieces reach the square: only a legal move can be meant.
        size_t legal = 0;
        for (size_t i = 0; i < count; ++i) {
            TZug probe = WorkMove;
            probe.Side = side;
            probe.From = cands[i];
            probe.To = to;
            if (IsLegalMove(WorkBoard, probe, ActiveFischerInfo())) cands[legal++] = cands[i];
        }
        count = legal;
    }
    if (count != 1) return false;
    From = cands[0];
    return true;
}

bool TNotation::ResolvePawn(std::string_view Tin, int32_t& From) {
    const int side = WorkMove.Side == -1 ? -1 : 1;
    const int32_t to = WorkMove.To;
    const int32_t pawn = Bauer * side;
    TSchachbrett& b = WorkBoard;
    TShortText T;
    for (const char c : Tin)
        T.push_back(c);
    int32_t from = 0;
    if (T.size() == 4 && IsFileChar(T[0]) && IsRankChar(T[1])) {
        from = SquareOf(T[0], T[1]);
        if (b[from] != pawn) return false;
        T.erase(1, 1); // file + target, checked below like any pawn move
    }
    if (T.size() == 3) {
        if (!IsFileChar(T[0])) return false;
        const int32_t file = T[0] - 'a' + 1;
        const int32_t df = file - to % 10;
        if (df == 0 && from != 0) {
            T.erase(0, 1); // a long-form push
        } else {
            if (df != 1 && df != -1) return false;
            const int32_t f = to - 10 * side + df;
            if (from != 0 && from != f) return false;
            from = f;
            if (b[from] != pawn) return false;
            if (b[to] == 0) {
                // En passant: only onto the sixth (third) rank, past an enemy pawn.
                const int32_t victim = to - 10 * side;
                const int32_t rank = to / 10 - 1;
                if (b[victim] != -pawn || rank != (side == 1 ? 6 : 3)) return false;
                WorkMove.EnPassantVictim = victim;
                WorkMove.Captured = -pawn;
            } else if (b[to] * side > 0 || b[to] == Border) {
                return false;
            }
            From = from;
            return true;
        }
    }
    if (T.size() != 2) return false;
    if (b[to] != 0) return false; // a push needs an empty square
    const int32_t behind = to - 10 * side;
    const int32_t rank = to / 10 - 1;
    if (b[behind] == pawn) {
        from = behind;
    } else if (b[behind] == 0 && rank == (side == 1 ? 4 : 5) && b[to - 20 * side] == pawn) {
        from = to - 20 * side;
        WorkMove.EnPassant = behind;
    } else {
        return false;
    }
    if (Tin.size() == 4 && SquareOf(Tin[0], Tin[1]) != from) return false;
    From = from;
    return true;
}

bool TNotation::ReadMoveToken(std::string_view Buf, size_t& Pos) {
    TZug& z = WorkMove;
    z.EnPassant = 0;
    z.EnPassantVictim = 0;
    z.Promotion = 0;
    z.Captured = 0;
    z.CastlingKind = 0;
    z.Flags = 0;
    z.Glyph = 0;
    z.NAG = 0;
    z.ExtraNAG = 0;
    const int side = z.Side == -1 ? -1 : 1;

    // The token ends at a blank, a bracket, a comment, a NAG or "*".
    TShortText token;
    size_t q = Pos;
    bool afterEquals = false;
    char suffix[2]; // "!", "?!", ...: the move's glyph
    size_t suffixLen = 0;
    bool longForm = false; // holds "x" or "-"

    bool signed_ = false; // a check sign or a glyph came: the move is whole
    for (; q < Buf.size(); ++q) {
        const char c = Buf[q];
        // "O-O?dxc4": the next move may follow a move's signs without a blank.
        if (signed_ && StartsMove(Buf, q)) break;
        // "e5.Nf3": so may a move behind a dot.
        if (c == '.' && q + 1 < Buf.size() && StartsMove(Buf, q + 1)) break;
        if (!TokenMark[static_cast<unsigned char>(c)]) {
            // A promotion letter after "=" may come in lower case.
            token.push_back((afterEquals && IsLower(c)) ? static_cast<char>(c - 'a' + 'A') : c);
            afterEquals = false;
            longForm = longForm || c == 'x' || c == '-';
            continue;
        }
        if (c == ' ' || c == ')' || c == '(' || c == '{' || c == '$' || c == '*') break;
        if (c == '+')
            z.Flags |= FlagCheck;
        else if (c == '#')
            z.Flags |= FlagMate;
        else if (c == '=')
            afterEquals = true;
        else { // "!" or "?"
            if (suffixLen < 2) suffix[suffixLen] = c;
            ++suffixLen;
        }
        signed_ = c != '=';
    }
    // "!" 1, "!!" 2, "?" 3, "??" 4, "!?" 5, "?!" 6; longer runs mean nothing.
    if (suffixLen == 1) {
        z.Glyph = suffix[0] == '!' ? 1 : 3;
    } else if (suffixLen == 2) {
        z.Glyph = suffix[0] == '!' ? (suffix[1] == '!' ? 2 : 5) : (suffix[1] == '?' ? 4 : 6);
    }
    if (q < Buf.size() && (Buf[q] == ')' || Buf[q] == '(' || Buf[q] == '{' || Buf[q] == '$' ||
                           (signed_ && StartsMove(Buf, q))))
        Pos = q - 1;
    else
        Pos = q;

    if (token.Overflow) return false;
    int32_t from = 0;
    const TFischerInfo* fi = ActiveFischerInfo();
    bool castling = false, shortSide = false;
    if (!token.empty() && (token[0] == 'O' || token[0] == 'o' || token[0] == '0')) {
        castling = true;
        shortSide = token.size() <= 3;
    } else {
        if (token.size() > 4 && token.view().substr(token.size() - 4) == "e.p.")
            token.resize(token.size() - 4);
        // Only "x" and "-" make the long form to shorten.
        if (longForm) NormalizeInPlace(token);
        if (token.size() < 2) return false;
        int piece = token.size() == 2 ? Bauer : PieceKindOf(token[0]);
        if (piece == -100) return false;
        piece *= side;
        if (IsUpper(token.back())) {
            const int promo = PieceFromLetter(token.back());
            if (promo == -100) return false;
            const int kind = promo < 0 ? -promo : promo;
            if (kind < Turm || kind > Dame) return false;
            z.Promotion = promo;
        }
        // Target text: without the piece letter, "x" and ":", and without a
        // trailing promotion letter.
        TShortText T;
        for (size_t i = 0; i < token.size(); ++i) {
            const char c = token[i];
            if (i == 0 && IsUpper(c)) continue;
            if (c == 'x' || c == ':') continue;
            T.push_back(c);
            if (c >= '1' && c <= '9') {
                const bool afterCapital = i > 0 && IsUpper(token[i - 1]);
                const bool beforeLower = i + 1 < token.size() && IsLower(token[i + 1]);
                if (!afterCapital && !beforeLower) break;
            }
        }
        for (char& c : T)
            if (IsUpper(c)) c = static_cast<char>(c - 'A' + 'a');
        if (T.size() < 2) return false;
        const char tf = T[T.size() - 2], tr = T[T.size() - 1];
        if (!IsFileChar(tf) || !IsRankChar(tr)) return false;
        z.To = SquareOf(tf, tr);
        z.Captured = WorkBoard[z.To];
        const int kind = piece < 0 ? -piece : piece;
        const bool fromSquare = T.size() == 4 && IsFileChar(T[0]) && IsRankChar(T[1]);
        if (kind == Bauer && fromSquare) {
            const int32_t p = WorkBoard[SquareOf(T[0], T[1])];
            if (p != 0 && p != Border && p != Bauer && p != -Bauer) piece = p;
        }
        const int k = piece < 0 ? -piece : piece;
        // Long algebraic notation writes castling as the king's move.
        if (k == Koenig && fromSquare && z.Promotion == 0 &&
            KingMoveIsCastling(SquareOf(T[0], T[1]), z.To, side, shortSide)) {
            castling = true;
        } else if (k == Bauer) {
            if (!ResolvePawn(T.view(), from)) return false;
            const bool lastRank = z.To / 10 - 1 == (side == 1 ? 8 : 1);
            if (lastRank != (z.Promotion != 0)) return false;
        } else {
            if (z.Promotion != 0) return false;
            if (!ResolvePiece(k, T.view(), from)) return false;
        }
        if (!castling && WorkBoard[z.To] * side > 0) return false; // never onto an own piece
    }
    if (castling) {
        TCastlingSquares c;
        if (!CastlingSquares(side, shortSide, fi, c)) return false;
        from = c.KingFrom;
        z.To = c.KingTo;
        z.CastlingKind = fi ? (shortSide ? 3 : 4) : (shortSide ? 1 : 2);
        z.Captured = 0;
        z.Promotion = 0;
        // Only with its right held, and not out of, through or into check.
        if (fi) {
            TZug probe = z;
            probe.From = from;
            probe.Side = side;
            if (!IsLegalMove(WorkBoard, probe, fi)) return false;
        } else {
            const uint8_t right = side == 1 ? (shortSide ? WhiteShort : WhiteLong)
                                            : (shortSide ? BlackShort : BlackLong);
            const int32_t step = shortSide ? 1 : -1;
            const TSchachbrett& b = WorkBoard;
            if (!(z.CastlingRights & right) || b[static_cast<size_t>(from)] != Koenig * side ||
                b[static_cast<size_t>(c.RookFrom)] != Turm * side)
                return false;
            for (int32_t sq = from + step; sq != c.RookFrom; sq += step)
                if (b[static_cast<size_t>(sq)] != 0) return false;
            for (int32_t sq = from;; sq += step) {
                if (SquareAttacked(static_cast<size_t>(Square64[static_cast<size_t>(sq)]), -side))
                    return false;
                if (sq == c.KingTo) break;
            }
        }
    }
    if (!IsBoardSquare(from)) return false;
    z.From = from;

    const uint8_t rightsBefore = z.CastlingRights;
    if (z.CastlingRights & AllCastlingRights)
        z.CastlingRights = CastlingRightsAfter(z.CastlingRights, WorkBoard, from, z.To, fi);
    z.Side = -side;
    TMoveChanges changes;
    ZugAusfuehren(WorkBoard, z, fi, &changes);
    for (size_t t = 0; t < changes.Count; ++t) {
        // Every changed square is a board square; border and empty cells
        // have no set.
        const TMoveChanges::TChange& x = changes.Changes[t];
        const int32_t now = WorkBoard[static_cast<size_t>(x.Square)];
        const uint64_t bit = uint64_t{1} << Square64[static_cast<size_t>(x.Square)];
        if (x.Before != 0) FPieceSets[static_cast<size_t>(x.Before + 6)] &= ~bit;
        if (now != 0) FPieceSets[static_cast<size_t>(now + 6)] |= bit;
    }
    // A move that leaves the own king attacked is no move (castling was
    // tested in full above).
    const bool exposed = !castling && KingAttacked(side);
    if (exposed) {
        for (size_t t = changes.Count; t-- > 0;) {
            const TMoveChanges::TChange& x = changes.Changes[t];
            MovePieceSets(x.Square, WorkBoard[static_cast<size_t>(x.Square)], x.Before);
        }
        ZugZuruecknehmen(WorkBoard, changes);
        return false;
    }
    FChanges = changes;
    // The record as it was before the move, with the mover as its side.
    FMoveBefore = z;
    FMoveBefore.CastlingRights = rightsBefore;
    FMoveBefore.Side = side;
    TBaum* node = NewNode(z);
    if (!WorkLine->Erster) {
        WorkLine->Erster = node;
        if (CurrentMove) node->Prev = CurrentMove;
    } else {
        node->Prev = CurrentMove;
        if (CurrentMove) CurrentMove->Next = node;
    }
    CurrentMove = node;
    FMoveRead = true;
    return true;
}

bool TNotation::KingMoveIsCastling(int32_t From, int32_t To, int32_t Side, bool& Short) const {
    const TFischerInfo* fi = ActiveFischerInfo();
    if (WorkBoard[static_cast<size_t>(From)] != Koenig * Side) return false;
    if (!fi) {
        // Two files from its start square.
        if (From != (Side == 1 ? SqE1 : SqE8) || (To != From + 2 && To != From - 2)) return false;
        Short = To > From;
        return true;
    }
    if (From != (Side == 1 ? fi->WhiteKing : fi->BlackKing)) return false;
    const int32_t rookH = Side == 1 ? fi->WhiteRookH : fi->BlackRookH;
    const int32_t rookA = Side == 1 ? fi->WhiteRookA : fi->BlackRookA;
    // Onto its own castling rook, as engines write it.
    if (WorkBoard[static_cast<size_t>(To)] == Turm * Side && (To == rookH || To == rookA)) {
        Short = To == rookH;
        return true;
    }
    // Onto the king's castling target, as long algebraic notation writes
    // it, where castling is legal; there it wins over a king step to the
    // same square.
    const int32_t base = Side == 1 ? SqA1 - 1 : SqA8 - 1;
    if (To != base + 7 && To != base + 3) return false;
    TZug probe = WorkMove;
    probe.From = From;
    probe.To = To;
    probe.Side = Side;
    probe.CastlingKind = To == base + 7 ? 3 : 4;
    probe.Promotion = 0;
    if (!IsLegalMove(WorkBoard, probe, fi)) return false;
    Short = To == base + 7;
    return true;
}

int TNotation::ParseMovetext(std::string_view Buf) {
    FMoveRead = false;
    UndoKind = 0;
    FreeTree();
    RootLine = new TVariante{};
    WorkLine = RootLine;
    CurrentMove = nullptr;
    WorkBoard = GameData.Stellung;

    const size_t n = Buf.size();
    // Comments before the first move make the game comment.
    std::string collected;
    size_t start = std::string::npos;
    int depth = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = Buf[i];
        if (depth > 0) {
            collected += c;
            if (c == '}') depth = 0;
            continue;
        }
        if (c == '{') {
            depth = 1;
            collected += c;
            continue;
        }
        // The moves begin at the first move number, or at the first move
        // when the text has no numbers.
        if (c == '.' || IsUpper(c) || IsLower(c) ||
            (c == '0' && i + 2 < n && Buf[i + 1] == '-' && Buf[i + 2] == '0')) {
            start = i;
            break;
        }
    }
    // A game of nothing but an unclosed comment keeps all of it, closed.
    if (depth > 0) collected += '}';
    if (!collected.empty()) {
        TrimCommentBlanks(collected);
        GameData.Kommentar += collected + " ";
    }
    if (start == std::string::npos) {
        FreeTree();
        return ParseOk;
    }
    WorkMove = GameData.Zug;
    FChanges.Count = 0;
    FMoveBefore = WorkMove;
    BuildPieceSets();

    // Open variations. A "(" right after another one, with no move read in
    // between, keeps only the line to return to: the rest of its state is
    // the full state below it, so long runs of "(" cost no board copies.
    std::vector<TVarState> states;
    struct TOpen {
        TVariante* Line; // for a light entry
        bool Full;
    };
    std::vector<TOpen> open;
    // The last line added to a move's variations: adding one more must not
    // walk all the others.
    TBaum* tailOwner = nullptr;
    TVariante* tailLine = nullptr;
    int result = ParseOk;
    FMovesResult.clear();
    for (size_t p = start; p < n; ++p) {
        const char c = Buf[p];
        if (!MovetextActive[static_cast<unsigned char>(c)]) continue;
        if (c == '{') {
            const size_t close = Buf.find('}', p + 1);
            if (close == std::string_view::npos) {
                result = ParseError;
                break;
            }
            std::string comment(Buf.substr(p, close - p + 1));
            TrimCommentBlanks(comment);
            if (CurrentMove) {
                if (TrimBlanks(CurrentMove->Kommentar).empty())
                    CurrentMove->Kommentar = comment;
                else
                    CurrentMove->Kommentar += " | " + comment;
            }
            p = close;
        } else if (c == '$') {
            size_t q = p + 1;
            std::string& digits = FDigits;
            digits.clear();
            while (q < n && Buf[q] != ' ' && Buf[q] != ')') {
                if (Buf[q] >= '0' && Buf[q] <= '9') digits += Buf[q];
                ++q;
            }
            NagToAnnotation(digits);
            if (CurrentMove && digits == "998") CurrentMove->Zug.Flags |= FlagGreater;
            if (CurrentMove && digits == "999") CurrentMove->Zug.Flags |= FlagLess;
            // The token is gone from the moves: a "*" or "-" in it ends nothing.
            p = q - 1;
            continue;
        } else if (c == '(') {
            if (!CurrentMove) {
                // A variation before the first move has nothing to branch from.
                result = ParseSilent;
                break;
            }
            if (FChanges.Count == 0 && !open.empty()) {
                open.push_back({WorkLine, false}); // no move since the last "("
            } else {
                states.push_back(TVarState{WorkBoard, WorkMove, WorkLine, CurrentMove, FChanges,
                                           FMoveBefore, FPieceSets});
                open.push_back({nullptr, true});
                // Back to the board before the move: the working board is that
                // board from now on.
                for (size_t t = FChanges.Count; t-- > 0;) {
                    const TMoveChanges::TChange& x = FChanges.Changes[t];
                    MovePieceSets(x.Square, WorkBoard[static_cast<size_t>(x.Square)], x.Before);
                }
                ZugZuruecknehmen(WorkBoard, FChanges);
                FChanges.Count = 0;
                WorkMove = FMoveBefore;
            }
            auto* line = new TVariante{};
            if (!CurrentMove->Variations) {
                CurrentMove->Variations = line;
            } else {
                TVariante* last = tailOwner == CurrentMove ? tailLine : CurrentMove->Variations;
                while (last->Naechste)
                    last = last->Naechste;
                last->Naechste = line;
                line->Vorige = last;
            }
            LastNewLine = line;
            WorkLine = line;
            tailOwner = CurrentMove;
            tailLine = line;
        } else if (c == ')') {
            if (!open.empty()) {
                // Back to the position after the move the variation replaced,
                // with that move's own castling rights and side.
                TVariante* closed = WorkLine;
                const TOpen o = open.back();
                open.pop_back();
                const TVarState& s = states.back();
                if (o.Full) {
                    WorkBoard = s.Board;
                    WorkMove = s.Move;
                    WorkLine = s.Line;
                    CurrentMove = s.Current;
                    FChanges = s.Changes;
                    FMoveBefore = s.MoveBefore;
                    FPieceSets = s.PieceSets;
                    states.pop_back();
                } else {
                    // As right after the "(" below: the position before the
                    // full state's move.
                    WorkBoard = s.Board;
                    FPieceSets = s.PieceSets;
                    for (size_t t = s.Changes.Count; t-- > 0;) {
                        const TMoveChanges::TChange& x = s.Changes.Changes[t];
                        MovePieceSets(x.Square, WorkBoard[static_cast<size_t>(x.Square)], x.Before);
                    }
                    ZugZuruecknehmen(WorkBoard, s.Changes);
                    FChanges.Count = 0;
                    WorkMove = s.MoveBefore;
                    FMoveBefore = s.MoveBefore;
                    CurrentMove = s.Current;
                    WorkLine = o.Line;
                }
                if (closed && !closed->Naechste) {
                    tailOwner = CurrentMove;
                    tailLine = closed;
                }
            }
        } else if (c == 'e' && Buf.substr(p, 4) == "e.p." &&
                   (p + 4 >= n || Buf[p + 4] == ' ' || Buf[p + 4] == ')')) {
            p += 3; // the en-passant remark after a capture
        } else if (IsUpper(c) || IsLower(c) ||
                   (c == '0' && p + 2 < n && Buf[p + 1] == '-' && Buf[p + 2] == '0')) {
            if (!ReadMoveToken(Buf, p)) {
                result = ParseError;
                break;
            }
        }
        if (p < n && Buf[p] == '-' && p + 1 < n && Buf[p + 1] == '-') {
            result = ParseError; // a null move: no position follows from it
            break;
        }
        if (p >= n || Buf[p] == '*' || Buf[p] == '-') {
            // The result that ends the main line.
            if (p < n && open.empty()) {
                const std::string_view before = Buf.substr(0, p), after = Buf.substr(p + 1);
                if (Buf[p] == '*')
                    FMovesResult = "*";
                else if (before.ends_with('1') && after.starts_with('0'))
                    FMovesResult = "1-0";
                else if (before.ends_with('0') && after.starts_with('1'))
                    FMovesResult = "0-1";
                else if (before.ends_with("1/2") && after.starts_with("1/2"))
                    FMovesResult = "1/2-1/2";
            }
            break;
        }
    }
    if (result == ParseSilent) {
        FreeTree();
        return result;
    }
    if (!FMoveRead) {
        FreeLine(RootLine);
        RootLine = nullptr;
        CurrentMove = nullptr;
        WorkLine = nullptr;
    }
    return result;
}

int TNotation::LoadPGN(std::string_view Text) {
    if (FBusy) return -1; // a question about the tree is open
    int result = 0;
    auto moveChange = std::move(OnMoveChange);
    OnMoveChange = nullptr;
    if (Hidden()) {
        // Nobody shows the empty game in between.
        ResetStartPosition();
        FreeTree();
    } else {
        NewGame();
    }
    OnMoveChange = std::move(moveChange);
    try {
        // A UTF-8 byte order mark is no part of the first tag.
        if (Text.size() >= 3 && std::memcmp(Text.data(), "\xEF\xBB\xBF", 3) == 0)
            Text.remove_prefix(3);
        std::string& buffer = FMovetext;
        buffer.clear();
        bool hasTags = false, resultTag = false;
        FMovesResult.clear();
        std::string variant;
        std::string variantLine; // the last Variant tag line, in its normal form
        FNoGame = false;
        if (!TrimBlanks(Text).empty()) {
            std::vector<std::string_view>& lines = FLines;
            // Bare movetext (a pasted "1. e4 e5") has no tags: all of it is
            // read as moves rather than an empty game called done.
            const size_t moves = ReadTagSection(Text, [&](const TTagInText& Tag) {
                const std::string_view t = Tag.Tag;
                ParseTagLine(GameData.EventData, t);
                hasTags = true;
                resultTag = resultTag || NamesTag(t, "RESULT");
                if (!NamesVariant(t)) return;
                // Read as the line's normal form is, like every tag.
                if (WellFormedTagLine(t)) {
                    if (t.substr(1, 8) == "Variant ") variantLine = t;
                } else if (std::string n = NormalTagLine(t); n.compare(0, 9, "[Variant ") == 0) {
                    variantLine = std::move(n);
                }
            });
            SplitLines(Text.substr(moves), lines);
            size_t i = 0;
            {
                // The last Variant line rules. The list keeps a repeated line at
                // its first place, so the ruling one moves behind the other
                // Variant lines, where readers of the export look for it.
                variant = ExtractTagValue(variantLine);
                if (auto& tags = GameData.EventData.Tags; tags && !variantLine.empty()) {
                    auto& l = tags->EditLines();
                    const auto at = std::find(l.begin(), l.end(), variantLine);
                    if (at != l.end()) {
                        // The list orders names with letter case ignored:
                        // a "VarianT" line stands among the Variant lines.
                        auto end = at + 1;
                        while (end != l.end() && end->size() >= 9 &&
                               std::equal(
                                   end->begin(), end->begin() + 9, "[VARIANT ", [](char a, char b) {
                                       return std::toupper(static_cast<unsigned char>(a)) == b;
                                   }))
                            ++end;
                        std::rotate(at, at + 1, end);
                    }
                }
                // A ";" comment runs to the end of its line; lines are joined
                // with blanks, so it becomes a brace comment here.
                // Tabs count as blanks. Each line grows by at most its blank
                // and the braces of a ";" comment.
                bool inBraces = false;
                size_t room = 0;
                for (size_t k = i; k < lines.size(); ++k)
                    room += lines[k].size() + 2;
                buffer.resize(room);
                char* out = buffer.data();
                auto put = [&out](char c) { *out++ = c == '\t' ? ' ' : c; };
                for (; i < lines.size(); ++i) {
                    const std::string_view line = lines[i];
                    if (!line.empty() && line[0] == '%') continue;
                    for (size_t k = 0; k < line.size(); ++k) {
                        const char c = line[k];
                        if (!CopySpecial[static_cast<unsigned char>(c)]) {
                            *out++ = c;
                            continue;
                        }
                        if (!inBraces && c == ';') {
                            put('{');
                            for (const char r : line.substr(k + 1))
                                if (r != '{' && r != '}') put(r);
                            put('}');
                            break;
                        }
                        if (c == '{') inBraces = true;
                        if (c == '}') inBraces = false;
                        put(c);
                    }
                    put(' ');
                }
                buffer.resize(static_cast<size_t>(out - buffer.data()));
            }
        }
        // The Variant tag (files of other programs, and ours now), the FEN's
        // "f1" marker of files we wrote before, or castling letters that name
        // rook files keep a Chess960 game from a later position Chess960.
        TFischerInfo marked{};
        std::string refused; // why no move is read
        if (!IsChessVariant(variant)) {
            refused = (FEnglish ? VariantEn : VariantDe) + variant;
        } else if (!GameData.EventData.FEN.empty()) {
            // Moves are read only from a position a game can have.
            TSchachbrett board = GameData.Stellung;
            TZug zug = GameData.Zug;
            uint16_t moveNo = GameData.ZugNummer;
            if (FENToStellung(GameData.EventData.FEN, board, zug, moveNo, &marked,
                              IsChess960VariantName(variant)) &&
                IsPlayablePosition(board, zug)) {
                GameData.Stellung = board;
                GameData.Zug = zug;
                GameData.ZugNummer = moveNo;
            } else {
                marked = TFischerInfo{};
                refused = (FEnglish ? BadFenEn : BadFenDe) + GameData.EventData.FEN;
            }
        }
        WorkBoard = GameData.Stellung;
        // Tells the host whether this is Chess960 before any move is read.
        CheckFischerPosition(&marked);
        FLines.clear(); // views into Text
        const std::string_view trimmed = TrimBlanks(buffer);
        if (!refused.empty()) {
            result = -1;
            if (OnError) OnError(this, refused);
            ErrorShown = true;
        } else if (!trimmed.empty()) {
            const int parsed = ParseMovetext(trimmed);
            if (parsed != ParseOk) result = -1;
            // Without a Result tag the result in the moves is the game's.
            if (!resultTag) {
                if (FMovesResult.empty() && !HasMoves())
                    for (const char* r : {"*", "1-0", "0-1", "1/2-1/2"})
                        if (trimmed == r) FMovesResult = r;
                if (!FMovesResult.empty()) GameData.EventData.Result = FMovesResult;
            }
            // A variation before the first move fails without a message.
            if (parsed == ParseError) {
                if (OnError) OnError(this, FEnglish ? LoadErrorEn : LoadErrorDe);
                ErrorShown = true;
            }
        }
        if (!hasTags && !HasMoves()) {
            // Neither a tag nor a move: blanks, NUL bytes, noise.
            FNoGame = true;
            if (result == 0) {
                result = -1;
                if (OnError) OnError(this, FEnglish ? NoGameEn : NoGameDe);
                ErrorShown = true;
            }
        }
    } catch (...) {
        result = -1;
    }
    // Scratch space stays for the next game unless this one was huge.
    if (FMovetext.capacity() > (1u << 20)) std::string().swap(FMovetext);
    CurrentMove = nullptr;
    if (Hidden()) {
        // Leave the working board, line flag and error state as a layout
        // from the start would.
        WorkBoard = GameData.Stellung;
        WorkMove = GameData.Zug;
        CurrentOnMainLine = true;
        VarDepth = 0;
        if (HasMoves()) ErrorShown = false;
        DeferLayout();
    } else {
        LayoutNotation(RootLine);
    }
    if (OnMoveChange) OnMoveChange(this, GameData.Zug, GameData.Stellung, false);
    return result;
}

} // namespace kb
