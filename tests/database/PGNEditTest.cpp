// SPDX-License-Identifier: GPL-3.0-or-later
// Editing PGN files: a seeded random sequence of edits against a model of
// the file's bytes, the exact text layout, leftovers of interrupted changes,
// and refusals.
#include "PGN.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kb;
namespace fs = std::filesystem;

namespace {

const std::string CRLF2 = "\r\n\r\n";

// What the file must hold: its bytes and, per game, its number and start.
struct Model {
    std::string bytes;
    std::vector<int> gameNos;
    std::vector<int64_t> starts;
    int lastGameNo = -1;

    int64_t End(size_t i) const {
        return i + 1 < starts.size() ? starts[i + 1] : static_cast<int64_t>(bytes.size());
    }
    void Shift(size_t from, int64_t by) {
        for (size_t i = from; i < starts.size(); ++i)
            starts[i] += by;
    }
    int Append(const std::string& t) {
        // One blank line after what the file ends with; CR LF at the end.
        size_t breaks = 0;
        while (breaks < 2 && bytes.size() >= 2 * (breaks + 1) &&
               bytes.compare(bytes.size() - 2 * (breaks + 1), 2, "\r\n") == 0)
            ++breaks;
        if (!bytes.empty())
            for (; breaks < 2; ++breaks)
                bytes += "\r\n";
        starts.push_back(static_cast<int64_t>(bytes.size()));
        bytes += t + "\r\n";
        gameNos.push_back(++lastGameNo);
        return lastGameNo;
    }
    int Insert(size_t r, const std::string& t) {
        const std::string s = t + CRLF2;
        bytes.insert(static_cast<size_t>(starts[r]), s);
        Shift(r, static_cast<int64_t>(s.size()));
        starts.insert(starts.begin() + r, starts[r] - static_cast<int64_t>(s.size()));
        gameNos.insert(gameNos.begin() + r, ++lastGameNo);
        return lastGameNo;
    }
    void Replace(size_t r, const std::string& t) {
        const bool last = r + 1 == starts.size();
        const std::string s = last ? t + "\r\n" : t + CRLF2;
        const int64_t old = End(r) - starts[r];
        bytes.replace(static_cast<size_t>(starts[r]), static_cast<size_t>(old), s);
        Shift(r + 1, static_cast<int64_t>(s.size()) - old);
    }
    void Delete(size_t r) {
        const int64_t gap = End(r) - starts[r];
        bytes.erase(static_cast<size_t>(starts[r]), static_cast<size_t>(gap));
        Shift(r + 1, -gap);
        starts.erase(starts.begin() + r);
        gameNos.erase(gameNos.begin() + r);
        // The last line ends with CR LF, also when only a preamble is left.
        if (!bytes.empty() && bytes.back() != '\n' && bytes.back() != '\r') bytes += "\r\n";
    }
};

std::string GameText(int id, std::mt19937& rng) {
    // Mostly short games, now and then one longer than a block.
    size_t len = rng() % 8 == 0 ? 16384 + rng() % 30000 : 200 + rng() % 2000;
    std::string t = pgntest::MakeGame(1000 + id, len, rng);
    // Surrounding blanks are trimmed away by the list.
    if (rng() % 3 == 0) t = "\r\n  " + t + " \r\n";
    return t;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \r\n"), e = s.find_last_not_of(" \r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

} // namespace

// The filter of the filtered run: no white player whose name ends in 3.
bool Shown(const std::string& text) {
    const std::string tag = "[White \"";
    size_t p = text.find(tag);
    if (p == std::string::npos) return true;
    size_t q = text.find('"', p + tag.size());
    return q == std::string::npos || q == 0 || text[q - 1] != '3';
}

TEST(PGNEdit, RandomEditsFollowTheSpliceModel) {
    for (unsigned seed : {11u, 12u, 13u, 14u}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 rng(seed);
        kbtest::TempDir dir;
        const auto file = dir / "games.pgn";
        Model m;
        // Start from nothing on one seed, from a few games on the others,
        // some of them after text that belongs to no game (a byte order
        // mark, a blank line, a note), which every change keeps.
        const int initial = seed == 11 ? 0 : 1 + static_cast<int>(seed % 4) * 3;
        m.bytes = seed == 12   ? "\xEF\xBB\xBF"
                  : seed == 13 ? "\r\n"
                  : seed == 14 ? "; club games\r\n\r\n"
                               : "";
        for (int i = 0; i < initial; ++i)
            m.Append(Trim(GameText(i, rng)));
        kbtest::WriteFile(file, m.bytes);

        TPGN pgn;
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        ASSERT_EQ(pgn.GameCount(), initial);
        // The last run shows only some games: rows must keep their games too.
        const bool filtered = seed == 14;
        std::set<int> shown;
        for (size_t i = 0; i < m.starts.size(); ++i)
            if (!filtered || Shown(m.bytes.substr(m.starts[i], m.End(i) - m.starts[i])))
                shown.insert(m.gameNos[i]);
        if (filtered) {
            pgn.OnFilterRequest = [](TPGN*, const TEventData& h, bool& show) {
                show = h.White.empty() || h.White.back() != '3';
            };
            pgn.ApplyFilter();
        }
        for (int step = 0; step < 60; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            const int rows = pgn.ItemCount();
            int op = static_cast<int>(rng() % 4);
            if (rows == 0 && op != 2) op = 0;
            if (m.starts.empty()) op = 0;
            // A row, now and then the first or the last one on purpose.
            const int pick = rows == 0 ? 0 : static_cast<int>(rng() % rows);
            const int row = rng() % 5 == 0 ? 0 : rng() % 5 == 0 ? std::max(rows - 1, 0) : pick;
            const std::string text = GameText(step, rng);
            int gameNo = -1;
            switch (op) {
            case 0: {
                ASSERT_TRUE(pgn.AppendGame(gameNo, text));
                EXPECT_EQ(gameNo, m.Append(Trim(text)));
                if (!filtered || Shown(text)) shown.insert(gameNo);
                break;
            }
            case 1: {
                const size_t r = static_cast<size_t>(pgn.GameIndex(row));
                ASSERT_TRUE(pgn.InsertGame(row, gameNo, text));
                EXPECT_EQ(gameNo, m.Insert(r, Trim(text)));
                if (!filtered || Shown(text)) shown.insert(gameNo);
                break;
            }
            case 2: {
                // Any game, shown or not; its row stays as it is.
                const size_t r = rng() % 3 == 0 ? m.starts.size() - 1 : rng() % m.starts.size();
                gameNo = m.gameNos[r];
                const int asked = gameNo;
                ASSERT_TRUE(pgn.ReplaceGame(gameNo, text));
                EXPECT_EQ(gameNo, asked);
                m.Replace(r, Trim(text));
                break;
            }
            default: {
                const size_t r = static_cast<size_t>(pgn.GameIndex(row));
                shown.erase(m.gameNos[r]);
                ASSERT_TRUE(pgn.DeleteGame(row));
                m.Delete(r);
                break;
            }
            }
            ASSERT_EQ(kbtest::ReadFile(file), m.bytes);
            ASSERT_EQ(pgntest::FreshStarts(file), m.starts);
            std::vector<int64_t> starts;
            std::vector<int> gameNos;
            for (const auto& rec : pgntest::Records(pgn)) {
                starts.push_back(rec.Start);
                gameNos.push_back(rec.GameNo);
            }
            ASSERT_EQ(starts, m.starts);
            ASSERT_EQ(gameNos, m.gameNos);
            // Rows in file order, each showing the game it showed before.
            std::vector<int> expectedRows;
            for (int g : m.gameNos)
                if (shown.count(g)) expectedRows.push_back(g);
            ASSERT_EQ(pgntest::RowGameNos(pgn), expectedRows);
            ASSERT_EQ(pgntest::OtherFiles(dir.path(), "games.pgn"), std::vector<std::string>{});
            ASSERT_FALSE(pgn.Busy());
        }
        if (filtered) {
            EXPECT_LT(pgn.ItemCount(), pgn.GameCount());
        }
        // Every game reads back as it was given.
        for (size_t i = 0; i < m.starts.size(); ++i) {
            std::string text;
            bool deleted = false;
            ASSERT_TRUE(pgn.ReadGameText(static_cast<int>(i), deleted, text));
            EXPECT_EQ(text, Trim(m.bytes.substr(m.starts[i], m.End(i) - m.starts[i])));
        }
    }
}

TEST(PGNEdit, TextLayoutAtTheEdges) {
    kbtest::TempDir dir;
    const auto file = dir / "e.pgn";
    kbtest::WriteFile(file, "");
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    int no = -1;
    // The first game goes in without blank lines before it.
    ASSERT_TRUE(pgn.AppendGame(no, "\r\n[Event \"A\"]\r\n\r\n1. e4 *\r\n"));
    EXPECT_EQ(no, 0);
    EXPECT_EQ(kbtest::ReadFile(file), "[Event \"A\"]\r\n\r\n1. e4 *\r\n");
    // Exactly one blank line between the old last game and a new one, and
    // the last line ends with CR LF.
    ASSERT_TRUE(pgn.AppendGame(no, "[Event \"B\"]\r\n\r\n1. d4 *"));
    EXPECT_EQ(no, 1);
    EXPECT_EQ(kbtest::ReadFile(file),
              "[Event \"A\"]\r\n\r\n1. e4 *\r\n\r\n[Event \"B\"]\r\n\r\n1. d4 *\r\n");
    // Inserting before game 0 moves everything by the text and CR LF CR LF.
    ASSERT_TRUE(pgn.InsertGame(0, no, "[Event \"C\"]\r\n\r\n*"));
    EXPECT_EQ(no, 2);
    EXPECT_EQ(pgn.Record(1).Start, 20);
    // Replacing the last game: no trailing blank line, but CR LF at the end.
    no = 1;
    ASSERT_TRUE(pgn.ReplaceGame(no, "[Event \"D\"]\r\n\r\n1-0"));
    EXPECT_EQ(kbtest::ReadFile(file), "[Event \"C\"]\r\n\r\n*\r\n\r\n[Event \"A\"]\r\n\r\n1. "
                                      "e4 *\r\n\r\n[Event \"D\"]\r\n\r\n1-0\r\n");
    // Deleting the last game cuts the file at its start.
    ASSERT_TRUE(pgn.DeleteGame(2));
    EXPECT_EQ(kbtest::ReadFile(file),
              "[Event \"C\"]\r\n\r\n*\r\n\r\n[Event \"A\"]\r\n\r\n1. e4 *\r\n\r\n");
    // A number without a game appends; an empty text is refused.
    no = 77;
    ASSERT_TRUE(pgn.ReplaceGame(no, "[Event \"E\"]\r\n\r\n*"));
    EXPECT_EQ(no, 3);
    // Text that would not start a game of its own is refused.
    const std::string before = kbtest::ReadFile(file);
    no = 0;
    EXPECT_FALSE(pgn.ReplaceGame(no, " \r\n"));
    EXPECT_FALSE(pgn.ReplaceGame(no, "x[Site \"S\"]\r\n\r\n*"));
    EXPECT_FALSE(pgn.InsertGame(0, no, "1. e4 *"));
    // Tags alone would take the tags of the game behind them.
    EXPECT_FALSE(pgn.AppendGame(no, "[event \"lower\"]\r\n[Site \"S\"]"));
    EXPECT_EQ(pgn.GameCount(), 3);
    EXPECT_EQ(kbtest::ReadFile(file), before);

    // A file written without a line break at its end gets one with any change.
    kbtest::WriteFile(file, "[Event \"F\"]\r\n\r\n*\r\n\r\n[Event \"G\"]\r\n\r\n1-0");
    ASSERT_TRUE(pgn.SetFileName(""));
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    no = 0;
    ASSERT_TRUE(pgn.ReplaceGame(no, "[Event \"H\"]\r\n\r\n*"));
    EXPECT_EQ(kbtest::ReadFile(file), "[Event \"H\"]\r\n\r\n*\r\n\r\n[Event \"G\"]\r\n\r\n1-0\r\n");
    EXPECT_EQ(pgntest::FreshStarts(file), (std::vector<int64_t>{0, 20}));
    EXPECT_EQ(pgn.Record(1).End, 40);
}

// The id of a process that has ended.
pid_t GonePid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(PGNEdit, LeftoversOfInterruptedChangesGoAtTheNextOpen) {
    kbtest::TempDir dir;
    const auto file = dir / "club.pgn";
    const std::string bytes = "[Event \"A\"]\r\n\r\n*\r\n\r\n[Event \"B\"]\r\n\r\n*\r\n";
    kbtest::WriteFile(file, bytes);
    auto ours = [&](pid_t Pid) {
        return fs::path(kb::ReplacementName(file.string(), Pid, 0)).filename().string();
    };
    // Left by a killed writer: a half new version; and an old style backup
    // (told to the user by the window).
    const std::string killed = ours(GonePid());
    kbtest::WriteFile(dir / killed, "[Event \"A\"]\r\n\r\n*\r\n\r\n[Ev");
    kbtest::WriteFile(dir / "backup06.12.a_game1-2_club.pgn", "[Event \"B\"]");
    // Not ours: the user's files (also under names older versions used for
    // their temporary files, whatever they hold), another name, or a writer
    // still at work.
    kbtest::WriteFile(dir / "club.pgn0", "[Event \"A\"]\r\n[ECO \"A00\"]\r\n");
    kbtest::WriteFile(dir / "club.pgn3", "");
    kbtest::WriteFile(dir / "club.pgn1", "my notes");
    kbtest::WriteFile(dir / "club.pgn4", "[Event \"Mine\"]\r\n\r\n1. e4 *\r\n");
    kbtest::WriteFile(dir / "club.pgn6", bytes);
    kbtest::WriteFile(dir / "club.pgn.tmpx", "[Event \"A\"]");
    kbtest::WriteFile(dir / "club.pgn.tmp4242-0", "[Event \"A\"]\r\n\r\n*\r\n\r\n[Ev");
    kbtest::WriteFile(dir / "other.pgn.tmp1-0", "[Event \"A\"]");
    const std::string working = ours(GonePid());
    kbtest::WriteFile(dir / working, "[Event \"A\"]");
    kbtest::WriteFile(dir / "club.pgn2", "[Event \"A\"]");
    const int held = ::open((dir / working).c_str(), O_RDONLY);
    const int held2 = ::open((dir / "club.pgn2").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_GE(held2, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_EQ(::flock(held2, LOCK_EX), 0);

    std::vector<std::string> users = {"backup06.12.a_game1-2_club.pgn",
                                      "club.pgn.tmp4242-0",
                                      "club.pgn.tmpx",
                                      "club.pgn0",
                                      "club.pgn1",
                                      "club.pgn2",
                                      "club.pgn3",
                                      "club.pgn4",
                                      "club.pgn6",
                                      "other.pgn.tmp1-0"};
    auto with = [](std::vector<std::string> v, const std::string& Name) {
        v.push_back(Name);
        std::sort(v.begin(), v.end());
        return v;
    };
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    EXPECT_EQ(pgntest::OtherFiles(dir.path(), "club.pgn"), with(users, working));
    EXPECT_EQ(kbtest::ReadFile(file), bytes);
    ::close(held);
    ::close(held2);
    // Process numbers repeat (in a container every start may get the same
    // one, 1 included): what no writer holds goes, whatever number it
    // carries, and a hundred such leftovers do not stop a change.
    for (int n = 0; n < 100; ++n)
        kbtest::WriteFile(kb::ReplacementName(file.string(), ::getpid(), n), "[Ev");
    kbtest::WriteFile(kb::ReplacementName(file.string(), 1, 0), "[Ev");
    // Once their writer is gone, the next change takes them too, and leaves
    // nothing of its own.
    ASSERT_TRUE(pgn.DeleteGames({0, 1}));
    EXPECT_EQ(kbtest::ReadFile(file), "");
    EXPECT_EQ(pgntest::OtherFiles(dir.path(), "club.pgn"), users);
    EXPECT_EQ(pgn.GameCount(), 0);
}

TEST(PGNEdit, StaleIndexOrLockedFileIsRefused) {
    kbtest::TempDir dir;
    const auto file = dir / "s.pgn";
    const std::string bytes = "[Event \"A\"]\r\n\r\n*\r\n\r\n[Event \"B\"]\r\n\r\n*";
    kbtest::WriteFile(file, bytes);
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    int no = 0;

    // Changed by someone else: same size, other bytes, time put back.
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    std::string other = bytes;
    other[20] = 'X'; // "[Event" of game B no longer starts a game
    kbtest::WriteFile(file, other);
    timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_FALSE(pgn.DeleteGame(1));
    EXPECT_EQ(kbtest::ReadFile(file), other);

    // Grown by someone else.
    kbtest::WriteFile(file, bytes + "\r\n");
    EXPECT_FALSE(pgn.AppendGame(no, "[Event \"C\"]\r\n\r\n*"));
    EXPECT_FALSE(pgn.ReplaceGame(no, "[Event \"C\"]\r\n\r\n*"));
    EXPECT_EQ(kbtest::ReadFile(file), bytes + "\r\n");

    // Changed while the new file was written (messages are pumped meanwhile).
    ASSERT_TRUE(pgn.SetFileName(""));
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    pgn.OnPGNTrace = [&](TPGN*, int percent, TCancelMode&) {
        if (percent > 0) kbtest::WriteFile(file, bytes + "\r\n\r\n");
    };
    EXPECT_FALSE(pgn.DeleteGame(0));
    EXPECT_EQ(kbtest::ReadFile(file), bytes + "\r\n\r\n");
    EXPECT_EQ(pgntest::OtherFiles(dir.path(), "s.pgn"), std::vector<std::string>{});
    pgn.OnPGNTrace = nullptr;

    // A fresh scan makes it editable again, unless another holds the lock.
    ASSERT_TRUE(pgn.SetFileName(""));
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    pgn.SetLockWait(std::chrono::milliseconds(300));
    // The wait for it is no silence: the window paints meanwhile, and the
    // user may stop it.
    int looks = 0;
    pgn.OnPGNTrace = [&](TPGN*, int, TCancelMode& Mode) {
        if (++looks == 5) Mode = cmCancel;
    };
    EXPECT_FALSE(pgn.DeleteGame(0));
    EXPECT_LE(looks, 6); // it ended at the stop, not at the end of the wait
    EXPECT_EQ(pgn.LastRewrite(), TRewriteResult::Stopped);
    EXPECT_TRUE(pgn.Cancelled());
    looks = 0;
    pgn.OnPGNTrace = [&](TPGN*, int, TCancelMode&) { ++looks; };
    EXPECT_FALSE(pgn.DeleteGame(0));
    EXPECT_GE(looks, 10);
    EXPECT_EQ(pgn.LastRewrite(), TRewriteResult::Refused);
    pgn.OnPGNTrace = nullptr;
    ::close(fd);
    EXPECT_EQ(kbtest::ReadFile(file), bytes + "\r\n\r\n");
    EXPECT_TRUE(pgn.DeleteGame(0));
    EXPECT_EQ(kbtest::ReadFile(file), "[Event \"B\"]\r\n\r\n*\r\n\r\n");
}

TEST(PGNEdit, ReentrantCallsFailAndKeepTheBusyFlag) {
    kbtest::TempDir dir;
    const auto file = dir / "r.pgn";
    std::mt19937 rng(3);
    std::string bytes;
    for (int i = 0; i < 20; ++i)
        bytes += (i ? CRLF2 : "") + pgntest::MakeGame(i, 3000, rng);
    kbtest::WriteFile(file, bytes);
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    int nested = 0;
    pgn.OnPGNTrace = [&](TPGN* p, int percent, TCancelMode&) {
        if (percent == 0) return;
        ++nested;
        int no = 0;
        EXPECT_TRUE(p->Busy());
        EXPECT_FALSE(p->DeleteGame(5));
        EXPECT_FALSE(p->AppendGame(no, "[Event \"n\"]\r\n\r\n*"));
        EXPECT_FALSE(p->SaveGame(1, no, gmInsert, "[Event \"n\"]\r\n\r\n*"));
        EXPECT_FALSE(p->SetFileName(""));
        p->Sort(skWhite);
        p->ApplyFilter();
        EXPECT_TRUE(p->Busy());
        EXPECT_EQ(p->SortKey(), skFileOrder);
    };
    ASSERT_TRUE(pgn.DeleteGame(0));
    EXPECT_GT(nested, 0);
    EXPECT_FALSE(pgn.Busy());
    EXPECT_EQ(pgn.GameCount(), 19);
    EXPECT_EQ(pgntest::FreshStarts(file).size(), 19u);
}
