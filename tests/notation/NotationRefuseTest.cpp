// SPDX-License-Identifier: GPL-3.0-or-later
// What the reader refuses and what it must still read: illegal moves,
// castling without its right or through check, long algebraic castling,
// FEN tags that are no position, null moves, texts without a game and
// variants other than chess and Chess960.
#include "NotationTestUtil.h"

#include <gtest/gtest.h>

using namespace kb;
using kbtest::MainLine;
using kbtest::Pgn;
using kbtest::Sq;

namespace {

struct Case {
    const char* name;
    std::string text;
    int result;           // LoadPGN's answer
    size_t kept;          // main-line moves in the tree afterwards
    const char* errorHas; // part of the error text; nullptr: no error
};

std::string WithTag(const std::string& tag, const std::string& movetext) {
    return "[Event \"T\"]\n[White \"Anna\"]\n" + tag + "\n\n" + movetext + "\n";
}

TEST(NotationRefuse, Table) {
    const std::string nuls(1000, '\0');
    const Case cases[] = {
        // Moves that leave the own king attacked.
        {"queen check ignored", Pgn("1. e4 f5 2. Qh5+ a6 *"), -1, 3, "Error reading moves"},
        {"pinned knight", Pgn("1. d4 e5 2. dxe5 Bb4+ 3. Nc3 d6 4. Nd5 *"), -1, 6,
         "Error reading moves"},
        {"king walks into check", Pgn("1. e4 e5 2. Ke2 Qh4 3. Kf3 Qf4+ 4. Ke2 Qxe4+ 5. Kd3 *"), -1,
         8, "Error reading moves"},
        {"en passant exposing the king",
         Pgn("1... d5 2. exd6 *", "8/3p4/8/r3P2K/8/8/8/k7 b - - 0 1"), -1, 1,
         "Error reading moves"},
        // Castling: only with its right, never out of, through or into check.
        {"castling after the king moved",
         Pgn("1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. Ke2 Nf6 5. Ke1 O-O 6. O-O *"), -1, 10,
         "Error reading moves"},
        {"castling out of check", Pgn("1. O-O *", "4k3/8/8/8/8/8/4r3/4K2R w K - 0 1"), -1, 0,
         "Error reading moves"},
        {"castling through check", Pgn("1. O-O *", "4k3/8/8/8/8/8/5r2/4K2R w K - 0 1"), -1, 0,
         "Error reading moves"},
        {"castling into check", Pgn("1. O-O *", "4k3/8/8/8/8/8/6r1/4K2R w K - 0 1"), -1, 0,
         "Error reading moves"},
        {"long castling past an attacked b1", Pgn("1. O-O-O *", "4k3/8/8/8/8/8/1r6/R3K3 w Q - 0 1"),
         0, 1, nullptr},
        {"castling without a right in the FEN", Pgn("1. O-O *", "4k3/8/8/8/8/8/8/4K2R w - - 0 1"),
         -1, 0, "Error reading moves"},
        // Long algebraic castling is the king's move.
        {"coordinates", Pgn("1. e2e4 e7e5 2. g1f3 b8c6 3. f1c4 f8c5 4. e1g1 g8f6 5. d2d3 e8g8 *"),
         0, 10, nullptr},
        {"with piece letter and dash",
         Pgn("1. d4 d5 2. Nc3 Nc6 3. Bf4 Bf5 4. Qd2 Qd7 5. Ke1-c1 Ke8-c8 *"), 0, 10, nullptr},
        {"king two files from elsewhere is no castling",
         Pgn("1. d1f1 *", "4k3/8/8/8/8/8/8/3K3R w - - 0 1"), -1, 0, "Error reading moves"},
        // FEN tags the reader refuses, or positions no game can reach.
        {"unknown piece letter",
         Pgn("1. e4 *", "rnbqkbnr/pppppppp/8/8/8/8/PPPePPPP/RNBQKBNR w KQkq - 0 1"), -1, 0, "FEN"},
        {"sixteen squares", Pgn("1. e4 *", "rnbqkbnr/pppppppp/88/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"),
         -1, 0, "FEN"},
        {"bad side letter",
         Pgn("1. e4 *", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1"), -1, 0, "FEN"},
        {"two white kings", Pgn("1. Kd2 *", "4k3/8/8/8/8/8/8/3KK3 w - - 0 1"), -1, 0, "FEN"},
        {"no black king", Pgn("1. Kd2 *", "8/8/8/8/8/8/8/4K3 w - - 0 1"), -1, 0, "FEN"},
        {"pawn on the last rank", Pgn("1. Kd2 *", "3Pk3/8/8/8/8/8/8/4K3 w - - 0 1"), -1, 0, "FEN"},
        {"side not to move in check", Pgn("1. Kd2 *", "4k3/8/8/8/8/8/4R3/4K3 w - - 0 1"), -1, 0,
         "FEN"},
        // Null moves stop the game with an error, keeping the moves before.
        {"null move --", Pgn("1. e4 e5 2. -- Nc6 *"), -1, 2, "Error reading moves"},
        {"null move Z0", Pgn("1. e4 e5 2. Z0 Nc6 *"), -1, 2, "Error reading moves"},
        {"results still end the moves", Pgn("1. e4 e5 1-0", {}, "1-0"), 0, 2, nullptr},
        // No tag and no move.
        {"blanks", "  \r\n\t ", -1, 0, "no game"},
        {"NUL bytes", nuls, -1, 0, "no game"},
        {"noise", "%%%% ^^^^ 123 ((( )))", -1, 0, "no game"},
        // Variants other than chess and Chess960.
        {"antichess", WithTag("[Variant \"Antichess\"]", "1. e3 b5 2. Bxb5 *"), -1, 0, "Antichess"},
        {"atomic", WithTag("[Variant \"Atomic\"]", "1. e4 *"), -1, 0, "Atomic"},
        {"three-check", WithTag("[Variant \"Three-check\"]", "1. e4 *"), -1, 0, "Three-check"},
        {"standard", WithTag("[Variant \"Standard\"]", "1. e4 *"), 0, 1, nullptr},
        {"chess960", WithTag("[Variant \"Chess960\"]", "1. e4 *"), 0, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TNotation n;
        n.SetEnglish(true);
        std::string error;
        n.OnError = [&error](TNotation*, const std::string& e) { error = e; };
        EXPECT_EQ(n.LoadPGN(c.text), c.result);
        EXPECT_EQ(MainLine(n).size(), c.kept);
        if (c.errorHas) {
            EXPECT_NE(error.find(c.errorHas), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, "");
        }
    }
}

TEST(NotationRefuse, RefusedStartKeepsTheHeaderAndReadsNoMove) {
    const std::string fen = "4k3/8/8/8/8/8/8/3KK3 w - - 0 1";
    TNotation n;
    EXPECT_EQ(n.LoadPGN(Pgn("1. Kd2 Kd7 *", fen)), -1);
    EXPECT_EQ(n.GameData.EventData.White, "A");
    EXPECT_EQ(n.GameData.EventData.FEN, fen);
    EXPECT_EQ(n.RootLine, nullptr);
    // The German text names the FEN as well.
    TNotation de;
    std::string error;
    de.OnError = [&error](TNotation*, const std::string& e) { error = e; };
    EXPECT_EQ(de.LoadPGN(Pgn("1. Kd2 *", fen)), -1);
    EXPECT_NE(error.find("FEN-Tag"), std::string::npos) << error;
    EXPECT_NE(error.find(fen), std::string::npos) << error;
}

TEST(NotationRefuse, LongAlgebraicCastlingMovesTheRook) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e2e4 e7e5 2. g1f3 b8c6 3. f1c4 f8c5 4. e1g1 d7d6 5. d2d4 c8g4 "
                            "6. c1e3 d8d7 7. b1c3 e8c8 *")),
              0);
    const auto ml = MainLine(n);
    ASSERT_EQ(ml.size(), 14u);
    EXPECT_EQ(ml[6]->Zug.CastlingKind, 1);
    EXPECT_EQ(ml[13]->Zug.CastlingKind, 2);
    EXPECT_EQ(ml[13]->Zug.CastlingRights & (BlackShort | BlackLong), 0);
    TSchachbrett b;
    TZug z;
    n.PositionAfter(ml.back(), b, z);
    EXPECT_EQ(b[Sq("g1")], Koenig);
    EXPECT_EQ(b[Sq("f1")], Turm);
    EXPECT_EQ(b[Sq("h1")], 0);
    EXPECT_EQ(b[Sq("c8")], -Koenig);
    EXPECT_EQ(b[Sq("d8")], -Turm);
    EXPECT_EQ(b[Sq("a8")], 0);
}

TEST(NotationRefuse, Chess960CastlingOntoTheOwnRook) {
    // Kings on b1 and b8, rooks on a and e: the king moving onto its own
    // rook is castling, the way engines write it. "f1" marks Chess960.
    const std::string fen = "rk2r3/pppppppp/8/8/8/8/PPPPPPPP/RK2R3 w KQkq f1 0 1";
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. b1e1 b8a8 *", fen)), 0);
    ASSERT_NE(n.ActiveFischerInfo(), nullptr);
    const auto ml = MainLine(n);
    ASSERT_EQ(ml.size(), 2u);
    EXPECT_EQ(ml[0]->Zug.CastlingKind, 3);
    EXPECT_EQ(ml[1]->Zug.CastlingKind, 4);
    TSchachbrett b;
    TZug z;
    n.PositionAfter(ml.back(), b, z);
    EXPECT_EQ(b[Sq("g1")], Koenig);
    EXPECT_EQ(b[Sq("f1")], Turm);
    EXPECT_EQ(b[Sq("e1")], 0);
    EXPECT_EQ(b[Sq("c8")], -Koenig);
    EXPECT_EQ(b[Sq("d8")], -Turm);
    EXPECT_EQ(b[Sq("a8")], 0);
    EXPECT_EQ(b[Sq("b8")], 0);
}

} // namespace
