// SPDX-License-Identifier: GPL-3.0-or-later
// TMiniMax board: position set-up, move generation, make/unmake, attacks.
#include "MiniMax.h"
#include "MiniMaxTables.h"

#include <cstdlib>

namespace kb {

using namespace minimax;

namespace {

constexpr int E1 = 25, A1 = 21, H1 = 28, E8 = 95, A8 = 91, H8 = 98;

bool OnBoard(int Square) {
    return Square >= 21 && Square <= 98 && Square % 10 >= 1 && Square % 10 <= 8;
}

} // namespace

TMiniMax::TMiniMax(int StackSize) : stackSize_(StackSize < 1 ? 1 : StackSize) {
    // One record more than usable: the best move is made from the last slot.
    stack_.resize(static_cast<size_t>(stackSize_) + 1);
    trace_.assign(2, std::string());
    Grundstellung();
}

TMiniMax::~TMiniMax() = default;

void TMiniMax::SetFischerInfo(const TEngineFischerInfo* Info) {
    fischer_ = Info ? *Info : TEngineFischerInfo{};
}

void TMiniMax::Grundstellung() {
    static constexpr int Back[8] = {2, 4, 3, 5, 6, 3, 4, 2};
    brett_.fill(100);
    for (int row = 2; row <= 9; ++row)
        for (int col = 1; col <= 8; ++col)
            brett_[row * 10 + col] = 0;
    for (int col = 1; col <= 8; ++col) {
        brett_[20 + col] = Back[col - 1];
        brett_[30 + col] = 1;
        brett_[80 + col] = -1;
        brett_[90 + col] = -Back[col - 1];
    }
    record_ = TEngineZug{};
    record_.CastlingRights = 30;
    record_.Side = 1;
    kingW_ = E1;
    kingB_ = E8;
    castled_ = {0, 0};
    touch_.fill(0);
    epSquare_[0] = 0;
    nonPawn_[0] = 6500;
    material_[0] = 0;
    ply_ = 0;
    next_ = 0;
    first_[0] = last_[0] = 0;
    MaxDepth = 4;
    status_ = 0;
    side_ = 1;
}

void TMiniMax::SetPosition(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo) {
    // Only real piece codes on the 64 squares; everything else is border.
    for (int i = 0; i < 120; ++i) {
        if (!OnBoard(i)) {
            brett_[i] = 100;
            continue;
        }
        const int p = Brett[i];
        brett_[i] = (p >= -6 && p <= 6) ? p : 0;
    }
    record_ = PosInfo;
    side_ = PosInfo.Side < 0 ? -1 : 1;
    Stellungsaufbau();
}

void TMiniMax::Stellungsaufbau() {
    ply_ = 0;
    next_ = 0;
    first_[0] = last_[0] = 0;
    int material = 0, nonPawn = 0;
    kingW_ = kingB_ = 0;
    for (int sq = 21; sq <= 98; ++sq) {
        const int p = brett_[sq];
        if (p == 0 || p == 100) continue;
        const int v = PieceValue[std::abs(p)];
        material += p > 0 ? v : -v;
        if (std::abs(p) != 1) nonPawn += v;
        if (p == 6) kingW_ = sq;
        if (p == -6) kingB_ = sq;
    }
    material_[0] = side_ > 0 ? material : -material;
    nonPawn_[0] = nonPawn;
    mobility_.fill(0);
    target_.fill(0);
    inCheck_.fill(false);

    // A count of 0 marks a king or rook still entitled to castle.
    touch_.fill(0);
    for (int sq = 21; sq <= 98; ++sq)
        touch_[sq] = 1;
    const uint8_t rights = record_.CastlingRights;
    if (IstFischer()) {
        if (OnBoard(fischer_.WhiteKing)) touch_[fischer_.WhiteKing] = 0;
        if (OnBoard(fischer_.BlackKing)) touch_[fischer_.BlackKing] = 0;
        if ((rights & 2) && OnBoard(fischer_.WhiteRookH)) touch_[fischer_.WhiteRookH] = 0;
        if ((rights & 4) && OnBoard(fischer_.WhiteRookA)) touch_[fischer_.WhiteRookA] = 0;
        if ((rights & 8) && OnBoard(fischer_.BlackRookH)) touch_[fischer_.BlackRookH] = 0;
        if ((rights & 16) && OnBoard(fischer_.BlackRookA)) touch_[fischer_.BlackRookA] = 0;
    } else {
        touch_[E1] = touch_[E8] = 0;
        if (rights & 2) touch_[H1] = 0;
        if (rights & 4) touch_[A1] = 0;
        if (rights & 8) touch_[H8] = 0;
        if (rights & 16) touch_[A8] = 0;
    }
    castled_[0] = (rights & 6) == 6 ? 0 : 1;
    castled_[1] = (rights & 24) == 24 ? 0 : 1;
    epSquare_[0] = OnBoard(record_.EnPassant) ? record_.EnPassant : 0;
}

const TMMZug& TMiniMax::Move(int Index) const {
    static const TMMZug none{};
    return Index >= 0 && Index <= stackSize_ ? stack_[static_cast<size_t>(Index)] : none;
}

bool TMiniMax::PlayablePosition() const {
    int white = 0, black = 0;
    for (int sq = 21; sq <= 98; ++sq) {
        const int p = brett_[sq];
        white += p == 6;
        black += p == -6;
        const int rank = sq / 10 - 1;
        if ((p == 1 || p == -1) && (rank == 1 || rank == 8)) return false;
    }
    return white == 1 && black == 1 && !Angegriffen(KingSquare(-side_), side_);
}

bool TMiniMax::SideInCheck() const {
    return Angegriffen(KingSquare(side_), -side_);
}

std::string TMiniMax::FeldName(int Square) {
    if (!OnBoard(Square)) return "--";
    std::string s;
    s += static_cast<char>('A' + Square % 10 - 1);
    s += static_cast<char>('0' + Square / 10 - 1);
    return s;
}

bool TMiniMax::Angegriffen(int Square, int BySide) const {
    // Anything unexpected counts as attacked.
    if (!OnBoard(Square) || (BySide != 1 && BySide != -1)) return true;
    const auto& b = brett_;
    if (BySide > 0) {
        if (b[Square - 9] == 1 || b[Square - 11] == 1) return true;
    } else {
        if (b[Square + 9] == -1 || b[Square + 11] == -1) return true;
    }
    const int knight = 4 * BySide;
    for (int d = 8; d < 16; ++d)
        if (b[Square + Directions[d]] == knight) return true;
    for (int d = 0; d < 8; ++d) {
        const int step = Directions[d];
        int t = Square + step;
        int distance = 1;
        while (b[t] == 0) {
            t += step;
            ++distance;
        }
        const int q = b[t];
        if (q == 100 || q * BySide < 0) continue;
        switch (q * BySide) {
        case 6:
            if (distance == 1) return true;
            break;
        case 5:
            return true;
        case 2:
            if (d >= 4) return true;
            break;
        case 3:
            if (d < 4) return true;
            break;
        default:
            break;
        }
    }
    return false;
}

// --- generation

void TMiniMax::Push(const TMMZug& Move) {
    if (next_ >= stackSize_) {
        // Cannot happen with the default size; a smaller stack ends the
        // search once, through the normal unwinding.
        if (!overflow_) {
            overflow_ = true;
            aborted_ = true;
            {
                std::lock_guard lk(traceMutex_);
                trace_.push_back("ERROR: Zugstapel Ueberlauf");
            }
            FireTrace();
        }
        return;
    }
    stack_[next_++] = Move;
}

void TMiniMax::AddMove(int From, int To, int Captured, int Promotion, int Castle, int EnPassant,
                       bool Capture) {
    const TMMZug& pvMove = pv_[0][ply_];
    const auto& killers = killer_[ply_];
    int bonus = 0;
    if (pvMove.From == From && pvMove.To == To)
        bonus = 500;
    else if (killers[0].From == From && killers[0].To == To)
        bonus = 250;
    else if (killers[1].From == From && killers[1].To == To)
        bonus = 150;

    int score;
    if (Capture) {
        const int attacker = Promotion ? 1 : std::abs(brett_[From]);
        score = PieceValue[Captured] - PieceValue[attacker] / 8;
        if (ply_ >= 1 && To == target_[ply_ - 1]) score += 300;
        score += bonus;
    } else {
        score = bonus;
        const int kind = std::abs(brett_[From]);
        if (kind == 2 || kind == 3) mobility_[ply_] += CentreValue[To];
    }
    Push(TMMZug{From, To, Captured, Promotion, Castle, EnPassant, score});
}

void TMiniMax::AddPawnMoves(int From, int To, int Captured, bool Promotes, bool Capture) {
    if (!Promotes) {
        AddMove(From, To, Captured, 0, 0, 0, Capture);
        return;
    }
    for (int piece : {5, 4, 3, 2})
        AddMove(From, To, Captured, piece, 0, 0, Capture);
}

void TMiniMax::ZugGenerator(int Depth) {
    first_[ply_] = ply_ == 0 ? 0 : last_[ply_ - 1];
    next_ = first_[ply_];
    mobility_[ply_] = 0;
    const int side = side_;
    const auto& b = brett_;

    for (int sq = 21; sq <= 98; ++sq) {
        const int p = b[sq];
        if (p == 0 || p == 100 || p * side < 0) continue;
        const int kind = p * side;
        if (kind == 1) {
            const int ahead = sq + 10 * side;
            const bool promotes = side > 0 ? sq / 10 == 8 : sq / 10 == 3;
            if (b[ahead] == 0) {
                if (promotes) {
                    AddPawnMoves(sq, ahead, 0, true, false);
                } else if (Depth > 0) {
                    AddMove(sq, ahead, 0, 0, 0, 0, false);
                    const bool home = side > 0 ? sq / 10 == 3 : sq / 10 == 8;
                    if (home && b[ahead + 10 * side] == 0)
                        AddMove(sq, ahead + 10 * side, 0, 0, 0, ahead, false);
                }
            }
            for (int t : {sq + 10 * side + side, sq + 10 * side - side}) {
                const int q = b[t];
                if (q == 100 || q * side >= 0 || std::abs(q) == 6) continue;
                AddPawnMoves(sq, t, std::abs(q), promotes, true);
            }
            continue;
        }
        const PieceSteps& steps = Steps[kind];
        for (int d = steps.First; d <= steps.Last; ++d) {
            const int step = Directions[d];
            for (int t = sq + step;; t += step) {
                const int q = b[t];
                if (q == 100) break;
                if (q != 0) {
                    if (q * side < 0 && std::abs(q) != 6)
                        AddMove(sq, t, std::abs(q), 0, 0, 0, true);
                    break;
                }
                if (Depth > 0) AddMove(sq, t, 0, 0, 0, 0, false);
                if (!steps.Slides) break;
            }
        }
    }

    // En passant: the target must be on the right rank with the pawn beside it.
    const int e = epSquare_[ply_];
    if (e != 0 && b[e] == 0) {
        const int victim = e - 10 * side;
        const bool rankOk = side > 0 ? e / 10 == 7 : e / 10 == 4;
        if (rankOk && b[victim] == -side) {
            for (int f : {e - 10 * side + 1, e - 10 * side - 1}) {
                if (b[f] == side) Push(TMMZug{f, e, 1, 0, 0, victim, 100});
            }
        }
    }

    GenerateCastling();
    last_[ply_] = next_;
}

bool TMiniMax::PathClear(int From, int To, int Allowed, bool MustBeSafe) const {
    if (From == To) return true;
    const int step = To > From ? 1 : -1;
    for (int s = From + step;; s += step) {
        if (brett_[s] != 0 && s != Allowed) return false;
        if (MustBeSafe && Angegriffen(s, -side_)) return false;
        if (s == To) return true;
    }
}

void TMiniMax::GenerateFischerCastling(int King, int RookA, int RookH, int G, int C) {
    const int side = side_;
    if (!OnBoard(King) || brett_[King] != 6 * side || touch_[King] != 0) return;
    if (Angegriffen(King, -side)) return;
    auto usable = [&](int rook) {
        return OnBoard(rook) && brett_[rook] == 2 * side && touch_[rook] == 0;
    };
    if (usable(RookH) && PathClear(King, G, RookH, true) && PathClear(RookH, G - 1, King, false))
        AddMove(King, G, 0, 0, 3, 0, false);
    if (usable(RookA) && PathClear(King, C, RookA, true) && PathClear(RookA, C + 1, King, false))
        AddMove(King, C, 0, 0, 4, 0, false);
}

void TMiniMax::GenerateCastling() {
    const int side = side_;
    if (IstFischer()) {
        if (side > 0)
            GenerateFischerCastling(fischer_.WhiteKing, fischer_.WhiteRookA, fischer_.WhiteRookH,
                                    27, 23);
        else
            GenerateFischerCastling(fischer_.BlackKing, fischer_.BlackRookA, fischer_.BlackRookH,
                                    97, 93);
        return;
    }
    const int e = side > 0 ? E1 : E8;
    if (brett_[e] != 6 * side || touch_[e] != 0) return;
    const auto& b = brett_;
    const int rook = 2 * side;
    if (b[e + 3] == rook && touch_[e + 3] == 0 && b[e + 1] == 0 && b[e + 2] == 0 &&
        !Angegriffen(e, -side) && !Angegriffen(e + 1, -side) && !Angegriffen(e + 2, -side))
        AddMove(e, e + 2, 0, 0, 1, 0, false);
    if (b[e - 4] == rook && touch_[e - 4] == 0 && b[e - 1] == 0 && b[e - 2] == 0 && b[e - 3] == 0 &&
        !Angegriffen(e, -side) && !Angegriffen(e - 1, -side) && !Angegriffen(e - 2, -side))
        AddMove(e, e - 2, 0, 0, 2, 0, false);
}

// --- make / unmake

bool TMiniMax::ZugAusfuehren(int Index) {
    if (Index < 0 || Index > stackSize_ || ply_ + 1 >= PlyRows) return false;
    const TMMZug m = stack_[Index];
    const int mover = side_;
    ++ply_;
    made_[ply_] = Index;
    target_[ply_] = m.To;
    epSquare_[ply_] = 0;
    material_[ply_] = -material_[ply_ - 1];
    nonPawn_[ply_] = nonPawn_[ply_ - 1];
    ++touch_[m.From];
    ++touch_[m.To];

    if (m.EnPassant != 0) {
        if (brett_[m.EnPassant] != 0) {
            brett_[m.EnPassant] = 0;
            material_[ply_] -= 100;
        } else {
            epSquare_[ply_] = m.EnPassant;
        }
    } else if (m.Captured != 0) {
        material_[ply_] -= PieceValue[m.Captured];
        if (m.Captured != 1) nonPawn_[ply_] -= PieceValue[m.Captured];
    }

    const int piece = brett_[m.From];
    brett_[m.From] = 0;
    brett_[m.To] = piece;
    if (m.Promotion != 0) {
        brett_[m.To] = m.Promotion * mover;
        material_[ply_] -= PieceValue[m.Promotion] - 100;
        nonPawn_[ply_] += PieceValue[m.Promotion];
    }
    const int colour = mover > 0 ? 0 : 1;
    switch (m.Castle) {
    case 1:
        brett_[m.To - 1] = brett_[m.To + 1];
        brett_[m.To + 1] = 0;
        break;
    case 2:
        brett_[m.To + 1] = brett_[m.To - 2];
        brett_[m.To - 2] = 0;
        break;
    case 3:
    case 4:
        if (IstFischer()) {
            const int rook = m.Castle == 3
                                 ? (mover > 0 ? fischer_.WhiteRookH : fischer_.BlackRookH)
                                 : (mover > 0 ? fischer_.WhiteRookA : fischer_.BlackRookA);
            brett_[rook] = 0;
            brett_[m.Castle == 3 ? m.To - 1 : m.To + 1] = 2 * mover;
            brett_[m.To] = 6 * mover;
        }
        break;
    default:
        break;
    }
    if (m.Castle != 0) {
        castledBefore_[ply_] = castled_[colour];
        castled_[colour] = 1;
    }
    if (std::abs(piece) == 6) (mover > 0 ? kingW_ : kingB_) = m.To;
    side_ = -side_;
    return true;
}

bool TMiniMax::ZugZuruecknehmen(int Index) {
    if (Index < 0 || Index > stackSize_ || ply_ < 1) return false;
    const TMMZug m = stack_[Index];
    side_ = -side_;
    const int mover = side_;
    const int colour = mover > 0 ? 0 : 1;
    if ((m.Castle == 3 || m.Castle == 4) && IstFischer()) {
        const int rook = m.Castle == 3 ? (mover > 0 ? fischer_.WhiteRookH : fischer_.BlackRookH)
                                       : (mover > 0 ? fischer_.WhiteRookA : fischer_.BlackRookA);
        brett_[m.To] = 0;
        brett_[m.Castle == 3 ? m.To - 1 : m.To + 1] = 0;
        brett_[rook] = 2 * mover;
        brett_[m.From] = 6 * mover;
        (mover > 0 ? kingW_ : kingB_) = m.From;
    } else {
        const int piece = m.Promotion != 0 ? mover : brett_[m.To];
        brett_[m.From] = piece;
        if (m.EnPassant != 0 && m.Captured != 0) {
            brett_[m.To] = 0;
            brett_[m.EnPassant] = -mover;
        } else {
            brett_[m.To] = m.Captured != 0 ? -mover * m.Captured : 0;
        }
        if (m.Castle == 1) {
            brett_[m.To + 1] = brett_[m.To - 1];
            brett_[m.To - 1] = 0;
        } else if (m.Castle == 2) {
            brett_[m.To - 2] = brett_[m.To + 1];
            brett_[m.To + 1] = 0;
        }
        if (std::abs(piece) == 6) (mover > 0 ? kingW_ : kingB_) = m.From;
    }
    if (m.Castle != 0) castled_[colour] = castledBefore_[ply_];
    --touch_[m.From];
    --touch_[m.To];
    --ply_;
    return true;
}

} // namespace kb
