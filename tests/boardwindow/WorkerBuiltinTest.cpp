// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in engine's worker: every restart that is asked for is searched
// (the last one always), cancelled searches report nothing, move-now and
// finish are never lost in the moment a search begins, and pausing has two
// reasons that must both clear.
#include "AThread.h"
#include "EngineTools.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

using namespace kb;
using namespace std::chrono_literals;

namespace {

TSearchRequest Request(const std::string& Fen, int No, int Depth) {
    TSearchRequest r;
    EXPECT_TRUE(EngineFenLesen(Fen, r.Brett, r.PosInfo, r.Fischer)) << Fen;
    r.SearchNo = No;
    r.Depth = Depth;
    return r;
}

const char* const Fens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "8/8/4k3/8/2P5/8/4K3/8 w - - 0 40",
};

// What the worker reported, in order.
struct TReports {
    std::mutex M;
    std::condition_variable Cv;
    std::vector<int> Moves; // search numbers
    int Traces = 0;

    void Attach(TAnalyseThread& W) {
        W.OnMove = [this](const TEngineZug&, uint8_t, int No) {
            std::lock_guard lk(M);
            Moves.push_back(No);
            Cv.notify_all();
        };
        W.OnTrace = [this](const std::string&, int) {
            std::lock_guard lk(M);
            ++Traces;
            Cv.notify_all();
        };
    }
    bool WaitMove(int No, std::chrono::milliseconds T) {
        std::unique_lock lk(M);
        return Cv.wait_for(lk, T, [&] {
            for (int m : Moves)
                if (m == No) return true;
            return false;
        });
    }
    bool WaitTraces(int N, std::chrono::milliseconds T) {
        std::unique_lock lk(M);
        return Cv.wait_for(lk, T, [&] { return Traces >= N; });
    }
    std::vector<int> Snapshot() {
        std::lock_guard lk(M);
        return Moves;
    }
};

} // namespace

TEST(WorkerBuiltin, RestartStormEndsOnTheLastPosition) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    TMiniMax engine;
    TReports rep;
    {
        TAnalyseThread w(engine);
        rep.Attach(w);
        int no = 0;
        for (int i = 0; i < 150; ++i) {
            w.Search(Request(Fens[rng() % 4], ++no, 20));
            for (unsigned y = rng() % 50; y > 0; --y)
                std::this_thread::yield();
        }
        EXPECT_TRUE(w.Searching());
        // Deep searches report only when asked to; the last one does.
        ASSERT_TRUE(rep.WaitTraces(1, 20s));
        EXPECT_TRUE(w.MoveNow());
        ASSERT_TRUE(rep.WaitMove(no, 20s));
        EXPECT_EQ(rep.Snapshot(), std::vector<int>{no});
        EXPECT_LE(w.SearchesStarted(), no);
    }
    EXPECT_FALSE(engine.Busy());
}

TEST(WorkerBuiltin, EveryRestartIsSearchedOnce) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    TMiniMax engine;
    TReports rep;
    TAnalyseThread w(engine);
    rep.Attach(w);
    // Shallow searches end by themselves: a request that comes while one
    // ends must still be searched, and the one before it either reports
    // (it finished first) or is void.
    int no = 0;
    for (int i = 0; i < 60; ++i) {
        const int a = ++no, b = ++no;
        w.Search(Request(Fens[rng() % 4], a, 2));
        for (unsigned y = rng() % 200; y > 0; --y)
            std::this_thread::yield();
        w.Search(Request(Fens[rng() % 4], b, 2));
        ASSERT_TRUE(rep.WaitMove(b, 20s)) << "restart " << b << " lost";
    }
    const std::vector<int> moves = rep.Snapshot();
    for (size_t i = 1; i < moves.size(); ++i)
        EXPECT_LT(moves[i - 1], moves[i]) << "a search reported twice or out of order";
}

TEST(WorkerBuiltin, MoveNowAndFinishAreNotLostAsASearchBegins) {
    TMiniMax engine;
    for (int i = 0; i < 20; ++i) {
        TReports rep;
        TAnalyseThread w(engine);
        rep.Attach(w);
        w.Search(Request(Fens[i % 3], i + 1, 20));
        // Right away: the search may not have claimed the engine yet.
        while (!w.MoveNow())
            std::this_thread::yield();
        ASSERT_TRUE(rep.WaitMove(i + 1, 20s)) << "move now lost in round " << i;
    }
    for (int i = 0; i < 20; ++i) {
        TReports rep;
        TAnalyseThread w(engine);
        rep.Attach(w);
        w.Search(Request(Fens[i % 3], 1, 20));
        w.Finish(); // must not wait for a depth-20 search
        EXPECT_TRUE(rep.Snapshot().empty());
        EXPECT_FALSE(w.Searching());
    }
}

TEST(WorkerBuiltin, PauseNeedsBothReasonsClear) {
    TMiniMax engine;
    TReports rep;
    TAnalyseThread w(engine);
    rep.Attach(w);
    w.Search(Request(Fens[0], 1, 20));
    ASSERT_TRUE(rep.WaitTraces(1, 20s));
    w.SetPaused(TAnalyseThread::PauseUser, true);
    w.SetPaused(TAnalyseThread::PauseLock, true);
    EXPECT_TRUE(engine.Paused());
    w.SetPaused(TAnalyseThread::PauseUser, false);
    EXPECT_TRUE(w.Paused());
    EXPECT_TRUE(engine.Paused());
    w.SetPaused(TAnalyseThread::PauseLock, false);
    EXPECT_FALSE(engine.Paused());
    // Paused again, then closed: the worker ends and leaves the engine
    // unpaused for the next one.
    w.SetPaused(TAnalyseThread::PauseLock, true);
    w.Finish();
    EXPECT_FALSE(engine.Paused());
    EXPECT_FALSE(engine.Busy());
    EXPECT_TRUE(rep.Snapshot().empty());
}
