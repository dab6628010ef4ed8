// SPDX-License-Identifier: GPL-3.0-or-later
// TPGN: many games read and added at once. A copy between lists goes
// through here in batches, so that the file is written and synced once per
// batch and the rows change once per batch, not once per game.
#include "ChessDatabase.h"
#include "PGN.h"

#include <algorithm>
#include <string_view>

namespace kb {

namespace {

constexpr std::string_view kGameStart = "[Event ";
constexpr std::string_view kSeparator = "\r\n\r\n";
// Games in file order are read in pieces of at least this size.
constexpr int64_t kReadPiece = 1 << 20;

std::string_view TrimmedView(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

bool TPGN::IsGameText(const std::string& Text) {
    return TrimmedView(Text).substr(0, kGameStart.size()) == kGameStart;
}

void TPGN::ReadGameTexts(const std::vector<int>& GameIndexes, std::vector<std::string>& Texts) {
    Texts.assign(GameIndexes.size(), std::string());
    if (database_) {
        for (size_t i = 0; i < GameIndexes.size(); ++i) {
            bool deleted = false;
            ReadGameText(GameIndexes[i], deleted, Texts[i]);
        }
        return;
    }
    if (!loaded_ || !file_) return;
    // One piece of the file in memory: [pieceStart, pieceStart + piece.size()).
    std::string piece;
    int64_t pieceStart = 0;
    for (size_t i = 0; i < GameIndexes.size(); ++i) {
        const int g = GameIndexes[i];
        if (g < 0 || g >= RecordCount()) continue;
        const int64_t start = starts_[g];
        const int64_t end = EndOf(g);
        if (end <= start) continue;
        if (start < pieceStart || end > pieceStart + static_cast<int64_t>(piece.size())) {
            // Read on from this game: the next games of a copy in file order
            // come with it.
            const int64_t want = std::max(kReadPiece, end - start);
            piece.resize(static_cast<size_t>(want));
            const int64_t n = file_->ReadAt(start, piece.data(), want);
            piece.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
            pieceStart = start;
            if (n < end - start) {
                piece.clear();
                continue;
            }
        }
        const std::string_view t = TrimmedView(std::string_view(piece).substr(
            static_cast<size_t>(start - pieceStart), static_cast<size_t>(end - start)));
        Texts[i].assign(t.data(), t.size());
    }
}

bool TPGN::AddDatabaseGames(const std::vector<std::string>& Texts, std::vector<int>& GameNos) {
    GameNos.clear();
    if (!database_ || !loaded_ || busy_) return false;
    if (Texts.empty()) return true;
    BusyScope busy(*this);
    bool ok = true;
    std::vector<int> added;
    for (const std::string& t : Texts) {
        int64_t number = -1;
        ok = RawRecords ? database_->AddRecord(number, t) : database_->AddGame(number, t);
        if (!ok || number < 0) {
            ok = false;
            break;
        }
        added.push_back(static_cast<int>(number));
    }
    // Queued records count only once they are on disk.
    if (!database_->Flush()) return false;
    BeginRowsChange();
    for (int n : added) {
        AddDatabaseRow(n);
        handedOut_[n] = Stamp();
    }
    EndRowsChange();
    GameNos = std::move(added);
    if (OnRepaint) OnRepaint();
    return ok;
}

bool TPGN::AppendGames(const std::vector<std::string>& Texts, std::vector<int>& GameNos) {
    GameNos.clear();
    if (Texts.empty()) return false;
    if (database_) return AddDatabaseGames(Texts, GameNos);
    if (!CanEdit()) return false;
    for (const std::string& t : Texts)
        if (!IsGameText(t)) return false;
    BusyScope busy(*this);
    Hourglass(true);
    const bool hadGames = RecordCount() > 0;
    std::string bytes;
    std::vector<int64_t> lengths;
    for (size_t i = 0; i < Texts.size(); ++i) {
        const std::string_view t = TrimmedView(Texts[i]);
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
        if (!IsGameText(t)) return false;
    BusyScope busy(*this);
    Hourglass(true);
    Splice s;
    s.Record = r;
    s.Start = s.End = starts_[r];
    std::vector<int64_t> lengths;
    for (const std::string& text : Texts) {
        const std::string_view t = TrimmedView(text);
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
