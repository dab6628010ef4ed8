// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kb {

namespace {

// A write into a pipe whose engine has gone must fail with EPIPE, not end
// the program.
void IgnoreSigPipe() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

void CloseFd(int& Fd) {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
}

int PidFdOpen(pid_t Pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0));
#else
    (void)Pid;
    errno = ENOSYS;
    return -1;
#endif
}

} // namespace

std::vector<std::string> SplitWords(const std::string& Text) {
    std::vector<std::string> words;
    std::string w;
    for (char c : Text) {
        if (static_cast<unsigned char>(c) <= ' ') {
            if (!w.empty()) words.push_back(std::move(w));
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty()) words.push_back(std::move(w));
    return words;
}

TEngineProcess::~TEngineProcess() {
    if (pid_ > 0 && !reaped_) Finish(std::chrono::milliseconds(0));
    CloseAll();
}

bool TEngineProcess::Start(const std::vector<std::string>& Argv, std::string& Error) {
    IgnoreSigPipe();
    if (Started() || Argv.empty() || Argv[0].empty()) {
        Error = "no program";
        return false;
    }
    const std::string& path = Argv[0];
    const bool search = path.find('/') == std::string::npos;
    struct stat st {};
    if (!search && (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) {
        Error = "file not found: " + path;
        return false;
    }
    // Our ends are close-on-exec, so that engines of other windows never hold
    // them open (the reader would then never see end of file).
    int toEngine[2], fromEngine[2];
    if (::pipe2(toEngine, O_CLOEXEC) != 0) {
        Error = std::strerror(errno);
        return false;
    }
    if (::pipe2(fromEngine, O_CLOEXEC) != 0) {
        Error = std::strerror(errno);
        ::close(toEngine[0]);
        ::close(toEngine[1]);
        return false;
    }
    // Everything the child needs is made before the fork: between fork and
    // exec it calls only what is safe there. A failed exec reports its errno
    // through a close-on-exec pipe; end of file on it means the exec worked.
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        Error = std::strerror(errno);
        for (int fd : {toEngine[0], toEngine[1], fromEngine[0], fromEngine[1]})
            ::close(fd);
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& a : Argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // An engine left behind by a program that died would think on
        // forever: it goes with the program (the starting thread is the
        // program's long-lived GUI or main thread).
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        // Own process group; SIGPIPE back to its default and no blocked
        // signals, whatever this program does with them.
        ::setpgid(0, 0);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        ::sigaction(SIGPIPE, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        auto onto = [](int From, int To) {
            // dup2 onto itself would keep the close-on-exec flag.
            return From == To ? ::fcntl(From, F_SETFD, 0) : ::dup2(From, To);
        };
        if (onto(toEngine[0], 0) >= 0 && onto(fromEngine[1], 1) >= 0 &&
            onto(fromEngine[1], 2) >= 0) {
            if (search)
                ::execvp(path.c_str(), argv.data());
            else
                ::execv(path.c_str(), argv.data());
        }
        const int e = errno;
        [[maybe_unused]] const ssize_t w = ::write(errPipe[1], &e, sizeof e);
        ::_exit(127);
    }
    const int forkErrno = errno;
    // The child's ends are closed here whether the start worked or not.
    ::close(toEngine[0]);
    ::close(fromEngine[1]);
    ::close(errPipe[1]);
    int rc = pid < 0 ? forkErrno : 0;
    if (pid > 0) {
        int childErrno = 0;
        ssize_t n;
        do
            n = ::read(errPipe[0], &childErrno, sizeof childErrno);
        while (n < 0 && errno == EINTR);
        if (n == static_cast<ssize_t>(sizeof childErrno)) {
            rc = childErrno != 0 ? childErrno : ENOEXEC;
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    ::close(errPipe[0]);
    if (rc != 0) {
        Error = std::string("cannot start ") + path + ": " + std::strerror(rc);
        ::close(toEngine[1]);
        ::close(fromEngine[0]);
        return false;
    }
    pid_ = pid;
    writeFd_ = toEngine[1];
    readFd_ = fromEngine[0];
    pidFd_ = PidFdOpen(pid);
    exitSeen_ = reaped_ = false;
    end_ = TEnd::Running;
    StartGuardian();
    return true;
}

void TEngineProcess::StartGuardian() {
    // The engine's own death signal reaches only the engine itself, not a
    // script's children nor what the engine starts: the guardian ends the
    // whole group when this program's end of its pipe closes (the kernel
    // closes it however the program dies). A byte on the pipe releases it.
    int g[2];
    if (::pipe2(g, O_CLOEXEC) != 0) return;
    const pid_t group = pid_;
    const pid_t gp = ::fork();
    if (gp == 0) {
        // Only what is safe after a fork in a threaded program. A session of
        // its own: signals for the program's terminal or group miss it.
        ::setsid();
        struct sigaction ign {};
        ign.sa_handler = SIG_IGN;
        sigemptyset(&ign.sa_mask);
        for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU})
            ::sigaction(sig, &ign, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // Every other descriptor goes: a copy of another guardian's pipe
        // here would keep that guardian from seeing the program die.
        const int keep = g[0];
#ifdef SYS_close_range
        if (keep > 0) ::syscall(SYS_close_range, 0U, static_cast<unsigned>(keep - 1), 0U);
        if (::syscall(SYS_close_range, static_cast<unsigned>(keep + 1), ~0U, 0U) != 0)
#endif
            for (int fd = keep + 1; fd < 65536; ++fd)
                ::close(fd);
        for (int fd = 0; fd < keep; ++fd)
            ::close(fd);
        char c = 0;
        ssize_t n;
        do
            n = ::read(keep, &c, 1);
        while (n < 0 && errno == EINTR);
        if (n != 1) ::kill(-group, SIGKILL);
        ::_exit(0);
    }
    ::close(g[0]);
    if (gp < 0) {
        ::close(g[1]);
        return;
    }
    guardPid_ = gp;
    guardFd_ = g[1];
}

void TEngineProcess::ReleaseGuardian() {
    if (guardFd_ >= 0) {
        const char c = 'x';
        ssize_t n;
        do
            n = ::write(guardFd_, &c, 1);
        while (n < 0 && errno == EINTR);
        CloseFd(guardFd_);
    }
    if (guardPid_ > 0) {
        while (::waitpid(guardPid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        guardPid_ = 0;
    }
}

bool TEngineProcess::Exited() const {
    std::lock_guard lk(m_);
    return reaped_ || exitSeen_;
}

bool TEngineProcess::ReapIfExited() {
    std::lock_guard lk(m_);
    if (pid_ <= 0 || reaped_) return true;
    siginfo_t si{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &si, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        si.si_pid != pid_)
        return false;
    exitSeen_ = true;
    ReapLocked();
    return true;
}

bool TEngineProcess::Write(const std::string& Text) {
    if (writeFd_ < 0) return false;
    size_t done = 0;
    while (done < Text.size()) {
        const ssize_t n = ::write(writeFd_, Text.data() + done, Text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

size_t TEngineProcess::Unread() const {
    int n = 0;
    if (writeFd_ < 0 || ::ioctl(writeFd_, FIONREAD, &n) != 0 || n < 0) return 0;
    return static_cast<size_t>(n);
}

void TEngineProcess::CloseInput() {
    CloseFd(writeFd_);
}

void TEngineProcess::CloseOutput() {
    CloseFd(readFd_);
}

void TEngineProcess::Pause() {
    std::lock_guard lk(m_);
    if (pid_ > 0 && !reaped_) ::kill(-pid_, SIGSTOP);
}

void TEngineProcess::Continue() {
    std::lock_guard lk(m_);
    if (pid_ > 0 && !reaped_) ::kill(-pid_, SIGCONT);
}

bool TEngineProcess::WaitExit(std::chrono::milliseconds Timeout) {
    if (pid_ <= 0 || Exited()) return true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + Timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (pidFd_ >= 0) {
            pollfd p{pidFd_, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
            if (r > 0) {
                std::lock_guard lk(m_);
                exitSeen_ = true;
                return true;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) return false;
            // poll failed on the pidfd: fall back to waitpid below.
            CloseFd(pidFd_);
            continue;
        }
        // No pidfd (old kernel): look at the child every few milliseconds.
        if (ReapIfExited()) return true;
        if (left.count() <= 0) return false;
        std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(5)));
    }
}

void TEngineProcess::Reap() {
    std::lock_guard lk(m_);
    ReapLocked();
}

void TEngineProcess::ReapLocked() {
    if (pid_ <= 0 || reaped_) return;
    // While the leader is not reaped its group id cannot be reused: whatever
    // the engine started and left behind goes with it.
    ::kill(-pid_, SIGKILL);
    // The guardian stands down while the group id is still ours: once the
    // leader is reaped the id can go to somebody else's processes.
    ReleaseGuardian();
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid_, &status, 0);
        if (r == pid_) break;
        if (r < 0 && errno == EINTR) continue;
        break;
    }
    reaped_ = true;
    waitStatus_ = status;
}

TEngineProcess::TEnd TEngineProcess::Finish(std::chrono::milliseconds Grace) {
    if (pid_ <= 0) return end_;
    if (end_ != TEnd::Running) return end_;
    TEnd end = TEnd::Quit;
    // A paused engine cannot leave by itself.
    Continue();
    auto signal = [this](int Sig) {
        std::lock_guard lk(m_);
        if (!reaped_) ::kill(-pid_, Sig);
    };
    if (!WaitExit(Grace)) {
        signal(SIGTERM);
        end = TEnd::Terminated;
        if (!WaitExit(std::chrono::milliseconds(1000))) {
            signal(SIGKILL);
            end = TEnd::Killed;
            WaitExit(std::chrono::milliseconds(10000));
        }
    }
    Reap();
    // The pidfd stays open until the object goes: a reader may still poll it.
    end_ = end;
    return end;
}

void TEngineProcess::CloseAll() {
    ReleaseGuardian();
    CloseFd(writeFd_);
    CloseFd(readFd_);
    CloseFd(pidFd_);
}

} // namespace kb
