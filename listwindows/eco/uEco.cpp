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

int PieceCount(const TSchachbrett& Brett) {
    int n = 0;
    for (int sq = 0; sq < 64; ++sq)
        n += Brett[Index64To120(static_cast<uint8_t>(sq))] != 0;
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
            FMinPieces = std::min(FMinPieces, PieceCount(b));
            const TEcoKey key = EcoKey(b, z);
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
    for (int sq = 0; sq < 64; ++sq) {
        const uint64_t nibble =
            static_cast<uint64_t>(Brett[Index64To120(static_cast<uint8_t>(sq))]) & 0xf;
        k.Placement[static_cast<size_t>(sq / 16)] |= nibble << (4 * (sq % 16));
    }
    // The en-passant square counts only where the FEN writes it: on the
    // rank behind a pawn of the side that is not to move.
    const int32_t ep = Zug.EnPassant;
    const bool epFits = Zug.Side == 1 ? ep >= 71 && ep <= 78 : ep >= 41 && ep <= 48;
    k.State = (Zug.Side == 1 ? 1u : 0u) | (Zug.CastlingRights & AllCastlingRights) |
              (epFits ? static_cast<uint32_t>(ep) << 8 : 0u);
    return k;
}

int FindEcoRow(const TEcoKey& Key) {
    return Index().Find(Key);
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
    FLoaded = N.LoadPGN(Text) == 0 && !N.ActiveFischerInfo();
    // A FEN tag the reader rejects leaves the standard board in its place:
    // that is not the game.
    if (FLoaded && !N.GameData.EventData.FEN.empty()) {
        TSchachbrett b{};
        TZug z{};
        uint16_t moveNo = 1;
        FLoaded = FENToStellung(N.GameData.EventData.FEN, b, z, moveNo, nullptr);
    }
    if (!FLoaded) return false;

    // One pass forward over the main line; the deepest hit wins.
    const TEcoIndex& index = Index();
    N.WorkBoard = N.GameData.Stellung;
    int best = PieceCount(N.WorkBoard) >= index.MinPieces()
                   ? index.Find(EcoKey(N.WorkBoard, N.GameData.Zug))
                   : -1;
    int pieces = PieceCount(N.WorkBoard);
    for (const TBaum* n = N.RootLine ? N.RootLine->Erster : nullptr; n; n = n->Next) {
        N.WorkMove = n->Zug;
        N.DoMove();
        if (n->Zug.Captured != 0 || n->Zug.EnPassantVictim != 0) pieces = PieceCount(N.WorkBoard);
        if (pieces < index.MinPieces()) break;
        const int row = index.Find(EcoKey(N.WorkBoard, n->Zug));
        if (row >= 0) best = row;
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
