// SPDX-License-Identifier: GPL-3.0-or-later
#include "DatabaseFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kb {
namespace {

std::string FolderOf(const std::string& Path) {
    const auto slash = Path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return Path.substr(0, slash);
}

class TPosixFile final : public TDbFile {
public:
    explicit TPosixFile(int Fd) : fd_(Fd) {}
    ~TPosixFile() override { ::close(fd_); }

    int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) override {
        if (Offset < 0 || Count < 0) return -1;
        int64_t done = 0;
        while (done < Count) {
            const ssize_t n = ::pread(fd_, Buffer + done, static_cast<size_t>(Count - done),
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

    bool WriteAt(int64_t Offset, const char* Data, int64_t Count) override {
        if (Offset < 0 || Count < 0) return false;
        int64_t done = 0;
        while (done < Count) {
            const ssize_t n = ::pwrite(fd_, Data + done, static_cast<size_t>(Count - done),
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

    int64_t Size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return -1;
        return st.st_size;
    }

    bool Truncate(int64_t NewSize) override {
        return NewSize >= 0 && ::ftruncate(fd_, static_cast<off_t>(NewSize)) == 0;
    }

    bool Sync() override { return ::fdatasync(fd_) == 0; }

    bool TryLock() override { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }

    bool IsFileAt(const std::string& Path) override {
        struct stat mine {
        }, there{};
        if (::fstat(fd_, &mine) != 0 || ::stat(Path.c_str(), &there) != 0) return false;
        return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
    }

private:
    int fd_;
};

class TPosixFileSystem final : public TDbFileSystem {
public:
    std::unique_ptr<TDbFile> Open(const std::string& Path, TOpenMode Mode) override {
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
        }
        int fd;
        do {
            fd = ::open(Path.c_str(), flags, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
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

    bool Remove(const std::string& Path) override {
        return ::unlink(Path.c_str()) == 0 || errno == ENOENT;
    }

    bool Rename(const std::string& From, const std::string& To) override {
        if (::rename(From.c_str(), To.c_str()) != 0) return false;
        return SyncFolder(To);
    }

    bool SyncFolder(const std::string& Path) override {
        const int fd = ::open(FolderOf(Path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool ok = ::fsync(fd) == 0;
        ::close(fd);
        return ok;
    }

    TFileStamp Stamp(const std::string& Path) override {
        TFileStamp s;
        struct stat st {};
        if (::stat(Path.c_str(), &st) != 0) return s;
        s.MTimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        s.Size = st.st_size;
        s.Inode = st.st_ino;
        return s;
    }

    std::string CanonicalPath(const std::string& Path) override {
        std::error_code ec;
        auto p = std::filesystem::weakly_canonical(std::filesystem::absolute(Path, ec), ec);
        if (ec) return {};
        return p.string();
    }
};

} // namespace

TDbFileSystem& TDbFileSystem::Posix() {
    static TPosixFileSystem fs;
    return fs;
}

} // namespace kb
