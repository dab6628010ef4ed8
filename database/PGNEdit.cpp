// SPDX-License-Identifier: GPL-3.0-or-later
// TPGN editing: games are appended, inserted, replaced and deleted in the
// PGN file in place. Everything from the edited game to the end of the file
// is first copied to a backup file and synced; the rewrite reads from that
// copy, and a failed rewrite is rolled back from it. The backup goes only
// once the edited file is synced, and stays when the rollback fails too.
#include "ChessDatabase.h"
#include "PGN.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace fs = std::filesystem;

namespace kb {

struct TPGN::Splice {
    int Record = 0;    // index of the edited record
    int64_t Start = 0; // bytes [Start, End) are replaced by Bytes
    int64_t End = 0;
    std::string Bytes;
};

namespace {

constexpr std::string_view kGameStart = "[Event ";
constexpr std::string_view kSeparator = "\r\n\r\n";

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

// Only a text that the scan finds as a game of its own may go into the file:
// anything else would join the game before it at the next opening, and a
// later edit of that game would take it along.
bool StartsGame(const std::string& t) {
    return t.compare(0, kGameStart.size(), kGameStart) == 0;
}

} // namespace

std::string TPGN::FormatGameText(const std::string& Text, int Mode, bool Separated) {
    std::string t = Trimmed(Text);
    if (!Separated) return t;
    if (Mode == gmAppend) return std::string(kSeparator) + t;
    return t + std::string(kSeparator);
}

int TPGN::FindRecord(int GameNo, int64_t& Start) const {
    for (int i = 0; i < RecordCount(); ++i) {
        if (gameNos_[i] == GameNo) {
            Start = starts_[i];
            return i;
        }
    }
    return -1;
}

int TPGN::RowOfGame(int GameNo) const {
    if (database_) {
        for (int r = 0; r < ItemCount(); ++r)
            if (DBGameNumber(r) == GameNo) return r;
        return -1;
    }
    int64_t start = 0;
    int r = FindRecord(GameNo, start);
    if (r < 0) return -1;
    auto it = std::find(rows_.begin(), rows_.end(), r);
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

bool TPGN::CanEdit() const {
    return loaded_ && !busy_ && !scanIncomplete_ && file_ && knownSize_ >= 0;
}

bool TPGN::FileUnchanged() {
    if (!CanEdit() || !file_->IsFileAt(fileName_)) return false;
    return IndexStillValid(*file_, knownSize_);
}

// The file must still be the one the index was built from: same size and
// time, and the edited offset must still start a game.
bool TPGN::IndexStillValid(TFile& File, int64_t Start) {
    const TFileStamp now = File.Stamp();
    const int64_t size = now.Size;
    if (now.MTimeNs == -1) return false;
    if (size != knownSize_ || now.MTimeNs != knownMTime_ || lastEnd_ > size) return false;
    if (Start >= size) return true;
    char head[7];
    if (File.ReadAt(Start, head, sizeof head) != static_cast<int64_t>(sizeof head)) return false;
    return std::string_view(head, sizeof head) == kGameStart;
}

std::string TPGN::BackupName(char Letter, int Number) const {
    std::string date = BackupDate;
    if (date.empty()) {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        char buf[16];
        std::strftime(buf, sizeof buf, "%d.%m.", &tm);
        date = buf;
    }
    fs::path p(fileName_);
    std::string name = "backup" + date + Letter + "_game" + std::to_string(Number) + "-" +
                       std::to_string(RecordCount()) + "_" + p.filename().string();
    return (p.parent_path() / name).string();
}

bool TPGN::BackupTail(TFile& File, int64_t Offset, int64_t Size, int Number,
                      std::unique_ptr<TFile>& Backup) {
    backupFileName_.clear();
    Backup.reset();
    // Never overwrite an earlier backup: it may be the only copy of something.
    for (char letter = 'a'; letter <= 'z' && !Backup; ++letter) {
        std::string name = BackupName(letter, Number);
        Backup = fs_->Open(name, TOpenMode::CreateNew);
        if (Backup)
            backupFileName_ = name;
        else if (!fs_->Exists(name))
            return false;
    }
    if (!Backup) return false;

    TCancelMode mode = cmGoOn;
    const int64_t total = Size - Offset;
    const int64_t blocks = total / BlockSize;
    std::vector<char> buf(static_cast<size_t>(BlockSize));
    int64_t done = 0;
    int lastPercent = -1;
    bool ok = true;
    while (done < total) {
        size_t want = static_cast<size_t>(std::min<int64_t>(BlockSize, total - done));
        const int64_t n = File.ReadAt(Offset + done, buf.data(), static_cast<int64_t>(want));
        if (n != static_cast<int64_t>(want) ||
            !Backup->WriteAt(done, buf.data(), static_cast<int64_t>(want))) {
            ok = false;
            break;
        }
        done += n;
        TraceIfChanged(Percent(done / BlockSize, blocks), lastPercent, mode);
        if (mode == cmCancel) {
            ok = false;
            break;
        }
    }
    ok = ok && Backup->Sync() && fs_->SyncFolder(backupFileName_);
    mode = cmGoOn;
    Trace(-1, mode);
    return ok;
}

void TPGN::RemoveBackup() {
    if (backupFileName_.empty()) return;
    fs_->Remove(backupFileName_);
    fs_->SyncFolder(backupFileName_);
    backupFileName_.clear();
}

// The file could not be put back: the index no longer describes it, and
// only a new scan may allow edits again.
void TPGN::AfterFailedRollback() {
    scanIncomplete_ = true;
    knownSize_ = -1;
}

bool TPGN::ApplySplice(const Splice& S) {
    auto file = fs_->Open(fileName_, TOpenMode::ReadWrite);
    if (!file) return false;
    if (!file->TryLock() || !IndexStillValid(*file, S.Start)) return false;
    const int64_t size = knownSize_;
    if (S.Start < 0 || S.Start > S.End || S.End > size) return false;

    std::unique_ptr<TFile> backup;
    bool backedUp = BackupTail(*file, S.Start, size, S.Record + 1, backup);
    // Messages were pumped during the copy: the file must still be as it was.
    if (!backedUp || !IndexStillValid(*file, S.Start)) {
        backup.reset();
        RemoveBackup();
        return false;
    }

    // The new tail: the given bytes, then the old tail from End, read from
    // the synced backup so that no byte is lost whatever the sizes.
    const int64_t newSize = S.Start + static_cast<int64_t>(S.Bytes.size()) + (size - S.End);
    const int64_t chunk = std::max<int64_t>(BlockSize, static_cast<int64_t>(S.Bytes.size()));
    std::vector<char> buf(static_cast<size_t>(BlockSize));
    TCancelMode mode = cmNoCancel;
    int lastPercent = -1;
    const int64_t blocks = size / chunk;
    bool ok = file->WriteAt(S.Start, S.Bytes.data(), static_cast<int64_t>(S.Bytes.size()));
    int64_t from = S.End - S.Start; // in the backup
    int64_t to = S.Start + static_cast<int64_t>(S.Bytes.size());
    const int64_t backupSize = size - S.Start;
    while (ok && from < backupSize) {
        size_t want = static_cast<size_t>(std::min<int64_t>(BlockSize, backupSize - from));
        ok = backup->ReadAt(from, buf.data(), static_cast<int64_t>(want)) ==
                 static_cast<int64_t>(want) &&
             file->WriteAt(to, buf.data(), static_cast<int64_t>(want));
        from += static_cast<int64_t>(want);
        to += static_cast<int64_t>(want);
        TraceIfChanged(Percent((S.Start + from) / chunk, blocks), lastPercent, mode);
    }
    ok = ok && file->Truncate(newSize) && file->Sync();
    if (ok) {
        const TFileStamp now = file->Stamp();
        if (now.MTimeNs != -1 && now.Size == newSize) {
            knownSize_ = newSize;
            knownMTime_ = now.MTimeNs;
        } else {
            knownSize_ = -1; // refuse further edits until a new scan
        }
        backup.reset();
        RemoveBackup();
        return true;
    }

    // Put the old tail back from the backup.
    bool restored = true;
    for (int64_t off = 0; restored && off < backupSize; off += BlockSize) {
        size_t want = static_cast<size_t>(std::min<int64_t>(BlockSize, backupSize - off));
        restored = backup->ReadAt(off, buf.data(), static_cast<int64_t>(want)) ==
                       static_cast<int64_t>(want) &&
                   file->WriteAt(S.Start + off, buf.data(), static_cast<int64_t>(want));
    }
    restored = restored && file->Truncate(size) && file->Sync();
    const TFileStamp now = file->Stamp();
    backup.reset();
    if (restored && now.MTimeNs != -1 && now.Size == size) {
        knownMTime_ = now.MTimeNs;
        RemoveBackup();
    } else {
        AfterFailedRollback();
    }
    return false;
}

bool TPGN::AppendBytes(const std::string& Bytes, int64_t& OldSize) {
    auto file = fs_->Open(fileName_, TOpenMode::ReadWrite);
    if (!file) return false;
    if (!file->TryLock() || !IndexStillValid(*file, knownSize_)) return false;
    OldSize = knownSize_;
    const bool ok =
        file->WriteAt(OldSize, Bytes.data(), static_cast<int64_t>(Bytes.size())) && file->Sync();
    if (!ok) {
        // Cut what was half written; the old bytes were never touched.
        if (file->Truncate(OldSize) && file->Sync() && file->Stamp().Size == OldSize)
            knownMTime_ = file->Stamp().MTimeNs;
        else
            AfterFailedRollback();
        return false;
    }
    const int64_t newSize = OldSize + static_cast<int64_t>(Bytes.size());
    const TFileStamp now = file->Stamp();
    if (now.MTimeNs != -1 && now.Size == newSize) {
        knownSize_ = newSize;
        knownMTime_ = now.MTimeNs;
    } else {
        knownSize_ = -1;
    }
    return true;
}

void TPGN::InsertRecord(int Index, int32_t GameNo, int64_t Start, int64_t Length) {
    gameNos_.insert(gameNos_.begin() + Index, GameNo);
    starts_.insert(starts_.begin() + Index, Start);
    for (size_t i = static_cast<size_t>(Index) + 1; i < starts_.size(); ++i)
        starts_[i] += Length;
    if (static_cast<size_t>(Index) + 1 < starts_.size())
        lastEnd_ += Length;
    else
        lastEnd_ = Start + Length;
}

// A row for a new record (its index already taken by the record list): rows
// behind it move up by one; the row itself goes in only when the filter
// accepts the game.
void TPGN::InsertRow(int Row, int Index) {
    for (auto& r : rows_)
        if (r >= Index) ++r;
    if (!Accepts(Index)) return;
    Row = std::clamp(Row, 0, ItemCount());
    rows_.insert(rows_.begin() + Row, Index);
}

bool TPGN::AppendGame(int& GameNo, const std::string& Text) {
    if (database_) {
        if (!loaded_ || busy_) return false;
        BusyScope busy(*this);
        return DBAppend(GameNo, Text);
    }
    if (!CanEdit()) return false;
    const std::string t = Trimmed(Text);
    if (!StartsGame(t)) return false;
    BusyScope busy(*this);
    const bool hasGames = RecordCount() > 0;
    const std::string bytes = FormatGameText(t, gmAppend, hasGames);
    int64_t oldSize = 0;
    if (!AppendBytes(bytes, oldSize)) return false;
    const int64_t start = oldSize + (hasGames ? static_cast<int64_t>(kSeparator.size()) : 0);
    BeginRowsChange();
    const int index = RecordCount();
    InsertRecord(index, lastGameNo_ + 1, start,
                 oldSize + static_cast<int64_t>(bytes.size()) - start);
    InsertRow(ItemCount(), index);
    ++lastGameNo_;
    GameNo = lastGameNo_;
    EndRowsChange();
    if (OnRepaint) OnRepaint();
    return true;
}

bool TPGN::SaveGame(int Row, int& GameNo, int Mode, const std::string& Text) {
    if (database_) {
        if (!loaded_ || busy_) return false;
        BusyScope busy(*this);
        Hourglass(true);
        const bool ok = Row == -1 ? DBAppend(GameNo, Text) : DBReplace(GameNo, Text);
        Hourglass(false);
        TCancelMode mode = cmGoOn;
        Trace(0, mode);
        return ok;
    }
    if (!CanEdit()) return false;
    if (Mode != gmInsert && Mode != gmReplace) return false;
    // A number from before a new scan may name another game now.
    if (Row != -1 && Mode == gmReplace && !StillSameGame(GameNo)) return false;
    int64_t start = 0;
    const int r = FindRecord(GameNo, start);
    if (Row == -1 || (Mode == gmInsert && sortKey_ != skFileOrder) || r < 0)
        return AppendGame(GameNo, Text);
    const std::string t = Trimmed(Text);
    if (!StartsGame(t)) return false;

    BusyScope busy(*this);
    Hourglass(true);
    Splice s;
    s.Record = r;
    s.Start = start;
    const bool last = r == RecordCount() - 1;
    if (Mode == gmInsert) {
        s.End = start;
        s.Bytes = FormatGameText(t, gmInsert, true);
    } else {
        s.End = EndOf(r);
        s.Bytes = FormatGameText(t, gmReplace, RecordCount() > 1 && !last);
    }
    const bool ok = ApplySplice(s);
    if (ok) {
        const int64_t len = static_cast<int64_t>(s.Bytes.size());
        BeginRowsChange();
        if (Mode == gmInsert) {
            InsertRecord(r, lastGameNo_ + 1, start, len);
            // In file order the new game's row goes before the rows behind it.
            const auto at = std::lower_bound(rows_.begin(), rows_.end(), r) - rows_.begin();
            InsertRow(static_cast<int>(at), r);
            ++lastGameNo_;
            GameNo = lastGameNo_;
        } else {
            const int64_t growth = len - (s.End - s.Start);
            for (size_t i = static_cast<size_t>(r) + 1; i < starts_.size(); ++i)
                starts_[i] += growth;
            lastEnd_ += growth;
        }
        EndRowsChange();
    }
    Hourglass(false);
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
    return ok;
}

bool TPGN::InsertGame(int Row, int& GameNo, const std::string& Text) {
    const int index = database_ ? -1 : GameIndex(Row);
    if (index >= 0) {
        GameNo = gameNos_[index];
        return SaveGame(Row, GameNo, gmInsert, Text);
    }
    return SaveGame(-1, GameNo, gmInsert, Text);
}

bool TPGN::ReplaceGame(int& GameNo, const std::string& Text) {
    return SaveGame(-2, GameNo, gmReplace, Text);
}

bool TPGN::DeleteGame(int Row) {
    return DoDeleteGame(Row, true);
}

bool TPGN::DoDeleteGame(int Key, bool ByRow) {
    if (!ByRow && !StillSameGame(Key)) return false;
    if (database_) {
        if (!loaded_ || busy_) return false;
        if (ByRow && (Key < 0 || Key >= ItemCount())) return false;
        const int number = ByRow ? DBGameNumber(Key) : Key;
        if (number < 0) return false;
        BusyScope busy(*this);
        const bool wasSuppressed = drawingSuppressed_;
        drawingSuppressed_ = true;
        Hourglass(true);
        // The row stays and shows the game as deleted until a compress.
        const bool ok = database_->DeleteGame(number);
        Hourglass(false);
        drawingSuppressed_ = wasSuppressed;
        TCancelMode mode = cmGoOn;
        Trace(0, mode);
        if (OnRepaint) OnRepaint();
        return ok;
    }
    if (!CanEdit()) return false;
    int64_t start = 0;
    const int r = ByRow ? GameIndex(Key) : FindRecord(Key, start);
    if (r < 0) return false;

    BusyScope busy(*this);
    const bool wasSuppressed = drawingSuppressed_;
    drawingSuppressed_ = true;
    Hourglass(true);
    Splice s;
    s.Record = r;
    s.Start = starts_[r];
    s.End = EndOf(r);
    const bool ok = ApplySplice(s);
    if (ok) {
        const int64_t gap = s.End - s.Start;
        BeginRowsChange();
        gameNos_.erase(gameNos_.begin() + r);
        starts_.erase(starts_.begin() + r);
        for (size_t i = static_cast<size_t>(r); i < starts_.size(); ++i)
            starts_[i] -= gap;
        lastEnd_ -= gap;
        // Every other row keeps showing its game.
        rows_.erase(std::remove(rows_.begin(), rows_.end(), r), rows_.end());
        for (auto& row : rows_)
            if (row > r) --row;
        EndRowsChange();
    }
    Hourglass(false);
    drawingSuppressed_ = wasSuppressed;
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
    return ok;
}

// Many games with one write and one sync; the rows change once.
bool TPGN::AppendGames(const std::vector<std::string>& Texts, std::vector<int>& GameNos) {
    GameNos.clear();
    if (Texts.empty()) return false;
    if (database_) return AddDatabaseGames(Texts, GameNos);
    if (!CanEdit()) return false;
    for (const std::string& t : Texts)
        if (!StartsGame(Trimmed(t))) return false;
    BusyScope busy(*this);
    Hourglass(true);
    const bool hadGames = RecordCount() > 0;
    std::string bytes;
    std::vector<int64_t> lengths;
    for (size_t i = 0; i < Texts.size(); ++i) {
        const std::string t = Trimmed(Texts[i]);
        if (hadGames || i > 0) bytes.append(kSeparator);
        bytes.append(t);
        lengths.push_back(static_cast<int64_t>(t.size()));
    }
    int64_t oldSize = 0;
    const bool ok = AppendBytes(bytes, oldSize);
    if (ok) {
        BeginRowsChange();
        int64_t pos = oldSize;
        for (size_t i = 0; i < Texts.size(); ++i) {
            if (hadGames || i > 0) pos += static_cast<int64_t>(kSeparator.size());
            gameNos_.push_back(++lastGameNo_);
            starts_.push_back(pos);
            pos += lengths[i];
            GameNos.push_back(lastGameNo_);
        }
        lastEnd_ = pos;
        const int first = RecordCount() - static_cast<int>(Texts.size());
        for (int index = first; index < RecordCount(); ++index)
            if (Accepts(index)) rows_.push_back(index);
        EndRowsChange();
    }
    Hourglass(false);
    if (OnRepaint) OnRepaint();
    return ok;
}

bool TPGN::InsertGames(int Row, const std::vector<std::string>& Texts, std::vector<int>& GameNos) {
    GameNos.clear();
    const int r = database_ ? -1 : GameIndex(Row);
    // Into a sorted list, or without a row to go before, games are appended.
    if (r < 0 || sortKey_ != skFileOrder) return AppendGames(Texts, GameNos);
    if (Texts.empty() || !CanEdit()) return false;
    for (const std::string& t : Texts)
        if (!StartsGame(Trimmed(t))) return false;
    BusyScope busy(*this);
    Hourglass(true);
    Splice s;
    s.Record = r;
    s.Start = s.End = starts_[r];
    std::vector<int64_t> lengths;
    for (const std::string& text : Texts) {
        const std::string t = Trimmed(text);
        s.Bytes.append(t).append(kSeparator);
        lengths.push_back(static_cast<int64_t>(t.size()));
    }
    const int64_t total = static_cast<int64_t>(s.Bytes.size());
    const bool ok = ApplySplice(s);
    if (ok) {
        BeginRowsChange();
        const size_t k = Texts.size();
        std::vector<int32_t> numbers(k);
        std::vector<int64_t> starts(k);
        int64_t pos = s.Start;
        for (size_t i = 0; i < k; ++i) {
            numbers[i] = ++lastGameNo_;
            starts[i] = pos;
            pos += lengths[i] + static_cast<int64_t>(kSeparator.size());
        }
        for (size_t i = static_cast<size_t>(r); i < starts_.size(); ++i)
            starts_[i] += total;
        lastEnd_ += total;
        gameNos_.insert(gameNos_.begin() + r, numbers.begin(), numbers.end());
        starts_.insert(starts_.begin() + r, starts.begin(), starts.end());
        // In file order the new rows go before the rows behind them, all in
        // one insert.
        const auto at = std::lower_bound(rows_.begin(), rows_.end(), r) - rows_.begin();
        for (auto& row : rows_)
            if (row >= r) row += static_cast<int32_t>(k);
        std::vector<int32_t> shown;
        for (size_t i = 0; i < k; ++i)
            if (Accepts(r + static_cast<int>(i))) shown.push_back(r + static_cast<int>(i));
        rows_.insert(rows_.begin() + at, shown.begin(), shown.end());
        GameNos.assign(numbers.begin(), numbers.end());
        EndRowsChange();
    }
    Hourglass(false);
    if (OnRepaint) OnRepaint();
    return ok;
}

} // namespace kb
