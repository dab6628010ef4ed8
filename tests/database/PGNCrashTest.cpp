// SPDX-License-Identifier: GPL-3.0-or-later
// Changes of a PGN file killed at any instant: children delete, insert,
// append and replace real games through the list, or append through the
// database window's drop, and are killed at a chosen file call or after a
// random delay. Afterwards the file holds, game by game, the games before the
// change or those after it (after it once the change was reported), and the
// next open leaves nothing beside the file.
#include "FaultyFileSystem.h"
#include "PGN.h"
#include "PGNTestUtil.h"
#include "SchachProcs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kb;
namespace fs = std::filesystem;

namespace {

uint64_t Seed(uint64_t Default) {
    const char* s = std::getenv("KB_TEST_SEED");
    return s && *s ? std::strtoull(s, nullptr, 10) : Default;
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::vector<std::string> Games(const std::string& Bytes) {
    std::vector<std::string> games;
    for (const auto& g : kbtest::SplitPgnGames(Bytes))
        if (!Trim(g).empty()) games.push_back(Trim(g));
    return games;
}

enum class TKind { Delete, Insert, Append, Replace, ReplaceLast, DropAppend, Count };

struct TChange {
    TKind Kind = TKind::Delete;
    std::vector<int> Rows; // delete: rows; insert: the row before which
    std::vector<std::string> Texts;
};

TChange MakeChange(std::mt19937_64& Rng, int Games, const std::vector<std::string>& Pool) {
    TChange c;
    c.Kind = Games < 8 ? TKind::Append : static_cast<TKind>(Rng() % static_cast<int>(TKind::Count));
    const int n = 1 + static_cast<int>(Rng() % 5);
    auto pick = [&] { return Pool[Rng() % Pool.size()]; };
    switch (c.Kind) {
    case TKind::Delete:
        for (int i = 0; i < n; ++i)
            c.Rows.push_back(static_cast<int>(Rng() % static_cast<uint64_t>(Games)));
        std::sort(c.Rows.begin(), c.Rows.end());
        c.Rows.erase(std::unique(c.Rows.begin(), c.Rows.end()), c.Rows.end());
        break;
    case TKind::Insert:
        c.Rows = {static_cast<int>(Rng() % static_cast<uint64_t>(Games))};
        [[fallthrough]];
    case TKind::Append:
    case TKind::DropAppend:
        for (int i = 0; i < n; ++i)
            c.Texts.push_back(pick());
        break;
    case TKind::Replace:
        c.Rows = {static_cast<int>(Rng() % static_cast<uint64_t>(Games - 1))};
        c.Texts = {pick()};
        break;
    case TKind::ReplaceLast:
        c.Rows = {Games - 1};
        c.Texts = {pick()};
        break;
    case TKind::Count:
        break;
    }
    return c;
}

// The games after the change.
std::vector<std::string> Apply(std::vector<std::string> G, const TChange& C) {
    switch (C.Kind) {
    case TKind::Delete:
        for (auto it = C.Rows.rbegin(); it != C.Rows.rend(); ++it)
            G.erase(G.begin() + *it);
        break;
    case TKind::Insert:
        for (size_t k = 0; k < C.Texts.size(); ++k)
            G.insert(G.begin() + C.Rows[0] + static_cast<long>(k), Trim(C.Texts[k]));
        break;
    case TKind::Append:
    case TKind::DropAppend:
        for (const auto& t : C.Texts)
            G.push_back(Trim(t));
        break;
    case TKind::Replace:
    case TKind::ReplaceLast:
        G[static_cast<size_t>(C.Rows[0])] = Trim(C.Texts[0]);
        break;
    case TKind::Count:
        break;
    }
    return G;
}

bool RunChange(TFileSystem& Fs, const std::string& File, const TChange& C) {
    if (C.Kind == TKind::DropAppend) {
        std::string text;
        for (const auto& t : C.Texts)
            text += "\r\n\r\n" + Trim(t);
        return AppendGameToPGNFile(Fs, File, text);
    }
    TPGN pgn;
    pgn.SetFileSystem(&Fs);
    if (!pgn.SetFileName(File) || pgn.ScanIncomplete()) return false;
    std::vector<int> nos;
    int no = 0;
    switch (C.Kind) {
    case TKind::Delete:
        return pgn.DeleteGames(C.Rows);
    case TKind::Insert:
        return pgn.InsertGames(C.Rows[0], C.Texts, nos);
    case TKind::Append:
        return pgn.AppendGames(C.Texts, nos);
    default:
        no = C.Rows[0];
        return pgn.ReplaceGame(no, C.Texts[0]);
    }
}

} // namespace

TEST(PGNCrash, KilledChangesLeaveEveryGameWholeOrAbsent) {
    const uint64_t seed = Seed(20261207);
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    // Real games: a pool to add from, and a file of about 1.3 MB to change.
    const auto korchnoi = Games(kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")));
    ASSERT_GT(korchnoi.size(), 2500u);
    const std::vector<std::string> pool(korchnoi.begin() + 2000, korchnoi.begin() + 2500);
    kbtest::TempDir dir;
    const std::string file = (dir / "games.pgn").string();
    {
        std::string bytes;
        for (size_t i = 0; i < 2000; ++i)
            bytes += korchnoi[i] + "\r\n\r\n";
        kbtest::WriteFile(file, bytes);
    }
    std::vector<std::string> games = Games(kbtest::ReadFile(file));
    ASSERT_EQ(games.size(), 2000u);

    std::mt19937_64 rng(seed);
    int children = 0, kills = 0, timedKills = 0, before = 0, after = 0;
    int perKind[static_cast<int>(TKind::Count)] = {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
    for (int k = 0; k < 360 && std::chrono::steady_clock::now() < deadline; ++k, ++children) {
        const TChange change = MakeChange(rng, static_cast<int>(games.size()), pool);
        // Half the children die at a chosen file call, half after a random
        // delay that lands anywhere in the change.
        const bool timed = k % 2 == 1;
        const int64_t failAt = 1 + static_cast<int64_t>(rng() % 7);
        static constexpr TFault kinds[] = {TFault::KillBefore, TFault::KillMidWrite,
                                           TFault::KillAfter};
        const TFault fault = kinds[rng() % 3];
        const auto delay = std::chrono::microseconds(rng() % 25000);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            TFaultyFileSystem faulty;
            if (!timed) {
                faulty.FailAt = failAt;
                faulty.Fault = fault;
            }
            if (::write(fds[1], "S", 1) != 1) ::_exit(5);
            if (!RunChange(faulty, file, change)) ::_exit(4);
            // Reported only after the change returned.
            if (::write(fds[1], "A", 1) != 1) ::_exit(5);
            ::_exit(0);
        }
        ::close(fds[1]);
        char c = 0;
        ASSERT_EQ(::read(fds[0], &c, 1), 1);
        if (timed) {
            std::this_thread::sleep_for(delay);
            ::kill(pid, SIGKILL);
        }
        bool acked = false;
        for (ssize_t n; (n = ::read(fds[0], &c, 1)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            ASSERT_GT(n, 0);
            acked = true;
        }
        ::close(fds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ASSERT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "child " << k << " status " << status;
        kills += killed;
        timedKills += killed && timed;
        ++perKind[static_cast<int>(change.Kind)];

        const std::vector<std::string> next = Apply(games, change);
        const std::vector<std::string> now = Games(kbtest::ReadFile(file));
        SCOPED_TRACE(testing::Message()
                     << "child " << k << ", change " << static_cast<int>(change.Kind) << ", timed "
                     << timed << ", call " << failAt << ", fault " << static_cast<int>(fault)
                     << ", acked " << acked);
        if (now == next) {
            ++after;
            games = next;
        } else {
            ASSERT_FALSE(acked) << "a reported change is missing";
            ASSERT_EQ(now.size(), games.size()) << "neither before nor after";
            for (size_t i = 0; i < now.size(); ++i)
                ASSERT_EQ(now[i], games[i]) << "game " << i << " is torn";
            ++before;
        }
        // The next open finds nothing to tell and leaves nothing beside.
        TPGN reopened;
        ASSERT_TRUE(reopened.SetFileName(file));
        ASSERT_EQ(reopened.GameCount(), static_cast<int>(games.size()));
        ASSERT_EQ(pgntest::OtherFiles(dir.path(), "games.pgn"), std::vector<std::string>{});
        // The file ends with a line break whatever was cut short.
        const std::string bytes = kbtest::ReadFile(file);
        ASSERT_TRUE(bytes.empty() || bytes.back() == '\n');
    }
    EXPECT_GE(children, 200);
    EXPECT_GE(kills, children / 3);
    EXPECT_GT(timedKills, 0);
    EXPECT_GT(before, 0);
    EXPECT_GT(after, 0);
    for (int n : perKind)
        EXPECT_GT(n, 0);
    RecordProperty("kills", kills);
    std::printf("children %d, killed %d (%d after a random delay), file before the change %d, "
                "after it %d\n",
                children, kills, timedKills, before, after);
}
