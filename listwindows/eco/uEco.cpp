// SPDX-License-Identifier: GPL-3.0-or-later
#include "uEco.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace kb {

namespace {

uint64_t Mix(uint64_t H, uint64_t V) {
    H ^= V + 0x9e3779b97f4a7c15ULL + (H << 6) + (H >> 2);
    return H;
}

uint64_t HashKey(const TEcoKey& K) {
    uint64_t h = K.State;
    for (const uint64_t p : K.Placement)
        h = Mix(h, p);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

// Square number 0..63 of a mailbox index, -1 off the board.
int SquareOf(int32_t Index) {
    const int32_t rank = Index / 10 - 2, file = Index % 10 - 1;
    return rank >= 0 && rank < 8 && file >= 0 && file < 8 ? rank * 8 + file : -1;
}

void SetSquare(TEcoKey& K, int Square, int32_t Piece) {
    uint64_t& word = K.Placement[static_cast<size_t>(Square / 16)];
    const int shift = 4 * (Square % 16);
    word = (word & ~(0xfULL << shift)) | ((static_cast<uint64_t>(Piece) & 0xf) << shift);
}

// Two positions are the same when the same moves are possible: the
// en-passant square counts only when a pawn of the side to move can take
// en passant without leaving its king in check. Board and record are the
// position after the double step (or as a FEN reads it).
bool EnPassantCapturable(const TSchachbrett& Brett, const TZug& Zug) {
    const int32_t ep = Zug.EnPassant, side = Zug.Side;
    // Only where the FEN writes it: on the rank behind a pawn of the side
    // that is not to move.
    if (side == 1 ? ep < 71 || ep > 78 : side != -1 || ep < 41 || ep > 48) return false;
    const int32_t victim = ep - 10 * side;
    if (Brett[static_cast<size_t>(ep)] != 0 || Brett[static_cast<size_t>(victim)] != -side * Bauer)
        return false;
    for (const int32_t from : {victim - 1, victim + 1}) {
        if (Brett[static_cast<size_t>(from)] != side * Bauer) continue;
        TSchachbrett after = Brett;
        after[static_cast<size_t>(ep)] = side * Bauer;
        after[static_cast<size_t>(from)] = 0;
        after[static_cast<size_t>(victim)] = 0;
        const int32_t king = FindKing(side == 1, after);
        if (king >= 0 && !IsSquareAttacked(king, side, after)) return true;
    }
    return false;
}

uint32_t StateOf(const TSchachbrett& Brett, const TZug& Zug) {
    return (Zug.Side == 1 ? 1u : 0u) | (Zug.CastlingRights & AllCastlingRights) |
           (EnPassantCapturable(Brett, Zug) ? static_cast<uint32_t>(Zug.EnPassant) << 8 : 0u);
}

// Occupied squares: nibbles that are not 0.
int PieceCount(const TEcoKey& K) {
    int n = 0;
    for (const uint64_t w : K.Placement)
        n += std::popcount((w | w >> 1 | w >> 2 | w >> 3) & 0x1111111111111111ULL);
    return n;
}

// Position -> first row, open addressing. Built once from the table's FENs.
class TEcoIndex {
public:
    TEcoIndex() {
        for (int row = 0; row < EcoRowCount; ++row) {
            TSchachbrett b{};
            TZug z{};
            uint16_t moveNo = 1;
            if (!FENToStellung(EcoTable[static_cast<size_t>(row)].FEN, b, z, moveNo, nullptr))
                continue;
            const TEcoKey key = EcoKey(b, z);
            FMinPieces = std::min(FMinPieces, PieceCount(key));
            size_t i = HashKey(key) & Mask;
            while (FSlots[i].Row >= 0 && !(FSlots[i].Key == key))
                i = (i + 1) & Mask;
            if (FSlots[i].Row < 0)
                FSlots[i] = {key, row}; // a repeated position keeps its first row
        }
    }

    int Find(const TEcoKey& Key) const {
        for (size_t i = HashKey(Key) & Mask;; i = (i + 1) & Mask) {
            if (FSlots[i].Row < 0) return -1;
            if (FSlots[i].Key == Key) return FSlots[i].Row;
        }
    }

    // Pieces never come back: a position with fewer than every table
    // position has, and every later one, is in no row.
    int MinPieces() const { return FMinPieces; }

private:
    static constexpr size_t Size = 4096; // at most half full
    static constexpr size_t Mask = Size - 1;
    static_assert(std::has_single_bit(Size) && Size >= 2 * EcoRowCount);
    struct TSlot {
        TEcoKey Key;
        int Row = -1;
    };
    std::vector<TSlot> FSlots = std::vector<TSlot>(Size);
    int FMinPieces = 32;
};

const TEcoIndex& Index() {
    static const TEcoIndex index;
    return index;
}

} // namespace

TEcoKey EcoKey(const TSchachbrett& Brett, const TZug& Zug) {
    TEcoKey k;
    for (int rank = 0; rank < 8; ++rank)
        for (int file = 0; file < 8; ++file)
            SetSquare(k, rank * 8 + file, Brett[static_cast<size_t>(21 + rank * 10 + file)]);
    k.State = StateOf(Brett, Zug);
    return k;
}

int FindEcoRow(const TEcoKey& Key) {
    return Index().Find(Key);
}

bool LoadForEco(TNotation& N, std::string_view Text) {
    // Blank text is no game: written back it would become one.
    const bool blank = Text.find_first_not_of(" \t\r\n") == std::string_view::npos;
    if (N.LoadPGN(Text) != 0 || blank || N.ActiveFischerInfo()) return false;
    // A FEN tag the reader rejects leaves the standard board in its place:
    // that is not the game.
    if (N.GameData.EventData.FEN.empty()) return true;
    TSchachbrett b{};
    TZug z{};
    uint16_t moveNo = 1;
    return FENToStellung(N.GameData.EventData.FEN, b, z, moveNo, nullptr);
}

TfrmEco::TfrmEco() {
    Notation1.OnMoveChange = [this](TNotation* Sender, TZug Zug, TSchachbrett Stellung,
                                    bool NextMove) {
        Notation1MoveChange(Sender, Zug, Stellung, NextMove);
    };
}

void TfrmEco::Notation1MoveChange(TNotation*, TZug Zug, TSchachbrett Stellung, bool) {
    CurrentFEN = StellungToFEN(Stellung, Zug, 1, false);
}

bool TfrmEco::FindEco() {
    TSchachbrett b{};
    TZug z{};
    uint16_t moveNo = 1;
    if (!FENToStellung(CurrentFEN, b, z, moveNo, nullptr)) return false;
    const int row = FindEcoRow(EcoKey(b, z));
    if (row < 0) return false;
    const TEcoRow& r = EcoTable[static_cast<size_t>(row)];
    Code = r.Code;
    Opening = r.Opening;
    Variation = r.Variation;
    return true;
}

bool TfrmEco::Classify(std::string_view Text) {
    Code.clear();
    Opening.clear();
    Variation.clear();
    TNotation& N = Notation1;
    FLoaded = LoadForEco(N, Text);
    if (!FLoaded) return false;

    // One pass forward over the main line; the deepest hit wins. The key
    // follows the moves square by square: only the squares a move touches
    // are read again.
    const TEcoIndex& index = Index();
    TSchachbrett& b = N.WorkBoard;
    b = N.GameData.Stellung;
    TEcoKey key = EcoKey(b, N.GameData.Zug);
    int pieces = PieceCount(key);
    int best = pieces >= index.MinPieces() ? index.Find(key) : -1;
    for (const TBaum* n = N.RootLine ? N.RootLine->Erster : nullptr; n; n = n->Next) {
        const TZug& z = n->Zug;
        N.WorkMove = z;
        N.DoMove();
        for (const int32_t idx : {z.From, z.To, z.EnPassantVictim})
            if (const int sq = SquareOf(idx); sq >= 0)
                SetSquare(key, sq, b[static_cast<size_t>(idx)]);
        if (z.CastlingKind != 0)
            for (const int32_t idx : {21, 24, 26, 28, 91, 94, 96, 98})
                SetSquare(key, SquareOf(idx), b[static_cast<size_t>(idx)]);
        key.State = StateOf(b, z);
        if (z.Captured != 0 || z.EnPassantVictim != 0) pieces = PieceCount(key);
        if (pieces < index.MinPieces()) break;
        if (const int row = index.Find(key); row >= 0) best = row;
    }
    // The notation stays at its start position, as the load left it.
    N.WorkBoard = N.GameData.Stellung;
    N.WorkMove = N.GameData.Zug;
    if (best < 0) return false;
    const TEcoRow& r = EcoTable[static_cast<size_t>(best)];
    Code = r.Code;
    Opening = r.Opening;
    Variation = r.Variation;
    return true;
}

bool TfrmEco::ClassifyGame(std::string_view Text, std::string& Out) {
    Classify(Text);
    std::string pgn;
    if (FLoaded) {
        Notation1.GameData.EventData.ECO = Code;
        if (Notation1.GetPGN(pgn) == 0) {
            Out = std::move(pgn);
            return true;
        }
    }
    if (Text.data() != Out.data() || Text.size() != Out.size()) Out.assign(Text);
    return false;
}

} // namespace kb
