// SPDX-License-Identifier: GPL-3.0-or-later
// Every running copy of the program holds a shared lock on one per-user
// file; another copy runs exactly when an exclusive lock cannot be had.
#pragma once

#include <string>

class TInstanceLock {
public:
    // Lock file in $XDG_RUNTIME_DIR, else in the temp folder.
    TInstanceLock();
    explicit TInstanceLock(std::string FileName);
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Takes the shared lock; false when the file cannot be opened or locked.
    bool Acquire();
    void Release();
    bool Held() const { return fd_ >= 0; }
    // True when another copy holds the lock now.
    bool OtherInstanceFound();
    const std::string& FileName() const { return fileName_; }

    static std::string DefaultFileName();

private:
    std::string fileName_;
    int fd_ = -1;
};

// The running program's own lock, taken by main() at start.
TInstanceLock& ProgramInstanceLock();
// True when another copy of the program runs (uninstall refuses then).
bool OtherInstanceFound();
