// SPDX-License-Identifier: GPL-3.0-or-later
// The file calls of the game list, behind a small interface so that tests can
// make reads and writes fail (short writes, a full disk) at any point. The
// real calls are those of the platform's file layer (FileIO.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kb {

class TPGNFileIO {
public:
    virtual ~TPGNFileIO() = default;

    // A file descriptor, or -1. Flags as for open(2).
    virtual int Open(const std::string& Path, int Flags, int Mode = 0644);
    virtual bool Close(int Fd);
    // Bytes transferred (possibly fewer than asked), -1 on error.
    virtual int64_t PRead(int Fd, void* Buf, size_t Count, int64_t Offset);
    virtual int64_t PWrite(int Fd, const void* Buf, size_t Count, int64_t Offset);
    virtual bool Truncate(int Fd, int64_t Size);
    virtual bool Sync(int Fd);
    // Makes a creation or removal of an entry of the folder durable.
    virtual bool SyncDir(const std::string& Dir);
    virtual bool Remove(const std::string& Path);
    // Non-blocking exclusive lock on the whole file; released on close.
    virtual bool LockExclusive(int Fd);
    // Size and modification time (nanoseconds) of an open file.
    virtual bool Stat(int Fd, int64_t& Size, int64_t& MTimeNs);
};

// The plain POSIX calls.
TPGNFileIO& DefaultPGNFileIO();

// Reads until Count bytes or the end of the file; -1 on error.
int64_t ReadFully(TPGNFileIO& IO, int Fd, void* Buf, size_t Count, int64_t Offset);
// Writes all Count bytes; a write that makes no progress is a failure.
bool WriteFully(TPGNFileIO& IO, int Fd, const void* Buf, size_t Count, int64_t Offset);

} // namespace kb
