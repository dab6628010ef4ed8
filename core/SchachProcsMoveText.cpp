// SPDX-License-Identifier: GPL-3.0-or-later
// Moves as text: played on a position, read in the forms programs write them
// (SAN, coordinates, "Nb1-c3", "a2xb3"), written in coordinates, and lines
// of them checked move by move.
#include "SchachProcs.h"

#include <string_view>

namespace kb {

namespace {

int Kind(int32_t Piece) {
    return Piece < 0 ? -Piece : Piece;
}

int Square(char File, char Rank) {
    return (Rank - '1' + 2) * 10 + (File - 'a' + 1);
}

bool IsFile(char c) {
    return c >= 'a' && c <= 'h';
}

bool IsRank(char c) {
    return c >= '1' && c <= '8';
}

int PromotionKind(char c) {
    switch (c) {
    case 'Q':
    case 'q':
        return Dame;
    case 'R':
    case 'r':
        return Turm;
    case 'B':
    case 'b':
        return Laeufer;
    case 'N':
    case 'n':
        return Springer;
    }
    return 0;
}

bool Legal(const TStellung& P, int From, int To, int Promotion) {
    if (!IsBoardSquare(From) || !IsBoardSquare(To)) return false;
    const int32_t piece = P.Brett[static_cast<size_t>(From)];
    const int side = P.Zug.Side;
    if (piece * side <= 0) return false;
    const bool last = To / 10 == (side > 0 ? 9 : 2);
    // A pawn reaching the last rank must become something, nothing else may.
    if ((Kind(piece) == Bauer && last) ? Promotion == 0 : Promotion != 0) return false;
    TZug z = P.Zug;
    z.From = From;
    z.To = To;
    z.Promotion = Promotion * side;
    z.CastlingKind = 0;
    return IsLegalMove(P.Brett, z, nullptr);
}

TZug MoveRecord(int From, int To, int Promotion, int Side) {
    TZug z;
    z.From = From;
    z.To = To;
    z.Promotion = Promotion * Side;
    return z;
}

// The single legal move of a piece of kind Kind to To, from the file or
// rank given (0 when not given).
std::optional<TZug> Unique(const TStellung& P, int PieceKind, int FromFile, int FromRank,
                           int To, int Promotion) {
    std::optional<TZug> found;
    const int side = P.Zug.Side;
    for (int from = SqA1; from <= SqH8; ++from) {
        if (!IsBoardSquare(from) || P.Brett[static_cast<size_t>(from)] != PieceKind * side)
            continue;
        if (FromFile && from % 10 != FromFile) continue;
        if (FromRank && from / 10 != FromRank) continue;
        if (!Legal(P, from, To, Promotion)) continue;
        if (found) return std::nullopt; // ambiguous: no move of this position
        found = MoveRecord(from, To, Promotion, side);
    }
    return found;
}

// "(+)", "!", "+-": marks that stand between moves.
bool IsMark(std::string_view T) {
    return !T.empty() && T.find_first_not_of("()+-!?=#") == std::string_view::npos;
}

} // namespace

void PlayMove(TStellung& P, const TZug& Move) {
    const int side = P.Zug.Side;
    const int from = Move.From, to = Move.To;
    const int32_t piece = P.Brett[static_cast<size_t>(from)];
    TZug z = P.Zug;
    z.From = from;
    z.To = to;
    z.Promotion = Move.Promotion;
    z.CastlingKind = 0;
    z.EnPassantVictim = 0;
    if (Kind(piece) == Koenig && (to - from == 2 || from - to == 2))
        z.CastlingKind = to > from ? 1 : 2;
    if (Kind(piece) == Bauer && to == P.Zug.EnPassant && P.Brett[static_cast<size_t>(to)] == 0 &&
        (to - from) % 10 != 0)
        z.EnPassantVictim = to - 10 * side;
    z.Side = -side;
    z.CastlingRights = CastlingRightsAfter(P.Zug.CastlingRights, P.Brett, from, to, nullptr);
    z.EnPassant =
        Kind(piece) == Bauer && (to - from == 20 || from - to == 20) ? from + 10 * side : 0;
    ZugAusfuehren(P.Brett, z, nullptr);
    const TZug state = z;
    P.Zug = TZug{};
    P.Zug.CastlingRights = state.CastlingRights;
    P.Zug.EnPassant = state.EnPassant;
    P.Zug.Side = state.Side;
    if (side < 0) ++P.MoveNo;
}

std::optional<TZug> ParseMove(const TStellung& P, const std::string& Text) {
    std::string t = Text;
    if (t.size() >= 2 && t.front() == '<' && t.back() == '>') t = t.substr(1, t.size() - 2);
    while (!t.empty() && std::string_view("+#!?").find(t.back()) != std::string_view::npos)
        t.pop_back();
    if (t.empty()) return std::nullopt;
    const int side = P.Zug.Side;
    const int home = side > 0 ? 20 : 90;
    if (t == "O-O" || t == "0-0" || t == "O-O-O" || t == "0-0-0") {
        const int to = home + (t.size() > 3 ? 3 : 7);
        if (P.Brett[static_cast<size_t>(home + 5)] != Koenig * side || !Legal(P, home + 5, to, 0))
            return std::nullopt;
        return MoveRecord(home + 5, to, 0, side);
    }
    // Promotion at the end: "=Q", "Q" or "q" after a square.
    int promo = 0;
    if (t.size() >= 3 && PromotionKind(t.back()) && IsRank(t[t.size() - 2])) {
        promo = PromotionKind(t.back());
        t.pop_back();
        if (!t.empty() && t.back() == '=') t.pop_back();
    } else if (t.size() >= 4 && PromotionKind(t.back()) && t[t.size() - 2] == '=') {
        promo = PromotionKind(t.back());
        t.resize(t.size() - 2);
    }
    // The piece letter, if any.
    int kind = 0;
    size_t i = 0;
    if (!t.empty() && std::string_view("KQRBN").find(t[0]) != std::string_view::npos) {
        kind = PromotionKind(t[0]) ? PromotionKind(t[0]) : Koenig;
        i = 1;
    }
    std::string rest;
    for (; i < t.size(); ++i)
        if (t[i] != '-' && t[i] != 'x' && t[i] != ':') rest += t[i];
    // Two squares: from and to.
    if (rest.size() == 4 && IsFile(rest[0]) && IsRank(rest[1]) && IsFile(rest[2]) &&
        IsRank(rest[3])) {
        const int from = Square(rest[0], rest[1]), to = Square(rest[2], rest[3]);
        const int32_t on = P.Brett[static_cast<size_t>(from)] * side;
        if (kind && on != kind) return std::nullopt;
        if (on == Bauer && promo == 0 && to / 10 == (side > 0 ? 9 : 2)) promo = Dame;
        if (!Legal(P, from, to, promo)) return std::nullopt;
        return MoveRecord(from, to, promo, side);
    }
    // SAN: [file][rank] square.
    if (rest.size() < 2 || rest.size() > 4) return std::nullopt;
    const char tf = rest[rest.size() - 2], tr = rest[rest.size() - 1];
    if (!IsFile(tf) || !IsRank(tr)) return std::nullopt;
    const int to = Square(tf, tr);
    int fromFile = 0, fromRank = 0;
    for (size_t k = 0; k + 2 < rest.size(); ++k) {
        if (IsFile(rest[k]) && !fromFile)
            fromFile = rest[k] - 'a' + 1;
        else if (IsRank(rest[k]) && !fromRank)
            fromRank = rest[k] - '1' + 2;
        else
            return std::nullopt;
    }
    if (kind == 0) {
        kind = Bauer;
        if (promo == 0 && to / 10 == (side > 0 ? 9 : 2)) promo = Dame;
    }
    return Unique(P, kind, fromFile, fromRank, to, promo);
}

std::string CoordinateMove(const TZug& Move) {
    if (!IsBoardSquare(Move.From) || !IsBoardSquare(Move.To)) return {};
    std::string s = FeldNamen[Index120To64(static_cast<uint8_t>(Move.From))];
    s += FeldNamen[Index120To64(static_cast<uint8_t>(Move.To))];
    const int promo = Kind(Move.Promotion);
    if (promo >= Turm && promo <= Dame) s += "?rbnq"[promo - 1];
    return s;
}

std::optional<std::string> LegalPart(const std::string& Line, const TStellung& P) {
    const size_t open = Line.find_first_not_of(" \t");
    if (open != std::string::npos && Line[open] == '(' && !IsMark(Line.substr(open, 3))) {
        // "(e7-e5 c7-c5 ..., book1)": moves to choose from, not a line; it is
        // about this position when its first move can be played here.
        size_t end = Line.find_first_of(" \t,)", open + 1);
        if (end == std::string::npos) end = Line.size();
        if (!ParseMove(P, Line.substr(open + 1, end - open - 1))) return std::nullopt;
        return Line;
    }
    TStellung pos = P;
    size_t keep = 0; // end of the last legal move
    bool anyMove = false;
    for (size_t i = 0; i < Line.size();) {
        if (Line[i] == ' ' || Line[i] == '\t') {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < Line.size() && Line[j] != ' ' && Line[j] != '\t')
            ++j;
        std::string_view word(Line.data() + i, j - i);
        // "1.e4": a number glued to its move.
        size_t dots = 0;
        while (dots < word.size() && word[dots] >= '0' && word[dots] <= '9')
            ++dots;
        if (dots < word.size() && word[dots] == '.') {
            while (dots < word.size() && word[dots] == '.')
                ++dots;
            word.remove_prefix(dots);
        }
        if (!word.empty() && !IsMark(word)) {
            const std::optional<TZug> m = ParseMove(pos, std::string(word));
            if (!m) {
                if (!anyMove) return std::nullopt;
                return Line.substr(0, keep);
            }
            PlayMove(pos, *m);
            anyMove = true;
            keep = j;
        }
        i = j;
    }
    return Line;
}

bool EditModeExact(const TStellung& P) {
    const TSchachbrett& b = P.Brett;
    uint8_t implied = 0;
    if (b[SqE1] == Koenig && b[SqH1] == Turm) implied |= WhiteShort;
    if (b[SqE1] == Koenig && b[SqA1] == Turm) implied |= WhiteLong;
    if (b[SqE8] == -Koenig && b[SqH8] == -Turm) implied |= BlackShort;
    if (b[SqE8] == -Koenig && b[SqA8] == -Turm) implied |= BlackLong;
    const uint8_t rights = P.Zug.CastlingRights & AllCastlingRights;
    // Chess960 castling has no standard squares to stand on.
    if (P.Fischer ? rights != 0 || implied != 0 : rights != implied) return false;
    const int ep = P.Zug.EnPassant;
    if (!IsBoardSquare(ep)) return true;
    const int side = P.Zug.Side;
    for (int from : {ep - 10 * side - 1, ep - 10 * side + 1})
        if (IsBoardSquare(from) && P.Brett[static_cast<size_t>(from)] == Bauer * side &&
            Legal(P, from, ep, 0))
            return false;
    return true;
}

bool MovesLeadTo(const TStellung& Start, const std::vector<TZug>& Moves, const TStellung& Target) {
    TStellung pos;
    pos.Brett = Start.Brett;
    pos.Zug = Start.Zug;
    for (const TZug& m : Moves) {
        const int side = pos.Zug.Side;
        const int promo = Kind(m.Promotion);
        if (!Legal(pos, m.From, m.To, promo)) return false;
        PlayMove(pos, MoveRecord(m.From, m.To, promo, side));
    }
    return pos.Brett == Target.Brett && pos.Zug.Side == Target.Zug.Side &&
           (pos.Zug.CastlingRights & AllCastlingRights) ==
               (Target.Zug.CastlingRights & AllCastlingRights);
}

} // namespace kb
