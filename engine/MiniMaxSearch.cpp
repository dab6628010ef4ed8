// SPDX-License-Identifier: GPL-3.0-or-later
// TMiniMax search: iterative deepening with aspiration windows at the root,
// negamax alpha-beta with extensions and a capture search below it, the
// result report, and the host's control and checker entry points.
#include "MiniMax.h"
#include "MiniMaxTables.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace kb {

using namespace minimax;

namespace {

constexpr int Infinity = TMiniMax::KingTaken;

bool SameMove(const TMMZug& a, const TMMZug& b) {
    return a.From == b.From && a.To == b.To && a.Captured == b.Captured &&
           a.Promotion == b.Promotion && a.Castle == b.Castle && a.EnPassant == b.EnPassant;
}

} // namespace

// --- cross-thread control

bool TMiniMax::Claim() {
    std::lock_guard lk(mutex_);
    if (state_ != State::Idle) return false;
    state_ = State::Searching;
    // Stop requests only ever reach a running search, so nothing pending is
    // lost here.
    interrupt_.store(paused_ ? PauseBit : 0);
    return true;
}

void TMiniMax::Release() {
    {
        std::lock_guard lk(mutex_);
        state_ = State::Idle;
    }
    wake_.notify_all();
}

bool TMiniMax::Stop() {
    std::lock_guard lk(mutex_);
    if (state_ != State::Searching) return false;
    interrupt_.fetch_or(StopBit | CancelBit);
    wake_.notify_all();
    return true;
}

bool TMiniMax::SetStopFlag() {
    std::lock_guard lk(mutex_);
    if (state_ != State::Searching) return false;
    interrupt_.fetch_or(StopBit);
    wake_.notify_all();
    return true;
}

void TMiniMax::Pause() {
    std::lock_guard lk(mutex_);
    paused_ = true;
    if (state_ == State::Searching) interrupt_.fetch_or(PauseBit);
}

void TMiniMax::Resume() {
    {
        std::lock_guard lk(mutex_);
        paused_ = false;
        interrupt_.fetch_and(~PauseBit);
    }
    wake_.notify_all();
}

bool TMiniMax::Paused() const {
    std::lock_guard lk(mutex_);
    return paused_;
}

bool TMiniMax::Busy() const {
    return state_.load() != State::Idle;
}

// Called at every node. A stop from the host is honoured once a root move has
// been searched completely, so a stopped search always has a real result; a
// stop through Stop (nothing is reported) ends the search at once.
bool TMiniMax::Interrupted() {
    if (aborted_) return true;
    if (interrupt_.load(std::memory_order_relaxed) == 0) return false;
    std::unique_lock lk(mutex_);
    for (;;) {
        const uint32_t f = interrupt_.load();
        if ((f & CancelBit) || ((f & StopBit) && haveResult_)) {
            aborted_ = true;
            return true;
        }
        if ((f & PauseBit) && !(f & StopBit)) {
            wake_.wait(lk);
            continue;
        }
        return false;
    }
}

// --- trace

void TMiniMax::SetTraceLine(int Line, const std::string& Text) {
    std::lock_guard lk(traceMutex_);
    if (trace_.size() < 2) trace_.resize(2);
    trace_[static_cast<size_t>(Line)] = Text;
}

std::string TMiniMax::TraceText() const {
    std::lock_guard lk(traceMutex_);
    std::string text;
    for (const auto& line : trace_)
        text += line + "\n";
    return text;
}

void TMiniMax::FireTrace() {
    if (OnTrace) OnTrace(this, TraceText());
}

std::string TMiniMax::ValueText(int Depth, int Value) const {
    const int a = std::abs(Value);
    std::string number = (Value < 0 ? "-" : "") + std::to_string(a / 100) + "." +
                         static_cast<char>('0' + a % 100 / 10) + static_cast<char>('0' + a % 10);
    // Shown from White's side.
    if (side_ < 0) {
        if (!number.empty() && number[0] == '-')
            number.erase(0, 1);
        else
            number.insert(0, "-");
    }
    return std::string(English ? "Depth" : "Tiefe") + ": " + std::to_string(Depth) + "  " +
           (English ? "Value" : "Wert") + ": " + number;
}

double TMiniMax::Bewertung() const {
    std::string line;
    {
        std::lock_guard lk(traceMutex_);
        line = trace_.empty() ? std::string() : trace_[0];
    }
    const size_t colon = line.rfind(':');
    std::string text = colon == std::string::npos ? line : line.substr(colon + 1);
    const size_t b = text.find_first_not_of(' ');
    const size_t e = text.find_last_not_of(' ');
    if (b == std::string::npos) return 1000.0;
    text = text.substr(b, e - b + 1);
    double value = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return 1000.0;
    return value;
}

std::string TMiniMax::VarianteAusgeben() const {
    std::string s;
    for (int j = 0; j < PlyRows && pv_[0][j].From != 0; ++j)
        s += FeldName(pv_[0][j].From) + "-" + FeldName(pv_[0][j].To) + " ";
    return s;
}

// --- search

void TMiniMax::Prepare(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo) {
    SetPosition(Brett, PosInfo);
    bestMove_ = TMMZug{};
    bestValue_ = 0;
    haveResult_ = false;
    aborted_ = false;
    overflow_ = false;
    nodes_ = 0;
    for (auto& k : killer_)
        k = {};
    for (auto& row : pv_)
        row = {};
    std::lock_guard lk(traceMutex_);
    trace_.assign(2, std::string());
}

bool TMiniMax::Start(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo, uint8_t Tiefe) {
    const TMiniMaxBrett brett = Brett;
    const TEngineZug posInfo = PosInfo;
    if (!Claim()) return false;
    // Idle again however this ends, an exception from an event included.
    struct Idler {
        TMiniMax* engine;
        ~Idler() { engine->Release(); }
    } idler{this};
    status_ = StatusMove;
    MaxDepth = Tiefe < 1 ? 1 : Tiefe;
    Prepare(brett, posInfo);
    if (!PlayablePosition()) {
        // Nothing to search where no game can be: no move (Fertig says so).
        Fertig();
        return true;
    }
    if (SideInCheck() && OnSchach) OnSchach(this);
    Iteration();
    Wiederholung();
    Fertig();
    return true;
}

void TMiniMax::ZugUebernehmen() {
    if (ply_ == 0) return;
    epSquare_[0] = epSquare_[ply_];
    material_[0] = material_[ply_];
    nonPawn_[0] = nonPawn_[ply_];
    ply_ = 0;
}

void TMiniMax::RemoveIllegalRootMoves() {
    int keep = first_[0];
    for (int i = first_[0]; i < last_[0]; ++i) {
        ZugAusfuehren(i);
        const bool legal = !Angegriffen(KingSquare(-side_), side_);
        ZugZuruecknehmen(i);
        if (legal) stack_[keep++] = stack_[i];
    }
    last_[0] = next_ = keep;
}

void TMiniMax::KeepRootResult(const TMMZug& Move, int Value) {
    bestMove_ = Move;
    bestValue_ = Value;
    haveResult_ = true;
}

void TMiniMax::Iteration() {
    ZugUebernehmen();
    if (Bewerte(-Infinity, Infinity, side_) == KingTaken) return; // not searchable
    const bool inCheck = inCheck_[0];
    ZugGenerator(1);
    if (overflow_) return;
    RemoveIllegalRootMoves();
    if (first_[0] == last_[0]) {
        status_ = inCheck ? StatusMated : StatusStalemate;
        if (!Silent) {
            SetTraceLine(1, inCheck ? "MATT!" : "PATT!");
            FireTrace();
        }
        return;
    }

    for (int d = 1; d <= MaxDepth && !aborted_; ++d) {
        int alpha = d == 1 ? -Infinity : bestValue_ - 100;
        int beta = d == 1 ? Infinity : bestValue_ + 100;
        extensionLimit_ = d + 3;
        for (int i = first_[0]; i < last_[0]; ++i) {
            if (Interrupted()) break;
            pv_[0][0] = TMMZug{};
            auto search = [&](int a, int b) {
                ZugAusfuehren(i);
                const int v = -AlphaBeta(-b, -a, d - 1);
                ZugZuruecknehmen(i);
                return v;
            };
            int v = search(alpha, beta);
            if (aborted_) break;
            if (i == first_[0]) {
                if (v < alpha)
                    v = search(-Infinity, v);
                else if (v >= beta)
                    v = search(v, Infinity);
                if (aborted_) break;
                alpha = v;
                beta = v + 1;
                SpeichereVariante(i);
                KeepRootResult(stack_[i], v);
                if (!Silent) {
                    SetTraceLine(0, ValueText(d, v));
                    SetTraceLine(1, VarianteAusgeben());
                    FireTrace();
                }
            } else if (v > alpha) {
                const int oldAlpha = alpha;
                v = search(v, Infinity);
                if (aborted_) break;
                if (v > oldAlpha) {
                    alpha = v;
                    beta = v + 1;
                    SpeichereVariante(i);
                    KeepRootResult(stack_[i], v);
                    if (!Silent) {
                        SetTraceLine(1, VarianteAusgeben());
                        FireTrace();
                    }
                    // The new best move goes to the front; the others shift back.
                    std::rotate(stack_.begin() + first_[0], stack_.begin() + i,
                                stack_.begin() + i + 1);
                }
            }
        }
    }

    if (!haveResult_ || Silent || overflow_) return;
    const int best = bestValue_;
    std::string line0;
    {
        std::lock_guard lk(traceMutex_);
        line0 = trace_[0];
    }
    if (best >= 31990) {
        const int n = (31998 - best) / 2;
        if (n == 0) {
            status_ = StatusMates;
            SetTraceLine(0, "Matt");
        } else {
            SetTraceLine(0, line0 + "  Matt in " + std::to_string(n));
        }
    } else if (best <= -31990) {
        SetTraceLine(0, line0 + "  Matt in " + std::to_string((best + 31999) / 2));
    }
    FireTrace();
}

int TMiniMax::AlphaBeta(int Alpha, int Beta, int Depth) {
    ++nodes_;
    // The ply cap comes first: no table is touched past its last row.
    if (ply_ >= MaxPly) {
        pv_[ply_][ply_] = TMMZug{};
        return Bewerte(Alpha, Beta, side_);
    }
    pv_[ply_][ply_] = TMMZug{};
    const int e = Bewerte(Alpha, Beta, side_);
    const bool inCheck = inCheck_[ply_];
    if (inCheck && ply_ + Depth < extensionLimit_ + 1) {
        ++Depth;
    } else if (ply_ >= 2 && ply_ + Depth < extensionLimit_ && target_[ply_] == target_[ply_ - 1] &&
               Alpha - 150 <= e && e <= Beta + 150) {
        ++Depth; // recapture
    }
    if (Interrupted() || Depth < -5 || e == KingTaken - ply_) return e;
    if (e >= Beta && Depth + (inCheck ? 1 : 0) <= 1) return e;

    ZugGenerator(Depth);
    if (aborted_) return e;
    const int lostKing = -(MateValue - ply_); // what a move that leaves the king en prise scores
    int best = Depth > 0 ? -Infinity : e;
    bool legalMove = false;
    int cut = -1;
    for (;;) {
        const int i = BesterZug();
        if (i < 0) break;
        ZugAusfuehren(i);
        const int v = -AlphaBeta(-Beta, -Alpha, Depth - 1);
        ZugZuruecknehmen(i);
        if (aborted_) return e;
        if (v != lostKing) legalMove = true;
        if (v > best) {
            best = v;
            if (best >= Beta) {
                if (Depth > 0) SpeichereVariante(i);
                cut = i;
                break;
            }
            if (best > Alpha) {
                if (Depth > 0) SpeichereVariante(i);
                Alpha = best;
            }
        }
    }
    if (cut >= 0) {
        auto& k = killer_[ply_];
        k[1] = k[0];
        k[0] = stack_[cut];
    } else if (Depth > 0 && !legalMove) {
        // No legal move at all: mated or stalemate. The line ends here, not
        // with the king-losing move stored on the way.
        pv_[ply_][ply_] = TMMZug{};
        return inCheck ? lostKing : 0;
    }
    if (best == lostKing && !inCheck) return 0;
    return best;
}

int TMiniMax::BesterZug() {
    int found = -1;
    int score = -Infinity;
    for (int i = first_[ply_]; i < last_[ply_]; ++i) {
        if (stack_[i].Score > score) {
            score = stack_[i].Score;
            found = i;
        }
    }
    if (found >= 0) stack_[found].Score = -Infinity;
    return found;
}

void TMiniMax::SpeichereVariante(int Index) {
    auto& row = pv_[ply_];
    const auto& next = pv_[ply_ + 1];
    row[ply_] = stack_[Index];
    for (int j = ply_ + 1; j < PlyRows; ++j) {
        row[j] = next[j];
        if (next[j].From == 0) break;
    }
}

// --- result

void TMiniMax::Fertig() {
    uint8_t status = status_;
    TEngineZug& r = record_;
    const bool gameOver = status == StatusMated || status == StatusStalemate;
    if (overflow_ || !haveResult_ || gameOver) {
        // No move to play: the record keeps the position with an empty move.
        r.From = r.To = r.EnPassantVictim = r.CastlingKind = r.Promotion = r.Captured = 0;
        if (overflow_ || !gameOver) status = StatusNoMove;
    } else {
        const int mover = side_;
        stack_[stackSize_] = bestMove_;
        ZugAusfuehren(stackSize_); // stays made: the next search takes over from here
        const TMMZug& m = bestMove_;
        if (status == StatusMove && Angegriffen(KingSquare(-mover), mover)) status = StatusCheck;
        r.From = m.From;
        r.To = m.To;
        if (r.EnPassant != 0 && m.Captured != 0) {
            r.EnPassantVictim = m.EnPassant;
            r.EnPassant = 0;
        } else {
            r.EnPassantVictim = 0;
            r.EnPassant = m.EnPassant;
        }
        r.Captured = -(mover * m.Captured);
        r.Promotion = m.Promotion * mover;
        r.CastlingKind = m.Castle;
        auto moved = [&](int square) { return square > 0 && square < 120 && touch_[square] != 0; };
        uint8_t rights = r.CastlingRights;
        if (IstFischer()) {
            if (moved(fischer_.WhiteKing)) rights &= ~6;
            if (moved(fischer_.WhiteRookH)) rights &= ~2;
            if (moved(fischer_.WhiteRookA)) rights &= ~4;
            if (moved(fischer_.BlackKing)) rights &= ~24;
            if (moved(fischer_.BlackRookH)) rights &= ~8;
            if (moved(fischer_.BlackRookA)) rights &= ~16;
        } else {
            if (moved(25)) rights &= ~6;
            if (moved(28)) rights &= ~2;
            if (moved(21)) rights &= ~4;
            if (moved(95)) rights &= ~24;
            if (moved(98)) rights &= ~8;
            if (moved(91)) rights &= ~16;
        }
        r.CastlingRights = rights;
        r.Side = -mover;
    }
    status_ = status;
    {
        std::lock_guard lk(traceMutex_);
        trace_.assign(2, std::string());
    }

    bool report;
    {
        std::lock_guard lk(mutex_);
        report = (interrupt_.load() & CancelBit) == 0;
        state_ = report ? State::Reporting : State::Idle;
    }
    if (report && OnStop) {
        TEngineZug* zug = &record_;
        OnStop(this, zug, status);
    }
}

void TMiniMax::Wiederholung() {
    // A search cancelled through Stop plays nothing; one ended by the host's
    // stop flag plays its move (the think timer ends every search in play).
    if (!haveResult_ || (interrupt_.load() & CancelBit) || status_ == StatusMated ||
        status_ == StatusStalemate)
        return;
    // Judged from the side to move: only the side that stands better avoids
    // repeating.
    const double b = bestValue_ / 100.0;
    if (b < 0.5) return;
    if (brett_ == histBoard_[1] && SameMove(bestMove_, histMove_[1])) {
        const int count = std::min(last_[0] - first_[0], 80);
        const int piece = std::abs(brett_[bestMove_.From]);
        const int w = (piece >= 1 && piece <= 5) ? PieceValue[piece] : 1000;
        for (int k = 1; k < count; ++k) {
            const TMMZug m = stack_[first_[0] + k];
            if (m.Score - w + 100 * b < 0) continue;
            if (!ZugPruefen(m.From, m.To, true, m.Castle >= 3, m.Promotion)) continue;
            bestMove_ = m;
            break;
        }
    }
    histBoard_[1] = histBoard_[0];
    histBoard_[0] = brett_;
    histMove_[1] = histMove_[0];
    histMove_[0] = bestMove_;
}

bool TMiniMax::ZugPruefen(int From, int To, bool Generated, bool Chess960Castle, int Promotion) {
    ZugUebernehmen();
    if (!Generated) ZugGenerator(1);
    const int wanted = (Promotion >= 2 && Promotion <= 5) ? Promotion : 5;
    int found = -1;
    for (int i = first_[0]; i < last_[0]; ++i) {
        const TMMZug& m = stack_[i];
        if (m.From == From && m.To == To && (m.Castle >= 3) == Chess960Castle &&
            (m.Promotion == 0 || m.Promotion == wanted)) {
            found = i;
            break;
        }
    }
    if (found < 0) return false;
    ZugAusfuehren(found);
    const bool illegal = Angegriffen(KingSquare(-side_), side_);
    ZugZuruecknehmen(found);
    if (illegal) {
        status_ = StatusIllegal;
        return false;
    }
    return true;
}

// --- checker entry points

bool TMiniMax::ZugLegal(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo) {
    if (!Claim()) return false;
    Prepare(Brett, PosInfo);
    const bool legal =
        ZugPruefen(PosInfo.From, PosInfo.To, false, IstFischer() && PosInfo.CastlingKind != 0, 0);
    Release();
    return legal;
}

bool TMiniMax::IstMatt(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo) {
    if (!Claim()) return false;
    status_ = StatusMove;
    MaxDepth = 1;
    Prepare(Brett, PosInfo);
    const bool silent = Silent;
    Silent = true;
    Iteration();
    Silent = silent;
    const bool mated = status_ == StatusMated;
    Release();
    return mated;
}

int TMiniMax::Zugvorschlag(const TMiniMaxBrett& Brett, const TEngineZug& PosInfo, int Square) {
    if (Square < 21 || Square > 98) return 0;
    if (!Claim()) return 0;
    status_ = StatusMove;
    MaxDepth = ProposalDepth;
    Prepare(Brett, PosInfo);
    const bool silent = Silent;
    Silent = true;
    Iteration();
    Silent = silent;
    int result = 0;
    if (!overflow_) {
        const bool own = brett_[Square] != 100 && brett_[Square] * side_ > 0;
        for (int i = first_[0]; i < last_[0] && result == 0; ++i) {
            const TMMZug m = stack_[i];
            int candidate = 0;
            if (own && m.From == Square)
                candidate = m.To;
            else if (!own && m.To == Square)
                candidate = m.From;
            if (candidate != 0 && ZugPruefen(m.From, m.To, true, false, m.Promotion))
                result = candidate;
        }
    }
    Release();
    return result;
}

} // namespace kb
