// SPDX-License-Identifier: GPL-3.0-or-later
// Position and material search, against a brute-force replay of every
// position of the game (variations included).
#include "EditTestUtil.h"
#include "TestSupport.h"

#include <random>

using namespace kb;
using kbtest::Pgn;
using kbtest::Sq;

namespace {

// Every position of the game: the start and the one after each node.
std::vector<TSchachbrett> AllPositions(const TNotation& n) {
    std::vector<TSchachbrett> out{n.GameData.Stellung};
    for (const auto& [node, board] : kbtest::ReplayAll(n))
        out.push_back(board);
    return out;
}

bool PatternMatches(const TSchachbrett& pattern, const TSchachbrett& b) {
    for (uint8_t sq = 0; sq < 64; ++sq) {
        const uint8_t i = Index64To120(sq);
        if (pattern[i] != 0 && pattern[i] != b[i]) return false;
    }
    return true;
}

bool MaterialMatches(const TPiecesFilter& f, const TSchachbrett& b) {
    int count[13] = {};
    for (uint8_t sq = 0; sq < 64; ++sq) {
        const int32_t v = b[Index64To120(sq)];
        if (v >= -6 && v <= 6) ++count[v + 6];
    }
    for (int code = -5; code <= 5; ++code)
        if (code != 0 && f.Enabled[code + 6] &&
            (count[code + 6] < f.Min[code + 6] || count[code + 6] > f.Max[code + 6]))
            return false;
    return true;
}

TEST(Search, CastledShortAlsoInsideVariations) {
    TNotation n;
    TSchachbrett pattern{};
    pattern[Sq("g1")] = Koenig;
    pattern[Sq("f1")] = Turm;
    n.SetSearchPosition(pattern);
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 Nc6 (2... d6 3. Bc4 Be7 4. O-O) 3. Bb5 a6")), 0);
    EXPECT_TRUE(n.PositionFound(nullptr, true));
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 Nc6 3. Bb5 a6")), 0);
    EXPECT_FALSE(n.PositionFound(nullptr, true));
    EXPECT_FALSE(n.SearchActive);
    EXPECT_EQ(n.SearchFilter, nullptr);
    // Nothing switched on: the start position already passes.
    EXPECT_TRUE(n.PositionFound(nullptr, false));
}

TEST(Search, AFenStartHoldingThePositionMatchesWhoeverMoves) {
    TNotation n;
    TSchachbrett after = StandardStellung;
    after[Sq("e2")] = 0;
    after[Sq("e4")] = Bauer;
    n.SetSearchPosition(after);
    ASSERT_EQ(n.LoadPGN(Pgn("", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1")), 0);
    EXPECT_FALSE(n.HasMoves());
    EXPECT_TRUE(n.PositionFound(nullptr, true));
    ASSERT_EQ(n.LoadPGN(Pgn("1. d4")), 0);
    EXPECT_FALSE(n.PositionFound(nullptr, true));
}

TEST(Search, MaterialRangesAndKings) {
    TPiecesFilter f;
    EXPECT_TRUE(f.IsEmpty());
    f.Enabled[TPiecesFilter::Index(6)] = true;
    f.Min[TPiecesFilter::Index(6)] = 2;
    f.Max[TPiecesFilter::Index(6)] = 2;
    EXPECT_TRUE(f.IsEmpty()); // only kings: not in force
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5")), 0);
    EXPECT_TRUE(n.PositionFound(&f, false)); // kings are never tested
    EXPECT_EQ(f.Count[TPiecesFilter::Index(6)], 1);

    // White without queen: found once the queen has gone.
    TPiecesFilter q;
    q.Enabled[TPiecesFilter::Index(Dame)] = true;
    EXPECT_FALSE(q.IsEmpty());
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Qh5 Nc6 3. Qxf7+ Kxf7")), 0);
    EXPECT_TRUE(n.PositionFound(&q, false));
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Qh5 Nc6 (2... g6 3. Qxe5+) 3. Bc4")), 0);
    EXPECT_FALSE(n.PositionFound(&q, false));
}

TEST(Search, RealGamesAgreeWithABruteForceReplay) {
    const auto games = kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData("pgn/Carlsen.pgn")));
    ASSERT_GT(games.size(), 300u);
    std::mt19937 gen(4242);
    TNotation n, source;
    int found = 0, notFound = 0;
    for (size_t g = 0; g < 300; ++g) {
        ASSERT_EQ(n.LoadPGN(games[g]), 0) << g;
        const auto positions = AllPositions(n);
        // A wanted position: a few pieces of a position of some game, this
        // one half of the time.
        ASSERT_EQ(source.LoadPGN(games[gen() % 2 ? g : gen() % games.size()]), 0);
        const auto from = AllPositions(source);
        const TSchachbrett& model = from[gen() % from.size()];
        TSchachbrett pattern{};
        for (int k = 0, want = 1 + static_cast<int>(gen() % 6); k < 200 && want > 0; ++k) {
            const uint8_t i = Index64To120(static_cast<uint8_t>(gen() % 64));
            if (model[i] != 0 && pattern[i] == 0) {
                pattern[i] = model[i];
                --want;
            }
        }
        // Material: a range for one or two piece codes.
        TPiecesFilter f;
        for (int k = 0; k < 2; ++k) {
            const int code = static_cast<int>(gen() % 11) - 5;
            if (code == 0) continue;
            f.Enabled[TPiecesFilter::Index(code)] = true;
            f.Min[TPiecesFilter::Index(code)] = static_cast<int32_t>(gen() % 3);
            f.Max[TPiecesFilter::Index(code)] =
                f.Min[TPiecesFilter::Index(code)] + static_cast<int32_t>(gen() % 3);
        }
        const bool usePattern = gen() % 4 != 0;
        const bool useFilter = gen() % 2 == 0;
        bool want = false;
        for (const TSchachbrett& b : positions)
            want = want || ((!usePattern || PatternMatches(pattern, b)) &&
                            (!useFilter || MaterialMatches(f, b)));
        n.SetSearchPosition(pattern);
        const TZug before = n.WorkMove;
        const bool got = n.PositionFound(useFilter ? &f : nullptr, usePattern);
        ASSERT_EQ(got, want) << "game " << g;
        // The search leaves the working position as it was.
        EXPECT_EQ(n.WorkBoard, n.GameData.Stellung);
        EXPECT_EQ(n.WorkMove.Side, before.Side);
        (got ? found : notFound)++;
    }
    EXPECT_GT(found, 20);
    EXPECT_GT(notFound, 20);
}

TEST(Search, VariationsOfEditedGamesAgreeWithABruteForceReplay) {
    std::mt19937 gen(99);
    for (int round = 0; round < 40; ++round) {
        TNotation n;
        // A game with variations grown at random.
        for (int ply = 0; ply < 60; ++ply) {
            if (gen() % 6 == 0 && n.CurrentMove) {
                n.MoveBack();
                n.NewVariationOnce = true;
            }
            auto moves = kbtest::LegalMoves(n.WorkBoard, n.WorkMove, nullptr);
            if (moves.empty()) break;
            ASSERT_TRUE(n.MoveDone(moves[gen() % moves.size()].record));
        }
        const auto positions = AllPositions(n);
        const TSchachbrett& model = positions[gen() % positions.size()];
        TSchachbrett pattern{};
        for (int k = 0; k < 5; ++k) {
            const uint8_t i = Index64To120(static_cast<uint8_t>(gen() % 64));
            pattern[i] = model[i];
        }
        for (int k = 0; k < 2; ++k) { // and a piece somewhere else, now and then
            const uint8_t i = Index64To120(static_cast<uint8_t>(gen() % 64));
            if (gen() % 3 == 0) pattern[i] = static_cast<int32_t>(gen() % 13) - 6;
        }
        bool want = false;
        for (const TSchachbrett& b : positions)
            want = want || PatternMatches(pattern, b);
        n.SetSearchPosition(pattern);
        ASSERT_EQ(n.PositionFound(nullptr, true), want) << "round " << round;
    }
}

} // namespace
