// SPDX-License-Identifier: GPL-3.0-or-later
// The one place where the program's files meet the operating system: whole
// writes despite short ones, data synced to disk, folder entries synced
// where the file system can sync a folder, and atomic replacement of a
// file. The database, the game list, the settings file and the PGN append
// all write through here. TFileSystem is the seam where tests put a failing
// file system (FaultyFileSystem.h) in place of the real one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kb {

// Plain descriptor calls, retried on EINTR.
// Reads until Count bytes or the end of the file; -1 on error.
int64_t PReadAll(int Fd, char* Buffer, int64_t Count, int64_t Offset);
// True only when all Count bytes were written; a write that makes no
// progress is a failure.
bool PWriteAll(int Fd, const char* Data, int64_t Count, int64_t Offset);
// The same at the file position (files opened for appending).
bool WriteAll(int Fd, const char* Data, int64_t Count);
// Data and size on disk, not only in the page cache.
bool SyncFile(int Fd);
// Puts the entries of a folder on disk. A file system that cannot sync a
// folder at all counts as done: its files are synced on their own.
bool SyncDirectory(const std::string& Folder);
// SyncDirectory of the folder holding Path.
bool SyncFolderOf(const std::string& Path);
// The folder part of Path ("." for a bare name).
std::string FolderOf(const std::string& Path);

// What tells whether another writer changed a file since we last looked.
// The change time comes along because a writer can put the modification
// time back (cp -p, touch -r), but not the change time.
struct TFileStamp {
    int64_t MTimeNs = -1;
    int64_t CTimeNs = -1;
    int64_t Size = -1;
    uint64_t Inode = 0;
    uint64_t Device = 0;
    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};

class TFile {
public:
    virtual ~TFile() = default;
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
    // The stamp of the open file; MTimeNs -1 on error.
    virtual TFileStamp Stamp() = 0;
    // The file is about to be read from start to end.
    virtual void AdviseSequential() {}
};

enum class TOpenMode {
    Read,      // existing file, read only
    ReadWrite, // existing file
    Create,    // read and write, created when missing, content kept
    Truncate,  // read and write, created when missing, emptied
    CreateNew, // read and write, only when no file of that name exists
};

class TFileSystem {
public:
    virtual ~TFileSystem() = default;
    // Regular files only; null on failure.
    virtual std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) = 0;
    virtual bool Exists(const std::string& Path) = 0;
    // The file carries no write permission at all (our read-only attribute).
    virtual bool IsReadOnly(const std::string& Path) = 0;
    // Gives the owner write permission; True when the file is writable then.
    virtual bool MakeWritable(const std::string& Path) = 0;
    // Gives Path the permission bits of Model (when Model exists).
    virtual bool CopyPermissions(const std::string& Model, const std::string& Path) = 0;
    // True when the file is gone afterwards (also when it never existed).
    virtual bool Remove(const std::string& Path) = 0;
    // Atomically replaces To. Not yet durable: SyncFolder makes it so.
    virtual bool Rename(const std::string& From, const std::string& To) = 0;
    // SyncFolderOf through the seam.
    virtual bool SyncFolder(const std::string& Path) = 0;
    virtual TFileStamp Stamp(const std::string& Path) = 0;
    // Absolute path with links resolved; for a missing file, its folder is
    // resolved and the name kept. Empty on failure.
    virtual std::string CanonicalPath(const std::string& Path) = 0;

    // The real file system.
    static TFileSystem& Posix();
};

// A new version of a file, written beside it and put in its place in one
// step, so that a crash at any instant leaves the old file or the new one.
// The temporary file is hidden and carries the program's mark and its
// writer's process id (ReplacementName); it is locked while it is written:
// RemoveStaleReplacements takes only the ones no writer holds. The process
// id only keeps the names of writers apart; it proves nothing about them.
class TReplacement {
public:
    TReplacement() = default;
    ~TReplacement() { Discard(); }
    TReplacement(const TReplacement&) = delete;
    TReplacement& operator=(const TReplacement&) = delete;

    // Creates the temporary file beside Target (beside the file a symbolic
    // link names), with Target's permission bits. False on failure.
    bool Begin(TFileSystem& Fs, const std::string& Target);
    // The temporary file, for writing the new content.
    TFile& File() { return *file_; }
    // Syncs the new content, renames it over the target and syncs the
    // folder. False when the target was not replaced (it is then as it
    // was) or the folder sync failed (Renamed() tells the two apart).
    bool Commit() { return SyncContent() && RenameOver(); }
    // The two halves of Commit, for a writer that checks the target once
    // more between the slow sync and the rename. A failed sync discards
    // the temporary file.
    bool SyncContent();
    // Renames the synced content over the target and syncs the folder.
    bool RenameOver();
    bool Renamed() const { return renamed_; }
    // Removes the temporary file unless it was committed.
    void Discard();
    const std::string& Target() const { return target_; }

private:
    TFileSystem* fs_ = nullptr;
    std::string target_, temp_;
    std::unique_ptr<TFile> file_;
    bool renamed_ = false;
};

// The temporary name of attempt N of process Pid for a new version of
// Target: ".<name>.kestrelbay-<pid>-<n>.tmp" beside it. No other name is
// ever taken for a leftover.
std::string ReplacementName(const std::string& Target, long long Pid, int N);

// Removes temporary files that an interrupted TReplacement of Target left
// (a crashed or killed writer): those whose lock no writer holds, whatever
// process id their names carry. Returns how many were removed.
int RemoveStaleReplacements(TFileSystem& Fs, const std::string& Target);

// Writes Content to Path through a fresh temporary file beside it, synced,
// renamed over Path and the folder synced. A symbolic link is written
// through to the file it names, whose permission bits the new file keeps.
// False when anything failed: before the rename Path is then as it was;
// after it (the folder sync failed) Path holds the new content, which a
// crash may still take back.
bool ReplaceFileContent(TFileSystem& Fs, const std::string& Path, std::string_view Content);

} // namespace kb
