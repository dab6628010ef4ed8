// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineTools.h"
#include "SchachProcs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

using namespace kb;

namespace {

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

int32_t Sq(const char* name) {
    return 10 * (name[1] - '0' + 1) + (name[0] - 'a' + 1);
}

TSchachbrett Board(std::initializer_list<std::pair<const char*, int32_t>> pieces) {
    TSchachbrett b = LeeresBrett;
    for (const auto& [sq, p] : pieces)
        b[Sq(sq)] = p;
    return b;
}

// Records filled with marks that a successful read must replace or keep.
struct Records {
    TSchachbrett board = Board({{"d4", 5}});
    TZug zug;
    uint16_t moveNo = 777;
    TFischerInfo fi{true, 22, 27, 92, 97, 24, 94};
    Records() {
        zug.CastlingRights = 6;
        zug.EnPassant = 44;
        zug.Side = -1;
        zug.From = 35;
        zug.To = 55;
        zug.EnPassantVictim = 54;
        zug.CastlingKind = 3;
        zug.Promotion = 5;
        zug.Captured = -2;
        zug.Flags = 64;
        zug.Glyph = 2;
        zug.NAG = 14;
        zug.ExtraNAG = 140;
    }
};

} // namespace

TEST(Fen, WritesStandardAndChess960Positions) {
    TZug z;
    z.CastlingRights = 31;
    z.Side = 1;
    EXPECT_EQ(StellungToFEN(StandardStellung, z, 1, false), StartFen);
    EXPECT_EQ(StellungToFEN(StandardStellung, z, 1, true),
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq f1 0 1");
    // A Chess960 FEN never carries an en-passant square.
    z.EnPassant = Sq("e6");
    EXPECT_EQ(StellungToFEN(StandardStellung, z, 12, true),
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq f1 0 12");

    TSchachbrett b = Board({{"e1", 6}, {"e8", -6}, {"e4", 1}, {"d4", -1}, {"h8", -2}});
    z = TZug{};
    z.Side = -1;
    z.CastlingRights = 1; // bit 1 carries no right
    z.EnPassant = Sq("e3");
    EXPECT_EQ(StellungToFEN(b, z, 30, false), "4k2r/8/8/8/3pP3/8/8/4K3 b - e3 0 30");
    z.CastlingRights = BlackShort | WhiteLong;
    EXPECT_EQ(StellungToFEN(b, z, 30, false), "4k2r/8/8/8/3pP3/8/8/4K3 b Qk e3 0 30");
}

TEST(Fen, WriterOnlyWritesEnPassantSquaresItCanReadBack) {
    TSchachbrett b = Board({{"e1", 6}, {"e8", -6}});
    TZug z;
    z.Side = 1;
    for (int32_t ep : {-5, 0, 10, 20, 29, 45, 55, 99, 100, 119, 120, 100000}) {
        z.EnPassant = ep;
        EXPECT_EQ(StellungToFEN(b, z, 1, false), "4k3/8/8/8/8/8/8/4K3 w - - 0 1") << ep;
    }
    z.EnPassant = Sq("c6");
    EXPECT_EQ(StellungToFEN(b, z, 1, false), "4k3/8/8/8/8/8/8/4K3 w - c6 0 1");
    // Values that are no piece are written as empty squares.
    b[Sq("a1")] = 7;
    b[Sq("b1")] = -100;
    z.EnPassant = 0;
    EXPECT_EQ(StellungToFEN(b, z, 1, false), "4k3/8/8/8/8/8/8/4K3 w - - 0 1");
}

TEST(Fen, ReadsFieldsAndClearsTheMoveButKeepsFromToAndNags) {
    Records r;
    ASSERT_TRUE(FENToStellung(StartFen, r.board, r.zug, r.moveNo, &r.fi));
    EXPECT_EQ(r.board, StandardStellung);
    EXPECT_EQ(r.zug.CastlingRights, AllCastlingRights);
    EXPECT_EQ(r.zug.Side, 1);
    EXPECT_EQ(r.zug.EnPassant, 0);
    EXPECT_EQ(r.zug.EnPassantVictim, 0);
    EXPECT_EQ(r.zug.CastlingKind, 0);
    EXPECT_EQ(r.zug.Promotion, 0);
    EXPECT_EQ(r.zug.Captured, 0);
    EXPECT_EQ(r.zug.Flags, 0);
    EXPECT_EQ(r.zug.Glyph, 0);
    EXPECT_EQ(r.zug.From, 35);
    EXPECT_EQ(r.zug.To, 55);
    EXPECT_EQ(r.zug.NAG, 14);
    EXPECT_EQ(r.zug.ExtraNAG, 140);
    EXPECT_EQ(r.moveNo, 1);
    EXPECT_FALSE(r.fi.Fischer);
    EXPECT_EQ(r.fi.WhiteKing, Sq("e1"));
    EXPECT_EQ(r.fi.WhiteRookA, Sq("a1"));
    EXPECT_EQ(r.fi.WhiteRookH, Sq("h1"));
    EXPECT_EQ(r.fi.BlackRookA, Sq("a8"));
    EXPECT_EQ(r.fi.BlackRookH, Sq("h8"));
    EXPECT_EQ(StellungToFEN(r.board, r.zug, r.moveNo, false), StartFen);

    // Without a Chess960 record the reader works just the same.
    Records n;
    ASSERT_TRUE(
        FENToStellung("4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 14", n.board, n.zug, n.moveNo, nullptr));
    EXPECT_EQ(n.zug.Side, -1);
    EXPECT_EQ(n.zug.EnPassant, 45);
    EXPECT_EQ(n.moveNo, 14);
    EXPECT_EQ(n.zug.CastlingRights, 0);
}

TEST(Fen, ReadingTable) {
    struct Case {
        const char* fen;
        bool ok;
        int side;     // expected on success
        int ep;       // expected en-passant square
        int rights;   // expected castling byte
        int moveNo;   // expected move number (777 = kept)
        bool fischer; // expected Chess960 flag
    };
    const Case cases[] = {
        // Empty board; "88" stands for two empty ranks, as older texts write them.
        {"8/8/8/8/8/8/8/8 w - - 0 1", true, 1, 0, 0, 1, false},
        {"88/8/8/8/8/8/8 w - - 0 1", true, 1, 0, 0, 1, false},
        {"8/8/8/888/8/8 b - - 0 3", true, -1, 0, 0, 3, false},
        {"4k3/8/88/8/8/8/4K3 w - - 0 5", true, 1, 0, 0, 5, false},
        {"88/88/88/88 w - - 0 1", true, 1, 0, 0, 1, false},
        // En passant: the square must fit the side to move.
        {"4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 14", true, -1, 45, 0, 14, false},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 9", true, 1, 74, 0, 9, false},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 9", true, 1, 0, 0, 9, false},
        {"4k3/8/8/8/4Pp2/8/8/4K3 b - e6 0 14", true, -1, 0, 0, 14, false},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - i6 0 9", true, 1, 0, 0, 9, false},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - z9 0 9", true, 1, 0, 0, 9, false},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - `6 0 9", true, 1, 0, 0, 9, false},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d66 0 9", true, 1, 0, 0, 9, false},
        // The Chess960 mark; the move number field still wins.
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq f1 0 1", true, 1, 0, 30, 1, true},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq f1", true, 1, 0, 30, 1, true},
        // Side: the last character of the text is part of the fields.
        {"4k3/8/8/8/8/8/8/4K3 b", true, -1, 0, 0, 777, false},
        {"4k3/8/8/8/8/8/8/4K3 w", true, 1, 0, 0, 777, false},
        {"4k3/8/8/8/8/8/8/4K3", true, 1, 0, 0, 777, false},
        {"  r3k3/8/8/8/8/8/8/4K2R\tb\tKq -  0   40\r\n", true, -1, 0, 18, 40, false},
        // Move numbers that do not fit a word are not taken.
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 65535", true, 1, 0, 0, 65535, false},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 65536", true, 1, 0, 0, 777, false},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 -3", true, 1, 0, 0, 777, false},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 12x", true, 1, 0, 0, 777, false},
        // Castling letters other than KQkq are ignored.
        {"4k3/8/8/8/8/8/8/4K3 w HAha - 0 2", true, 1, 0, 0, 2, false},
        // File letters name a castling rook: the right on its side of the
        // king, in a Chess960 position unless it is a standard castling.
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 2", true, 1, 0, 30, 2, true},
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w Gc - 0 2", true, 1, 0, 2, 2, true},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1", true, 1, 0, 30, 1, false},
        {"1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w HBhb - 0 1", true, 1, 0, 30, 1, true},
        // Rights whose king or rook is not on its square are dropped.
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w KQkq - 0 1", true, 1, 0, 24, 1, false},
        {"1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w KQkq - 0 1", true, 1, 0, 0, 1, false},
        {"1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w KQkq f1 0 1", true, 1, 0, 30, 1, true},
        {"r3k2r/8/8/8/8/8/8/r3K2R w KQkq - 0 1", true, 1, 0, 26, 1, false},
        {"r2k3r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", true, -1, 0, 6, 1, false},
        {"4k3/8/8/8/8/8/8/R2K3R w KQ f1 0 1", true, 1, 0, 6, 1, true},
        {"4k3/8/8/8/8/8/8/1K5R w KQ f1 0 1", true, 1, 0, 2, 1, true},
        {"4k3/8/8/8/8/8/8/1K5R w B - 0 1", true, 1, 0, 0, 1, false},
        {"4k3/8/8/8/8/8/8/KR5R w B - 0 1", true, 1, 0, 2, 1, true},
        // So is an en-passant square no pawn can just have passed: the pawn
        // must stand in front of it, the square and the one behind it empty.
        {"rnbqkbnr/pppppppp/8/3P4/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 1", true, 1, 0, 30, 1, false},
        {"rnbqkbnr/pppp1ppp/8/3Pp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 3", true, 1, 75, 30, 3, false},
        {"4k3/4p3/8/3Pp3/8/8/8/4K3 w - e6 0 9", true, 1, 0, 0, 9, false},
        {"4k3/8/4n3/3Pp3/8/8/8/4K3 w - e6 0 9", true, 1, 0, 0, 9, false},
        {"4k3/8/8/3PP3/8/8/8/4K3 w - e6 0 9", true, 1, 0, 0, 9, false},
        {"4k3/8/8/8/4Pp2/8/4P3/4K3 b - e3 0 14", true, -1, 0, 0, 14, false},
        {"4k3/8/8/8/4Pp2/4N3/8/4K3 b - e3 0 14", true, -1, 0, 0, 14, false},
        {"4k3/8/8/8/5p2/8/8/4K3 b - e3 0 14", true, -1, 0, 0, 14, false},
        // Letters that name no piece, and sides other than w and b, are no position.
        {"4k3/8/8/8/8/8/8/4K2x w - - 0 1", false, 0, 0, 0, 0, false},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPePPPP/RNBQKBNR w KQkq - 0 1", false, 0, 0, 0, 0, false},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1", false, 0, 0, 0, 0, false},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1", false, 0, 0, 0, 0, false},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR W KQkq - 0 1", false, 0, 0, 0, 0, false},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR 0 KQkq - 0 1", false, 0, 0, 0, 0, false},
        // Failures.
        {"", false, 0, 0, 0, 0, false},
        {"   ", false, 0, 0, 0, 0, false},
        {"8/8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},           // seven ranks
        {"8/8/8/8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},       // nine ranks
        {"ppppppppp/8/8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false}, // nine squares on rank 8
        {"7/8/8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},         // seven squares on rank 8
        {"8/8/8/8/8/8/8/7 w - - 0 1", false, 0, 0, 0, 0, false},         // seven squares on rank 1
        {"8/8/8/8/8/8/8/8p w - - 0 1", false, 0, 0, 0, 0, false},        // nine squares on rank 1
        {"8/8/8/8/45/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},
        {"8/8/8/8/44/8/8/17 w - - 0 1", true, 1, 0, 0, 1, false},
        {"8/8/8/8/8/8/8/9 w - - 0 1", false, 0, 0, 0, 0, false},
        {"8/8/8/8/8/8/8/8/ w - - 0 1", false, 0, 0, 0, 0, false},
        {"/8/8/8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},
        {"8//8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},
        {"888/8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},  // nine ranks with "88"
        {"8/8/8/8/8/8/8/88 w - - 0 1", false, 0, 0, 0, 0, false}, // nine ranks with "88"
        {"p88/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},    // "88" after a piece
        {"18/8/8/8/8/8/8/8 w - - 0 1", false, 0, 0, 0, 0, false},
        {"4k3/88/8/8/8/8/8/4K3 w - - 0 1", false, 0, 0, 0, 0, false}, // nine ranks
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1", false, 0, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        Records r;
        const Records before;
        const bool ok = FENToStellung(c.fen, r.board, r.zug, r.moveNo, &r.fi);
        ASSERT_EQ(ok, c.ok);
        if (!ok) {
            // Nothing is changed on failure.
            EXPECT_EQ(r.board, before.board);
            EXPECT_EQ(r.zug, before.zug);
            EXPECT_EQ(r.moveNo, before.moveNo);
            EXPECT_EQ(r.fi, before.fi);
            continue;
        }
        EXPECT_EQ(r.zug.Side, c.side);
        EXPECT_EQ(r.zug.EnPassant, c.ep);
        EXPECT_EQ(r.zug.CastlingRights, c.rights);
        EXPECT_EQ(r.moveNo, c.moveNo);
        EXPECT_EQ(r.fi.Fischer, c.fischer);
    }
}

// Stockfish keeps an en-passant square only where a pawn of the side to
// move attacks it, the enemy pawn stands in front of it and it and the
// square behind are empty: with the attacker there, its square is ours.
// The engine's own reader drops the same squares.
TEST(Fen, EnPassantSquaresAsStockfishAndTheEngineReadThem) {
    KB_REQUIRE_PEER(stockfish, "stockfish");
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/3P4/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 1",
        "rnbqkbnr/pppp1ppp/8/3Pp3/8/8/PPP1PPPP/RNBQKBNR w KQkq e6 0 3",
        "4k3/4p3/8/3Pp3/8/8/8/4K3 w - e6 0 9",
        "4k3/8/4n3/3Pp3/8/8/8/4K3 w - e6 0 9",
        "4k3/8/8/3PP3/8/8/8/4K3 w - e6 0 9",
        "4k3/8/8/pP6/8/8/8/4K3 w - a6 0 9",
        "4k3/8/8/6Pp/8/8/8/4K3 w - h6 0 9",
        "4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 14",
        "4k3/8/8/8/4Pp2/8/4P3/4K3 b - e3 0 14",
        "4k3/8/8/8/4Pp2/4N3/8/4K3 b - e3 0 14",
        "4k3/8/8/8/5p2/8/8/4K3 b - e3 0 14",
        "4k3/8/8/8/Pp6/8/8/4K3 b - a3 0 14",
    };
    std::string input = "uci\n";
    for (const char* fen : fens)
        input += std::string("position fen ") + fen + "\nd\n";
    input += "quit\n";
    const kbtest::RunResult r = kbtest::Run({stockfish}, input);
    std::vector<std::string> theirs;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Fen: ", 0) == 0) theirs.push_back(line.substr(5));
    ASSERT_EQ(theirs.size(), std::size(fens));
    auto epField = [](const std::string& fen) {
        std::istringstream in(fen);
        std::string f;
        for (int i = 0; i < 4; ++i)
            in >> f;
        return f;
    };
    int kept = 0;
    for (size_t i = 0; i < std::size(fens); ++i) {
        SCOPED_TRACE(fens[i]);
        Records ours;
        ASSERT_TRUE(FENToStellung(fens[i], ours.board, ours.zug, ours.moveNo, nullptr));
        const std::string ep = epField(StellungToFEN(ours.board, ours.zug, ours.moveNo, false));
        EXPECT_EQ(ep, epField(theirs[i]));
        kept += ep != "-";
        TMiniMaxBrett eb;
        TEngineZug ez;
        TEngineFischerInfo ef;
        ASSERT_TRUE(EngineFenLesen(fens[i], eb, ez, ef));
        EXPECT_EQ(ez.EnPassant, ours.zug.EnPassant);
    }
    EXPECT_EQ(kept, 5) << "the true double steps keep their square";
}

TEST(Fen, ReadsPiecesOntoTheirSquares) {
    Records r;
    ASSERT_TRUE(FENToStellung("r3k2r/1P6/8/2Pp4/8/5n2/8/RN2K2R w KQkq d6 0 20", r.board, r.zug,
                              r.moveNo, &r.fi));
    const TSchachbrett expected = Board({{"a8", -2},
                                         {"e8", -6},
                                         {"h8", -2},
                                         {"b7", 1},
                                         {"c5", 1},
                                         {"d5", -1},
                                         {"f3", -4},
                                         {"a1", 2},
                                         {"b1", 4},
                                         {"e1", 6},
                                         {"h1", 2}});
    EXPECT_EQ(r.board, expected);
    EXPECT_EQ(r.zug.EnPassant, Sq("d6"));
    EXPECT_EQ(StellungToFEN(r.board, r.zug, r.moveNo, false),
              "r3k2r/1P6/8/2Pp4/8/5n2/8/RN2K2R w KQkq d6 0 20");
}

TEST(Fen, Chess960RooksComeFromTheHomeRankOnEachSideOfTheKing) {
    Records r;
    // White: rooks b1 and g1 around the king on f1, a third rook on a5 and
    // one on h3. Black: king b8 with both rooks to its right on rank 8.
    ASSERT_TRUE(FENToStellung("1k3rr1/8/8/R7/8/7R/8/1R3KR1 w KQkq f1 0 1", r.board, r.zug, r.moveNo,
                              &r.fi));
    EXPECT_TRUE(r.fi.Fischer);
    EXPECT_EQ(r.fi.WhiteKing, Sq("f1"));
    EXPECT_EQ(r.fi.WhiteRookA, Sq("b1"));
    EXPECT_EQ(r.fi.WhiteRookH, Sq("g1"));
    EXPECT_EQ(r.fi.BlackKing, Sq("b8"));
    EXPECT_EQ(r.fi.BlackRookA, 0);
    EXPECT_EQ(r.fi.BlackRookH, Sq("g8"));

    // Kings that are missing keep the old fields; rooks are cleared.
    Records k;
    ASSERT_TRUE(FENToStellung("8/8/8/8/8/8/8/R6R w - - 0 1", k.board, k.zug, k.moveNo, &k.fi));
    EXPECT_EQ(k.fi.WhiteKing, 24);
    EXPECT_EQ(k.fi.BlackKing, 94);
    EXPECT_EQ(k.fi.WhiteRookA, 0);
    EXPECT_EQ(k.fi.WhiteRookH, 0);
    EXPECT_FALSE(k.fi.Fischer);
}

TEST(Fen, RoundTripsEveryChess960StartPosition) {
    int seen = 0;
    for (int b1 = 0; b1 < 4; ++b1)
        for (int b2 = 0; b2 < 4; ++b2)
            for (int q = 0; q < 6; ++q)
                for (int n = 0; n < 20; ++n) {
                    const int draws[] = {b1, b2, q, n / 4, n % 4};
                    int i = 0;
                    const TSchachbrett b =
                        RandomFischerStellung([&](int) { return i < 5 ? draws[i++] : 0; });
                    TZug z;
                    z.CastlingRights = AllCastlingRights;
                    const std::string fen = StellungToFEN(b, z, 1, true);
                    Records r;
                    ASSERT_TRUE(FENToStellung(fen, r.board, r.zug, r.moveNo, &r.fi)) << fen;
                    EXPECT_EQ(r.board, b) << fen;
                    EXPECT_TRUE(r.fi.Fischer);
                    TFischerInfo direct;
                    FischerInfoFromStellung(&direct, b);
                    EXPECT_EQ(r.fi, direct) << fen;
                    EXPECT_EQ(StellungToFEN(r.board, r.zug, r.moveNo, true), fen);
                    ++seen;
                }
    EXPECT_EQ(seen, 1920);
}

// Random texts built from FEN characters: the reader must never read or
// write outside the board, and whatever it accepts must write back to a
// text that reads to the same position.
TEST(Fen, FuzzedTextsAreReadSafely) {
    const unsigned seed = 20261207;
    std::mt19937 gen(seed);
    const std::string alphabet = "kqrbnpKQRBNP12345678/ wb-KQkqf1e3e6acdgh09x\t";
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        if (round % 2 == 0) {
            // Mutate a real FEN.
            text = StartFen;
            const int edits = 1 + static_cast<int>(gen() % 4);
            for (int e = 0; e < edits; ++e) {
                const size_t pos = gen() % (text.size() + 1);
                const char c = alphabet[gen() % alphabet.size()];
                switch (gen() % 3) {
                case 0:
                    text.insert(pos, 1, c);
                    break;
                case 1:
                    if (pos < text.size()) text.erase(pos, 1);
                    break;
                default:
                    if (pos < text.size()) text[pos] = c;
                }
            }
        } else {
            const size_t len = gen() % 90;
            for (size_t i = 0; i < len; ++i)
                text += alphabet[gen() % alphabet.size()];
        }
        Records r;
        const Records before;
        const bool ok = FENToStellung(text, r.board, r.zug, r.moveNo, &r.fi);
        if (!ok) {
            ASSERT_EQ(r.board, before.board) << "seed " << seed << " text " << text;
            ASSERT_EQ(r.zug, before.zug) << "seed " << seed << " text " << text;
            continue;
        }
        ++accepted;
        for (int i = 0; i < 120; ++i)
            ASSERT_EQ(r.board[i] == Border, !IsBoardSquare(i)) << "seed " << seed << " " << text;
        const std::string out = StellungToFEN(r.board, r.zug, r.moveNo, r.fi.Fischer);
        Records again;
        ASSERT_TRUE(FENToStellung(out, again.board, again.zug, again.moveNo, &again.fi))
            << "seed " << seed << " text " << text << " wrote " << out;
        ASSERT_EQ(again.board, r.board) << "seed " << seed << " " << text;
        ASSERT_EQ(again.zug, r.zug) << "seed " << seed << " " << text;
        ASSERT_EQ(again.moveNo, r.moveNo) << "seed " << seed << " " << text;
        ASSERT_EQ(again.fi.Fischer, r.fi.Fischer) << "seed " << seed << " " << text;
    }
    // The mutations keep enough texts readable for the round trip to matter.
    EXPECT_GT(accepted, 1000);
}

// Chess960 positions leave the program as other programs read them: KQkq
// where the castling rook is the outermost one, its file letter otherwise,
// the en-passant square where there is one; and they read back to the same
// rooks where the game is known to be Chess960 (a Variant tag).
TEST(Fen, Chess960FenForOtherProgramsReadsBack) {
    struct Case {
        const char* Marked; // as written before: the rooks from the home rank
        uint8_t Rights;
        std::vector<std::pair<const char*, int32_t>> CastlingRooks; // square, 1 short / -1 long
        const char* Want;
    };
    const Case cases[] = {
        {"rbbqnkrn/pppppppp/8/8/8/8/PPPPPPPP/RBBQNKRN w KQkq f1 0 1",
         AllCastlingRights,
         {},
         "rbbqnkrn/pppppppp/8/8/8/8/PPPPPPPP/RBBQNKRN w KQkq - 0 1"},
        // Rooks off the corners are still the outermost ones.
        {"1r2k1r1/8/8/8/8/8/8/1R2K1R1 w - f1 0 9",
         WhiteShort | WhiteLong | BlackShort | BlackLong,
         {},
         "1r2k1r1/8/8/8/8/8/8/1R2K1R1 w KQkq - 0 9"},
        // A rook further out than the castling rook: only the file says which.
        {"r1r1k2r/8/8/8/8/8/8/RR2K2R b - f1 0 20",
         WhiteLong | BlackLong | BlackShort,
         {{"b1", -1}, {"c8", -1}},
         "r1r1k2r/8/8/8/8/8/8/RR2K2R b Bkc - 0 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Marked);
        Records r;
        ASSERT_TRUE(FENToStellung(c.Marked, r.board, r.zug, r.moveNo, &r.fi));
        ASSERT_TRUE(r.fi.Fischer);
        r.zug.CastlingRights = c.Rights;
        for (const auto& [sq, side] : c.CastlingRooks) {
            const bool white = sq[1] == '1';
            (white ? (side > 0 ? r.fi.WhiteRookH : r.fi.WhiteRookA)
                   : (side > 0 ? r.fi.BlackRookH : r.fi.BlackRookA)) = Sq(sq);
        }
        const std::string fen = StellungToFEN960(r.board, r.zug, r.moveNo, r.fi);
        EXPECT_EQ(fen, c.Want);
        EXPECT_EQ(fen.find(" f1 "), std::string::npos);
        Records back;
        ASSERT_TRUE(FENToStellung(fen, back.board, back.zug, back.moveNo, &back.fi, true));
        EXPECT_EQ(back.board, r.board);
        EXPECT_EQ(back.zug.CastlingRights, c.Rights);
        for (auto [got, want] : {std::pair{back.fi.WhiteRookA, r.fi.WhiteRookA},
                                 std::pair{back.fi.WhiteRookH, r.fi.WhiteRookH},
                                 std::pair{back.fi.BlackRookA, r.fi.BlackRookA},
                                 std::pair{back.fi.BlackRookH, r.fi.BlackRookH}})
            EXPECT_EQ(got, want);
    }

    // The en-passant square, which the marker used to take the place of.
    Records ep;
    ASSERT_TRUE(FENToStellung("rbbqnkrn/pppp1ppp/8/8/4pP2/8/PPPPP1PP/RBBQNKRN b KQkq f1 0 3",
                              ep.board, ep.zug, ep.moveNo, &ep.fi));
    ep.zug.EnPassant = Sq("f3");
    EXPECT_EQ(StellungToFEN960(ep.board, ep.zug, 3, ep.fi),
              "rbbqnkrn/pppp1ppp/8/8/4pP2/8/PPPPP1PP/RBBQNKRN b KQkq f3 0 3");
}

// A Chess960 position read from file letters keeps the rooks they name, is
// written back by the same letters (what a pasted position is copied as),
// and a caller that knows the game is Chess960 has KQkq read as its
// outermost rooks.
TEST(Fen, Chess960FileLettersComeAndGo) {
    const char* fen = "1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w HBhb - 0 1";
    Records r;
    ASSERT_TRUE(FENToStellung(fen, r.board, r.zug, r.moveNo, &r.fi));
    EXPECT_TRUE(r.fi.Fischer);
    EXPECT_EQ(r.zug.CastlingRights, AllCastlingRights);
    EXPECT_EQ(r.fi.WhiteKing, Sq("f1"));
    EXPECT_EQ(r.fi.WhiteRookA, Sq("b1"));
    EXPECT_EQ(r.fi.WhiteRookH, Sq("h1"));
    EXPECT_EQ(r.fi.BlackRookA, Sq("b8"));
    EXPECT_EQ(r.fi.BlackRookH, Sq("h8"));
    EXPECT_EQ(StellungToFEN960(r.board, r.zug, 1, r.fi, true), fen);
    EXPECT_EQ(StellungToFEN960(r.board, r.zug, 1, r.fi),
              "1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w KQkq - 0 1");

    // X-FEN with the variant known from elsewhere.
    Records x;
    ASSERT_TRUE(FENToStellung("1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w KQkq - 0 1", x.board,
                              x.zug, x.moveNo, &x.fi, true));
    EXPECT_TRUE(x.fi.Fischer);
    EXPECT_EQ(x.zug.CastlingRights, AllCastlingRights);
    EXPECT_EQ(x.fi, r.fi);

    // A castling rook further in than another rook: only its file says which.
    Records in;
    ASSERT_TRUE(FENToStellung("r1r1k2r/8/8/8/8/8/8/RR2K2R b Bkc - 0 20", in.board, in.zug,
                              in.moveNo, &in.fi));
    EXPECT_TRUE(in.fi.Fischer);
    EXPECT_EQ(in.zug.CastlingRights, WhiteLong | BlackShort | BlackLong);
    EXPECT_EQ(in.fi.WhiteRookA, Sq("b1"));
    EXPECT_EQ(in.fi.BlackRookA, Sq("c8"));
    const std::string back = StellungToFEN960(in.board, in.zug, in.moveNo, in.fi, true);
    EXPECT_EQ(back, "r1r1k2r/8/8/8/8/8/8/RR2K2R b Bhc - 0 20");
    Records again;
    ASSERT_TRUE(FENToStellung(back, again.board, again.zug, again.moveNo, &again.fi));
    EXPECT_EQ(again.zug.CastlingRights, in.zug.CastlingRights);
    EXPECT_EQ(again.fi, in.fi);
}
