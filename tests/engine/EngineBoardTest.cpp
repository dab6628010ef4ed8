// SPDX-License-Identifier: GPL-3.0-or-later
// Engine board: generator, make/unmake and attacks, checked by perft against
// stockfish and the shared perft tables, and by random make/unmake walks.
#include "EngineTestUtil.h"

#include <cstdlib>
#include <memory>
#include <random>

using namespace kb;
using namespace kbtest;

namespace {

const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

uint64_t EnginePerftOf(const std::string& fen, int depth) {
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen(fen));
    return EnginePerft(*e, depth);
}

std::vector<TMMZug> Generate(TMiniMax& e, int depth) {
    e.ZugGenerator(depth);
    std::vector<TMMZug> moves;
    for (int i = e.FirstMove(e.Ply()); i < e.LastMove(e.Ply()); ++i)
        moves.push_back(e.Move(i));
    return moves;
}

// Stockfish assumes an en-passant square fits the check on the board; a
// position in check from elsewhere with such a square is checked against
// the table only.
bool StockfishCanCount(const PerftCase& c) {
    auto e = std::make_unique<TMiniMax>();
    const EnginePos p = FromFen(c.fen);
    Load(*e, p);
    return !(p.zug.EnPassant != 0 && e->SideInCheck());
}

// Stockfish runs in Chess960 mode throughout: it then reads KQkq with
// rooks off the corners as the outermost rooks, as our reader does.
void ComparePerft(const std::vector<PerftCase>& cases) {
    const auto stockfish = FindPeer("stockfish");
    if (!stockfish) {
        if (std::getenv("KB_REQUIRE_PEERS")) {
            FAIL() << "required program missing: stockfish";
        }
        GTEST_SKIP() << "program not installed: stockfish";
    }
    std::vector<PerftCase> counted;
    for (const auto& c : cases)
        if (StockfishCanCount(c)) counted.push_back(c);
    const std::vector<uint64_t> reference = StockfishPerft(*stockfish, counted, true);
    ASSERT_EQ(reference.size(), counted.size()) << "stockfish answered only part of the cases";
    for (size_t i = 0; i < counted.size(); ++i) {
        EXPECT_EQ(EnginePerftOf(counted[i].fen, counted[i].depth), reference[i])
            << counted[i].fen << " depth " << counted[i].depth;
    }
    for (const auto& c : cases) {
        if (c.count != 0) {
            EXPECT_EQ(EnginePerftOf(c.fen, c.depth), c.count) << c.fen << " (table)";
        }
    }
}

} // namespace

TEST(EngineBoard, StartPositionPerftMatchesStockfish) {
    std::vector<PerftCase> cases;
    for (int d = 1; d <= 5; ++d)
        cases.push_back({StartFen, d, 0});
    ComparePerft(cases);
    EXPECT_EQ(EnginePerftOf(StartFen, 5), 4865609u);
}

TEST(EngineBoard, TrickyPositionsPerftMatchesStockfish) {
    std::vector<PerftCase> cases;
    for (const auto& c : ReadPerftFile("perft/tricky.perft"))
        if (c.count <= 1'000'000) cases.push_back(c);
    ASSERT_GE(cases.size(), 60u);
    ComparePerft(cases);
}

TEST(EngineBoard, Chess960PerftMatchesStockfish) {
    // Every 20th position of the table at depth 3, every 120th at depth 4.
    const auto all = ReadPerftFile("perft/chess960.perft");
    std::vector<PerftCase> cases;
    int position = 0;
    std::string last;
    for (const auto& c : all) {
        if (c.fen != last) {
            ++position;
            last = c.fen;
        }
        if ((c.depth == 3 && position % 20 == 0) || (c.depth == 4 && position % 120 == 0))
            cases.push_back(c);
    }
    ASSERT_GE(cases.size(), 50u);
    ComparePerft(cases);
}

TEST(EngineBoard, FenReaderMarksChess960Castling) {
    EnginePos p = FromFen("bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf -");
    EXPECT_TRUE(p.fischer.Fischer);
    EXPECT_EQ(p.fischer.WhiteKing, Sq("g1"));
    EXPECT_EQ(p.fischer.WhiteRookH, Sq("h1"));
    EXPECT_EQ(p.fischer.WhiteRookA, Sq("f1"));
    EXPECT_EQ(p.fischer.BlackRookA, Sq("f8"));
    EXPECT_EQ(p.zug.CastlingRights, 30);

    p = FromFen(StartFen);
    EXPECT_FALSE(p.fischer.Fischer);
    EXPECT_EQ(p.zug.CastlingRights, 30);

    TMiniMaxBrett b;
    TEngineZug z;
    TEngineFischerInfo f;
    EXPECT_FALSE(EngineFenLesen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq -", b, z, f));
    EXPECT_FALSE(EngineFenLesen("rnbqkbnr/ppppXppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", b, z, f));
    EXPECT_FALSE(EngineFenLesen("rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", b, z, f));
    EXPECT_FALSE(EngineFenLesen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq -", b, z, f));
}

TEST(EngineBoard, GeneratorModesAndPromotions) {
    auto e = std::make_unique<TMiniMax>();
    EXPECT_EQ(Generate(*e, 1).size(), 20u); // Grundstellung
    EXPECT_TRUE(Generate(*e, 0).empty());   // nothing to capture

    // A pawn on the seventh rank promotes even in capture-only mode, queen
    // first; the capture on b8 promotes too; quiet king moves are left out.
    Load(*e, FromFen("1n5k/P7/8/8/8/8/8/K7 w - -"));
    const auto captures = Generate(*e, 0);
    ASSERT_EQ(captures.size(), 8u);
    const int order[4] = {5, 4, 3, 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(captures[i].From, Sq("a7"));
        EXPECT_EQ(captures[i].To, Sq("a8"));
        EXPECT_EQ(captures[i].Promotion, order[i]);
        EXPECT_EQ(captures[4 + i].To, Sq("b8"));
        EXPECT_EQ(captures[4 + i].Captured, 4);
        EXPECT_EQ(captures[4 + i].Promotion, order[i]);
    }
    EXPECT_GT(captures[4].Score, captures[0].Score); // winning a knight sorts first

    // The enemy king is never a capture target.
    Load(*e, FromFen("8/8/8/8/8/8/1k6/R3K3 w - -"));
    for (const auto& m : Generate(*e, 1))
        EXPECT_NE(e->Board()[m.To], -6);
}

TEST(EngineBoard, RookThatMovedAndReturnedCannotCastle) {
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen("4k3/8/8/8/8/8/8/4K2R w K -"));
    auto hasCastle = [&] {
        for (const auto& m : Generate(*e, 1))
            if (m.Castle == 1) return true;
        return false;
    };
    auto play = [&](const char* from, const char* to) {
        Generate(*e, 1);
        for (int i = e->FirstMove(e->Ply()); i < e->LastMove(e->Ply()); ++i)
            if (e->Move(i).From == Sq(from) && e->Move(i).To == Sq(to)) {
                EXPECT_TRUE(e->ZugAusfuehren(i));
                return i;
            }
        ADD_FAILURE() << "move not generated: " << from << to;
        return -1;
    };
    EXPECT_TRUE(hasCastle());
    const int m1 = play("h1", "h2");
    const int m2 = play("e8", "d8");
    const int m3 = play("h2", "h1");
    const int m4 = play("d8", "e8");
    EXPECT_FALSE(hasCastle());
    for (int m : {m4, m3, m2, m1})
        e->ZugZuruecknehmen(m);
    EXPECT_TRUE(hasCastle());
}

TEST(EngineBoard, CastlingKeepsTheEarlierCastledState) {
    // Only the short right left: the side counts as castled already, and a
    // castling taken back must not clear that.
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen("4k3/8/8/8/8/8/8/R3K2R w K -"));
    EXPECT_EQ(e->Castled(1), 1);
    Generate(*e, 1);
    int castle = -1;
    for (int i = e->FirstMove(0); i < e->LastMove(0); ++i)
        if (e->Move(i).Castle == 1) castle = i;
    ASSERT_GE(castle, 0);
    e->ZugAusfuehren(castle);
    EXPECT_EQ(e->Board()[Sq("g1")], 6);
    EXPECT_EQ(e->Board()[Sq("f1")], 2);
    e->ZugZuruecknehmen(castle);
    EXPECT_EQ(e->Castled(1), 1);
    EXPECT_EQ(e->Board()[Sq("h1")], 2);
}

TEST(EngineBoard, AttackTest) {
    auto e = std::make_unique<TMiniMax>();
    Load(*e, FromFen("4k3/8/8/3p4/8/8/6n1/R3K2b w - -"));
    EXPECT_TRUE(e->Angegriffen(Sq("c4"), -1));  // black pawn on d5
    EXPECT_TRUE(e->Angegriffen(Sq("e4"), -1));  // the same pawn, other diagonal
    EXPECT_FALSE(e->Angegriffen(Sq("d4"), -1)); // straight ahead is no attack
    EXPECT_TRUE(e->Angegriffen(Sq("e1"), -1));  // knight g2
    EXPECT_TRUE(e->Angegriffen(Sq("g2"), -1));  // bishop h1 next door
    EXPECT_TRUE(e->Angegriffen(Sq("a8"), 1));   // rook along the file
    EXPECT_FALSE(e->Angegriffen(Sq("h1"), 1));  // the king on e1 blocks the rook
    EXPECT_TRUE(e->Angegriffen(Sq("d2"), 1));   // king at distance one
    EXPECT_FALSE(e->Angegriffen(Sq("e3"), 1));  // but not at distance two
    // Off the board or out of range counts as attacked.
    EXPECT_TRUE(e->Angegriffen(0, 1));
    EXPECT_TRUE(e->Angegriffen(30, 1));
    EXPECT_TRUE(e->Angegriffen(500, -1));
    EXPECT_EQ(TMiniMax::FeldName(Sq("e2")), "E2");
    EXPECT_EQ(TMiniMax::FeldName(Sq("h8")), "H8");
    EXPECT_EQ(TMiniMax::FeldName(20), "--");
    EXPECT_EQ(TMiniMax::FeldName(99), "--");
}

// Random walks of legal moves: after every make the incremental material and
// king squares match a recount, and unmaking everything restores the start.
TEST(EngineBoard, RandomMakeUnmakeRestoresEverything) {
    const std::vector<std::string> fens = {
        StartFen,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
        "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    };
    const unsigned seed = 20261207;
    std::mt19937 rng(seed);
    for (const auto& fen : fens) {
        auto e = std::make_unique<TMiniMax>();
        Load(*e, FromFen(fen));
        const TMiniMaxBrett startBoard = e->Board();
        const int startMaterial = e->Material();
        std::array<int, 120> startTouch{};
        for (int s = 0; s < 120; ++s)
            startTouch[s] = e->TouchCount(s);
        for (int walk = 0; walk < 40; ++walk) {
            std::vector<int> made;
            while (static_cast<int>(made.size()) < 24) {
                e->ZugGenerator(1);
                std::vector<int> legal;
                for (int i = e->FirstMove(e->Ply()); i < e->LastMove(e->Ply()); ++i) {
                    e->ZugAusfuehren(i);
                    if (!e->Angegriffen(e->KingSquare(-e->Side()), e->Side())) legal.push_back(i);
                    e->ZugZuruecknehmen(i);
                }
                if (legal.empty()) break;
                const int pick = legal[rng() % legal.size()];
                ASSERT_TRUE(e->ZugAusfuehren(pick));
                made.push_back(pick);
                int material = 0, nonPawn = 0;
                for (int s = 21; s <= 98; ++s) {
                    const int p = e->Board()[s];
                    if (p == 0 || p == 100) continue;
                    static const int value[7] = {0, 100, 500, 350, 325, 900, 0};
                    material += p > 0 ? value[std::abs(p)] : -value[std::abs(p)];
                    if (std::abs(p) != 1) nonPawn += value[std::abs(p)];
                    if (p == 6) {
                        ASSERT_EQ(e->KingSquare(1), s) << "seed " << seed;
                    }
                    if (p == -6) {
                        ASSERT_EQ(e->KingSquare(-1), s) << "seed " << seed;
                    }
                }
                ASSERT_EQ(e->Material(), e->Side() * material) << fen << " seed " << seed;
                ASSERT_EQ(e->NonPawnMaterial(), nonPawn) << fen << " seed " << seed;
            }
            for (auto it = made.rbegin(); it != made.rend(); ++it)
                ASSERT_TRUE(e->ZugZuruecknehmen(*it));
            ASSERT_EQ(e->Ply(), 0);
            ASSERT_EQ(e->Board(), startBoard) << fen << " seed " << seed;
            ASSERT_EQ(e->Material(), startMaterial);
            for (int s = 0; s < 120; ++s)
                ASSERT_EQ(e->TouchCount(s), startTouch[s]);
        }
    }
}

TEST(EngineBoard, MakeRefusesBadIndexAndDepth) {
    auto e = std::make_unique<TMiniMax>();
    EXPECT_FALSE(e->ZugAusfuehren(-1));
    EXPECT_FALSE(e->ZugAusfuehren(TMiniMax::DefaultStackSize + 1));
    EXPECT_FALSE(e->ZugZuruecknehmen(0)); // nothing made yet
    EXPECT_EQ(e->Ply(), 0);
    // Making moves stops at the last row of the per-ply tables.
    Load(*e, FromFen("7k/8/8/8/8/8/8/K7 w - -"));
    for (;;) {
        e->ZugGenerator(1);
        ASSERT_GT(e->LastMove(e->Ply()), e->FirstMove(e->Ply()));
        if (!e->ZugAusfuehren(e->FirstMove(e->Ply()))) break;
    }
    EXPECT_EQ(e->Ply(), TMiniMax::PlyRows - 1);
}

TEST(EngineBoard, BenchEnginePerftCommand) {
    const RunResult r = kbtest::Run({BenchPath(), "engine-perft", "3",
                                     "r3k2r/p1ppqpb1/bn2pnp1/3PN3/"
                                     "1p2P3/2N2Q1p/PPPBBPPP/R3K2R",
                                     "w", "KQkq", "-"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "97862");
    EXPECT_NE(kbtest::Run({BenchPath(), "engine-perft", "3", "not a fen"}).exitCode, 0);
}

// perft (the rules core) and engine-perft and search (the engine) read the
// castling field by one rule: rook files name the same rights as KQkq; a
// file without its rook, or any other letter, is no FEN.
TEST(EngineBoard, BenchFenReadersShareTheCastlingRule) {
    struct Case {
        const char* fen;
        const char* sameAs; // the FEN it must count like; nullptr: refused
    };
    const Case cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b Hh - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R b Kk - 0 1"},
        {"4k3/8/8/8/8/8/8/R3K2R w HA - 0 1", "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"},
        {"4k3/8/8/8/8/8/8/R3K2R w HAha - 0 1", nullptr},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Bb - 0 1", nullptr},
        {"4k3/8/8/8/8/8/8/R3K2R w ZZ - 0 1", nullptr},
        {"4k3/8/8/8/8/8/8/R3K2R w KQZ - 0 1", nullptr},
        {"4k3/8/8/8/8/8/8/R3K2R w K1 - 0 1", nullptr},
    };
    auto count = [](const char* Command, const std::string& Fen) {
        const RunResult r = kbtest::Run({BenchPath(), Command, "3", Fen});
        return r.exitCode == 0 ? r.out.substr(0, r.out.find('\n')) : std::string("refused");
    };
    for (const Case& c : cases) {
        const std::string core = count("perft", c.fen), engine = count("engine-perft", c.fen);
        EXPECT_EQ(core, engine) << c.fen;
        if (c.sameAs) {
            EXPECT_EQ(core, count("perft", c.sameAs)) << c.fen;
        } else {
            EXPECT_EQ(core, "refused") << c.fen;
        }
        EXPECT_EQ(kbtest::Run({BenchPath(), "search", "1", c.fen}).exitCode == 0,
                  c.sameAs != nullptr)
            << c.fen;
    }
}

TEST(EngineBoard, HostInputIsContained) {
    auto e = std::make_unique<TMiniMax>();
    // Unknown piece codes become empty squares, the border is restored.
    EnginePos p = FromFen("4k3/8/8/8/8/8/8/4K3 w - -");
    p.brett[Sq("d4")] = 9;
    p.brett[Sq("d5")] = -100;
    p.brett[Sq("d6")] = 100;
    p.brett[0] = 5;
    p.zug.Side = 0;
    Load(*e, p);
    EXPECT_EQ(e->Board()[Sq("d4")], 0);
    EXPECT_EQ(e->Board()[Sq("d5")], 0);
    EXPECT_EQ(e->Board()[Sq("d6")], 0);
    EXPECT_EQ(e->Board()[0], 100);
    EXPECT_EQ(e->Side(), 1);
    EXPECT_EQ(EnginePerft(*e, 2), 5u * 5u);

    // An en-passant square without a pawn to take, on the wrong rank, or off
    // the board gives no en-passant capture.
    for (int ep : {Sq("e6"), Sq("e3"), 5, 99, -40, 100000}) {
        EnginePos q = FromFen("4k3/8/8/3P4/8/8/8/4K3 w - -");
        q.zug.EnPassant = ep;
        Load(*e, q);
        EXPECT_EQ(EnginePerft(*e, 1), 6u) << ep; // five king moves and d6
    }

    // Without a king there is nothing to search: no move, one report.
    Recorder rec(*e);
    const EnginePos lone = FromFen("8/8/8/8/8/8/8/4K3 w - -");
    EXPECT_TRUE(e->Start(lone.brett, lone.zug, 3));
    EXPECT_EQ(rec.Stops(), 1);
    EXPECT_EQ(rec.Status(), StatusNoMove);
}
