// SPDX-License-Identifier: GPL-3.0-or-later
// The external-engine worker against a fake engine of our own (the hard
// cases) and against the real xboard engines the setup script installs.
// Every run ends with the engine reaped and nothing of it left in /proc.
#include "AThreadWB.h"
#include "TestSupport.h"
#include "XBoardTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <poll.h>
#include <regex>
#include <sstream>
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

std::string OneLineOf(std::string S) {
    for (size_t i; (i = S.find("\r\n")) != std::string::npos;)
        S.replace(i, 2, " | ");
    return S;
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
// A Chess960 start array (rooks on b and g) without castling rights, which
// plain FEN says exactly.
const std::string Fischer = "nrbqkbrn/pppppppp/8/8/8/8/PPPPPPPP/NRBQKBRN w - - 0 1";
// One with castling rights, which plain FEN cannot say: the engine is not
// told it, and is not thinking when the next position comes.
const std::string FischerCastling = "1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w HBhb - 0 1";
// White is mated (fool's mate).
const std::string Mated = "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3";

std::vector<std::string> ReadLines(const std::string& Path) {
    std::ifstream f(Path);
    std::vector<std::string> v;
    for (std::string s; std::getline(f, s);)
        v.push_back(s);
    return v;
}

// An engine log without the "force" nudges of a silent engine after its
// "xboard" and "protover 2"; Nudges is set to how many there were.
std::vector<std::string> WithoutNudges(std::vector<std::string> Log, long& Nudges) {
    Nudges = 0;
    if (Log.size() < 2) return Log;
    const auto end = std::find_if(Log.begin() + 2, Log.end(), [](auto& l) { return l != "force"; });
    Nudges = end - Log.begin() - 2;
    Log.erase(Log.begin() + 2, end);
    return Log;
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
                                        "protover 2",
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
    // A silent engine is nudged all through the wait.
    long nudges = 0;
    EXPECT_EQ(WithoutNudges(ReadLines(log), nudges), want);
    EXPECT_GE(nudges, 10);
    // Finish is once only; no text reaches the memo after it.
    const size_t after = r.Memo.Size();
    EXPECT_EQ(r.Worker->Finish(), TEngineProcess::TEnd::Quit);
    r.Worker->Restart(kbtest::FromFen(StartFen));
    EXPECT_EQ(r.Memo.Size(), after);
}

TEST(XBoardFake, TheEngineSaysHowItTakesPositions) {
    kbtest::TempDir dir;
    const std::string log = (dir / "log").string();
    const TEnginePosition pos = kbtest::FromFen(AfterE4);
    const std::string setboard = "setboard " + AfterE4;
    const std::vector<std::string> edit{"new", "force", "a2a3", "edit", "#",   "Ra1", "Nb1", "Bc1",
                                        "Qd1", "Ke1",   "Bf1",  "Ng1",  "Rh1", "Pa2", "Pb2", "Pc2",
                                        "Pd2", "Pf2",   "Pg2",  "Ph2",  "Pe4", "c",   "Pa7", "Pb7",
                                        "Pc7", "Pd7",   "Pe7",  "Pf7",  "Pg7", "Ph7", "Ra8", "Nb8",
                                        "Bc8", "Qd8",   "Ke8",  "Bf8",  "Ng8", "Rh8", "."};
    auto plus = [](std::vector<std::string> A, const std::vector<std::string>& B) {
        A.insert(A.end(), B.begin(), B.end());
        return A;
    };
    const std::vector<std::string> tail{"post", "analyze", ".", "exit", "quit"};
    TWBInfo general;
    SetGeneralEngineCommands(general); // "edit" unless the engine says otherwise
    TWBInfo given = general;           // the user's settings name "setboard"
    given.SetPosition = "setboard";
    given.SetPositionGiven = true;
    struct TCase {
        const char* Mode;
        TWBInfo Info;
        std::vector<std::string> Want;
        int Setboard;
    };
    const std::vector<std::string> head{"xboard", "protover 2"};
    const std::vector<TCase> cases{
        // Offers setboard: FEN, whatever the settings' default; the move
        // format it asks for is refused, the rest accepted.
        {"setboard", general,
         plus(plus(head, {"rejected usermove", "accepted setboard", "accepted myname",
                          "accepted done", "force", "level 10 10000 0", setboard}),
              tail),
         1},
        // Edit mode only: edit, though the default says setboard.
        {"edit", FenModeCommands(),
         plus(plus(plus(head, {"accepted setboard", "accepted done", "post", "force",
                               "level 10 10000 0"}),
                   edit),
              tail),
         0},
        // No answer: after the short wait, the way the settings say.
        {"normal", FenModeCommands(),
         plus(plus(head, {"post", "force", "level 10 10000 0", setboard}), tail), -1},
        // An engine that drops what it read when its second thread comes up
        // and shows nothing before: nudged a line at a time until it speaks,
        // it loses no line.
        {"latethread", general,
         plus(plus(head, {"rejected usermove", "accepted setboard", "accepted myname",
                          "accepted done", "force", "level 10 10000 0", setboard}),
              tail),
         1},
        // The settings name a way: the engine's answer does not change it.
        {"edit", given,
         plus(plus(head,
                   {"accepted setboard", "accepted done", "force", "level 10 10000 0", setboard}),
              tail),
         0},
    };
    for (const TCase& c : cases) {
        std::filesystem::remove(log);
        setenv("FAKE_ENGINE_LOG", log.c_str(), 1);
        TRun r;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, c.Mode}, c.Info, pos));
        unsetenv("FAKE_ENGINE_LOG");
        ASSERT_GE(
            r.Memo.WaitFor(
                0, [](auto& s) { return s == "Depth: 2  Value: 0.11\r\n1. ... e5 2. Nf3"; }, 10s),
            0)
            << c.Mode;
        const auto took = std::chrono::steady_clock::now() - start;
        // Only the engine that never answers costs the wait.
        if (c.Setboard < 0)
            EXPECT_GE(took, TAnalyseThreadWB::FeatureWait - 100ms);
        else
            EXPECT_LT(took, TAnalyseThreadWB::FeatureWait);
        EXPECT_EQ(r.Worker->SetboardFeature(), c.Setboard);
        // It quits by itself; how soon depends on the machine's load (the
        // late engine takes its stop lines one at a time, in pieces).
        EXPECT_EQ(r.Finish(10s), TEngineProcess::TEnd::Quit) << c.Mode;
        long nudges = 0;
        EXPECT_EQ(WithoutNudges(ReadLines(log), nudges), c.Want) << c.Mode;
        // The late engine needs four lines more before it shows anything.
        if (c.Mode == std::string("latethread")) {
            EXPECT_GE(nudges, 4);
        }
        // No feature line reaches the memo.
        for (const std::string& s : r.Memo.Lines())
            EXPECT_EQ(s.find("feature"), std::string::npos) << s;
    }
}

TEST(XBoardFake, ALongFeatureLineIsReadToItsEnd) {
    // Its done=1 comes after thousands of characters of options: the run
    // goes on at once, with the FEN the line offered at its start.
    TRun r;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(
        r.Start({KB_FAKE_ENGINE, "longfeature"}, FenModeCommands(), kbtest::FromFen(AfterE4)));
    ASSERT_GE(r.Memo.WaitFor(
                  0, [](auto& s) { return StartsWith(s, "Depth: 2  Value: 0.11"); }, 15s),
              0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, TAnalyseThreadWB::FeatureWait);
    EXPECT_EQ(r.Worker->SetboardFeature(), 1);
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
}

TEST(XBoardFake, TheMemoKeepsTheNewestThinkingLineOrTheError) {
    {
        // Lines end with CR alone; status lines after the first thinking
        // line never replace it; errors always show.
        TRun r;
        ASSERT_TRUE(
            r.Start({KB_FAKE_ENGINE, "crlines"}, FenModeCommands(), kbtest::FromFen(StartFen)));
        ASSERT_GE(r.Memo.WaitFor(
                      0, [](auto& s) { return s.rfind("Error", 0) == 0; }, 10s),
                  0);
        EXPECT_EQ(r.Memo.Lines(), (std::vector<std::string>{"Starting ...", "stat01: 1 2 3 4",
                                                            "Depth: 1  Value: 0.11\r\n1. e4",
                                                            "Depth: 2  Value: 0.12\r\n1. e4 e5",
                                                            "Error (unknown command): done"}));
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    }
    {
        // An engine that refuses the edit commands analyses some other
        // position: its refusal stays in the memo, not its thinking.
        TRun r;
        TWBInfo info;
        SetGeneralEngineCommands(info);
        ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "refuseedit"}, info, kbtest::FromFen(AfterE4)));
        ASSERT_GE(r.Memo.WaitFor(
                      0, [](auto& s) { return s.rfind("Error", 0) == 0; }, 10s),
                  0);
        r.Worker->StopEngine();
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
        EXPECT_EQ(r.Memo.Lines(), (std::vector<std::string>{
                                      "Starting ...", "Error (command not implemented): edit"}));
    }
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
        // A score too large for an integer is no value.
        EXPECT_EQ(r.Memo.Lines().at(1), "Depth: 99999999999999999999999  Value: \r\n"
                                        "99999999999999999999999. e4 e5");
        EXPECT_EQ(r.Memo.Lines().at(2), "Depth: 5  Value: 21474836.47\r\n1. e4");
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
        // Dies in the middle of a line: the half line is shown, then the end
        // in the language of the position's texts.
        TRun r;
        TEnginePosition german = kbtest::FromFen(StartFen);
        german.English = false;
        ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "diemidline"}, FenModeCommands(), german));
        const int end = r.Memo.WaitFor(
            0, [](auto& s) { return s == "Engine beendet"; }, 10s);
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

// The live (not zombie) processes of a process group.
static std::vector<pid_t> GroupMembers(pid_t Group) {
    std::vector<pid_t> out;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream f(e.path() / "stat");
        std::string stat;
        if (!std::getline(f, stat)) continue;
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 2));
        char state = 0;
        pid_t ppid = 0, pgrp = 0;
        rest >> state >> ppid >> pgrp;
        if (pgrp == Group && state != 'Z' && state != 'X') out.push_back(std::stoi(name));
    }
    return out;
}

TEST(XBoardFake, AnEngineGoesWithTheProgramThatDies) {
    // A program that is killed never finishes its engine: no process of the
    // engine may think on for ever. Here the engine is a script whose child
    // is the real engine, and both ignore their closed input.
    int pids[2];
    ASSERT_EQ(::pipe(pids), 0);
    const pid_t program = ::fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        TEngineProcess p;
        std::string error;
        pid_t engine =
            p.Start({"/bin/sh", "-c", "sleep 60 & sleep 60; wait"}, error) ? p.Pid() : -1;
        [[maybe_unused]] const ssize_t w = ::write(pids[1], &engine, sizeof engine);
        for (;;)
            ::pause();
    }
    ::close(pids[1]);
    pid_t engine = -1;
    ASSERT_EQ(::read(pids[0], &engine, sizeof engine), static_cast<ssize_t>(sizeof engine));
    ::close(pids[0]);
    ASSERT_GT(engine, 0);
    auto waitFor = [&](auto Pred) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!Pred() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        return Pred();
    };
    ASSERT_TRUE(waitFor([&] { return GroupMembers(engine).size() == 3; }))
        << GroupMembers(engine).size();
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    const bool gone = waitFor([&] { return GroupMembers(engine).empty(); });
    EXPECT_TRUE(gone) << GroupMembers(engine).size() << " processes of the engine left";
    if (!gone) ::kill(-engine, SIGKILL);
}

TEST(XBoardFake, AnEngineThatEndsIsReapedAtOnce) {
    // No zombie is left while the window keeps the dead run.
    TRun r;
    ASSERT_TRUE(
        r.Start({KB_FAKE_ENGINE, "diemidline"}, FenModeCommands(), kbtest::FromFen(StartFen)));
    ASSERT_GE(r.Memo.WaitFor(
                  0, [](auto& s) { return s == "engine terminated"; }, 10s),
              0);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (kbtest::ProcState(r.Pid) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(kbtest::ProcState(r.Pid), 0);
    EXPECT_TRUE(r.Worker->Dead());
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    EXPECT_TRUE(WIFEXITED(r.Worker->ExitStatus()) && WEXITSTATUS(r.Worker->ExitStatus()) == 3);
}

// --- real engines -------------------------------------------------------

namespace {

// Starts, analyses three positions (Black to move, Chess960, mate) with one
// between them it cannot be told, pauses, finishes; every position is
// answered with a parsed line or, for the two an engine may refuse, with
// whatever it says.
void AnalyseThree(const std::vector<std::string>& Argv, const TWBInfo& Info) {
    TRun r;
    ASSERT_TRUE(r.Start(Argv, Info, kbtest::FromFen(AfterE4)));
    const int first = r.Memo.WaitFor(
        0, [](auto& s) { return Thinking(s); }, 30s);
    ASSERT_GE(first, 0) << "no thinking line from " << Argv[0];
    const std::string line = r.Memo.Lines()[static_cast<size_t>(first)];
    EXPECT_NE(line.find("\r\n"), std::string::npos) << line;
    std::cout << Argv[0] << " [Black to move]: " << line << "\n";
    for (const std::string& fen : {Fischer, FischerCastling, Mated}) {
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
    EXPECT_FALSE(r.Worker->Dead()) << Argv[0];
    r.Worker->SetPaused(TAnalyseThreadWB::PauseUser, true);
    ASSERT_TRUE(WaitStopped(r.Pid));
    EXPECT_EQ(kbtest::ProcState(r.Pid), 'T');
    r.Worker->SetPaused(TAnalyseThreadWB::PauseUser, false);
    const auto end = r.Finish();
    std::cout << Argv[0] << " ended: " << static_cast<int>(end) << "\n";
    EXPECT_NE(end, TEngineProcess::TEnd::Killed);
}

} // namespace

namespace {

std::string OneLineOf(std::string S);
const std::string MateIn3 = "8/8/p2Q3p/6k1/2B2p2/P4K2/1q5P/8 w - - 0 1";
// From a real game (Edvardsen - Carlsen, Gausdal 2001), Black to move.
const std::string Middlegame = "3r1rk1/pp1nqppp/2pbpn2/8/2PP4/2NQPN2/PB3PPP/3RR1K1 b - - 0 13";

// The first move of a memo text's line: move numbers and marks skipped.
std::string FirstMove(const std::string& Memo) {
    const size_t nl = Memo.find("\r\n");
    std::istringstream in(nl == std::string::npos ? std::string() : Memo.substr(nl + 2));
    for (std::string t; in >> t;) {
        // "13.", "13...", "..." and marks such as "(+)".
        if (t == "(+)" || t == "(-)" ||
            (t.find('.') != std::string::npos &&
             t.find_first_not_of("0123456789.") == std::string::npos))
            continue;
        // The first of the book moves to choose from: "(e7-e5  c7-c5, book1)".
        if (t[0] == '(') t.erase(0, 1);
        while (!t.empty() && (t.back() == ',' || t.back() == ')'))
            t.pop_back();
        return t;
    }
    return {};
}

// True when Text names a legal move in P, in SAN or in coordinates
// ("e2e4", "e2-e4", "Kg5-h5", "Kh5xh4"); checked with the rules core.
bool LegalIn(const TEnginePosition& P, std::string Text) {
    if (!Text.empty() && Text.front() == '<' && Text.back() == '>')
        Text = Text.substr(1, Text.size() - 2);
    while (!Text.empty() && std::string_view("+#!?").find(Text.back()) != std::string::npos)
        Text.pop_back();
    const int side = P.Zug.Side;
    const int home = side > 0 ? 20 : 90;
    int fromSq = 0, toSq = 0, fromFile = -1, fromRank = -1, promo = 0;
    char piece = 'P';
    std::smatch m;
    static const std::regex longForm("^([KQRBN])?([a-h][1-8])[-x]?([a-h][1-8])=?([QRBNqrbn])?$");
    static const std::regex san("^([KQRBN])?([a-h])?([1-8])?x?([a-h][1-8])=?([QRBN])?$");
    auto sq = [](const std::string& N) { return (N[1] - '1' + 2) * 10 + (N[0] - 'a' + 1); };
    auto promoCode = [](char C) {
        switch (std::toupper(static_cast<unsigned char>(C))) {
        case 'Q':
            return 5;
        case 'R':
            return 2;
        case 'B':
            return 3;
        case 'N':
            return 4;
        }
        return 0;
    };
    if (Text == "O-O" || Text == "0-0" || Text == "O-O-O" || Text == "0-0-0") {
        piece = 'K';
        fromSq = home + 5;
        toSq = home + (Text.size() > 3 ? 3 : 7);
    } else if (std::regex_match(Text, m, longForm)) {
        fromSq = sq(m[2]);
        // Without a letter the move is whatever stands on its square.
        const int on = P.Brett[fromSq] * side;
        piece = m[1].matched ? m[1].str()[0] : on >= 1 && on <= 6 ? "PRBNQK"[on - 1] : '?';
        toSq = sq(m[3]);
        if (m[4].matched) promo = promoCode(m[4].str()[0]);
    } else if (std::regex_match(Text, m, san)) {
        if (m[1].matched) piece = m[1].str()[0];
        if (m[2].matched) fromFile = m[2].str()[0] - 'a' + 1;
        if (m[3].matched) fromRank = m[3].str()[0] - '1' + 2;
        toSq = sq(m[4]);
        if (m[5].matched) promo = promoCode(m[5].str()[0]);
    } else {
        return false;
    }
    const size_t letter = std::string_view("PRBNQK").find(piece);
    if (letter == std::string_view::npos) return false;
    const int kind = static_cast<int>(letter) + 1;
    for (int from = SqA1; from <= SqH8; ++from) {
        if (!IsBoardSquare(from) || P.Brett[from] != kind * side) continue;
        if (fromSq && from != fromSq) continue;
        if (fromFile >= 0 && from % 10 != fromFile) continue;
        if (fromRank >= 0 && from / 10 != fromRank) continue;
        TZug z = P.Zug;
        z.From = from;
        z.To = toSq;
        z.Promotion = promo * side;
        if (kind == Bauer && promo == 0 && (toSq / 10 == 9 || toSq / 10 == 2))
            z.Promotion = 5 * side;
        if (IsLegalMove(P.Brett, z, nullptr)) return true;
    }
    return false;
}

// The engine as a window starts it with no [Engine] settings, one run per
// position: every thinking line shown has a first move that is legal there.
// Prints what the memo shows 2 s after the start.
// Tries: runs started for a position until one shows thinking, as the
// window's watchdog starts a silent engine again.
void FirstMovesAreLegal(const std::vector<std::string>& Argv, int Tries = 1) {
    TWBInfo defaults;
    SetEngineDefaults(defaults);
    const TWBInfo info = EngineCommandsFor(Argv[0], defaults, false, defaults.Parameter);
    for (const std::string& fen : {MateIn3, Middlegame}) {
        const TEnginePosition pos = kbtest::FromFen(fen);
        auto r = std::make_unique<TRun>();
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(r->Start(Argv, info, pos));
        for (int t = 1; r->Memo.WaitFor(
                            0, [](auto& s) { return Thinking(s); }, Tries > 1 ? 10s : 30s) < 0;
             ++t) {
            ASSERT_LT(t, Tries) << "no thinking line from " << Argv[0] << " on " << fen;
            std::cout << Argv[0] << " showed nothing; started again\n";
            r->Finish();
            r = std::make_unique<TRun>();
            start = std::chrono::steady_clock::now();
            ASSERT_TRUE(r->Start(Argv, info, pos));
        }
        std::this_thread::sleep_until(start + 2s);
        std::string shown;
        for (const std::string& s : r->Memo.Lines())
            if (Thinking(s)) {
                shown = s;
                EXPECT_TRUE(LegalIn(pos, FirstMove(s)))
                    << Argv[0] << " on " << fen << ": " << OneLineOf(s);
            }
        std::cout << Argv[0] << " [" << fen << "] after 2 s: " << OneLineOf(shown) << "\n";
        r->Worker->StopEngine();
        EXPECT_NE(r->Finish(), TEngineProcess::TEnd::Killed);
    }
}

} // namespace

TEST(XBoardPeer, LegalCheckOfShownMoves) {
    // The checker itself: SAN and coordinates, legal and not.
    const TEnginePosition p = kbtest::FromFen(MateIn3);
    for (const char* m : {"h4+", "h2h4", "h2-h4", "Qxf4+", "Qd6xf4", "Bxa6", "Ke4", "<Bf7>"})
        EXPECT_TRUE(LegalIn(p, m)) << m;
    for (const char* m : {"d4", "e2e4", "Kh5", "Qxb2", "h5", "", "Ke2xe3", "Kg2"})
        EXPECT_FALSE(LegalIn(p, m)) << m;
    EXPECT_EQ(FirstMove("Depth: 6  Value: 999.95\r\n1. h4+ Kh5 2. Bf7+"), "h4+");
    EXPECT_EQ(FirstMove("Depth: 6  Value: 999.95\r\n13. ... Qxb2"), "Qxb2");
    EXPECT_EQ(FirstMove("Depth: 0  Value: 0.00\r\n(c2-c3  , book2)"), "c2-c3");
}

TEST(XBoardPeer, GnuchessAnalysesTheBoardsPosition) {
    KB_REQUIRE_PEER(gnuchess, "gnuchess");
    // gnuchess 6 shows nothing until a thread of its own comes up, which
    // happens only as a line arrives: on a busy machine that can take the
    // whole handshake, and then the watchdog starts it again.
    FirstMovesAreLegal({gnuchess, "-x"}, 3);
}

TEST(XBoardPeer, SjengAnalysesTheBoardsPosition) {
    KB_REQUIRE_PEER(sjeng, "sjeng");
    FirstMovesAreLegal({sjeng});
}

TEST(XBoardPeer, FairymaxAnalysesTheBoardsPosition) {
    KB_REQUIRE_PEER(fairymax, "fairymax");
    FirstMovesAreLegal({fairymax});
}

TEST(XBoardPeer, HoichessAnalysesTheBoardsPosition) {
    KB_REQUIRE_PEER(hoichess, "hoichess");
    FirstMovesAreLegal({hoichess, "-x"});
}

TEST(XBoardPeer, PhalanxAnalysesTheBoardsPosition) {
    KB_REQUIRE_PEER(phalanx, "phalanx");
    FirstMovesAreLegal({phalanx});
}

TEST(XBoardPeer, StockfishThroughPolyglotAnalysesTheBoardsPosition) {
    KB_REQUIRE_PEER(polyglot, "polyglot");
    KB_REQUIRE_PEER(stockfish, "stockfish");
    FirstMovesAreLegal({polyglot, "-noini", "-ec", stockfish});
}

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

TEST(XBoardFake, AnAnswerToThePositionBeforeNeverShowsUnderTheNewOne) {
    // The engine answers the "." that stops the first position late, when
    // the second is on its way: with ping the answer falls before the
    // second position's pong; without, a refused stop command is dropped.
    for (const char* mode : {"late", "latenoping"}) {
        TRun r;
        TWBInfo info;
        SetGeneralEngineCommands(info);
        ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, mode}, info, kbtest::FromFen(StartFen)));
        ASSERT_GE(r.Memo.WaitFor(
                      0, [](auto& s) { return StartsWith(s, "Depth: 2  Value: 0.11"); }, 10s),
                  0)
            << mode;
        const size_t before = r.Memo.Size();
        r.Worker->Restart(kbtest::FromGame(kbtest::StandardFen, "e4"));
        ASSERT_GE(r.Memo.WaitFor(
                      before, [](auto& s) { return StartsWith(s, "Depth: 2  Value: 0.12"); }, 10s),
                  0)
            << mode;
        EXPECT_TRUE(r.Worker->Answered());
        EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
        const std::vector<std::string> lines = r.Memo.Lines();
        EXPECT_EQ(
            std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
            (std::vector<std::string>{"- Initialize ...", "Depth: 1  Value: 0.11\r\n1. ... e5",
                                      "Depth: 2  Value: 0.12\r\n1. ... e5 2. Nf3"}))
            << mode;
    }
}

TEST(XBoardFake, PongsAndThinkingBehindAPromptAreRead) {
    // Each position's pong and thinking lines come behind "White (1) : "
    // prompts, without a line end before them: every step of a walk shows
    // that step's own lines (the engine counts its positions in the value).
    TRun r;
    TWBInfo info;
    SetGeneralEngineCommands(info);
    ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "prompt"}, info, kbtest::FromFen(StartFen)));
    ASSERT_GE(r.Memo.WaitFor(
                  0, [](auto& s) { return StartsWith(s, "Depth: 2  Value: 0.11"); }, 10s),
              0);
    for (int step = 2; step <= 7; ++step) {
        const size_t before = r.Memo.Size();
        r.Worker->Restart(step % 2 == 0 ? kbtest::FromGame(kbtest::StandardFen, "e4")
                                        : kbtest::FromFen(StartFen));
        const std::string value = "Depth: 2  Value: 0." + std::to_string(10 + step);
        ASSERT_GE(r.Memo.WaitFor(
                      before, [&](auto& s) { return StartsWith(s, value); }, 10s),
                  0)
            << "step " << step;
        EXPECT_TRUE(r.Worker->Answered()) << "step " << step;
        const std::vector<std::string> lines = r.Memo.Lines();
        for (size_t i = before + 1; i < lines.size(); ++i)
            EXPECT_TRUE(StartsWith(lines[i], "Depth: 1  Value: 0.11") ||
                        StartsWith(lines[i], value))
                << "step " << step << ": " << OneLineOf(lines[i]);
    }
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
}

TEST(XBoardFake, AJumpNeverShowsALineOfAPositionOnTheWay) {
    // The engine answers a ping at once and reaches the moves before it
    // only later, with a line about each position on the way; the one
    // after 1...e5 is legal after 2...Nc6 as well. A jump from the start
    // to 2...Nc6 and steps back and forth show only the line of the
    // position reached (the engine's value is 1.00 + its plies).
    const std::string game[] = {"", "e4", "e4 e5", "e4 e5 Nf3", "e4 e5 Nf3 Nc6"};
    TRun r;
    TWBInfo info;
    SetGeneralEngineCommands(info);
    ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "laggard"}, info, kbtest::FromGame(StartFen, game[0])));
    ASSERT_GE(r.Memo.WaitFor(
                  0, [](auto& s) { return StartsWith(s, "Depth: 1  Value: 1.00"); }, 10s),
              0);
    for (const int ply : {4, 3, 4, 2, 4, 0}) {
        const size_t before = r.Memo.Size();
        r.Worker->Restart(kbtest::FromGame(StartFen, game[ply]));
        const std::string value = "Depth: 1  Value: 1.0" + std::to_string(ply);
        ASSERT_GE(r.Memo.WaitFor(
                      before, [&](auto& s) { return StartsWith(s, value); }, 10s),
                  0)
            << "ply " << ply;
        std::this_thread::sleep_for(300ms); // time for a late line to come
        const std::vector<std::string> lines = r.Memo.Lines();
        for (size_t i = before + 1; i < lines.size(); ++i)
            EXPECT_TRUE(StartsWith(lines[i], value))
                << "ply " << ply << ": " << OneLineOf(lines[i]);
    }
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
}

TEST(XBoardFake, AnEngineThatRefusesUndoIsToldEachPositionAnew) {
    // It thinks on where it stood after a refused undo: the position is told
    // anew, and from then on every step back, without another undo.
    kbtest::TempDir dir;
    const std::string log = (dir / "log").string();
    setenv("FAKE_ENGINE_LOG", log.c_str(), 1);
    TRun r;
    TWBInfo info;
    SetGeneralEngineCommands(info);
    ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "noundo"}, info, kbtest::FromGame(StartFen, "e4")));
    unsetenv("FAKE_ENGINE_LOG");
    auto thinking = [](bool White) {
        return [White](const std::string& S) {
            return StartsWith(S, "Depth: 2") &&
                   S.find(White ? "1. e4 e5" : "1. ... e5") != std::string::npos;
        };
    };
    ASSERT_GE(r.Memo.WaitFor(0, thinking(false), 10s), 0);
    for (int step = 0; step < 4; ++step) {
        const size_t before = r.Memo.Size();
        const bool back = step % 2 == 0;
        r.Worker->Restart(kbtest::FromGame(StartFen, back ? "" : "e4"));
        ASSERT_GE(r.Memo.WaitFor(before, thinking(back), 10s), 0) << "step " << step;
        EXPECT_TRUE(r.Worker->Answered());
        const std::vector<std::string> lines = r.Memo.Lines();
        for (size_t i = before + 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].find("Error"), std::string::npos) << OneLineOf(lines[i]);
    }
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    const std::vector<std::string> got = ReadLines(log);
    EXPECT_EQ(std::count(got.begin(), got.end(), "undo"), 1) << ::testing::PrintToString(got);
}

TEST(XBoardFake, AnEngineWithoutFenGetsTheGameNeverCastlingThatIsGone) {
    // The engine plays back what it read: the king walk goes out as moves.
    kbtest::TempDir dir;
    const std::string log = (dir / "log").string();
    TWBInfo info;
    SetGeneralEngineCommands(info);
    setenv("FAKE_ENGINE_LOG", log.c_str(), 1);
    TRun r;
    ASSERT_TRUE(r.Start({KB_FAKE_ENGINE, "edit"}, info,
                        kbtest::FromGame(kbtest::StandardFen, kbtest::KingWalk)));
    unsetenv("FAKE_ENGINE_LOG");
    // It answers with moves of the start position, which are not shown here.
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!r.Worker->Answered() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(r.Worker->Answered());
    // Without its game the position cannot be told: the memo says so and
    // the engine gets nothing to think about.
    const size_t before = r.Memo.Size();
    r.Worker->Restart(kbtest::FromFen(kbtest::KingWalkFen));
    ASSERT_GE(r.Memo.WaitFor(
                  before, [](auto& s) { return StartsWith(s, "The engine cannot be told"); }, 10s),
              0);
    EXPECT_TRUE(r.Worker->Answered()); // nothing for the watchdog to wait for
    EXPECT_EQ(r.Finish(), TEngineProcess::TEnd::Quit);
    const std::vector<std::string> got = ReadLines(log);
    const std::vector<std::string> game{"new",  "force", "e2e4", "e7e5",   "g1f3", "b8c6",
                                        "f1c4", "f8c5",  "e1e2", "e8e7",   "e2e1", "e7e8",
                                        "d2d3", "d7d6",  "post", "analyze"};
    const auto at = std::search(got.begin(), got.end(), game.begin(), game.end());
    EXPECT_NE(at, got.end()) << ::testing::PrintToString(got);
    EXPECT_EQ(std::count(got.begin(), got.end(), "edit"), 0);
    EXPECT_EQ(std::count(got.begin(), got.end(), "analyze"), 1);
    for (const std::string& s : r.Memo.Lines())
        EXPECT_FALSE(Thinking(s)) << OneLineOf(s);
}

namespace {

// The engine as a window starts it on the king walk, then the user steps
// onto the mate of another game: no line shows a castling that is gone, a
// move that is not legal, or, at the mate, anything said about the
// position before. Prints what the memo shows at each.
void KingWalkThenMate(const std::vector<std::string>& Argv) {
    TWBInfo defaults;
    SetEngineDefaults(defaults);
    const TWBInfo info = EngineCommandsFor(Argv[0], defaults, false, defaults.Parameter);
    const TEnginePosition walk = kbtest::FromGame(kbtest::StandardFen, kbtest::KingWalk);
    TRun r;
    ASSERT_TRUE(r.Start(Argv, info, walk));
    ASSERT_GE(r.Memo.WaitFor(
                  0, [](auto& s) { return Thinking(s); }, 30s),
              0)
        << "no thinking line from " << Argv[0];
    std::this_thread::sleep_for(1500ms);
    const size_t before = r.Memo.Size();
    std::cout << Argv[0] << " on the king walk: " << OneLineOf(r.Memo.Lines()[before - 1]) << "\n";
    r.Worker->Restart(kbtest::FromGame(MateIn3, "h4+ Kh5 Bf7+ Kxh4 Qxh6#"));
    ASSERT_GE(r.Memo.WaitFor(
                  before, [](auto& s) { return s == "- Initialize ..."; }, 5s),
              0);
    // Answered however loaded the machine; then some time for anything
    // late about the walk to show itself.
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (!r.Worker->Answered() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(r.Worker->Answered()) << Argv[0];
    std::this_thread::sleep_for(1s);
    EXPECT_NE(r.Finish(), TEngineProcess::TEnd::Killed);
    const std::vector<std::string> lines = r.Memo.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& s = lines[i];
        for (const char* c : {"e1g1", "e1c1", "e8g8", "e8c8", "O-O", "0-0"})
            EXPECT_EQ(s.find(c), std::string::npos) << Argv[0] << ": " << OneLineOf(s);
        if (i < before && Thinking(s)) {
            EXPECT_TRUE(LegalIn(walk, FirstMove(s))) << Argv[0] << ": " << OneLineOf(s);
        }
        if (i > before) {
            for (const char* c : {"Error", "Illegal", "Invalid"})
                EXPECT_EQ(s.find(c), std::string::npos) << Argv[0] << ": " << OneLineOf(s);
            EXPECT_FALSE(Thinking(s)) << Argv[0] << ": " << OneLineOf(s); // no move to play
        }
    }
    std::cout << Argv[0] << " at the mate: " << OneLineOf(lines.back()) << "\n";
}

} // namespace

TEST(XBoardPeer, FairymaxNeverShowsCastlingThatIsGone) {
    KB_REQUIRE_PEER(fairymax, "fairymax");
    KingWalkThenMate({fairymax});
}

TEST(XBoardPeer, SjengNeverShowsCastlingThatIsGone) {
    KB_REQUIRE_PEER(sjeng, "sjeng");
    KingWalkThenMate({sjeng});
}

TEST(XBoardPeer, GnuchessHoichessPhalanxAndStockfishOnTheKingWalkAndTheMate) {
    KB_REQUIRE_PEER(gnuchess, "gnuchess");
    KB_REQUIRE_PEER(hoichess, "hoichess");
    KB_REQUIRE_PEER(phalanx, "phalanx");
    KB_REQUIRE_PEER(polyglot, "polyglot");
    KB_REQUIRE_PEER(stockfish, "stockfish");
    KingWalkThenMate({gnuchess, "-x"});
    KingWalkThenMate({hoichess, "-x"});
    KingWalkThenMate({phalanx});
    KingWalkThenMate({polyglot, "-noini", "-ec", stockfish});
}

namespace {

// The engine as a window starts it, walked through a game (the king walk)
// from its seventh ply to its twelfth as the user steps through it: at
// every step a thinking line about that position, and nothing shown there
// that is not legal there (nothing about the step before).
void WalkSixPositions(const std::vector<std::string>& Argv,
                      const std::string& Game = kbtest::KingWalk) {
    TWBInfo defaults;
    SetEngineDefaults(defaults);
    const TWBInfo info = EngineCommandsFor(Argv[0], defaults, false, defaults.Parameter);
    std::istringstream in(Game);
    std::vector<std::string> plies{std::istream_iterator<std::string>(in), {}};
    auto after = [&](size_t N) {
        std::string moves;
        for (size_t i = 0; i < N; ++i)
            moves += plies[i] + " ";
        return kbtest::FromGame(kbtest::StandardFen, moves);
    };
    TRun r;
    ASSERT_TRUE(r.Start(Argv, info, after(6)));
    ASSERT_GE(r.Memo.WaitFor(
                  0, [](auto& s) { return Thinking(s); }, 30s),
              0)
        << "no thinking line from " << Argv[0];
    std::vector<size_t> starts;
    for (size_t n = 7; n <= 12; ++n) {
        const size_t before = r.Memo.Size();
        const TEnginePosition pos = after(n);
        r.Worker->Restart(pos);
        const int init = r.Memo.WaitFor(
            before, [](auto& s) { return s == "- Initialize ..."; }, 5s);
        ASSERT_GE(init, 0);
        starts.push_back(static_cast<size_t>(init));
        const int shown = r.Memo.WaitFor(
            static_cast<size_t>(init) + 1,
            [&](auto& s) { return Thinking(s) && LegalIn(pos, FirstMove(s)); }, 30s);
        EXPECT_GE(shown, 0) << Argv[0] << ": no thinking line after ply " << n;
        EXPECT_TRUE(r.Worker->Answered()) << Argv[0] << " after ply " << n;
        if (shown >= 0)
            std::cout << Argv[0] << " after ply " << n << ": "
                      << OneLineOf(r.Memo.Lines()[static_cast<size_t>(shown)]) << "\n";
        std::this_thread::sleep_for(500ms); // time for a late line to come
    }
    EXPECT_EQ(kbtest::ProcState(r.Pid) != 0, true); // the one engine, still there
    EXPECT_NE(r.Finish(), TEngineProcess::TEnd::Killed);
    const std::vector<std::string> lines = r.Memo.Lines();
    starts.push_back(lines.size());
    for (size_t k = 0; k + 1 < starts.size(); ++k) {
        const TEnginePosition pos = after(7 + k);
        for (size_t i = starts[k] + 1; i < starts[k + 1]; ++i) {
            if (Thinking(lines[i])) {
                EXPECT_TRUE(LegalIn(pos, FirstMove(lines[i])))
                    << Argv[0] << " after ply " << 7 + k << ": " << OneLineOf(lines[i]);
            }
            static const std::regex prompt("^(White|Black) ?\\([0-9]+\\) ?:");
            EXPECT_FALSE(std::regex_search(lines[i], prompt)) << OneLineOf(lines[i]);
            for (const char* c : {"Error", "Illegal", "Invalid", "pong"})
                EXPECT_EQ(lines[i].find(c), std::string::npos)
                    << Argv[0] << " after ply " << 7 + k << ": " << OneLineOf(lines[i]);
        }
    }
}

} // namespace

TEST(XBoardPeer, GnuchessWalksSixPositions) {
    KB_REQUIRE_PEER(gnuchess, "gnuchess");
    WalkSixPositions({gnuchess, "-x"});
}

TEST(XBoardPeer, FairymaxWalksSixPositions) {
    KB_REQUIRE_PEER(fairymax, "fairymax");
    WalkSixPositions({fairymax});
    // Told a game again after an analysis, it refuses 5...d6 of this one.
    WalkSixPositions({fairymax}, "e4 c5 Nf3 Nc6 d4 cxd4 Nxd4 Nf6 Nc3 d6 Bg5 e6");
}

TEST(XBoardPeer, HoichessWalksSixPositions) {
    KB_REQUIRE_PEER(hoichess, "hoichess");
    WalkSixPositions({hoichess, "-x"});
}

TEST(XBoardPeer, PhalanxWalksSixPositions) {
    KB_REQUIRE_PEER(phalanx, "phalanx");
    WalkSixPositions({phalanx});
}

TEST(XBoardPeer, SjengWalksSixPositions) {
    KB_REQUIRE_PEER(sjeng, "sjeng");
    WalkSixPositions({sjeng});
}

TEST(XBoardPeer, StockfishThroughPolyglotWalksSixPositions) {
    KB_REQUIRE_PEER(polyglot, "polyglot");
    KB_REQUIRE_PEER(stockfish, "stockfish");
    WalkSixPositions({polyglot, "-noini", "-ec", stockfish});
}

TEST(XBoardPeer, HoichessHasNoFeatureToComplainAbout) {
    // It offers options; refused, it said so in the memo, and at a mate
    // that was all the memo showed.
    KB_REQUIRE_PEER(hoichess, "hoichess");
    TWBInfo defaults;
    SetEngineDefaults(defaults);
    const TWBInfo info = EngineCommandsFor(hoichess, defaults, false, defaults.Parameter);
    TRun r;
    ASSERT_TRUE(
        r.Start({hoichess, "-x"}, info, kbtest::FromGame(MateIn3, "h4+ Kh5 Bf7+ Kxh4 Qxh6#")));
    const int any = r.Memo.WaitFor(
        0, [](auto& s) { return s.find("rejected") != std::string::npos; }, 3s);
    EXPECT_LT(any, 0) << OneLineOf(r.Memo.Lines()[static_cast<size_t>(std::max(any, 0))]);
    EXPECT_TRUE(r.Worker->Answered());
    EXPECT_NE(r.Finish(), TEngineProcess::TEnd::Killed);
    std::cout << "hoichess at the mate: " << OneLineOf(r.Memo.Lines().back()) << "\n";
}
