// SPDX-License-Identifier: GPL-3.0-or-later
// Cutting, promoting and deleting variations, the one level of undo, and
// marking mate.
#include "EditTestUtil.h"

using namespace kb;
using kbtest::MainLine;
using kbtest::Move;
using kbtest::NodeText;
using kbtest::Pgn;
using kbtest::Sq;

using kbtest::FindNode;
using kbtest::SelectNode;

namespace {

std::string Export(TNotation& n) {
    std::string pgn;
    EXPECT_EQ(n.GetPGN(pgn), 0);
    return pgn;
}

// Steps forward along the main line.
void Forward(TNotation& n, int plies) {
    uint8_t f, t, p, c;
    for (int i = 0; i < plies; ++i)
        ASSERT_TRUE(n.MoveForwardMain(f, t, p, c));
}

const char* const Nested =
    "{Start} 1. e4 e5 2. Nf3 Nc6 (2... d6 3. d4 (3. Bc4 Be7 (3... h6) 4. d3) 3... exd4 {open}) "
    "( ) (2... Nf6 3. Nxe5) 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O";

TEST(EditTree, CutUndoAndExportAreByteIdentical) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(Pgn(Nested)), 0);
    const std::string original = Export(n);
    const std::string comment = n.GameData.Kommentar;
    int changed = 0;
    n.OnGameChanged = [&](TNotation*) { ++changed; };

    // Cut after 4.Ba4 and undo.
    Forward(n, 7);
    ASSERT_TRUE(n.CutMoves(true));
    EXPECT_EQ(MainLine(n).size(), 7u);
    EXPECT_EQ(changed, 1);
    EXPECT_NE(Export(n), original);
    n.UndoDelete();
    EXPECT_EQ(Export(n), original);
    kbtest::CheckLinks(n, "undo cut after");
    kbtest::CheckWorkPosition(n, "undo cut after");

    // Cut before 4.Ba4: the game starts at move 4 with Black to move.
    ASSERT_TRUE(n.CutMoves(false));
    EXPECT_EQ(n.GameData.ZugNummer, 4);
    EXPECT_EQ(n.GameData.Zug.Side, -1);
    EXPECT_EQ(n.GameData.Zug.From, 0); // the start record holds the position only
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_EQ(NodeText(n, MainLine(n)[0]), "4...Nf6");
    kbtest::CheckWorkPosition(n, "cut before");
    // Header and comment edits made after the cut survive its undo.
    n.GameData.EventData.Event = "Edited";
    n.SetComment("new start comment");
    int moved = 0;
    n.OnMoveChange = [&](TNotation*, TZug z, TSchachbrett b, bool) {
        ++moved;
        EXPECT_EQ(b, StandardStellung);
        EXPECT_EQ(z.Side, 1);
    };
    n.UndoDelete();
    EXPECT_EQ(moved, 1); // the current position is the start again
    EXPECT_EQ(n.GameData.EventData.Event, "Edited");
    EXPECT_EQ(n.GameData.Kommentar, "{new start comment}");
    n.GameData.EventData.Event = "Test";
    n.GameData.Kommentar = comment;
    EXPECT_EQ(Export(n), original);
    kbtest::CheckLinks(n, "undo cut before");
}

TEST(EditTree, CutBeforeBlacksTwelfthStartsAtThirteen) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn(Nested)), 0);
    ASSERT_TRUE(n.GotoEnd()); // 8...O-O, Black's 8th
    ASSERT_TRUE(n.CutMoves(false));
    EXPECT_EQ(n.GameData.ZugNummer, 9);
    EXPECT_EQ(n.GameData.Zug.Side, 1);
    EXPECT_EQ(n.RootLine, nullptr); // the last move: an empty game remains
    EXPECT_FALSE(n.HasMoves());
    kbtest::CheckWorkPosition(n, "empty after cut");
    // Navigation and editing on the empty game do nothing.
    EXPECT_FALSE(n.GotoEnd());
    EXPECT_FALSE(n.MoveForward());
    EXPECT_FALSE(n.CutMoves(false));
    // A game comment makes an empty root line; still no moves.
    n.SetComment("x");
    EXPECT_FALSE(n.GotoEnd());
    EXPECT_FALSE(n.MoveForward());
    EXPECT_FALSE(n.NextVariationStart());
    n.UndoDelete();
    EXPECT_EQ(MainLine(n).size(), 16u);
    EXPECT_EQ(n.GameData.ZugNummer, 1);
    kbtest::CheckLinks(n, "undo onto comment root");
    kbtest::CheckWorkPosition(n, "undo onto comment root");
}

TEST(EditTree, CutBeforeInAVariationIsRefused) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(Pgn(Nested)), 0);
    SelectNode(n, FindNode(n, "3.d4"));
    ASSERT_FALSE(n.CurrentOnMainLine);
    EXPECT_FALSE(n.CutMoves(false));
    // Navigation keeps knowing where it is: after stepping out of the
    // variation, the cut is allowed.
    ASSERT_TRUE(n.MoveBack()); // 2...d6
    ASSERT_TRUE(n.MoveBack()); // 2.Nf3
    EXPECT_TRUE(n.CurrentOnMainLine);
    EXPECT_TRUE(n.CutMoves(false));
    EXPECT_EQ(NodeText(n, MainLine(n)[0]), "2...Nc6");
}

TEST(EditTree, DeleteVariationAndUndoAtItsIndex) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(Pgn(Nested)), 0);
    const std::string original = Export(n);
    // Inside the sub-variation 3...h6: only that line goes.
    SelectNode(n, FindNode(n, "3...h6"));
    int moved = 0;
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett, bool) { ++moved; };
    n.DeleteVariation();
    EXPECT_EQ(moved, 1);
    // Back to the position before 3...Be7: after 3.Bc4.
    EXPECT_EQ(n.CurrentMove, FindNode(n, "3.Bc4"));
    kbtest::CheckWorkPosition(n, "after delete");
    EXPECT_EQ(FindNode(n, "Be7")->Variations, nullptr);
    n.UndoDelete();
    EXPECT_EQ(Export(n), original);

    // The second of three lines on 2...Nc6 (the empty one is the second).
    SelectNode(n, FindNode(n, "2...Nf6"));
    n.DeleteVariation();
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.Nf3"));
    n.UndoDelete();
    EXPECT_EQ(Export(n), original);
    SelectNode(n, FindNode(n, "2...d6"));
    n.DeleteVariation();
    n.UndoDelete();
    EXPECT_EQ(Export(n), original);
    kbtest::CheckLinks(n, "undo delete");
    // A move entry drops the undo.
    SelectNode(n, FindNode(n, "3.Nxe5"));
    n.DeleteVariation();
    EXPECT_FALSE(n.MoveDone(Move(n, "g8f6"))); // no chooser: cancelled, still offered
    EXPECT_EQ(n.UndoKind, 0);
    n.UndoDelete();
    EXPECT_EQ(n.UndoKind, 0);
}

TEST(EditTree, DeleteOnAFirstMoveOfANestedFirstMove) {
    // 12.Nf3 (12.Nd2 (12.Ne1) 12...Qe7): the innermost line's branch point is
    // the position before 12.Nf3, not after it.
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nc3 (2. Nf3 (2. Ne2) 2... Nc6) Nf6")), 0);
    SelectNode(n, FindNode(n, "2.Ne2"));
    n.DeleteVariation();
    EXPECT_EQ(n.CurrentMove, FindNode(n, "e5"));
    kbtest::CheckWorkPosition(n, "nested delete");
    // The next move lands beside 2.Nc3, where the deleted line branched.
    n.NewVariationOnce = true;
    ASSERT_TRUE(n.MoveDone(Move(n, "d2d4")));
    EXPECT_EQ(n.CurrentMove->Prev, FindNode(n, "2.Nc3"));
    kbtest::CheckWorkPosition(n, "after entry");
    kbtest::CheckLinks(n, "after entry");
    kbtest::CheckWorkPosition(n, "after cancelled entry");
}

TEST(EditTree, PromoteSwapsOnlyAtTheBranchPoint) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(Pgn(Nested)), 0);
    TBaum* deep = FindNode(n, "4.d3");
    SelectNode(n, deep);
    n.Modified = false;
    n.PromoteVariation();
    EXPECT_TRUE(n.Modified);
    EXPECT_EQ(n.CurrentMove, deep);
    kbtest::CheckWorkPosition(n, "promote");
    kbtest::CheckLinks(n, "promote");
    std::string pgn = kbtest::Movetext(n);
    EXPECT_NE(pgn.find("3.d4 exd4 {open}"), std::string::npos) << pgn;
    // 3.Bc4 is now the move of the 2...d6 line, 3.d4 its alternative.
    EXPECT_NE(pgn.find("(2...d6 3.Bc4 (3.d4 exd4 {open}) 3...Be7 (3...h6) 4.d3)"),
              std::string::npos)
        << pgn;

    // Promoting from a variation's first move keeps that move current.
    TBaum* first = FindNode(n, "2...Nf6");
    SelectNode(n, first);
    n.PromoteVariation();
    EXPECT_EQ(NodeText(n, n.CurrentMove), "Nf6");
    EXPECT_TRUE(n.IsOnMainLine(n.CurrentMove));
    kbtest::CheckWorkPosition(n, "promote first");
    kbtest::CheckLinks(n, "promote first");
    EXPECT_EQ(NodeText(n, MainLine(n)[4]), "3.Nxe5");
    // On the main line nothing happens.
    const std::string before = Export(n);
    n.PromoteVariation();
    n.DeleteVariation();
    EXPECT_EQ(Export(n), before);
}

TEST(EditTree, MarkMateTurnsCheckIntoMate) {
    TNotation n;
    n.SetEnglish(true);
    ASSERT_EQ(n.LoadPGN(Pgn("1. f3 e5 2. g4")), 0);
    ASSERT_TRUE(n.GotoEnd());
    ASSERT_TRUE(n.MoveDone(Move(n, "d8h4")));
    EXPECT_EQ(NodeText(n, n.CurrentMove), "Qh4+");
    n.MarkMate();
    EXPECT_EQ(NodeText(n, n.CurrentMove), "Qh4#");
    EXPECT_EQ(n.CurrentMove->Zug.Flags & (FlagCheck | FlagMate), FlagMate);
    // Without a check nothing changes.
    ASSERT_TRUE(n.MoveBack());
    n.MarkMate();
    EXPECT_EQ(NodeText(n, n.CurrentMove), "2.g4");
}

} // namespace
