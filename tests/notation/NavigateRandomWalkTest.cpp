// SPDX-License-Identifier: GPL-3.0-or-later
// A seeded random walk of editing and navigation over games with nested
// variations, empty lines and comments. After every step the working board
// equals a replay to the current move, the links hold, and the game still
// exports to text that reads back to the same export. Cut or delete
// followed by undo gives back the same bytes.
#include "EditTestUtil.h"

#include <random>

using namespace kb;
using kbtest::Pgn;
using kbtest::ScriptedChooser;

namespace {

const char* const Games[] = {
    "{Game comment} 1. e4 e5 2. Nf3 Nc6 (2... d6 3. d4 (3. Bc4 Be7 (3... h6 {deep}) 4. d3) "
    "3... exd4) ( ) (2... Nf6 3. Nxe5) 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6",
    "1. d4 (1. c4 e5 (1... c5 2. Nf3 (2. Nc3 ( ) Nc6) 2... Nc6) 2. Nc3) d5 2. c4 e6 3. Nc3 "
    "(3. Nf3 {quiet}) Nf6 4. Bg5 Be7 5. e3 O-O 6. Nf3 h6 7. Bh4 b6",
    "1. Nf3 Nf6 2. Nc3 (2. Ng1 (2. Nh4 Ng8 3. Nf3) Ng8) Nc6 3. e4 e5 4. d4 exd4 5. Nxd4",
};

std::vector<TBaum*> AllNodes(TNotation& n) {
    std::vector<TBaum*> out;
    std::vector<TBaum*> work{n.RootLine ? n.RootLine->Erster : nullptr};
    while (!work.empty()) {
        TBaum* b = work.back();
        work.pop_back();
        for (; b; b = b->Next) {
            out.push_back(b);
            for (TVariante* v = b->Variations; v; v = v->Naechste)
                work.push_back(v->Erster);
        }
    }
    return out;
}

bool OnMainLineByLinks(const TNotation& n, const TBaum* b) {
    for (const TBaum* m = n.RootLine ? n.RootLine->Erster : nullptr; m; m = m->Next)
        if (m == b) return true;
    return b == nullptr;
}

std::string Export(TNotation& n) {
    std::string s;
    n.GetPGN(s);
    return s;
}

void Walk(unsigned seed, int steps) {
    std::mt19937 gen(seed);
    auto pick = [&](size_t k) { return static_cast<size_t>(gen() % k); };
    TNotation n;
    n.SetEnglish(true);
    ScriptedChooser chooser;
    n.Chooser = &chooser;
    TNotation reader; // reads every export back
    ASSERT_EQ(n.LoadPGN(Pgn(Games[0])), 0);
    std::string last;
    for (int step = 0; step < steps; ++step) {
        const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
        const size_t op = pick(22);
        switch (op) {
        case 0:
        case 1:
        case 2:
        case 3: { // a move from the board, with any answer
            auto moves = kbtest::LegalMoves(n.WorkBoard, n.WorkMove, n.ActiveFischerInfo());
            if (moves.empty()) break;
            const TNewMoveChoice answers[] = {
                TNewMoveChoice::NewVariation, TNewMoveChoice::NewVariation,
                TNewMoveChoice::NewVariation, TNewMoveChoice::Replace,
                TNewMoveChoice::Replace,      TNewMoveChoice::Overwrite,
                TNewMoveChoice::Cancel,       TNewMoveChoice::Cancel};
            chooser.newMoveAnswers = {answers[pick(8)]};
            n.NewVariationOnce = pick(8) == 0;
            n.OverwriteOnce = pick(20) == 0;
            n.MoveDone(moves[pick(moves.size())].record);
            if (pick(4) == 0) n.MarkMate();
            break;
        }
        case 4: {
            // Replace a move by another one of the same piece, which keeps
            // most later moves playable.
            TBaum* cur = n.CurrentMove;
            TBaum* next = cur ? cur->Next : (n.HasMoves() ? n.RootLine->Erster : nullptr);
            if (!next) break;
            for (const auto& m :
                 kbtest::LegalMoves(n.WorkBoard, n.WorkMove, n.ActiveFischerInfo())) {
                if (m.record.From == next->Zug.From && m.record.To != next->Zug.To) {
                    chooser.newMoveAnswers = {TNewMoveChoice::Replace};
                    n.MoveDone(m.record);
                    break;
                }
            }
            break;
        }
        case 5:
        case 6:
            n.MoveBack();
            break;
        case 7:
        case 8:
            chooser.selectAnswers = {static_cast<int>(pick(4)) - 1};
            n.MoveForward();
            break;
        case 9: {
            uint8_t f, t, p, c;
            n.MoveForwardMain(f, t, p, c);
            break;
        }
        case 10:
            n.PrevVariationStart();
            break;
        case 11:
            n.NextVariationStart();
            break;
        case 12:
            pick(2) ? n.GotoStart() : n.GotoEnd();
            break;
        case 13:
        case 14: { // cut, delete, and often undo right away: the same bytes again
            const std::string before = Export(n);
            const size_t roll = pick(7); // cut after, rarely cut before, delete
            const size_t what = roll < 3 ? 0 : roll == 3 ? 1 : 2;
            bool done = false;
            if (what == 0)
                done = n.CutMoves(true);
            else if (what == 1)
                done = n.CutMoves(false);
            else {
                const bool off = !OnMainLineByLinks(n, n.CurrentMove);
                n.DeleteVariation();
                done = off;
            }
            if (done && pick(2) == 0) {
                // Header and comment edits in between stay.
                if (what == 1) n.GameData.EventData.Site = "kept";
                n.UndoDelete();
                std::string after = Export(n);
                if (what == 1) {
                    EXPECT_NE(after.find("[Site \"kept\"]"), std::string::npos) << where;
                    n.GameData.EventData.Site.clear();
                    after = Export(n);
                }
                EXPECT_EQ(after, before) << where << " cut/delete kind " << what;
            }
            break;
        }
        case 15:
            n.PromoteVariation();
            break;
        case 16:
            n.UndoDelete();
            break;
        case 17:
            n.SetComment(pick(3) ? "note " + std::to_string(step) : "");
            break;
        case 18: { // a click on any move
            auto nodes = AllNodes(n);
            if (nodes.empty()) break;
            n.CurrentMove = nodes[pick(nodes.size())];
            n.LayoutNotation(n.RootLine);
            break;
        }
        case 19:
            // A fresh game now and then, and whenever edits wore it down.
            if (pick(6) == 0 || AllNodes(n).size() < 12) {
                ASSERT_EQ(n.LoadPGN(Pgn(Games[pick(3)])), 0) << where;
            }
            break;
        case 20:
            // A new game from the position on the board, with any move number.
            if (pick(10) == 0)
                n.SetStartPosition(n.WorkBoard, n.WorkMove, 1 + static_cast<int>(pick(200)));
            break;
        default: { // the layout's own notion of the main line agrees
            n.LayoutNotation(n.RootLine);
            EXPECT_EQ(n.CurrentOnMainLine, OnMainLineByLinks(n, n.CurrentMove)) << where;
            break;
        }
        }
        kbtest::CheckLinks(n, where);
        kbtest::CheckWorkPosition(n, where);
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "stopped at " << where << " after operation " << op;
            return;
        }
        if (step % 8 == 0) {
            // Whatever the edits did, the game stays a readable game.
            const std::string text = Export(n);
            ASSERT_EQ(reader.LoadPGN(text), 0) << where << "\n" << text;
            ASSERT_EQ(kbtest::Movetext(reader), kbtest::Movetext(n)) << where;
        }
    }
}

TEST(NavigateRandomWalk, EditsAndStepsKeepBoardAndTreeInStep) {
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        Walk(seed, 2500);
        if (HasFailure()) return;
    }
}

} // namespace
