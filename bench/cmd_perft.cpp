// SPDX-License-Identifier: GPL-3.0-or-later
// kbbench perft DEPTH FEN: counts the leaves of the legal move tree as the
// rules core sees it. Moves come from the core's target functions, are
// filtered by IsLegalMove and made on a copy of the board as in a game.
// Castling letters naming rook files (Shredder style, "HAha") mark a Chess960
// position whose castling rooks stand on those files. "KQkq" is standard
// chess while king and rooks stand on their standard squares; otherwise the
// letters name the outermost rooks of a Chess960 position, as X-FEN reads them.
#include "KbBench.h"
#include "SchachProcs.h"

#include <cstdint>
#include <iostream>
#include <string>

namespace {

using namespace kb;

struct Game {
    TFischerInfo fi; // castling rooks' start squares, also in standard chess
    bool fischer = false;
};

int32_t HomeBase(int32_t side) {
    return side == 1 ? 20 : 90;
}

// The castling field (third blank-separated field) of a FEN, empty when none.
std::string CastlingField(const std::string& fen) {
    size_t pos = 0;
    for (int n = 0; n < 3; ++n) {
        pos = fen.find_first_not_of(" \t", pos);
        if (pos == std::string::npos) return {};
        const size_t end = fen.find_first_of(" \t", pos);
        if (n == 2) return fen.substr(pos, end == std::string::npos ? end : end - pos);
        pos = end;
    }
    return {};
}

// True when every castling right has its king and rook on the standard
// squares; otherwise "KQkq" names the outermost rooks of a Chess960 position.
bool StandardCastlingSquares(const TSchachbrett& b, uint8_t rights) {
    if ((rights & (WhiteShort | WhiteLong)) && b[25] != Koenig) return false;
    if ((rights & (BlackShort | BlackLong)) && b[95] != -Koenig) return false;
    if ((rights & WhiteShort) && b[28] != Turm) return false;
    if ((rights & WhiteLong) && b[21] != Turm) return false;
    if ((rights & BlackShort) && b[98] != -Turm) return false;
    if ((rights & BlackLong) && b[91] != -Turm) return false;
    return true;
}

bool ReadPosition(const std::string& fen, TSchachbrett& b, TZug& z, Game& g) {
    uint16_t moveNo = 1;
    TFischerInfo fi;
    // Read as Chess960 so that KQkq keep the outermost rooks; standard chess
    // when they stand on the corners (then both readings agree).
    if (!FENToStellung(fen, b, z, moveNo, &fi, true)) return false;
    const std::string field = CastlingField(fen);
    // The castling rule engine-perft and search read by too: "-", or letters
    // KQkq and rook files A-H / a-h, where a file must hold a rook of that
    // colour on its home rank; anything else is no FEN.
    if (field != "-" && field.find_first_not_of("KQkqABCDEFGHabcdefgh") != std::string::npos)
        return false;
    bool shredder = false;
    for (char c : field)
        if ((c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h')) shredder = true;

    if (!shredder) {
        g.fischer = !StandardCastlingSquares(b, z.CastlingRights);
        if (g.fischer) {
            FischerInfoFromStellung(&g.fi, b);
        } else {
            g.fi.WhiteRookA = 21;
            g.fi.WhiteRookH = 28;
            g.fi.BlackRookA = 91;
            g.fi.BlackRookH = 98;
        }
        return true;
    }

    g.fischer = true;
    g.fi = TFischerInfo{};
    g.fi.Fischer = true;
    g.fi.WhiteKing = FindKing(true, b);
    g.fi.BlackKing = FindKing(false, b);
    z.CastlingRights = 0;
    for (char c : field) {
        const bool white = c >= 'A' && c <= 'H';
        if (!white && !(c >= 'a' && c <= 'h')) continue;
        const int32_t side = white ? 1 : -1;
        const int32_t rook = HomeBase(side) + 1 + (white ? c - 'A' : c - 'a');
        const int32_t king = white ? g.fi.WhiteKing : g.fi.BlackKing;
        if (king < 0 || b[rook] != Turm * side) return false;
        if (rook > king) {
            (white ? g.fi.WhiteRookH : g.fi.BlackRookH) = rook;
            z.CastlingRights |= white ? WhiteShort : BlackShort;
        } else {
            (white ? g.fi.WhiteRookA : g.fi.BlackRookA) = rook;
            z.CastlingRights |= white ? WhiteLong : BlackLong;
        }
    }
    return true;
}

// Makes a move the core called legal with the program's own move maker;
// m.Side is the mover.
void MakeMove(TSchachbrett& b, TZug& z, const TZug& m, const Game& g) {
    const int32_t s = m.Side == 1 ? 1 : -1;
    const bool pawn = b[m.From] == Bauer * s;
    const TFischerInfo* fi = g.fischer ? &g.fi : nullptr;
    TZug r = m;
    r.EnPassantVictim = pawn && m.To == z.EnPassant && b[m.To] == 0 && (m.To - m.From) % 10 != 0
                            ? m.To - 10 * s
                            : 0;
    r.Side = -s; // the record names the side to move after the move
    z.CastlingRights = CastlingRightsAfter(z.CastlingRights, b, m.From, m.To, fi);
    ZugAusfuehren(b, r, fi);
    z.EnPassant = pawn && m.To - m.From == 20 * s ? m.From + 10 * s : 0;
    z.Side = -s;
}

uint64_t Perft(const TSchachbrett& b, const TZug& z, const Game& g, int depth) {
    if (depth == 0) return 1;
    const int32_t s = z.Side == 1 ? 1 : -1;
    uint64_t nodes = 0;
    TSquareList targets;
    TZug m = z;
    m.Promotion = 0;
    m.CastlingKind = 0;

    auto visit = [&](const TZug& move) {
        if (!IsLegalMove(b, move, g.fischer ? &g.fi : nullptr)) return;
        if (depth == 1) {
            ++nodes;
            return;
        }
        TSchachbrett nb = b;
        TZug nz = z;
        MakeMove(nb, nz, move, g);
        nodes += Perft(nb, nz, g, depth - 1);
    };

    for (uint8_t sq64 = 0; sq64 < 64; ++sq64) {
        const int32_t from = Index64To120(sq64);
        const int32_t p = b[from];
        if (p == 0 || (p > 0) != (s > 0)) continue;
        const int32_t kind = p < 0 ? -p : p;
        switch (kind) {
        case Bauer:
            CollectPawnTargets(from, z, b, &targets);
            break;
        case Turm:
            CollectRookTargets(from, s, b, &targets);
            break;
        case Laeufer:
            CollectBishopTargets(from, s, b, &targets);
            break;
        case Springer:
            CollectKnightTargets(from, s, b, &targets);
            break;
        case Dame:
            CollectQueenTargets(from, s, b, &targets);
            break;
        case Koenig:
            if (g.fischer)
                KingTargetsFischer(from, z, b, &targets, &g.fi);
            else
                CollectKingTargets(from, z, b, &targets);
            break;
        default:
            targets.clear();
        }
        m.From = from;
        for (int32_t t : targets) {
            m.Promotion = 0;
            m.CastlingKind = 0;
            if (kind == Koenig && t < 0) {
                m.To = -t;
                m.CastlingKind = m.To == HomeBase(s) + 7 ? 3 : 4;
            } else {
                m.To = t;
                if (kind == Koenig && !g.fischer && (t - from == 2 || from - t == 2))
                    m.CastlingKind = t > from ? 1 : 2;
            }
            const int rank = m.To / 10 - 1;
            if (kind == Bauer && (rank == 8 || rank == 1)) {
                for (int32_t promo : {Dame, Turm, Laeufer, Springer}) {
                    m.Promotion = promo * s;
                    visit(m);
                }
            } else {
                visit(m);
            }
        }
    }
    return nodes;
}

int RunPerft(const kbbench::Args& args) {
    int depth = 0;
    std::string fen;
    if (const int rc = kbbench::DepthAndFen(args, 0, 12, depth, fen)) return rc;
    TSchachbrett b;
    TZug z;
    Game g;
    if (!ReadPosition(fen, b, z, g)) return kbbench::UsageError("FEN not readable: " + fen);
    if (!IsPlayablePosition(b, z))
        return kbbench::UsageError("no game reaches this position: " + fen);
    std::cout << Perft(b, z, g, depth) << "\n";
    return 0;
}

const kbbench::Command perftCommand{"perft", "DEPTH FEN", &RunPerft};

} // namespace
