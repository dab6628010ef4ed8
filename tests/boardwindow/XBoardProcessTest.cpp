// SPDX-License-Identifier: GPL-3.0-or-later
// The external-engine worker against a fake engine of our own (the hard
// cases) and against the real xboard engines the setup script installs.
// Every run ends with the engine reaped and nothing of it left in /proc.
#include "AThreadWB.h"
#include "TestSupport.h"
#include "XBoardTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <regex>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kb;
using namespace std::chrono_literals;

namespace {

// Memo texts as the worker reports them.
class TMemo {
public:
    void Add(const std::string& S) {
        std::lock_guard lk(m_);
        lines_.push_back(S);
        cv_.notify_all();
    }
    // Index of the first text from From on that Pred accepts; -1 on timeout.
    template <class P> int WaitFor(size_t From, P Pred, std::chrono::milliseconds Timeout) {
        std::unique_lock lk(m_);
        int found = -1;
        cv_.wait_for(lk, Timeout, [&] {
            for (size_t i = From; i < lines_.size(); ++i)
                if (Pred(lines_[i])) {
                    found = static_cast<int>(i);
                    return true;
                }
            return false;
        });
        return found;
    }
    size_t Size() {
        std::lock_guard lk(m_);
        return lines_.size();
    }
    std::vector<std::string> Lines() {
        std::lock_guard lk(m_);
        return lines_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::string> lines_;
};

bool StartsWith(const std::string& S, const std::string& P) {
    return S.rfind(P, 0) == 0;
}

// The command set a user gets with an [Engine] section that only says
// SetPosition=setboard (the settings' defaults otherwise).
TWBInfo FenModeCommands() {
    TWBInfo i;
    SetCraftyEngineCommands(i);
    i.Parameter.clear();
    return i;
}

// A parsed thinking line: "Depth: N  Value: V" CR LF and a variation.
bool Thinking(const std::string& S) {
    static const std::regex re("^Depth: [0-9]+  Value: -?[0-9]+\\.[0-9][0-9]\r\n.+");
    return std::regex_search(S, re);
}

// Blocks until our child Pid has been stopped by a signal (left waitable).
bool WaitStopped(pid_t Pid) {
    siginfo_t si{};
    return ::waitid(P_PID, static_cast<id_t>(Pid), &si, WSTOPPED | WNOWAIT) == 0 &&
           si.si_code == CLD_STOPPED;
}

bool Alive(pid_t Pid) {
    const char c = kbtest::ProcState(Pid);
    return c != 0 && c != 'Z' && c != 'X';
}

int OpenFds() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

struct TRun {
    TMemo Memo;
    std::unique_ptr<TAnalyseThreadWB> Worker;
    pid_t Pid = 0;

    bool Start(std::vector<std::string> Argv, const TWBInfo& Info, const TEnginePosition& Pos) {
        auto p = std::make_unique<TEngineProcess>();
        std::string error;
        if (!p->Start(Argv, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        Pid = p->Pid();
        Worker = std::make_unique<TAnalyseThreadWB>(std::move(p), Info,
                                                    [this](const std::string& S) { Memo.Add(S); });
        Worker->Start(Pos);
        return true;
    }
    // Finishes and checks that nothing of the engine is left.
    TEngineProcess::TEnd Finish(std::chrono::milliseconds Grace = 3s) {
        const auto end = Worker->Finish(Grace);
        EXPECT_EQ(kbtest::ProcState(Pid), 0) << "engine " << Pid << " not reaped";
        return end;
    }
};

const std::string StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const std::string AfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
// A Chess960 start (rooks on b and g): plain FEN cannot say its castling.
const std::string Fischer = "nrbqkbrn/pppppppp/8/8/8/8/PPPPPPPP/NRBQKBRN w GBgb - 0 1";
// White is mated (fool's mate).
const std::string Mated = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3";

std::vector<std::string> ReadLines(const std::string& Path) {
    std::ifstream f(Path);
    std::vector<std::string> v;
    for (std::string s; std::getline(f, s);)
        v.push_back(s);
    return v;
}

} // namespace

TEST(XBoardFake, CommandsRestartAndQuit) {
    kbtest::TempDir dir;
    const std::string log = (dir / "log").string();
    setenv("FAKE_ENGINE_LOG", log.c_str(), 1);
    TRun r;
    TEnginePosition pos = kbtest::FromFen(StartFen);
    pos.MoveNo = 20;
    TWBInfo info = FenModeCommands();
    info.GameFile = CraftyGameFile(dir.path().string());
    ASSERT_FALSE(info.GameFile.empty());
    ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "normal"}, info, pos));
    unsetenv("FAKE_ENGINE_LOG");
    EXPECT_EQ(r.Memo.Lines().at(0), "Starting ...");
    // The engine counts from 1; the memo from the game's move 20.
    ASSERT_GE(
        r.Memo.WaitFor(
            0, [](auto& s) { return s == "Depth: 2  Value: 0.11\r\n20. e4 e5 21. Nf3"; }, 10s),
        0);
    EXPECT_TRUE(r.Worker->Answered());
    const size_t before = r.Memo.Size();
    r.Worker->Restart(kbtest::FromFen(AfterE4));
    ASSERT_GE(r.Memo.WaitFor(
                  before, [](auto& s) { return s == "- Initialize ..."; }, 10s),
              0);
    ASSERT_GE(r.Memo.WaitFor(
                  before, [](auto& s) { return StartsWith(s, "Depth: 2  Value: 0.12"); }, 10s),
              0);
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    EXPECT_TRUE(WIFEXITED(r.Worker->ExitStatus()) && WEXITSTATUS(r.Worker->ExitStatus()) == 0);
    EXPECT_FALSE(std::filesystem::exists(info.GameFile)); // the run's game file goes with it
    const std::vector<std::string> want{"xboard",
                                        "post",
                                        "force",
                                        "level 10 10000 0",
                                        "setboard " + StartFen.substr(0, StartFen.size() - 1) +
                                            "20",
                                        "post",
                                        "analyze",
                                        ".",
                                        "exit",
                                        "setboard " + AfterE4,
                                        "post",
                                        "analyze",
                                        ".",
                                        "exit",
                                        "quit"};
    EXPECT_EQ(ReadLines(log), want);
    // Finish is once only; no text reaches the memo after it.
    const size_t after = r.Memo.Size();
    EXPECT_EQ(r.Worker->Finish(), TEngineProcess::TEnd::Quit);
    r.Worker->Restart(kbtest::FromFen(StartFen));
    EXPECT_EQ(r.Memo.Size(), after);
}

TEST(XBoardFake, SilentHugeAndHostileOutput) {
    {
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "silent"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        EXPECT_FALSE(r.Worker->Answered());
        EXPECT_FALSE(r.Worker->Dead());
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
        EXPECT_EQ(r.Memo.Lines(), std::vector<std::string>{"Starting ..."});
    }
    {
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "huge"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        ASSERT_GE(r.Memo.WaitFor(
                      0, [](auto& s) { return StartsWith(s, "Depth: 3"); }, 10s),
                  0);
        for (const std::string& s : r.Memo.Lines())
            EXPECT_LE(s.size(), TAnalyseThreadWB::MaxLine);
        EXPECT_EQ(r.Memo.Lines().at(1), std::string(TAnalyseThreadWB::MaxLine, 'x'));
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    }
    {
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "overflow"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        ASSERT_GE(r.Memo.WaitFor(
                      0, [](auto& s) { return StartsWith(s, "Depth: 5"); }, 10s),
                  0);
        EXPECT_EQ(r.Memo.Lines().at(1), "Depth: 99999999999999999999999  Value: -21474836.47\r\n"
                                        "99999999999999999999999. e4 e5");
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    }
}

TEST(XBoardFake, EndOfOutputEndsTheWorker) {
    {
        // Output closed, process alive: the worker ends, the engine quits.
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "closeout"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        ASSERT_GE(r.Memo.WaitFor(
                      0, [](auto& s) { return s == "engine terminated"; }, 10s),
                  0);
        EXPECT_TRUE(r.Worker->Dead());
        EXPECT_TRUE(Alive(r.Pid));
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    }
    {
        // Dies in the middle of a line: the half line is shown, then the end.
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "diemidline"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        const int end = r.Memo.WaitFor(
            0, [](auto& s) { return s == "engine terminated"; }, 10s);
        ASSERT_GE(end, 1);
        EXPECT_EQ(r.Memo.Lines()[static_cast<size_t>(end - 1)], "Depth: 4  Value: 0.30\r\n1. c4");
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
        EXPECT_TRUE(WIFEXITED(r.Worker->ExitStatus()) && WEXITSTATUS(r.Worker->ExitStatus()) == 3);
    }
}

TEST(XBoardFake, EnginesThatWillNotLeaveAreEnded) {
    {
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "ignorequit"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        EXPECT_EQ(r.Finish(200ms), TEngineProcess::TEnd::Terminated);
        EXPECT_TRUE(WIFSIGNALED(r.Worker->ExitStatus()));
    }
    {
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "ignoreterm"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        EXPECT_EQ(r.Finish(200ms), TEngineProcess::TEnd::Killed);
        EXPECT_EQ(WTERMSIG(r.Worker->ExitStatus()), SIGKILL);
    }
    {
        // What the engine started itself goes with it. This process adopts
        // the orphan, so that it can see it die and reap it.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "grandchild"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        const int i = r.Memo.WaitFor(
            0, [](auto& s) { return StartsWith(s, "child "); }, 10s);
        ASSERT_GE(i, 0);
        const pid_t child = std::atoi(r.Memo.Lines()[static_cast<size_t>(i)].c_str() + 6);
        ASSERT_GT(child, 0);
        EXPECT_TRUE(Alive(child));
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
        int st = 0;
        ASSERT_EQ(::waitpid(child, &st, 0), child);
        EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGKILL);
        EXPECT_EQ(kbtest::ProcState(child), 0);
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
}

TEST(XBoardFake, PauseHoldsTheEngineUntilBothReasonsClear) {
    kbtest::TempDir dir;
    const std::string log = (dir / "log").string();
    setenv("FAKE_ENGINE_LOG", log.c_str(), 1);
    TRun r;
    ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "normal"}, FenModeCommands(), kbtest::FromFen(StartFen)));
    unsetenv("FAKE_ENGINE_LOG");
    ASSERT_GE(r.Memo.WaitFor(
                  0, [](auto& s) { return StartsWith(s, "Depth: 2"); }, 10s),
              0);
    r.Worker->SetPaused(TAnalyseThreadWB::PauseUser, true);
    r.Worker->SetPaused(TAnalyseThreadWB::PauseLock, true);
    ASSERT_TRUE(WaitStopped(r.Pid));
    EXPECT_EQ(kbtest::ProcState(r.Pid), 'T');
    // Restarts while paused wait in the queue.
    const size_t logged = ReadLines(log).size();
    r.Worker->Restart(kbtest::FromFen(AfterE4));
    r.Worker->SetPaused(TAnalyseThreadWB::PauseUser, false);
    EXPECT_TRUE(r.Worker->Paused());
    EXPECT_EQ(kbtest::ProcState(r.Pid), 'T');
    EXPECT_EQ(ReadLines(log).size(), logged);
    const size_t before = r.Memo.Size();
    r.Worker->SetPaused(TAnalyseThreadWB::PauseLock, false);
    EXPECT_FALSE(r.Worker->Paused());
    ASSERT_GE(r.Memo.WaitFor(
                  before, [](auto& s) { return StartsWith(s, "Depth: 2  Value: 0.12"); }, 10s),
              0);
    EXPECT_NE(kbtest::ProcState(r.Pid), 'T');
    // Finishing a paused engine continues it first, so it can quit.
    r.Worker->SetPaused(TAnalyseThreadWB::PauseLock, true);
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
}

TEST(XBoardFake, FailedStartsLeaveNothingOpen) {
    const int fds = OpenFds();
    TEngineProcess p;
    std::string error;
    EXPECT_FALSE(p.Start({"/nonexistent/engine"}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(p.Start({"/etc"}, error));
    TEngineProcess q;
    EXPECT_FALSE(q.Start({"no-such-engine-anywhere"}, error));
    EXPECT_EQ(OpenFds(), fds);
}

TEST(XBoardFake, AnEngineGoesWithTheProgramThatDies) {
    // A program that is killed never finishes its engine: the engine must
    // not think on for ever (here one that ignores its closed input).
    int pids[2];
    ASSERT_EQ(::pipe(pids), 0);
    const pid_t program = ::fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        TEngineProcess p;
        std::string error;
        pid_t engine = p.Start({"/bin/sleep", "60"}, error) ? p.Pid() : -1;
        [[maybe_unused]] const ssize_t w = ::write(pids[1], &engine, sizeof engine);
        for (;;)
            ::pause();
    }
    ::close(pids[1]);
    pid_t engine = -1;
    ASSERT_EQ(::read(pids[0], &engine, sizeof engine), static_cast<ssize_t>(sizeof engine));
    ::close(pids[0]);
    ASSERT_GT(engine, 0);
    EXPECT_NE(kbtest::ProcState(engine), 0);
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    // Gone, or a zombie left to whoever adopted it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    char state = kbtest::ProcState(engine);
    while (state != 0 && state != 'Z' && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        state = kbtest::ProcState(engine);
    }
    EXPECT_TRUE(state == 0 || state == 'Z') << "engine " << engine << " state " << state;
    if (state != 0 && state != 'Z') ::kill(engine, SIGKILL);
}

// --- real engines -------------------------------------------------------

namespace {

// Starts, analyses three positions (Black to move, Chess960, mate), pauses,
// finishes; every position is answered with a parsed line or, for the two
// an engine may refuse, with whatever it says.
void AnalyseThree(const std::vector<std::string>& Argv, const TWBInfo& Info) {
    TRun r;
    ASSERT_TRUE(r.Start(Argv, Info, kbtest::FromFen(AfterE4)));
    const int first = r.Memo.WaitFor(
        0, [](auto& s) { return Thinking(s); }, 30s);
    ASSERT_GE(first, 0) << "no thinking line from " << Argv[0];
    const std::string line = r.Memo.Lines()[static_cast<size_t>(first)];
    EXPECT_NE(line.find("\r\n"), std::string::npos) << line;
    std::cout << Argv[0] << " [Black to move]: " << line << "\n";
    for (const std::string& fen : {Fischer, Mated}) {
        const size_t before = r.Memo.Size();
        r.Worker->Restart(kbtest::FromFen(fen));
        ASSERT_GE(r.Memo.WaitFor(
                      before, [](auto& s) { return s == "- Initialize ..."; }, 5s),
                  0);
        const int any = r.Memo.WaitFor(
            before + 1, [](auto& s) { return Thinking(s); }, 2s);
        std::cout << Argv[0] << " [" << fen
                  << "]: " << (any >= 0 ? r.Memo.Lines()[static_cast<size_t>(any)] : "(nothing)")
                  << "\n";
    }
    r.Worker->SetPaused(TAnalyseThreadWB::PauseUser, true);
    ASSERT_TRUE(WaitStopped(r.Pid));
    EXPECT_EQ(kbtest::ProcState(r.Pid), 'T');
    r.Worker->SetPaused(TAnalyseThreadWB::PauseUser, false);
    const auto end = r.Finish();
    std::cout << Argv[0] << " ended: " << static_cast<int>(end) << "\n";
    EXPECT_NE(end, TEngineProcess::TEnd::Killed);
}

} // namespace

TEST(XBoardPeer, FairymaxWithTheDefaultCommands) {
    KB_REQUIRE_PEER(fairymax, "fairymax");
    TWBInfo info;
    SetGeneralEngineCommands(info);
    AnalyseThree({fairymax}, info);
}

TEST(XBoardPeer, HoichessInFenMode) {
    KB_REQUIRE_PEER(hoichess, "hoichess");
    AnalyseThree({hoichess, "-x"}, FenModeCommands());
}

TEST(XBoardPeer, PhalanxInFenMode) {
    KB_REQUIRE_PEER(phalanx, "phalanx");
    AnalyseThree({phalanx}, FenModeCommands());
}

TEST(XBoardPeer, StockfishThroughPolyglot) {
    KB_REQUIRE_PEER(polyglot, "polyglot");
    KB_REQUIRE_PEER(stockfish, "stockfish");
    AnalyseThree({polyglot, "-noini", "-ec", stockfish}, FenModeCommands());
}

TEST(XBoardFake, TheReaperEndsRunsAwayFromTheCaller) {
    // Three stubborn engines: handing them over does not wait for them.
    std::vector<pid_t> pids;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "ignorequit"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        pids.push_back(r.Pid);
        TEngineReaper::Instance().Adopt(std::move(r.Worker));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    TEngineReaper::Instance().WaitIdle();
    for (pid_t p : pids)
        EXPECT_EQ(kbtest::ProcState(p), 0);
}
