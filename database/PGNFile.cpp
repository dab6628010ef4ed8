// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNFile.h"

#include "FileIO.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kb {

int TPGNFileIO::Open(const std::string& Path, int Flags, int Mode) {
    int fd;
    do {
        fd = ::open(Path.c_str(), Flags | O_CLOEXEC, Mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool TPGNFileIO::Close(int Fd) {
    return ::close(Fd) == 0;
}

int64_t TPGNFileIO::PRead(int Fd, void* Buf, size_t Count, int64_t Offset) {
    ssize_t n;
    do {
        n = ::pread(Fd, Buf, Count, static_cast<off_t>(Offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t TPGNFileIO::PWrite(int Fd, const void* Buf, size_t Count, int64_t Offset) {
    ssize_t n;
    do {
        n = ::pwrite(Fd, Buf, Count, static_cast<off_t>(Offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

bool TPGNFileIO::Truncate(int Fd, int64_t Size) {
    int r;
    do {
        r = ::ftruncate(Fd, static_cast<off_t>(Size));
    } while (r < 0 && errno == EINTR);
    return r == 0;
}

bool TPGNFileIO::Sync(int Fd) {
    return SyncFile(Fd);
}

bool TPGNFileIO::SyncDir(const std::string& Dir) {
    return SyncDirectory(Dir);
}

bool TPGNFileIO::Remove(const std::string& Path) {
    return ::unlink(Path.c_str()) == 0;
}

bool TPGNFileIO::LockExclusive(int Fd) {
    int r;
    do {
        r = ::flock(Fd, LOCK_EX | LOCK_NB);
    } while (r < 0 && errno == EINTR);
    return r == 0;
}

bool TPGNFileIO::Stat(int Fd, int64_t& Size, int64_t& MTimeNs) {
    struct stat st {};
    if (::fstat(Fd, &st) != 0) return false;
    Size = st.st_size;
    MTimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

TPGNFileIO& DefaultPGNFileIO() {
    static TPGNFileIO io;
    return io;
}

int64_t ReadFully(TPGNFileIO& IO, int Fd, void* Buf, size_t Count, int64_t Offset) {
    size_t done = 0;
    while (done < Count) {
        int64_t n = IO.PRead(Fd, static_cast<char*>(Buf) + done, Count - done,
                             Offset + static_cast<int64_t>(done));
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool WriteFully(TPGNFileIO& IO, int Fd, const void* Buf, size_t Count, int64_t Offset) {
    size_t done = 0;
    while (done < Count) {
        int64_t n = IO.PWrite(Fd, static_cast<const char*>(Buf) + done, Count - done,
                              Offset + static_cast<int64_t>(done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace kb
