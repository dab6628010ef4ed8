// SPDX-License-Identifier: GPL-3.0-or-later
// TMiniMax evaluation: material plus king, piece and pawn terms, draw rules
// and a mobility correction, in hundredths of a pawn.
#include "MiniMax.h"
#include "MiniMaxTables.h"

#include <cstdlib>

namespace kb {

using namespace minimax;

namespace {

int Row(int Square) {
    return Square / 10;
}
int Col(int Square) {
    return Square % 10;
}

} // namespace

void TMiniMax::Zaehlen() {
    whitePawnAttacks_.fill(0);
    blackPawnAttacks_.fill(0);
    whitePawnsOnFile_.fill(0);
    blackPawnsOnFile_.fill(0);
    whiteRooksOnFile_.fill(0);
    blackRooksOnFile_.fill(0);
    for (int sq = 21; sq <= 98; ++sq) {
        switch (brett_[sq]) {
        case 1:
            ++whitePawnAttacks_[sq + 9];
            ++whitePawnAttacks_[sq + 11];
            ++whitePawnsOnFile_[Col(sq)];
            break;
        case -1:
            ++blackPawnAttacks_[sq - 9];
            ++blackPawnAttacks_[sq - 11];
            ++blackPawnsOnFile_[Col(sq)];
            break;
        case 2:
            ++whiteRooksOnFile_[Col(sq)];
            break;
        case -2:
            ++blackRooksOnFile_[Col(sq)];
            break;
        default:
            break;
        }
    }
}

int TMiniMax::BauerWeiss(int Square) const {
    const int npm = nonPawn_[ply_];
    const int col = Col(Square);
    const int adv = Row(Square);
    const int stop = Square + 10;
    const auto& own = whitePawnsOnFile_;
    int v = npm > 2700 ? WhitePawnValue[Square] : 4 * adv;
    if (own[col - 1] == 0 && own[col + 1] == 0) {
        v -= 12;
        if (own[col] > 1) v -= 12;
    }
    if (own[col] > 1) v -= 15;
    const bool isProtected = whitePawnAttacks_[Square] > 0;
    const bool supported = isProtected || whitePawnAttacks_[stop] > 0;
    if (supported) v += adv;
    if (blackPawnsOnFile_[col] > 0) return v;
    if (!isProtected && blackPawnAttacks_[stop] > whitePawnAttacks_[stop]) {
        v -= 10;
        if (blackRooksOnFile_[col] > 0) v -= 8;
        return v;
    }
    for (int s = Square; s < 81; s += 10)
        if (blackPawnAttacks_[s] > 0) return v;
    if (npm >= 2700) {
        v += 8 * adv;
        if (supported) v += 2 * adv;
        return v;
    }
    v += 16 * adv;
    if (whiteRooksOnFile_[col] > 0) v += 2 * adv;
    if (blackRooksOnFile_[col] > 0) v -= 2 * adv;
    if (npm == 0) v += 8 * adv;
    if (supported) v += 4 * adv;
    if (brett_[stop] < 0 && whitePawnAttacks_[stop] == 0) v -= 4 * adv;
    return v;
}

int TMiniMax::BauerSchwarz(int Square) const {
    const int npm = nonPawn_[ply_];
    const int col = Col(Square);
    const int adv = 11 - Row(Square);
    const int stop = Square - 10;
    const auto& own = blackPawnsOnFile_;
    int v = npm > 2700 ? BlackPawnValue[Square] : 4 * adv;
    if (own[col - 1] == 0 && own[col + 1] == 0) {
        v -= 12;
        if (own[col] > 1) v -= 12;
    }
    if (own[col] > 1) v -= 15;
    const bool isProtected = blackPawnAttacks_[Square] > 0;
    const bool supported = isProtected || blackPawnAttacks_[stop] > 0;
    if (supported) v += adv;
    if (whitePawnsOnFile_[col] > 0) return v;
    if (!isProtected && whitePawnAttacks_[stop] > blackPawnAttacks_[stop]) {
        v -= 10;
        if (whiteRooksOnFile_[col] > 0) v -= 8;
        return v;
    }
    for (int s = Square; s > 38; s -= 10)
        if (whitePawnAttacks_[s] > 0) return v;
    if (npm >= 2700) {
        v += 8 * adv;
        if (supported) v += 2 * adv;
        return v;
    }
    v += 16 * adv;
    if (blackRooksOnFile_[col] > 0) v += 2 * adv;
    if (whiteRooksOnFile_[col] > 0) v -= 2 * adv;
    if (npm == 0) v += 8 * adv;
    if (supported) v += 4 * adv;
    if (brett_[stop] > 0 && brett_[stop] != 100 && blackPawnAttacks_[stop] == 0) v -= 4 * adv;
    return v;
}

// King safety in the middle game, centralisation in the end game; White's view.
int TMiniMax::KingTerms(int Square, int Colour, int Side) const {
    const int npm = nonPawn_[ply_];
    int s = 0;
    if (Colour > 0) {
        if (npm >= 2700) {
            if (castled_[0] == 0 && (touch_[25] > 0 || (touch_[28] >= 1 && touch_[21] >= 1)))
                s -= 35;
            s -= 4 * CentreValue[Square];
            for (int d = -1; d <= 1; ++d) {
                if (brett_[Square + 10 + d] == 1) s += 15;
                if (brett_[Square + 20 + d] == 1) s += 6;
                const int file = Col(Square) + d;
                if (blackPawnsOnFile_[file] == 0 && blackRooksOnFile_[file] > 0) s -= 12;
            }
        } else {
            s += CentreValue[Square];
            const int apart = std::abs(kingW_ - kingB_);
            if (apart == 20 || apart == 2) {
                const int bonus = npm == 0 ? 30 : 10;
                s += Side > 0 ? -bonus : bonus;
            }
        }
    } else {
        if (npm >= 2700) {
            if (castled_[1] == 0 && (touch_[95] > 0 || (touch_[98] >= 1 && touch_[91] >= 1)))
                s += 35;
            s += 4 * CentreValue[Square];
            for (int d = -1; d <= 1; ++d) {
                if (brett_[Square - 10 + d] == -1) s -= 15;
                if (brett_[Square - 20 + d] == -1) s -= 6;
                const int file = Col(Square) + d;
                if (whitePawnsOnFile_[file] == 0 && whiteRooksOnFile_[file] > 0) s += 12;
            }
        } else {
            s -= CentreValue[Square];
        }
    }
    return s;
}

int TMiniMax::Bewerte(int Alpha, int Beta, int Side) {
    const int own = Side > 0 ? kingW_ : kingB_;
    const int enemy = Side > 0 ? kingB_ : kingW_;
    if (Angegriffen(enemy, Side)) return KingTaken - ply_;
    inCheck_[ply_] = Angegriffen(own, -Side);

    const int m = material_[ply_];
    const int npm = nonPawn_[ply_];
    if (npm > 700 && (m < Alpha - 350 || m > Beta + 350)) return m;

    Zaehlen();
    int s = 0;
    int pawns = 0;
    int whiteBishops = 0, blackBishops = 0;
    int whiteRooksHigh = 0, blackRooksLow = 0;
    auto distance = [](int a, int b) {
        return std::abs(Row(a) - Row(b)) + std::abs(Col(a) - Col(b));
    };
    for (int sq = 21; sq <= 98; ++sq) {
        switch (brett_[sq]) {
        case 6:
            s += KingTerms(sq, 1, Side);
            break;
        case -6:
            s += KingTerms(sq, -1, Side);
            break;
        case 5:
            s -= 2 * distance(sq, kingB_);
            break;
        case -5:
            s += 2 * distance(sq, kingW_);
            break;
        case 4:
            s += CentreValue[sq] / 2;
            break;
        case -4:
            s -= CentreValue[sq] / 2;
            break;
        case 3:
            if ((sq == 44 || sq == 45) && brett_[sq - 10] == 1) s -= 20;
            ++whiteBishops;
            break;
        case -3:
            if ((sq == 74 || sq == 75) && brett_[sq + 10] == -1) s += 20;
            ++blackBishops;
            break;
        case 2: {
            const int col = Col(sq);
            if (col >= 3 && col <= 5) s += 4;
            if (blackPawnsOnFile_[col] == 0) {
                s += 8;
                if (whitePawnsOnFile_[col] == 0) s += 5;
            }
            if (Row(sq) >= 8) ++whiteRooksHigh;
            break;
        }
        case -2: {
            const int col = Col(sq);
            if (col >= 3 && col <= 5) s -= 4;
            if (whitePawnsOnFile_[col] == 0) {
                s -= 8;
                if (blackPawnsOnFile_[col] == 0) s -= 5;
            }
            if (Row(sq) <= 3) ++blackRooksLow;
            break;
        }
        case 1:
            s += BauerWeiss(sq);
            ++pawns;
            break;
        case -1:
            s -= BauerSchwarz(sq);
            ++pawns;
            break;
        default:
            break;
        }
    }

    // Without pawns too little material cannot win.
    if (pawns == 0) {
        if (npm <= 350 || npm == 650) return 0;
        if (std::abs(m) < 100 && npm <= 700) return 0;
    }
    if (whiteBishops >= 2) s += 15;
    if (blackBishops >= 2) s -= 15;
    if (whiteRooksHigh > 0 && Row(kingB_) >= 8) {
        s += 10;
        if (whiteRooksHigh >= 2) s += 25;
    }
    if (blackRooksLow > 0 && kingW_ != 0 && Row(kingW_) <= 3) {
        s -= 10;
        if (blackRooksLow >= 2) s -= 25;
    }
    if (Side < 0) s = -s;
    if (ply_ == 0) return m + s;
    return m + s - (mobility_[ply_] - mobility_[ply_ - 1]) / 16;
}

} // namespace kb
