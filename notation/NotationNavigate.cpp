// SPDX-License-Identifier: GPL-3.0-or-later
// Walking the tree: where a move stands, the position before and after it,
// and the navigation commands (back, forward, branch points, start, end).
#include "Notation.h"

#include <algorithm>

namespace kb {

TBaum* TNotation::MoveBefore(const TBaum* Node) {
    if (!Node) return nullptr;
    // The first move of a variation hangs on the move it replaces, which is
    // played from the same position; that one may be a first move as well.
    const TBaum* cur = Node;
    TBaum* p = Node->Prev;
    while (p && p->Next != cur) {
        cur = p;
        p = p->Prev;
    }
    return p;
}

bool TNotation::IsOnMainLine(const TBaum* Node) const {
    if (!Node) return true;
    const TBaum* n = Node;
    while (n->Prev) {
        if (n->Prev->Next != n) return false;
        n = n->Prev;
    }
    return RootLine && RootLine->Erster == n;
}

int32_t TNotation::MoveNumberOf(const TBaum* Node) const {
    int64_t ply =
        (static_cast<int64_t>(GameData.ZugNummer) - 1) * 2 + (GameData.Zug.Side == -1 ? 1 : 0);
    for (const TBaum* n = Node; n; n = MoveBefore(n))
        ++ply;
    return static_cast<int32_t>((ply + 1) / 2);
}

void TNotation::PlayOn(TSchachbrett& Board, const TZug& Zug) {
    // DoMove works on the working board and move; borrow them.
    std::swap(Board, WorkBoard);
    const TZug keep = WorkMove;
    WorkMove = Zug;
    DoMove();
    WorkMove = keep;
    std::swap(Board, WorkBoard);
}

void TNotation::PositionAfter(const TBaum* Node, TSchachbrett& Board, TZug& Zug) {
    std::vector<const TBaum*> path;
    for (const TBaum* n = Node; n; n = MoveBefore(n))
        path.push_back(n);
    Board = GameData.Stellung;
    Zug = GameData.Zug;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        PlayOn(Board, (*it)->Zug);
        Zug = (*it)->Zug;
    }
}

void TNotation::ScrollToCurrent() {
    if (ScrollToCurrentHook) ScrollToCurrentHook(this);
}

void TNotation::FireMoveChange(bool NextMove) {
    if (OnMoveChange) OnMoveChange(this, WorkMove, WorkBoard, NextMove);
}

// Sets the current move and the working position by replay, without a
// new layout.
void TNotation::StepTo(TBaum* Node) {
    CurrentMove = Node;
    PositionAfter(Node, WorkBoard, WorkMove);
    CurrentOnMainLine = IsOnMainLine(Node);
}

bool TNotation::MoveBack() {
    if (FBusy || !CurrentMove) return false;
    StepTo(MoveBefore(CurrentMove));
    ScrollToCurrent();
    FireMoveChange(false);
    return true;
}

bool TNotation::MoveForwardMain(uint8_t& From, uint8_t& To, uint8_t& Promotion, uint8_t& Castling) {
    if (FBusy) return false;
    TBaum* next = CurrentMove ? CurrentMove->Next : (HasMoves() ? RootLine->Erster : nullptr);
    if (!next) return false;
    CurrentMove = next;
    WorkMove = next->Zug;
    DoMove();
    CurrentOnMainLine = IsOnMainLine(next);
    ScrollToCurrent();
    From = static_cast<uint8_t>(next->Zug.From);
    To = static_cast<uint8_t>(next->Zug.To);
    Promotion = static_cast<uint8_t>(next->Zug.Promotion);
    Castling = static_cast<uint8_t>(next->Zug.CastlingKind);
    return true;
}

bool TNotation::MoveForward() {
    if (FBusy || !HasMoves()) return false;
    const bool atStart = CurrentMove == nullptr;
    TBaum* next = atStart ? RootLine->Erster : CurrentMove->Next;
    if (!next) {
        // End of a line: go on with the move that follows the enclosing
        // line's branch point, further out when that line ends there too.
        TBaum* target = nullptr;
        for (TBaum* n = CurrentMove; n && !target;) {
            TBaum* first = n;
            while (first->Prev && first->Prev->Next == first)
                first = first->Prev;
            TBaum* branch = first->Prev; // the move this line replaces
            if (!branch) break;          // the main line: nothing follows
            target = branch->Next;
            n = branch;
        }
        if (!target) return false;
        StepTo(target);
        if (BeepHook) BeepHook(this);
        ScrollToCurrent();
        FireMoveChange(false);
        return false;
    }
    TBaum* chosen = next;
    if (next->Variations) {
        const std::vector<TCandidate> list = FillCandidateList(next, atStart);
        SelectedCandidate = -2;
        int index = 0;
        if (list.size() > 1 && Chooser) {
            std::vector<std::string> texts;
            for (const TCandidate& c : list)
                texts.push_back(c.Text);
            {
                TBusyScope busy(FBusy);
                index = Chooser->SelectMove(*this, texts);
            }
            SelectedCandidate = index < 0 || index >= static_cast<int>(list.size()) ? -1 : index;
            if (SelectedCandidate < 0) return false;
        }
        // Each entry keeps its own move: empty lines have no entry.
        chosen = list[static_cast<size_t>(index)].Node;
    }
    CurrentMove = chosen;
    WorkMove = chosen->Zug;
    DoMove();
    CurrentOnMainLine = IsOnMainLine(chosen);
    ScrollToCurrent();
    FireMoveChange(true);
    return true;
}

bool TNotation::PrevVariationStart() {
    if (FBusy || !CurrentMove) return false;
    TBaum* n = CurrentMove;
    if (n->Prev) n = n->Prev;
    while (n->Prev && !n->Variations)
        n = n->Prev;
    // The position from which n's alternatives branch.
    CurrentMove = MoveBefore(n);
    LayoutNotation(RootLine);
    FireMoveChange(false);
    return true;
}

bool TNotation::NextVariationStart() {
    if (FBusy || !HasMoves()) return false;
    TBaum* n = CurrentMove ? CurrentMove->Next : RootLine->Erster;
    if (!n) return false;
    while (n->Next && !n->Next->Variations)
        n = n->Next;
    CurrentMove = n;
    LayoutNotation(RootLine);
    FireMoveChange(false);
    return true;
}

bool TNotation::GotoStart() {
    if (FBusy || !HasMoves() || !CurrentMove) return false;
    CurrentMove = nullptr;
    LayoutNotation(RootLine);
    FireMoveChange(false);
    return true;
}

bool TNotation::GotoEnd() {
    if (FBusy || !HasMoves()) return false;
    TBaum* n = RootLine->Erster;
    while (n->Next)
        n = n->Next;
    CurrentMove = n;
    LayoutNotation(RootLine);
    FireMoveChange(false);
    return true;
}

} // namespace kb
