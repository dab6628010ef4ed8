// SPDX-License-Identifier: GPL-3.0-or-later
#include "AThread.h"

namespace kb {

TAnalyseThread::TAnalyseThread(TMiniMax& Engine) : Engine_(Engine) {
    Engine_.OnTrace = [this](TMiniMax* Sender, const std::string& S) {
        int no;
        {
            std::lock_guard lk(M_);
            // A cancel or move-now asked for just before the search claimed
            // the engine found it idle; it is honoured here instead.
            if (Pending_ || Quit_) Sender->Stop();
            if (MoveNow_) Sender->SetStopFlag();
            no = Current_.SearchNo;
        }
        if (OnTrace) OnTrace(S, no);
    };
    Engine_.OnStop = [this](TMiniMax*, TEngineZug*& Zug, uint8_t Status) {
        int no;
        {
            std::lock_guard lk(M_);
            if (Pending_ || Quit_) return; // superseded: the answer is void
            no = Current_.SearchNo;
        }
        if (OnMove && Zug) OnMove(*Zug, Status, no);
    };
}

TAnalyseThread::~TAnalyseThread() {
    Finish();
    Engine_.OnTrace = nullptr;
    Engine_.OnStop = nullptr;
}

void TAnalyseThread::Search(const TSearchRequest& Request) {
    bool cancel;
    {
        std::lock_guard lk(M_);
        if (Quit_) return;
        Pending_ = Request;
        MoveNow_ = false; // a move-now was meant for the position before
        cancel = Running_;
        if (!Thread_.joinable()) Thread_ = std::thread([this] { Loop(); });
    }
    Cv_.notify_all();
    if (cancel) Engine_.Stop();
}

bool TAnalyseThread::MoveNow() {
    {
        std::lock_guard lk(M_);
        // With a newer request waiting, the move is that one's.
        if (!Running_ && !Pending_) return false;
        MoveNow_ = true;
    }
    Engine_.SetStopFlag();
    return true;
}

bool TAnalyseThread::Searching() const {
    std::lock_guard lk(M_);
    return Running_ || Pending_.has_value();
}

void TAnalyseThread::SetPaused(unsigned Reason, bool On) {
    std::lock_guard lk(M_);
    const unsigned old = Paused_;
    Paused_ = On ? (Paused_ | Reason) : (Paused_ & ~Reason);
    if (old == 0 && Paused_ != 0) Engine_.Pause();
    if (old != 0 && Paused_ == 0) Engine_.Resume();
}

bool TAnalyseThread::Paused() const {
    std::lock_guard lk(M_);
    return Paused_ != 0;
}

int TAnalyseThread::SearchesStarted() const {
    std::lock_guard lk(M_);
    return Started_;
}

bool TAnalyseThread::MoveNowAsked() const {
    std::lock_guard lk(M_);
    return MoveNow_;
}

void TAnalyseThread::Finish() {
    {
        std::lock_guard lk(M_);
        Quit_ = true;
        Pending_.reset();
        // A stop wakes a paused search; the engine is left unpaused for the
        // next worker.
        if (Paused_ != 0) Engine_.Resume();
        Paused_ = 0;
    }
    Cv_.notify_all();
    Engine_.Stop();
    if (Thread_.joinable()) Thread_.join();
}

void TAnalyseThread::Loop() {
    std::unique_lock lk(M_);
    for (;;) {
        Cv_.wait(lk, [this] { return Quit_ || Pending_.has_value(); });
        if (Quit_) return;
        Current_ = *Pending_;
        Pending_.reset();
        Running_ = true;
        ++Started_;
        const TSearchRequest r = Current_;
        lk.unlock();
        Engine_.SetFischerInfo(r.Fischer.Fischer ? &r.Fischer : nullptr);
        Engine_.English = r.English;
        Engine_.Start(r.Brett, r.PosInfo, static_cast<uint8_t>(r.Depth));
        lk.lock();
        Running_ = false;
    }
}

} // namespace kb
