// SPDX-License-Identifier: GPL-3.0-or-later
// Compress: copies the live records into a new pair of files and swaps them in.
#include "DatabaseFormat.h"
#include "UCustomDatabase.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace kb {

bool TCustomDatabase::Compress() {
    if (busy_) return false;
    if (!OpenFiles()) {
        SetError(dbeCompress);
        return false;
    }
    if (readOnly_ || !FlushPending()) {
        SetError(dbeCompress);
        CloseFiles();
        return false;
    }
    // Busy for the whole run, so that nothing can slip in from an event handler.
    busy_ = true;
    int64_t wasted = 0;
    bool ok = false, nothing = false;
    if (!ReadIndexRecord(ihWasted, wasted))
        ok = false;
    else if (wasted == 0)
        nothing = true;
    else
        ok = CompressFiles();
    busy_ = false;
    if (!ok && !nothing) SetError(dbeCompress);
    if (fileName_.empty()) return false; // the swap broke half way; closed
    CloseFiles();
    return ok;
}

bool TCustomDatabase::CompressFiles() {
    if (!MarkDirty()) return false;
    switch (CheckIndex(TCheckMode::Compress, true)) {
    case TCheckResult::Cancelled:
        return false;
    case TCheckResult::Failed:
        if (!RebuildIndex()) return false;
        break;
    default:
        break;
    }
    if (!main_ || !index_) return false;
    const std::string mainTmp = ChangeFileExt(fileName_, ".maintmp");
    const std::string indexTmp = ChangeFileExt(fileName_, ".indextmp");
    // A file under either name now is the user's (the open took our own
    // leftovers away): it stays as it is, and there is no compress.
    if (Fs().Exists(mainTmp) || Fs().Exists(indexTmp)) return false;
    // The mark first: only under it does the next open take files of these
    // names for ours. Then the index temp: a main temp standing alone means
    // a committed swap.
    if (!SetWorkMark(LockCompressing)) return false;
    auto newIndex = Fs().Open(indexTmp, TOpenMode::CreateNew);
    if (!newIndex) {
        EndWork(); // nothing made: a file there now is not ours
        return false;
    }
    std::unique_ptr<TFile> newMain;
    bool mainMade = false;
    // The main temp goes for good before the index temp: alone it would
    // read as committed. The mark goes once both are gone for good.
    auto discard = [&] {
        newMain.reset();
        newIndex.reset();
        if ((!mainMade || (Fs().Remove(mainTmp) && Fs().SyncFolder(mainTmp))) &&
            Fs().Remove(indexTmp) && Fs().SyncFolder(indexTmp))
            EndWork();
        return false;
    };
    if (!Fs().SyncFolder(indexTmp)) return discard();
    newMain = Fs().Open(mainTmp, TOpenMode::CreateNew);
    mainMade = newMain != nullptr;
    if (!newMain) return discard();

    std::string header(IndexHeaderBytes, '\0');
    if (index_->ReadAt(0, header.data(), IndexHeaderBytes) != IndexHeaderBytes) return discard();
    const int64_t slots = indexRecords_ - IndexHeaderRecords;
    std::string mainBuf, slotBuf;
    int64_t mainWritten = 0, slotWritten = IndexHeaderBytes, valid = 0;
    std::string slotBytes(8, '\0');
    char readBuf[4096];
    for (int64_t i = 0; i < slots; ++i) {
        int64_t value = 0;
        if (index_->ReadAt((IndexHeaderRecords + i) * 8, slotBytes.data(), 8) != 8)
            return discard();
        value = GetInt64LE(slotBytes.data());
        if (value > 0) {
            const int64_t offset = SlotOffset(value);
            if (!IsRecordStart(offset)) return discard();
            const int64_t newOffset = mainWritten + static_cast<int64_t>(mainBuf.size());
            // The record and its terminator; a record cut off by the end of the file stops the run.
            bool ended = false;
            for (int64_t pos = offset; !ended && pos < mainSize_;) {
                const int64_t got =
                    main_->ReadAt(pos, readBuf, std::min<int64_t>(sizeof readBuf, mainSize_ - pos));
                if (got <= 0) return discard();
                const char* end = std::find(readBuf, readBuf + got, RecordEnd);
                ended = end != readBuf + got;
                mainBuf.append(readBuf,
                               static_cast<size_t>((ended ? end + 1 : readBuf + got) - readBuf));
                pos += got;
            }
            if (!ended) return discard();
            char b[8];
            PutInt64LE(b, newOffset + 1);
            slotBuf.append(b, 8);
            ++valid;
        }
        cancel_ = false;
        if (OnCheckProgress)
            OnCheckProgress(
                this, cancel_,
                static_cast<int>(std::lround((i + 1) * 100.0 / std::max<int64_t>(1, slots))));
        if (cancel_) return discard();
        if (mainBuf.size() >= (size_t{1} << 20)) {
            if (!newMain->WriteAt(mainWritten, mainBuf.data(),
                                  static_cast<int64_t>(mainBuf.size())))
                return discard();
            mainWritten += static_cast<int64_t>(mainBuf.size());
            mainBuf.clear();
        }
        if (slotBuf.size() >= (size_t{1} << 18)) {
            if (!newIndex->WriteAt(slotWritten, slotBuf.data(),
                                   static_cast<int64_t>(slotBuf.size())))
                return discard();
            slotWritten += static_cast<int64_t>(slotBuf.size());
            slotBuf.clear();
        }
    }
    PutInt64LE(&header[ihWasted * 8], 0);
    PutInt64LE(&header[ihValid * 8], valid);
    if (!newMain->WriteAt(mainWritten, mainBuf.data(), static_cast<int64_t>(mainBuf.size())) ||
        !newIndex->WriteAt(slotWritten, slotBuf.data(), static_cast<int64_t>(slotBuf.size())) ||
        !newIndex->WriteAt(0, header.data(), IndexHeaderBytes) || !newMain->Sync() ||
        !newIndex->Sync())
        return discard();
    newMain.reset();
    newIndex.reset();
    // Both temps stand on disk before the commit.
    if (!Fs().SyncFolder(mainTmp)) return discard();

    CloseHandles();
    if (!Fs().Rename(indexTmp, indexFileName_)) {
        discard();
        ReopenHandles();
        return false;
    }
    // Committed: from here on the swap is only ever finished, never undone
    // (the next open finishes it when this run cannot). A folder sync that
    // fails leaves the renames less durable; a crash then finds old or new
    // names, each of which opens, and the next open checks everything.
    bool durable = Fs().SyncFolder(indexFileName_);
    if (!Fs().Rename(mainTmp, fileName_)) {
        // The mark stays for the next open.
        ReleaseLock();
        fileName_.clear();
        return false;
    }
    durable = Fs().SyncFolder(fileName_) && durable;
    if (durable)
        EndWork();
    else
        suspect_ = true;
    ++generation_;
    return ReopenHandles();
}

// ---------------------------------------------------------------------------
// What a killed compress or index rebuild left beside the database.
//
// Files of these names may as well be the user's. The work writes the
// lock file's mark naming itself before it makes its first temporary file,
// makes them only under names that were free, and takes the mark away once
// they are gone; so a file is taken for ours only under the mark, and only
// when it also holds what that work writes there. Anything else stays as
// it is, and the database opens as it stands.

std::string TCustomDatabase::RebuildTempName(int K) const {
    return ChangeFileExt(fileName_, ".rebuildtmp") + (K == 0 ? "" : std::to_string(K));
}

namespace {

// Calls Each with every whole 8-byte value of File from value First on, in
// order, until it returns False. -1 on a read error, else 1 when all were
// seen, 0 when Each stopped.
template <typename TEach> int ForEachValue(TFile& File, int64_t First, TEach Each) {
    const int64_t size = File.Size();
    if (size < 0) return -1;
    std::vector<char> buf(size_t{1} << 16);
    for (int64_t pos = First * 8; pos + 8 <= size;) {
        const int64_t want = std::min<int64_t>(static_cast<int64_t>(buf.size()), size - pos);
        const int64_t got = File.ReadAt(pos, buf.data(), want - want % 8);
        if (got < 8) return -1;
        for (int64_t i = 0; i + 8 <= got; i += 8)
            if (!Each(GetInt64LE(&buf[static_cast<size_t>(i)]))) return 0;
        pos += got - got % 8;
    }
    return 1;
}

// The start offsets of the whole records of a main file, one after another.
class TRecordStarts {
public:
    TRecordStarts(TFile& Main, int64_t Size) : main_(Main), size_(Size), buf_(size_t{1} << 20) {}
    // The next whole record's offset; -1 when none is left, -2 on a read error.
    int64_t Next() {
        for (;;) {
            if (at_ == got_) {
                pos_ += got_;
                at_ = got_ = 0;
                if (pos_ >= size_) return -1;
                got_ = main_.ReadAt(
                    pos_, buf_.data(),
                    std::min<int64_t>(static_cast<int64_t>(buf_.size()), size_ - pos_));
                if (got_ <= 0) {
                    got_ = 0;
                    return -2;
                }
            }
            const char* end = std::find(buf_.data() + at_, buf_.data() + got_, RecordEnd);
            at_ = end - buf_.data();
            if (at_ < got_) {
                const int64_t record = rest_;
                rest_ = pos_ + ++at_;
                return record;
            }
        }
    }
    // Where the bytes after the last whole record found so far begin.
    int64_t Rest() const { return rest_; }

private:
    TFile& main_;
    int64_t size_;
    std::vector<char> buf_;
    int64_t pos_ = 0, got_ = 0, at_ = 0, rest_ = 0;
};

} // namespace

// A temporary index as our writers make it: the header (the rebuild writes
// it first; the compress last, so zeros until then), then slots naming
// records in strictly ascending order (the compress keeps live ones only).
// The crash may have cut the file anywhere.
bool TCustomDatabase::IsOwnTempIndex(const std::string& Name, bool OfCompress) {
    auto file = Fs().Open(Name, TOpenMode::Read);
    if (!file) return false;
    const int64_t size = file->Size();
    if (size < 0) return false;
    char header[IndexHeaderBytes] = {};
    const int64_t head = std::min<int64_t>(size, IndexHeaderBytes);
    if (file->ReadAt(0, header, head) != head) return false;
    char magic[8];
    PutInt64LE(magic, IndexMagic);
    const bool zero = std::all_of(header, header + head, [](char c) { return c == 0; });
    const bool magicFirst =
        std::memcmp(header, magic, static_cast<size_t>(std::min<int64_t>(head, 8))) == 0;
    if (!magicFirst && !(OfCompress && zero)) return false;
    int64_t last = -1;
    return ForEachValue(*file, IndexHeaderRecords, [&](int64_t Value) {
               const int64_t offset = SlotOffset(Value);
               const bool fits = Value != 0 && (Value > 0 || !OfCompress) && offset > last &&
                                 (last >= 0 || offset == 0);
               last = offset;
               return fits;
           }) == 1;
}

// A new main file as the compress writes it: records that start the way
// ours do, the last one perhaps cut short.
bool TCustomDatabase::IsOwnTempMain(const std::string& Name) {
    auto file = Fs().Open(Name, TOpenMode::Read);
    const int64_t size = file ? file->Size() : -1;
    return size >= 0 && RecordLeadsAreOurs(*file, size) == 1;
}

// The index in place is the one a compress made for the main file MainName:
// a whole header that counts every slot as live and nothing as wasted, and
// one slot for each record of that file, in order, and no other.
bool TCustomDatabase::IndexDescribesExactly(const std::string& MainName) {
    auto index = Fs().Open(indexFileName_, TOpenMode::Read);
    auto main = Fs().Open(MainName, TOpenMode::Read);
    if (!index || !main) return false;
    const int64_t indexSize = index->Size(), mainSize = main->Size();
    if (indexSize < IndexHeaderBytes || indexSize % 8 != 0 || mainSize < 0) return false;
    char header[IndexHeaderBytes];
    if (index->ReadAt(0, header, IndexHeaderBytes) != IndexHeaderBytes) return false;
    const int64_t slots = indexSize / 8 - IndexHeaderRecords;
    if (GetInt64LE(header + ihMagic * 8) != IndexMagic || GetInt64LE(header + ihWasted * 8) != 0 ||
        GetInt64LE(header + ihValid * 8) != slots)
        return false;
    TRecordStarts records(*main, mainSize);
    const int seen = ForEachValue(*index, IndexHeaderRecords, [&](int64_t Value) {
        return Value > 0 && Value - 1 == records.Next();
    });
    // Every slot met its record, and no record is left over: the file ends
    // right after the last one.
    return seen == 1 && records.Next() == -1 && records.Rest() == mainSize;
}

// False only when a committed swap of ours cannot be finished: the new index
// must never meet the old main file.
bool TCustomDatabase::FinishInterruptedWork() {
    if (workMark_ == LockCompressing) {
        const std::string mainTmp = ChangeFileExt(fileName_, ".maintmp");
        const std::string indexTmp = ChangeFileExt(fileName_, ".indextmp");
        if (Fs().Exists(indexTmp)) {
            // Not committed: the old pair stands. The main temp goes first,
            // and for good: alone it would read as committed.
            if (Fs().Exists(mainTmp) && IsOwnTempMain(mainTmp) &&
                !(Fs().Remove(mainTmp) && Fs().SyncFolder(mainTmp)))
                return false;
            if (IsOwnTempIndex(indexTmp, true) &&
                !(Fs().Remove(indexTmp) && Fs().SyncFolder(indexTmp)))
                return false;
        } else if (Fs().Exists(mainTmp) && IndexDescribesExactly(mainTmp)) {
            // Committed: the new index is in place; its main file follows.
            if (!Fs().Rename(mainTmp, fileName_) || !Fs().SyncFolder(fileName_)) return false;
        }
    } else if (workMark_ >= LockRebuilding && workMark_ < LockRebuilding + RebuildTempNames) {
        // The old index stands; the half new one goes.
        const std::string temp = RebuildTempName(workMark_ - LockRebuilding);
        if (Fs().Exists(temp) && IsOwnTempIndex(temp, false)) Fs().Remove(temp);
    }
    if (workMark_ != LockClean && workMark_ != LockInUse) EndWork();
    return true;
}

} // namespace kb
