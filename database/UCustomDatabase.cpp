// SPDX-License-Identifier: GPL-3.0-or-later
#include "UCustomDatabase.h"

#include "DatabaseFormat.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace kb {
namespace {

constexpr int64_t ReadBlock = 2048;
constexpr size_t BatchLimit = size_t{4} << 20;

double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

const char* DatabaseErrorText(int64_t Code) {
    switch (Code) {
    case dbeCreateIndex:
        return "Error while creating index file.";
    case dbeWriteProtection:
        return "Write protection could not be deleted.";
    case dbeOpen:
        return "Error.";
    case dbeIndexRange:
        return "Index out of range.";
    case dbeDelete:
        return "Data could not be removed.";
    case dbeRead:
        return "Data could not be read.";
    case dbeReplace:
        return "Data could not be replaced.";
    case dbeAdd:
        return "Data could not be added.";
    case dbeCompress:
        return "File could not be compressed.";
    case dbeExtensions:
        return "Wrong file extensions.";
    case dbeNotDatabase:
        return "The file is not a database.";
    case dbeNotFound:
        return "The database file does not exist.";
    default:
        return "";
    }
}

TCustomDatabase::TCustomDatabase(TFileSystem* FileSystem)
    : Clock(SteadySeconds), fs_(FileSystem ? FileSystem : &TFileSystem::Posix()) {}

TCustomDatabase::~TCustomDatabase() {
    busy_ = false;
    Close();
}

void TCustomDatabase::SetError(int64_t Code) {
    if (lastError_ == 0) lastError_ = Code;
}

std::string TCustomDatabase::EscapeRecord(std::string_view Text) {
    return EscapeBytes(Text);
}
std::string TCustomDatabase::UnescapeRecord(std::string_view Text) {
    return UnescapeBytes(Text);
}

// ---------------------------------------------------------------------------
// Opening and closing

bool TCustomDatabase::OpenDatabase(const std::string& FileName, const std::string& IndexExt,
                                   const std::string& LockExt, int64_t Owner1, int64_t Owner2,
                                   int64_t Owner3, int64_t Owner4, bool CreateMissing) {
    if (busy_) return false;
    lastError_ = 0;
    const std::string ie = UpperAscii(IndexExt), le = UpperAscii(LockExt),
                      me = UpperAscii(ExtractFileExt(FileName));
    if (ie == le || ie == me || le == me) {
        SetError(dbeExtensions);
        return false;
    }
    Close();
    lastError_ = 0;
    owner_[0] = Owner1;
    owner_[1] = Owner2;
    owner_[2] = Owner3;
    owner_[3] = Owner4;
    if (FileName.empty()) {
        SetError(dbeOpen);
        return false;
    }
    try {
        lockExt_ = LockExt;
        fileName_ = FileName;
        indexFileName_ = ChangeFileExt(FileName, IndexExt);
        suspect_ = false;
        // Judged before the lock, so that a refused file gets no companions.
        const bool exists = Fs().Exists(fileName_);
        TFilesKind kind = TFilesKind::Database;
        if (!exists && !CreateMissing) {
            SetError(dbeNotFound);
        } else if ((kind = ExamineFiles()) != TFilesKind::Database) {
            SetError(kind == TFilesKind::NotDatabase ? dbeNotDatabase : dbeOpen);
        }
        if (lastError_ != 0) {
            fileName_.clear();
            return false;
        }
        readOnly_ = Fs().Exists(fileName_) && Fs().IsReadOnly(fileName_);
        if (!TakeLock()) {
            SetError(dbeOpen);
            fileName_.clear();
            return false;
        }
        bool ok = true;
        if (!readOnly_) {
            ok = FinishInterruptedWork();
            for (const std::string* name : {&indexFileName_, &fileName_}) {
                if (ok && !Fs().Exists(*name) && !Fs().Open(*name, TOpenMode::Create)) ok = false;
                if (ok && !Fs().MakeWritable(*name)) ok = false;
            }
        } else if (!Fs().Exists(indexFileName_)) {
            // A read-only database without index: build one beside it if the folder allows.
            auto main = Fs().Open(fileName_, TOpenMode::Read);
            ok = main && (mainSize_ = main->Size()) >= 0;
            if (ok) {
                main_ = std::move(main);
                indexRecords_ = 0;
                ok = RebuildIndex();
                CloseHandles();
                if (!ok) {
                    SetError(dbeCreateIndex);
                    ReleaseLock();
                    fileName_.clear();
                    return false;
                }
            }
        }
        keySuffix_ = ":" + fileName_;
        mainStamp_ = indexStamp_ = TFileStamp{};
        if (!ok || !OpenFiles()) {
            SetError(dbeOpen);
            CloseHandles();
            ReleaseLock();
            fileName_.clear();
            return false;
        }
        bool verified = false;
        if (!readOnly_) RepairTails();
        const bool full = !cleanAtOpen_ || suspect_;
        switch (CheckIndex(TCheckMode::Open, full)) {
        case TCheckResult::Passed:
            verified = full;
            break;
        case TCheckResult::Cancelled:
        case TCheckResult::NotVerified:
            break;
        case TCheckResult::Failed:
            if (!RebuildIndex()) {
                SetError(dbeCreateIndex);
                CloseHandles();
                ReleaseLock();
                fileName_.clear();
                return false;
            }
            verified = true;
            break;
        }
        // A session that ended uncleanly is known sound again only after a full check.
        if (verified) MarkClean();
        const bool keep = keepOpen_;
        keepOpen_ = false;
        CloseFiles();
        keepOpen_ = keep;
        return true;
    } catch (const std::exception&) {
        SetError(dbeOpen);
        busy_ = false;
        CloseHandles();
        ReleaseLock();
        fileName_.clear();
        return false;
    }
}

bool TCustomDatabase::TakeLock() {
    lockFileName_ = ChangeFileExt(fileName_, lockExt_);
    cleanAtOpen_ = false;
    dirty_ = false;
    if (readOnly_) return true;
    if (Fs().Exists(lockFileName_)) Fs().MakeWritable(lockFileName_);
    // The holder may remove the lock file while we wait for it; then take the new one.
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto lock = Fs().Open(lockFileName_, TOpenMode::Create);
        if (!lock || !lock->TryLock()) return false;
        if (!lock->IsFileAt(lockFileName_)) continue;
        char b = 1;
        const int64_t size = lock->Size();
        const bool read = size == 1 && lock->ReadAt(0, &b, 1) == 1;
        cleanAtOpen_ = read && b == LockClean;
        workMark_ = read ? b : LockInUse;
        if (size != 1) {
            // Unknown history: in use until a full check has passed.
            if (!lock->Truncate(0) || !lock->WriteAt(0, &LockInUse, 1)) return false;
        }
        lock_ = std::move(lock);
        lockHeld_ = true;
        return true;
    }
    return false;
}

void TCustomDatabase::ReleaseLock() {
    lock_.reset();
    lockHeld_ = false;
    dirty_ = false;
}

bool TCustomDatabase::MarkDirty() {
    if (dirty_) return true;
    if (!lock_) return false;
    if (!lock_->WriteAt(0, &LockInUse, 1) || !lock_->Sync()) return false;
    dirty_ = true;
    return true;
}

// Names the work about to leave temporary files beside the database, on
// disk before the first of them is made.
bool TCustomDatabase::SetWorkMark(char Mark) {
    if (!lock_ || !lock_->WriteAt(0, &Mark, 1) || !lock_->Sync()) return false;
    dirty_ = true;
    return true;
}

// The work's temporary files are gone: none beside the database is ours.
void TCustomDatabase::EndWork() {
    SetWorkMark(LockInUse);
}

void TCustomDatabase::MarkClean() {
    if (!lock_ || suspect_) return;
    if (lock_->WriteAt(0, &LockClean, 1)) dirty_ = false;
}

void TCustomDatabase::Close() {
    if (busy_) return;
    if ((main_ || index_) && !FlushPending()) SetError(dbeAdd);
    pendMain_.clear();
    pendSlots_.clear();
    keepOpen_ = false;
    CloseHandles();
    if (dirty_) MarkClean();
    ReleaseLock();
    fileName_.clear();
}

bool TCustomDatabase::DeleteDatabaseFiles() {
    if (busy_) return false;
    if (fileName_.empty()) return true;
    pendMain_.clear();
    pendSlots_.clear();
    keepOpen_ = false;
    CloseHandles();
    // Removed while still held, so a waiting opener sees that its lock file is gone.
    const bool ok =
        Fs().Remove(lockFileName_) && Fs().Remove(indexFileName_) && Fs().Remove(fileName_);
    ReleaseLock();
    fileName_.clear();
    return ok;
}

// ---------------------------------------------------------------------------
// Files around each operation

bool TCustomDatabase::OpenFiles() {
    lastError_ = 0;
    if (main_ && index_) return true;
    if (busy_) return false;
    bool usable = !fileName_.empty() && Fs().Exists(fileName_) && Fs().Exists(indexFileName_);
    if (usable && !readOnly_)
        usable = Fs().MakeWritable(fileName_) && Fs().MakeWritable(indexFileName_);
    if (usable) {
        const bool mainChanged = mainStamp_.MTimeNs != -1 && Fs().Stamp(fileName_) != mainStamp_;
        const bool indexChanged =
            indexStamp_.MTimeNs != -1 && Fs().Stamp(indexFileName_) != indexStamp_;
        if (mainChanged || indexChanged) ++generation_;
        const TOpenMode mode = readOnly_ ? TOpenMode::Read : TOpenMode::ReadWrite;
        main_ = Fs().Open(fileName_, mode);
        index_ = Fs().Open(indexFileName_, mode);
        usable = main_ && index_;
        if (usable) {
            mainSize_ = main_->Size();
            const int64_t indexSize = index_->Size();
            indexRecords_ = indexSize / 8;
            usable = mainSize_ >= 0 && indexSize >= 0;
        }
    }
    if (!usable) {
        CloseHandles();
        if (OnFileError) OnFileError(this);
        return false;
    }
    return true;
}

void TCustomDatabase::CloseFiles() {
    if (keepOpen_ || busy_) return;
    if (!pendSlots_.empty() && !FlushPending()) SetError(dbeAdd);
    CloseHandles();
    StoreStamps();
}

void TCustomDatabase::CloseHandles() {
    main_.reset();
    index_.reset();
}

void TCustomDatabase::StoreStamps() {
    if (fileName_.empty()) return;
    mainStamp_ = Fs().Stamp(fileName_);
    indexStamp_ = Fs().Stamp(indexFileName_);
}

bool TCustomDatabase::ReopenHandles() {
    CloseHandles();
    const TOpenMode mode = readOnly_ ? TOpenMode::Read : TOpenMode::ReadWrite;
    main_ = Fs().Open(fileName_, mode);
    index_ = Fs().Open(indexFileName_, mode);
    if (!main_ || !index_) {
        CloseHandles();
        return false;
    }
    mainSize_ = main_->Size();
    indexRecords_ = index_->Size() / 8;
    return mainSize_ >= 0 && indexRecords_ >= 0;
}

void TCustomDatabase::SetKeepOpen(bool Value) {
    if (Value) {
        if (keepOpen_ || busy_ || !OpenFiles()) return;
        keepOpen_ = true;
        return;
    }
    if (!keepOpen_) return;
    if (!FlushPending()) SetError(dbeAdd);
    keepOpen_ = false;
    CloseFiles();
}

bool TCustomDatabase::Flush() {
    if (busy_) return false;
    if (pendSlots_.empty()) return true;
    lastError_ = 0;
    const bool ok = FlushPending();
    if (!ok) SetError(dbeAdd);
    return ok;
}

// ---------------------------------------------------------------------------
// Records and slots

bool TCustomDatabase::ReadIndexRecord(int64_t Record, int64_t& Value) {
    char b[8];
    if (!index_ || Record < 0 || Record >= indexRecords_) return false;
    if (index_->ReadAt(Record * 8, b, 8) != 8) return false;
    Value = GetInt64LE(b);
    return true;
}

bool TCustomDatabase::WriteIndexRecord(int64_t Record, int64_t Value) {
    char b[8];
    PutInt64LE(b, Value);
    if (!index_ || readOnly_ || Record < 0 || Record > indexRecords_) return false;
    if (!index_->WriteAt(Record * 8, b, 8)) return false;
    if (Record == indexRecords_) ++indexRecords_;
    return true;
}

bool TCustomDatabase::IsRecordStart(int64_t Offset) {
    if (!main_ || Offset < 0 || Offset >= mainSize_) return false;
    if (Offset == 0) return true;
    char b = 1;
    return main_->ReadAt(Offset - 1, &b, 1) == 1 && b == RecordEnd;
}

int64_t TCustomDatabase::RecordLength(int64_t Offset) {
    char buf[4096];
    int64_t pos = Offset;
    while (pos < mainSize_) {
        const int64_t want = std::min<int64_t>(sizeof buf, mainSize_ - pos);
        const int64_t got = main_->ReadAt(pos, buf, want);
        if (got <= 0) return -1;
        const char* end = std::find(buf, buf + got, RecordEnd);
        if (end != buf + got) return pos + (end - buf) - Offset;
        pos += got;
    }
    return -1;
}

int TCustomDatabase::GameOffset(int64_t Index, int64_t& Offset, bool& Deleted, int64_t& Slot) {
    Offset = -1;
    if (Index < 0 || Index >= indexRecords_ - IndexHeaderRecords) {
        SetError(dbeIndexRange);
        return -1;
    }
    if (!ReadIndexRecord(IndexHeaderRecords + Index, Slot)) return -1;
    Deleted = Slot < 0;
    Offset = SlotOffset(Slot);
    return 0;
}

bool TCustomDatabase::PrepareRecord(const std::string& Text, bool Raw, std::string& Record) {
    Record = Raw ? Text : EscapeBytes(Text);
    // A raw text with 0x00 would cut the record in two.
    if (Record.find(RecordEnd) != std::string::npos) return false;
    Record += RecordEnd;
    return true;
}

// Appends one record and its slot; on disk when it returns True. Undoes
// what it wrote on failure.
bool TCustomDatabase::AppendRecord(const std::string& Record, int64_t& Offset) {
    int64_t valid = 0;
    if (!MarkDirty() || !ReadIndexRecord(ihValid, valid)) return false;
    const int64_t start = mainSize_, records = indexRecords_;
    if (!main_->WriteAt(start, Record.data(), static_cast<int64_t>(Record.size())) ||
        !main_->Sync()) {
        if (!main_->Truncate(start)) suspect_ = true;
        return false;
    }
    mainSize_ = start + static_cast<int64_t>(Record.size());
    // The slot write is the commit point; the count follows.
    if (!WriteIndexRecord(records, start + 1) || !WriteIndexRecord(ihValid, valid + 1) ||
        !index_->Sync()) {
        UndoAppend(start, records, valid);
        return false;
    }
    Offset = start;
    return true;
}

// Takes back appended slots, the count and the appended main-file bytes;
// each step is tried even when one before it failed.
void TCustomDatabase::UndoAppend(int64_t MainSize, int64_t Records, int64_t Valid) {
    bool undone = index_->Truncate(Records * 8);
    indexRecords_ = Records;
    undone = WriteIndexRecord(ihValid, Valid) && undone;
    undone = index_->Sync() && undone;
    undone = main_->Truncate(MainSize) && undone;
    mainSize_ = MainSize;
    if (!undone) suspect_ = true;
}

bool TCustomDatabase::FlushPending() {
    if (pendSlots_.empty()) return true;
    std::string block;
    block.swap(pendMain_);
    std::vector<int64_t> slots;
    slots.swap(pendSlots_);
    int64_t valid = 0;
    if (!main_ || !index_ || !MarkDirty() || !ReadIndexRecord(ihValid, valid)) return false;
    const int64_t start = mainSize_, records = indexRecords_;
    if (!main_->WriteAt(start, block.data(), static_cast<int64_t>(block.size())) ||
        !main_->Sync()) {
        if (!main_->Truncate(start)) suspect_ = true;
        return false;
    }
    mainSize_ = start + static_cast<int64_t>(block.size());
    std::string slotBytes(slots.size() * 8, '\0');
    for (size_t i = 0; i < slots.size(); ++i)
        PutInt64LE(&slotBytes[i * 8], slots[i]);
    const auto n = static_cast<int64_t>(slots.size());
    if (!index_->WriteAt(records * 8, slotBytes.data(), n * 8) ||
        !(indexRecords_ = records + n, WriteIndexRecord(ihValid, valid + n)) || !index_->Sync()) {
        UndoAppend(start, records, valid);
        return false;
    }
    return true;
}

bool TCustomDatabase::RestoreSlot(int64_t Index, int64_t Slot, int64_t Wasted, int64_t Valid) {
    bool ok = WriteIndexRecord(IndexHeaderRecords + Index, Slot);
    ok = WriteIndexRecord(ihWasted, Wasted) && ok;
    ok = WriteIndexRecord(ihValid, Valid) && ok;
    return index_->Sync() && ok;
}

// ---------------------------------------------------------------------------
// Operations

bool TCustomDatabase::Add(std::string& Key, const std::string& Text, bool Raw) {
    if (busy_) return false;
    if (!OpenFiles()) {
        SetError(dbeAdd);
        return false;
    }
    bool ok = false;
    std::string record;
    if (!readOnly_ && PrepareRecord(Text, Raw, record)) {
        if (keepOpen_) {
            pendSlots_.push_back(mainSize_ + static_cast<int64_t>(pendMain_.size()) + 1);
            pendMain_ += record;
            ok = pendMain_.size() < BatchLimit || FlushPending();
        } else {
            int64_t offset = 0;
            ok = AppendRecord(record, offset);
        }
    }
    if (ok)
        Key = GameKey(indexRecords_ - IndexHeaderRecords + static_cast<int64_t>(pendSlots_.size()) -
                      1);
    else
        SetError(dbeAdd);
    CloseFiles();
    return ok;
}

bool TCustomDatabase::Replace(const std::string& Text, bool Raw, int64_t Index) {
    if (busy_) return false;
    if (!OpenFiles()) {
        SetError(dbeReplace);
        return false;
    }
    bool ok = false;
    std::string record;
    int64_t offset = 0, slot = 0;
    bool deleted = false;
    if (!readOnly_ && FlushPending() && PrepareRecord(Text, Raw, record) &&
        GameOffset(Index, offset, deleted, slot) == 0) {
        // A live slot must point at a whole record, else its length is unknown.
        const bool start = IsRecordStart(offset);
        const int64_t oldLength = start ? RecordLength(offset) : -1;
        // The old bytes, to put back should filling them fail half way.
        std::string old(static_cast<size_t>(std::max<int64_t>(0, oldLength)), '\0');
        const bool oldRead =
            oldLength <= 0 || main_->ReadAt(offset, old.data(), oldLength) == oldLength;
        int64_t wasted = 0, valid = 0;
        if ((deleted || oldLength >= 0) && oldRead && MarkDirty() &&
            ReadIndexRecord(ihWasted, wasted) && ReadIndexRecord(ihValid, valid)) {
            const int64_t at = mainSize_;
            if (main_->WriteAt(at, record.data(), static_cast<int64_t>(record.size())) &&
                main_->Sync()) {
                mainSize_ = at + static_cast<int64_t>(record.size());
                // Wasted bytes first: a crash leaves them too high, which is harmless.
                const bool counted = deleted || WriteIndexRecord(ihWasted, wasted + oldLength + 1);
                const bool committed =
                    counted && WriteIndexRecord(IndexHeaderRecords + Index, at + 1) &&
                    (!deleted || WriteIndexRecord(ihValid, valid + 1)) && index_->Sync();
                // The old version is no longer part of any game: fill it, so
                // that an index rebuild does not bring it back.
                bool undo = !committed;
                if (committed && oldLength > 0) {
                    const std::string fill(static_cast<size_t>(oldLength), DeletedFill);
                    ok = main_->WriteAt(offset, fill.data(), oldLength) && main_->Sync();
                    // The old bytes go back before the slot does, so that the
                    // slot never points at a fill.
                    undo = !ok && main_->WriteAt(offset, old.data(), oldLength) && main_->Sync();
                    // Not even that: the new version stays, and the next open checks all.
                    if (!ok && !undo) suspect_ = true;
                } else {
                    ok = committed;
                }
                if (undo) {
                    bool undone = RestoreSlot(Index, slot, wasted, valid);
                    undone = main_->Truncate(at) && undone;
                    if (!undone) suspect_ = true;
                    mainSize_ = at;
                }
            } else if (!main_->Truncate(at)) {
                suspect_ = true;
            }
        }
    }
    if (!ok) SetError(dbeReplace);
    CloseFiles();
    return ok;
}

bool TCustomDatabase::Delete(int64_t Index) {
    if (busy_) return false;
    if (!OpenFiles()) {
        SetError(dbeDelete);
        return false;
    }
    bool ok = false;
    int64_t offset = 0, slot = 0;
    bool deleted = false;
    if (!readOnly_ && FlushPending() && GameOffset(Index, offset, deleted, slot) == 0) {
        if (deleted) {
            ok = true; // already deleted: nothing changes
        } else {
            const int64_t length = IsRecordStart(offset) ? RecordLength(offset) : -1;
            int64_t wasted = 0, valid = 0;
            if (length >= 0 && MarkDirty() && ReadIndexRecord(ihWasted, wasted) &&
                ReadIndexRecord(ihValid, valid)) {
                // Both counts first, the slot last: a crash leaves the valid
                // count too low, never too high (see the index check).
                ok = WriteIndexRecord(ihWasted, wasted + length + 1) &&
                     WriteIndexRecord(ihValid, std::max<int64_t>(0, valid - 1)) &&
                     WriteIndexRecord(IndexHeaderRecords + Index, -(offset + 1)) && index_->Sync();
                if (!ok) {
                    if (!RestoreSlot(Index, slot, wasted, valid)) suspect_ = true;
                }
            }
        }
    }
    if (!ok) SetError(dbeDelete);
    CloseFiles();
    return ok;
}

int TCustomDatabase::Read(std::string& Key, std::string& Text, int64_t Index, int64_t Offset,
                          bool Raw, bool SkipDeleted, int64_t MaxLen, bool& Deleted) {
    Text.clear();
    Deleted = false;
    if (busy_) return -1;
    if (!OpenFiles()) {
        SetError(dbeRead);
        return -1;
    }
    int result = -1;
    int64_t offset = Offset, slot = 0;
    bool deleted = false;
    const bool located =
        FlushPending() &&
        (Offset == -1 ? GameOffset(Index, offset, deleted, slot) == 0 : Offset >= 0);
    if (located && IsRecordStart(offset)) {
        Deleted = deleted;
        if (SkipDeleted && deleted) {
            result = 1;
        } else {
            char buf[ReadBlock];
            int64_t pos = offset;
            bool failed = false;
            for (;;) {
                const int64_t got = main_->ReadAt(pos, buf, ReadBlock);
                if (got < 0) {
                    failed = true;
                    break;
                }
                // Only the bytes actually read count.
                const char* end = std::find(buf, buf + got, RecordEnd);
                Text.append(buf, static_cast<size_t>(end - buf));
                pos += got;
                if (end != buf + got || got < ReadBlock) break;
                if (MaxLen > 0 && static_cast<int64_t>(Text.size()) > MaxLen) break;
            }
            if (!failed) {
                if (!Raw) Text = UnescapeBytes(Text);
                Key = GameKey(Index);
                result = 0;
            } else {
                Text.clear();
            }
        }
    }
    if (result < 0) SetError(dbeRead);
    CloseFiles();
    return result;
}

int64_t TCustomDatabase::GetCount() {
    if (busy_ || fileName_.empty() || !OpenFiles()) return 0;
    const int64_t n = std::max<int64_t>(0, indexRecords_ - IndexHeaderRecords) +
                      static_cast<int64_t>(pendSlots_.size());
    CloseFiles();
    return n;
}

int64_t TCustomDatabase::GetValidCount() {
    if (busy_ || fileName_.empty() || !OpenFiles()) return 0;
    int64_t n = 0;
    if (!ReadIndexRecord(ihValid, n)) n = 0;
    n += static_cast<int64_t>(pendSlots_.size());
    CloseFiles();
    return n;
}

int64_t TCustomDatabase::GetWasted() {
    if (busy_ || fileName_.empty() || !OpenFiles()) return 0;
    int64_t n = 0;
    if (!ReadIndexRecord(ihWasted, n)) n = 0;
    CloseFiles();
    return n;
}

std::string TCustomDatabase::GameKey(int64_t Index) {
    if (Index == -1) {
        const int64_t count = main_ ? std::max<int64_t>(0, indexRecords_ - IndexHeaderRecords) +
                                          static_cast<int64_t>(pendSlots_.size())
                                    : GetCount();
        Index = count - 1;
    }
    return std::to_string(generation_) + "-" + std::to_string(Index) + keySuffix_;
}

} // namespace kb
