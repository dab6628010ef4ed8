// SPDX-License-Identifier: GPL-3.0-or-later
// A small xboard engine for the hard cases of the engine driver. The first
// argument picks its behaviour:
//   normal      answers every position with thinking lines, leaves on quit
//   silent      reads everything, never answers, leaves on quit
//   huge        answers with a line of one megabyte, then a normal line
//   closeout    closes its output after the first command, keeps reading
//   ignorequit  never leaves on quit (SIGTERM ends it)
//   ignoreterm  never leaves on quit and ignores SIGTERM (only SIGKILL ends it)
//   diemidline  answers half a line and dies with exit status 3
//   overflow    answers with numbers too large for any integer
//   grandchild  starts a child of its own that sleeps, prints its pid
//   setboard    says "feature usermove=1 setboard=1 done=1" to protover 2
//   edit        says "feature setboard=0 done=1" to protover 2
//   longfeature says "feature done=0", then setboard=1 and done=1 at the two
//               ends of a feature line of some thousand characters
//   refuseedit  refuses "edit" as not implemented (and thinks all the same)
//   crlines     ends its lines with CR alone, with status lines among them
//   latethread  answers like setboard, but as a busy engine whose second
//               thread comes up late: until its sixth line it reads its
//               input in pieces, a while apart, shows nothing, and with that
//               line it drops the rest of the piece and shows what it said
//   mute        says "feature done=1" to protover 2 and nothing ever after
//   late        says "feature ping=1 setboard=1 done=1"; answers "." with a
//               status line, late (after the next commands are on their way)
//   latenoping  the same without ping, answering "." with an error, late
//   slowdone    says "feature done=0", then, seconds later (FAKE_ENGINE_DELAY_MS,
//               3000), "feature setboard=1 ping=1 done=1"; answers ping
//   prompt      says "feature ping=1 setboard=1 done=1" and writes a prompt
//               ("White (1) : ") without a line end whenever it has read a
//               line, so its pongs and thinking lines come behind prompts
//   pingdie     says "feature ping=1 setboard=1 done=1", answers ping and
//               thinks as normal; exits (status 0) at its third ping
//   noundo      as normal, but refuses "undo" as an unknown command
//   laggard     says "feature ping=1 setboard=1 done=1"; answers a ping at
//               once, but takes each other command only once its input has
//               been quiet for a while, one at a time; in analysis it
//               shows a line for each position of the game "e4 e5 Nf3 Nc6"
//               it reaches (its value 1.00 + the plies played), and the one
//               after 1...e5 is legal after 2...Nc6 too
// The other modes say nothing to protover 2.
// Its lines are legal at the start and after 1.e4: the side to move follows
// "new", "setboard", "undo" and the moves it is told. Between "analyze" and
// "exit" a move or "undo" is answered as "analyze" is.
// Without an argument the mode comes from FAKE_ENGINE_MODE.
// With FAKE_ENGINE_LOG set, every line read is appended to that file.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace {

bool Holding = false; // latethread before its thread is up
std::string Held;

void Say(const std::string& S) {
    if (Holding) {
        Held += S;
        return;
    }
    std::fputs(S.c_str(), stdout);
    std::fflush(stdout);
}

// The next line of input, without its end; false at end of input.
bool NextLine(std::string& Line, bool Late) {
    static std::string pending;
    static int lines = 0;
    size_t nl;
    while ((nl = pending.find('\n')) == std::string::npos) {
        if (Holding) ::usleep(30000);
        char buf[4096];
        const ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pending.append(buf, static_cast<size_t>(n));
    }
    Line = pending.substr(0, nl);
    pending.erase(0, nl + 1);
    if (Late && ++lines == 6) {
        pending.clear();
        Holding = false;
        Say(Held);
    }
    while (!Line.empty() && Line.back() == '\r')
        Line.pop_back();
    return true;
}

// laggard: see above.
int Laggard(FILE* Log) {
    static const char* const Lines[] = {"1. e4 e5 2. Nf3", "1. ... e5 2. Nf3", "2. Nc3 Nf6 3. Bc4",
                                        "2. ... Nc6 3. Bb5", "3. Bb5 a6 4. Ba4"};
    std::deque<std::string> waiting;
    std::string pending;
    int ply = 0;
    bool analysing = false;
    for (;;) {
        pollfd p{0, POLLIN, 0};
        const int r = ::poll(&p, 1, waiting.empty() ? -1 : 40);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0) {
            char buf[4096];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return 0;
            pending.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                if (Log) {
                    std::fprintf(Log, "%s\n", line.c_str());
                    std::fflush(Log);
                }
                if (line == "protover 2") Say("feature ping=1 setboard=1 done=1\n");
                if (line.rfind("ping ", 0) == 0)
                    Say("pong " + line.substr(5) + "\n");
                else
                    waiting.push_back(line);
            }
            continue;
        }
        if (waiting.empty()) continue;
        const std::string line = waiting.front();
        waiting.pop_front();
        if (line == "quit") return 0;
        if (line == "new") ply = 0;
        if (line == "exit") analysing = false;
        if (line.rfind("setboard ", 0) == 0) {
            // The ply from the move number and the side to move.
            const size_t side = line.find(' ', line.find(' ') + 1) + 1;
            const size_t number = line.rfind(' ') + 1;
            ply = (std::atoi(line.c_str() + number) - 1) * 2 + (line[side] == 'b' ? 1 : 0);
        }
        const bool move = line.size() == 4 && line[0] >= 'a' && line[0] <= 'h';
        if (move) ++ply;
        if (line == "undo") --ply;
        if (line == "analyze") analysing = true;
        if (analysing && (line == "analyze" || move || line == "undo") && ply >= 0 && ply <= 4)
            Say("1 " + std::to_string(100 + ply) + " 0 100 " + Lines[ply] + "\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    const char* env = std::getenv("FAKE_ENGINE_MODE");
    const std::string mode = argc > 1 ? argv[1] : env ? env : "normal";
    FILE* log = nullptr;
    if (const char* p = std::getenv("FAKE_ENGINE_LOG")) log = std::fopen(p, "a");
    if (mode == "ignoreterm") std::signal(SIGTERM, SIG_IGN);
    if (mode == "laggard") return Laggard(log);
    if (mode == "grandchild") {
        const pid_t child = fork();
        if (child == 0) {
            for (;;)
                pause();
        }
        Say("child " + std::to_string(child) + "\n");
    }
    const bool late = mode == "latethread";
    Holding = late;
    int positions = 0;
    int pings = 0;
    bool closed = false;
    bool white = true; // to move
    bool analysing = false;
    std::string line;
    while (NextLine(line, late)) {
        if (log) {
            std::fprintf(log, "%s\n", line.c_str());
            std::fflush(log);
        }
        if (mode == "closeout" && !closed) {
            std::fclose(stdout);
            ::close(2);
            closed = true;
        }
        if (line == "new") white = true;
        if (line.rfind("setboard ", 0) == 0) white = line.find(" b ") == std::string::npos;
        const bool move = line.size() >= 4 && line.size() <= 5 && line[0] >= 'a' &&
                          line[0] <= 'h' && line[1] >= '1' && line[1] <= '8' && line[2] >= 'a' &&
                          line[2] <= 'h';
        if (line == "undo" && mode == "noundo") {
            Say("Error (unknown command): undo\n");
            continue;
        }
        if (move || line == "undo") white = !white;
        if (line == "exit") analysing = false;
        const bool step = analysing && (move || line == "undo");
        if (mode == "prompt") Say(std::string(white ? "White" : "Black") + " (1) : ");
        if (line == "protover 2") {
            if (mode == "prompt" || mode == "pingdie") Say("feature ping=1 setboard=1 done=1\n");
            if (mode == "setboard" || late)
                Say("feature usermove=1 setboard=1 myname=\"Fake 1\" done=1\n");
            if (mode == "edit") Say("feature setboard=0\nfeature done=1\n");
            if (mode == "mute") Say("feature done=1\n");
            if (mode == "late") Say("feature ping=1 setboard=1 done=1\n");
            if (mode == "latenoping") Say("feature done=1\n");
            if (mode == "slowdone") {
                Say("feature done=0\n");
                const char* d = std::getenv("FAKE_ENGINE_DELAY_MS");
                ::usleep(static_cast<useconds_t>((d ? std::atoi(d) : 3000) * 1000));
                Say("feature setboard=1 ping=1 done=1\n");
            }
            if (mode == "longfeature") {
                std::string f = "feature done=0\nfeature setboard=1";
                for (int i = 0; i < 60; ++i)
                    f += " option=\"option" + std::to_string(i) +
                         " -spin 0 -2147483648 2147483647\"";
                Say(f + " done=1\n");
            }
            continue;
        }
        if (line.rfind("ping ", 0) == 0 && mode == "pingdie" && ++pings == 3) return 0;
        if (line.rfind("ping ", 0) == 0 &&
            (mode == "late" || mode == "slowdone" || mode == "prompt" || mode == "pingdie"))
            Say("pong " + line.substr(5) + "\n");
        if (line == "." && (mode == "late" || mode == "latenoping")) {
            ::usleep(200000);
            Say(mode == "late" ? "stat01: 5 100 1 1 1 about the position before\n"
                               : "Error (unknown command): .\n");
        }
        if (line == "edit" && mode == "refuseedit") Say("Error (command not implemented): edit\n");
        if (line == "quit") {
            if (mode == "ignorequit" || mode == "ignoreterm") continue;
            return 0;
        }
        if (line != "analyze" && line != "go" && !step) continue;
        if (line == "analyze") analysing = true;
        ++positions;
        if (mode == "normal" || mode == "noundo" || mode == "grandchild" || mode == "setboard" ||
            mode == "edit" || mode == "refuseedit" || mode == "longfeature" || late ||
            mode == "late" || mode == "latenoping" || mode == "slowdone" || mode == "prompt" ||
            mode == "pingdie") {
            const std::string pv = white ? "1. e4 e5 2. Nf3" : "1. ... e5 2. Nf3";
            Say("1 11 0 100 " + pv.substr(0, white ? 5 : 9) + "\n");
            Say("2 " + std::to_string(10 + positions) + " 0 200 " + pv + "\n");
        } else if (mode == "crlines") {
            Say("stat01: 1 2 3 4\r1 11 0 100 1. e4\rUsed time : 0\r2 12 0 200 1. e4 e5\r"
                "stat01: 5 6 7 8\rError (unknown command): done\r");
        } else if (mode == "huge") {
            Say(std::string(1 << 20, 'x') + "\n");
            Say("3 25 0 300 1. d4 d5\n");
        } else if (mode == "diemidline") {
            Say("4 30 0 400 1. c4 ");
            std::_Exit(3);
        } else if (mode == "overflow") {
            Say("99999999999999999999999 -99999999999999999999999 1 1 "
                "99999999999999999999999. e4 e5\n");
            Say("5 2147483647 1 1 1. e4\n");
        }
    }
    return 0;
}
