// SPDX-License-Identifier: GPL-3.0-or-later
// The game tree, the working board and the Chess960 start test.
#include "NotationTestUtil.h"

#include <gtest/gtest.h>

using namespace kb;
using kbtest::Sq;

namespace {

TEST(NotationTree, NewInstanceHoldsAnEmptyStandardGame) {
    TNotation n;
    EXPECT_EQ(n.WorkBoard, StandardStellung);
    EXPECT_EQ(n.GameData.Stellung, StandardStellung);
    EXPECT_EQ(n.GameData.Zug.CastlingRights, 30);
    EXPECT_EQ(n.GameData.Zug.Side, 1);
    EXPECT_EQ(n.GameData.ZugNummer, 1);
    EXPECT_EQ(n.GameData.EventData.White, "N.N.");
    EXPECT_EQ(n.GameData.EventData.Result, "*");
    EXPECT_EQ(n.RootLine, nullptr);
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_FALSE(n.Modified);
    EXPECT_EQ(n.ActiveFischerInfo(), nullptr);
}

TEST(NotationTree, NewGameClearsTheTreeAndReportsTheStartOnce) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4 e5 (1... c5) 2. Nf3")), 0);
    ASSERT_NE(n.RootLine, nullptr);
    n.CurrentMove = n.RootLine->Erster;
    int calls = 0;
    n.OnMoveChange = [&](TNotation* sender, TZug z, TSchachbrett b, bool next) {
        ++calls;
        EXPECT_EQ(sender, &n);
        EXPECT_EQ(b, StandardStellung);
        EXPECT_EQ(z.Side, 1);
        EXPECT_FALSE(next);
    };
    n.NewGame();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(n.RootLine, nullptr);
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_EQ(n.GameData.EventData.White, "N.N.");
}

// Plays one move record through DoMove and takes it back with UndoMove.
struct Played {
    TSchachbrett before, after;
};
Played PlayAndUndo(TNotation& n, const TSchachbrett& board, const TZug& z) {
    n.WorkBoard = board;
    n.WorkMove = z;
    n.DoMove();
    Played p{board, n.WorkBoard};
    n.UndoMove(z);
    return p;
}

TEST(NotationTree, DoAndUndoSpecialMoves) {
    TNotation n;
    TSchachbrett b = LeeresBrett;
    b[Sq("e1")] = Koenig;
    b[Sq("h1")] = Turm;
    b[Sq("a1")] = Turm;
    b[Sq("e8")] = -Koenig;
    TZug z{};
    z.Side = -1; // side to move after White's move
    z.From = Sq("e1");
    z.To = Sq("g1");
    z.CastlingKind = 1;
    auto p = PlayAndUndo(n, b, z);
    EXPECT_EQ(p.after[Sq("g1")], Koenig);
    EXPECT_EQ(p.after[Sq("f1")], Turm);
    EXPECT_EQ(p.after[Sq("h1")], 0);
    EXPECT_EQ(p.after[Sq("e1")], 0);
    EXPECT_EQ(n.WorkBoard, b);

    z.To = Sq("c1");
    z.CastlingKind = 2;
    p = PlayAndUndo(n, b, z);
    EXPECT_EQ(p.after[Sq("c1")], Koenig);
    EXPECT_EQ(p.after[Sq("d1")], Turm);
    EXPECT_EQ(p.after[Sq("a1")], 0);
    EXPECT_EQ(n.WorkBoard, b);

    // En passant: e5xd6 takes the pawn on d5.
    TSchachbrett ep = LeeresBrett;
    ep[Sq("e5")] = Bauer;
    ep[Sq("d5")] = -Bauer;
    TZug e{};
    e.Side = -1;
    e.From = Sq("e5");
    e.To = Sq("d6");
    e.EnPassantVictim = Sq("d5");
    e.Captured = -Bauer;
    p = PlayAndUndo(n, ep, e);
    EXPECT_EQ(p.after[Sq("d6")], Bauer);
    EXPECT_EQ(p.after[Sq("d5")], 0);
    EXPECT_EQ(n.WorkBoard, ep);
    EXPECT_EQ(n.WorkBoard[Sq("d6")], 0);

    // A promotion with capture comes back as a pawn and the taken rook.
    TSchachbrett pr = LeeresBrett;
    pr[Sq("g7")] = Bauer;
    pr[Sq("h8")] = -Turm;
    TZug q{};
    q.Side = -1;
    q.From = Sq("g7");
    q.To = Sq("h8");
    q.Promotion = Dame;
    q.Captured = -Turm;
    p = PlayAndUndo(n, pr, q);
    EXPECT_EQ(p.after[Sq("h8")], Dame);
    EXPECT_EQ(n.WorkBoard, pr);
}

TEST(NotationTree, Chess960CastlingUsesTheRookStartSquares) {
    TNotation n;
    // King f1, rooks b1 and g1 (and the mirror for Black): a Chess960 start.
    const std::string fen = "nrbqbkrn/pppppppp/8/8/8/8/PPPPPPPP/NRBQBKRN w KQkq - 0 1";
    TFischerInfo reported{};
    int reports = 0;
    n.OnFischerInfo = [&](TNotation*, TFischerInfo fi) {
        reported = fi;
        ++reports;
    };
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. Nb3 Nb6 2. O-O O-O", fen)), 0);
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(reported.Fischer);
    EXPECT_EQ(reported.WhiteRookA, Sq("b1"));
    EXPECT_EQ(reported.WhiteRookH, Sq("g1"));
    EXPECT_EQ(reported.WhiteKing, Sq("f1"));
    EXPECT_EQ(reported.BlackRookH, Sq("g8"));
    // No host took the record: the notation keeps its own.
    ASSERT_NE(n.ActiveFischerInfo(), nullptr);
    EXPECT_EQ(n.GameData.Zug.CastlingRights, AllCastlingRights);
    const std::string end = kbtest::FinalFen(n);
    EXPECT_EQ(end.substr(0, end.find(' ')), "1rbqbrkn/pppppppp/1n6/8/8/1N6/PPPPPPPP/1RBQBRKN");

    // The rook leaving b1 takes White's long right, though no rook ever stood on a1.
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. Nb3 Nb6 2. Ra1", fen)), 0);
    auto ml = kbtest::MainLine(n);
    ASSERT_EQ(ml.size(), 3u);
    EXPECT_EQ(ml[2]->Zug.CastlingRights, WhiteShort | BlackShort | BlackLong);
    // And a rook taken on its start square g8 takes Black's short right.
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. g4 Nb6 2. g5 Nc4 3. g6 Nb6 4. gxh7 Nc4 5. hxg8=Q+", fen)),
              0);
    ml = kbtest::MainLine(n);
    ASSERT_EQ(ml.size(), 9u);
    EXPECT_EQ(ml[8]->Zug.CastlingRights, WhiteShort | WhiteLong | BlackLong);
}

TEST(NotationTree, Chess960TakenUpPartWayStaysChess960) {
    // A FEN with the "f1" marker from a later position of a Chess960 game
    // (as our export writes it): castling still follows the rook squares.
    const std::string fen = "1rbqbkrn/pppppppp/1n6/8/8/1N6/PPPPPPPP/1RBQBKRN w KQkq f1 0 2";
    TNotation n;
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("2. O-O O-O", fen)), 0);
    const TFischerInfo* fi = n.ActiveFischerInfo();
    ASSERT_NE(fi, nullptr);
    EXPECT_EQ(fi->WhiteRookA, Sq("b1"));
    EXPECT_EQ(fi->WhiteRookH, Sq("g1"));
    EXPECT_EQ(fi->BlackKing, Sq("f8"));
    const std::string end = kbtest::FinalFen(n);
    EXPECT_EQ(end.substr(0, end.find(' ')), "1rbqbrkn/pppppppp/1n6/8/8/1N6/PPPPPPPP/1RBQBRKN");

    // Written and read back, it is the same Chess960 game.
    std::string text;
    n.GetPGN(text);
    TNotation back;
    ASSERT_EQ(back.LoadPGN(text), 0) << text;
    ASSERT_NE(back.ActiveFischerInfo(), nullptr);
    EXPECT_EQ(kbtest::FinalFen(back), kbtest::FinalFen(n));

    // Without the marker the same position is standard chess: no castling.
    TNotation plain;
    EXPECT_EQ(plain.LoadPGN(kbtest::Pgn(
                  "2. O-O O-O", "1rbqbkrn/pppppppp/1n6/8/8/1N6/PPPPPPPP/1RBQBKRN w KQkq - 0 2")),
              -1);
    EXPECT_EQ(plain.ActiveFischerInfo(), nullptr);
}

TEST(NotationTree, HostFischerInfoWinsAndStandardGamesClearTheOwnRecord) {
    TNotation n;
    TFischerInfo host{};
    n.OnFischerInfo = [&](TNotation* s, TFischerInfo fi) {
        host = fi;
        s->FischerInfo = fi.Fischer ? &host : nullptr;
    };
    const std::string fen = "nrbqbkrn/pppppppp/8/8/8/8/PPPPPPPP/NRBQBKRN w KQkq - 0 1";
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. O-O", fen)), 0);
    EXPECT_EQ(n.ActiveFischerInfo(), &host);
    EXPECT_EQ(kbtest::MainLine(n)[0]->Zug.CastlingKind, 3);
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4")), 0);
    EXPECT_EQ(n.FischerInfo, nullptr);
    EXPECT_EQ(n.ActiveFischerInfo(), nullptr);
}

TEST(NotationTree, AddVariationAppendsInOrder) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4")), 0);
    n.CurrentMove = n.RootLine->Erster;
    n.WorkLine = n.CurrentMove->Variations;
    n.AddVariation();
    TVariante* first = n.WorkLine;
    ASSERT_EQ(n.CurrentMove->Variations, first);
    n.WorkLine = n.CurrentMove->Variations;
    n.AddVariation();
    TVariante* second = n.WorkLine;
    EXPECT_EQ(first->Naechste, second);
    EXPECT_EQ(second->Vorige, first);
    EXPECT_EQ(n.LastNewLine, second);
    TBaum* node = n.NewNode(TZug{});
    EXPECT_EQ(n.LastNewNode, node);
    EXPECT_EQ(node->Next, nullptr);
    second->Erster = node; // linked: the tree owns it from here
    node->Prev = n.CurrentMove;
}

TEST(NotationTree, DeleteVariationRecordRelinksSiblings) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4 (1. d4) (1. c4) (1. Nf3) e5")), 0);
    TBaum* e4 = n.RootLine->Erster;
    TVariante* v1 = e4->Variations;
    TVariante* v2 = v1->Naechste;
    TVariante* v3 = v2->Naechste;
    TNotation::DeleteVariationRecord(v1->Naechste); // the middle one
    EXPECT_EQ(v1->Naechste, v3);
    EXPECT_EQ(v3->Vorige, v1);
    TNotation::DeleteVariationRecord(e4->Variations); // the first one
    EXPECT_EQ(e4->Variations, v3);
    EXPECT_EQ(v3->Vorige, nullptr);
    TNotation::DeleteVariationRecord(e4->Variations); // the only one
    EXPECT_EQ(e4->Variations, nullptr);
}

TEST(NotationTree, LongGamesAndDeepNestingFreeWithoutRecursion) {
    // 20000 plies of knight shuffles and 20000 nested variations.
    std::string moves;
    for (int i = 0; i < 5000; ++i)
        moves += "Nf3 Nf6 Ng1 Ng8 ";
    TNotation n;
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. " + moves)), 0);
    EXPECT_EQ(kbtest::MainLine(n).size(), 20000u);
    std::string nested = "1. e4 e5 ";
    for (int i = 0; i < 20000; ++i)
        nested += "(1... e6 ";
    ASSERT_EQ(n.LoadPGN(kbtest::Pgn(nested)), 0);
    int depth = 0;
    for (TBaum* b = n.RootLine->Erster->Next; b && b->Variations; b = b->Variations->Erster)
        ++depth;
    EXPECT_EQ(depth, 20000);
    n.NewGame();
    EXPECT_EQ(n.RootLine, nullptr);
}

TEST(NotationTree, AnnotationSetters) {
    TNotation n;
    int changed = 0;
    n.OnGameChanged = [&](TNotation*) { ++changed; };
    n.SetComment("opening\r\nnotes {x}");
    EXPECT_EQ(n.GameData.Kommentar, "{opening notes x}");
    ASSERT_NE(n.RootLine, nullptr); // an empty game gets its root line
    std::string s;
    n.GetComment(s);
    EXPECT_EQ(s, "opening notes x");
    EXPECT_EQ(changed, 1);

    ASSERT_EQ(n.LoadPGN(kbtest::Pgn("1. e4 {good move} e5")), 0);
    n.CurrentMove = n.RootLine->Erster;
    n.GetComment(s);
    EXPECT_EQ(s, "good move");
    n.SetMoveGlyph("!!");
    EXPECT_EQ(n.CurrentMove->Zug.Glyph, 2);
    n.SetMoveGlyph("!!!");
    EXPECT_EQ(n.CurrentMove->Zug.Glyph, 0);
    n.SetPositionGlyph(142);
    n.SetPositionGlyph(14);
    n.SetPositionGlyph(0);
    EXPECT_EQ(n.CurrentMove->Zug.ExtraNAG, 142);
    EXPECT_EQ(n.CurrentMove->Zug.NAG, 0);
    n.SetComment("");
    EXPECT_EQ(n.CurrentMove->Kommentar, "");
    EXPECT_TRUE(n.Modified);
    n.SetModified(false);
    EXPECT_FALSE(n.Modified);

    n.SetGlyphChars(std::string("\xA1\xA2#\xA4x"));
    EXPECT_EQ(n.NagChars[0], '\xA1');
    EXPECT_EQ(n.NagChars[2], 'k'); // "#" keeps the built-in character
    EXPECT_EQ(n.NagChars[4], 'm'); // below 128 as well
    EXPECT_EQ(n.NagChars[18], '~');
}

} // namespace

namespace {

TEST(NotationTree, Chess960CastlingTakesBack) {
    TNotation n;
    TFischerInfo fi{};
    fi.Fischer = true;
    fi.WhiteRookA = kbtest::Sq("b1");
    fi.WhiteRookH = kbtest::Sq("g1");
    fi.WhiteKing = kbtest::Sq("f1");
    n.FischerInfo = &fi;
    TSchachbrett b = LeeresBrett;
    b[kbtest::Sq("b1")] = Turm;
    b[kbtest::Sq("g1")] = Turm;
    b[kbtest::Sq("f1")] = Koenig;
    b[kbtest::Sq("e8")] = -Koenig;
    for (int kind : {3, 4}) {
        TZug z{};
        z.Side = -1;
        z.From = kbtest::Sq("f1");
        z.To = kind == 3 ? kbtest::Sq("g1") : kbtest::Sq("c1");
        z.CastlingKind = kind;
        auto p = PlayAndUndo(n, b, z);
        if (kind == 3) {
            EXPECT_EQ(p.after[kbtest::Sq("g1")], Koenig);
            EXPECT_EQ(p.after[kbtest::Sq("f1")], Turm);
        } else {
            EXPECT_EQ(p.after[kbtest::Sq("c1")], Koenig);
            EXPECT_EQ(p.after[kbtest::Sq("d1")], Turm);
            EXPECT_EQ(p.after[kbtest::Sq("b1")], 0);
            EXPECT_EQ(p.after[kbtest::Sq("g1")], Turm);
        }
        EXPECT_EQ(n.WorkBoard, b) << "kind " << kind;
    }
}

} // namespace
