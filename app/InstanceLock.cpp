// SPDX-License-Identifier: GPL-3.0-or-later
#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Checks take turns. Turning our shared lock into an exclusive one lets go
// of it for a moment, and a check by another copy in that moment would miss
// us. An open file description lock on the same file (apart from flock's
// locks) is the turnstile; it goes with the descriptor.
class TCheckTurn {
public:
    explicit TCheckTurn(int Fd) : fd_(Fd) { Set(F_WRLCK); }
    ~TCheckTurn() { Set(F_UNLCK); }
    TCheckTurn(const TCheckTurn&) = delete;
    TCheckTurn& operator=(const TCheckTurn&) = delete;

private:
    void Set(short Type) {
        struct flock l {};
        l.l_type = Type;
        l.l_whence = SEEK_SET;
        // Without the turnstile (a file system without such locks) the
        // check still works, only not against a check at the same moment.
        while (::fcntl(fd_, F_OFD_SETLKW, &l) != 0 && errno == EINTR) {
        }
    }
    int fd_;
};

} // namespace

TInstanceLock::TInstanceLock() : TInstanceLock(DefaultFileName()) {}

TInstanceLock::TInstanceLock(std::string FileName) : fileName_(std::move(FileName)) {}

TInstanceLock::~TInstanceLock() {
    Release();
}

std::string TInstanceLock::DefaultFileName() {
    std::string dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) {
        dir = run;
    } else {
        const char* tmp = std::getenv("TMPDIR");
        dir = tmp && *tmp ? tmp : "/tmp";
    }
    if (dir.back() != '/') dir += '/';
    // The temp folder is shared by all users: one file each.
    return dir + "VODOZAVODOVEREVARI-" + std::to_string(::getuid()) + ".lock";
}

bool TInstanceLock::Acquire() {
    if (fd_ >= 0) return true;
    const int fd = ::open(fileName_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    int r;
    do
        r = ::flock(fd, LOCK_SH);
    while (r != 0 && errno == EINTR);
    if (r != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void TInstanceLock::Release() {
    if (fd_ < 0) return;
    ::close(fd_); // drops the lock
    fd_ = -1;
}

bool TInstanceLock::OtherInstanceFound() {
    if (fd_ < 0) {
        // Not holding it ourselves: any holder is another copy.
        const int fd = ::open(fileName_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return false;
        bool other;
        {
            TCheckTurn turn(fd);
            other = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        }
        ::close(fd);
        return other;
    }
    // Our own shared lock would block a second descriptor, so ours is
    // turned into an exclusive one, which succeeds only when no one else
    // holds the file, and then back into a shared one.
    TCheckTurn turn(fd_);
    const bool other = ::flock(fd_, LOCK_EX | LOCK_NB) != 0;
    int r;
    do
        r = ::flock(fd_, LOCK_SH);
    while (r != 0 && errno == EINTR);
    return other;
}

TInstanceLock& ProgramInstanceLock() {
    static TInstanceLock lock;
    return lock;
}

bool OtherInstanceFound() {
    return ProgramInstanceLock().OtherInstanceFound();
}
