// SPDX-License-Identifier: GPL-3.0-or-later
// TPGN editing: games are appended, inserted, replaced and deleted by
// writing the new file beside the old one and renaming it over the old
// (TPGN::Rewrite, through RewritePGNFile), so that a crash at any instant
// leaves the old file or the new one, each game whole, and no half copy
// under a game file's name. One call takes many games (a drop, a multi-row
// delete) and renames once.
#include "ChessDatabase.h"
#include "PGN.h"
#include "PGNRewrite.h"
#include "PGNScan.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace kb {

// Bytes [Start, End) of the file become Bytes. The records in between are
// FirstRecord .. FirstRecord + Removed - 1; the new games start at NewStarts
// (offsets in Bytes) and get the numbers NewNos.
struct TPGN::Splice {
    int64_t Start = 0;
    int64_t End = 0;
    int FirstRecord = 0;
    int Removed = 0;
    std::string Bytes;
    std::vector<int64_t> NewStarts;
    std::vector<int32_t> NewNos;
    bool Replaces = false; // one game by one new game
};

namespace {

constexpr std::string_view kSeparator = "\r\n\r\n";

std::string Trimmed(const std::string& s) {
    return std::string(TrimBlanks(s));
}

} // namespace

std::string TPGN::FormatGameText(const std::string& Text, int Mode, bool Separated) {
    const std::string t = Trimmed(Text);
    if (Mode == gmAppend) return Separated ? std::string(kSeparator) + t + "\r\n" : t + "\r\n";
    // A game that ends the file ends with CR LF like every other line.
    return t + (Separated ? std::string(kSeparator) : std::string("\r\n"));
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

bool TPGN::MayEdit() {
    if (CanEdit()) return true;
    // The index no longer fits the file: another program changed it while
    // the scan read it, or right after our last change. That is a refusal,
    // which makes the window read the file again.
    if (loaded_ && !busy_ && !scanIncomplete_ && !database_ && (!file_ || knownSize_ < 0))
        lastRewrite_ = TRewriteResult::Refused;
    return false;
}

// The file must still be the one the index was built from (same stamp), and
// each place an edit starts or ends must still be where a game starts.
bool TPGN::IndexStillValid(TFile& File, int64_t At) {
    const TFileStamp now = File.Stamp();
    if (now.MTimeNs == -1 || now != knownStamp_ || now.Size != knownSize_ || lastEnd_ > now.Size)
        return false;
    if (At >= now.Size) return true;
    return GameStartsAt(File, At);
}

int TPGN::RemoveStaleTemps() {
    if (database_ || fileName_.empty() || !file_) return 0;
    return RemoveStaleReplacements(*fs_, fileName_);
}

bool TPGN::Rewrite(const std::vector<Splice>& Splices, std::vector<int32_t>& OldToNew,
                   bool Cancellable) {
    cancelled_ = false;
    lastRewrite_ = TRewriteResult::Failed;
    const int64_t size = knownSize_;
    int64_t newSize = size, prevEnd = 0;
    int prevRecord = 0;
    for (const Splice& s : Splices) {
        if (s.Start < prevEnd || s.Start > s.End || s.End > size || s.FirstRecord < prevRecord ||
            s.Removed < 0 || s.FirstRecord + s.Removed > RecordCount() ||
            s.NewStarts.size() != s.NewNos.size() ||
            (s.Replaces && (s.Removed != 1 || s.NewStarts.size() != 1)))
            return false;
        prevEnd = s.End;
        prevRecord = s.FirstRecord + s.Removed;
        newSize += static_cast<int64_t>(s.Bytes.size()) - (s.End - s.Start);
    }
    // The game behind each change must still start where it does once other
    // bytes stand before it: a game without tags starts only behind a
    // result, a tag only outside the tags or a comment of the game before.
    // Else the change would join it to that game.
    for (const Splice& s : Splices) {
        const int next = s.FirstRecord + s.Removed;
        if (next >= RecordCount() || s.End != starts_[static_cast<size_t>(next)]) continue;
        // A file changed meanwhile is the door's to refuse, below.
        if (!IndexStillValid(*file_, s.End)) continue;
        std::string bytes = s.Bytes;
        if (bytes.empty()) {
            const int64_t from =
                s.FirstRecord > 0 ? starts_[static_cast<size_t>(s.FirstRecord - 1)] : 0;
            bytes.resize(static_cast<size_t>(s.Start - from));
            if (file_->ReadAt(from, bytes.data(), s.Start - from) != s.Start - from) return false;
        }
        const size_t at = bytes.size();
        // The next game whole and the start of the one behind (within
        // reason): one without tags needs what ends it.
        const int64_t look =
            std::min<int64_t>(std::min(EndOf(next) + 4096, size) - s.End, int64_t{1} << 20);
        bytes.resize(at + static_cast<size_t>(look));
        if (file_->ReadAt(s.End, bytes.data() + at, look) != look) return false;
        const std::vector<int64_t> starts = FindGameStarts(bytes);
        if (std::find(starts.begin(), starts.end(), static_cast<int64_t>(at)) == starts.end())
            return false;
    }

    // Through the one door of every change of a game file: the lock keeps a
    // second copy of the program out meanwhile, and the checks make sure the
    // index still describes the file, before and after the copying (messages
    // are pumped meanwhile). The first game is checked where it starts,
    // which need not be the file's first byte (a byte order mark or a note
    // may stand before it).
    TPGNRewrite rw = Rewrite();
    rw.Check = [&](TFile& Old) {
        // A writer that kept size and times may still have moved the games.
        for (const Splice& s : Splices)
            if (!IndexStillValid(Old, s.Start) || !IndexStillValid(Old, s.End)) return false;
        return IndexStillValid(Old, RecordCount() > 0 ? starts_.front() : knownSize_);
    };
    rw.Write = [&](TFile& Old, TFile& New) {
        constexpr int64_t kChunk = 1 << 20;
        std::vector<char> buf(
            static_cast<size_t>(std::min<int64_t>(kChunk, std::max<int64_t>(size, 1))));
        TCancelMode mode = Cancellable ? cmGoOn : cmNoCancel;
        int lastPercent = -1;
        int64_t to = 0;
        auto copy = [&](int64_t From, int64_t Until) {
            while (From < Until) {
                const int64_t want =
                    std::min<int64_t>(static_cast<int64_t>(buf.size()), Until - From);
                if (Old.ReadAt(From, buf.data(), want) != want) return false;
                // Zeros stay a hole of the new file, as they were of a sparse old one.
                const bool zeros = buf[0] == 0 && std::memcmp(buf.data(), buf.data() + 1,
                                                              static_cast<size_t>(want - 1)) == 0;
                if (!zeros && !New.WriteAt(to, buf.data(), want)) return false;
                From += want;
                to += want;
                TraceIfChanged(Percent(to, newSize), lastPercent, mode);
                if (mode == cmCancel) {
                    cancelled_ = true;
                    return false;
                }
            }
            return true;
        };
        bool ok = true;
        int64_t from = 0;
        for (const Splice& s : Splices) {
            ok = copy(from, s.Start) &&
                 New.WriteAt(to, s.Bytes.data(), static_cast<int64_t>(s.Bytes.size()));
            if (!ok) break;
            to += static_cast<int64_t>(s.Bytes.size());
            from = s.End;
        }
        ok = ok && copy(from, size) && to == newSize && New.Truncate(newSize);
        // Every line of the file ends with CR LF, the last one too, also when an
        // older file came without.
        if (ok && newSize > 0) {
            char last = 0;
            ok = New.ReadAt(newSize - 1, &last, 1) == 1;
            if (ok && last != '\n' && last != '\r') {
                ok = New.WriteAt(newSize, "\r\n", 2);
                newSize += 2;
            }
        }
        if (ok) return TRewriteResult::Done;
        return cancelled_ ? TRewriteResult::Stopped : TRewriteResult::Failed;
    };
    lastRewrite_ = RewritePGNFile(*fs_, fileName_, rw);
    if (lastRewrite_ != TRewriteResult::Done) return false; // the old file was never touched

    // The new file stands under the name: the index follows it, whatever
    // happens next. The view saves its selection by the old index first.
    BeginRowsChange();
    std::vector<int32_t> nos;
    std::vector<int64_t> starts;
    nos.reserve(gameNos_.size());
    starts.reserve(starts_.size());
    OldToNew.assign(gameNos_.size(), -1);
    int64_t delta = 0;
    int rec = 0;
    auto keepUpTo = [&](int Until) {
        for (; rec < Until; ++rec) {
            OldToNew[static_cast<size_t>(rec)] = static_cast<int32_t>(starts.size());
            nos.push_back(gameNos_[static_cast<size_t>(rec)]);
            starts.push_back(starts_[static_cast<size_t>(rec)] + delta);
        }
    };
    for (const Splice& s : Splices) {
        keepUpTo(s.FirstRecord);
        // A replaced game keeps its rows.
        if (s.Replaces) OldToNew[static_cast<size_t>(rec)] = static_cast<int32_t>(starts.size());
        rec += s.Removed;
        for (size_t k = 0; k < s.NewStarts.size(); ++k) {
            nos.push_back(s.NewNos[k]);
            starts.push_back(s.Start + delta + s.NewStarts[k]);
        }
        delta += static_cast<int64_t>(s.Bytes.size()) - (s.End - s.Start);
    }
    keepUpTo(RecordCount());
    gameNos_ = std::move(nos);
    starts_ = std::move(starts);
    lastEnd_ = newSize;

    file_ = fs_->Open(fileName_, TOpenMode::Read);
    const TFileStamp now = file_ ? file_->Stamp() : TFileStamp{};
    if (now.MTimeNs != -1 && now.Size == newSize) {
        knownSize_ = newSize;
        knownStamp_ = now;
    } else {
        knownSize_ = -1; // refuse further edits until a new scan
    }
    return true;
}

// Rows after a rewrite: each old row keeps showing its game, the rows of
// removed games go.
void TPGN::RemapRows(const std::vector<int32_t>& OldToNew) {
    size_t w = 0;
    for (size_t r = 0; r < rows_.size(); ++r) {
        const int32_t n = OldToNew[static_cast<size_t>(rows_[r])];
        if (n >= 0) rows_[w++] = n;
    }
    rows_.resize(w);
}

// A row for a new record (the rows already remapped): it goes in only when
// the filter accepts the game.
void TPGN::InsertRow(int Row, int Index) {
    if (!Accepts(Index)) return;
    Row = std::clamp(Row, 0, ItemCount());
    rows_.insert(rows_.begin() + Row, Index);
}

bool TPGN::AppendGames(const std::vector<std::string>& Texts, std::vector<int>& GameNos) {
    lastRewrite_ = TRewriteResult::Failed;
    GameNos.clear();
    if (Texts.empty()) return false;
    if (database_) {
        if (!loaded_ || busy_) return false;
        BusyScope busy(*this);
        for (const std::string& text : Texts) {
            int no = -1;
            if (!DBAppend(no, text)) return false;
            GameNos.push_back(no);
        }
        return true;
    }
    if (!MayEdit()) return false;
    // Views of the texts, and the new bytes sized once: a batch of games
    // is held once more while it goes in, not three times.
    std::vector<std::string_view> ts;
    size_t bytes = 2;
    for (const std::string& text : Texts) {
        ts.push_back(TrimBlanks(text));
        if (!IsOneGameText(ts.back())) return false;
        bytes += ts.back().size() + kSeparator.size();
    }
    BusyScope busy(*this);
    // Held in the list the rewrite takes, so the bytes are not copied into it.
    std::vector<Splice> one(1);
    Splice& s = one.front();
    s.Bytes.reserve(bytes);
    s.Start = s.End = knownSize_;
    s.FirstRecord = RecordCount();
    // The file ends with CR LF.
    s.Bytes = SeparatorBefore(*file_, knownSize_);
    int32_t no = lastGameNo_;
    for (size_t k = 0; k < ts.size(); ++k) {
        if (k > 0) s.Bytes += kSeparator;
        s.NewStarts.push_back(static_cast<int64_t>(s.Bytes.size()));
        s.NewNos.push_back(++no);
        s.Bytes += ts[k];
    }
    s.Bytes += "\r\n";
    Hourglass(true);
    std::vector<int32_t> map;
    const bool ok = Rewrite(one, map, false);
    if (ok) {
        RemapRows(map);
        for (size_t k = 0; k < ts.size(); ++k) {
            InsertRow(ItemCount(), s.FirstRecord + static_cast<int>(k));
            GameNos.push_back(s.NewNos[k]);
        }
        lastGameNo_ = no;
        EndRowsChange();
    }
    Hourglass(false);
    if (OnRepaint) OnRepaint();
    return ok;
}

bool TPGN::AppendGame(int& GameNo, const std::string& Text) {
    // A batch leaves the progress to its caller; one game is the whole job.
    std::vector<int> nos;
    const bool ok = AppendGames({Text}, nos);
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (!ok) return false;
    GameNo = nos.front();
    return true;
}

bool TPGN::InsertGames(int Row, const std::vector<std::string>& Texts, std::vector<int>& GameNos) {
    lastRewrite_ = TRewriteResult::Failed;
    GameNos.clear();
    const int r = database_ ? -1 : GameIndex(Row);
    // Into a sorted list, or without a row to go before, games are appended.
    if (r < 0 || sortKey_ != skFileOrder) return AppendGames(Texts, GameNos);
    if (Texts.empty() || !MayEdit()) return false;
    // Held in the list the rewrite takes, so the bytes are not copied into it.
    std::vector<Splice> one(1);
    Splice& s = one.front();
    s.Start = s.End = starts_[static_cast<size_t>(r)];
    s.FirstRecord = r;
    // The new bytes sized once: a batch of games is held once more while
    // it goes in, not twice.
    size_t bytes = 0;
    for (const std::string& text : Texts) {
        const std::string_view t = TrimBlanks(text);
        if (!IsOneGameText(t)) return false;
        bytes += t.size() + kSeparator.size();
    }
    s.Bytes.reserve(bytes);
    int32_t no = lastGameNo_;
    for (const std::string& text : Texts) {
        s.NewStarts.push_back(static_cast<int64_t>(s.Bytes.size()));
        s.NewNos.push_back(++no);
        s.Bytes += TrimBlanks(text);
        s.Bytes += kSeparator;
    }
    BusyScope busy(*this);
    Hourglass(true);
    std::vector<int32_t> map;
    const bool ok = Rewrite(one, map, false);
    if (ok) {
        RemapRows(map);
        // In file order the new games' rows go before the rows behind them,
        // all in one insert.
        const auto at = std::lower_bound(rows_.begin(), rows_.end(), r) - rows_.begin();
        std::vector<int32_t> shown;
        for (size_t k = 0; k < Texts.size(); ++k) {
            if (Accepts(r + static_cast<int>(k))) shown.push_back(r + static_cast<int32_t>(k));
            GameNos.push_back(s.NewNos[k]);
        }
        rows_.insert(rows_.begin() + at, shown.begin(), shown.end());
        lastGameNo_ = no;
        EndRowsChange();
    }
    Hourglass(false);
    if (OnRepaint) OnRepaint();
    return ok;
}

bool TPGN::SaveGame(int Row, int& GameNo, int Mode, const std::string& Text) {
    lastRewrite_ = TRewriteResult::Failed;
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
    if (!MayEdit()) return false;
    if (Mode != gmInsert && Mode != gmReplace) return false;
    // A number from before a new scan may name another game now.
    if (Row != -1 && Mode == gmReplace && !StillSameGame(GameNo)) return false;
    int64_t start = 0;
    const int r = FindRecord(GameNo, start);
    if (Row == -1 || (Mode == gmInsert && sortKey_ != skFileOrder) || r < 0)
        return AppendGame(GameNo, Text);
    if (Mode == gmInsert) {
        const auto row = std::find(rows_.begin(), rows_.end(), r);
        std::vector<int> nos;
        if (row == rows_.end() || !InsertGames(static_cast<int>(row - rows_.begin()), {Text}, nos))
            return false;
        GameNo = nos.front();
        return true;
    }
    const std::string t = Trimmed(Text);
    if (!IsGameText(t)) return false;

    BusyScope busy(*this);
    Hourglass(true);
    Splice s;
    s.FirstRecord = r;
    s.Removed = 1;
    s.Start = start;
    s.End = EndOf(r);
    const bool last = r == RecordCount() - 1;
    s.Bytes = FormatGameText(t, gmReplace, !last);
    s.NewStarts = {0};
    s.NewNos = {GameNo};
    s.Replaces = true;
    std::vector<int32_t> map;
    const bool ok = Rewrite({s}, map, false);
    if (ok) {
        RemapRows(map);
        EndRowsChange();
    }
    Hourglass(false);
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
    return ok;
}

bool TPGN::InsertGame(int Row, int& GameNo, const std::string& Text) {
    // A batch leaves the progress to its caller; one game is the whole job.
    std::vector<int> nos;
    const bool ok = InsertGames(Row, {Text}, nos);
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (!ok) return false;
    GameNo = nos.front();
    return true;
}

bool TPGN::ReplaceGame(int& GameNo, const std::string& Text) {
    return SaveGame(-2, GameNo, gmReplace, Text);
}

bool TPGN::DeleteGame(int Row) {
    return DoDeleteGame(Row, true);
}

bool TPGN::DoDeleteGame(int Key, bool ByRow) {
    lastRewrite_ = TRewriteResult::Failed;
    if (!ByRow && !StillSameGame(Key)) return false;
    if (database_) return DeleteGames({ByRow ? Key : -1}, ByRow ? -1 : Key);
    if (ByRow) return DeleteGames({Key});
    if (!MayEdit()) return false;
    int64_t start = 0;
    const int r = FindRecord(Key, start);
    if (r < 0) return false;
    return DeleteRecords({r});
}

bool TPGN::DeleteGames(const std::vector<int>& Rows, int DBNumber) {
    lastRewrite_ = TRewriteResult::Failed;
    if (database_) {
        if (!loaded_ || busy_) return false;
        BusyScope busy(*this);
        const bool wasSuppressed = drawingSuppressed_;
        drawingSuppressed_ = true;
        Hourglass(true);
        bool ok = true;
        // The rows stay and show their games as deleted until a compress.
        for (int row : Rows) {
            const int number = DBNumber >= 0                   ? DBNumber
                               : row >= 0 && row < ItemCount() ? DBGameNumber(row)
                                                               : -1;
            if (number < 0 || !database_->DeleteGame(number)) {
                ok = false;
                break;
            }
        }
        Hourglass(false);
        drawingSuppressed_ = wasSuppressed;
        TCancelMode mode = cmGoOn;
        Trace(0, mode);
        if (OnRepaint) OnRepaint();
        return ok;
    }
    if (!MayEdit() || Rows.empty()) return false;
    std::vector<int> records;
    for (int row : Rows) {
        const int r = GameIndex(row);
        if (r < 0) return false;
        records.push_back(r);
    }
    return DeleteRecords(records);
}

// PGN mode: the games go from the file in one rewrite.
bool TPGN::DeleteRecords(std::vector<int> Records) {
    std::sort(Records.begin(), Records.end());
    Records.erase(std::unique(Records.begin(), Records.end()), Records.end());
    std::vector<Splice> splices;
    for (int r : Records) {
        Splice s;
        s.FirstRecord = r;
        s.Removed = 1;
        s.Start = starts_[static_cast<size_t>(r)];
        s.End = EndOf(r);
        // Neighbours join into one splice, so the splices never overlap.
        if (!splices.empty() && splices.back().End == s.Start) {
            splices.back().End = s.End;
            ++splices.back().Removed;
        } else {
            splices.push_back(std::move(s));
        }
    }
    BusyScope busy(*this);
    const bool wasSuppressed = drawingSuppressed_;
    drawingSuppressed_ = true;
    Hourglass(true);
    std::vector<int32_t> map;
    const bool ok = Rewrite(splices, map, true);
    if (ok) {
        RemapRows(map); // every other row keeps showing its game
        EndRowsChange();
    }
    Hourglass(false);
    drawingSuppressed_ = wasSuppressed;
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
    return ok;
}

TPGNRewrite TPGN::Rewrite() {
    TPGNRewrite rw;
    rw.ReadStamp = knownStamp_;
    rw.LockWait = lockWait_;
    rw.Waiting = [this] {
        TCancelMode mode = cmGoOn; // the window paints, and its stop is read
        cancelled_ = !Trace(0, mode);
        return !cancelled_;
    };
    return rw;
}

// The whole file anew, game by game, through the same door as every edit.
TRewriteResult TPGN::RewriteGames(const std::function<bool(int Index, std::string& Text)>& Game,
                                  const std::function<void()>& BeforeRename) {
    lastRewrite_ = TRewriteResult::Failed;
    if (database_ || !MayEdit() || !Game) return lastRewrite_;
    BusyScope busy(*this);
    const int count = RecordCount();
    TPGNRewrite rw = Rewrite();
    rw.Check = [&](TFile& Old) {
        return IndexStillValid(Old, count > 0 ? starts_.front() : knownSize_);
    };
    rw.BeforeRename = BeforeRename;
    rw.Write = [&](TFile& Old, TFile& New) {
        int64_t to = 0;
        auto write = [&](std::string_view Bytes) {
            if (!New.WriteAt(to, Bytes.data(), static_cast<int64_t>(Bytes.size()))) return false;
            to += static_cast<int64_t>(Bytes.size());
            return true;
        };
        // Whatever stands before the first game stays (all of a file
        // without games).
        const int64_t head = count > 0 ? starts_.front() : knownSize_;
        std::string text(static_cast<size_t>(head), '\0');
        if (Old.ReadAt(0, text.data(), head) != head || !write(text)) return TRewriteResult::Failed;
        std::string game;
        for (int i = 0; i < count; ++i) {
            const int64_t start = starts_[static_cast<size_t>(i)];
            const int64_t len = std::max<int64_t>(EndOf(i) - start, 0);
            // A little of what stands before the game comes along, for the
            // look at its start.
            const int64_t back = std::min<int64_t>(start, 256);
            text.resize(static_cast<size_t>(back + len));
            if (Old.ReadAt(start - back, text.data(), back + len) != back + len)
                return TRewriteResult::Failed;
            // Each game is still where the index has it.
            if (!GameStartsIn(text, static_cast<size_t>(back), start == back))
                return TRewriteResult::Refused;
            // The game changes; the blanks around it stay as they are, line
            // ends included.
            const std::string_view all = std::string_view(text).substr(static_cast<size_t>(back));
            const std::string_view t = TrimBlanks(all);
            const size_t before = static_cast<size_t>(t.data() - all.data());
            game.assign(t);
            if (!Game(i, game)) return TRewriteResult::Stopped;
            if (!write(all.substr(0, before)) || !write(game) ||
                !write(all.substr(before + t.size())))
                return TRewriteResult::Failed;
        }
        return TRewriteResult::Done;
    };
    lastRewrite_ = RewritePGNFile(*fs_, fileName_, rw);
    if (lastRewrite_ == TRewriteResult::Done) knownSize_ = -1; // no edit from the old index
    return lastRewrite_;
}

} // namespace kb
