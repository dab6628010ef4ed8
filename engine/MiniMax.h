// SPDX-License-Identifier: GPL-3.0-or-later
// TMiniMax: the built-in analysis engine. A small synchronous alpha-beta
// searcher on its own 10x12 mailbox board. It depends on nothing else of the
// program: positions come in as a plain board array plus a position record
// whose fields mirror the rules core's move record.
//
// Threads: Start runs the whole search in the caller's thread. Stop,
// SetStopFlag, Pause, Resume, Busy and Bewertung may be called from any other
// thread while it runs. OnTrace and OnStop run in the searching thread.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kb {

// Same layout as the rules core's board: index = 10 x row + column, a1 = 21,
// h8 = 98, 100 off the board, piece codes 1..6 (pawn, rook, bishop, knight,
// queen, king), White positive.
using TMiniMaxBrett = std::array<int32_t, 120>;

// Position record: castling-right bits 2 White short, 4 White long, 8 Black
// short, 16 Black long; en-passant target; side to move; and, in a result,
// the move (to is the king's destination when castling).
struct TEngineZug {
    uint8_t CastlingRights = 0;
    int32_t EnPassant = 0;
    int32_t Side = 1;
    int32_t From = 0;
    int32_t To = 0;
    int32_t EnPassantVictim = 0;
    int32_t CastlingKind = 0; // 0 none, 1 short, 2 long, 3 Chess960 short, 4 Chess960 long
    int32_t Promotion = 0;    // signed piece code
    int32_t Captured = 0;     // signed piece code

    friend bool operator==(const TEngineZug&, const TEngineZug&) = default;
};

// Chess960 rook and king start squares (mailbox indices).
struct TEngineFischerInfo {
    bool Fischer = false;
    int32_t WhiteRookA = 0;
    int32_t WhiteRookH = 0;
    int32_t BlackRookA = 0;
    int32_t BlackRookH = 0;
    int32_t WhiteKing = 0;
    int32_t BlackKing = 0;

    friend bool operator==(const TEngineFischerInfo&, const TEngineFischerInfo&) = default;
};

// Field-by-field copies to and from any record with the same field names
// (the host's move record and Chess960 record), so the engine needs none of
// the host's headers.
template <class Z> TEngineZug ToEngineZug(const Z& z) {
    TEngineZug e;
    e.CastlingRights = z.CastlingRights;
    e.EnPassant = z.EnPassant;
    e.Side = z.Side;
    e.From = z.From;
    e.To = z.To;
    e.EnPassantVictim = z.EnPassantVictim;
    e.CastlingKind = z.CastlingKind;
    e.Promotion = z.Promotion;
    e.Captured = z.Captured;
    return e;
}

template <class Z> void FromEngineZug(const TEngineZug& e, Z& z) {
    z.CastlingRights = e.CastlingRights;
    z.EnPassant = e.EnPassant;
    z.Side = e.Side;
    z.From = e.From;
    z.To = e.To;
    z.EnPassantVictim = e.EnPassantVictim;
    z.CastlingKind = e.CastlingKind;
    z.Promotion = e.Promotion;
    z.Captured = e.Captured;
}

template <class F> TEngineFischerInfo ToEngineFischerInfo(const F& f) {
    return TEngineFischerInfo{static_cast<bool>(f.Fischer),
                              f.WhiteRookA,
                              f.WhiteRookH,
                              f.BlackRookA,
                              f.BlackRookH,
                              f.WhiteKing,
                              f.BlackKing};
}

// One generated move.
struct TMMZug {
    int32_t From = 0;
    int32_t To = 0;
    int32_t Captured = 0;  // absolute piece code; 1 for an en-passant capture
    int32_t Promotion = 0; // 2..5, else 0
    int32_t Castle = 0;    // 0 none, 1 short, 2 long, 3 Chess960 short, 4 Chess960 long
    int32_t EnPassant = 0; // skipped square of a double step, victim square of an e.p. capture
    int32_t Score = 0;     // ordering score

    friend bool operator==(const TMMZug&, const TMMZug&) = default;
};

// Status byte reported with OnStop.
enum MiniMaxStatus : uint8_t {
    StatusMove = 0,
    StatusMated = 1,
    StatusStalemate = 2,
    StatusIllegal = 3,
    StatusMates = 4,
    StatusNoMove = 6,
    StatusCheck = 7,
};

class TMiniMax {
public:
    // Deepest ply a node is searched at; per-ply tables hold two rows more.
    static constexpr int MaxPly = 30;
    static constexpr int PlyRows = MaxPly + 2;
    // More pseudo-legal moves than any position can have (king 8 + 2
    // castlings, fifteen other pieces at most 27 each, two en-passant).
    static constexpr int MaxMovesPerPly = 420;
    static constexpr int DefaultStackSize = PlyRows * MaxMovesPerPly;
    static constexpr int MateValue = 31999; // 31999 - ply: mated
    static constexpr int KingTaken = 32000; // 32000 - ply: the last move was illegal

    using TStopEvent = std::function<void(TMiniMax* Sender, TEngineZug*& Zug, uint8_t Status)>;
    using TTraceEvent = std::function<void(TMiniMax* Sender, const std::string& S)>;
    using TNotifyEvent = std::function<void(TMiniMax* Sender)>;

    // StackSize below DefaultStackSize is meant for tests of the overflow guard.
    explicit TMiniMax(int StackSize = DefaultStackSize);
    ~TMiniMax();
    TMiniMax(const TMiniMax&) = delete;
    TMiniMax& operator=(const TMiniMax&) = delete;

    // Published properties and events. Set them while the engine is idle.
    bool English = false;
    TStopEvent OnStop;
    TTraceEvent OnTrace;
    TNotifyEvent OnSchach;
    int MaxDepth = 4;
    int ProposalDepth = 2;
    bool Silent = false;

    // Chess960 record (copied); nullptr or a record with Fischer false means
    // standard chess. Set while idle.
    void SetFischerInfo(const TEngineFischerInfo* Info);
    bool IstFischer() const { return fischer_.Fischer; }

    // --- board and moves
    void Grundstellung();
    // Engine board and position record := the given ones, side from the
    // record, then Stellungsaufbau.
    void SetPosition(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo);
    void Stellungsaufbau();
    void ZugGenerator(int Depth);
    // False (and nothing changes) for an index outside the stack or past
    // the deepest ply.
    bool ZugAusfuehren(int Index);
    bool ZugZuruecknehmen(int Index);
    bool Angegriffen(int Square, int BySide) const;
    static std::string FeldName(int Square);

    // Read access for hosts, tools and tests (while idle).
    const TMiniMaxBrett& Board() const { return brett_; }
    int Side() const { return side_; }
    int Ply() const { return ply_; }
    int FirstMove(int Ply) const { return Ply >= 0 && Ply < PlyRows ? first_[Ply] : 0; }
    // One past the last move of the ply.
    int LastMove(int Ply) const { return Ply >= 0 && Ply < PlyRows ? last_[Ply] : 0; }
    const TMMZug& Move(int Index) const;
    int KingSquare(int Side) const { return Side > 0 ? kingW_ : kingB_; }
    int Material() const { return material_[ply_]; }
    int NonPawnMaterial() const { return nonPawn_[ply_]; }
    int TouchCount(int Square) const { return Square >= 0 && Square < 120 ? touch_[Square] : 0; }
    int Castled(int Side) const { return castled_[Side > 0 ? 0 : 1]; }
    bool InCheck() const { return inCheck_[ply_]; }
    // The side to move's king is attacked by the other side.
    bool SideInCheck() const;
    // One king a side, no pawn on the first or last rank, and the side not
    // to move not in check: a position some game can reach.
    bool PlayablePosition() const;

    // --- search
    // Searches to depth Tiefe in the caller's thread and reports through
    // OnStop. A position no game can reach is not searched: OnStop reports
    // StatusNoMove with no move. False (and nothing happens) while the engine is busy, which it
    // is until OnStop has returned: a new Start comes after that.
    bool Start(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo, uint8_t Tiefe);
    // Ends the running search without OnStop. True when a search was running
    // and its report is thereby cancelled; false when idle or already
    // reporting (then its OnStop comes or has come).
    bool Stop();
    // Ends the running search early; it still reports its best move through
    // OnStop. False when no search was running.
    bool SetStopFlag();
    // Cooperative pause: the search sleeps at its next node until Resume;
    // Stop and SetStopFlag wake it to end. The pause holds across searches
    // until Resume.
    void Pause();
    void Resume();
    bool Paused() const;
    bool Busy() const;
    // Last value in pawns from the trace (1000.0 when there is none).
    double Bewertung() const;
    std::string TraceText() const;

    // Checker entry points (normally used on a second instance). They are
    // refused (false / 0) while the engine is busy.
    bool ZugLegal(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo);
    bool IstMatt(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo);
    int Zugvorschlag(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo, int Square);

    uint8_t Status() const { return status_.load(); }
    // Result of the last search: value from the side to move (centipawns),
    // nodes searched, the result record.
    int BestValue() const { return bestValue_; }
    bool HaveBestMove() const { return haveResult_; }
    const TMMZug& BestMove() const { return bestMove_; }
    uint64_t Nodes() const { return nodes_; }
    const TEngineZug& Result() const { return record_; }

    // --- evaluation
    int Bewerte(int Alpha, int Beta, int Side);
    void Zaehlen();
    int BauerWeiss(int Square) const;
    int BauerSchwarz(int Square) const;

private:
    using TPVRow = std::array<TMMZug, PlyRows>;
    enum class State { Idle, Searching, Reporting };

    // MiniMaxBoard.cpp
    void Push(const TMMZug& Move);
    void AddMove(int From, int To, int Captured, int Promotion, int Castle, int EnPassant,
                 bool Capture);
    void AddPawnMoves(int From, int To, int Captured, bool Promotes, bool Capture);
    void GenerateCastling();
    void GenerateFischerCastling(int King, int RookA, int RookH, int G, int C);
    bool PathClear(int From, int To, int Allowed, bool MustBeSafe) const;

    // MiniMaxSearch.cpp
    bool Claim();
    void Release();
    void Prepare(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo);
    void Iteration();
    int AlphaBeta(int Alpha, int Beta, int Depth);
    int BesterZug();
    void SpeichereVariante(int Index);
    std::string VarianteAusgeben() const;
    void Fertig();
    void Wiederholung();
    bool ZugPruefen(int From, int To, bool Generated, bool Chess960Castle, int Promotion);
    void ZugUebernehmen();
    bool Interrupted();
    void KeepRootResult(const TMMZug& Move, int Value);
    void SetTraceLine(int Line, const std::string& Text);
    void FireTrace();
    std::string ValueText(int Depth, int Value) const;
    void RemoveIllegalRootMoves();

    // MiniMaxEval.cpp
    int KingTerms(int Square, int Colour, int Side) const;

    TMiniMaxBrett brett_{};
    TEngineZug record_{};
    TEngineFischerInfo fischer_{};
    int side_ = 1;
    int ply_ = 0;
    int kingW_ = 25;
    int kingB_ = 95;
    std::array<int, PlyRows> material_{};
    std::array<int, PlyRows> nonPawn_{};
    std::array<int, PlyRows> epSquare_{};
    std::array<int, PlyRows> target_{};
    std::array<int, PlyRows> mobility_{};
    std::array<bool, PlyRows> inCheck_{};
    std::array<int, PlyRows> first_{};
    std::array<int, PlyRows> last_{};
    std::array<int, PlyRows> made_{};          // index of the move made at each ply
    std::array<int, PlyRows> castledBefore_{}; // Castled of the mover before a castling
    std::array<int, 120> touch_{};
    std::array<int, 2> castled_{};
    std::vector<TMMZug> stack_;
    int stackSize_;
    int next_ = 0;

    // search state
    std::array<TPVRow, PlyRows> pv_{};
    std::array<std::array<TMMZug, 2>, PlyRows> killer_{};
    int extensionLimit_ = 0;
    TMMZug bestMove_{};
    int bestValue_ = 0;
    bool haveResult_ = false;
    bool aborted_ = false;
    bool overflow_ = false;
    uint64_t nodes_ = 0;
    std::atomic<uint8_t> status_{0};

    // repetition history of the two previous searches
    std::array<TMiniMaxBrett, 2> histBoard_{};
    std::array<TMMZug, 2> histMove_{};

    // evaluation counts (Zaehlen)
    std::array<int8_t, 120> whitePawnAttacks_{};
    std::array<int8_t, 120> blackPawnAttacks_{};
    std::array<int8_t, 10> whitePawnsOnFile_{};
    std::array<int8_t, 10> blackPawnsOnFile_{};
    std::array<int8_t, 10> whiteRooksOnFile_{};
    std::array<int8_t, 10> blackRooksOnFile_{};

    // Cross-thread control. The search reads interrupt_ at every node; the
    // rest is changed under mutex_.
    static constexpr uint32_t StopBit = 1;
    static constexpr uint32_t PauseBit = 2;
    static constexpr uint32_t CancelBit = 4; // stopped through Stop: no report
    std::atomic<uint32_t> interrupt_{0};
    std::atomic<State> state_{State::Idle};
    bool paused_ = false; // under mutex_
    mutable std::mutex mutex_;
    std::condition_variable wake_;

    // Trace lines (two, a third after a stack overflow), read by Bewertung
    // from other threads.
    mutable std::mutex traceMutex_;
    std::vector<std::string> trace_;
};

} // namespace kb
