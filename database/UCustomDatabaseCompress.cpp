// SPDX-License-Identifier: GPL-3.0-or-later
// Compress: copies the live records into a new pair of files and swaps them in.
#include "DatabaseFormat.h"
#include "UCustomDatabase.h"

#include <algorithm>
#include <cmath>

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
    // Index temp first: a main temp standing alone means a committed swap.
    auto newIndex = Fs().Open(indexTmp, TOpenMode::Truncate);
    if (!newIndex || !Fs().SyncFolder(indexTmp)) {
        Fs().Remove(indexTmp);
        return false;
    }
    auto newMain = Fs().Open(mainTmp, TOpenMode::Truncate);
    // The main temp goes for good before the index temp: alone it would
    // read as a committed swap.
    auto discard = [&] {
        newMain.reset();
        newIndex.reset();
        if (Fs().Remove(mainTmp) && Fs().SyncFolder(mainTmp)) Fs().Remove(indexTmp);
        return false;
    };
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
        ReleaseLock();
        fileName_.clear();
        return false;
    }
    durable = Fs().SyncFolder(fileName_) && durable;
    if (!durable) suspect_ = true;
    ++generation_;
    return ReopenHandles();
}

} // namespace kb
