// SPDX-License-Identifier: GPL-3.0-or-later
// Data safety: processes killed at random points, failing writes, two
// processes on one database, and a long random run against a model.
#include "DbModel.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kb;
using namespace dbtest;

namespace {

constexpr int OpsPerChild = 12;

// Reopens the database and finds which of the possible states it is in; -1 for none.
int MatchAny(const std::string& Name, const std::vector<TModel>& States, std::string& Why) {
    TChessDatabase db;
    if (!db.Open(Name, true)) {
        Why = "open failed, code " + std::to_string(db.LastError());
        return -1;
    }
    for (size_t i = 0; i < States.size(); ++i) {
        auto r = Matches(db, States[i]);
        if (r) return static_cast<int>(i);
        Why += "state " + std::to_string(i) + ": " + r.message() + "; ";
    }
    return -1;
}

TEST(DbCrash, KilledAtRandomPointsLosesNothingAcknowledged) {
    const uint64_t seed = TestSeed(20261207);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    kbtest::TempDir dir;
    const std::string name = (dir / "crash.kbf").string();
    TModel model;
    int kills = 0, midWrite = 0;
    // Bounded in time on a slow or busy machine; normally all children run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int children = 0;
    for (int k = 0; k < 300 && std::chrono::steady_clock::now() < deadline; ++k, ++children) {
        std::mt19937_64 faultRng(seed * 7919 + static_cast<uint64_t>(k));
        const int64_t failAt = 1 + static_cast<int64_t>(faultRng() % 70);
        static constexpr TFault kinds[] = {TFault::KillBefore, TFault::KillMidWrite,
                                           TFault::KillAfter};
        const TFault fault = kinds[faultRng() % 3];
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            TFaultyFs fs;
            fs.FailAt = failAt;
            fs.Fault = fault;
            TModel m = model;
            std::mt19937_64 rng(seed + static_cast<uint64_t>(k));
            {
                TChessDatabase db(&fs);
                if (!db.Open(name, true)) ::_exit(3);
                for (int j = 0; j < OpsPerChild; ++j) {
                    const TOp op = NextOp(rng, m);
                    if (!RunOp(db, op, m)) ::_exit(4);
                    Apply(m, op);
                    // Acknowledged: reported only after the operation returned.
                    if (::write(fds[1], "A", 1) != 1) ::_exit(5);
                }
                db.Close();
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        int acks = 0;
        char buf[64];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            ASSERT_GT(n, 0);
            acks += static_cast<int>(n);
        }
        ::close(fds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "child " << k << " status " << status;
        kills += killed;
        midWrite += killed && fault == TFault::KillMidWrite;

        std::mt19937_64 rng(seed + static_cast<uint64_t>(k));
        for (int j = 0; j < acks; ++j)
            Apply(model, NextOp(rng, model));
        std::vector<TModel> states{model};
        std::string what = "nothing";
        if (acks < OpsPerChild) {
            const TOp op = NextOp(rng, model);
            states = Outcomes(model, op);
            what = std::to_string(static_cast<int>(op.Kind));
        }
        std::string why;
        const int which = MatchAny(name, states, why);
        ASSERT_GE(which, 0) << "child " << k << " killed at call " << failAt << " (fault "
                            << static_cast<int>(fault) << ") after " << acks << " acks, in op "
                            << what << ": " << why;
        model = states[static_cast<size_t>(which)];
    }
    EXPECT_GE(children, 250);
    EXPECT_GE(kills, children * 3 / 5);
    EXPECT_GT(midWrite, kills / 10);
    RecordProperty("kills", kills);
}

TEST(DbCrash, FailedWritesAreReportedAndUndone) {
    const uint64_t seed = TestSeed(4242);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    kbtest::TempDir dir;
    const std::string name = (dir / "fail.kbf").string();
    TModel model;
    std::mt19937_64 rng(seed);
    int failures = 0;
    for (int round = 0; round < 150; ++round) {
        TFaultyFs fs;
        fs.FailAt = 1 + static_cast<int64_t>(rng() % 40);
        static constexpr TFault kinds[] = {TFault::Fail, TFault::ShortWrite, TFault::NoSpace};
        fs.Fault = kinds[rng() % 3];
        TChessDatabase db(&fs);
        if (db.Open(name, true)) {
            for (int j = 0; j < 20 && fs.Faults == 0; ++j) {
                const TOp op = NextOp(rng, model);
                TModel after = model;
                Apply(after, op);
                const bool ok = RunOp(db, op, model);
                if (fs.Faults == 0) {
                    ASSERT_TRUE(ok) << "round " << round << " op " << j;
                    model = after;
                    continue;
                }
                failures += !ok;
                fs.NoSpace = false;
                fs.FailAt = -1;
                // A failed operation changed nothing; a compress may have
                // committed its swap before a later step failed.
                if (ok) {
                    model = after;
                } else if (op.Kind == TOpKind::Compress) {
                    std::string why;
                    db.Close();
                    if (MatchAny(name, {model, after}, why) == 1) model = after;
                }
                if (!db.FileName().empty()) {
                    ASSERT_TRUE(Matches(db, model))
                        << "round " << round << " same instance, op " << static_cast<int>(op.Kind)
                        << " fault " << static_cast<int>(fs.Fault) << " at " << fs.Calls << " ok "
                        << ok;
                }
            }
        }
        db.Close();
        TChessDatabase check;
        ASSERT_TRUE(check.Open(name, true)) << "round " << round;
        ASSERT_TRUE(Matches(check, model)) << "round " << round << " reopened";
    }
    EXPECT_GT(failures, 50);
}

TEST(DbCrash, LockHeldByAnotherProcessAndFreedWhenItDies) {
    kbtest::TempDir dir;
    const std::string name = (dir / "lock.kbf").string();
    for (const bool kill : {true, false}) {
        int ready[2], hold[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(hold), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            TChessDatabase db;
            const char ok = db.Open(name, true) ? 'o' : 'x';
            if (::write(ready[1], &ok, 1) != 1) ::_exit(2);
            char c = 0;
            if (::read(hold[0], &c, 1) == 1) db.Close();
            if (::write(ready[1], "c", 1) != 1) ::_exit(2);
            ::_exit(0);
        }
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ASSERT_EQ(c, 'o');
        TChessDatabase db;
        EXPECT_FALSE(db.Open(name, true));
        EXPECT_EQ(db.LastError(), 3);
        if (kill) {
            ::kill(pid, SIGKILL);
        } else {
            ASSERT_EQ(::write(hold[1], "c", 1), 1);
            ASSERT_EQ(::read(ready[0], &c, 1), 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(db.Open(name, true))
            << (kill ? "after the holder was killed" : "after the holder closed");
        for (int fd : {ready[0], ready[1], hold[0], hold[1]})
            ::close(fd);
    }
}

TEST(DbCrash, RandomRunAgainstModel) {
    const uint64_t seed = TestSeed(99);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    kbtest::TempDir dir;
    const std::string name = (dir / "model.kbf").string();
    TModel model;
    std::mt19937_64 rng(seed);
    TChessDatabase db;
    ASSERT_TRUE(db.Open(name, true));
    int64_t compresses = 0;
    for (int step = 0; step < 3000; ++step) {
        const int r = static_cast<int>(rng() % 100);
        if (r < 2) {
            db.Close();
            ASSERT_TRUE(db.Open(name, true));
        } else if (r < 4) {
            db.SetKeepOpen(!db.KeepOpen());
        } else if (r < 5) {
            ASSERT_TRUE(db.Flush());
        } else {
            const TOp op = NextOp(rng, model);
            if (op.Kind == TOpKind::Compress) {
                // Every compress that does something starts a new generation of keys.
                const bool did = db.Compress();
                ASSERT_EQ(db.LastError(), 0) << "step " << step;
                compresses += did;
            } else {
                ASSERT_TRUE(RunOp(db, op, model)) << "step " << step;
            }
            Apply(model, op);
            if (op.Kind == TOpKind::Add) {
                const std::string key = db.GameKey(-1);
                ASSERT_EQ(key, std::to_string(db.Generation()) + "-" +
                                   std::to_string(model.size() - 1) + ":" + name);
            }
        }
        if (step % 250 == 0) {
            ASSERT_TRUE(Matches(db, model)) << "step " << step;
        }
    }
    ASSERT_TRUE(Matches(db, model));
    EXPECT_EQ(db.Generation(), compresses);
    EXPECT_GT(compresses, 10);
    db.Close();
    ASSERT_TRUE(db.Open(name, true));
    ASSERT_TRUE(Matches(db, model));
}

} // namespace
