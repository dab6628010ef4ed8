// SPDX-License-Identifier: GPL-3.0-or-later
// Opening-time repairs, the index check and the index rebuild.
#include "DatabaseFormat.h"
#include "UCustomDatabase.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kb {
namespace {

// Reads single bytes of a file through a block cache (the check looks at
// the byte before each record, mostly in ascending order).
class TByteProbe {
public:
    explicit TByteProbe(TFile& File) : file_(File), buf_(16384) {}
    // -1 on error or past the end.
    int At(int64_t Offset) {
        if (Offset < start_ || Offset >= start_ + len_) {
            start_ = Offset - Offset % static_cast<int64_t>(buf_.size());
            len_ = file_.ReadAt(start_, buf_.data(), static_cast<int64_t>(buf_.size()));
            if (len_ < 0) {
                len_ = 0;
                return -1;
            }
            if (Offset >= start_ + len_) return -1;
        }
        return static_cast<unsigned char>(buf_[static_cast<size_t>(Offset - start_)]);
    }

private:
    TFile& file_;
    std::vector<char> buf_;
    int64_t start_ = 0;
    int64_t len_ = 0;
};

// Reads index records in chunks, or one at a time while sampling.
class TSlotReader {
public:
    explicit TSlotReader(TFile& File) : file_(File) {}
    bool At(int64_t Record, int64_t Total, bool Single, int64_t& Value) {
        if (Record < first_ || Record >= first_ + count_) {
            const int64_t n = Single ? 1 : std::min<int64_t>(8192, Total - Record);
            buf_.resize(static_cast<size_t>(n * 8));
            if (file_.ReadAt(Record * 8, buf_.data(), n * 8) != n * 8) {
                count_ = 0;
                return false;
            }
            first_ = Record;
            count_ = n;
        }
        Value = GetInt64LE(&buf_[static_cast<size_t>((Record - first_) * 8)]);
        return true;
    }

private:
    TFile& file_;
    std::vector<char> buf_;
    int64_t first_ = 0;
    int64_t count_ = 0;
};

int RoundPercent(double Value) {
    return static_cast<int>(std::lround(std::clamp(Value, 0.0, 100.0)));
}

} // namespace

// Offset just past the last 0x00 of the main file (0 when it has none), -1 on
// a read error.
static int64_t TailStart(TFile& Main, int64_t Size) {
    char buf[4096];
    for (int64_t end = Size; end > 0;) {
        const int64_t from = std::max<int64_t>(0, end - static_cast<int64_t>(sizeof buf));
        if (Main.ReadAt(from, buf, end - from) != end - from) return -1;
        for (int64_t i = end - from; i > 0; --i)
            if (buf[i - 1] == RecordEnd) return from + i;
        end = from;
    }
    return 0;
}

// Decides, reading only, whether the main file and its index are a database
// of ours: an index with our header, or without an index records that all
// start the way ours do; and at most one incomplete record at the end, which
// starts like one of ours too (an append that a crash cut short, or a file
// that lost its last bytes). Anything else is some other file with our
// extension and is left alone.
TCustomDatabase::TFilesKind TCustomDatabase::ExamineFiles() {
    bool indexed = false;
    if (Fs().Exists(indexFileName_)) {
        auto index = Fs().Open(indexFileName_, TOpenMode::Read);
        if (!index) return TFilesKind::Unreadable;
        char header[IndexHeaderBytes];
        const int64_t got = index->ReadAt(0, header, IndexHeaderBytes);
        if (got < 0) return TFilesKind::Unreadable;
        // An index shorter than one value never got its header: as good as none.
        if (got >= 8) {
            indexed = GetInt64LE(header) == IndexMagic ||
                      (got >= 40 && owner_[0] != 0 && GetInt64LE(header + 32) == owner_[0]);
            if (!indexed) return TFilesKind::NotDatabase;
        }
    }
    if (!Fs().Exists(fileName_)) return TFilesKind::Database;
    auto main = Fs().Open(fileName_, TOpenMode::Read);
    if (!main) return TFilesKind::Unreadable;
    const int64_t size = main->Size();
    if (size < 0) return TFilesKind::Unreadable;
    if (size == 0) return TFilesKind::Database;
    const int64_t tail = TailStart(*main, size);
    if (tail < 0) return TFilesKind::Unreadable;
    if (tail < size) {
        char lead = 0;
        if (main->ReadAt(tail, &lead, 1) != 1 || !IsRecordLead(static_cast<unsigned char>(lead)))
            return TFilesKind::NotDatabase;
    }
    if (indexed) return TFilesKind::Database;
    // No index to vouch for the file: every record must look like one of ours.
    switch (RecordLeadsAreOurs(*main, tail)) {
    case 1:
        return TFilesKind::Database;
    case 0:
        return TFilesKind::NotDatabase;
    default:
        return TFilesKind::Unreadable;
    }
}

// 1 when every record that starts before End begins the way ours do, 0 when
// one does not, -1 on a read error.
int TCustomDatabase::RecordLeadsAreOurs(TFile& Main, int64_t End) {
    std::vector<char> buf(size_t{1} << 20);
    bool atStart = true;
    for (int64_t pos = 0; pos < End;) {
        const int64_t got = Main.ReadAt(
            pos, buf.data(), std::min<int64_t>(static_cast<int64_t>(buf.size()), End - pos));
        if (got <= 0) return -1;
        for (int64_t i = 0; i < got; ++i) {
            const char c = buf[static_cast<size_t>(i)];
            if (atStart && c != RecordEnd && !IsRecordLead(static_cast<unsigned char>(c))) return 0;
            atStart = c == RecordEnd;
        }
        pos += got;
    }
    return 1;
}

// True when the bytes from Tail to the end of the main file can only be an
// append that a crash cut short: the main file is written and synced before
// its slot, and the valid count is raised after it, so such a tail has a
// whole index beside it, no slot at or past Tail, and a count no higher
// than the live slots. Anything else may be the end of a game the index
// names, whose file lost bytes.
bool TCustomDatabase::TailIsUnfinishedAppend(int64_t Tail) {
    const int64_t indexSize = index_->Size();
    if (indexSize < IndexHeaderBytes || indexSize % 8 != 0) return false;
    int64_t magic = 0, stored = 0;
    if (!ReadIndexRecord(ihMagic, magic) || magic != IndexMagic ||
        !ReadIndexRecord(ihValid, stored))
        return false;
    TSlotReader slots(*index_);
    const int64_t records = indexSize / 8;
    int64_t live = 0;
    for (int64_t r = IndexHeaderRecords; r < records; ++r) {
        int64_t value = 0;
        if (!slots.At(r, records, false, value)) return false;
        if (SlotOffset(value) >= Tail) return false;
        if (value > 0) ++live;
    }
    return stored <= live;
}

// A main file not ending in 0x00 either lost the tail of its last append,
// which nothing refers to and is cut back to the last whole record, or lost
// bytes at its end, which are kept for the index check to find and the
// rebuild to close. A partial index record goes the same way. Only a tail
// that starts like a record is cut (the open has refused any other file).
bool TCustomDatabase::RepairTails() {
    if (readOnly_ || !main_ || !index_) return false;
    bool ok = true;
    if (mainSize_ > 0) {
        char last = 1;
        if (main_->ReadAt(mainSize_ - 1, &last, 1) != 1) return false;
        if (last != RecordEnd) {
            const int64_t keep = TailStart(*main_, mainSize_);
            char lead = 0;
            if (keep >= 0 && main_->ReadAt(keep, &lead, 1) == 1 &&
                IsRecordLead(static_cast<unsigned char>(lead)) && TailIsUnfinishedAppend(keep)) {
                ok = main_->Truncate(keep) && main_->Sync();
                if (ok) mainSize_ = keep;
            }
        }
    }
    const int64_t indexSize = index_->Size();
    if (indexSize >= IndexHeaderBytes && indexSize % 8 != 0) {
        ok = index_->Truncate(indexSize - indexSize % 8) && index_->Sync() && ok;
    }
    return ok;
}

// Every slot names a record of its own: a slot of 0 is never written (a
// zero tail a crash left, read as game 0 again and again), and two slots on
// one record list that game twice. Reading all slots is cheap beside the
// main-file reads the check samples, so this looks at every one.
bool TCustomDatabase::SlotsDistinct() {
    TSlotReader slots(*index_);
    std::vector<int64_t> offsets;
    offsets.reserve(static_cast<size_t>(indexRecords_ - IndexHeaderRecords));
    for (int64_t r = IndexHeaderRecords; r < indexRecords_; ++r) {
        int64_t value = 0;
        if (!slots.At(r, indexRecords_, false, value) || value == 0) return false;
        offsets.push_back(SlotOffset(value));
    }
    std::sort(offsets.begin(), offsets.end());
    return std::adjacent_find(offsets.begin(), offsets.end()) == offsets.end();
}

TCustomDatabase::TCheckResult TCustomDatabase::CheckIndex(TCheckMode Mode, bool Full) {
    // Only the outermost operation owns the busy state.
    const bool wasBusy = busy_;
    busy_ = true;
    struct TRestore {
        bool& flag;
        bool value;
        ~TRestore() { flag = value; }
    } restore{busy_, wasBusy};

    const double start = Clock ? Clock() : 0.0;
    if (!main_ || !index_ || indexRecords_ < IndexHeaderRecords) return TCheckResult::Failed;
    if (!SlotsDistinct()) return TCheckResult::Failed;
    TByteProbe probe(*main_);
    TSlotReader slots(*index_);
    int64_t counter = 0, step = 0;
    bool counting = true;
    for (int64_t r = IndexHeaderRecords; r < indexRecords_;) {
        int64_t value = 0;
        if (!slots.At(r, indexRecords_, !Full && step > 1, value)) return TCheckResult::Failed;
        if (counting && value > 0) ++counter;
        const int64_t offset = SlotOffset(value);
        if (offset >= mainSize_ || (offset > 0 && probe.At(offset - 1) != 0))
            return TCheckResult::Failed;
        int64_t next = r + 1;
        if (!Full && step > 1) next = std::min(indexRecords_, r + 1 + step);
        cancel_ = false;
        if (Mode == TCheckMode::Compress) {
            if (OnCheckProgress)
                OnCheckProgress(this, cancel_, RoundPercent((r + 1) * 100.0 / indexRecords_));
        } else {
            if (OnCheckStep) OnCheckStep(this, step, cancel_);
            if (step != 0 && !Full) counting = false;
        }
        if (cancel_) return TCheckResult::Cancelled;
        // Out of time means not verified, not corrupt.
        if (checkTimeLimit_ > 0 && Clock && Clock() - start > checkTimeLimit_)
            return TCheckResult::NotVerified;
        r = next;
    }
    if (!readOnly_ && mainSize_ > 1 && probe.At(mainSize_ - 1) != 0) return TCheckResult::Failed;
    if (Mode == TCheckMode::Open && counting) {
        int64_t stored = 0;
        if (!ReadIndexRecord(ihValid, stored)) return TCheckResult::Failed;
        // Writes raise the count only after the slot and lower it before,
        // so a crash leaves it too low. Too high means slots were lost: the
        // index is rebuilt, which brings their games back.
        if (stored > counter) return TCheckResult::Failed;
        if (stored < counter && !readOnly_) {
            if (!MarkDirty() || !WriteIndexRecord(ihValid, counter) || !index_->Sync())
                return TCheckResult::Failed;
        }
    }
    return TCheckResult::Passed;
}

// Builds a new index from the main file in a temporary file and renames it
// over the old one when complete. Deletion marks of the old index are kept
// for offsets that are still record starts.
bool TCustomDatabase::RebuildIndex() {
    if (OnBeforeCreateIndex) OnBeforeCreateIndex(this);
    if (!main_) return false;
    const bool wasBusy = busy_;
    busy_ = true;
    bool ok = false;
    std::vector<int64_t> deletedOffsets, liveOffsets;
    const int64_t oldSlots = std::max<int64_t>(1, indexRecords_ - IndexHeaderRecords);
    int64_t magic = 0;
    if (index_ && ReadIndexRecord(ihMagic, magic) && magic == IndexMagic) {
        TSlotReader reader(*index_);
        for (int64_t r = IndexHeaderRecords; r < indexRecords_; ++r) {
            int64_t value = 0;
            if (!reader.At(r, indexRecords_, false, value)) break;
            (value < 0 ? deletedOffsets : liveOffsets).push_back(SlotOffset(value));
        }
        std::sort(deletedOffsets.begin(), deletedOffsets.end());
        std::sort(liveOffsets.begin(), liveOffsets.end());
    }
    auto marked = [&](int64_t offset) {
        return std::binary_search(deletedOffsets.begin(), deletedOffsets.end(), offset) &&
               !std::binary_search(liveOffsets.begin(), liveOffsets.end(), offset);
    };

    // The first free temporary name, never a file that is there already
    // (the user's: our own leftovers went at the open). Under the lock the
    // mark names it first, so that the next open can take it away should
    // this run be killed; a read-only database has no lock, and a leftover
    // of its rebuild stays.
    std::unique_ptr<TFile> out;
    std::string temp;
    for (int k = 0; k < RebuildTempNames && !out; ++k) {
        const std::string name = RebuildTempName(k);
        if (Fs().Exists(name)) continue;
        if (lock_ && !SetWorkMark(static_cast<char>(LockRebuilding + k))) break;
        out = Fs().Open(name, TOpenMode::CreateNew);
        if (out) temp = name;
    }
    if (out) {
        std::string slots(IndexHeaderBytes, '\0');
        const int64_t header[8] = {IndexMagic, 0, 0, 0, owner_[0], owner_[1], owner_[2], owner_[3]};
        for (int i = 0; i < 8; ++i)
            PutInt64LE(&slots[static_cast<size_t>(i) * 8], header[i]);
        int64_t valid = 0, wasted = 0, recordStart = 0, written = 0;
        bool onlyFill = true, cancelled = false, failed = false;
        std::vector<char> buf(size_t{1} << 20);
        for (int64_t pos = 0; pos < mainSize_ && !cancelled && !failed;) {
            const int64_t got =
                main_->ReadAt(pos, buf.data(),
                              std::min<int64_t>(static_cast<int64_t>(buf.size()), mainSize_ - pos));
            if (got <= 0) {
                failed = true;
                break;
            }
            for (int64_t i = 0; i < got; ++i) {
                const char c = buf[static_cast<size_t>(i)];
                if (c != RecordEnd) {
                    if (c != DeletedFill) onlyFill = false;
                    continue;
                }
                const bool deleted = onlyFill || marked(recordStart);
                char slot[8];
                PutInt64LE(slot, deleted ? -(recordStart + 1) : recordStart + 1);
                slots.append(slot, 8);
                if (deleted)
                    wasted += pos + i - recordStart + 1;
                else
                    ++valid;
                recordStart = pos + i + 1;
                onlyFill = true;
                cancel_ = false;
                if (OnRebuildProgress)
                    OnRebuildProgress(this, cancel_, RoundPercent(valid * 100.0 / oldSlots));
                if (cancel_) {
                    cancelled = true;
                    break;
                }
            }
            pos += got;
            if (slots.size() >= (size_t{1} << 20)) {
                failed = !out->WriteAt(written, slots.data(), static_cast<int64_t>(slots.size()));
                written += static_cast<int64_t>(slots.size());
                slots.clear();
            }
        }
        // Bytes after the last 0x00 are the end of a game whose file lost
        // bytes (the open cuts an unfinished append before): closed with one
        // 0x00 and kept as a game, so that no game the index named is lost.
        if (!cancelled && !failed && recordStart < mainSize_ && mainSize_ > 1) {
            if (!readOnly_) {
                failed = !main_->WriteAt(mainSize_, &RecordEnd, 1) || !main_->Sync();
                if (!failed) ++mainSize_;
            }
            if (!failed) {
                const bool deleted = onlyFill || marked(recordStart);
                char slot[8];
                PutInt64LE(slot, deleted ? -(recordStart + 1) : recordStart + 1);
                slots.append(slot, 8);
                if (deleted)
                    wasted += mainSize_ - recordStart;
                else
                    ++valid;
            }
        }
        if (cancelled && OnFileError) OnFileError(this);
        if (!cancelled && !failed) {
            char b[8];
            PutInt64LE(b, wasted);
            bool w = out->WriteAt(written, slots.data(), static_cast<int64_t>(slots.size())) &&
                     out->WriteAt(ihWasted * 8, b, 8);
            PutInt64LE(b, valid);
            w = w && out->WriteAt(ihValid * 8, b, 8) && out->Sync();
            out.reset();
            if (w) {
                index_.reset();
                ok = Fs().Rename(temp, indexFileName_);
                // Old or new index: either is checked against the main file.
                if (ok && !Fs().SyncFolder(indexFileName_)) suspect_ = true;
            }
        }
    }
    out.reset();
    // The mark goes once nothing of this run is left.
    if (ok || temp.empty() || Fs().Remove(temp)) EndWork();
    // The index handle follows the file now in place.
    index_ = Fs().Open(indexFileName_, readOnly_ ? TOpenMode::Read : TOpenMode::ReadWrite);
    indexRecords_ = index_ ? std::max<int64_t>(0, index_->Size()) / 8 : 0;
    if (ok) indexStamp_ = Fs().Stamp(indexFileName_);
    busy_ = wasBusy;
    cancel_ = false;
    if (OnRebuildProgress) OnRebuildProgress(this, cancel_, 0);
    return ok && index_;
}

} // namespace kb
