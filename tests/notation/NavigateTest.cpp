// SPDX-License-Identifier: GPL-3.0-or-later
// Navigation: back, forward with the "Select move" question, the jump at
// the end of a variation, branch points, start and end.
#include "EditTestUtil.h"

using namespace kb;
using kbtest::MainLine;
using kbtest::NodeText;
using kbtest::Pgn;
using kbtest::ScriptedChooser;
using kbtest::Sq;

using kbtest::FindNode;
using kbtest::SelectNode;

namespace {

struct Recorder {
    int events = 0;
    bool lastNext = false;
    TSchachbrett lastBoard{};
    int beeps = 0;
    void Attach(TNotation& n) {
        n.OnMoveChange = [this](TNotation*, TZug, TSchachbrett b, bool next) {
            ++events;
            lastNext = next;
            lastBoard = b;
        };
        n.BeepHook = [this](TNotation*) { ++beeps; };
    }
};

TNotation& English(TNotation& n) {
    n.SetEnglish(true);
    return n;
}

TEST(Navigate, BackFromFirstMovesOfNestedVariations) {
    TNotation n;
    English(n);
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nc3 (2. Nf3 (2. Ne2 d6) 2... Nc6) Nf6")), 0);
    Recorder r;
    r.Attach(n);
    SelectNode(n, FindNode(n, "d6"));
    ASSERT_TRUE(n.MoveBack());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.Ne2"));
    ASSERT_TRUE(n.MoveBack());
    // Not after 2.Nf3 or 2.Nc3: before both, after 1...e5.
    EXPECT_EQ(n.CurrentMove, FindNode(n, "e5"));
    EXPECT_EQ(r.events, 2);
    EXPECT_FALSE(r.lastNext);
    EXPECT_EQ(r.lastBoard, n.WorkBoard);
    kbtest::CheckWorkPosition(n, "back");
    EXPECT_TRUE(n.CurrentOnMainLine);
    ASSERT_TRUE(n.MoveBack());
    ASSERT_TRUE(n.MoveBack());
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_FALSE(n.MoveBack());
    EXPECT_EQ(r.events, 4);
    EXPECT_EQ(n.WorkBoard, StandardStellung);
}

TEST(Navigate, ForwardAsksWhereTheNextMoveHasAlternatives) {
    TNotation n;
    English(n);
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 ( ) (2. Bc4 Nf6) (2. d4) Nc6")), 0);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    Recorder r;
    r.Attach(n);
    ASSERT_TRUE(n.MoveForward());
    ASSERT_TRUE(n.MoveForward());
    EXPECT_EQ(chooser.selectQuestions, 0);
    EXPECT_TRUE(r.lastNext);
    TBaum* e5 = n.CurrentMove;

    // Esc: nothing happens, no event.
    const int events = r.events;
    chooser.selectAnswers = {-1};
    EXPECT_FALSE(n.MoveForward());
    EXPECT_EQ(n.SelectedCandidate, -1);
    EXPECT_EQ(r.events, events);
    EXPECT_EQ(n.CurrentMove, e5);
    ASSERT_EQ(chooser.asked.size(), 1u);
    EXPECT_EQ(chooser.asked[0], (std::vector<std::string>{"A) 2.Nf3", "C) 2.Bc4", "D) 2.d4"}));

    // The second entry is 2.Bc4, although the empty line comes first.
    chooser.selectAnswers = {1};
    ASSERT_TRUE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.Bc4"));
    EXPECT_FALSE(n.CurrentOnMainLine);
    EXPECT_TRUE(r.lastNext);
    kbtest::CheckWorkPosition(n, "entered 2.Bc4");
    ASSERT_TRUE(n.MoveBack());
    chooser.selectAnswers = {2};
    ASSERT_TRUE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.d4"));
    ASSERT_TRUE(n.MoveBack());
    chooser.selectAnswers = {0};
    ASSERT_TRUE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, MainLine(n)[2]);
    EXPECT_TRUE(n.CurrentOnMainLine);

    // Without a chooser the main continuation is taken.
    n.Chooser = nullptr;
    ASSERT_TRUE(n.MoveBack());
    ASSERT_TRUE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, MainLine(n)[2]);

    // At the start: a cancelled question leaves the start position.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 (1. d4) e5")), 0);
    n.Chooser = &chooser;
    chooser.selectAnswers = {-1};
    EXPECT_FALSE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_EQ(chooser.asked.back(), (std::vector<std::string>{"A) 1.e4", "B) 1.d4"}));
}

TEST(Navigate, ForwardAtTheEndOfAVariationJumpsOut) {
    TNotation n;
    English(n);
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 (1... c5 2. Nf3 (2. c3 d5) 2... d6) 2. Nf3 Nc6")), 0);
    Recorder r;
    r.Attach(n);
    SelectNode(n, FindNode(n, "d5"));
    EXPECT_FALSE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2...d6"));
    EXPECT_EQ(r.beeps, 1);
    EXPECT_EQ(r.events, 1);
    EXPECT_FALSE(r.lastNext);
    kbtest::CheckWorkPosition(n, "jumped");
    EXPECT_FALSE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.Nf3"));
    EXPECT_TRUE(n.CurrentOnMainLine);
    kbtest::CheckWorkPosition(n, "jumped to the main line");
    // At the end of the main line nothing happens.
    ASSERT_TRUE(n.GotoEnd());
    const int events = r.events;
    EXPECT_FALSE(n.MoveForward());
    EXPECT_EQ(r.events, events);
    EXPECT_EQ(r.beeps, 2);

    // A variation on the last main move has nothing to jump to.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 (1... c5 2. Nf3)")), 0);
    SelectNode(n, FindNode(n, "2.Nf3"));
    EXPECT_FALSE(n.MoveForward());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.Nf3"));
    EXPECT_EQ(r.beeps, 2);
}

TEST(Navigate, ForwardMainReportsTheMove) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 (1. d4) e5 2. Nf3 Nc6 3. Bb5 Nf6 4. O-O")), 0);
    Recorder r;
    r.Attach(n);
    uint8_t from = 0, to = 0, promo = 0, castling = 0;
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(n.MoveForwardMain(from, to, promo, castling));
    EXPECT_EQ(from, Sq("e1"));
    EXPECT_EQ(to, Sq("g1"));
    EXPECT_EQ(castling, 1);
    EXPECT_EQ(promo, 0);
    EXPECT_FALSE(n.MoveForwardMain(from, to, promo, castling));
    EXPECT_EQ(r.events, 0); // the caller animates the move itself
    kbtest::CheckWorkPosition(n, "forward main");
}

TEST(Navigate, BranchPointsStartAndEnd) {
    TNotation n;
    English(n);
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nf3 Nc6 (2... d6 3. d4 (3. Bc4 h6) exd4) 3. Bb5 a6 "
                            "4. Ba4")),
              0);
    Recorder r;
    r.Attach(n);
    EXPECT_FALSE(n.GotoStart()); // already there
    ASSERT_TRUE(n.NextVariationStart());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.Nf3")); // right before 2...Nc6 and its alternatives
    ASSERT_TRUE(n.NextVariationStart());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "4.Ba4"));
    EXPECT_FALSE(n.NextVariationStart());
    ASSERT_TRUE(n.PrevVariationStart());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2.Nf3"));
    ASSERT_TRUE(n.PrevVariationStart());
    EXPECT_EQ(n.CurrentMove, nullptr);
    EXPECT_FALSE(n.PrevVariationStart());

    // Inside a sub-variation: the branch point of 3.d4's alternatives.
    SelectNode(n, FindNode(n, "h6"));
    ASSERT_TRUE(n.PrevVariationStart());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "2...d6"));
    kbtest::CheckWorkPosition(n, "branch point");

    // A nested first move: before 2.Nc3 and 2.Nf3 both.
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 e5 2. Nc3 (2. Nf3 (2. Ne2 d6) 2... Nc6) Nf6")), 0);
    SelectNode(n, FindNode(n, "d6"));
    ASSERT_TRUE(n.PrevVariationStart());
    EXPECT_EQ(n.CurrentMove, FindNode(n, "e5"));
    kbtest::CheckWorkPosition(n, "nested branch point");

    const int events = r.events;
    ASSERT_TRUE(n.GotoEnd());
    EXPECT_EQ(NodeText(n, n.CurrentMove), "2...Nf6");
    ASSERT_TRUE(n.GotoStart());
    EXPECT_EQ(r.events, events + 2);
    EXPECT_EQ(r.lastBoard, StandardStellung);
}

} // namespace
