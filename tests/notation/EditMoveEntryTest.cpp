// SPDX-License-Identifier: GPL-3.0-or-later
// Move entry: append, the new-move question and its four answers, replace
// with re-pointed later moves, SAN flags, and calls refused while a
// question is open.
#include "EditTestUtil.h"

using namespace kb;
using kbtest::MainLine;
using kbtest::Move;
using kbtest::Movetext;
using kbtest::NodeText;
using kbtest::Pgn;
using kbtest::ScriptedChooser;
using kbtest::Sq;

namespace {

// Plays the moves, each appended at the end.
void Enter(TNotation& n, std::initializer_list<const char*> moves) {
    for (const char* m : moves)
        ASSERT_TRUE(n.MoveDone(Move(n, m))) << m;
}

TEST(EditMoveEntry, FirstMovesAreAppendedWithoutAQuestion) {
    TNotation n;
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    int changed = 0, moved = 0;
    n.OnGameChanged = [&](TNotation*) { ++changed; };
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett, bool) { ++moved; };
    Enter(n, {"e2e4", "e7e5", "g1f3"});
    EXPECT_EQ(chooser.newMoveQuestions, 0);
    ASSERT_EQ(MainLine(n).size(), 3u);
    EXPECT_EQ(n.RootLine->Erster->Zug.To, Sq("e4"));
    EXPECT_EQ(n.CurrentMove, MainLine(n)[2]);
    EXPECT_EQ(changed, 3);
    EXPECT_EQ(moved, 0); // a taken move fires no position change
    EXPECT_TRUE(n.Modified);
    kbtest::CheckWorkPosition(n, "after entry");
    EXPECT_EQ(NodeText(n, MainLine(n)[2]), "2.Sf3");
}

TEST(EditMoveEntry, TheQuestionAtTheStartAndItsAnswers) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 (1. d4 d5) (1. c4) e5 2. Nf3")), 0);
    n.SetEnglish(true);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    ASSERT_EQ(n.CurrentMove, nullptr);

    // Cancel: nothing changes, the host is told to put its board back.
    int moved = 0;
    TSchachbrett shown{};
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett b, bool next) {
        ++moved;
        shown = b;
        EXPECT_FALSE(next);
    };
    const std::string before = Movetext(n);
    chooser.newMoveAnswers = {TNewMoveChoice::Cancel};
    EXPECT_FALSE(n.MoveDone(Move(n, "g1f3")));
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(shown, StandardStellung);
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_EQ(Movetext(n), before);
    ASSERT_EQ(chooser.asked.size(), 1u);
    EXPECT_EQ(chooser.asked[0], (std::vector<std::string>{"A) 1.e4", "B) 1.d4", "C) 1.c4"}));

    // New variation: a third alternative to the first move.
    chooser.newMoveAnswers = {TNewMoveChoice::NewVariation};
    EXPECT_TRUE(n.MoveDone(Move(n, "g1f3")));
    EXPECT_EQ(n.CurrentMove->Prev, n.RootLine->Erster);
    EXPECT_EQ(Movetext(n), "1.e4 (1.d4 d5) (1.c4) (1.Nf3) 1...e5 2.Nf3 *");
    kbtest::CheckLinks(n, "new variation");

    // Overwrite at the start discards the whole game.
    ASSERT_TRUE(n.GotoStart());
    chooser.newMoveAnswers = {TNewMoveChoice::Overwrite};
    EXPECT_TRUE(n.MoveDone(Move(n, "b2b3")));
    EXPECT_EQ(Movetext(n), "1.b3 *");
    EXPECT_EQ(chooser.newMoveQuestions, 3);
}

TEST(EditMoveEntry, OneShotRequestsSkipTheQuestion) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5")), 0);
    n.SetEnglish(true);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    ASSERT_TRUE(n.GotoEnd());
    ASSERT_TRUE(n.MoveBack());
    n.NewVariationOnce = true;
    n.OverwriteOnce = true; // the variation wins
    EXPECT_TRUE(n.MoveDone(Move(n, "c7c5")));
    EXPECT_FALSE(n.NewVariationOnce);
    EXPECT_FALSE(n.OverwriteOnce);
    EXPECT_EQ(Movetext(n), "1.e4 e5 (1...c5) *");
    ASSERT_TRUE(n.MoveBack());
    n.OverwriteOnce = true;
    EXPECT_TRUE(n.MoveDone(Move(n, "d7d5")));
    EXPECT_EQ(Movetext(n), "1.e4 d5 *");
    // A request without a continuation is dropped: the move is appended.
    n.OverwriteOnce = true;
    EXPECT_TRUE(n.MoveDone(Move(n, "e4d5")));
    EXPECT_FALSE(n.OverwriteOnce);
    EXPECT_EQ(chooser.newMoveQuestions, 0);
    EXPECT_EQ(Movetext(n), "1.e4 d5 2.exd5 *");
}

TEST(EditMoveEntry, EmptyLinesUseUpTheirLetter) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 ( ) (2. Bc4) Nc6")), 0);
    n.SetEnglish(true);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    ASSERT_TRUE(n.MoveForward());
    ASSERT_TRUE(n.MoveForward());
    chooser.newMoveAnswers = {TNewMoveChoice::Cancel};
    EXPECT_FALSE(n.MoveDone(Move(n, "d2d4")));
    ASSERT_EQ(chooser.asked.size(), 1u);
    EXPECT_EQ(chooser.asked[0], (std::vector<std::string>{"A) 2.Nf3", "C) 2.Bc4"}));
}

TEST(EditMoveEntry, ReplaceKeepsLaterMovesFromTheNewSquare) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. Nf3 d5 2. Ng5 h6")), 0);
    n.SetEnglish(true);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    EXPECT_TRUE(n.MoveDone(Move(n, "g1h3")));
    EXPECT_EQ(Movetext(n), "1.Nh3 d5 2.Ng5 h6 *");
    EXPECT_EQ(MainLine(n)[2]->Zug.From, Sq("h3"));
    EXPECT_EQ(n.CurrentMove, MainLine(n)[0]);
    kbtest::CheckWorkPosition(n, "after replace");
}

TEST(EditMoveEntry, ReplaceIsRefusedWhenALaterMoveBreaks) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Bc4 (2. Nf3 Nc6 (2... d6 3. Bc4)) Nf6")), 0);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    const std::string before = Movetext(n);
    int moved = 0;
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett b, bool) {
        ++moved;
        EXPECT_EQ(b, StandardStellung);
    };
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    n.Modified = false;
    EXPECT_FALSE(n.MoveDone(Move(n, "d2d4"))); // 2.Bc4 from f1 is blocked now
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(Movetext(n), before);
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_FALSE(n.Modified);
    // A move inside a sub-variation that breaks refuses as well.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 (2. Nc3 d6 (2... Nf6 3. Bc4)) Nc6")), 0);
    const std::string before2 = Movetext(n);
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    EXPECT_FALSE(n.MoveDone(Move(n, "d2d3")));
    EXPECT_EQ(Movetext(n), before2);
}

TEST(EditMoveEntry, ReplaceRecomputesWhatLaterMovesSay) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 Nc6 3. Nc3 Nf6 4. Nd5 Nxd5 5. exd5")), 0);
    n.SetEnglish(true);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(n.MoveForward());
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    ASSERT_TRUE(n.MoveDone(Move(n, "f1c4")));
    const auto line = MainLine(n);
    // 4.Nd5 started on c3; the bishop from c4 now plays it, and Black takes a bishop.
    EXPECT_EQ(line[6]->Zug.From, Sq("c4"));
    EXPECT_EQ(line[7]->Zug.Captured, Laeufer);
    EXPECT_EQ(Movetext(n), "1.e4 e5 2.Nf3 Nc6 3.Bc4 Nf6 4.Bd5 Nxd5 5.exd5 *");
    // Going back over the capture puts the bishop back, not a knight.
    ASSERT_TRUE(n.GotoEnd());
    ASSERT_TRUE(n.MoveBack());
    ASSERT_TRUE(n.MoveBack());
    EXPECT_EQ(n.WorkBoard[Sq("d5")], Laeufer);
    kbtest::CheckWorkPosition(n, "back over the capture");

    // 2.Qh5 replaced by 2.Qg4 leaves 3.Qxf7 unplayable: refused. By 2.Bc4
    // the bishop takes on f7, with check.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Qh5 Nc6 3. Qxf7+ Kxf7")), 0);
    ASSERT_TRUE(n.MoveForward());
    ASSERT_TRUE(n.MoveForward());
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    EXPECT_FALSE(n.MoveDone(Move(n, "d1g4")));
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    ASSERT_TRUE(n.MoveDone(Move(n, "f1c4")));
    EXPECT_EQ(Movetext(n), "1.e4 e5 2.Bc4 Nc6 3.Bxf7+ Kxf7 *");
    EXPECT_EQ(MainLine(n)[4]->Zug.From, Sq("c4"));
    EXPECT_EQ(MainLine(n)[4]->Zug.Captured, -Bauer);
    // The king's capture now takes a bishop, and going back shows it.
    EXPECT_EQ(MainLine(n)[5]->Zug.Captured, Laeufer);
}

TEST(EditMoveEntry, ReplaceNeverRepointsCastlingEnPassantOrPromotion) {
    TNotation n;
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    // 2.Nf3 replaced by 2.Ke2: the castling is not moved to e2.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O")), 0);
    ASSERT_TRUE(n.MoveForward());
    ASSERT_TRUE(n.MoveForward());
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    EXPECT_FALSE(n.MoveDone(Move(n, "e1e2")));
    EXPECT_EQ(MainLine(n)[6]->Zug.From, Sq("e1"));

    // An en-passant capture whose pawn came from elsewhere is not re-pointed.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 a6 2. e5 d5 3. exd6")), 0);
    ASSERT_TRUE(n.MoveForward());
    ASSERT_TRUE(n.MoveForward());
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    EXPECT_FALSE(n.MoveDone(Move(n, "d2d4")));
    EXPECT_EQ(MainLine(n)[4]->Zug.From, Sq("e5"));

    // Promotion: 1.b7 re-pointed to another pawn is refused.
    ASSERT_EQ(n.LoadPGN(Pgn("1. b7 Kg8 2. b8=Q+", "7k/8/PP6/8/8/8/8/K7 w - - 0 1")), 0);
    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
    EXPECT_FALSE(n.MoveDone(Move(n, "a6a7")));
    EXPECT_EQ(MainLine(n)[0]->Zug.From, Sq("b6"));
}

TEST(EditMoveEntry, DisambiguationAndCheckFlags) {
    TNotation n;
    n.SetEnglish(true);
    TZug start{};
    start.Side = 1;
    TSchachbrett b = LeeresBrett;
    b[Sq("a1")] = Koenig;
    b[Sq("h8")] = -Koenig;
    b[Sq("b1")] = Springer;
    b[Sq("f1")] = Springer;
    b[Sq("b5")] = Springer;
    n.SetStartPosition(b, start, 1);
    // Knights on b1 and f1 both reach d2; b5 shares b1's file.
    n.OverwriteOnce = true;
    ASSERT_TRUE(n.MoveDone(Move(n, "b1d2")));
    EXPECT_EQ(NodeText(n, n.CurrentMove), "1.Nbd2");
    ASSERT_TRUE(n.MoveBack());
    n.OverwriteOnce = true;
    ASSERT_TRUE(n.MoveDone(Move(n, "b1c3")));
    EXPECT_EQ(NodeText(n, n.CurrentMove), "1.N1c3"); // b5 shares the file
    ASSERT_TRUE(n.MoveBack());

    // Others on the same file and on the same rank: both.
    TSchachbrett q = LeeresBrett;
    q[Sq("h1")] = Koenig;
    q[Sq("h7")] = -Koenig;
    q[Sq("a1")] = Dame;
    q[Sq("a3")] = Dame;
    q[Sq("c1")] = Dame;
    n.SetStartPosition(q, start, 1);
    ASSERT_TRUE(n.MoveDone(Move(n, "a1b2")));
    EXPECT_EQ(NodeText(n, n.CurrentMove), "1.Qa1b2");

    // A pinned knight needs no telling apart.
    TSchachbrett p = LeeresBrett;
    p[Sq("e1")] = Koenig;
    p[Sq("e2")] = Springer; // pinned by the rook on e8
    p[Sq("e8")] = -Turm;
    p[Sq("a8")] = -Koenig;
    p[Sq("b1")] = Springer;
    n.SetStartPosition(p, start, 1);
    ASSERT_TRUE(n.MoveDone(Move(n, "b1c3")));
    EXPECT_EQ(NodeText(n, n.CurrentMove), "1.Nc3");

    // A discovered check: the bishop moves off the rook's file.
    TSchachbrett d = LeeresBrett;
    d[Sq("a1")] = Koenig;
    d[Sq("e1")] = Turm;
    d[Sq("e4")] = Laeufer;
    d[Sq("e8")] = -Koenig;
    n.SetStartPosition(d, start, 1);
    ASSERT_TRUE(n.MoveDone(Move(n, "e4b1")));
    EXPECT_EQ(NodeText(n, n.CurrentMove), "1.Bb1+");
    EXPECT_EQ(n.CurrentMove->Zug.Flags, FlagCheck);
    n.MarkMate(); // not mate, but the host says so: "+" becomes "#"
    EXPECT_EQ(NodeText(n, n.CurrentMove), "1.Bb1#");
}

TEST(EditMoveEntry, NoKingNoCheckFlagAndBrokenRecordsAreRefused) {
    TNotation n;
    TZug start{};
    start.Side = 1;
    TSchachbrett b = LeeresBrett;
    b[Sq("a1")] = Turm;
    b[Sq("h1")] = Koenig;
    n.SetStartPosition(b, start, 1); // Black has no king
    TZug z = Move(n, "a1a8");
    ASSERT_TRUE(n.MoveDone(z));
    EXPECT_EQ(n.CurrentMove->Zug.Flags & FlagCheck, 0);

    // A record whose from square holds no piece of the mover.
    TZug bad = z;
    bad.From = Sq("c3");
    bad.To = Sq("c4");
    bad.Side = 1;
    int moved = 0;
    n.OnMoveChange = [&](TNotation*, TZug, TSchachbrett, bool) { ++moved; };
    EXPECT_FALSE(n.MoveDone(bad));
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(MainLine(n).size(), 1u);
}

TEST(EditMoveEntry, StartMoveNumbersStayInRange) {
    TNotation n;
    TZug start{};
    start.Side = -1;
    start.CastlingRights = 31; // the board's records carry bit 1 as well
    n.SetStartPosition(StandardStellung, start, 70000);
    EXPECT_EQ(n.GameData.ZugNummer, 65535);
    EXPECT_EQ(n.GameData.Zug.Side, -1);
    n.SetStartPosition(StandardStellung, start, 0);
    EXPECT_EQ(n.GameData.ZugNummer, 1);
    n.SetStartPosition(StandardStellung, start, -1); // keeps the number
    EXPECT_EQ(n.GameData.ZugNummer, 1);
    n.SetStartPosition(StandardStellung, start, 23);
    std::string s;
    n.MoveNumberText(s);
    EXPECT_EQ(s, "23...");
}

TEST(EditMoveEntry, CallsWhileAQuestionIsOpenAreRefused) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 (1... c5 2. Nf3) 2. Nf3 Nc6 3. Bb5")), 0);
    n.SetEnglish(true);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    ASSERT_TRUE(n.MoveForward());
    const std::string before = Movetext(n);
    int tried = 0;
    chooser.whileOpen = [&](TNotation& inner) {
        ++tried;
        // An engine reply, a timer, a key: each would change the tree or the
        // current move under the open question.
        EXPECT_FALSE(inner.MoveDone(Move(inner, "d7d5")));
        EXPECT_FALSE(inner.MoveBack());
        EXPECT_FALSE(inner.MoveForward());
        EXPECT_FALSE(inner.GotoEnd());
        EXPECT_FALSE(inner.GotoStart());
        EXPECT_FALSE(inner.CutMoves(true));
        EXPECT_FALSE(inner.CutMoves(false));
        EXPECT_EQ(inner.LoadPGN(Pgn("1. d4")), -1);
        inner.NewGame();
        inner.DeleteVariation();
        inner.PromoteVariation();
        EXPECT_TRUE(inner.Busy());
    };
    chooser.newMoveAnswers = {TNewMoveChoice::NewVariation};
    EXPECT_TRUE(n.MoveDone(Move(n, "d7d6")));
    EXPECT_EQ(tried, 1);
    EXPECT_FALSE(n.Busy());
    EXPECT_EQ(Movetext(n), "1.e4 e5 (1...c5 2.Nf3) (1...d6) 2.Nf3 Nc6 3.Bb5 *");
    EXPECT_NE(before, Movetext(n));
    kbtest::CheckLinks(n, "after the question");
    kbtest::CheckWorkPosition(n, "after the question");
}

} // namespace
