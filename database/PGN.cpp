// SPDX-License-Identifier: GPL-3.0-or-later
// TPGN: opening and scanning, rows, reading games and headers, filter, sort.
#include "PGN.h"
#include "ChessDatabase.h"
#include "PGNScan.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kb {

namespace {

bool HasPGNExtension(const std::string& Name) {
    std::string ext = fs::path(Name).extension().string();
    if (ext.size() != 4) return false;
    for (auto& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".pgn";
}

// The name as it identifies the file: absolute, links and dots resolved.
std::string CanonicalName(const std::string& Name) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(Name, ec), ec);
    if (ec) return fs::absolute(Name).lexically_normal().string();
    return p.string();
}

// Splits a game text into lines; CR LF, LF and a lone CR all end a line.
template <typename Fn> void ForEachLine(std::string_view Text, Fn&& fn) {
    size_t i = 0, n = Text.size();
    while (i < n) {
        size_t j = i;
        while (j < n && Text[j] != '\r' && Text[j] != '\n')
            ++j;
        if (!fn(Text.substr(i, j - i))) return;
        if (j < n && Text[j] == '\r' && j + 1 < n && Text[j + 1] == '\n') ++j;
        i = j + 1;
    }
}

// A later stretch of a large file, the bytes [From, To), scanned on a
// thread of its own while the caller scans the bytes before. The caller
// keeps what it finds only when its own scanner stands where this one began
// (TGameStartScanner::StandsAt); otherwise it stops this one and reads the
// stretch itself. The thread ends with the object at the latest.
class TLaterStretch {
public:
    // Throws std::system_error when no thread can be had.
    TLaterStretch(int Stretch, TFile& File, const TGameStartScanner& Start, int64_t From,
                  int64_t To, size_t Read)
        : file_(File), scanner_(Start), offset_(From), to_(To), read_(Read) {
        thread_ = StartScanThread(Stretch, [this] { Run(); });
    }
    ~TLaterStretch() { Stop(); }
    TLaterStretch(const TLaterStretch&) = delete;
    TLaterStretch& operator=(const TLaterStretch&) = delete;

    void Stop() {
        stop_.store(true, std::memory_order_relaxed);
        if (thread_.joinable()) thread_.join();
    }
    // Waits up to Time for the thread to run.
    void WaitRunning(std::chrono::milliseconds Time) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, Time, [this] { return running_; });
    }
    // Waits up to Time for the stretch to be read through; true when it is.
    // Rethrows what the thread met (memory running out).
    bool Wait(std::chrono::milliseconds Time) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!changed_.wait_for(lock, Time, [this] { return done_; })) return false;
        }
        thread_.join();
        if (error_) std::rethrow_exception(error_);
        return true;
    }
    // Bytes scanned so far, for the progress.
    int64_t Scanned() const { return scanned_.load(std::memory_order_relaxed); }

    // What the stretch holds, once Wait returned true.
    TGameStartScanner& Scanner() { return scanner_; }
    const std::vector<int64_t>& Starts() const { return starts_; }
    int64_t End() const { return offset_; }
    bool Failed() const { return failed_; }
    // The file ended before To.
    bool Ended() const { return ended_; }

private:
    void Run() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = true;
        }
        changed_.notify_one();
        try {
            std::vector<char> buffer(TGameStartScanner::HeadRoom + read_);
            char* block = buffer.data() + TGameStartScanner::HeadRoom;
            while (offset_ < to_ && !stop_.load(std::memory_order_relaxed)) {
                const int64_t n = file_.ReadAt(
                    offset_, block, std::min(static_cast<int64_t>(read_), to_ - offset_));
                if (n <= 0) {
                    failed_ = n < 0;
                    ended_ = n == 0;
                    break;
                }
                scanner_.Feed(block, static_cast<size_t>(n), starts_);
                offset_ += n;
                scanned_.fetch_add(n, std::memory_order_relaxed);
            }
        } catch (...) {
            error_ = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        changed_.notify_one();
    }

    TFile& file_;
    TGameStartScanner scanner_;
    std::vector<int64_t> starts_;
    int64_t offset_;
    const int64_t to_;
    const size_t read_;
    bool failed_ = false, ended_ = false;
    std::exception_ptr error_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> scanned_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool running_ = false, done_ = false;
    std::thread thread_;
};

// Where a scan of the file from the middle on may begin, in Probe (the
// bytes from the middle on): behind a line end and the first byte of a
// line of moves, a digit or a letter. A scanner that read the file up to
// there almost always stands in move text. Returns the offset in Probe, or
// 0 when there is none.
size_t MoveLineInside(std::string_view Probe) {
    for (size_t k = 0; k + 1 < Probe.size(); ++k) {
        const char c = Probe[k + 1];
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (Probe[k] == '\n' && alnum) return k + 2;
    }
    return 0;
}

} // namespace

TPGN::TPGN() : fs_(&TFileSystem::Posix()) {
    header_.Tags.emplace();
    ClearEventData(header_);
}

TPGN::~TPGN() {
    Close();
}

bool TPGN::Trace(int Percent, TCancelMode& Mode) {
    if (OnPGNTrace) OnPGNTrace(this, Percent, Mode);
    return Mode != cmCancel;
}

void TPGN::TraceIfChanged(int Percent, int& Last, TCancelMode& Mode) {
    if (Percent == Last) return;
    Last = Percent;
    Trace(Percent, Mode);
}

void TPGN::BeginRowsChange() {
    if (OnBeforeRowsChange) OnBeforeRowsChange();
}

void TPGN::EndRowsChange() {
    if (OnAfterRowsChange) OnAfterRowsChange();
}

void TPGN::Hourglass(bool On) {
    if (OnHourglass) OnHourglass(On);
}

TPGNGameRecord TPGN::Record(int Index) const {
    if (Index < 0 || Index >= RecordCount()) return {-1, 0, 0};
    return {gameNos_[Index], starts_[Index], EndOf(Index)};
}

int64_t TPGN::EndOf(int Index) const {
    return Index + 1 < RecordCount() ? starts_[Index + 1] : lastEnd_;
}

size_t TPGN::IndexBytes() const {
    return gameNos_.capacity() * sizeof(int32_t) + starts_.capacity() * sizeof(int64_t) +
           rows_.capacity() * sizeof(int32_t);
}

void TPGN::Close() {
    database_.reset();
    filterList_.reset();
    dbRows_ = 0;
    file_.reset();
    loaded_ = false;
}

bool TPGN::SetFileName(const std::string& FileName) {
    openRefusal_ = TOpenRefusal::None;
    if (busy_) return false;
    if (FileName.empty()) {
        BeginRowsChange();
        rows_.clear();
        gameNos_.clear();
        starts_.clear();
        lastEnd_ = 0;
        Close();
        fileName_.clear();
        scanIncomplete_ = false;
        sortKey_ = 0;
        EndRowsChange();
        return true;
    }
    const std::string name = CanonicalName(FileName);
    if (loaded_ && name == fileName_) {
        if (!scanIncomplete_) return true;
        return OpenPGN(name);
    }
    std::error_code ec;
    if (fs::exists(name, ec)) {
        if (!HasPGNExtension(name)) return OpenDatabase(name, false);
        if (!IsPGNFile(name)) {
            openRefusal_ =
                fs_->Open(name, TOpenMode::Read) ? TOpenRefusal::NotPGN : TOpenRefusal::Unreadable;
            return false;
        }
        return OpenPGN(name);
    }
    bool create = true;
    if (BeforeCreatePGNFile) BeforeCreatePGNFile(this, name, create);
    if (!create) return false;
    if (!HasPGNExtension(name)) return OpenDatabase(name, true);
    auto created = fs_->Open(name, TOpenMode::CreateNew);
    if (!created || !created->Sync() || !fs_->SyncFolder(name)) {
        openRefusal_ = TOpenRefusal::NotCreated;
        return false;
    }
    created.reset();
    return OpenPGN(name);
}

bool TPGN::OpenPGN(const std::string& Path) {
    auto file = fs_->Open(Path, TOpenMode::Read);
    if (!file) {
        openRefusal_ = TOpenRefusal::Unreadable;
        return false;
    }
    BeginRowsChange();
    Close();
    EndRowsChange();
    ++generation_;
    file_ = std::move(file);
    fileName_ = Path;
    loaded_ = true;
    scanIncomplete_ = true;
    sortKey_ = 0;
    Hourglass(true);
    {
        BusyScope busy(*this);
        // Every game gets a row while scanning.
        auto filter = std::move(OnFilterRequest);
        OnFilterRequest = nullptr;
        Scan();
        OnFilterRequest = std::move(filter);
    }
    lastGameNo_ = RecordCount() - 1;
    RemoveStaleTemps();
    Hourglass(false);
    TCancelMode mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
    return true;
}

bool TPGN::Reread() {
    if (busy_ || database_ || fileName_.empty()) return false;
    const std::string name = fileName_;
    return OpenPGN(name);
}

void TPGN::Scan() {
    BeginRowsChange();
    rows_.clear();
    gameNos_.clear();
    starts_.clear();
    lastEnd_ = 0;

    const TFileStamp before = file_->Stamp();
    const bool statOk = before.MTimeNs != -1;
    const int64_t size = std::max<int64_t>(0, before.Size);
    knownSize_ = -1; // edits stay refused unless the scan completes cleanly
    knownStamp_ = before;
    file_->AdviseSequential();

    // Read a few blocks per call (the buffer stays in the cache while it is
    // searched); the progress still counts blocks.
    constexpr size_t kRead = 4 * BlockSize;
    buffer_.resize(TGameStartScanner::HeadRoom + kRead);
    char* block = buffer_.data() + TGameStartScanner::HeadRoom;
    TGameStartScanner scanner;
    const int64_t blocks = size / BlockSize;
    TCancelMode mode = cmGoOn;
    int lastPercent = -1;
    bool cancelled = false, failed = false, ended = false;
    int64_t offset = 0;

    // A large file is read in stretches at once, each but the first on a
    // thread of its own from the start of a line of moves. What a stretch
    // holds is kept when the scan of the bytes before, at its first offset,
    // stands in move text there; otherwise this thread reads it again.
    constexpr int64_t kStretchFrom = 8 * static_cast<int64_t>(kRead);
    const int stretches =
        static_cast<int>(std::clamp<int64_t>(size / kStretchFrom, 1, std::max(1, ScanThreads())));
    std::vector<int64_t> splits{0};
    std::vector<TGameStartScanner> stretchStarts{TGameStartScanner()};
    for (int p = 1; p < stretches; ++p) {
        const int64_t from = size / stretches * p;
        const int64_t n = file_->ReadAt(from, block, kRead);
        const size_t at =
            n > 0 ? MoveLineInside(std::string_view(block, static_cast<size_t>(n))) : 0;
        const int64_t split = from + static_cast<int64_t>(at);
        if (at == 0 || split <= splits.back() || split >= size) continue;
        splits.push_back(split);
        stretchStarts.push_back(TGameStartScanner::InMovesAt(split, block[at - 2], block[at - 1]));
    }
    splits.push_back(std::numeric_limits<int64_t>::max());
    std::vector<std::unique_ptr<TLaterStretch>> later(splits.size() - 1);
    for (size_t p = 1; p < later.size(); ++p) {
        try {
            later[p] = std::make_unique<TLaterStretch>(
                static_cast<int>(p), *file_, stretchStarts[p], splits[p], splits[p + 1], kRead);
        } catch (const std::system_error&) {
            // No thread to be had: this one reads the stretch.
        }
    }
    // Bytes scanned, counted once; the progress stays where it is while this
    // thread reads again what a later stretch had read for nothing.
    int64_t scanned = 0;
    auto progress = [&] {
        int64_t done = offset;
        for (const auto& stretch : later)
            if (stretch) done += stretch->Scanned();
        scanned = std::max(scanned, done);
        if (starts_.size() > 51) {
            TraceIfChanged(Percent(scanned / BlockSize, blocks), lastPercent, mode);
            if (mode == cmCancel) cancelled = true;
        }
    };
    // Scans on up to Limit, the end of the file, a failed read or a cancel.
    auto scanUpTo = [&](int64_t Limit) {
        while (offset < Limit) {
            const int64_t n =
                file_->ReadAt(offset, block, std::min(static_cast<int64_t>(kRead), Limit - offset));
            if (n < 0) {
                failed = true;
                return;
            }
            if (n == 0) {
                ended = true;
                return;
            }
            scanner.Feed(block, static_cast<size_t>(n), starts_);
            offset += n;
            progress();
            if (cancelled) return;
        }
    };
    // Once the other threads run, this one, woken, goes to a processor of
    // its own rather than sharing the one it started the first of them on.
    for (const auto& stretch : later)
        if (stretch) stretch->WaitRunning(std::chrono::milliseconds(5));
    scanUpTo(splits[1]);
    for (size_t p = 1; p < later.size() && !cancelled && !failed && !ended; ++p) {
        auto& stretch = later[p];
        if (stretch && scanner.StandsAt(stretchStarts[p])) {
            while (!stretch->Wait(std::chrono::milliseconds(20))) {
                progress();
                if (cancelled) break;
            }
            if (cancelled) break;
            starts_.insert(starts_.end(), stretch->Starts().begin(), stretch->Starts().end());
            scanner = std::move(stretch->Scanner());
            offset = stretch->End();
            failed = stretch->Failed();
            ended = stretch->Ended();
            stretch.reset();
        } else {
            stretch.reset();
            scanUpTo(splits[p + 1]);
        }
    }
    later.clear();
    if (!cancelled && !failed) scanner.Finish(starts_);
    // Every start closes the game before it; the last one is still open.
    if (!starts_.empty()) {
        if (cancelled || failed) {
            lastEnd_ = starts_.back();
            starts_.pop_back();
        } else {
            lastEnd_ = offset;
        }
    }
    starts_.shrink_to_fit();
    gameNos_.resize(starts_.size());
    std::iota(gameNos_.begin(), gameNos_.end(), 0);
    rows_.resize(starts_.size());
    std::iota(rows_.begin(), rows_.end(), 0);
    buffer_.clear();
    buffer_.shrink_to_fit();
    if (!cancelled && !failed) {
        scanIncomplete_ = false;
        // A file that changed under the scan keeps the index from editing it.
        const TFileStamp after = file_->Stamp();
        if (statOk && after == before && after.Size == offset) knownSize_ = offset;
    }
    EndRowsChange();
}

int TPGN::GameIndex(int Row) const {
    if (Row < 0 || Row >= ItemCount()) return -1;
    return RowGameIndex(Row);
}

int TPGN::RowGameIndex(int Row) const {
    if (database_) return DBGameNumber(Row);
    if (Row < 0 || Row >= ItemCount()) return -1;
    return rows_[Row];
}

int TPGN::RowGameNo(int Row) const {
    const int game = RowGameIndex(Row);
    if (database_ || game < 0) return game;
    return game < RecordCount() ? gameNos_[static_cast<size_t>(game)] : -1;
}

int TPGN::DBGameNumber(int Row) const {
    if (!filterList_) return Row;
    if (Row < 0 || Row >= static_cast<int>(filterList_->size())) return -1;
    return (*filterList_)[Row];
}

bool TPGN::ReadGameText(int GameIndex, bool& Deleted, std::string& Text) {
    Deleted = false;
    Text.clear();
    if (database_) {
        if (GameIndex < 0) return false;
        std::string key;
        const bool ok = RawRecords ? database_->ReadRecord(key, Text, Deleted, GameIndex)
                                   : database_->ReadGame(key, Text, Deleted, GameIndex);
        if (!ok) Text.clear();
        return ok;
    }
    if (!loaded_ || !file_ || GameIndex < 0 || GameIndex >= RecordCount()) return false;
    const int64_t start = starts_[GameIndex];
    const int64_t len = EndOf(GameIndex) - start;
    if (len <= 0) return len == 0;
    std::string raw(static_cast<size_t>(len), '\0');
    int64_t n = file_->ReadAt(start, raw.data(), static_cast<int64_t>(raw.size()));
    if (n < 0) return false;
    raw.resize(static_cast<size_t>(n));
    std::string_view t = TrimBlanks(raw);
    Text.assign(t.data(), t.size());
    return true;
}

void TPGN::GetGame(int GameIndex, int& GameNo, std::string& Text) {
    bool deleted = false;
    GetGame(GameIndex, GameNo, Text, deleted);
}

void TPGN::GetGame(int GameIndex, int& GameNo, std::string& Text, bool& Deleted) {
    Hourglass(true);
    GameNo = -1;
    ReadGameText(GameIndex, Deleted, Text);
    if (!Text.empty() && database_)
        GameNo = GameIndex;
    else if (!Text.empty() && GameIndex >= 0 && GameIndex < RecordCount())
        GameNo = gameNos_[GameIndex];
    if (GameNo >= 0) handedOut_[GameNo] = Stamp();
    Hourglass(false);
}

void TPGN::ReadHeader(int GameIndex) {
    ReadHeaderInto(GameIndex, true);
}

void TPGN::ReadHeaderInto(int GameIndex, bool WithMovetext) {
    std::string text;
    bool deleted = false;
    ReadGameText(GameIndex, deleted, text);
    ClearEventData(header_);
    if (!header_.Tags) header_.Tags.emplace();
    header_.Tags->Clear();
    header_.Deleted = deleted;
    gameLines_.clear();
    if (text.empty()) {
        header_.White = "Error";
        header_.Black = "...";
        return;
    }
    bool inTags = true;
    // The tags of one line; false when move text follows them, which ends the tags.
    auto readTags = [&](std::string_view t) {
        const std::string_view rest = SplitTagLine(t, lineTags_);
        for (const std::string_view tag : lineTags_)
            ParseTagLine(header_, tag);
        if (rest.empty()) return true;
        inTags = false;
        if (WithMovetext) {
            header_.Movetext.append(rest);
            header_.Movetext.append("\r\n");
        }
        return false;
    };
    std::string cut; // a tag line whose last tag may go on in the next line
    ForEachLine(text, [&](std::string_view line) {
        if (WithMovetext) gameLines_.emplace_back(line);
        const std::string_view t = inTags ? TrimBlanks(line) : std::string_view();
        if (!cut.empty()) {
            if (std::string joined = JoinCutTag(cut, t); !joined.empty()) {
                cut = std::move(joined);
                return true;
            }
            const bool tagsGoOn = readTags(cut);
            cut.clear();
            if (!tagsGoOn && !WithMovetext) return false;
        }
        if (inTags) {
            // As the game itself is read: an empty line or an escaped "%"
            // line among the tags does not end them when a tag line follows.
            if (t.empty() || line.front() == '%') return true;
            if (t.front() == '[') {
                // Only a line that does not end in "]" can end in a cut tag.
                if (t.back() != ']') {
                    cut.assign(t);
                    return true;
                }
                // Several tags may share a line, and move text may follow the last.
                return readTags(t) || WithMovetext;
            }
            inTags = false;
            if (!WithMovetext) return false;
        }
        header_.Movetext.append(line);
        header_.Movetext.append("\r\n");
        return true;
    });
    if (!cut.empty()) readTags(cut);
}

bool TPGN::Accepts(int GameIndex) {
    if (!OnFilterRequest) return true;
    ReadHeader(GameIndex);
    bool show = true;
    OnFilterRequest(this, header_, show);
    return show;
}

void TPGN::ApplyFilter() {
    if (busy_ || !loaded_) return;
    TCancelMode mode = cmGoOn;
    BusyScope busy(*this);
    Hourglass(true);
    sortKey_ = 0;
    if (database_) {
        DBApplyFilter(mode);
    } else {
        BeginRowsChange();
        rows_.clear();
        const int total = RecordCount();
        int lastPercent = -1;
        for (int i = 0; i < total; ++i) {
            if (Accepts(i)) rows_.push_back(i);
            TraceIfChanged(Percent(i + 1, total), lastPercent, mode);
            if (mode == cmCancel) break;
        }
        EndRowsChange();
    }
    Hourglass(false);
    mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
}

std::string TPGN::SortText(uint8_t Key) const {
    const TEventData& h = header_;
    switch (Key) {
    case skWhite:
        return h.White;
    case skBlack:
        return h.Black;
    case skEvent:
        return h.Event;
    case skAnnotator:
        return h.Annotator;
    case skSite:
        return h.Site;
    case skResult:
        return h.Result;
    case skECO:
        return h.ECO;
    default:
        return {};
    }
}

// Reads the key of each game and finds the order: numbers sort as numbers
// (950 before 2100), names byte by byte, equal keys keep their order. False
// when cancelled.
bool TPGN::SortOrder(const std::vector<int32_t>& Games, uint8_t Key, TCancelMode& Mode,
                     std::vector<uint32_t>& Perm) {
    const bool numeric = Key >= skYear;
    const size_t n = Games.size();
    std::vector<std::string> texts;
    std::vector<uint16_t> numbers;
    if (numeric)
        numbers.resize(n);
    else
        texts.resize(n);
    int lastPercent = -1;
    for (size_t i = 0; i < n; ++i) {
        ReadHeaderInto(Games[i], false);
        if (numeric) {
            numbers[i] = Key == skYear       ? header_.Year
                         : Key == skWhiteElo ? header_.WhiteElo
                         : Key == skBlackElo ? header_.BlackElo
                                             : header_.MoveCount;
        } else {
            texts[i] = SortText(Key);
        }
        TraceIfChanged(Percent(static_cast<int64_t>(i + 1), static_cast<int64_t>(n) * 2),
                       lastPercent, Mode);
        if (Mode == cmCancel) return false;
    }
    Perm.resize(n);
    std::iota(Perm.begin(), Perm.end(), 0u);
    if (numeric)
        std::stable_sort(Perm.begin(), Perm.end(),
                         [&](uint32_t a, uint32_t b) { return numbers[a] < numbers[b]; });
    else
        std::stable_sort(Perm.begin(), Perm.end(),
                         [&](uint32_t a, uint32_t b) { return texts[a] < texts[b]; });
    TraceIfChanged(100, lastPercent, Mode);
    return true;
}

void TPGN::Sort(uint8_t Key) {
    if (busy_ || !loaded_ || ItemCount() == 0 || Key > skLast) return;
    TCancelMode mode = cmGoOn;
    BusyScope busy(*this);
    Hourglass(true);
    if (database_) {
        DBSort(Key, mode);
    } else if (Key == sortKey_) {
        if (Key != skFileOrder) {
            BeginRowsChange();
            std::reverse(rows_.begin(), rows_.end());
            EndRowsChange();
        }
    } else {
        // Rows in file order first, so that equal keys keep it.
        std::vector<int32_t> order = rows_;
        std::sort(order.begin(), order.end());
        std::vector<uint32_t> perm;
        if (Key == skFileOrder || SortOrder(order, Key, mode, perm)) {
            if (!perm.empty()) {
                std::vector<int32_t> sorted(order.size());
                for (size_t i = 0; i < order.size(); ++i)
                    sorted[i] = order[perm[i]];
                order.swap(sorted);
            }
            BeginRowsChange();
            rows_.swap(order);
            sortKey_ = Key;
            EndRowsChange();
        }
    }
    Hourglass(false);
    mode = cmGoOn;
    Trace(0, mode);
    if (OnRepaint) OnRepaint();
}

} // namespace kb
