// SPDX-License-Identifier: GPL-3.0-or-later
// Every change of a PGN file goes through one door (lock, the file under the
// name is the one locked and unchanged since it was read, then the rename).
// Two processes on one file, as two copies of the program: a change of the
// other is refused or seen, never undone. Files beside a game file that the
// program did not make stay, whatever they are called or hold; what a
// killed change left goes.
#include "FaultyFileSystem.h"
#include "PGN.h"
#include "PGNRewrite.h"
#include "PGNTestUtil.h"
#include "SchachProcs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kb;
namespace fs = std::filesystem;

namespace {

// The games of a text, each trimmed, as the scan finds them.
std::vector<std::string> GamesIn(const std::string& Bytes) {
    const std::vector<int64_t> starts = pgntest::PlainStarts(Bytes);
    std::vector<std::string> games;
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t end =
            i + 1 < starts.size() ? starts[i + 1] : static_cast<int64_t>(Bytes.size());
        games.emplace_back(TrimBlanks(std::string_view(Bytes).substr(
            static_cast<size_t>(starts[i]), static_cast<size_t>(end - starts[i]))));
    }
    return games;
}

std::vector<std::string> GamesOfFile(const fs::path& File) {
    return GamesIn(kbtest::ReadFile(File));
}

// The first N of Korchnoi's games, as a file of their own.
std::string KorchnoiGames(size_t N) {
    auto games = GamesIn(kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")));
    games.resize(std::min(games.size(), N));
    std::string bytes;
    for (const auto& g : games)
        bytes += (bytes.empty() ? "" : "\r\n\r\n") + g;
    return bytes + "\r\n";
}

// The real file system, with a hook run once at the first open of the game
// file for writing (between a writer's open and its lock) or at the first
// rename onto it (everything checked, the lock held).
class THookedFs : public TPassThroughFileSystem {
public:
    enum class TAt { Open, Rename };
    std::string Game;
    TAt At = TAt::Open;
    std::function<void()> Hook;

    std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override {
        auto f = Real.Open(Path, Mode);
        if (At == TAt::Open && Mode == TOpenMode::ReadWrite && Same(Path)) Fire();
        return f;
    }
    bool Rename(const std::string& From, const std::string& To) override {
        if (At == TAt::Rename && Same(To)) Fire();
        return Real.Rename(From, To);
    }

private:
    bool Same(const std::string& Path) {
        return fs::weakly_canonical(Path) == fs::weakly_canonical(Game);
    }
    void Fire() {
        if (!Hook) return;
        auto h = std::move(Hook);
        Hook = nullptr;
        h();
    }
};

// Another copy of the program deletes the games of these rows: 0 when its
// delete was done, 1 when it was refused.
int OtherCopyDeletes(const fs::path& File, const std::vector<int>& Rows) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        TPGN other;
        // A lock held for the whole test is not waited for.
        other.SetLockWait(std::chrono::milliseconds(100));
        if (!other.SetFileName(File.string())) ::_exit(2);
        ::_exit(other.DeleteGames(Rows) ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

using kbtest::TOtherCopyHolds;

enum class TOp { Delete, Insert, Replace, Append, EcoRun, DropAppend };
constexpr TOp kOps[] = {TOp::Delete, TOp::Insert, TOp::Replace,
                        TOp::Append, TOp::EcoRun, TOp::DropAppend};
const char* Name(TOp Op) {
    switch (Op) {
    case TOp::Delete:
        return "delete";
    case TOp::Insert:
        return "insert";
    case TOp::Replace:
        return "replace";
    case TOp::Append:
        return "append";
    case TOp::EcoRun:
        return "ECO run";
    case TOp::DropAppend:
        return "drop append";
    }
    return "?";
}

const std::string kMark = "[ECO \"Z99\"]\r\n";
const std::string kNewGame = "[Event \"New\"]\r\n[White \"A\"]\r\n[Black \"B\"]\r\n\r\n1. e4 e5 *";

// One change by this copy, through its list (opened before) or, for the
// database window's drop, by file name. The ECO run marks every game.
TRewriteResult Change(TOp Op, TPGN& List, TFileSystem& Fs, const fs::path& File,
                      std::chrono::milliseconds LockWait = kLockWait) {
    int no = 0;
    List.SetLockWait(LockWait);
    switch (Op) {
    case TOp::Delete:
        List.DeleteGames({0, 1});
        return List.LastRewrite();
    case TOp::Insert:
        List.InsertGame(3, no, kNewGame);
        return List.LastRewrite();
    case TOp::Replace:
        no = List.RowGameNo(4);
        List.ReplaceGame(no, kNewGame);
        return List.LastRewrite();
    case TOp::Append:
        List.AppendGame(no, kNewGame);
        return List.LastRewrite();
    case TOp::EcoRun:
        return List.RewriteGames([](int, std::string& Text) {
            Text.insert(Text.find("\r\n") + 2, kMark);
            return true;
        });
    case TOp::DropAppend:
        return AppendToPGNFile(Fs, File.string(), "\r\n\r\n" + kNewGame, LockWait);
    }
    return TRewriteResult::Failed;
}

class PGNDoor : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = dir_ / "korchnoi.pgn";
        bytes_ = KorchnoiGames(19);
        games_ = GamesIn(bytes_);
        ASSERT_EQ(games_.size(), 19u);
    }
    kbtest::TempDir dir_;
    fs::path file_;
    std::string bytes_;
    std::vector<std::string> games_;
};

// The other copy holds the file while it changes it: every change of ours
// is refused and the file stays as it was.
TEST_F(PGNDoor, ChangesWhileAnotherCopyHoldsTheFileAreRefused) {
    for (TOp op : kOps) {
        SCOPED_TRACE(Name(op));
        kbtest::WriteFile(file_, bytes_);
        TPGN list;
        ASSERT_TRUE(list.SetFileName(file_.string()));
        {
            TOtherCopyHolds other(file_);
            ASSERT_TRUE(other.Held());
            // Waited for a while, not for ever.
            EXPECT_EQ(Change(op, list, TFileSystem::Posix(), file_, std::chrono::milliseconds(50)),
                      TRewriteResult::Refused);
            EXPECT_EQ(kbtest::ReadFile(file_), bytes_);
        }
        // Once the other copy is done, the same change goes through.
        TPGN again;
        ASSERT_TRUE(again.SetFileName(file_.string()));
        EXPECT_EQ(Change(op, again, TFileSystem::Posix(), file_), TRewriteResult::Done);
        EXPECT_EQ(pgntest::OtherFiles(dir_.path(), "korchnoi.pgn"), std::vector<std::string>{});
    }
}

// The other copy deletes three games and reports it done after this copy
// read the file, just before this copy takes the lock (a busy machine):
// this copy's change is refused, or, for an append, lands on the other's
// result. Three games fewer, whatever this copy did.
TEST_F(PGNDoor, AChangeThatEndedBeforeOursIsNeverUndone) {
    for (TOp op : kOps) {
        SCOPED_TRACE(Name(op));
        kbtest::WriteFile(file_, bytes_);
        THookedFs hooked;
        hooked.Game = file_.string();
        int other = -1;
        hooked.Hook = [&] { other = OtherCopyDeletes(file_, {6, 7, 8}); };
        TPGN list;
        list.SetFileSystem(&hooked);
        ASSERT_TRUE(list.SetFileName(file_.string()));
        const TRewriteResult ours = Change(op, list, hooked, file_);
        ASSERT_EQ(other, 0) << "the other copy's delete was done";
        const auto now = GamesOfFile(file_);
        for (int removed : {6, 7, 8})
            EXPECT_EQ(std::count(now.begin(), now.end(), games_[static_cast<size_t>(removed)]), 0)
                << "game " << removed << " came back";
        if (op == TOp::Append || op == TOp::DropAppend) {
            EXPECT_EQ(ours, op == TOp::DropAppend ? TRewriteResult::Done : TRewriteResult::Refused);
        } else {
            EXPECT_EQ(ours, TRewriteResult::Refused);
        }
        EXPECT_EQ(now.size(), ours == TRewriteResult::Done ? 17u : 16u);
        if (ours == TRewriteResult::Done) {
            EXPECT_EQ(now.back(), kNewGame);
        }
    }
}

// The other copy tries its delete while this copy's change is between its
// checks and its rename: the other is refused, so this copy's rename loses
// nothing the other reported done.
TEST_F(PGNDoor, AChangeTriedDuringOursIsRefused) {
    for (TOp op : kOps) {
        SCOPED_TRACE(Name(op));
        kbtest::WriteFile(file_, bytes_);
        THookedFs hooked;
        hooked.Game = file_.string();
        hooked.At = THookedFs::TAt::Rename;
        int other = -1;
        hooked.Hook = [&] { other = OtherCopyDeletes(file_, {6, 7, 8}); };
        TPGN list;
        list.SetFileSystem(&hooked);
        ASSERT_TRUE(list.SetFileName(file_.string()));
        EXPECT_EQ(Change(op, list, hooked, file_), TRewriteResult::Done);
        EXPECT_EQ(other, 1) << "the other copy's delete was refused";
        auto now = GamesOfFile(file_);
        // The ECO run's mark aside, the other's games are all there.
        for (std::string& g : now)
            if (const size_t at = g.find(kMark); at != std::string::npos) g.erase(at, kMark.size());
        for (int kept : {6, 7, 8})
            EXPECT_EQ(std::count(now.begin(), now.end(), games_[static_cast<size_t>(kept)]), 1);
        EXPECT_EQ(now.size(), op == TOp::Delete                         ? 17u
                              : op == TOp::Replace || op == TOp::EcoRun ? 19u
                                                                        : 20u);
    }
}

// The user's own files beside a game file, named like what older versions
// or a careless pattern took for leftovers and holding game text, stay
// through opens and changes; what a killed change of this program left goes
// at the next open.
TEST_F(PGNDoor, OnlyTheProgramsOwnLeftoversGo) {
    kbtest::WriteFile(file_, bytes_);
    const std::string game = games_[3] + "\r\n";
    const std::vector<std::string> mine = {
        "korchnoi.pgn.tmp2024-05", "korchnoi.pgn.tmp4242-0", "korchnoi.pgn.tmp1-0",
        ".korchnoi.pgn.tmp1-0", "korchnoi.pgn0", "korchnoi.pgn.kestrelbay-1-0.tmp",
        ".korchnoi.pgn.kestrelbay-x-0.tmp", ".korchnoi.pgn.kestrelbay-1-0.tmpx",
        // The program's name for a writer that still runs (this process),
        // which holds its lock.
        fs::path(ReplacementName(file_.string(), ::getpid(), 7)).filename().string()};
    for (const std::string& name : mine)
        kbtest::WriteFile(dir_ / name, game);
    auto working = TFileSystem::Posix().Open((dir_ / mine.back()).string(), TOpenMode::Read);
    ASSERT_TRUE(working && working->TryLock());

    // A change killed once its new file is written, just before the rename.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        THookedFs hooked;
        hooked.Game = file_.string();
        hooked.At = THookedFs::TAt::Rename;
        hooked.Hook = [] { ::kill(::getpid(), SIGKILL); };
        TPGN list;
        list.SetFileSystem(&hooked);
        if (!list.SetFileName(file_.string())) ::_exit(2);
        list.DeleteGames({0});
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    const std::string leftover = fs::path(ReplacementName(file_.string(), pid, 0)).filename();
    ASSERT_TRUE(fs::exists(dir_ / leftover));
    EXPECT_EQ(kbtest::ReadFile(file_), bytes_);

    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    TPGN list;
    ASSERT_TRUE(list.SetFileName(file_.string()));
    EXPECT_EQ(pgntest::OtherFiles(dir_.path(), "korchnoi.pgn"), sorted(mine));
    ASSERT_TRUE(list.DeleteGames({0, 1}));
    int no = 0;
    ASSERT_TRUE(list.AppendGame(no, kNewGame));
    EXPECT_EQ(list.RewriteGames([](int, std::string&) { return true; }), TRewriteResult::Done);
    ASSERT_TRUE(AppendGameToPGNFile(file_.string(), kNewGame));
    EXPECT_EQ(pgntest::OtherFiles(dir_.path(), "korchnoi.pgn"), sorted(mine));
    for (const std::string& name : mine)
        EXPECT_EQ(kbtest::ReadFile(dir_ / name), game) << name;
    EXPECT_EQ(GamesOfFile(file_).size(), 19u);
}

// A program that takes no lock appends a line to the file while this copy
// syncs its new file (seconds on a slow disk): the change is refused and
// the line stays.
TEST_F(PGNDoor, ALineAppendedWhileTheNewFileIsSyncedStays) {
    // The real file system; the sync of a new file first appends a line to
    // the game file, as a program without a lock would.
    class TAppendAtSync : public TPassThroughFileSystem {
    public:
        std::string Game;
        class TFileAt : public TPassThroughFile {
        public:
            TFileAt(std::unique_ptr<TFile> F, std::string G)
                : TPassThroughFile(std::move(F)), game_(std::move(G)) {}
            bool Sync() override {
                const int fd = ::open(game_.c_str(), O_WRONLY | O_APPEND);
                EXPECT_GE(fd, 0);
                EXPECT_EQ(::write(fd, "appended\n", 9), 9);
                ::close(fd);
                return TPassThroughFile::Sync();
            }

        private:
            std::string game_;
        };
        std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override {
            auto f = Real.Open(Path, Mode);
            if (!f || Mode != TOpenMode::CreateNew) return f;
            return std::make_unique<TFileAt>(std::move(f), Game);
        }
    };
    for (TOp op : kOps) {
        SCOPED_TRACE(Name(op));
        kbtest::WriteFile(file_, bytes_);
        TAppendAtSync fs;
        fs.Game = file_.string();
        TPGN list;
        list.SetFileSystem(&fs);
        ASSERT_TRUE(list.SetFileName(file_.string()));
        EXPECT_EQ(Change(op, list, fs, file_), TRewriteResult::Refused);
        EXPECT_EQ(kbtest::ReadFile(file_), bytes_ + "appended\n");
        EXPECT_EQ(pgntest::OtherFiles(dir_.path(), "korchnoi.pgn"), std::vector<std::string>{});
    }
}

// Another program rewrites the file in place between our read and our
// change: game 0 two bytes longer, the last game two bytes shorter, so the
// size stays, and the old modification time put back (cp -p, touch -r). Every
// change is refused and the file stays as the other program left it; also
// when the change time cannot be seen, since the edited ranges no longer
// end where games start.
TEST_F(PGNDoor, GamesMovedWithSizeAndTimeKeptAreNotCut) {
    // The real file system with stamps that know nothing of change times.
    class TNoChangeTime : public TPassThroughFileSystem {
    public:
        class TFileAt : public TPassThroughFile {
        public:
            using TPassThroughFile::TPassThroughFile;
            TFileStamp Stamp() override {
                TFileStamp s = TPassThroughFile::Stamp();
                s.CTimeNs = 0;
                return s;
            }
        };
        std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override {
            auto f = Real.Open(Path, Mode);
            return f ? std::make_unique<TFileAt>(std::move(f)) : nullptr;
        }
    };
    // Every game after the first starts two bytes later.
    const size_t event0 = bytes_.find("[Event \"") + 8;
    const size_t start1 = bytes_.find("\n[Event ", event0) + 1;
    const size_t cut = bytes_.rfind(' ');
    ASSERT_LT(bytes_.rfind("\n[Event "), cut);
    std::string moved = bytes_;
    moved.erase(cut, 2);
    moved.insert(event0, "XX");
    ASSERT_EQ(moved.size(), bytes_.size());
    ASSERT_EQ(moved.substr(start1 + 2, 7), "[Event ");

    const TOp ops[] = {TOp::Delete, TOp::Insert, TOp::Replace, TOp::EcoRun};
    for (bool seesChangeTime : {true, false}) {
        for (TOp op : ops) {
            SCOPED_TRACE(std::string(Name(op)) + (seesChangeTime ? "" : ", change time unseen"));
            kbtest::WriteFile(file_, bytes_);
            TNoChangeTime blind;
            TFileSystem& fs = seesChangeTime ? TFileSystem::Posix() : blind;
            TPGN list;
            list.SetFileSystem(&fs);
            ASSERT_TRUE(list.SetFileName(file_.string()));
            struct stat st {};
            ASSERT_EQ(::stat(file_.c_str(), &st), 0);
            kbtest::WriteFile(file_, moved); // in place: same inode
            const timespec times[2] = {st.st_atim, st.st_mtim};
            ASSERT_EQ(::utimensat(AT_FDCWD, file_.c_str(), times, 0), 0);
            ASSERT_EQ(TFileSystem::Posix().Stamp(file_.string()).MTimeNs,
                      int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec);
            EXPECT_EQ(Change(op, list, fs, file_), TRewriteResult::Refused);
            EXPECT_EQ(kbtest::ReadFile(file_), moved);
        }
    }
}

// Programs that take no lock, racing this copy: one appends to the file
// while the list's scan reads it (cat >>), or rewrites it in place with a
// shorter file, its modification time kept, while this copy's change reads
// the old file (cp -p). Every change says it was refused (so the window
// tells the user and reads the file again), never only that it failed; the
// file stays as the other program left it; read again, the change goes
// through.
TEST_F(PGNDoor, ChangesRacedByProgramsWithoutALockAreRefused) {
    // The real file system; Hook runs once: after the first read of the
    // game file opened for reading (the scan), or before the first read of
    // it opened for writing once the new file exists (the copying).
    class TRaced : public TPassThroughFileSystem {
    public:
        enum class TAt { Scan, Copy };
        std::string Game;
        TAt At = TAt::Scan;
        std::function<void()> Hook;
        class TFileAt : public TPassThroughFile {
        public:
            TFileAt(std::unique_ptr<TFile> F, TRaced& Fs, bool Old)
                : TPassThroughFile(std::move(F)), fs_(Fs), old_(Old) {}
            int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) override {
                const bool copying = fs_.At == TAt::Copy && old_ && fs_.copying_;
                if (copying) fs_.Fire();
                const int64_t n = TPassThroughFile::ReadAt(Offset, Buffer, Count);
                if (fs_.At == TAt::Scan && !old_) fs_.Fire();
                return n;
            }

        private:
            TRaced& fs_;
            bool old_;
        };
        std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override {
            auto f = Real.Open(Path, Mode);
            if (!f) return f;
            if (Mode == TOpenMode::CreateNew) copying_ = true;
            const bool game = fs::weakly_canonical(Path) == fs::weakly_canonical(Game);
            if (!game || (Mode != TOpenMode::Read && Mode != TOpenMode::ReadWrite)) return f;
            return std::make_unique<TFileAt>(std::move(f), *this, Mode == TOpenMode::ReadWrite);
        }
        void Fire() {
            if (!Hook) return;
            auto h = std::move(Hook);
            Hook = nullptr;
            h();
        }
        bool copying_ = false;
    };
    const std::string appended = "\r\n\r\n" + kNewGame + "\r\n";
    // What cp -p of a file of the first 5 games leaves: the same file,
    // shorter, with the old modification time.
    const std::string shorter = KorchnoiGames(5);
    auto copyOver = [&] {
        struct stat st {};
        ASSERT_EQ(::stat(file_.c_str(), &st), 0);
        kbtest::WriteFile(file_, shorter);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, file_.c_str(), times, 0), 0);
    };
    for (TRaced::TAt at : {TRaced::TAt::Scan, TRaced::TAt::Copy}) {
        for (TOp op : kOps) {
            // A drop appends to the file as it finds it: nothing to race
            // in a scan.
            if (at == TRaced::TAt::Scan && op == TOp::DropAppend) continue;
            SCOPED_TRACE(testing::Message()
                         << Name(op)
                         << (at == TRaced::TAt::Scan ? ", appended during the scan"
                                                     : ", copied over during the change"));
            kbtest::WriteFile(file_, bytes_);
            TRaced raced;
            raced.Game = file_.string();
            raced.At = at;
            raced.Hook = [&] { kbtest::WriteFile(file_, bytes_ + appended); };
            TPGN list;
            list.SetFileSystem(&raced);
            ASSERT_TRUE(list.SetFileName(file_.string()));
            ASSERT_FALSE(list.ScanIncomplete());
            if (at == TRaced::TAt::Copy) raced.Hook = copyOver;
            EXPECT_EQ(Change(op, list, raced, file_), TRewriteResult::Refused);
            EXPECT_FALSE(raced.Hook) << "the other program came";
            const std::string left = at == TRaced::TAt::Scan ? bytes_ + appended : shorter;
            EXPECT_EQ(kbtest::ReadFile(file_), left);
            EXPECT_EQ(pgntest::OtherFiles(dir_.path(), "korchnoi.pgn"), std::vector<std::string>{});
            // Read again, the same change goes through.
            ASSERT_TRUE(list.Reread());
            EXPECT_EQ(list.GameCount(), at == TRaced::TAt::Scan ? 20 : 5);
            EXPECT_EQ(Change(op, list, raced, file_), TRewriteResult::Done);
        }
    }
}

TEST(PgnFiles, AppendGame) {
    kbtest::TempDir dir;
    const fs::path p = dir / "games.pgn";
    kbtest::WriteFile(p, "[Event \"a\"]\r\n\r\n1. e4 *\r\n");

    ASSERT_TRUE(kb::AppendGameToPGNFile(p.string(), "[Event \"b\"]\r\n\r\n1. d4 *\r\n"));
    EXPECT_EQ(kbtest::ReadFile(p),
              "[Event \"a\"]\r\n\r\n1. e4 *\r\n\r\n[Event \"b\"]\r\n\r\n1. d4 *\r\n");

    ASSERT_TRUE(kb::AppendGameToPGNFile(p.string(), "\r\n[Event \"c\"]\r\n"));
    EXPECT_EQ(kbtest::ReadFile(p), "[Event \"a\"]\r\n\r\n1. e4 *\r\n\r\n[Event \"b\"]\r\n\r\n"
                                   "1. d4 *\r\n\r\n[Event \"c\"]\r\n");

    const std::string before = kbtest::ReadFile(p);
    EXPECT_FALSE(kb::AppendGameToPGNFile(p.string(), ""));
    EXPECT_EQ(kbtest::ReadFile(p), before);

    // An empty file counts as a PGN file.
    const fs::path empty = dir / "empty.pgn";
    kbtest::WriteFile(empty, "");
    ASSERT_TRUE(kb::AppendGameToPGNFile(empty.string(), "[Event \"x\"]"));
    // No blank line before the first game; the last line ends with CR LF;
    // nothing is left beside the file.
    EXPECT_EQ(kbtest::ReadFile(empty), "[Event \"x\"]\r\n");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"empty.pgn", "games.pgn"}));
}

// The list's append and the database window's append part the new game
// from the old end by one rule: one blank line, the line breaks already
// there counted, whatever their kind; none in an empty file.
TEST(PgnFiles, BothAppendsPartGamesAlike) {
    kbtest::TempDir dir;
    const std::string game = "[Event \"n\"]\r\n\r\n1. d4 *";
    const std::string a = "[Event \"a\"]\n\n1. e4 *";
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {a, "\r\n\r\n"},
        {a + "\n", "\r\n"},
        {a + "\r\n", "\r\n"},
        {a + "\r", "\r\n"},
        {a + "\n\n", ""},
        {a + "\r\n\r\n", ""},
        {a + "\r\n\r\n\r\n", ""},
    };
    for (const auto& [old, separator] : cases) {
        SCOPED_TRACE(::testing::PrintToString(old));
        const fs::path byList = dir / "list.pgn", byDrop = dir / "drop.pgn";
        kbtest::WriteFile(byList, old);
        kbtest::WriteFile(byDrop, old);
        TPGN list;
        ASSERT_TRUE(list.SetFileName(byList.string()));
        int no = -1;
        ASSERT_TRUE(list.AppendGame(no, game));
        ASSERT_TRUE(AppendGameToPGNFile(byDrop.string(), game));
        EXPECT_EQ(kbtest::ReadFile(byList), old + separator + game + "\r\n");
        EXPECT_EQ(kbtest::ReadFile(byDrop), kbtest::ReadFile(byList));
    }
}

TEST(PgnFiles, AppendRefusesOtherFiles) {
    kbtest::TempDir dir;
    const fs::path text = dir / "notes.txt";
    kbtest::WriteFile(text, "shopping list\n");
    EXPECT_FALSE(kb::AppendGameToPGNFile(text.string(), "[Event \"x\"]"));
    EXPECT_EQ(kbtest::ReadFile(text), "shopping list\n");

    EXPECT_FALSE(kb::AppendGameToPGNFile((dir / "missing.pgn").string(), "[Event \"x\"]"));
    EXPECT_FALSE(fs::exists(dir / "missing.pgn"));

    // Database files are never PGN text, even when empty.
    for (const char* name : {"db.kbf", "db.kbfidx", "db.kbftmp", "DB.KBF"}) {
        const fs::path p = dir / name;
        kbtest::WriteFile(p, "");
        EXPECT_FALSE(kb::AppendGameToPGNFile(p.string(), "[Event \"x\"]")) << name;
        EXPECT_EQ(fs::file_size(p), 0u) << name;
    }
    const fs::path link = dir / "link.pgn";
    fs::create_symlink(dir / "db.kbf", link);
    EXPECT_FALSE(kb::AppendGameToPGNFile(link.string(), "[Event \"x\"]"));
    EXPECT_EQ(fs::file_size(dir / "db.kbf"), 0u);
}

TEST(PgnFiles, AppendReportsAFailedWriteAndLeavesTheFileAsItWas) {
    kbtest::TempDir dir;
    const fs::path p = dir / "games.pgn";
    const std::string original = "[Event \"a\"]\r\n\r\n1. e4 *\r\n";
    kbtest::WriteFile(p, original);

    // A file size limit makes the write fail part way, even for root.
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = original.size() + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = kb::AppendGameToPGNFile(p.string(), "[Event \"b\"]" + std::string(1000, ' '));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(kbtest::ReadFile(p), original);
}

// Every mutating call of an append fails in turn: the file holds the old
// games, or the old games and the new one, never a part of it. Only a failed
// folder sync after the rename leaves the new games, and reports success.
TEST(PgnFiles, AppendUnderEveryFailingCall) {
    kbtest::TempDir dir;
    const fs::path p = dir / "games.pgn";
    const std::string original = "[Event \"a\"]\r\n\r\n1. e4 *\r\n";
    const std::string game = "[Event \"b\"]\r\n\r\n1. d4 *";
    int faults = 0;
    for (kb::TFault fault : {kb::TFault::Fail, kb::TFault::ShortWrite, kb::TFault::NoSpace}) {
        for (int64_t k = 1;; ++k) {
            kbtest::WriteFile(p, original);
            kb::TFaultyFileSystem faulty;
            faulty.FailAt = k;
            faulty.Fault = fault;
            const bool ok = kb::AppendGameToPGNFile(faulty, p.string(), game);
            if (faulty.Faults == 0) {
                EXPECT_TRUE(ok);
                break;
            }
            ++faults;
            const std::string now = kbtest::ReadFile(p);
            EXPECT_EQ(now, ok ? original + "\r\n" + game + "\r\n" : original) << "call " << k;
            int others = 0;
            for (const auto& e : fs::directory_iterator(dir.path()))
                others += e.path().filename() != "games.pgn";
            EXPECT_EQ(others, 0) << "call " << k;
        }
        EXPECT_EQ(kbtest::ReadFile(p), original + "\r\n" + game + "\r\n");
    }
    EXPECT_GE(faults, 4);
}

} // namespace
