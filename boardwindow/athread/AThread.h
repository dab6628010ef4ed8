// SPDX-License-Identifier: GPL-3.0-or-later
// TAnalyseThread: the built-in engine's worker of one board window. One
// owned thread searches the positions the window hands over (a snapshot
// each: board, position record, Chess960 record and the number the window
// gave the position). A request that comes while a search runs cancels that
// search and is searched next; every request is searched once unless a newer
// one replaces it before it starts. The window joins the thread in Finish.
#pragma once

#include "MiniMax.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kb {

struct TSearchRequest {
    TMiniMaxBrett Brett{};
    TEngineZug PosInfo{};
    TEngineFischerInfo Fischer{};
    int SearchNo = 0;
    int Depth = 20;
    bool English = false; // language of the trace
};

class TAnalyseThread {
public:
    // Engine is used by this worker only while the worker lives.
    explicit TAnalyseThread(TMiniMax& Engine);
    ~TAnalyseThread(); // Finish
    TAnalyseThread(const TAnalyseThread&) = delete;
    TAnalyseThread& operator=(const TAnalyseThread&) = delete;

    // Both run on the worker thread; set them before the first Search.
    // OnMove gets a search's result (never one of a cancelled search).
    std::function<void(const TEngineZug& Zug, uint8_t Status, int SearchNo)> OnMove;
    std::function<void(const std::string& Text, int SearchNo)> OnTrace;

    void Search(const TSearchRequest& Request);
    // The running search ends as soon as it has a move and reports it.
    // False when no search runs or waits.
    bool MoveNow();
    // A search runs or waits to run.
    bool Searching() const;
    // Pause reasons: the user's pause and the frame's lock. The search
    // sleeps while any holds.
    enum : unsigned { PauseUser = 1, PauseLock = 2 };
    void SetPaused(unsigned Reason, bool On);
    bool Paused() const;
    // Cancels the search without its answer, ends and joins the thread.
    void Finish();
    // Searches started so far (tests).
    int SearchesStarted() const;
    // A move-now was asked for the search that runs or waits (tests).
    bool MoveNowAsked() const;

private:
    void Loop();

    TMiniMax& engine_;
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::condition_variable idleCv_;
    std::optional<TSearchRequest> pending_;
    TSearchRequest current_;
    bool running_ = false;
    bool moveNow_ = false;
    bool quit_ = false;
    unsigned paused_ = 0;
    int started_ = 0;
    std::thread thread_;
};

} // namespace kb
