// SPDX-License-Identifier: GPL-3.0-or-later
// A file system for tests that fails, or kills the process, at a chosen
// mutating call (creating open, write, truncate, sync, remove, rename,
// folder sync), so that every order of failures can be tried on code that
// writes through TFileSystem.
#pragma once

#include "FileIO.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <unistd.h>

namespace kb {

enum class TFault {
    Fail,         // the call reports failure, nothing written
    ShortWrite,   // half the bytes written, then failure
    NoSpace,      // this and every later write fails until cleared
    KillBefore,   // SIGKILL before the call
    KillMidWrite, // half the bytes written, then SIGKILL
    KillAfter,    // the call done, then SIGKILL
};

// The real file system, every call passed through: a base for test file
// systems that change one or two calls.
class TPassThroughFileSystem : public TFileSystem {
public:
    TFileSystem& Real = TFileSystem::Posix();

    std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override {
        return Real.Open(Path, Mode);
    }
    bool Exists(const std::string& Path) override { return Real.Exists(Path); }
    bool IsReadOnly(const std::string& Path) override { return Real.IsReadOnly(Path); }
    bool MakeWritable(const std::string& Path) override { return Real.MakeWritable(Path); }
    bool CopyPermissions(const std::string& Model, const std::string& Path) override {
        return Real.CopyPermissions(Model, Path);
    }
    bool Remove(const std::string& Path) override { return Real.Remove(Path); }
    bool Rename(const std::string& From, const std::string& To) override {
        return Real.Rename(From, To);
    }
    bool SyncFolder(const std::string& Path) override { return Real.SyncFolder(Path); }
    TFileStamp Stamp(const std::string& Path) override { return Real.Stamp(Path); }
    std::string CanonicalPath(const std::string& Path) override { return Real.CanonicalPath(Path); }
};

// A file whose every call goes to the file it wraps: a base for test files
// that change one or two calls.
class TPassThroughFile : public TFile {
public:
    explicit TPassThroughFile(std::unique_ptr<TFile> File) : file_(std::move(File)) {}
    int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) override {
        return file_->ReadAt(Offset, Buffer, Count);
    }
    bool WriteAt(int64_t Offset, const char* Data, int64_t Count) override {
        return file_->WriteAt(Offset, Data, Count);
    }
    int64_t Size() override { return file_->Size(); }
    bool Truncate(int64_t NewSize) override { return file_->Truncate(NewSize); }
    bool Sync() override { return file_->Sync(); }
    bool TryLock() override { return file_->TryLock(); }
    bool IsFileAt(const std::string& Path) override { return file_->IsFileAt(Path); }
    TFileStamp Stamp() override { return file_->Stamp(); }

private:
    std::unique_ptr<TFile> file_;
};

class TFaultyFileSystem : public TPassThroughFileSystem {
public:
    int64_t Calls = 0;   // mutating calls so far
    int64_t FailAt = -1; // the call that meets the fault
    TFault Fault = TFault::Fail;
    bool NoSpace = false;
    int64_t Faults = 0; // faults met

    // What the current mutating call meets; false = go on normally.
    bool Hit() {
        if (NoSpace) return true;
        if (++Calls != FailAt) return false;
        ++Faults;
        if (Fault == TFault::NoSpace) NoSpace = true;
        if (Fault == TFault::KillBefore) Die();
        return true;
    }
    [[noreturn]] static void Die() {
        ::kill(::getpid(), SIGKILL);
        for (;;)
            ::pause();
    }

    std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override;
    bool Remove(const std::string& Path) override;
    bool Rename(const std::string& From, const std::string& To) override;
    bool SyncFolder(const std::string& Path) override;
};

class TFaultyFile : public TFile {
public:
    TFaultyFile(std::unique_ptr<TFile> File, TFaultyFileSystem& Fs)
        : file_(std::move(File)), fs_(Fs) {}
    int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) override {
        return file_->ReadAt(Offset, Buffer, Count);
    }
    bool WriteAt(int64_t Offset, const char* Data, int64_t Count) override {
        // Out of space fails only writes that need new blocks; rewriting
        // bytes in place still works.
        if (fs_.NoSpace && Offset + Count <= file_->Size())
            return file_->WriteAt(Offset, Data, Count);
        if (!fs_.Hit()) return file_->WriteAt(Offset, Data, Count);
        // A killed process stops a write only between pages.
        const int64_t page = (Offset / 4096 + 1) * 4096;
        const int64_t part = page < Offset + Count ? page - Offset : Count;
        switch (fs_.Fault) {
        case TFault::ShortWrite:
            file_->WriteAt(Offset, Data, Count / 2);
            return false;
        case TFault::KillMidWrite:
            file_->WriteAt(Offset, Data, part);
            TFaultyFileSystem::Die();
        case TFault::KillAfter:
            file_->WriteAt(Offset, Data, Count);
            TFaultyFileSystem::Die();
        default:
            return false;
        }
    }
    int64_t Size() override { return file_->Size(); }
    bool Truncate(int64_t NewSize) override {
        if (fs_.NoSpace) return file_->Truncate(NewSize); // shrinking needs no space
        if (!fs_.Hit()) return file_->Truncate(NewSize);
        if (fs_.Fault == TFault::KillAfter || fs_.Fault == TFault::KillMidWrite) {
            file_->Truncate(NewSize);
            TFaultyFileSystem::Die();
        }
        return false;
    }
    bool Sync() override {
        if (fs_.NoSpace) return file_->Sync();
        if (!fs_.Hit()) return file_->Sync();
        if (fs_.Fault == TFault::KillAfter || fs_.Fault == TFault::KillMidWrite) {
            file_->Sync();
            TFaultyFileSystem::Die();
        }
        return false;
    }
    bool TryLock() override { return file_->TryLock(); }
    bool IsFileAt(const std::string& Path) override { return file_->IsFileAt(Path); }
    TFileStamp Stamp() override { return file_->Stamp(); }

private:
    std::unique_ptr<TFile> file_;
    TFaultyFileSystem& fs_;
};

inline std::unique_ptr<TFile> TFaultyFileSystem::Open(const std::string& Path, TOpenMode Mode) {
    const bool creates = Mode == TOpenMode::Truncate || Mode == TOpenMode::CreateNew ||
                         (Mode == TOpenMode::Create && !Real.Exists(Path));
    if (creates && Hit() && Fault != TFault::KillAfter && Fault != TFault::KillMidWrite)
        return nullptr;
    auto f = Real.Open(Path, Mode);
    if (creates && Calls == FailAt && (Fault == TFault::KillAfter || Fault == TFault::KillMidWrite))
        Die();
    if (!f) return nullptr;
    return std::make_unique<TFaultyFile>(std::move(f), *this);
}

inline bool TFaultyFileSystem::Remove(const std::string& Path) {
    if (NoSpace) return Real.Remove(Path); // removing needs no space
    if (Hit()) {
        if (Fault == TFault::KillAfter || Fault == TFault::KillMidWrite) {
            Real.Remove(Path);
            Die();
        }
        return false;
    }
    return Real.Remove(Path);
}

inline bool TFaultyFileSystem::Rename(const std::string& From, const std::string& To) {
    if (Hit()) {
        if (Fault == TFault::KillAfter || Fault == TFault::KillMidWrite) {
            Real.Rename(From, To);
            Die();
        }
        return false;
    }
    return Real.Rename(From, To);
}

inline bool TFaultyFileSystem::SyncFolder(const std::string& Path) {
    if (NoSpace) return Real.SyncFolder(Path);
    if (Hit()) {
        if (Fault == TFault::KillAfter || Fault == TFault::KillMidWrite) {
            Real.SyncFolder(Path);
            Die();
        }
        return false;
    }
    return Real.SyncFolder(Path);
}

} // namespace kb
