// SPDX-License-Identifier: GPL-3.0-or-later
// Move entry: where a move from the board goes in the tree (append, new
// variation, overwrite, replace), its SAN flags, and the repetition and
// 50-move tests. Also a new game from a position.
#include "Notation.h"

#include <algorithm>
#include <cstdlib>

namespace kb {
namespace {

bool IsPawn(int32_t p) {
    return p == Bauer || p == -Bauer;
}

int32_t Kind(int32_t p) {
    return p < 0 ? -p : p;
}

} // namespace

void TNotation::FreeUndo() {
    FreeLine(UndoLine);
    UndoLine = nullptr;
    UndoNode = nullptr;
    UndoKind = 0;
}

void TNotation::NewUndoRecord() {
    FreeUndo();
    UndoLine = new TVariante{};
}

void TNotation::SetStartPosition(const TSchachbrett& Stellung, const TZug& Zug, int MoveNo,
                                 const TFischerInfo* Marked) {
    if (FBusy) return;
    FreeUndo();
    // The number is stored in 16 bits; keep it in range instead of wrapping.
    if (MoveNo != -1) GameData.ZugNummer = static_cast<uint16_t>(std::clamp(MoveNo, 1, 65535));
    GameData.Stellung = Stellung;
    // A start record describes the position only.
    TZug start{};
    start.CastlingRights = Zug.CastlingRights;
    start.EnPassant = Zug.EnPassant;
    start.Side = Zug.Side == -1 ? -1 : 1;
    GameData.Zug = start;
    WorkBoard = Stellung;
    CheckFischerPosition(Marked);
    ClearGame();
    SetModified(true);
}

bool TNotation::MoveDone(const TZug& Zug) {
    return AddMove(Zug) == 0;
}

std::vector<TNotation::TCandidate> TNotation::FillCandidateList(TBaum* Continuation, bool AtStart) {
    std::vector<TCandidate> list;
    if (!Continuation) return list;
    // Dots by the side that makes the continuation.
    const int32_t mover =
        AtStart ? GameData.Zug.Side : (CurrentMove ? CurrentMove->Zug.Side : GameData.Zug.Side);
    const int number = AtStart ? GameData.ZugNummer : NextMoveNumber();
    const std::string prefix = std::to_string(number) + (mover == 1 ? "." : "...");
    std::string san;
    auto entry = [&](char letter, TBaum* node) {
        MoveToSAN(node->Zug, san);
        list.push_back({std::string(1, letter) + ") " + prefix + san, node});
    };
    char letter = 'A';
    entry(letter, Continuation);
    // An empty line uses up its letter without an entry.
    for (TVariante* v = Continuation->Variations; v; v = v->Naechste) {
        ++letter;
        if (v->Erster) entry(letter, v->Erster);
    }
    return list;
}

int TNotation::SanFlags(const TSchachbrett& Before, const TZug& Move) const {
    if (!IsBoardSquare(Move.From) || !IsBoardSquare(Move.To)) return 0;
    const int32_t p = Before[Move.From];
    const int32_t kind = Kind(p);
    if (kind != Dame && kind != Turm && kind != Laeufer && kind != Springer) return 0;
    const int32_t mover = p > 0 ? 1 : -1;
    TSquareList others;
    switch (kind) {
    case Dame:
        CollectQueenAttackers(Move.To, mover, Before, &others);
        break;
    case Turm:
        CollectRookAttackers(Move.To, mover, Before, &others);
        break;
    case Laeufer:
        CollectBishopAttackers(Move.To, mover, Before, &others);
        break;
    default:
        CollectKnightAttackers(Move.To, mover, Before, &others);
        break;
    }
    int flags = 0;
    bool several = false;
    for (int32_t sq : others) {
        if (sq == Move.From) continue;
        // A piece that may not go there (pinned) needs no telling apart.
        TZug probe{};
        probe.Side = mover;
        probe.From = sq;
        probe.To = Move.To;
        if (!IsLegalMove(Before, probe, ActiveFischerInfo())) continue;
        several = true;
        if (sq / 10 == Move.From / 10) flags |= FlagFromFile;
        if (sq % 10 == Move.From % 10) flags |= FlagFromRank;
    }
    if (several && !(flags & FlagFromRank)) flags |= FlagFromFile;
    return flags;
}

bool TNotation::InCheck(const TSchachbrett& Board, int32_t Side) const {
    const int32_t king = FindKing(Side == 1, Board);
    // A side without a king is in no check.
    return king >= 0 && IsSquareAttacked(king, Side == 1 ? 1 : -1, Board);
}

bool TNotation::HasLegalMove(const TSchachbrett& Board, const TZug& Position) const {
    const int32_t s = Position.Side == -1 ? -1 : 1;
    const TFischerInfo* fi = ActiveFischerInfo();
    TSquareList targets;
    for (uint8_t sq = 0; sq < 64; ++sq) {
        const int32_t from = Index64To120(sq);
        const int32_t p = Board[from];
        if (p == 0 || (p > 0) != (s > 0)) continue;
        TZug probe = Position;
        probe.Side = s;
        probe.From = from;
        probe.CastlingKind = 0;
        probe.Promotion = 0;
        switch (Kind(p)) {
        case Bauer:
            CollectPawnTargets(from, probe, Board, &targets);
            break;
        case Turm:
            CollectRookTargets(from, s, Board, &targets);
            break;
        case Laeufer:
            CollectBishopTargets(from, s, Board, &targets);
            break;
        case Springer:
            CollectKnightTargets(from, s, Board, &targets);
            break;
        case Dame:
            CollectQueenTargets(from, s, Board, &targets);
            break;
        case Koenig:
            KingTargetsFischer(from, probe, Board, &targets, fi);
            break;
        default:
            targets.clear();
            break;
        }
        for (int32_t t : targets) {
            probe.To = t < 0 ? -t : t;
            probe.CastlingKind = t < 0 ? (probe.To % 10 == 7 ? 3 : 4) : 0;
            const int32_t rank = probe.To / 10 - 1;
            probe.Promotion = IsPawn(p) && (rank == 8 || rank == 1) ? Dame * s : 0;
            if (IsLegalMove(Board, probe, fi)) return true;
        }
    }
    return false;
}

int32_t TNotation::EffectiveEnPassant(const TSchachbrett& Board, const TZug& Position) const {
    const int32_t e = Position.EnPassant;
    if (!IsBoardSquare(e)) return 0;
    // The target only makes a difference when a pawn can take there.
    const int32_t s = Position.Side == -1 ? -1 : 1;
    for (const int32_t from : {e - 9 * s, e - 11 * s}) {
        if (!IsBoardSquare(from) || Board[from] != Bauer * s) continue;
        TZug probe = Position;
        probe.Side = s;
        probe.From = from;
        probe.To = e;
        probe.CastlingKind = 0;
        probe.Promotion = 0;
        if (IsLegalMove(Board, probe, ActiveFischerInfo())) return e;
    }
    return 0;
}

bool TNotation::EntryUsable(const TZug& Z) const {
    if (Z.Side != 1 && Z.Side != -1) return false;
    if (!IsBoardSquare(Z.From) || !IsBoardSquare(Z.To)) return false;
    if (Z.From == Z.To && Z.CastlingKind != 3 && Z.CastlingKind != 4) return false;
    const int32_t p = WorkBoard[Z.From];
    // The mover is the opponent of the side to move after the move.
    return p != 0 && Kind(p) <= Koenig && (p > 0) == (Z.Side == -1);
}

// Recomputes what a move record says about its position when the position
// before it changed: captured piece, en-passant squares, castling rights,
// side and the SAN flags. False when the move cannot be played there.
bool TNotation::RederiveMove(const TSchachbrett& Before, const TZug& Prior, TZug& Move,
                             bool WasMate) {
    const int32_t s = Prior.Side == -1 ? -1 : 1;
    if (Move.Side != -s) return false;
    TZug probe = Prior;
    probe.Side = s;
    probe.From = Move.From;
    probe.To = Move.To;
    probe.CastlingKind = Move.CastlingKind;
    probe.Promotion = Move.Promotion;
    if (!IsLegalMove(Before, probe, ActiveFischerInfo())) return false;
    const int32_t p = Before[Move.From];
    const int32_t toRank = Move.To / 10 - 1;
    const bool lastRank = toRank == 8 || toRank == 1;
    if (Move.CastlingKind != 0 && Kind(p) != Koenig) return false;
    if (IsPawn(p) && lastRank != (Move.Promotion != 0)) return false;
    if (!IsPawn(p) && Move.Promotion != 0) return false;

    Move.EnPassant = 0;
    Move.EnPassantVictim = 0;
    Move.Captured = 0;
    if (Move.CastlingKind == 0) {
        if (IsPawn(p) && Move.To % 10 != Move.From % 10 && Before[Move.To] == 0) {
            Move.EnPassantVictim = Move.To - 10 * s;
            Move.Captured = -Bauer * s;
        } else {
            Move.Captured = Before[Move.To];
        }
        if (IsPawn(p) && std::abs(Move.To - Move.From) == 20) Move.EnPassant = Move.From + 10 * s;
    }
    // The rights follow the same bookkeeping as reading a game.
    Move.CastlingRights =
        CastlingRightsAfter(Prior.CastlingRights, Before, Move.From, Move.To, ActiveFischerInfo());

    Move.Flags = (Move.Flags & (FlagGreater | FlagLess)) | SanFlags(Before, Move);
    TSchachbrett after = Before;
    PlayOn(after, Move);
    if (InCheck(after, -s)) {
        // Mate stays marked only where it still is mate.
        Move.Flags |= WasMate && !HasLegalMove(after, Move) ? FlagMate : FlagCheck;
    }
    return true;
}

bool TNotation::ReplaceContinuation(TBaum* Node, const TZug& Move, const TZug& Prior) {
    // Work out every changed record first; the tree changes only when all
    // later moves (variations included) stay playable.
    struct Item {
        TBaum* First;
        TSchachbrett Board;
        TZug Prior;
    };
    std::vector<std::pair<TBaum*, TZug>> changes;
    TSchachbrett board = WorkBoard;
    TZug prior = Prior;
    // The board's own record of the new move is kept; it only has to be
    // playable. Its flags are set by the caller.
    TZug fresh = Move;
    if (!RederiveMove(board, prior, fresh, false)) return false;
    const TZug placed = Move;
    changes.emplace_back(Node, placed);
    PlayOn(board, placed);

    std::vector<Item> work;
    work.push_back({Node->Next, board, placed});
    const int32_t target = Move.To;
    while (!work.empty()) {
        Item item = std::move(work.back());
        work.pop_back();
        bool repointed = false; // one re-pointed move per line
        for (TBaum* n = item.First; n; n = n->Next) {
            for (TVariante* v = n->Variations; v; v = v->Naechste)
                if (v->Erster) work.push_back({v->Erster, item.Board, item.Prior});
            TZug m = n->Zug;
            if (!IsBoardSquare(m.From) || item.Board[m.From] == 0) {
                // The piece moved from elsewhere now: the one the new move
                // placed, unless the move is one that only its own piece
                // can make.
                if (repointed || m.CastlingKind != 0 || m.EnPassantVictim != 0 || m.Promotion != 0)
                    return false;
                m.From = target;
                repointed = true;
            }
            if (!RederiveMove(item.Board, item.Prior, m, (n->Zug.Flags & FlagMate) != 0))
                return false;
            changes.emplace_back(n, m);
            PlayOn(item.Board, m);
            item.Prior = m;
        }
    }
    for (auto& [node, record] : changes)
        node->Zug = record;
    return true;
}

int TNotation::AddMove(const TZug& ZugIn) {
    TZug z = ZugIn;
    const bool newVariation = NewVariationOnce;
    const bool overwrite = OverwriteOnce;
    NewVariationOnce = false;
    OverwriteOnce = false;
    auto refuse = [this] {
        FireMoveChange(false);
        return -1;
    };
    // A question is open: the tree must not change under it.
    if (FBusy) return refuse();
    TBusyScope busy(FBusy);
    z.Flags = 0;
    z.Glyph = 0;
    z.NAG = 0;
    z.ExtraNAG = 0;
    // Once a move is offered the last deletion can no longer be undone.
    FreeUndo();
    if (!EntryUsable(z)) return refuse();

    const bool atStart = CurrentMove == nullptr;
    TBaum* cont = atStart ? (HasMoves() ? RootLine->Erster : nullptr) : CurrentMove->Next;
    TBaum* node = nullptr;
    if (!cont) {
        node = NewNode(z);
        if (atStart) {
            if (!RootLine) RootLine = new TVariante{};
            RootLine->Erster = node;
        } else {
            node->Prev = CurrentMove;
            CurrentMove->Next = node;
        }
    } else {
        const std::vector<TCandidate> list = FillCandidateList(cont, atStart);
        TNewMoveChoice choice = TNewMoveChoice::Cancel;
        if (newVariation) {
            choice = TNewMoveChoice::NewVariation;
        } else if (overwrite) {
            choice = TNewMoveChoice::Overwrite;
        } else if (Chooser) {
            std::vector<std::string> texts;
            for (const TCandidate& c : list)
                texts.push_back(c.Text);
            choice = Chooser->ChooseNewMove(*this, texts);
        }
        switch (choice) {
        case TNewMoveChoice::NewVariation: {
            node = NewNode(z);
            node->Prev = cont;
            auto* line = new TVariante{node, nullptr, nullptr};
            if (!cont->Variations) {
                cont->Variations = line;
            } else {
                TVariante* last = cont->Variations;
                while (last->Naechste)
                    last = last->Naechste;
                last->Naechste = line;
                line->Vorige = last;
            }
            LastNewLine = line;
            break;
        }
        case TNewMoveChoice::Overwrite: {
            node = NewNode(z);
            if (atStart) {
                RootLine->Erster = node;
            } else {
                node->Prev = CurrentMove;
                CurrentMove->Next = node;
            }
            FreeLine(new TVariante{cont, nullptr, nullptr});
            break;
        }
        case TNewMoveChoice::Replace: {
            const TZug prior = atStart ? GameData.Zug : WorkMove;
            if (!ReplaceContinuation(cont, z, prior)) {
                LayoutNotation(RootLine);
                return refuse();
            }
            node = cont;
            break;
        }
        default:
            return refuse();
        }
    }
    CurrentMove = node;

    // SAN flags from the position before the move, then the move itself.
    WorkMove = node->Zug;
    WorkMove.Flags = 0;
    node->Zug.Flags = (node->Zug.Flags & (FlagGreater | FlagLess)) | SanFlags(WorkBoard, WorkMove);
    DoMove();
    if (InCheck(WorkBoard, node->Zug.Side)) node->Zug.Flags |= FlagCheck;
    LayoutNotation(RootLine);
    SetModified(true);
    RepetitionCheck();
    return 0;
}

void TNotation::RepetitionCheck() {
    if (!CurrentMove) return;
    // Replay the way from the start: every position it passes, and the plies
    // since the last capture or pawn move. Positions before an irreversible
    // move never equal later ones, so comparing them all costs nothing but
    // time, and castling (which cannot repeat) need not end the count of
    // the 50-move rule.
    std::vector<const TBaum*> path;
    for (const TBaum* n = CurrentMove; n; n = MoveBefore(n))
        path.push_back(n);
    struct Seen {
        TSchachbrett Board;
        const TZug* Zug;
    };
    std::vector<Seen> seen;
    seen.reserve(path.size() + 1);
    TSchachbrett b = GameData.Stellung;
    seen.push_back({b, &GameData.Zug});
    int plies = 0;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const TZug& m = (*it)->Zug;
        const bool onBoard = IsBoardSquare(m.From) && IsBoardSquare(m.To);
        const bool capture =
            m.CastlingKind == 0 && onBoard && (b[m.To] != 0 || m.EnPassantVictim != 0);
        const bool pawnMove = onBoard && IsPawn(b[m.From]);
        plies = capture || pawnMove || m.Promotion != 0 ? 0 : plies + 1;
        PlayOn(b, m);
        seen.push_back({b, &m});
    }
    const Seen& now = seen.back();
    const int32_t t = CurrentMove->Zug.To;
    const int32_t piece = IsBoardSquare(t) ? now.Board[t] : 0;
    // Bit 1 of the rights byte carries no right; an en-passant square counts
    // only where a pawn can really take there.
    const int rights = now.Zug->CastlingRights & AllCastlingRights;
    const int32_t ep = EffectiveEnPassant(now.Board, *now.Zug);
    int count = 0;
    for (const Seen& s : seen) {
        if (IsBoardSquare(t) && s.Board[t] != piece) continue; // quick test first
        if (s.Board != now.Board || s.Zug->Side != now.Zug->Side) continue;
        if ((s.Zug->CastlingRights & AllCastlingRights) != rights) continue;
        if (EffectiveEnPassant(s.Board, *s.Zug) != ep) continue;
        ++count;
    }
    if (count >= 3 && On3Repetition) On3Repetition(this);
    if (plies >= 100 && On50MovesRule) On50MovesRule(this);
}

} // namespace kb
