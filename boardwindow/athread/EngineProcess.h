// SPDX-License-Identifier: GPL-3.0-or-later
// TEngineProcess: one external engine as a child process with its standard
// input on one pipe and its standard output and error on another. Started
// from an argv (never through a shell), in a process group of its own so
// that pausing and ending reach every process the engine starts itself.
// A program that is killed leaves no engine thinking on: a small guardian
// process kills the engine's whole group when the program's end of a pipe
// closes, which happens however the program ends.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kb {

class TEngineProcess {
public:
    // How a run ended.
    enum class TEnd { Running, Quit, Terminated, Killed };

    TEngineProcess() = default;
    ~TEngineProcess(); // kills and reaps a child that still runs
    TEngineProcess(const TEngineProcess&) = delete;
    TEngineProcess& operator=(const TEngineProcess&) = delete;

    // Argv[0] is the executable. False with Error set when the file is
    // missing or the process cannot be created; nothing is left open then.
    bool Start(const std::vector<std::string>& Argv, std::string& Error);
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    int WriteFd() const { return writeFd_; }
    int ReadFd() const { return readFd_; }
    // Readable once the engine has ended; -1 where the kernel has none.
    int PidFd() const { return pidFd_; }
    // The guardian's process id (0 when none could be started).
    pid_t GuardianPid() const { return guardPid_; }

    // The whole text in one write (retried after partial writes and EINTR);
    // false when the engine's input is closed or broken.
    bool Write(const std::string& Text);
    // Bytes written that the engine has not read yet.
    size_t Unread() const;
    // Closes our end of the engine's input (the engine reads end of file).
    void CloseInput();
    void CloseOutput();

    // SIGSTOP / SIGCONT to the engine's process group.
    void Pause();
    void Continue();

    // Waits up to Timeout for the process to exit, without busy waiting.
    bool WaitExit(std::chrono::milliseconds Timeout);
    bool Exited() const;
    // When the engine has ended: whatever is left of its group is killed
    // and the engine reaped. True when it is reaped (now or before).
    bool ReapIfExited();
    // Ends the run: waits up to Grace for the engine to leave by itself, then
    // SIGTERM (one more second), then SIGKILL; every process of the group is
    // killed, the child reaped and the pipes closed. Returns how it ended.
    TEnd Finish(std::chrono::milliseconds Grace);
    TEnd End() const { return end_; }
    // The wait status from waitpid once reaped.
    int WaitStatus() const { return waitStatus_; }

private:
    void Reap();
    void ReapLocked();
    void ReleaseGuardian();
    void StartGuardian();
    void CloseAll();

    mutable std::mutex m_; // the reap state: the reader and Finish may race
    pid_t guardPid_ = 0;
    int guardFd_ = -1;

    pid_t pid_ = 0;
    int pidFd_ = -1;
    int writeFd_ = -1;
    int readFd_ = -1;
    bool exitSeen_ = false;
    bool reaped_ = false;
    int waitStatus_ = 0;
    TEnd end_ = TEnd::Running;
};

// Splits command-line words at blanks (no quoting, no shell).
std::vector<std::string> SplitWords(const std::string& Text);

} // namespace kb
