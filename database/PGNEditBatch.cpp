// SPDX-License-Identifier: GPL-3.0-or-later
// TPGN: many games read and added at once. A copy between lists goes
// through here in batches, so that the file is written and synced once per
// batch and the rows change once per batch, not once per game.
#include "ChessDatabase.h"
#include "PGN.h"
#include "PGNScan.h"

#include <algorithm>
#include <string_view>

namespace kb {

namespace {

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

// Only a text that the scan finds as a game of its own may go into the file:
// anything else would join the game before it at the next opening (or take
// the games behind it into an open comment), and a later edit of that game
// would take them along.
bool TPGN::IsGameText(const std::string& Text) {
    return IsOneGameText(Text);
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
            // Read on from this game when the next one asked for follows it
            // in the file (a copy in file order); a sorted or filtered list
            // reads each game alone.
            const bool inOrder = i + 1 < GameIndexes.size() && GameIndexes[i + 1] == g + 1;
            const int64_t want = inOrder ? std::max(kReadPiece, end - start) : end - start;
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

} // namespace kb
