// SPDX-License-Identifier: GPL-3.0-or-later
// TNotation: construction, the tree primitives, moves on the working board,
// annotations and the Chess960 start test.
#include "Notation.h"

#include <cctype>
#include <memory>
#include <mutex>
#include <new>

namespace kb {

bool HasStandardStart(const TPartiedaten& G) {
    for (int sq = 0; sq < 64; ++sq) {
        const auto i = static_cast<size_t>(Index64To120(static_cast<uint8_t>(sq)));
        if (G.Stellung[i] != StandardStellung[i]) return false;
    }
    return G.Zug.Side == 1 && (G.Zug.CastlingRights & AllCastlingRights) == AllCastlingRights &&
           G.Zug.EnPassant == 0 && G.ZugNummer == 1;
}

const std::array<char, 19> TNotation::DefaultNagChars = {
    'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'y', 'z', '|', '~'};
const std::array<const char*, 19> TNotation::UnicodeSigns = {
    "\u2a00",  // 22 zugzwang
    "\u25a1",  // 8 only move
    "+\u2212", // 18 White wins
    "\u00b1",  // 16 White is better
    "\u2a72",  // 14 White stands slightly better
    "=",       // 11 equal
    "\u221e",  // 13 unclear
    "\u2a71",  // 15 Black stands slightly better
    "\u2213",  // 17 Black is better
    "\u2212+", // 19 Black wins
    "\u2bf9",  // 44 compensation
    "\u21c6",  // 132 counterplay
    "\u2191",  // 36 initiative
    "\u2192",  // 40 attack
    "\u2295",  // 138 time trouble
    "\u27f3",  // 32 development advantage
    "N",       // 146 novelty
    "\u2206",  // 140 with the idea
    "\u2313",  // 142 better is
};
const std::array<const char*, 19> TNotation::PlainSigns = {
    "\u2a00", "\u25a1", "+-", "+/-",      "+/=",    "=",      "\u221e",
    "=/+",    "-/+",    "-+", "=/\u221e", "\u21c6", "\u2191", "\u2192",
    "\u2295", "\u27f3", "N",  "\u2206",   "\u2313",
};
const std::array<uint8_t, 19> TNotation::NagNumbers = {22, 8,   18, 16, 14,  11, 13,  15,  17, 19,
                                                       44, 132, 36, 40, 138, 32, 146, 140, 142};

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define KB_NODE_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KB_NODE_POOL 0
#endif
#endif
#ifndef KB_NODE_POOL
#define KB_NODE_POOL 1
#endif

#if KB_NODE_POOL
union TNodeBlock {
    TNodeBlock* Next;
    alignas(TBaum) unsigned char Bytes[sizeof(TBaum)];
};

// Each thread takes blocks from its own list; a block freed on another
// thread simply joins that thread's list. A thread that ends hands its list
// to the shared one, where the next thread that runs dry takes it, so that
// short-lived workers leave nothing behind. The chunks stay for the life of
// the process and stay reachable from here.
thread_local TNodeBlock* FreeNodes = nullptr;

constexpr size_t ChunkNodes = 1024;

struct TSharedNodes {
    std::mutex Mutex;
    std::vector<std::unique_ptr<TNodeBlock[]>> Chunks;
    TNodeBlock* Free = nullptr;
};

// Never destroyed: threads may end after the statics are gone.
TSharedNodes& Shared() {
    static auto* shared = new TSharedNodes;
    return *shared;
}

// Built the first time a thread runs dry; its destructor runs when the
// thread ends.
struct TReturnAtExit {
    ~TReturnAtExit() {
        if (!FreeNodes) return;
        TNodeBlock* last = FreeNodes;
        while (last->Next)
            last = last->Next;
        TSharedNodes& s = Shared();
        const std::lock_guard<std::mutex> lock(s.Mutex);
        last->Next = s.Free;
        s.Free = FreeNodes;
        FreeNodes = nullptr;
    }
};

void AddNodeChunk() {
    thread_local TReturnAtExit returnAtExit;
    (void)returnAtExit;
    TSharedNodes& s = Shared();
    const std::lock_guard<std::mutex> lock(s.Mutex);
    if (s.Free) {
        // A chunk's worth at most, so that threads running dry together
        // share what ended threads left rather than one taking it all.
        TNodeBlock* last = s.Free;
        for (size_t n = 1; n < ChunkNodes && last->Next; ++n)
            last = last->Next;
        FreeNodes = s.Free;
        s.Free = last->Next;
        last->Next = nullptr;
        return;
    }
    auto chunk = std::make_unique<TNodeBlock[]>(ChunkNodes);
    for (size_t i = 0; i < ChunkNodes; ++i)
        chunk[i].Next = i + 1 < ChunkNodes ? &chunk[i + 1] : nullptr;
    FreeNodes = &chunk[0];
    s.Chunks.push_back(std::move(chunk));
}
#endif

} // namespace

size_t NodePoolBlocks() {
#if KB_NODE_POOL
    TSharedNodes& s = Shared();
    const std::lock_guard<std::mutex> lock(s.Mutex);
    return s.Chunks.size() * ChunkNodes;
#else
    return 0;
#endif
}

void* TBaum::operator new(size_t Size) {
#if KB_NODE_POOL
    if (Size == sizeof(TBaum)) {
        if (!FreeNodes) AddNodeChunk();
        TNodeBlock* b = FreeNodes;
        FreeNodes = b->Next;
        return b;
    }
#endif
    return ::operator new(Size);
}

void TBaum::operator delete(void* P, [[maybe_unused]] size_t Size) noexcept {
    if (!P) return;
#if KB_NODE_POOL
    if (Size == sizeof(TBaum)) {
        auto* b = static_cast<TNodeBlock*>(P);
        b->Next = FreeNodes;
        FreeNodes = b;
        return;
    }
#endif
    ::operator delete(P);
}

TNotation::TNotation() {
    NagChars = DefaultNagChars;
    for (size_t i = 0; i < SignTexts.size(); ++i)
        SignTexts[i] = UnicodeSigns[i];
    // Other tag lines go in order of their names, each stored once; lines
    // of one name keep the order read, so a later Variant line still
    // overrides an earlier one.
    GameData.EventData.Tags = TTagList{};
    GameData.EventData.Tags->Unique = true;
    GameData.EventData.Tags->ByName = true;
    ResetStartPosition();
    WorkMove = GameData.Zug;
}

TNotation::~TNotation() {
    FreeTree();
}

void TNotation::FreeTree() {
    FreeLine(RootLine);
    RootLine = nullptr;
    FreeLine(UndoLine);
    UndoLine = nullptr;
    UndoNode = nullptr;
    UndoKind = 0;
    CurrentMove = nullptr;
    WorkLine = nullptr;
    LastNewLine = nullptr;
    LastNewNode = nullptr;
}

void TNotation::FreeLine(TVariante* Line) {
    if (!Line) return;
    // Explicit stack of lines still to release: no recursion at all.
    std::vector<TVariante*> lines{Line};
    while (!lines.empty()) {
        TVariante* v = lines.back();
        lines.pop_back();
        TBaum* n = v->Erster;
        delete v;
        while (n) {
            for (TVariante* sub = n->Variations; sub; sub = sub->Naechste)
                lines.push_back(sub);
            TBaum* next = n->Next;
            delete n;
            n = next;
        }
    }
}

void TNotation::DeleteVariationRecord(TVariante*& Head) {
    TVariante* v = Head;
    if (!v) return;
    TVariante* prev = v->Vorige;
    TVariante* next = v->Naechste;
    // Release the moves first, then unlink the record.
    TBaum* first = v->Erster;
    v->Erster = nullptr;
    if (first) {
        auto* holder = new TVariante{first, nullptr, nullptr};
        FreeLine(holder);
    }
    if (!prev && !next) {
        Head = nullptr;
    } else if (!next) {
        prev->Naechste = nullptr;
        if (Head == v) Head = nullptr;
    } else if (!prev) {
        Head = next;
        next->Vorige = nullptr;
    } else {
        next->Vorige = prev;
        prev->Naechste = next;
        if (Head == v) Head = next;
    }
    delete v;
}

const TFischerInfo* TNotation::ActiveFischerInfo() const {
    if (FischerInfo) return FischerInfo->Fischer ? FischerInfo : nullptr;
    return FOwnFischerInfo.Fischer ? &FOwnFischerInfo : nullptr;
}

void TNotation::ResetStartPosition() {
    SetModified(false);
    WorkBoard = StandardStellung;
    ClearEventData(GameData.EventData);
    if (GameData.EventData.Tags) GameData.EventData.Tags->Clear();
    GameData.Kommentar.clear();
    GameData.Stellung = StandardStellung;
    GameData.ZugNummer = 1;
    TZug& z = GameData.Zug;
    const int32_t from = z.From, to = z.To;
    z = TZug{};
    z.CastlingRights = AllCastlingRights;
    z.Side = 1;
    z.From = from;
    z.To = to;
    FOwnFischerInfo = TFischerInfo{};
    if (OnMoveChange) OnMoveChange(this, GameData.Zug, GameData.Stellung, false);
}

void TNotation::NewGame() {
    if (FBusy) return; // a question about the tree is open
    ResetStartPosition();
    ClearGame();
}

void TNotation::ClearGame() {
    if (FBusy) return;
    FreeTree();
    LayoutNotation(RootLine);
}

void TNotation::AddVariation() {
    if (!WorkLine) {
        if (!CurrentMove) return; // nothing to hang it on
        WorkLine = new TVariante{};
        CurrentMove->Variations = WorkLine;
        LastNewLine = WorkLine;
        return;
    }
    TVariante* last = WorkLine;
    while (last->Naechste)
        last = last->Naechste;
    auto* line = new TVariante{nullptr, nullptr, last};
    last->Naechste = line;
    LastNewLine = line;
    WorkLine = line;
}

TBaum* TNotation::NewNode(const TZug& Zug) {
    auto* node = new TBaum{};
    node->Zug = Zug;
    LastNewNode = node;
    return node;
}

void TNotation::DoMove() {
    ZugAusfuehren(WorkBoard, WorkMove, ActiveFischerInfo());
}

void TNotation::UndoMove(const TZug& Zug) {
    TSchachbrett& b = WorkBoard;
    const int32_t from = Zug.From, to = Zug.To, side = Zug.Side;
    if (!IsBoardSquare(from) || !IsBoardSquare(to)) return;
    b[from] = b[to];
    if (Zug.Promotion != 0) b[from] = -side * Bauer;
    if (WorkMove.EnPassantVictim != 0 && IsBoardSquare(WorkMove.EnPassantVictim)) {
        b[WorkMove.EnPassantVictim] = side * Bauer;
        b[to] = 0;
    } else if (to != from) {
        b[to] = Zug.Captured;
    }
    const int32_t kind = WorkMove.CastlingKind;
    TCastlingSquares c;
    // WorkMove.Side is the side to move after the castling.
    if (kind >= 1 && kind <= 4 &&
        CastlingSquares(-WorkMove.Side, kind == 1 || kind == 3,
                        kind >= 3 ? ActiveFischerInfo() : nullptr, c)) {
        const int32_t mover = -WorkMove.Side;
        b[to] = 0;
        b[c.RookTo] = 0;
        b[c.RookFrom] = Turm * mover;
        b[from] = Koenig * mover;
    }
}

// --- annotations and options ------------------------------------------------

void TNotation::SetModified(bool Value) {
    Modified = Value;
    if (Value && OnGameChanged) OnGameChanged(this);
}

void TNotation::SetUeberschrift(bool Value) {
    FUeberschrift = Value;
    LayoutNotation(RootLine);
}

void TNotation::SetEnglish(bool Value) {
    if (FEnglish == Value) return;
    FEnglish = Value;
    LayoutNotation(RootLine);
}

void TNotation::GetComment(std::string& S) const {
    S = CurrentMove ? CurrentMove->Kommentar : GameData.Kommentar;
    const size_t open = S.find('{');
    if (open != std::string::npos) S.erase(open, 1);
    const size_t close = S.rfind('}');
    if (close != std::string::npos) S.erase(close, 1);
}

void TNotation::SetComment(std::string S) {
    std::string clean;
    clean.reserve(S.size());
    for (size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (c == '\r') {
            // A line break becomes one blank; a CR LF pair is one break.
            if (i + 1 < S.size()) ++i;
            clean += ' ';
        } else if (c != '{' && c != '}') {
            clean += c;
        }
    }
    const std::string stored = clean.empty() ? std::string() : "{" + clean + "}";
    if (CurrentMove)
        CurrentMove->Kommentar = stored;
    else
        GameData.Kommentar = stored;
    if (!RootLine) RootLine = new TVariante{};
    LayoutNotation(RootLine);
    SetModified(true);
}

void TNotation::SetMoveGlyph(std::string_view S) {
    if (!CurrentMove) return;
    int g = 0;
    if (S == "!")
        g = 1;
    else if (S == "!!")
        g = 2;
    else if (S == "?")
        g = 3;
    else if (S == "??")
        g = 4;
    else if (S == "!?")
        g = 5;
    else if (S == "?!")
        g = 6;
    CurrentMove->Zug.Glyph = g;
    LayoutNotation(RootLine);
    SetModified(true);
}

void TNotation::SetPositionGlyph(uint8_t Nag) {
    if (!CurrentMove) return;
    if (Nag == 140 || Nag == 142)
        CurrentMove->Zug.ExtraNAG = Nag;
    else
        CurrentMove->Zug.NAG = Nag;
    LayoutNotation(RootLine);
    SetModified(true);
}

void TNotation::SetGlyphChars(std::string_view S) {
    for (size_t i = 0; i < NagChars.size(); ++i) {
        const bool usable = i < S.size() && S[i] != '#' && static_cast<unsigned char>(S[i]) >= 128;
        NagChars[i] = usable ? S[i] : DefaultNagChars[i];
    }
    LayoutNotation(RootLine);
}

void TNotation::SetPieceLetters(const std::string& King, const std::string& Queen,
                                const std::string& Rook, const std::string& Bishop,
                                const std::string& Knight, const std::string& Pawn) {
    auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    FPieceLetters[Bauer] = upper(Pawn);
    FPieceLetters[Turm] = upper(Rook);
    FPieceLetters[Laeufer] = upper(Bishop);
    FPieceLetters[Springer] = upper(Knight);
    FPieceLetters[Dame] = upper(Queen);
    FPieceLetters[Koenig] = upper(King);
    FLetterMode = false;
    for (int i = 1; i <= 6; ++i)
        FLetterMode = FLetterMode || !FPieceLetters[i].empty();
    LayoutNotation(RootLine);
}

void TNotation::CheckFischerPosition(const TFischerInfo* Marked) {
    TFischerInfo info{};
    // Most games start from the standard position: its answer is worked out once.
    static const bool standardIsFischer = IsFischerStartPosition(StandardStellung);
    if (WorkBoard == StandardStellung ? standardIsFischer : IsFischerStartPosition(WorkBoard)) {
        GameData.Zug.CastlingRights = AllCastlingRights;
        info.Fischer = true;
        for (int sq = 0; sq < 64; ++sq) {
            const int32_t idx = Index64To120(static_cast<uint8_t>(sq));
            switch (WorkBoard[idx]) {
            case Turm:
                (info.WhiteRookA == 0 ? info.WhiteRookA : info.WhiteRookH) = idx;
                break;
            case -Turm:
                (info.BlackRookA == 0 ? info.BlackRookA : info.BlackRookH) = idx;
                break;
            case Koenig:
                info.WhiteKing = idx;
                break;
            case -Koenig:
                info.BlackKing = idx;
                break;
            default:
                break;
            }
        }
    } else if (Marked && Marked->Fischer) {
        info = *Marked;
    }
    // Kept here too, so a notation without a host still plays Chess960.
    FOwnFischerInfo = info;
    if (OnFischerInfo) OnFischerInfo(this, info);
}

} // namespace kb
