// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineTools.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace kb {

namespace {

int SquareOf(int File, int Rank) {
    return (Rank + 1) * 10 + File;
} // both 1-based

// True when a piece on From shares a rank, file or diagonal with the king.
bool InLineWith(int From, int King) {
    const int df = From % 10 - King % 10, dr = From / 10 - King / 10;
    return df == 0 || dr == 0 || df == dr || df == -dr;
}

uint64_t Perft(TMiniMax& e, int depth) {
    e.ZugGenerator(1);
    const int ply = e.Ply();
    const int first = e.FirstMove(ply), last = e.LastMove(ply);
    const int side = e.Side();
    const int king = e.KingSquare(side);
    const bool inCheck = e.Angegriffen(king, -side);
    uint64_t n = 0;
    for (int i = first; i < last; ++i) {
        const TMMZug& m = e.Move(i);
        const auto& b = e.Board();
        // Out of check, a move by a piece off every line through its king
        // cannot uncover an attack on it: no test needed. King moves,
        // castling and en passant (two pieces leave) are always tested.
        const bool enPassant = std::abs(b[m.From]) == 1 && m.From % 10 != m.To % 10 && b[m.To] == 0;
        const bool safe =
            !inCheck && m.From != king && m.Castle == 0 && !enPassant && !InLineWith(m.From, king);
        if (safe && depth <= 1) {
            ++n;
            continue;
        }
        e.ZugAusfuehren(i);
        // The mover's king must not be left attacked.
        if (safe || !e.Angegriffen(e.KingSquare(-e.Side()), e.Side()))
            n += depth <= 1 ? 1 : Perft(e, depth - 1);
        e.ZugZuruecknehmen(i);
    }
    return n;
}

} // namespace

bool EngineFenLesen(std::string_view Fen, TMiniMaxBrett& Brett, TEngineZug& Zug,
                    TEngineFischerInfo& Fischer) {
    std::istringstream in{std::string(Fen)};
    std::string placement, side = "w", castling = "-", ep = "-";
    if (!(in >> placement)) return false;
    in >> side >> castling >> ep;

    Brett.fill(100);
    for (int rank = 1; rank <= 8; ++rank)
        for (int file = 1; file <= 8; ++file)
            Brett[SquareOf(file, rank)] = 0;
    int rank = 8, file = 1;
    for (char c : placement) {
        if (c == '/') {
            if (file != 9 || rank == 1) return false;
            --rank;
            file = 1;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 9) return false;
        } else {
            const std::string_view letters = "prbnqk";
            const size_t k = letters.find(static_cast<char>(std::tolower(c)));
            if (k == std::string_view::npos || file > 8) return false;
            const int code = static_cast<int>(k) + 1;
            Brett[SquareOf(file, rank)] =
                std::isupper(static_cast<unsigned char>(c)) ? code : -code;
            ++file;
        }
    }
    if (rank != 1 || file != 9) return false;

    Zug = TEngineZug{};
    if (side == "w")
        Zug.Side = 1;
    else if (side == "b")
        Zug.Side = -1;
    else
        return false;

    int whiteKing = 0, blackKing = 0;
    for (int sq = 21; sq <= 98; ++sq) {
        if (Brett[sq] == 6) whiteKing = sq;
        if (Brett[sq] == -6) blackKing = sq;
    }
    Fischer = TEngineFischerInfo{};
    Fischer.WhiteKing = whiteKing;
    Fischer.BlackKing = blackKing;
    bool fischer = false;
    // Outermost rook of a colour on one wing of its king, 0 when none.
    auto outerRook = [&](int king, int rook, bool hSide) {
        if (king == 0) return 0;
        const int step = hSide ? 1 : -1;
        int found = 0;
        for (int sq = king + step; Brett[sq] != 100; sq += step)
            if (Brett[sq] == rook) found = sq;
        return found;
    };
    if (castling != "-") {
        for (char c : castling) {
            const bool white = std::isupper(static_cast<unsigned char>(c));
            const char lower = static_cast<char>(std::tolower(c));
            const int king = white ? whiteKing : blackKing;
            const int homeRank = white ? 1 : 8;
            if (king == 0 || king / 10 != homeRank + 1) continue; // stale right
            int rook = 0;
            bool hSide;
            if (lower == 'k' || lower == 'q') {
                hSide = lower == 'k';
                rook = outerRook(king, white ? 2 : -2, hSide);
                const int corner = SquareOf(hSide ? 8 : 1, homeRank);
                if (king % 10 != 5 || (rook != 0 && rook != corner)) fischer = true;
            } else if (lower >= 'a' && lower <= 'h') {
                rook = SquareOf(lower - 'a' + 1, homeRank);
                hSide = rook > king;
                // A file that holds no rook of that colour names no right:
                // no FEN, as for perft.
                if (Brett[rook] != (white ? 2 : -2)) return false;
                const int corner = SquareOf(hSide ? 8 : 1, homeRank);
                if (rook != 0 && (king % 10 != 5 || rook != corner)) fischer = true;
            } else {
                return false;
            }
            if (rook == 0) continue;
            const uint8_t bit = white ? (hSide ? 2 : 4) : (hSide ? 8 : 16);
            Zug.CastlingRights |= bit;
            int& slot = white ? (hSide ? Fischer.WhiteRookH : Fischer.WhiteRookA)
                              : (hSide ? Fischer.BlackRookH : Fischer.BlackRookA);
            slot = rook;
        }
    }
    Fischer.Fischer = fischer;
    if (!fischer) {
        // Standard castling squares only; the rules look at the corners.
        Fischer = TEngineFischerInfo{};
    }

    if (ep != "-") {
        if (ep.size() != 2 || ep[0] < 'a' || ep[0] > 'h' || (ep[1] != '3' && ep[1] != '6'))
            return false;
        // Only a square a pawn of the side not to move has just passed:
        // the engine would take a pawn that is not there.
        const int sq = SquareOf(ep[0] - 'a' + 1, ep[1] - '0');
        const int ahead = 10 * Zug.Side;
        if (ep[1] == (Zug.Side == 1 ? '6' : '3') && Brett[sq] == 0 && Brett[sq + ahead] == 0 &&
            Brett[sq - ahead] == -Zug.Side)
            Zug.EnPassant = sq;
    }
    return true;
}

uint64_t EnginePerft(TMiniMax& Engine, int Depth) {
    if (Depth <= 0) return 1;
    if (Depth > TMiniMax::MaxPly) Depth = TMiniMax::MaxPly;
    return Perft(Engine, Depth);
}

std::string EngineZugText(const TMMZug& Move) {
    auto name = [](int sq) {
        std::string s;
        s += static_cast<char>('a' + sq % 10 - 1);
        s += static_cast<char>('0' + sq / 10 - 1);
        return s;
    };
    std::string s = name(Move.From) + name(Move.To);
    if (Move.Promotion >= 2 && Move.Promotion <= 5) s += "?rbnq"[Move.Promotion - 1];
    return s;
}

} // namespace kb
