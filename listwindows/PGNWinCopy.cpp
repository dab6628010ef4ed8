// SPDX-License-Identifier: GPL-3.0-or-later
#include "PGNWinCopy.h"
#include "ChessDatabase.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QIODevice>

namespace kb {

namespace {

// Raw records while both lists are databases, and both kept open; put back
// however the copy ends.
class TCopyBatch {
public:
    TCopyBatch(TPGN& S, TPGN& T) : s_(S), t_(T) {
        raw_ = S.IsDatabase() && T.IsDatabase();
        s_.RawRecords = t_.RawRecords = raw_;
        s_.KeepOpen(true);
        t_.KeepOpen(true);
    }
    ~TCopyBatch() {
        s_.RawRecords = t_.RawRecords = false;
        s_.KeepOpen(false);
        t_.KeepOpen(false);
    }
    TCopyBatch(const TCopyBatch&) = delete;
    TCopyBatch& operator=(const TCopyBatch&) = delete;

private:
    TPGN& s_;
    TPGN& t_;
    bool raw_ = false;
};

} // namespace

TCopyResult copyGames(TPGN& Source, const std::vector<int>& Rows, TPGN& Target, int InsertRow,
                      const TCopyOptions& Options) {
    TCopyResult result;
    if (&Source == &Target || Rows.empty() || !Source.Loaded() || !Target.Loaded()) return result;
    TCopyBatch batch(Source, Target);
    // The game the copies go before; found again for each game, since the
    // rows move as games go in.
    int anchor = -1;
    if (InsertRow >= 0 && !Target.IsDatabase()) {
        const int index = Target.GameIndex(InsertRow);
        if (index >= 0) anchor = Target.Record(index).GameNo;
    }
    const int total = static_cast<int>(Rows.size());
    int done = 0;
    // Into a PGN file the games go in batches, each one new file renamed
    // over the old: a batch is there whole or not at all.
    constexpr size_t kBatchBytes = size_t{16} << 20;
    std::vector<std::string> pending;
    size_t pendingBytes = 0;
    auto flush = [&] {
        if (pending.empty()) return true;
        std::vector<int> nos;
        const int at = anchor >= 0 ? Target.RowOfGame(anchor) : -1;
        const bool ok = Target.InsertGames(at, pending, nos);
        (ok ? result.Copied : result.Failed) += static_cast<int>(pending.size());
        pending.clear();
        pendingBytes = 0;
        return ok;
    };
    for (int row : Rows) {
        int gameNo = -1;
        std::string text;
        Source.GetGame(Source.GameIndex(row), gameNo, text);
        ++done;
        if (text.empty()) {
            ++result.Failed;
        } else if (!Target.IsDatabase()) {
            pendingBytes += text.size();
            pending.push_back(std::move(text));
            if (pendingBytes >= kBatchBytes && !flush()) break;
        } else {
            int newNo = -1;
            if (!Target.InsertGame(-1, newNo, text)) {
                ++result.Failed;
                break;
            }
            ++result.Copied;
        }
        if (Options.Progress && !Options.Progress(row, done, total)) {
            result.Stopped = done < total;
            break;
        }
    }
    flush();
    // Games added in batch mode are on disk only after the flush.
    if (Target.IsDatabase() && result.Copied > 0 && Target.Database() &&
        !Target.Database()->Flush()) {
        result.Failed += result.Copied;
        result.Copied = 0;
    }
    return result;
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

} // namespace kb
