// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinCopy.h"
#include "ChessDatabase.h"
#include "Notation.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QIODevice>

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
// own converter (a database object that is never opened) and notation.
class TConverters {
public:
    TConverters() {
        const unsigned n = std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
        for (unsigned t = 0; t < n; ++t) {
            notations_.push_back(std::make_unique<TNotation>());
            converters_.push_back(std::make_unique<TChessDatabase>());
            converters_.back()->Notation = notations_.back().get();
        }
    }

    // Converts Games in place. Wait runs on the calling thread every few
    // hundredths of a second until all are done; false from it ends the
    // conversion early and the result is false.
    bool Run(std::vector<std::string>& Games, bool ToRecords, const std::function<bool()>& Wait) {
        const size_t threads = converters_.size();
        std::atomic<bool> stop{false};
        std::mutex m;
        std::condition_variable cv;
        size_t finished = 0;
        auto work = [&](size_t t) {
            TChessDatabase& c = *converters_[t];
            for (size_t g = t; g < Games.size() && !stop.load(std::memory_order_relaxed);
                 g += threads) {
                if (Games[g].empty()) continue;
                Games[g] = ToRecords ? c.PGNToRecord(Games[g]) : c.RecordToPGN(Games[g]);
            }
            std::lock_guard<std::mutex> lock(m);
            ++finished;
            cv.notify_one();
        };
        std::vector<std::thread> pool;
        for (size_t t = 0; t < threads; ++t)
            pool.emplace_back(work, t);
        {
            std::unique_lock<std::mutex> lock(m);
            while (finished < threads) {
                if (cv.wait_for(lock, std::chrono::milliseconds(30),
                                [&] { return finished == threads; }))
                    break;
                lock.unlock();
                if (Wait && !Wait()) stop = true;
                lock.lock();
            }
        }
        for (auto& th : pool)
            th.join();
        return !stop;
    }

private:
    std::vector<std::unique_ptr<TNotation>> notations_;
    std::vector<std::unique_ptr<TChessDatabase>> converters_;
};

// A database source hands out its records as stored, and both lists stay
// open; put back however the copy ends.
class TSourceScope {
public:
    explicit TSourceScope(TPGN& S) : s_(S) {
        s_.RawRecords = s_.IsDatabase();
        s_.KeepOpen(true);
    }
    ~TSourceScope() {
        s_.RawRecords = false;
        s_.KeepOpen(false);
    }
    TSourceScope(const TSourceScope&) = delete;
    TSourceScope& operator=(const TSourceScope&) = delete;

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
    if (Rows.empty() || !Source.Loaded() || !Sink.Write) return result;
    TSourceScope scope(Source);
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
        const int64_t batchBytes = std::max(
            Sink.BatchBytes,
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
                cut = k;
                end = true;
                break;
            }
            if (!readable[k]) ++result.Failed;
            ++done;
            if (Options.Progress && !Options.Progress(Rows[first + k], done, total)) {
                result.Stopped = done < total;
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
            break;
        }
        if (Options.Written) Options.Written(first, cut);
        if (end) break;
    }
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
    // Records go into a database as they are, queued until the batch's sync.
    struct TTargetScope {
        TPGN& T;
        explicit TTargetScope(TPGN& P) : T(P) {
            T.RawRecords = T.IsDatabase();
            T.KeepOpen(true);
        }
        ~TTargetScope() {
            T.RawRecords = false;
            T.KeepOpen(false);
        }
    } target(Target);
    return CopyInBatches(Source, Rows, sink, Options);
}

QByteArray EncodeGamesDrag(const TPGN* Source, const std::vector<int>& Rows) {
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << static_cast<qint64>(QCoreApplication::applicationPid())
        << static_cast<quint64>(reinterpret_cast<quintptr>(Source))
        << static_cast<qint32>(Rows.size());
    for (int r : Rows)
        out << static_cast<qint32>(r);
    return data;
}

bool DecodeGamesDrag(const QByteArray& Data, const TPGN*& Source, std::vector<int>& Rows) {
    QDataStream in(Data);
    qint64 pid = 0;
    quint64 address = 0;
    qint32 count = 0;
    in >> pid >> address >> count;
    if (in.status() != QDataStream::Ok || pid != QCoreApplication::applicationPid() || count < 0)
        return false;
    Rows.clear();
    for (qint32 i = 0; i < count; ++i) {
        qint32 r = 0;
        in >> r;
        if (in.status() != QDataStream::Ok) return false;
        Rows.push_back(r);
    }
    Source = reinterpret_cast<const TPGN*>(static_cast<quintptr>(address));
    return true;
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
