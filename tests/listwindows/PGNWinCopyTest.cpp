// SPDX-License-Identifier: GPL-3.0-or-later
// Copies of thousands of games between lists: each direction gives back
// exactly the source's games, in batches (a few syncs and row changes, not
// one per game), with progress in percent while the window keeps answering
// events; a stop or a refused game ends the copy at a game, not a batch.
#include "ChessDatabase.h"
#include "FaultyFileSystem.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <QApplication>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// What identifies a game across PGN text and database records (whose
// rounds are numbers: "1.1" comes back as "-"): tags and the number of moves.
std::string Id(const std::string& Game) {
    auto t = kbtest::TagsOf(Game);
    std::istringstream in(kbtest::MovesOf(Game));
    std::string token;
    int moves = 0;
    while (in >> token)
        moves += token.find_first_not_of("0123456789.") != std::string::npos;
    return t["White"] + "|" + t["Black"] + "|" + t["Event"] + "|" + t["Site"] + "|" + t["Date"] +
           "|" + t["Result"] + "|" + std::to_string(moves);
}

std::vector<std::string> Ids(const std::vector<std::string>& Games) {
    std::vector<std::string> out;
    for (const auto& g : Games)
        out.push_back(Id(g));
    return out;
}

std::vector<std::string> ListIds(kb::TPGN& P) {
    std::vector<std::string> out;
    for (int r = 0; r < P.ItemCount(); ++r) {
        bool deleted = false;
        std::string text;
        P.ReadGameText(P.GameIndex(r), deleted, text);
        if (!deleted) out.push_back(Id(P.IsDatabase() ? P.Database()->RecordToPGN(text) : text));
    }
    return out;
}

// Same games in the same order; the first difference is named.
void ExpectSameIds(const std::vector<std::string>& Got, const std::vector<std::string>& Want) {
    EXPECT_EQ(Got.size(), Want.size());
    const auto diff = std::mismatch(Got.begin(), Got.end(), Want.begin(), Want.end());
    if (diff.first != Got.end() && diff.second != Want.end())
        ADD_FAILURE() << "game " << (diff.first - Got.begin()) << ": " << *diff.first
                      << " instead of " << *diff.second;
}

// The real file system, counting what makes data durable.
class TSyncCounter : public kb::TPassThroughFileSystem {
public:
    int Syncs = 0;

    class TCountedFile : public kb::TPassThroughFile {
    public:
        TCountedFile(std::unique_ptr<kb::TFile> F, int& Syncs)
            : TPassThroughFile(std::move(F)), syncs_(Syncs) {}
        bool Sync() override {
            ++syncs_;
            return TPassThroughFile::Sync();
        }

    private:
        int& syncs_;
    };

    std::unique_ptr<kb::TFile> Open(const std::string& Path, kb::TOpenMode Mode) override {
        auto f = Real.Open(Path, Mode);
        return f ? std::make_unique<TCountedFile>(std::move(f), Syncs) : nullptr;
    }
    bool SyncFolder(const std::string& P) override {
        ++Syncs;
        return Real.SyncFolder(P);
    }
};

// What one drop did to the windows around it.
struct TDropWatch {
    std::vector<int> Percents;
    int Resets = 0; // of the target's rows
    int Ticks = 0;  // of a timer that runs while the copy does
};

TDropWatch Drop(kb::TMDIPGN& To, kb::TMDIPGN& From, int Row, int Expected) {
    TDropWatch w;
    const auto trace = kb::ListHost().PGNTrace;
    kb::ListHost().PGNTrace = [&](kb::TPGN*, int Percent, kb::TCancelMode&) {
        w.Percents.push_back(Percent);
        QCoreApplication::processEvents();
    };
    auto c = QObject::connect(To.PGN1->model(), &QAbstractItemModel::modelAboutToBeReset,
                              [&] { ++w.Resets; });
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++w.Ticks; });
    timer.start(0);
    From.PGN1->selectAll();
    const kb::TCopyResult r = To.DropFrom(&From, Row);
    timer.stop();
    QObject::disconnect(c);
    kb::ListHost().PGNTrace = trace;
    EXPECT_EQ(r.Copied, Expected);
    EXPECT_EQ(r.Failed, 0);
    EXPECT_FALSE(r.Stopped);
    // Every copied row is deselected.
    EXPECT_TRUE(From.SelectedRows().empty());
    return w;
}

// Progress in percent: rising to 100, then 0 when the copy ends.
void ExpectPercentProgress(const std::vector<int>& P) {
    ASSERT_GE(P.size(), 3u);
    EXPECT_EQ(P.back(), 0);
    EXPECT_TRUE(std::is_sorted(P.begin(), P.end() - 1));
    EXPECT_EQ(P[P.size() - 2], 100);
    EXPECT_GE(std::set<int>(P.begin(), P.end()).size(), 5u);
}

TEST(ListCopy, ThousandsOfGamesInEveryDirection) {
    kbtest::THostScope host;
    kbtest::TempDir dir;
    const auto games = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
    const int n = static_cast<int>(games.size());
    ASSERT_GT(n, 2000);
    const auto want = Ids(games);
    auto pgn = kbtest::OpenWindow(kbtest::WriteGames(dir / "a.pgn", games, 0, n));
    ASSERT_EQ(pgn->PGN()->ItemCount(), n);

    // PGN into a new database: converted on worker threads while the window
    // answers events; the rows change once per batch.
    auto db = kbtest::OpenWindow(dir / "d.kbf");
    ASSERT_TRUE(db->PGN()->IsDatabase());
    TDropWatch w = Drop(*db, *pgn, -1, n);
    EXPECT_LE(w.Resets, 10);
    EXPECT_GE(w.Ticks, 3);
    ExpectPercentProgress(w.Percents);
    ExpectSameIds(ListIds(*db->PGN()), want);

    // Database into a new PGN file, with a handful of syncs in all.
    auto out = kbtest::OpenWindow(dir / "p.pgn");
    TSyncCounter counter;
    out->PGN()->SetFileSystem(&counter);
    w = Drop(*out, *db, -1, n);
    EXPECT_LE(w.Resets, 10);
    EXPECT_LE(counter.Syncs, 10);
    ExpectPercentProgress(w.Percents);
    ExpectSameIds(Ids(kbtest::GamesOfFile(dir / "p.pgn")), want);
    ExpectSameIds(ListIds(*out->PGN()), want);

    // PGN into PGN before row 1: the whole copy in order between the first
    // game and the second, also in the list.
    counter.Syncs = 0;
    out->sbDragInsert->setChecked(true);
    w = Drop(*out, *pgn, 1, n);
    EXPECT_LE(counter.Syncs, 10);
    std::vector<std::string> inserted{want[0]};
    inserted.insert(inserted.end(), want.begin(), want.end());
    inserted.insert(inserted.end(), want.begin() + 1, want.end());
    ExpectSameIds(Ids(kbtest::GamesOfFile(dir / "p.pgn")), inserted);
    ExpectSameIds(ListIds(*out->PGN()), inserted);
    out->PGN()->SetFileSystem(nullptr);

    // Database into database, records as stored.
    auto db2 = kbtest::OpenWindow(dir / "e.kbf");
    w = Drop(*db2, *db, -1, n);
    EXPECT_LE(w.Resets, 10);
    ExpectSameIds(ListIds(*db2->PGN()), want);
    db2.reset();
    auto again = kbtest::OpenWindow(dir / "e.kbf");
    EXPECT_EQ(again->PGN()->ItemCount(), n);
}

TEST(ListCopy, StopAndRefusalEndTheCopyAtAGame) {
    kbtest::THostScope host;
    kbtest::TempDir dir;
    auto games = kbtest::GamesOfFile(kbtest::TestData("pgn/Carlsen.pgn"));
    games.resize(40);
    auto src = kbtest::OpenWindow(kbtest::WriteGames(dir / "a.pgn", games, 0, 40));
    auto db = kbtest::OpenWindow(dir / "d.kbf");
    std::vector<int> rows(40);
    std::iota(rows.begin(), rows.end(), 0);
    ASSERT_EQ(kb::copyGames(*src->PGN(), rows, *db->PGN(), -1).Copied, 40);

    // Records back to text in batches of 16 (converted on threads); the stop
    // comes at the 21st game of rows 39, 37, ... 1.
    std::vector<int> odd;
    for (int r = 39; r > 0; r -= 2)
        odd.push_back(r);
    std::vector<std::vector<std::string>> batches;
    std::vector<std::pair<size_t, size_t>> written;
    std::vector<int> reported;
    kb::TCopySink sink;
    sink.BatchGames = 16;
    sink.Write = [&](const std::vector<std::string>& Games, int& Written) {
        batches.push_back(Ids(Games));
        Written = static_cast<int>(Games.size());
        return true;
    };
    kb::TCopyOptions options;
    options.Progress = [&](int Row, int Done, int) {
        if (Row >= 0) reported.push_back(Row);
        return Done < 18;
    };
    options.Written = [&](size_t First, size_t Count) { written.push_back({First, Count}); };
    auto r = kb::CopyInBatches(*db->PGN(), odd, sink, options);
    EXPECT_TRUE(r.Stopped);
    EXPECT_EQ(r.Copied, 18);
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[0].size(), 16u);
    EXPECT_EQ(batches[1].size(), 2u);
    EXPECT_EQ(written, (std::vector<std::pair<size_t, size_t>>{{0, 16}, {16, 2}}));
    EXPECT_EQ(reported, std::vector<int>(odd.begin(), odd.begin() + 18));
    std::vector<std::string> got = batches[0];
    got.insert(got.end(), batches[1].begin(), batches[1].end());
    std::vector<std::string> expected;
    for (size_t i = 0; i < 18; ++i)
        expected.push_back(Id(games[static_cast<size_t>(odd[i])]));
    EXPECT_EQ(got, expected);

    // The same rows read from the PGN file backwards, one batch: every game
    // whole, although each lies before the piece read last.
    batches.clear();
    written.clear();
    r = kb::CopyInBatches(*src->PGN(), odd, sink);
    EXPECT_EQ(r.Copied, 20);
    ASSERT_EQ(batches.size(), 2u);
    got = batches[0];
    got.insert(got.end(), batches[1].begin(), batches[1].end());
    expected.clear();
    for (int row : odd)
        expected.push_back(Id(games[static_cast<size_t>(row)]));
    EXPECT_EQ(got, expected);

    // A game the sink refuses ends the copy before it; the games before it
    // in its batch go in.
    batches.clear();
    options.Progress = nullptr;
    const std::string refused = Id(games[5]);
    sink.Accepts = [&](const std::string& Text) { return Id(Text) != refused; };
    r = kb::CopyInBatches(*db->PGN(), rows, sink, options);
    EXPECT_FALSE(r.Stopped);
    EXPECT_EQ(r.Copied, 5);
    EXPECT_EQ(r.Failed, 1);
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0], Ids(std::vector<std::string>(games.begin(), games.begin() + 5)));
}

} // namespace
