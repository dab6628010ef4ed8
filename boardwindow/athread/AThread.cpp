// SPDX-License-Identifier: GPL-3.0-or-later
#include "AThread.h"

namespace kb {

TAnalyseThread::TAnalyseThread(TMiniMax& Engine) : engine_(Engine) {
    engine_.OnTrace = [this](TMiniMax* Sender, const std::string& S) {
        int no;
        {
            std::lock_guard lk(m_);
            // A cancel or move-now asked for just before the search claimed
            // the engine found it idle; it is honoured here instead.
            if (pending_ || quit_) Sender->Stop();
            if (moveNow_) Sender->SetStopFlag();
            no = current_.SearchNo;
        }
        if (OnTrace) OnTrace(S, no);
    };
    engine_.OnStop = [this](TMiniMax*, TEngineZug*& Zug, uint8_t Status) {
        int no;
        {
            std::lock_guard lk(m_);
            if (pending_ || quit_) return; // superseded: the answer is void
            no = current_.SearchNo;
        }
        if (OnMove && Zug) OnMove(*Zug, Status, no);
    };
}

TAnalyseThread::~TAnalyseThread() {
    Finish();
    engine_.OnTrace = nullptr;
    engine_.OnStop = nullptr;
}

void TAnalyseThread::Search(const TSearchRequest& Request) {
    {
        std::lock_guard lk(m_);
        if (quit_) return;
        pending_ = Request;
        moveNow_ = false; // a move-now was meant for the position before
        // Under the lock: the loop cannot start the new search before the
        // old one is stopped, so the stop never reaches the new one.
        if (running_) engine_.Stop();
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
    }
    cv_.notify_all();
}

bool TAnalyseThread::MoveNow() {
    std::lock_guard lk(m_);
    // With a newer request waiting, the move is that one's.
    if (!running_ && !pending_) return false;
    moveNow_ = true;
    // Under the lock, so that it reaches the search it was asked for.
    engine_.SetStopFlag();
    return true;
}

bool TAnalyseThread::Searching() const {
    std::lock_guard lk(m_);
    return running_ || pending_.has_value();
}

void TAnalyseThread::SetPaused(unsigned Reason, bool On) {
    std::lock_guard lk(m_);
    const unsigned old = paused_;
    paused_ = On ? (paused_ | Reason) : (paused_ & ~Reason);
    if (old == 0 && paused_ != 0) engine_.Pause();
    if (old != 0 && paused_ == 0) engine_.Resume();
}

bool TAnalyseThread::Paused() const {
    std::lock_guard lk(m_);
    return paused_ != 0;
}

int TAnalyseThread::SearchesStarted() const {
    std::lock_guard lk(m_);
    return started_;
}

bool TAnalyseThread::MoveNowAsked() const {
    std::lock_guard lk(m_);
    return moveNow_;
}

void TAnalyseThread::Finish() {
    {
        std::lock_guard lk(m_);
        quit_ = true;
        pending_.reset();
        // A stop wakes a paused search; the engine is left unpaused for the
        // next worker.
        if (paused_ != 0) engine_.Resume();
        paused_ = 0;
    }
    cv_.notify_all();
    engine_.Stop();
    if (thread_.joinable()) thread_.join();
}

void TAnalyseThread::Loop() {
    std::unique_lock lk(m_);
    for (;;) {
        cv_.wait(lk, [this] { return quit_ || pending_.has_value(); });
        if (quit_) return;
        current_ = *pending_;
        pending_.reset();
        running_ = true;
        ++started_;
        const TSearchRequest r = current_;
        lk.unlock();
        engine_.SetFischerInfo(r.Fischer.Fischer ? &r.Fischer : nullptr);
        engine_.English = r.English;
        engine_.Start(r.Brett, r.PosInfo, static_cast<uint8_t>(r.Depth));
        lk.lock();
        running_ = false;
    }
}

} // namespace kb
