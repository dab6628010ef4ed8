// SPDX-License-Identifier: GPL-3.0-or-later
// Attacks, move targets, legality and the Chess960 functions.
#include "SchachProcs.h"

#include <mutex>
#include <random>

namespace kb {
namespace {

constexpr std::array<bool, 120> MakeOnBoard() {
    std::array<bool, 120> on{};
    for (int i = 0; i < 120; ++i)
        on[i] = i >= 21 && i <= 98 && i % 10 >= 1 && i % 10 <= 8;
    return on;
}
constexpr std::array<bool, 120> OnBoardTable = MakeOnBoard();

// Every walk checks the index itself, so a board whose border cells were
// overwritten still never reads outside the array.
inline bool On(int32_t i) {
    return i >= 0 && i < 120 && OnBoardTable[static_cast<size_t>(i)];
}

// Colour 1 is White; any other value counts as Black.
inline int32_t Colour(int32_t Side) {
    return Side == 1 ? 1 : -1;
}

inline bool IsPiece(int32_t v) {
    return v != 0 && v >= -6 && v <= 6;
}
inline bool IsEnemy(int32_t v, int32_t s) {
    return IsPiece(v) && (v > 0) != (s > 0);
}

template <size_t N>
void SlideAttackers(int32_t Square, const std::array<int32_t, N>& Offsets, int32_t Sought,
                    const TSchachbrett& B, TSquareList& L) {
    for (int32_t off : Offsets) {
        int32_t t = Square + off;
        while (On(t) && B[t] == 0)
            t += off;
        if (On(t) && B[t] == Sought) L.push_back(t);
    }
}

template <size_t N>
void StepAttackers(int32_t Square, const std::array<int32_t, N>& Offsets, int32_t Sought,
                   const TSchachbrett& B, TSquareList& L) {
    for (int32_t off : Offsets) {
        const int32_t t = Square + off;
        if (On(t) && B[t] == Sought) L.push_back(t);
    }
}

template <size_t N>
bool SlideHits(int32_t Square, const std::array<int32_t, N>& Offsets, int32_t A, int32_t Bv,
               const TSchachbrett& B) {
    for (int32_t off : Offsets) {
        int32_t t = Square + off;
        while (On(t) && B[t] == 0)
            t += off;
        if (On(t) && (B[t] == A || B[t] == Bv)) return true;
    }
    return false;
}

template <size_t N>
bool StepHits(int32_t Square, const std::array<int32_t, N>& Offsets, int32_t Sought,
              const TSchachbrett& B) {
    for (int32_t off : Offsets) {
        const int32_t t = Square + off;
        if (On(t) && B[t] == Sought) return true;
    }
    return false;
}

// The attack test without lists: it runs for every castling square and every
// legality check, so it must not allocate.
bool Attacked(int32_t Square, int32_t Side, const TSchachbrett& B) {
    if (!On(Square)) return true;
    const int32_t e = -Colour(Side);
    if (SlideHits(Square, RookOffsets, Dame * e, Turm * e, B)) return true;
    if (SlideHits(Square, BishopOffsets, Dame * e, Laeufer * e, B)) return true;
    if (StepHits(Square, KnightOffsets, Springer * e, B)) return true;
    const int32_t p1 = Square - 9 * e, p2 = Square - 11 * e;
    if ((On(p1) && B[p1] == e) || (On(p2) && B[p2] == e)) return true;
    return StepHits(Square, KingOffsets, Koenig * e, B);
}

template <size_t N>
void SlideTargets(int32_t From, int32_t s, const std::array<int32_t, N>& Offsets,
                  const TSchachbrett& B, TSquareList& L) {
    for (int32_t off : Offsets) {
        for (int32_t t = From + off; On(t); t += off) {
            const int32_t v = B[t];
            if (v == 0) {
                L.push_back(t);
                continue;
            }
            if (IsEnemy(v, s)) L.push_back(t);
            break;
        }
    }
}

template <size_t N>
void StepTargets(int32_t From, int32_t s, const std::array<int32_t, N>& Offsets,
                 const TSchachbrett& B, TSquareList& L) {
    for (int32_t off : Offsets) {
        const int32_t t = From + off;
        if (On(t) && (B[t] == 0 || IsEnemy(B[t], s))) L.push_back(t);
    }
}

bool Empty(int32_t Sq, const TSchachbrett& B) {
    return On(Sq) && B[Sq] == 0;
}

// Standard castling from e1 / e8.
void StandardCastling(int32_t From, const TZug& Zug, const TSchachbrett& B, TSquareList& L) {
    const int32_t s = Colour(Zug.Side);
    const int32_t base = s > 0 ? 20 : 90; // a1 = base + 1
    const uint8_t shortBit = s > 0 ? WhiteShort : BlackShort;
    const uint8_t longBit = s > 0 ? WhiteLong : BlackLong;
    const int32_t e = base + 5;
    if (From != e || B[e] != Koenig * s) return;
    if ((Zug.CastlingRights & shortBit) && B[base + 8] == Turm * s && Empty(base + 6, B) &&
        !Attacked(base + 6, s, B) && Empty(base + 7, B) && !Attacked(base + 7, s, B) &&
        !Attacked(e, s, B))
        L.push_back(base + 7);
    if ((Zug.CastlingRights & longBit) && B[base + 1] == Turm * s && Empty(base + 2, B) &&
        Empty(base + 4, B) && !Attacked(base + 4, s, B) && Empty(base + 3, B) &&
        !Attacked(base + 3, s, B) && !Attacked(e, s, B))
        L.push_back(base + 3);
}

// Squares strictly after From up to and including To along one rank.
template <typename Fn> bool EachSquareToward(int32_t From, int32_t To, Fn&& Check) {
    if (From == To) return true;
    const int32_t step = To > From ? 1 : -1;
    for (int32_t sq = From + step;; sq += step) {
        if (!Check(sq)) return false;
        if (sq == To) return true;
    }
}

bool OnRank(int32_t Sq, int32_t Base) {
    return Sq > Base && Sq <= Base + 8;
}

// One Chess960 castling: king K to KingTo, rook R to RookTo.
bool FischerCastlingFree(int32_t K, int32_t R, int32_t KingTo, int32_t RookTo, int32_t s,
                         const TSchachbrett& B) {
    const bool kingPath = EachSquareToward(
        K, KingTo, [&](int32_t sq) { return (B[sq] == 0 || sq == R) && !Attacked(sq, s, B); });
    if (!kingPath) return false;
    return EachSquareToward(R, RookTo, [&](int32_t sq) { return B[sq] == 0 || sq == K; });
}

// Chess960 castling targets (positive king destinations) of the king on From.
void FischerCastling(int32_t From, const TZug& Zug, const TSchachbrett& B, const TFischerInfo& FI,
                     TSquareList& L) {
    const int32_t s = Colour(Zug.Side);
    const int32_t base = s > 0 ? 20 : 90;
    const int32_t K = s > 0 ? FI.WhiteKing : FI.BlackKing;
    if (From != K || !OnRank(K, base) || B[K] != Koenig * s || Attacked(K, s, B)) return;
    const uint8_t shortBit = s > 0 ? WhiteShort : BlackShort;
    const uint8_t longBit = s > 0 ? WhiteLong : BlackLong;
    const int32_t rookH = s > 0 ? FI.WhiteRookH : FI.BlackRookH;
    const int32_t rookA = s > 0 ? FI.WhiteRookA : FI.BlackRookA;
    if ((Zug.CastlingRights & shortBit) && OnRank(rookH, base) && rookH > K &&
        B[rookH] == Turm * s && FischerCastlingFree(K, rookH, base + 7, base + 6, s, B))
        L.push_back(base + 7);
    if ((Zug.CastlingRights & longBit) && OnRank(rookA, base) && rookA < K &&
        B[rookA] == Turm * s && FischerCastlingFree(K, rookA, base + 3, base + 4, s, B))
        L.push_back(base + 3);
}

// The mover's king is safe on the board after the move.
bool KingSafe(const TSchachbrett& B, int32_t s) {
    const int32_t k = FindKing(s > 0, B);
    return k >= 0 && !Attacked(k, s, B);
}

template <typename Fn> int Guarded(TSquareList* List, Fn&& Fill) {
    if (!List) return -1;
    try {
        List->clear();
        Fill(*List);
        return 0;
    } catch (...) {
        List->clear();
        return -1;
    }
}

bool Contains(const TSquareList& L, int32_t v) {
    for (int32_t x : L)
        if (x == v) return true;
    return false;
}

bool LegalKingMove(const TSchachbrett& Brett, const TZug& Zug, const TFischerInfo* FI) {
    const int32_t s = Colour(Zug.Side);
    const int32_t p = Brett[Zug.From];
    const bool fischer = IsFischer(FI);
    // The board marks a Chess960 castling attempt with kind 3 (or 4): then
    // only castling counts, since its target may equal a plain king step.
    const bool castlingOnly = fischer && (Zug.CastlingKind == 3 || Zug.CastlingKind == 4);

    // Reused: legality runs for every candidate move of a position.
    thread_local TSquareList steps;
    steps.clear();
    StepTargets(Zug.From, s, KingOffsets, Brett, steps);
    if (!castlingOnly && Contains(steps, Zug.To)) {
        TSchachbrett b = Brett;
        b[Zug.To] = p;
        b[Zug.From] = 0;
        // A castling to the same square is never legal when the step is not.
        if (KingSafe(b, s)) return true;
    }

    thread_local TSquareList castles;
    castles.clear();
    if (fischer)
        FischerCastling(Zug.From, Zug, Brett, *FI, castles);
    else
        StandardCastling(Zug.From, Zug, Brett, castles);
    if (!Contains(castles, Zug.To)) return false;

    const int32_t base = s > 0 ? 20 : 90;
    const bool isShort = Zug.To == base + 7;
    TSchachbrett b = Brett;
    int32_t rookFrom, rookTo = isShort ? base + 6 : base + 4;
    if (fischer) {
        rookFrom = isShort ? (s > 0 ? FI->WhiteRookH : FI->BlackRookH)
                           : (s > 0 ? FI->WhiteRookA : FI->BlackRookA);
    } else {
        rookFrom = isShort ? base + 8 : base + 1;
    }
    // Both leave first: the rook may start on the king's target and the
    // king on the rook's.
    b[Zug.From] = 0;
    b[rookFrom] = 0;
    b[rookTo] = Turm * s;
    b[Zug.To] = p;
    return KingSafe(b, s);
}

bool LegalMove(const TSchachbrett& Brett, const TZug& Zug, const TFischerInfo* FI) {
    if (!On(Zug.From) || !On(Zug.To)) return false;
    const int32_t p = Brett[Zug.From];
    if (!IsPiece(p)) return false;
    const int32_t s = Colour(Zug.Side);
    if ((p > 0) != (s > 0)) return false;
    if (Zug.Promotion != 0) {
        const int32_t kind = Zug.Promotion * s;
        if (kind != Dame && kind != Turm && kind != Laeufer && kind != Springer) return false;
    }

    const int32_t kind = p < 0 ? -p : p;
    if (kind == Koenig) return LegalKingMove(Brett, Zug, FI);

    thread_local TSquareList list;
    switch (kind) {
    case Bauer:
        CollectPawnTargets(Zug.From, Zug, Brett, &list);
        break;
    case Turm:
        CollectRookTargets(Zug.From, s, Brett, &list);
        break;
    case Laeufer:
        CollectBishopTargets(Zug.From, s, Brett, &list);
        break;
    case Springer:
        CollectKnightTargets(Zug.From, s, Brett, &list);
        break;
    case Dame:
        CollectQueenTargets(Zug.From, s, Brett, &list);
        break;
    default:
        return false;
    }
    if (!Contains(list, Zug.To)) return false;

    TSchachbrett b = Brett;
    const int32_t diff = Zug.To - Zug.From;
    const bool enPassant = kind == Bauer && Zug.To == Zug.EnPassant && Brett[Zug.To] == 0 &&
                           (diff == 9 * s || diff == 11 * s);
    b[Zug.To] = p;
    b[Zug.From] = 0;
    if (enPassant) b[Zug.To - 10 * s] = 0;
    return KingSafe(b, s);
}

} // namespace

int CollectQueenAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                          TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(Square)) SlideAttackers(Square, QueenOffsets, Dame * kb::Colour(Colour), Brett, L);
    });
}

int CollectRookAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                         TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(Square)) SlideAttackers(Square, RookOffsets, Turm * kb::Colour(Colour), Brett, L);
    });
}

int CollectBishopAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                           TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(Square))
            SlideAttackers(Square, BishopOffsets, Laeufer * kb::Colour(Colour), Brett, L);
    });
}

int CollectKnightAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                           TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(Square))
            StepAttackers(Square, KnightOffsets, Springer * kb::Colour(Colour), Brett, L);
    });
}

int CollectKingAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                         TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(Square)) StepAttackers(Square, KingOffsets, Koenig * kb::Colour(Colour), Brett, L);
    });
}

int CollectPawnAttackers(int32_t Square, int32_t Colour, const TSchachbrett& Brett,
                         TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (!On(Square)) return;
        const int32_t c = kb::Colour(Colour);
        for (int32_t sq : {Square - 9 * c, Square - 11 * c})
            if (On(sq) && Brett[sq] == c) L.push_back(sq);
    });
}

bool IsSquareAttacked(int32_t Square, int32_t Colour, const TSchachbrett& Brett) {
    return Attacked(Square, Colour, Brett);
}

int CollectQueenTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(From)) SlideTargets(From, Colour(Side), QueenOffsets, Brett, L);
    });
}

int CollectRookTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(From)) SlideTargets(From, Colour(Side), RookOffsets, Brett, L);
    });
}

int CollectBishopTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(From)) SlideTargets(From, Colour(Side), BishopOffsets, Brett, L);
    });
}

int CollectKnightTargets(int32_t From, int32_t Side, const TSchachbrett& Brett, TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (On(From)) StepTargets(From, Colour(Side), KnightOffsets, Brett, L);
    });
}

int CollectKingTargets(int32_t From, const TZug& Zug, const TSchachbrett& Brett,
                       TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (!On(From)) return;
        StepTargets(From, Colour(Zug.Side), KingOffsets, Brett, L);
        StandardCastling(From, Zug, Brett, L);
    });
}

int CollectPawnTargets(int32_t From, const TZug& Zug, const TSchachbrett& Brett,
                       TSquareList* List) {
    return Guarded(List, [&](TSquareList& L) {
        if (!On(From)) return;
        const int32_t s = Colour(Zug.Side);
        const int32_t one = From + 10 * s;
        if (Empty(one, Brett)) {
            L.push_back(one);
            const bool startRank = s > 0 ? (From >= 31 && From <= 38) : (From >= 81 && From <= 88);
            if (startRank && Empty(one + 10 * s, Brett)) L.push_back(one + 10 * s);
        }
        for (int32_t off : {9 * s, 11 * s}) {
            const int32_t t = From + off;
            if (!On(t)) continue;
            if (IsEnemy(Brett[t], s)) {
                L.push_back(t);
            } else if (t == Zug.EnPassant && Brett[t] == 0 && Brett[t - 10 * s] == -s) {
                // En passant only onto the empty square behind an enemy pawn.
                L.push_back(t);
            }
        }
    });
}

int KingTargetsFischer(int32_t From, const TZug& Zug, const TSchachbrett& Brett, TSquareList* List,
                       const TFischerInfo* FischerInfo) {
    if (!IsFischer(FischerInfo)) return CollectKingTargets(From, Zug, Brett, List);
    return Guarded(List, [&](TSquareList& L) {
        if (!On(From)) return;
        StepTargets(From, Colour(Zug.Side), KingOffsets, Brett, L);
        TSquareList castles;
        FischerCastling(From, Zug, Brett, *FischerInfo, castles);
        for (int32_t t : castles)
            L.push_back(-t);
    });
}

uint8_t StandingCastlingRights(const TSchachbrett& Brett, uint8_t Rights,
                               const TFischerInfo* FischerInfo) {
    struct TRight {
        uint8_t Bit;
        int32_t Colour;
        bool Short;
    };
    static constexpr TRight rights[] = {{WhiteShort, 1, true},
                                        {WhiteLong, 1, false},
                                        {BlackShort, -1, true},
                                        {BlackLong, -1, false}};
    for (const TRight& r : rights) {
        if (!(Rights & r.Bit)) continue;
        const int32_t base = r.Colour > 0 ? 20 : 90;
        TCastlingSquares c;
        const bool stands = CastlingSquares(r.Colour, r.Short, FischerInfo, c) &&
                            OnRank(c.KingFrom, base) && OnRank(c.RookFrom, base) &&
                            Brett[c.KingFrom] == Koenig * r.Colour &&
                            Brett[c.RookFrom] == Turm * r.Colour &&
                            (r.Short ? c.RookFrom > c.KingFrom : c.RookFrom < c.KingFrom);
        if (!stands) Rights = static_cast<uint8_t>(Rights & ~r.Bit);
    }
    return Rights;
}

int32_t StandingEnPassant(const TSchachbrett& Brett, int32_t Square, int32_t Side) {
    // White to move: a black pawn went from rank 7 over Square to rank 5.
    const int32_t ahead = Side == 1 ? 10 : -10;
    const bool onRank = Side == 1 ? Square >= 71 && Square <= 78 : Square >= 41 && Square <= 48;
    if (!onRank || (Side != 1 && Side != -1)) return 0;
    if (Brett[Square] != 0 || Brett[Square + ahead] != 0 || Brett[Square - ahead] != -Side * Bauer)
        return 0;
    return Square;
}

bool IsLegalMove(TSchachbrett Brett, TZug Zug, const TFischerInfo* FischerInfo) {
    try {
        return LegalMove(Brett, Zug, FischerInfo);
    } catch (...) {
        return false;
    }
}

int32_t FindKing(bool White, const TSchachbrett& Brett) {
    const int32_t k = White ? Koenig : -Koenig;
    for (uint8_t sq = 0; sq < 64; ++sq) {
        const uint8_t i = Index64To120(sq);
        if (Brett[i] == k) return i;
    }
    return -1;
}

bool IsFischer(const TFischerInfo* FischerInfo) {
    return FischerInfo && FischerInfo->Fischer;
}

void FischerInfoFromStellung(PFischerInfo FischerInfo, const TSchachbrett& Brett) {
    if (!FischerInfo) return;
    TFischerInfo& fi = *FischerInfo;
    fi.Fischer = true;
    fi.WhiteRookA = fi.WhiteRookH = fi.BlackRookA = fi.BlackRookH = 0;
    for (uint8_t sq = 0; sq < 64; ++sq) {
        const uint8_t i = Index64To120(sq);
        if (Brett[i] == Koenig) fi.WhiteKing = i;
        if (Brett[i] == -Koenig) fi.BlackKing = i;
    }
    // Castling rooks stand on the home rank, the outermost one on each side
    // of the king.
    for (int32_t s : {1, -1}) {
        const int32_t base = s > 0 ? 20 : 90;
        const int32_t k = s > 0 ? fi.WhiteKing : fi.BlackKing;
        int32_t& a = s > 0 ? fi.WhiteRookA : fi.BlackRookA;
        int32_t& h = s > 0 ? fi.WhiteRookH : fi.BlackRookH;
        if (!OnRank(k, base) || Brett[k] != Koenig * s) continue;
        for (int32_t sq = base + 1; sq < k; ++sq)
            if (Brett[sq] == Turm * s && a == 0) a = sq;
        for (int32_t sq = base + 8; sq > k; --sq)
            if (Brett[sq] == Turm * s && h == 0) h = sq;
    }
}

bool IsStandardStartPosition(const TSchachbrett& Brett) {
    return Brett == StandardStellung;
}

bool IsFischerStartPosition(const TSchachbrett& Brett) {
    for (uint8_t sq = 0; sq < 64; ++sq) {
        const int32_t v = Brett[Index64To120(sq)];
        const int rank = sq / 8 + 1;
        bool ok;
        if (rank == 1)
            ok = v > 0 && v <= Koenig;
        else if (rank == 2)
            ok = v == Bauer;
        else if (rank == 7)
            ok = v == -Bauer;
        else if (rank == 8)
            ok = v < 0 && v >= -Koenig;
        else
            ok = v == 0;
        if (!ok) return false;
    }
    bool same = true;
    for (uint8_t sq = 0; sq < 64 && same; ++sq)
        same = Brett[Index64To120(sq)] == StandardStellung[Index64To120(sq)];
    if (same) return false;
    // With king and rooks on their standard squares castling is the
    // standard one, so such a position is played as standard chess.
    return Brett[25] != Koenig || Brett[21] != Turm || Brett[28] != Turm || Brett[95] != -Koenig ||
           Brett[91] != -Turm || Brett[98] != -Turm;
}

TSchachbrett RandomFischerStellung(const TRandomFn& Random) {
    TSchachbrett b = StandardStellung;
    for (int32_t sq = 21; sq <= 28; ++sq)
        b[sq] = 0;
    auto draw = [&](int n) {
        const int v = Random ? Random(n) : 0;
        return ((v % n) + n) % n;
    };
    b[21 + 2 * draw(4)] = Laeufer;
    b[22 + 2 * draw(4)] = Laeufer;
    // The r-th free square, so that every arrangement is equally likely.
    auto place = [&](int n, int32_t piece) {
        int r = draw(n);
        for (int32_t sq = 21; sq <= 28; ++sq) {
            if (b[sq] != 0) continue;
            if (r-- == 0) {
                b[sq] = piece;
                return;
            }
        }
    };
    place(6, Dame);
    place(5, Springer);
    place(4, Springer);
    place(1, Turm);
    place(1, Koenig);
    place(1, Turm);
    for (int32_t f = 1; f <= 8; ++f)
        b[90 + f] = -b[20 + f];
    return b;
}

TSchachbrett RandomFischerStellung() {
    static std::mutex m;
    static std::mt19937 gen{std::random_device{}()};
    std::lock_guard<std::mutex> lock(m);
    return RandomFischerStellung(
        [](int n) { return std::uniform_int_distribution<int>(0, n - 1)(gen); });
}

} // namespace kb
