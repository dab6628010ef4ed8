// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileIO.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kb {

int64_t PReadAll(int Fd, char* Buffer, int64_t Count, int64_t Offset) {
    if (Offset < 0 || Count < 0) return -1;
    int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::pread(Fd, Buffer + done, static_cast<size_t>(Count - done),
                                  static_cast<off_t>(Offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += n;
    }
    return done;
}

bool PWriteAll(int Fd, const char* Data, int64_t Count, int64_t Offset) {
    if (Offset < 0 || Count < 0) return false;
    int64_t done = 0;
    while (done < Count) {
        const ssize_t n = ::pwrite(Fd, Data + done, static_cast<size_t>(Count - done),
                                   static_cast<off_t>(Offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += n;
    }
    return true;
}

bool WriteAll(int Fd, const char* Data, int64_t Count) {
    if (Count < 0) return false;
    while (Count > 0) {
        const ssize_t n = ::write(Fd, Data, static_cast<size_t>(Count));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        Data += n;
        Count -= n;
    }
    return true;
}

bool SyncFile(int Fd) {
    int r;
    do {
        r = ::fdatasync(Fd);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

std::string FolderOf(const std::string& Path) {
    const auto slash = Path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return Path.substr(0, slash);
}

bool SyncFolderOf(const std::string& Path) {
    return SyncDirectory(FolderOf(Path));
}

bool SyncDirectory(const std::string& Folder) {
    const int fd =
        ::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int r;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    // Some file systems cannot sync a folder; that is no failure of ours.
    const bool ok = r == 0 || errno == EINVAL || errno == ENOTSUP || errno == EROFS;
    ::close(fd);
    return ok;
}

namespace {

int64_t Nanoseconds(const timespec& T) {
    return static_cast<int64_t>(T.tv_sec) * 1000000000 + T.tv_nsec;
}

TFileStamp StampOf(const struct stat& St) {
    TFileStamp s;
    s.MTimeNs = Nanoseconds(St.st_mtim);
    s.CTimeNs = Nanoseconds(St.st_ctim);
    s.Size = St.st_size;
    s.Inode = St.st_ino;
    s.Device = St.st_dev;
    return s;
}

class TPosixFile final : public TFile {
public:
    explicit TPosixFile(int Fd) : fd_(Fd) {}
    ~TPosixFile() override { ::close(fd_); }

    int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) override {
        return PReadAll(fd_, Buffer, Count, Offset);
    }
    bool WriteAt(int64_t Offset, const char* Data, int64_t Count) override {
        return PWriteAll(fd_, Data, Count, Offset);
    }
    int64_t Size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return -1;
        return st.st_size;
    }
    bool Truncate(int64_t NewSize) override {
        if (NewSize < 0) return false;
        int r;
        do {
            r = ::ftruncate(fd_, static_cast<off_t>(NewSize));
        } while (r != 0 && errno == EINTR);
        return r == 0;
    }
    bool Sync() override { return SyncFile(fd_); }
    bool TryLock() override {
        int r;
        do {
            r = ::flock(fd_, LOCK_EX | LOCK_NB);
        } while (r != 0 && errno == EINTR);
        return r == 0;
    }
    bool IsFileAt(const std::string& Path) override {
        struct stat mine {
        }, there{};
        if (::fstat(fd_, &mine) != 0 || ::stat(Path.c_str(), &there) != 0) return false;
        return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
    }
    TFileStamp Stamp() override {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? StampOf(st) : TFileStamp{};
    }
    void AdviseSequential() override {
#ifdef POSIX_FADV_SEQUENTIAL
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    }

private:
    int fd_;
};

class TPosixFileSystem final : public TFileSystem {
public:
    std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override {
        int flags = O_CLOEXEC;
        switch (Mode) {
        case TOpenMode::Read:
            flags |= O_RDONLY;
            break;
        case TOpenMode::ReadWrite:
            flags |= O_RDWR;
            break;
        case TOpenMode::Create:
            flags |= O_RDWR | O_CREAT;
            break;
        case TOpenMode::Truncate:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
        case TOpenMode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL;
            break;
        }
        // Not waiting in open: a named pipe under the name would hold the
        // caller until some writer comes. Regular files read and write as
        // ever once the flag is off again.
        int fd;
        do {
            fd = ::open(Path.c_str(), flags | O_NONBLOCK, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<TPosixFile>(fd);
    }

    bool Exists(const std::string& Path) override {
        struct stat st {};
        return ::stat(Path.c_str(), &st) == 0;
    }

    bool IsReadOnly(const std::string& Path) override {
        struct stat st {};
        if (::stat(Path.c_str(), &st) != 0) return false;
        return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    }

    bool MakeWritable(const std::string& Path) override {
        struct stat st {};
        if (::stat(Path.c_str(), &st) != 0) return false;
        if (st.st_mode & S_IWUSR) return true;
        return ::chmod(Path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
    }

    bool CopyPermissions(const std::string& Model, const std::string& Path) override {
        struct stat st {};
        if (::stat(Model.c_str(), &st) != 0) return true;
        return ::chmod(Path.c_str(), st.st_mode & 07777) == 0;
    }

    bool Remove(const std::string& Path) override {
        return ::unlink(Path.c_str()) == 0 || errno == ENOENT;
    }

    bool Rename(const std::string& From, const std::string& To) override {
        return ::rename(From.c_str(), To.c_str()) == 0;
    }

    bool SyncFolder(const std::string& Path) override { return SyncFolderOf(Path); }

    TFileStamp Stamp(const std::string& Path) override {
        struct stat st {};
        return ::stat(Path.c_str(), &st) == 0 ? StampOf(st) : TFileStamp{};
    }

    std::string CanonicalPath(const std::string& Path) override {
        std::error_code ec;
        auto p = std::filesystem::weakly_canonical(std::filesystem::absolute(Path, ec), ec);
        if (ec) return {};
        return p.string();
    }
};

} // namespace

TFileSystem& TFileSystem::Posix() {
    static TPosixFileSystem fs;
    return fs;
}

namespace {

constexpr std::string_view kReplacementMark = ".kestrelbay-";
constexpr std::string_view kReplacementEnd = ".tmp";

bool AllDigits(std::string_view S) {
    if (S.empty() || S.size() > 18) return false;
    for (char c : S)
        if (c < '0' || c > '9') return false;
    return true;
}

// Name is one of our temporary names for a file named Base.
bool IsReplacementName(std::string_view Name, std::string_view Base) {
    const size_t head = 1 + Base.size() + kReplacementMark.size();
    if (Name.size() <= head + kReplacementEnd.size() || Name[0] != '.' ||
        Name.substr(1, Base.size()) != Base ||
        Name.substr(1 + Base.size(), kReplacementMark.size()) != kReplacementMark ||
        !Name.ends_with(kReplacementEnd))
        return false;
    const std::string_view mid = Name.substr(head, Name.size() - head - kReplacementEnd.size());
    const size_t dash = mid.find('-');
    return dash != std::string_view::npos && AllDigits(mid.substr(0, dash)) &&
           AllDigits(mid.substr(dash + 1));
}

// Removes the temporary file at Path when no writer holds it. A writer
// holds its lock from the file's creation until it renames or removes it, so
// the lock alone tells a leftover from work in progress, whatever process
// number the name carries (numbers repeat: in a container every start may
// get the same one, and a lock of this very process counts like any other).
bool RemoveIfUnheld(TFileSystem& Fs, const std::string& Path) {
    auto file = Fs.Open(Path, TOpenMode::Read);
    if (!file || !file->TryLock() || !file->IsFileAt(Path)) return false;
    return Fs.Remove(Path);
}

} // namespace

std::string ReplacementName(const std::string& Target, long long Pid, int N) {
    const std::string folder = FolderOf(Target);
    const size_t slash = Target.find_last_of('/');
    const std::string base = slash == std::string::npos ? Target : Target.substr(slash + 1);
    return (slash == std::string::npos ? std::string() : folder + (folder == "/" ? "" : "/")) +
           "." + base + std::string(kReplacementMark) + std::to_string(Pid) + "-" +
           std::to_string(N) + std::string(kReplacementEnd);
}

bool TReplacement::Begin(TFileSystem& Fs, const std::string& Target) {
    Discard();
    if (Target.empty()) return false;
    fs_ = &Fs;
    renamed_ = false;
    target_ = Target;
    std::error_code ec;
    if (std::filesystem::is_symlink(target_, ec)) {
        target_ = Fs.CanonicalPath(Target);
        if (target_.empty()) return false;
    }
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        temp_ = ReplacementName(target_, ::getpid(), attempt);
        // A leftover of an earlier process of the same number is no reason
        // to give up: it goes, unless its writer still holds it.
        if (Fs.Exists(temp_) && !RemoveIfUnheld(Fs, temp_)) continue;
        file_ = Fs.Open(temp_, TOpenMode::CreateNew);
        if (!file_) {
            if (!Fs.Exists(temp_)) break;
            continue;
        }
        // A cleaner may have taken the fresh file between its creation and
        // the lock: then it is no longer at its name, and we try the next.
        if (!file_->TryLock() || !file_->IsFileAt(temp_)) file_.reset();
    }
    if (!file_) {
        temp_.clear();
        return false;
    }
    if (!Fs.CopyPermissions(target_, temp_)) {
        Discard();
        return false;
    }
    return true;
}

bool TReplacement::SyncContent() {
    if (!file_) return false;
    // Data first, then the name: a crash before the rename leaves the old
    // file, after it the new one, whole.
    if (!file_->Sync()) {
        Discard();
        return false;
    }
    return true;
}

bool TReplacement::RenameOver() {
    if (!file_) return false;
    if (!fs_->Rename(temp_, target_)) {
        Discard();
        return false;
    }
    renamed_ = true;
    file_.reset();
    temp_.clear();
    return fs_->SyncFolder(target_);
}

void TReplacement::Discard() {
    if (!file_ && temp_.empty()) return;
    file_.reset();
    if (!temp_.empty() && !renamed_) fs_->Remove(temp_);
    temp_.clear();
}

int RemoveStaleReplacements(TFileSystem& Fs, const std::string& Target) {
    if (Target.empty()) return 0;
    // A replacement is written beside the file a symbolic link names.
    std::error_code link;
    const std::filesystem::path target(
        std::filesystem::is_symlink(Target, link) ? Fs.CanonicalPath(Target) : Target);
    if (target.empty()) return 0;
    const std::string base = target.filename().string();
    std::error_code ec;
    std::filesystem::directory_iterator it(
        target.has_parent_path() ? target.parent_path() : std::filesystem::path("."), ec);
    int removed = 0;
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Only names this program makes, and only once no writer holds
        // them: a file of the user's is never taken, whatever it is called
        // or holds.
        if (!IsReplacementName(name, base)) continue;
        if (RemoveIfUnheld(Fs, it->path().string())) ++removed;
    }
    if (removed > 0) Fs.SyncFolder(target.string());
    return removed;
}

bool ReplaceFileContent(TFileSystem& Fs, const std::string& Path, std::string_view Content) {
    TReplacement r;
    if (!r.Begin(Fs, Path)) return false;
    if (!r.File().WriteAt(0, Content.data(), static_cast<int64_t>(Content.size()))) return false;
    // The new content is in place even when only the folder sync failed;
    // the caller learns that the rename is less durable.
    return r.Commit();
}

} // namespace kb
