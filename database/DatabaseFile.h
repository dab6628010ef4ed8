// SPDX-License-Identifier: GPL-3.0-or-later
// File access of the database engine. Everything the engine does to its
// files goes through these two small interfaces, so that tests can put a
// failing or crashing file system in place of the real one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kb {

// What tells whether another writer changed a file since we last looked.
struct TFileStamp {
    int64_t MTimeNs = -1;
    int64_t Size = -1;
    uint64_t Inode = 0;
    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};

class TDbFile {
public:
    virtual ~TDbFile() = default;
    // Bytes read (fewer only at the end of the file), -1 on error.
    virtual int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) = 0;
    // True only when all Count bytes were written.
    virtual bool WriteAt(int64_t Offset, const char* Data, int64_t Count) = 0;
    // -1 on error.
    virtual int64_t Size() = 0;
    virtual bool Truncate(int64_t NewSize) = 0;
    // Data on disk, not only in the page cache.
    virtual bool Sync() = 0;
    // Exclusive lock of this open file, not waiting. Freed when the file is
    // closed or the process dies.
    virtual bool TryLock() = 0;
    // True while Path still names this very file (not replaced or removed).
    virtual bool IsFileAt(const std::string& Path) = 0;
};

enum class TOpenMode {
    Read,      // existing file, read only
    ReadWrite, // existing file
    Create,    // read and write, created when missing, content kept
    Truncate,  // read and write, created when missing, emptied
};

class TDbFileSystem {
public:
    virtual ~TDbFileSystem() = default;
    // Null on failure.
    virtual std::unique_ptr<TDbFile> Open(const std::string& Path, TOpenMode Mode) = 0;
    virtual bool Exists(const std::string& Path) = 0;
    // The file carries no write permission at all (our read-only attribute).
    virtual bool IsReadOnly(const std::string& Path) = 0;
    // Gives the owner write permission; True when the file is writable then.
    virtual bool MakeWritable(const std::string& Path) = 0;
    // True when the file is gone afterwards (also when it never existed).
    virtual bool Remove(const std::string& Path) = 0;
    // Atomically replaces To; the folder entry is on disk when it returns.
    virtual bool Rename(const std::string& From, const std::string& To) = 0;
    // Puts the folder entries of the folder holding Path on disk.
    virtual bool SyncFolder(const std::string& Path) = 0;
    virtual TFileStamp Stamp(const std::string& Path) = 0;
    // Absolute path with links resolved; for a missing file, its folder is
    // resolved and the name kept. Empty on failure.
    virtual std::string CanonicalPath(const std::string& Path) = 0;

    // The real file system.
    static TDbFileSystem& Posix();
};

} // namespace kb
