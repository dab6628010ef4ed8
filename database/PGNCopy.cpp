// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNCopy.h"
#include "ChessDatabase.h"
#include "Notation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace kb {

namespace {

// Conversion between PGN text and records on worker threads, each with its
// own converter (a database object that is never opened) and notation. The
// workers live as long as the copy, not one batch: each thread that ends
// costs its share of the notation's memory until another takes it over.
class TConverters {
public:
    TConverters() {
        threads_ = std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
        for (size_t t = 0; t < threads_; ++t)
            workers_.emplace_back([this, t] { Work(t); });
    }

    ~TConverters() {
        {
            const std::lock_guard<std::mutex> lock(m_);
            quit_ = true;
        }
        start_.notify_all();
        for (auto& th : workers_)
            th.join();
    }

    TConverters(const TConverters&) = delete;
    TConverters& operator=(const TConverters&) = delete;

    // Converts Games in place. Wait runs on the calling thread every few
    // hundredths of a second until all are done; false from it ends the
    // conversion early and the result is false.
    bool Run(std::vector<std::string>& Games, bool ToRecords, const std::function<bool()>& Wait) {
        std::unique_lock<std::mutex> lock(m_);
        games_ = &Games;
        toRecords_ = ToRecords;
        stop_ = false;
        finished_ = 0;
        ++job_;
        start_.notify_all();
        const size_t threads = threads_;
        while (finished_ < threads) {
            if (done_.wait_for(lock, std::chrono::milliseconds(30),
                               [&] { return finished_ == threads; }))
                break;
            lock.unlock();
            if (Wait && !Wait()) stop_ = true;
            lock.lock();
        }
        games_ = nullptr;
        return !stop_;
    }

private:
    void Work(size_t T) {
        // Made and freed on this thread, so that the moves of its last game
        // go back to this thread's free list, which it hands on as it ends.
        TNotation notation;
        TChessDatabase c;
        c.Notation = &notation;
        uint64_t seen = 0;
        for (;;) {
            std::vector<std::string>* games;
            bool toRecords;
            {
                std::unique_lock<std::mutex> lock(m_);
                start_.wait(lock, [&] { return quit_ || job_ != seen; });
                if (quit_) return;
                seen = job_;
                games = games_;
                toRecords = toRecords_;
            }
            const size_t threads = threads_;
            for (size_t g = T; g < games->size() && !stop_.load(std::memory_order_relaxed);
                 g += threads) {
                std::string& text = (*games)[g];
                if (text.empty()) continue;
                text = toRecords ? c.PGNToRecord(text) : c.RecordToPGN(text);
            }
            const std::lock_guard<std::mutex> lock(m_);
            ++finished_;
            done_.notify_one();
        }
    }

    size_t threads_ = 0;
    std::mutex m_;
    std::condition_variable start_, done_;
    uint64_t job_ = 0;
    bool quit_ = false;
    std::vector<std::string>* games_ = nullptr;
    bool toRecords_ = false;
    size_t finished_ = 0;
    std::atomic<bool> stop_{false};
    // Last: started once everything above is built.
    std::vector<std::thread> workers_;
};

// A database list hands out and takes its records as stored, and the list
// stays open; put back however the copy ends. Used for source and target.
class TListScope {
public:
    explicit TListScope(TPGN& S) : s_(S) {
        s_.RawRecords = s_.IsDatabase();
        s_.KeepOpen(true);
    }
    ~TListScope() {
        s_.RawRecords = false;
        s_.KeepOpen(false);
    }
    TListScope(const TListScope&) = delete;
    TListScope& operator=(const TListScope&) = delete;

private:
    TPGN& s_;
};

// Games read from the source at a time while a batch fills.
constexpr size_t kReadChunk = 256;
// The most a batch holds however large the file it goes into.
constexpr int64_t kMostBatchBytes = int64_t{256} << 20;
// Fewer games than this are converted on the calling thread.
constexpr size_t kThreadedFrom = 16;

} // namespace

TCopyResult CopyInBatches(TPGN& Source, const std::vector<int>& Rows, const TCopySink& Sink,
                          const TCopyOptions& Options) {
    TCopyResult result;
    result.NotCopied = static_cast<int>(Rows.size());
    if (Rows.empty() || !Source.Loaded() || !Sink.Write) return result;
    TListScope scope(Source);
    const bool convert = Source.IsDatabase() != Sink.Records;
    std::unique_ptr<TConverters> converters;
    const int total = static_cast<int>(Rows.size());
    int done = 0;
    size_t pos = 0;
    std::vector<int> indexes;
    std::vector<std::string> texts, games;
    std::vector<char> readable;
    while (pos < Rows.size()) {
        // Fill a batch: the games of Rows[first, pos).
        const size_t first = pos;
        games.clear();
        readable.clear();
        int64_t bytes = 0;
        // A batch into a file written anew each time is as large as that
        // file, so the rewriting stays linear; but never larger than memory
        // can be expected to hold (a huge target costs more rewrites then).
        const int64_t batchBytes =
            std::max(Sink.BatchBytes,
                     std::min(Sink.Rewritten ? Sink.Rewritten() : int64_t{0}, kMostBatchBytes));
        while (pos < Rows.size() && games.size() < Sink.BatchGames && bytes < batchBytes) {
            const size_t n =
                std::min({kReadChunk, Rows.size() - pos, Sink.BatchGames - games.size()});
            indexes.resize(n);
            for (size_t i = 0; i < n; ++i)
                indexes[i] = Source.GameIndex(Rows[pos + i]);
            Source.ReadGameTexts(indexes, texts);
            for (auto& t : texts) {
                bytes += static_cast<int64_t>(t.size());
                readable.push_back(t.empty() ? 0 : 1);
                games.push_back(std::move(t));
            }
            pos += n;
        }
        if (convert) {
            auto wait = [&] { return !Options.Progress || Options.Progress(-1, done, total); };
            bool converted;
            if (games.size() >= kThreadedFrom) {
                if (!converters) converters = std::make_unique<TConverters>();
                converted = converters->Run(games, Sink.Records, wait);
            } else {
                TNotation notation;
                TChessDatabase c;
                c.Notation = &notation;
                for (auto& g : games)
                    if (!g.empty()) g = Sink.Records ? c.PGNToRecord(g) : c.RecordToPGN(g);
                converted = true;
            }
            if (!converted) {
                result.Stopped = true;
                result.End = TCopyEnd::Stopped;
                break;
            }
        }
        // Games that cannot be read are left out; a game the sink refuses
        // ends the copy, and so does a stop.
        size_t cut = games.size();
        bool end = false;
        for (size_t k = 0; k < games.size(); ++k) {
            if (readable[k] && Sink.Accepts && !Sink.Accepts(games[k])) {
                ++result.Failed;
                result.End = TCopyEnd::NotAGame;
                cut = k;
                end = true;
                break;
            }
            if (!readable[k]) ++result.Failed;
            ++done;
            if (Options.Progress && !Options.Progress(Rows[first + k], done, total)) {
                result.Stopped = done < total;
                if (result.Stopped) result.End = TCopyEnd::Stopped;
                cut = k + 1;
                end = true;
                break;
            }
        }
        std::vector<std::string> batch;
        batch.reserve(cut);
        for (size_t k = 0; k < cut; ++k)
            if (readable[k]) batch.push_back(std::move(games[k]));
        int written = 0;
        const bool ok = batch.empty() || Sink.Write(batch, written);
        result.Copied += written;
        if (!ok) {
            result.Failed += static_cast<int>(batch.size()) - written;
            result.End =
                Sink.Refused && Sink.Refused() ? TCopyEnd::Refused : TCopyEnd::WriteFailed;
            break;
        }
        if (Options.Written) Options.Written(first, cut);
        if (end) break;
    }
    result.NotCopied = total - result.Copied;
    return result;
}

TCopyResult copyGames(TPGN& Source, const std::vector<int>& Rows, TPGN& Target, int InsertRow,
                      const TCopyOptions& Options) {
    if (&Source == &Target || Rows.empty() || !Source.Loaded() || !Target.Loaded()) return {};
    // The game the copies go before: each batch goes in right before it, so
    // the copies keep their order.
    int anchor = -1;
    TCopySink sink;
    sink.Records = Target.IsDatabase();
    if (!Target.IsDatabase()) {
        sink.Accepts = &TPGN::IsGameText;
        // The file is written once per batch, whatever the number of games.
        sink.BatchGames = std::numeric_limits<size_t>::max();
        const int index = InsertRow >= 0 ? Target.GameIndex(InsertRow) : -1;
        if (index >= 0) anchor = Target.Record(index).GameNo;
        // Every change of a PGN file writes it anew (at most).
        sink.Rewritten = [&Target] {
            const int n = Target.RecordCount();
            return n > 0 ? Target.Record(n - 1).End : int64_t{0};
        };
    }
    sink.Write = [&](const std::vector<std::string>& Games, int& Written) {
        std::vector<int> numbers;
        bool ok;
        if (Target.IsDatabase()) {
            ok = Target.AddDatabaseGames(Games, numbers);
        } else {
            // The anchor's row now; without one the games are appended.
            const int row = anchor >= 0 ? Target.RowOfGame(anchor) : -1;
            ok = Target.InsertGames(row, Games, numbers);
        }
        Written = static_cast<int>(numbers.size());
        return ok;
    };
    sink.Refused = [&Target] {
        return !Target.IsDatabase() && Target.LastRewrite() == TRewriteResult::Refused;
    };
    // Records go into a database as they are, queued until the batch's sync.
    TListScope target(Target);
    return CopyInBatches(Source, Rows, sink, Options);
}

std::string CopyEndText(const TCopyResult& R, bool English) {
    if (R.NotCopied <= 0 || R.End == TCopyEnd::Stopped) return {};
    std::string why;
    switch (R.End) {
    case TCopyEnd::Refused:
        why = English ? "another program holds the file or changed it."
                      : "ein anderes Programm hält die Datei oder hat sie geändert.";
        break;
    case TCopyEnd::WriteFailed:
        why = English ? "the file could not be written."
                      : "die Datei konnte nicht geschrieben werden.";
        break;
    case TCopyEnd::NotAGame:
        why = English ? "a game could not be taken as one game of its own."
                      : "eine Partie ließ sich nicht als eigene Partie übernehmen.";
        break;
    default:
        why = English ? "some games could not be read."
                      : "einige Partien konnten nicht gelesen werden.";
        break;
    }
    const std::string copied = std::to_string(R.Copied), left = std::to_string(R.NotCopied);
    if (English)
        return copied + (R.Copied == 1 ? " game was copied, " : " games were copied, ") + left +
               (R.NotCopied == 1 ? " was not: " : " were not: ") + why;
    return copied + (R.Copied == 1 ? " Partie wurde kopiert, " : " Partien wurden kopiert, ") +
           left + " nicht: " + why;
}

bool TProgressPace::Due(int Done, int Total) {
    const int percent = Total > 0 ? static_cast<int>(int64_t{Done} * 100 / Total) : 0;
    const auto now = std::chrono::steady_clock::now();
    if (percent == Percent && now - At < std::chrono::milliseconds(30)) return false;
    Percent = percent;
    At = now;
    return true;
}

} // namespace kb
