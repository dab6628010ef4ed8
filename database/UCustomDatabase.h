// SPDX-License-Identifier: GPL-3.0-or-later
// TCustomDatabase: the record store under the game database. Text records in
// a main file, addressed by game number through a slot index, guarded by a
// lock file. Knows nothing of chess.
//
// Durability: outside batch mode every successful Add, Replace, Delete and
// Compress is on disk when it returns. A record is appended and synced before
// the one 8-byte slot write that makes it part of the database; the header
// counts follow. A process killed at any point leaves files that open with
// every acknowledged change in place.
#pragma once

#include "FileIO.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kb {

// LastError codes.
enum TDatabaseError : int64_t {
    dbeNone = 0,
    dbeCreateIndex = 1,
    dbeWriteProtection = 2,
    dbeOpen = 3,
    dbeIndexRange = 4,
    dbeDelete = 5,
    dbeRead = 6,
    dbeReplace = 7,
    dbeAdd = 8,
    dbeCompress = 9,
    dbeExtensions = 10,
    dbeNotDatabase = 11, // the files are not one of our databases; nothing was touched
    dbeNotFound = 12,    // no main file, and the open was not asked to create one
};

// The English text the unit keeps for a LastError code.
const char* DatabaseErrorText(int64_t Code);

class TCustomDatabase {
public:
    using TCheckStepEvent =
        std::function<void(TCustomDatabase* Sender, int64_t& Step, bool& Cancel)>;
    using TProgressEvent = std::function<void(TCustomDatabase* Sender, bool& Cancel, int Percent)>;
    using TNotifyEvent = std::function<void(TCustomDatabase* Sender)>;

    // FileSystem null = the real one. It must outlive the database.
    explicit TCustomDatabase(TFileSystem* FileSystem = nullptr);
    virtual ~TCustomDatabase();
    TCustomDatabase(const TCustomDatabase&) = delete;
    TCustomDatabase& operator=(const TCustomDatabase&) = delete;

    // Success = FileName() non-empty afterwards. A missing main file is made
    // only with CreateMissing; files that are not a database of ours are
    // refused before anything is written.
    bool OpenDatabase(const std::string& FileName, const std::string& IndexExt,
                      const std::string& LockExt, int64_t Owner1, int64_t Owner2, int64_t Owner3,
                      int64_t Owner4, bool CreateMissing = false);
    void Close();

    // In batch mode (SetKeepOpen(true)) Add only queues the record; it is on
    // disk after Flush, SetKeepOpen(false), Close or any other operation.
    bool Add(std::string& Key, const std::string& Text, bool Raw);
    bool Replace(const std::string& Text, bool Raw, int64_t Index);
    bool Delete(int64_t Index);
    // 0 read, 1 deleted and SkipDeleted (no text), -1 error. Offset -1 = use Index.
    int Read(std::string& Key, std::string& Text, int64_t Index, int64_t Offset, bool Raw,
             bool SkipDeleted, int64_t MaxLen, bool& Deleted);
    int64_t GetCount();
    int64_t GetValidCount();
    bool Compress();
    void SetKeepOpen(bool Value);
    bool KeepOpen() const { return keepOpen_; }
    // Writes and syncs the records queued in batch mode. True when all of
    // them are on disk (also when none was queued).
    bool Flush();
    bool DeleteDatabaseFiles();
    std::string GameKey(int64_t Index);

    static std::string EscapeRecord(std::string_view Text);
    static std::string UnescapeRecord(std::string_view Text);

    const std::string& FileName() const { return fileName_; }
    const std::string& IndexFileName() const { return indexFileName_; }
    const std::string& LockFileName() const { return lockFileName_; }
    int64_t LastError() const { return lastError_; }
    int64_t Generation() const { return generation_; }
    bool Busy() const { return busy_; }
    bool ReadOnly() const { return readOnly_; }
    bool LockHeld() const { return lockHeld_; }
    int CheckTimeLimit() const { return checkTimeLimit_; }
    void SetCheckTimeLimit(int Seconds) { checkTimeLimit_ = Seconds; }
    // Wasted bytes (index record 1); 0 while busy or closed.
    int64_t GetWasted();

    TCheckStepEvent OnCheckStep;
    TProgressEvent OnCheckProgress;
    TProgressEvent OnRebuildProgress;
    TNotifyEvent OnBeforeCreateIndex;
    TNotifyEvent OnFileError;

    // Seconds of a steady clock; tests replace it to run out the check's time.
    std::function<double()> Clock;

protected:
    TFileSystem& Fs() { return *fs_; }
    // Whether a record may begin with this byte (an empty record is always
    // allowed). The owner's record prefixes; any byte for the plain engine.
    virtual bool IsRecordLead(unsigned char First) const { return First != 0; }
    // Sets LastError unless an earlier failure of this call set it already.
    void SetError(int64_t Code);
    // Ends an open that fails before the engine's own checks: closed, with Code.
    void RefuseOpen(int64_t Code) {
        Close();
        lastError_ = Code;
    }

private:
    enum class TCheckMode { Open, Compress };
    enum class TCheckResult { Passed, Failed, Cancelled, NotVerified };

    // Opening.
    enum class TFilesKind { Database, NotDatabase, Unreadable };
    TFilesKind ExamineFiles();
    bool TakeLock();
    void ReleaseLock();
    bool FinishInterruptedWork();
    bool IsOwnTempIndex(const std::string& Name, bool OfCompress);
    bool IsOwnTempMain(const std::string& Name);
    bool IndexDescribesExactly(const std::string& MainName);
    int RecordLeadsAreOurs(TFile& Main, int64_t End);
    std::string RebuildTempName(int K) const;
    bool SetWorkMark(char Mark);
    void EndWork();
    bool TailIsUnfinishedAppend(int64_t Tail);
    bool RepairTails();
    bool SlotsDistinct();
    TCheckResult CheckIndex(TCheckMode Mode, bool Full);
    bool RebuildIndex();
    bool MarkDirty();
    void MarkClean();

    // Files around each operation.
    bool OpenFiles();
    void CloseFiles();
    void CloseHandles();
    void StoreStamps();
    bool ReopenHandles();

    // Record and slot access; files must be open.
    bool ReadIndexRecord(int64_t Record, int64_t& Value);
    bool WriteIndexRecord(int64_t Record, int64_t Value);
    bool IsRecordStart(int64_t Offset);
    int64_t RecordLength(int64_t Offset);
    int GameOffset(int64_t Index, int64_t& Offset, bool& Deleted, int64_t& Slot);
    bool AppendRecord(const std::string& Record, int64_t& Offset);
    bool FlushPending();
    void UndoAppend(int64_t MainSize, int64_t Records, int64_t Valid);
    bool RestoreSlot(int64_t Index, int64_t Slot, int64_t Wasted, int64_t Valid);
    bool PrepareRecord(const std::string& Text, bool Raw, std::string& Record);
    bool CompressFiles();

    TFileSystem* fs_;
    std::unique_ptr<TFile> main_, index_, lock_;
    std::string fileName_, indexFileName_, lockFileName_, lockExt_, keySuffix_;
    TFileStamp mainStamp_, indexStamp_;
    bool keepOpen_ = false;
    int64_t lastError_ = 0;
    int64_t generation_ = 0;
    int checkTimeLimit_ = 0;
    int64_t owner_[4] = {0, 0, 0, 0};
    bool lockHeld_ = false;
    bool cancel_ = false;
    bool busy_ = false;
    bool readOnly_ = false;

    // Sizes while the files are open (main in bytes, index in records).
    int64_t mainSize_ = 0;
    int64_t indexRecords_ = 0;

    // Batch mode: records and slots not yet written.
    std::string pendMain_;
    std::vector<int64_t> pendSlots_;

    bool cleanAtOpen_ = false; // the last session closed the files cleanly
    char workMark_ = 1;        // the lock file's byte at open (LockInUse ...)
    bool dirty_ = false;       // the lock file says "in use" for this session
    bool suspect_ = false;     // an undo failed: check everything at the next open
};

} // namespace kb
