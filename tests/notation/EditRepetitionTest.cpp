// SPDX-License-Identifier: GPL-3.0-or-later
// Threefold repetition and the 50-move rule after each entered move, by
// hand-picked cases and against a brute-force replay of random games.
#include "EditTestUtil.h"

#include <random>
#include <sstream>

using namespace kb;
using kbtest::Move;
using kbtest::Pgn;
using kbtest::ScriptedChooser;

namespace {

struct Events {
    std::vector<int> repetitions; // plies (1-based entry count) at which they fired
    std::vector<int> fifty;
    int entered = 0;
    void Attach(TNotation& n) {
        n.On3Repetition = [this](TNotation*) { repetitions.push_back(entered); };
        n.On50MovesRule = [this](TNotation*) { fifty.push_back(entered); };
    }
};

void EnterAll(TNotation& n, Events& e, const std::string& moves) {
    std::istringstream in(moves);
    for (std::string m; in >> m;) {
        ++e.entered;
        ASSERT_TRUE(n.MoveDone(Move(n, m))) << m;
    }
}

TEST(EditRepetition, TheStartPositionCounts) {
    TNotation n;
    Events e;
    e.Attach(n);
    EnterAll(n, e, "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8");
    EXPECT_EQ(e.repetitions, std::vector<int>{8});
    EXPECT_TRUE(e.fifty.empty());
}

TEST(EditRepetition, APositionReachedByAPawnMoveCounts) {
    TNotation n;
    Events e;
    e.Attach(n);
    // The position after 1...e5 stands again after 3...Ng8 and 5...Ng8.
    EnterAll(n, e, "e2e4 e7e5 g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8");
    EXPECT_EQ(e.repetitions, std::vector<int>{10});
    // Irreversible moves themselves fire nothing.
    EnterAll(n, e, "d2d4 e5d4 f1c4 f8c5 g1f3 g8f6 e1g1");
    EXPECT_EQ(e.repetitions, std::vector<int>{10});
}

TEST(EditRepetition, AnEnPassantSquareNobodyCanUseIsNoDifference) {
    TNotation n;
    Events e;
    e.Attach(n);
    // After 1.e4 the e3 square cannot be taken on: 3.Ng1 and 5.Ng1 repeat it.
    EnterAll(n, e, "e2e4 b8c6 g1f3 c6b8 f3g1 b8c6 g1f3 c6b8 f3g1");
    EXPECT_EQ(e.repetitions, std::vector<int>{9});
    // Where the pawn can be taken, the position is another one.
    TNotation m;
    Events f;
    f.Attach(m);
    EnterAll(m, f, "e2e4 g8f6 e4e5 d7d5 g1f3 b8c6 f3g1 c6b8 g1f3 b8c6 f3g1 c6b8");
    EXPECT_TRUE(f.repetitions.empty());
    EnterAll(m, f, "g1f3 b8c6 f3g1 c6b8");
    EXPECT_EQ(f.repetitions, (std::vector<int>{13, 14, 15, 16}));
}

TEST(EditRepetition, RightsByteBitOneIsIgnored) {
    TNotation n;
    Events e;
    e.Attach(n);
    TZug start{};
    start.Side = 1;
    start.CastlingRights = 31; // as the board holds it
    n.SetStartPosition(StandardStellung, start, 1);
    const char* moves[] = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"};
    for (int i = 0; i < 8; ++i) {
        TZug z = Move(n, moves[i]);
        // Every other record as the notation writes it, without bit 1.
        if (i % 2) z.CastlingRights &= AllCastlingRights;
        ++e.entered;
        ASSERT_TRUE(n.MoveDone(z));
    }
    EXPECT_EQ(e.repetitions, std::vector<int>{8});
}

TEST(EditRepetition, FiftyMovesAlsoWhenRepeatedAndAfterCastling) {
    TNotation n;
    Events e;
    e.Attach(n);
    n.LoadPGN(Pgn("", "r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1"));
    // Castling does not reset the count; 100 plies of knight-free shuffling.
    EnterAll(n, e, "e1g1 e8d8");
    const char* cycle[] = {"f1f2", "a8a7", "f2f1", "a7a8"};
    for (int i = 0; i < 98; ++i) {
        ++e.entered;
        ASSERT_TRUE(n.MoveDone(Move(n, cycle[i % 4])));
    }
    ASSERT_EQ(e.entered, 100);
    EXPECT_EQ(e.fifty, std::vector<int>{100});
    // The position at ply 100 is a repetition as well: both are reported.
    ASSERT_FALSE(e.repetitions.empty());
    EXPECT_EQ(e.repetitions.back(), 100);
    ++e.entered;
    ASSERT_TRUE(n.MoveDone(Move(n, cycle[2])));
    EXPECT_EQ(e.fifty, (std::vector<int>{100, 101}));
}

TEST(EditRepetition, TheWalkCrossesNestedFirstMoves) {
    // 2.Nc3 (2.Nf3 (2.Nh3 ...)): inside the innermost line the way back
    // leads past both replaced moves to 1...e5, then to the start.
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. Nf3 Nf6 2. Nc3 (2. Ng1 (2. Nh4 Ng8 3. Nf3) Ng8) Nc6")), 0);
    Events e;
    e.Attach(n);
    // Into the innermost line, after its 3.Nf3.
    TBaum* nh4 = n.RootLine->Erster->Next->Next->Variations->Erster->Variations->Erster;
    ASSERT_EQ(nh4->Zug.To, kbtest::Sq("h4"));
    n.CurrentMove = nh4->Next->Next;
    n.LayoutNotation(n.RootLine);
    kbtest::CheckWorkPosition(n, "innermost line");
    // After 1...Nf6 and 3...Nf6: twice. The position after 1.Nf3 comes a
    // third time with 5.Nf3, that after 1...Nf6 with 5...Nf6.
    EnterAll(n, e, "g8f6");
    EXPECT_TRUE(e.repetitions.empty());
    EnterAll(n, e, "f3h4 f6g8 h4f3 g8f6");
    EXPECT_EQ(e.repetitions, (std::vector<int>{4, 5}));
}

// Brute force: the way to the current move replayed with the test's own
// board code, positions keyed by board, side, rights and the en-passant
// square only where a legal capture there exists.
struct Expected {
    bool repetition = false;
    bool fifty = false;
};

Expected BruteForce(TNotation& n) {
    std::vector<const TBaum*> path;
    for (const TBaum* b = n.CurrentMove; b; b = TNotation::MoveBefore(b))
        path.push_back(b);
    std::vector<std::string> keys;
    TSchachbrett board = n.GameData.Stellung;
    TZug pos = n.GameData.Zug;
    const TFischerInfo* fi = n.ActiveFischerInfo();
    auto key = [&] {
        std::string k(board.begin(), board.end());
        k += std::to_string(pos.Side) + "/" + std::to_string(pos.CastlingRights & 30) + "/";
        const int32_t s = pos.Side;
        for (int32_t from : {pos.EnPassant - 9 * s, pos.EnPassant - 11 * s}) {
            if (pos.EnPassant == 0 || !IsBoardSquare(from) || board[from] != s) continue;
            TZug probe = pos;
            probe.From = from;
            probe.To = pos.EnPassant;
            probe.CastlingKind = 0;
            probe.Promotion = 0;
            if (IsLegalMove(board, probe, fi)) k += "ep" + std::to_string(pos.EnPassant);
        }
        return k;
    };
    keys.push_back(key());
    int clock = 0;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const TZug& z = (*it)->Zug;
        const bool pawn = board[z.From] == Bauer || board[z.From] == -Bauer;
        const bool capture = z.CastlingKind == 0 && (board[z.To] != 0 || z.EnPassantVictim);
        clock = pawn || capture ? 0 : clock + 1;
        kbtest::Apply(board, z, fi);
        pos = z;
        keys.push_back(key());
    }
    int count = 0;
    for (const std::string& k : keys)
        count += k == keys.back() ? 1 : 0;
    return {count >= 3, clock >= 100};
}

void RandomGames(const std::string& fen, unsigned seed) {
    std::mt19937 gen(seed);
    int repetitions = 0, fifties = 0;
    for (int game = 0; game < 6; ++game) {
        TNotation n;
        ScriptedChooser chooser;
        n.Chooser = &chooser;
        if (!fen.empty()) {
            ASSERT_EQ(n.LoadPGN(Pgn("", fen)), 0) << fen;
        }
        bool rep = false, fifty = false;
        n.On3Repetition = [&](TNotation*) { rep = true; };
        n.On50MovesRule = [&](TNotation*) { fifty = true; };
        for (int ply = 0; ply < 260; ++ply) {
            auto moves = kbtest::LegalMoves(n.WorkBoard, n.WorkMove, n.ActiveFischerInfo());
            if (moves.empty()) break;
            // Mostly quiet piece moves, often the way back of the mover's
            // last move, so that positions come back.
            std::vector<const kbtest::LegalMove*> quiet, back;
            const TBaum* own = TNotation::MoveBefore(n.CurrentMove);
            for (const auto& m : moves) {
                const int32_t p = n.WorkBoard[m.record.From];
                if (p == Bauer || p == -Bauer || m.record.Captured != 0) continue;
                quiet.push_back(&m);
                if (own && m.record.From == own->Zug.To && m.record.To == own->Zug.From)
                    back.push_back(&m);
            }
            const unsigned roll = gen() % 100;
            const kbtest::LegalMove& pick = !back.empty() && roll < 45 ? *back.front()
                                            : !quiet.empty() && roll < 98
                                                ? *quiet[gen() % quiet.size()]
                                                : moves[gen() % moves.size()];
            // Now and then a new variation from a few plies back.
            if (gen() % 25 == 0) {
                for (int back = static_cast<int>(gen() % 3); back > 0; --back)
                    n.MoveBack();
                auto alt = kbtest::LegalMoves(n.WorkBoard, n.WorkMove, n.ActiveFischerInfo());
                if (alt.empty()) continue;
                n.NewVariationOnce = true;
                rep = fifty = false;
                ASSERT_TRUE(n.MoveDone(alt[gen() % alt.size()].record)) << "seed " << seed;
            } else {
                rep = fifty = false;
                ASSERT_TRUE(n.MoveDone(pick.record)) << "seed " << seed;
            }
            const Expected want = BruteForce(n);
            ASSERT_EQ(rep, want.repetition) << "seed " << seed << " ply " << ply;
            ASSERT_EQ(fifty, want.fifty) << "seed " << seed << " ply " << ply;
            repetitions += rep;
            fifties += fifty;
        }
    }
    // The walks must reach both rules, or they prove little.
    EXPECT_GT(repetitions, 0) << "seed " << seed;
    EXPECT_GT(fifties, 0) << "seed " << seed;
}

TEST(EditRepetition, RandomGamesAgreeWithABruteForceReplay) {
    RandomGames("", 20261207);
    RandomGames("4k3/pp3ppp/8/3N4/8/8/PP3PPP/R3K2R w KQ - 0 20", 7);
    // Chess960: king on f1, rooks on b1 and g1.
    RandomGames("nrbqbkrn/pppppppp/8/8/8/8/PPPPPPPP/NRBQBKRN w KQkq - 0 1", 11);
}

} // namespace
