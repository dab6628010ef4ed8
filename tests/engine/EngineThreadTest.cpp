// SPDX-License-Identifier: GPL-3.0-or-later
// Engine threads: Start in a worker, Stop / SetStopFlag / Pause / Resume
// from the test thread. Exactly one OnStop per Start that ran, none after a
// Stop that cancelled it, never two searches at once.
#include "EngineTestUtil.h"

#include <atomic>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>

using namespace kb;
using namespace kbtest;

namespace {

const char* MiddleGame = "r1bq1rk1/pp2bppp/2n2n2/3p4/3P4/2NB1N2/PP3PPP/R1BQ1RK1 w - -";

// Spins (yielding) until the engine has taken up the search; a paused search
// gives no other sign.
bool WaitBusy(const TMiniMax& e) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!e.Busy()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::yield();
    }
    return true;
}

bool LegalIn(const EnginePos& p, const TEngineZug& result) {
    auto checker = std::make_unique<TMiniMax>();
    EnginePos q = p;
    q.zug.From = result.From;
    q.zug.To = result.To;
    q.zug.CastlingKind = result.CastlingKind;
    return checker->ZugLegal(q.brett, q.zug);
}

} // namespace

TEST(EngineThreads, StopEndsTheSearchWithoutReport) {
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    const EnginePos p = FromFen(MiddleGame);
    bool ran = false;
    std::thread worker([&] { ran = e->Start(p.brett, p.zug, 30); });
    ASSERT_TRUE(rec.WaitTraces(1));
    EXPECT_TRUE(e->Stop());
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(rec.Stops(), 0);
    EXPECT_FALSE(e->Busy());
    EXPECT_FALSE(e->Stop()); // nothing left to stop

    // The next Start works and reports.
    EXPECT_TRUE(e->Start(p.brett, p.zug, 2));
    EXPECT_EQ(rec.Stops(), 1);
}

TEST(EngineThreads, HostStopReportsTheBestMoveOnce) {
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    const EnginePos p = FromFen(MiddleGame);
    std::thread worker([&] { e->Start(p.brett, p.zug, 30); });
    ASSERT_TRUE(rec.WaitTraces(3));
    EXPECT_TRUE(e->SetStopFlag());
    worker.join();
    EXPECT_EQ(rec.Stops(), 1);
    EXPECT_EQ(rec.Status() == StatusMove || rec.Status() == StatusCheck, true) << rec.Status();
    EXPECT_TRUE(LegalIn(p, rec.Zug()));
    EXPECT_FALSE(e->SetStopFlag());
}

TEST(EngineThreads, HostStopBeforeAnyResultStillGivesARealMove) {
    // Paused before it starts, then stopped: the search must not report a
    // mate or stalemate nor an empty move; it finishes the first root move.
    for (const char* fen : {MiddleGame, "7k/8/8/8/8/8/R7/1R4K1 w - -"}) {
        auto e = std::make_unique<TMiniMax>();
        Recorder rec(*e);
        const EnginePos p = FromFen(fen);
        e->Pause();
        std::thread worker([&] { e->Start(p.brett, p.zug, 30); });
        ASSERT_TRUE(WaitBusy(*e));
        EXPECT_TRUE(e->SetStopFlag());
        worker.join();
        e->Resume();
        EXPECT_EQ(rec.Stops(), 1);
        EXPECT_TRUE(rec.Status() == StatusMove || rec.Status() == StatusCheck) << rec.Status();
        EXPECT_TRUE(LegalIn(p, rec.Zug())) << fen;
    }
}

TEST(EngineThreads, StartWhileUnwindingIsRefused) {
    // A host stop followed at once by a new Start: the old search may still
    // be unwinding; then the new Start is refused rather than running on the
    // same board. Every Start that ran reports exactly once.
    const EnginePos p = FromFen(MiddleGame);
    for (int round = 0; round < 20; ++round) {
        auto e = std::make_unique<TMiniMax>();
        Recorder rec(*e);
        std::thread worker([&] { e->Start(p.brett, p.zug, 30); });
        ASSERT_TRUE(rec.WaitTraces(1));
        ASSERT_TRUE(e->SetStopFlag());
        const bool second = e->Start(p.brett, p.zug, 1);
        worker.join();
        EXPECT_EQ(rec.Stops(), second ? 2 : 1) << "round " << round;
        EXPECT_FALSE(e->Busy());
    }
}

TEST(EngineThreads, StopWhileIdleIsNotKeptForTheNextSearch) {
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    e->English = true;
    EXPECT_FALSE(e->Stop());
    EXPECT_FALSE(e->SetStopFlag());
    const EnginePos p = FromFen(MiddleGame);
    EXPECT_TRUE(e->Start(p.brett, p.zug, 3));
    EXPECT_EQ(rec.Stops(), 1);
    bool depth3 = false;
    for (const auto& t : rec.Traces())
        depth3 |= t.rfind("Depth: 3", 0) == 0;
    EXPECT_TRUE(depth3) << "the search ran to its full depth";
}

TEST(EngineThreads, PauseHoldsTheSearchUntilResume) {
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    const EnginePos p = FromFen(MiddleGame);
    e->Pause();
    EXPECT_TRUE(e->Paused());
    std::thread worker([&] { e->Start(p.brett, p.zug, 2); });
    ASSERT_TRUE(WaitBusy(*e));
    // A depth-2 search takes milliseconds; paused, it reports nothing.
    EXPECT_FALSE(rec.WaitStops(1, std::chrono::milliseconds(300)));
    EXPECT_TRUE(rec.Traces().empty());
    EXPECT_TRUE(e->Busy());
    e->Resume();
    EXPECT_TRUE(rec.WaitStops(1));
    worker.join();
    EXPECT_EQ(rec.Stops(), 1);
    EXPECT_TRUE(LegalIn(p, rec.Zug()));
}

TEST(EngineThreads, StopWakesAPausedSearch) {
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    const EnginePos p = FromFen(MiddleGame);
    std::thread worker([&] { e->Start(p.brett, p.zug, 30); });
    ASSERT_TRUE(rec.WaitTraces(1));
    e->Pause();
    EXPECT_TRUE(e->Stop());
    worker.join(); // returns although still paused
    EXPECT_EQ(rec.Stops(), 0);
    EXPECT_TRUE(e->Paused());
    e->Resume();
}

TEST(EngineThreads, CheckerEntryPointsAreRefusedWhileSearching) {
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    const EnginePos p = FromFen(MiddleGame);
    std::thread worker([&] { e->Start(p.brett, p.zug, 30); });
    ASSERT_TRUE(rec.WaitTraces(1));
    EnginePos move = p;
    move.zug.From = Sq("a2");
    move.zug.To = Sq("a3");
    EXPECT_FALSE(e->ZugLegal(move.brett, move.zug));
    const EnginePos mate = FromFen("7k/6Q1/6K1/8/8/8/8/8 b - -");
    EXPECT_FALSE(e->IstMatt(mate.brett, mate.zug));
    EXPECT_EQ(e->Zugvorschlag(p.brett, p.zug, Sq("a2")), 0);
    EXPECT_FALSE(e->Start(p.brett, p.zug, 1));
    EXPECT_TRUE(e->Stop());
    worker.join();
    EXPECT_EQ(rec.Stops(), 0);
    // Idle again: the same calls answer.
    EXPECT_TRUE(e->ZugLegal(move.brett, move.zug));
    EXPECT_TRUE(e->IstMatt(mate.brett, mate.zug));
    const int to = e->Zugvorschlag(p.brett, p.zug, Sq("a2"));
    EXPECT_TRUE(to == Sq("a3") || to == Sq("a4")) << to;
}

TEST(EngineThreads, RandomStopsKeepOneReportPerUncancelledStart) {
    // OnStop count = Starts that ran - Stops that cancelled a report.
    const unsigned seed = 4242;
    std::mt19937 rng(seed);
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    const EnginePos p = FromFen(MiddleGame);
    int ran = 0, cancelled = 0;
    for (int round = 0; round < 60; ++round) {
        const int depth = 1 + static_cast<int>(rng() % 4);
        std::atomic<bool> started{false};
        std::thread worker(
            [&] { started = e->Start(p.brett, p.zug, static_cast<uint8_t>(depth)); });
        const int spins = static_cast<int>(rng() % 2000);
        for (int i = 0; i < spins; ++i)
            std::this_thread::yield();
        switch (rng() % 3) {
        case 0:
            cancelled += e->Stop() ? 1 : 0;
            break;
        case 1:
            e->SetStopFlag();
            break;
        default:
            break;
        }
        worker.join();
        ran += started ? 1 : 0;
        ASSERT_EQ(rec.Stops(), ran - cancelled) << "round " << round << " seed " << seed;
        ASSERT_FALSE(e->Busy());
    }
    EXPECT_EQ(ran, 60);
}

TEST(EngineThreads, MoveStackOverflowReportsOnce) {
    // A stack far too small for the search: one report, status 6, one trace
    // line about it, and the engine is usable again.
    auto e = std::make_unique<TMiniMax>(60);
    Recorder rec(*e);
    const EnginePos p = FromFen(MiddleGame);
    EXPECT_TRUE(e->Start(p.brett, p.zug, 4));
    EXPECT_EQ(rec.Stops(), 1);
    EXPECT_EQ(rec.Status(), StatusNoMove);
    int errors = 0;
    for (const auto& t : rec.Traces())
        errors += t.find("ERROR: Zugstapel Ueberlauf") != std::string::npos;
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(e->Busy());
    const EnginePos small = FromFen("7k/8/8/8/8/8/8/K7 w - -");
    EXPECT_TRUE(e->Start(small.brett, small.zug, 2)); // this one fits
    EXPECT_EQ(rec.Stops(), 2);
    EXPECT_NE(rec.Status(), StatusNoMove);
}

TEST(EngineThreads, ExceptionFromAnEventLeavesTheEngineUsable) {
    auto e = std::make_unique<TMiniMax>();
    const EnginePos p = FromFen(MiddleGame);
    e->OnTrace = [](TMiniMax*, const std::string&) { throw std::runtime_error("host failure"); };
    EXPECT_THROW(e->Start(p.brett, p.zug, 3), std::runtime_error);
    EXPECT_FALSE(e->Busy());
    Recorder rec(*e);
    EXPECT_TRUE(e->Start(p.brett, p.zug, 2));
    EXPECT_EQ(rec.Stops(), 1);
    EXPECT_TRUE(LegalIn(p, rec.Zug()));
}

TEST(EngineThreads, RepetitionIsAvoidedAlsoWhenTheHostStops) {
    // In play every search is ended by the host's stop flag. Paused and then
    // stopped, each search reports its first completed root move; the third
    // time in the same position it plays another one.
    auto e = std::make_unique<TMiniMax>();
    Recorder rec(*e);
    const EnginePos p = FromFen("4k3/8/8/8/8/8/2QQ4/4K3 w - -");
    std::vector<TEngineZug> moves;
    for (int i = 0; i < 3; ++i) {
        e->Pause();
        std::thread worker([&] { e->Start(p.brett, p.zug, 30); });
        ASSERT_TRUE(WaitBusy(*e));
        ASSERT_TRUE(e->SetStopFlag());
        worker.join();
        e->Resume();
        moves.push_back(rec.Zug());
    }
    ASSERT_EQ(rec.Stops(), 3);
    EXPECT_EQ(moves[0].From, moves[1].From);
    EXPECT_EQ(moves[0].To, moves[1].To);
    EXPECT_FALSE(moves[0].From == moves[2].From && moves[0].To == moves[2].To);
    EXPECT_TRUE(LegalIn(p, moves[2]));
}
