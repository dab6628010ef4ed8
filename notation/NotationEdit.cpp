// SPDX-License-Identifier: GPL-3.0-or-later
// Editing the tree: cut the moves before or after the current one, promote
// or delete a variation, one level of undo, and marking mate.
#include "Notation.h"

namespace kb {
namespace {

// The first move of the innermost line that holds Node.
TBaum* FirstOfLine(TBaum* Node) {
    TBaum* n = Node;
    while (n->Prev && n->Prev->Next == n)
        n = n->Prev;
    return n;
}

} // namespace

bool TNotation::CutMoves(bool Remaining) {
    if (FBusy || !CurrentMove) return false;
    if (Remaining) {
        if (!CurrentMove->Next) return false;
        NewUndoRecord();
        UndoKind = -1;
        UndoLine->Erster = CurrentMove->Next;
        UndoNode = CurrentMove;
        // The detached moves keep their links; the first still points back.
        CurrentMove->Next = nullptr;
        LayoutNotation(RootLine);
        SetModified(true);
        return true;
    }

    if (!IsOnMainLine(CurrentMove)) return false;
    const int32_t number = MoveNumberOf(CurrentMove) + (CurrentMove->Zug.Side == 1 ? 1 : 0);
    if (number < 1 || number > 65535) return false; // the start number has 16 bits
    TSchachbrett board;
    TZug after;
    PositionAfter(CurrentMove, board, after);

    TPartiedaten before = GameData;
    GameData.ZugNummer = static_cast<uint16_t>(number);
    // The start record describes the position only, not the move.
    TZug start{};
    start.CastlingRights = after.CastlingRights;
    start.EnPassant = after.EnPassant;
    start.Side = after.Side;
    GameData.Zug = start;
    GameData.Stellung = board;

    auto* rest = new TVariante{};
    rest->Erster = CurrentMove->Next;
    if (rest->Erster) rest->Erster->Prev = nullptr;
    CurrentMove->Next = nullptr;

    NewUndoRecord();
    UndoKind = -2;
    UndoNode = CurrentMove;
    UndoLine->Erster = RootLine->Erster;
    UndoGameData = std::move(before);
    delete RootLine;
    RootLine = nullptr;
    CurrentMove = nullptr;
    if (rest->Erster)
        RootLine = rest;
    else
        delete rest;
    LayoutNotation(RootLine);
    SetModified(true);
    return true;
}

void TNotation::PromoteVariation() {
    if (FBusy || !CurrentMove || IsOnMainLine(CurrentMove)) return;
    TBaum* v1 = FirstOfLine(CurrentMove);
    TBaum* m = v1->Prev;
    if (!m) return;
    FreeUndo();
    // Swap the continuations, then the moves and comments; the nodes and
    // their variation lists stay where they are.
    std::swap(m->Next, v1->Next);
    if (m->Next) m->Next->Prev = m;
    if (v1->Next) v1->Next->Prev = v1;
    std::swap(m->Zug, v1->Zug);
    std::swap(m->Kommentar, v1->Kommentar);
    if (CurrentMove == v1) CurrentMove = m;
    LayoutNotation(RootLine);
    SetModified(true);
}

void TNotation::DeleteVariation() {
    if (FBusy || !CurrentMove || IsOnMainLine(CurrentMove)) return;
    TBaum* v1 = FirstOfLine(CurrentMove);
    TBaum* m = v1->Prev;
    if (!m) return;
    TVariante* line = m->Variations;
    int index = 1;
    while (line && line->Erster != v1) {
        line = line->Naechste;
        ++index;
    }
    if (!line) return;
    NewUndoRecord();
    UndoKind = index;
    UndoNode = m;
    UndoLine->Erster = v1;
    line->Erster = nullptr;
    // Unlink the emptied record; its moves live on in the undo line.
    if (line->Vorige)
        line->Vorige->Naechste = line->Naechste;
    else
        m->Variations = line->Naechste;
    if (line->Naechste) line->Naechste->Vorige = line->Vorige;
    delete line;
    // Back to where the deleted line branched off: the position before the
    // move it replaced, over any nested first moves.
    CurrentMove = MoveBefore(v1);
    LayoutNotation(RootLine);
    SetModified(true);
    FireMoveChange(false);
}

void TNotation::UndoDelete() {
    if (FBusy || !UndoLine || UndoKind == 0 || !UndoNode) return;
    if (UndoKind >= 1) {
        TVariante* line = UndoLine;
        line->Naechste = nullptr;
        line->Vorige = nullptr;
        TVariante** link = &UndoNode->Variations;
        TVariante* prev = nullptr;
        for (int i = 1; i < UndoKind && *link; ++i) {
            prev = *link;
            link = &(*link)->Naechste;
        }
        line->Naechste = *link;
        line->Vorige = prev;
        if (*link) (*link)->Vorige = line;
        *link = line;
        UndoLine = nullptr;
    } else if (UndoKind == -1) {
        // Nothing was added behind the cut: a move entry drops the undo.
        if (UndoNode->Next) return;
        UndoNode->Next = UndoLine->Erster;
        if (UndoNode->Next) UndoNode->Next->Prev = UndoNode;
        delete UndoLine;
        UndoLine = nullptr;
    } else if (UndoKind == -2) {
        UndoNode->Next = HasMoves() ? RootLine->Erster : nullptr;
        if (UndoNode->Next) UndoNode->Next->Prev = UndoNode;
        // Only the start comes back; header and comment edits made since stay.
        GameData.Stellung = UndoGameData.Stellung;
        GameData.Zug = UndoGameData.Zug;
        GameData.ZugNummer = UndoGameData.ZugNummer;
        delete RootLine;
        RootLine = UndoLine;
        UndoLine = nullptr;
        if (!CurrentMove && OnMoveChange)
            OnMoveChange(this, GameData.Zug, GameData.Stellung, false);
    } else {
        return;
    }
    UndoKind = 0;
    UndoNode = nullptr;
    LayoutNotation(RootLine);
}

void TNotation::MarkMate() {
    if (FBusy || !CurrentMove) return;
    // The host found the move to be mate; a move shown with "+" becomes "#".
    if (!(CurrentMove->Zug.Flags & FlagCheck)) return;
    CurrentMove->Zug.Flags = (CurrentMove->Zug.Flags & ~FlagCheck) | FlagMate;
    LayoutNotation(RootLine);
}

} // namespace kb
