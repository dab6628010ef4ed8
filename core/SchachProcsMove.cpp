// SPDX-License-Identifier: GPL-3.0-or-later
// Making moves: the one place that moves pieces, castling rooks and
// en-passant victims on a board and keeps the castling rights.
#include "SchachProcs.h"

namespace kb {
namespace {

constexpr std::array<bool, 120> OnBoardTable = [] {
    std::array<bool, 120> t{};
    for (int32_t i = 0; i < 120; ++i)
        t[static_cast<size_t>(i)] = IsBoardSquare(i);
    return t;
}();

inline bool OnBoard(int32_t Sq) {
    return static_cast<uint32_t>(Sq) < 120u && OnBoardTable[static_cast<size_t>(Sq)];
}

struct TWriter {
    TSchachbrett& Brett;
    TMoveChanges* Changes;

    void Put(int32_t Sq, int32_t Value) {
        if (Changes) {
            bool seen = false;
            for (uint8_t i = 0; i < Changes->Count; ++i)
                seen = seen || Changes->Changes[i].Square == Sq;
            if (!seen && Changes->Count < Changes->Changes.size())
                Changes->Changes[Changes->Count++] = {Sq, Brett[static_cast<size_t>(Sq)]};
        }
        Brett[static_cast<size_t>(Sq)] = Value;
    }
};

} // namespace

bool CastlingSquares(int32_t Colour, bool Short, const TFischerInfo* FischerInfo,
                     TCastlingSquares& Squares) {
    const bool white = Colour == 1;
    Squares.KingTo = white ? (Short ? SqG1 : SqC1) : (Short ? SqG8 : SqC8);
    Squares.RookTo = white ? (Short ? SqF1 : SqD1) : (Short ? SqF8 : SqD8);
    if (IsFischer(FischerInfo)) {
        const TFischerInfo& fi = *FischerInfo;
        Squares.KingFrom = white ? fi.WhiteKing : fi.BlackKing;
        Squares.RookFrom = white ? (Short ? fi.WhiteRookH : fi.WhiteRookA)
                                 : (Short ? fi.BlackRookH : fi.BlackRookA);
    } else {
        Squares.KingFrom = white ? SqE1 : SqE8;
        Squares.RookFrom = white ? (Short ? SqH1 : SqA1) : (Short ? SqH8 : SqA8);
    }
    return OnBoard(Squares.KingFrom) && OnBoard(Squares.RookFrom);
}

namespace {

// Castling moves both king and rook; in Chess960 the rook may start on the
// king's target and the king on the rook's, so both leave first.
void Castle(TSchachbrett& Brett, const TZug& Zug, const TFischerInfo* FischerInfo,
            TMoveChanges* Changes) {
    const int32_t mover = Zug.Side == -1 ? 1 : -1;
    const int32_t piece = Brett[static_cast<size_t>(Zug.From)];
    TCastlingSquares c;
    const bool isShort = Zug.CastlingKind == 1 || Zug.CastlingKind == 3;
    // Without a rook square only the king goes.
    const bool rook =
        CastlingSquares(mover, isShort, Zug.CastlingKind >= 3 ? FischerInfo : nullptr, c);
    TWriter w{Brett, Changes};
    w.Put(Zug.From, 0);
    if (rook) {
        w.Put(c.RookFrom, 0);
        w.Put(c.RookTo, Turm * mover);
    }
    w.Put(Zug.To, piece);
}

} // namespace

void ZugAusfuehren(TSchachbrett& Brett, const TZug& Zug, const TFischerInfo* FischerInfo,
                   TMoveChanges* Changes) {
    if (Changes) Changes->Count = 0;
    const int32_t from = Zug.From, to = Zug.To;
    if (!OnBoard(from) || !OnBoard(to)) return; // a broken record moves nothing
    if (Zug.CastlingKind >= 1 && Zug.CastlingKind <= 4) {
        Castle(Brett, Zug, FischerInfo, Changes);
        return;
    }
    const int32_t piece = Brett[static_cast<size_t>(from)];
    // From, To and the victim are distinct squares: no need to look for repeats.
    const int32_t victim = Zug.EnPassantVictim;
    const bool enPassant = victim != 0 && victim != from && victim != to && OnBoard(victim);
    if (Changes) {
        TMoveChanges::TChange* c = Changes->Changes.data();
        c[0] = {from, piece};
        c[1] = {to, Brett[static_cast<size_t>(to)]};
        if (enPassant) c[2] = {victim, Brett[static_cast<size_t>(victim)]};
        Changes->Count = enPassant ? 3 : 2;
    }
    Brett[static_cast<size_t>(from)] = 0;
    Brett[static_cast<size_t>(to)] = Zug.Promotion != 0 ? Zug.Promotion : piece;
    if (enPassant) Brett[static_cast<size_t>(victim)] = 0;
}

void ZugZuruecknehmen(TSchachbrett& Brett, const TMoveChanges& Changes) {
    for (size_t i = Changes.Count; i-- > 0;)
        Brett[static_cast<size_t>(Changes.Changes[i].Square)] = Changes.Changes[i].Before;
}

uint8_t CastlingRightsAfter(uint8_t Rights, const TSchachbrett& Before, int32_t From, int32_t To,
                            const TFischerInfo* FischerInfo) {
    if ((Rights & AllCastlingRights) == 0) return Rights; // nothing left to lose
    int r = Rights;
    int32_t wA = SqA1, wH = SqH1, bA = SqA8, bH = SqH8;
    if (IsFischer(FischerInfo)) {
        const TFischerInfo& fi = *FischerInfo;
        wA = fi.WhiteRookA, wH = fi.WhiteRookH, bA = fi.BlackRookA, bH = fi.BlackRookH;
    } else {
        if (Before[SqE1] == 0) r &= ~(WhiteShort | WhiteLong);
        if (Before[SqE8] == 0) r &= ~(BlackShort | BlackLong);
        if (Before[SqH1] <= 0) r &= ~WhiteShort;
        if (Before[SqA1] <= 0) r &= ~WhiteLong;
        if (Before[SqH8] >= 0) r &= ~BlackShort;
        if (Before[SqA8] >= 0) r &= ~BlackLong;
    }
    const int32_t p = OnBoard(From) ? Before[static_cast<size_t>(From)] : 0;
    if (p == Koenig) r &= ~(WhiteShort | WhiteLong);
    if (p == -Koenig) r &= ~(BlackShort | BlackLong);
    if (p == Turm && From == wH) r &= ~WhiteShort;
    if (p == Turm && From == wA) r &= ~WhiteLong;
    if (p == -Turm && From == bH) r &= ~BlackShort;
    if (p == -Turm && From == bA) r &= ~BlackLong;
    if (To == wA) r &= ~WhiteLong;
    if (To == wH) r &= ~WhiteShort;
    if (To == bA) r &= ~BlackLong;
    if (To == bH) r &= ~BlackShort;
    return static_cast<uint8_t>(r);
}

bool IsPlayablePosition(const TSchachbrett& Brett, const TZug& Zug) {
    int whiteKings = 0, blackKings = 0;
    for (int32_t sq = SqA1; sq <= SqH8; ++sq) {
        if (!OnBoard(sq)) continue;
        const int32_t v = Brett[static_cast<size_t>(sq)];
        if (v < -Koenig || v > Koenig) return false;
        whiteKings += v == Koenig;
        blackKings += v == -Koenig;
        const int rank = sq / 10 - 1;
        if ((v == Bauer || v == -Bauer) && (rank == 1 || rank == 8)) return false;
    }
    if (whiteKings != 1 || blackKings != 1) return false;
    // The side that just moved cannot have left its king attacked.
    const int32_t side = Zug.Side == -1 ? -1 : 1;
    return !IsSquareAttacked(FindKing(side != 1, Brett), -side, Brett);
}

} // namespace kb
