// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the editing and navigation tests: a scripted chooser, move
// records made the way the board makes them, legal moves by brute force and
// an independent replay of the whole tree.
#pragma once

#include "NotationTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kbtest {

// Answers the notation's questions from a script and keeps what was asked.
class ScriptedChooser : public kb::INotationChooser {
public:
    std::deque<kb::TNewMoveChoice> newMoveAnswers;
    std::deque<int> selectAnswers;
    std::vector<std::vector<std::string>> asked; // every list shown
    int newMoveQuestions = 0;
    int selectQuestions = 0;
    // Runs while a question is open (a timer or engine reply calling in).
    std::function<void(kb::TNotation&)> whileOpen;

    kb::TNewMoveChoice ChooseNewMove(kb::TNotation& n,
                                     const std::vector<std::string>& list) override {
        ++newMoveQuestions;
        asked.push_back(list);
        if (whileOpen) whileOpen(n);
        if (newMoveAnswers.empty()) return kb::TNewMoveChoice::Cancel;
        const kb::TNewMoveChoice c = newMoveAnswers.front();
        newMoveAnswers.pop_front();
        return c;
    }
    int SelectMove(kb::TNotation& n, const std::vector<std::string>& list) override {
        ++selectQuestions;
        asked.push_back(list);
        if (whileOpen) whileOpen(n);
        if (selectAnswers.empty()) return -1;
        const int c = selectAnswers.front();
        selectAnswers.pop_front();
        return c;
    }
};

inline int32_t RookHome(const kb::TFischerInfo* fi, int32_t side, bool shortSide) {
    if (fi)
        return side == 1 ? (shortSide ? fi->WhiteRookH : fi->WhiteRookA)
                         : (shortSide ? fi->BlackRookH : fi->BlackRookA);
    return side == 1 ? (shortSide ? 28 : 21) : (shortSide ? 98 : 91);
}

// The record the board hands over for a move from the position (Board,
// Prior): the move itself plus rights, en-passant square and side after it.
inline kb::TZug BoardRecord(const kb::TSchachbrett& board, const kb::TZug& prior, int32_t from,
                            int32_t to, int32_t promotion, int32_t castling,
                            const kb::TFischerInfo* fi) {
    using namespace kb;
    const int32_t s = prior.Side;
    const int32_t p = board[from];
    TZug z{};
    z.From = from;
    z.To = to;
    z.Promotion = promotion;
    z.CastlingKind = castling;
    z.Side = -s;
    if (castling == 0) {
        const bool pawn = p == Bauer || p == -Bauer;
        if (pawn && to % 10 != from % 10 && board[to] == 0) {
            z.EnPassantVictim = to - 10 * s;
            z.Captured = -Bauer * s;
        } else {
            z.Captured = board[to];
        }
        if (pawn && std::abs(to - from) == 20) z.EnPassant = from + 10 * s;
    }
    uint8_t r = prior.CastlingRights;
    if (p == Koenig * s) r &= s == 1 ? ~(WhiteShort | WhiteLong) : ~(BlackShort | BlackLong);
    for (int32_t sq : {from, to}) {
        if (sq == RookHome(fi, 1, true)) r &= ~WhiteShort;
        if (sq == RookHome(fi, 1, false)) r &= ~WhiteLong;
        if (sq == RookHome(fi, -1, true)) r &= ~BlackShort;
        if (sq == RookHome(fi, -1, false)) r &= ~BlackLong;
    }
    z.CastlingRights = r;
    return z;
}

// A legal move of the position as the board would hand it over.
struct LegalMove {
    kb::TZug record;
    std::string uci;
};

inline std::string SquareName(int32_t sq) {
    return std::string(1, static_cast<char>('a' + sq % 10 - 1)) +
           static_cast<char>('0' + sq / 10 - 1);
}

// Every legal move of the position by trying all square pairs.
inline std::vector<LegalMove> LegalMoves(const kb::TSchachbrett& board, const kb::TZug& position,
                                         const kb::TFischerInfo* fi) {
    using namespace kb;
    std::vector<LegalMove> out;
    const int32_t s = position.Side;
    for (uint8_t f = 0; f < 64; ++f) {
        const int32_t from = Index64To120(f);
        const int32_t p = board[from];
        if (p == 0 || (p > 0) != (s > 0)) continue;
        const bool king = p == Koenig || p == -Koenig;
        for (uint8_t t = 0; t < 64; ++t) {
            const int32_t to = Index64To120(t);
            TZug m = position;
            m.From = from;
            m.To = to;
            m.CastlingKind = 0;
            m.Promotion = 0;
            if (king && fi && (std::abs(to % 10 - from % 10) > 1 || board[to] * s > 0)) continue;
            if (!IsLegalMove(board, m, fi)) continue;
            const int rank = to / 10 - 1;
            if ((p == Bauer || p == -Bauer) && (rank == 8 || rank == 1)) {
                for (int32_t promo : {Dame, Turm, Laeufer, Springer})
                    out.push_back({BoardRecord(board, position, from, to, promo * s, 0, fi),
                                   SquareName(from) + SquareName(to) +
                                       "?qrbn"[promo == Dame      ? 1
                                               : promo == Turm    ? 2
                                               : promo == Laeufer ? 3
                                                                  : 4]});
                continue;
            }
            int32_t castling = 0;
            if (king && std::abs(to - from) == 2) castling = to > from ? 1 : 2;
            out.push_back({BoardRecord(board, position, from, to, 0, castling, fi),
                           SquareName(from) + SquareName(to)});
        }
        if (king && fi) {
            for (bool shortSide : {true, false}) {
                TZug m = position;
                m.From = from;
                m.To = (s == 1 ? 20 : 90) + (shortSide ? 7 : 3);
                m.CastlingKind = shortSide ? 3 : 4;
                m.Promotion = 0;
                if (!IsLegalMove(board, m, fi)) continue;
                out.push_back({BoardRecord(board, position, from, m.To, 0, m.CastlingKind, fi),
                               shortSide ? "O-O" : "O-O-O"});
            }
        }
    }
    return out;
}

// The move written as "e2e4", "e7e8q", "O-O" among the legal ones.
inline kb::TZug Move(kb::TNotation& n, const std::string& uci) {
    for (const LegalMove& m : LegalMoves(n.WorkBoard, n.WorkMove, n.ActiveFischerInfo()))
        if (m.uci == uci) return m.record;
    ADD_FAILURE() << "no legal move " << uci;
    return kb::TZug{};
}

// Applies a record to a board, written here once more so that the replay
// below does not lean on the code under test.
inline void Apply(kb::TSchachbrett& b, const kb::TZug& z, const kb::TFischerInfo* fi) {
    using namespace kb;
    const int32_t s = -z.Side; // the mover
    const int32_t p = b[z.From];
    if (z.CastlingKind != 0) {
        const bool shortSide = z.CastlingKind == 1 || z.CastlingKind == 3;
        const int32_t rook = RookHome(z.CastlingKind >= 3 ? fi : nullptr, s, shortSide);
        const int32_t base = s == 1 ? 20 : 90;
        b[z.From] = 0;
        b[rook] = 0;
        b[base + (shortSide ? 6 : 4)] = Turm * s;
        b[z.To] = Koenig * s;
        (void)p;
        return;
    }
    b[z.From] = 0;
    if (z.EnPassantVictim) b[z.EnPassantVictim] = 0;
    b[z.To] = z.Promotion ? z.Promotion : p;
}

// Position after every node of the tree, by a forward walk from the start.
inline std::map<const kb::TBaum*, kb::TSchachbrett> ReplayAll(const kb::TNotation& n) {
    std::map<const kb::TBaum*, kb::TSchachbrett> out;
    if (!n.RootLine) return out;
    struct Item {
        const kb::TBaum* first;
        kb::TSchachbrett board;
    };
    std::vector<Item> work{{n.RootLine->Erster, n.GameData.Stellung}};
    while (!work.empty()) {
        Item it = work.back();
        work.pop_back();
        for (const kb::TBaum* b = it.first; b; b = b->Next) {
            for (const kb::TVariante* v = b->Variations; v; v = v->Naechste)
                if (v->Erster) work.push_back({v->Erster, it.board});
            Apply(it.board, b->Zug, n.ActiveFischerInfo());
            out[b] = it.board;
        }
    }
    return out;
}

// Checks every link of the tree; returns the number of nodes.
inline size_t CheckLinks(const kb::TNotation& n, const std::string& where) {
    size_t count = 0;
    if (!n.RootLine) return 0;
    EXPECT_EQ(n.RootLine->Vorige, nullptr) << where;
    EXPECT_EQ(n.RootLine->Naechste, nullptr) << where;
    if (n.RootLine->Erster) {
        EXPECT_EQ(n.RootLine->Erster->Prev, nullptr) << where;
    }
    std::vector<const kb::TBaum*> work;
    if (n.RootLine->Erster) work.push_back(n.RootLine->Erster);
    std::set<const kb::TBaum*> seen;
    while (!work.empty()) {
        const kb::TBaum* first = work.back();
        work.pop_back();
        for (const kb::TBaum* b = first; b; b = b->Next) {
            ++count;
            EXPECT_TRUE(seen.insert(b).second) << where << ": a node sits in two places";
            if (b->Next) {
                EXPECT_EQ(b->Next->Prev, b) << where;
                EXPECT_EQ(b->Next->Zug.Side, -b->Zug.Side) << where;
            }
            const kb::TVariante* prev = nullptr;
            for (const kb::TVariante* v = b->Variations; v; v = v->Naechste) {
                EXPECT_EQ(v->Vorige, prev) << where;
                prev = v;
                if (!v->Erster) continue;
                EXPECT_EQ(v->Erster->Prev, b) << where;
                EXPECT_EQ(v->Erster->Zug.Side, b->Zug.Side) << where;
                work.push_back(v->Erster);
            }
        }
    }
    return count;
}

// The working board and move agree with a replay to the current move.
inline void CheckWorkPosition(const kb::TNotation& n, const std::string& where) {
    const auto boards = ReplayAll(n);
    if (!n.CurrentMove) {
        EXPECT_EQ(n.WorkBoard, n.GameData.Stellung) << where;
        EXPECT_EQ(n.WorkMove.Side, n.GameData.Zug.Side) << where;
        return;
    }
    auto it = boards.find(n.CurrentMove);
    ASSERT_NE(it, boards.end()) << where << ": the current move is not in the tree";
    EXPECT_EQ(n.WorkBoard, it->second) << where;
    EXPECT_EQ(n.WorkMove.Side, n.CurrentMove->Zug.Side) << where;
    EXPECT_EQ(n.WorkMove.To, n.CurrentMove->Zug.To) << where;
}

// The exported movetext with line ends and blank runs made single blanks.
inline std::string Movetext(kb::TNotation& n) {
    std::string pgn;
    n.GetPGN(pgn);
    const size_t body = pgn.find("\r\n\r\n");
    std::string out;
    for (size_t i = body == std::string::npos ? 0 : body + 4; i < pgn.size(); ++i) {
        const char c = pgn[i] == '\r' || pgn[i] == '\n' ? ' ' : pgn[i];
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

} // namespace kbtest
