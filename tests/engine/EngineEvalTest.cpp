// SPDX-License-Identifier: GPL-3.0-or-later
// Engine evaluation: draw rules, the illegal-position mark, pawn terms worked
// out by hand, and colour symmetry over many real positions.
#include "EngineTestUtil.h"

#include <memory>
#include <random>

using namespace kb;
using namespace kbtest;

namespace {

int Evaluate(const std::string& fen) {
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen(fen));
    return e->Bewerte(-32000, 32000, e->Side());
}

// The same position with colours exchanged and the board turned upside down.
EnginePos Mirror(const EnginePos& p) {
    EnginePos m = p;
    for (int row = 2; row <= 9; ++row)
        for (int col = 1; col <= 8; ++col)
            m.brett[row * 10 + col] = -p.brett[(11 - row) * 10 + col];
    auto flip = [](int sq) { return sq == 0 ? 0 : (11 - sq / 10) * 10 + sq % 10; };
    m.zug.Side = -p.zug.Side;
    m.zug.EnPassant = flip(p.zug.EnPassant);
    const uint8_t r = p.zug.CastlingRights;
    m.zug.CastlingRights = static_cast<uint8_t>(((r & 2) ? 8 : 0) | ((r & 4) ? 16 : 0) |
                                                ((r & 8) ? 2 : 0) | ((r & 16) ? 4 : 0));
    m.fischer.WhiteKing = flip(p.fischer.BlackKing);
    m.fischer.BlackKing = flip(p.fischer.WhiteKing);
    m.fischer.WhiteRookA = flip(p.fischer.BlackRookA);
    m.fischer.WhiteRookH = flip(p.fischer.BlackRookH);
    m.fischer.BlackRookA = flip(p.fischer.WhiteRookA);
    m.fischer.BlackRookH = flip(p.fischer.WhiteRookH);
    return m;
}

} // namespace

TEST(EngineEval, TooLittleMaterialIsADraw) {
    for (const char* fen :
         {"8/8/4k3/8/8/3BK3/8/8 w - -", "8/8/4k3/8/8/3BK3/8/8 b - -", "8/8/4k3/8/8/3NK3/8/8 w - -",
          "8/8/4k3/8/8/2NNK3/8/8 b - -", "8/8/3nk3/8/8/3BK3/8/8 w - -"}) // bishop against knight
        EXPECT_EQ(Evaluate(fen), 0) << fen;
    // Rook against bishop is not covered by the draw rules, nor is a rook alone.
    EXPECT_NE(Evaluate("8/8/3bk3/8/8/3RK3/8/8 w - -"), 0);
    EXPECT_GT(Evaluate("8/8/4k3/8/8/3RK3/8/8 w - -"), 400);
    // A single pawn keeps the game alive.
    EXPECT_NE(Evaluate("8/8/4k3/8/8/3NK3/4P3/8 w - -"), 0);
}

TEST(EngineEval, TakingTheKingIsMarkedFirst) {
    EXPECT_EQ(Evaluate("R3k3/8/8/8/8/8/8/4K3 w - -"), TMiniMax::KingTaken);
    // The other way round it is only check.
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen("R3k3/8/8/8/8/8/8/4K3 b - -"));
    EXPECT_LT(e->Bewerte(-32000, 32000, -1), 0);
    EXPECT_TRUE(e->InCheck());
}

TEST(EngineEval, PassedPawnTermsWorkedByHand) {
    // End game (only a knight besides pawns): e6 protected from d5, passed,
    // its stop square held by a knight that no own pawn attacks:
    // 28 base + 7 protected + 112 passed + 28 protected passer - 28 blocked.
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen("4k3/4n3/4P3/3P4/8/8/8/4K3 w - -"));
    e->Zaehlen();
    EXPECT_EQ(e->BauerWeiss(Sq("e6")), 147);
    // The same for Black.
    Load(*e, FromFen("4k3/8/8/8/3p4/4p3/4N3/4K3 b - -"));
    e->Zaehlen();
    EXPECT_EQ(e->BauerSchwarz(Sq("e3")), 147);

    // Non-pawn material exactly 2700: the base is the end-game 4 x adv, the
    // passed-pawn bonus the middle game's 8 x adv. Isolated e4: 20 - 12 + 40.
    Load(*e, FromFen("rb2k2r/8/8/8/4P3/8/8/RB2K2R w - -"));
    ASSERT_EQ(e->NonPawnMaterial(), 2700);
    e->Zaehlen();
    EXPECT_EQ(e->BauerWeiss(Sq("e4")), 48);
    // With a queen more the middle-game table gives the base (22).
    Load(*e, FromFen("rb2k2r/8/8/8/4P3/8/8/RB1QK2R w - -"));
    e->Zaehlen();
    EXPECT_EQ(e->BauerWeiss(Sq("e4")), 22 - 12 + 40);

    // Blocked by an enemy pawn on the file: no passer bonus at all; doubled
    // and isolated pawns pay for both.
    Load(*e, FromFen("4k3/4p3/8/8/4P3/4P3/8/4K3 w - -"));
    e->Zaehlen();
    // e4: 4 x 5 base, isolated -12 -12 (two on the file), doubled -15,
    // its stop square is not covered, e3 is its neighbour behind: no support.
    EXPECT_EQ(e->BauerWeiss(Sq("e4")), 20 - 24 - 15);
}

TEST(EngineEval, ColourMirrorGivesTheSameValue) {
    // Every position of the perft tables, and positions reached from them by
    // random legal moves, evaluate the same for the mirrored position.
    std::vector<std::string> fens;
    for (const auto& c : ReadPerftFile("perft/tricky.perft"))
        if (fens.empty() || fens.back() != c.fen) fens.push_back(c.fen);
    const auto fischer = ReadPerftFile("perft/chess960.perft");
    for (size_t i = 0; i < fischer.size(); i += 60)
        if (fens.back() != fischer[i].fen) fens.push_back(fischer[i].fen);
    fens.push_back("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    ASSERT_GT(fens.size(), 40u);

    const unsigned seed = 7121;
    std::mt19937 rng(seed);
    int compared = 0;
    for (const auto& fen : fens) {
        auto e = std::make_unique<TMiniMax>();
        auto mirrored = std::make_unique<TMiniMax>();
        const EnginePos p = FromFen(fen);
        Load(*e, p);
        for (int step = 0; step < 12; ++step) {
            // Evaluate the current position (as a fresh root) both ways.
            EnginePos here{e->Board(), p.zug, p.fischer};
            here.zug.Side = e->Side();
            here.zug.EnPassant = 0;
            if (step > 0) here.zug.CastlingRights = 0;
            auto a = std::make_unique<TMiniMax>();
            Load(*a, here);
            const EnginePos m = Mirror(here);
            Load(*mirrored, m);
            for (int window : {32000, 100}) {
                EXPECT_EQ(a->Bewerte(-window, window, a->Side()),
                          mirrored->Bewerte(-window, window, mirrored->Side()))
                    << fen << " step " << step << " seed " << seed;
                ++compared;
            }
            e->ZugGenerator(1);
            std::vector<int> legal;
            for (int i = e->FirstMove(e->Ply()); i < e->LastMove(e->Ply()); ++i) {
                e->ZugAusfuehren(i);
                if (!e->Angegriffen(e->KingSquare(-e->Side()), e->Side())) legal.push_back(i);
                e->ZugZuruecknehmen(i);
            }
            if (legal.empty()) break;
            e->ZugAusfuehren(legal[rng() % legal.size()]);
        }
    }
    EXPECT_GT(compared, 500);
}

TEST(EngineEval, LazyCutReturnsMaterialOutsideTheWindow) {
    // A queen up with plenty of material on the board: far above the window
    // the value is the material alone.
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"));
    EXPECT_EQ(e->Bewerte(-100, 100, 1), 900);
    EXPECT_NE(e->Bewerte(-32000, 32000, 1), 900);
    Load(*e, FromFen("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -"));
    EXPECT_EQ(e->Bewerte(-100, 100, -1), -900);
}
