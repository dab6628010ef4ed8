// SPDX-License-Identifier: GPL-3.0-or-later
// Every write of one operation made to fail in turn: the result must tell
// which state the files are in, and that state must hold up even through a
// rebuild of the index from the main file alone.
#include "DbModel.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace kb;
using namespace dbtest;
namespace fs = std::filesystem;

namespace {

// Valid payloads in slot order, as a fresh index built from the main file sees them.
std::vector<std::string> AfterRebuild(const std::string& Name) {
    fs::remove(ChangeFileExt(Name, ".kbfidx"));
    TChessDatabase db;
    std::vector<std::string> games;
    if (!db.Open(Name)) return {"open failed"};
    for (int64_t i = 0; i < db.GetCount(); ++i) {
        std::string key, payload;
        bool deleted = false;
        if (!db.ReadRecord(key, payload, deleted, i)) return {"read failed"};
        if (!deleted) games.push_back(payload);
    }
    std::sort(games.begin(), games.end()); // a replaced game moves to the end
    return games;
}

// Without an index a deleted game comes back (its bytes are still there),
// but an old version of a replaced game must not.
std::vector<std::string> Rebuilt(const TModel& M) {
    std::vector<std::string> games;
    for (const auto& g : M)
        games.push_back(g.Payload);
    std::sort(games.begin(), games.end());
    return games;
}

// A small database with a deleted game and a replaced one (wasted bytes,
// so that a compress has work).
TModel MakeDatabase(const std::string& Name) {
    TModel model;
    {
        TChessDatabase db;
        EXPECT_TRUE(db.Open(Name, true));
        for (const char* p : {"\x01one", "two\xFF", "three", "four"}) {
            int64_t n = 0;
            EXPECT_TRUE(db.AddRecord(n, p));
            model.push_back({p, false});
        }
        EXPECT_TRUE(db.DeleteGame(3));
        model[3].Deleted = true;
        EXPECT_TRUE(db.ReplaceRecord("TWO", 1));
        model[1].Payload = "TWO";
    }
    return model;
}

// Runs Op against a fresh copy of a small database once per mutating call,
// that call failing as Fault says.
void EveryCallFails(const TOp& Op, TFault Fault) {
    kbtest::TempDir dir;
    const std::string name = (dir / "f.kbf").string();
    const TModel model = MakeDatabase(name);
    const std::string main = kbtest::ReadFile(name), index = kbtest::ReadFile(dir / "f.kbfidx");
    TModel after = model;
    Apply(after, Op);
    int faults = 0;
    for (int64_t k = 1;; ++k) {
        kbtest::WriteFile(name, main);
        kbtest::WriteFile(dir / "f.kbfidx", index);
        TFaultyFs fs;
        bool ok = false, closed = false;
        {
            TChessDatabase db(&fs);
            ASSERT_TRUE(db.Open(name));
            fs.FailAt = fs.Calls + k;
            fs.Fault = Fault;
            ok = RunOp(db, Op, model);
            // A compress whose swap was committed but not finished closes
            // the database; the next open finishes it.
            closed = db.FileName().empty();
            fs.NoSpace = false;
        }
        if (fs.Faults == 0) {
            ASSERT_TRUE(ok) << "no fault, call " << k;
            break;
        }
        ++faults;
        const TModel& expected = ok || closed ? after : model;
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name)) << "call " << k << " code " << db.LastError();
        ASSERT_TRUE(Matches(db, expected)) << "call " << k << (ok ? " (done)" : " (failed)");
        db.Close();
        EXPECT_FALSE(fs::exists(ChangeFileExt(name, ".maintmp"))) << "call " << k;
        EXPECT_FALSE(fs::exists(ChangeFileExt(name, ".indextmp"))) << "call " << k;
        EXPECT_EQ(AfterRebuild(name), Rebuilt(expected)) << "call " << k;
    }
    EXPECT_GE(faults, 3);
}

TEST(DbFailOrder, ReplaceKeepsOneVersionOfTheGame) {
    TOp op;
    op.Kind = TOpKind::Replace;
    op.Index = 1;
    op.Payload = "replaced";
    for (TFault f : {TFault::Fail, TFault::ShortWrite, TFault::NoSpace})
        EveryCallFails(op, f);
    // A deleted game comes back through a replace, also when a write fails.
    op.Index = 3;
    EveryCallFails(op, TFault::Fail);
}

TEST(DbFailOrder, CompressSwapsWholeOrNotAtAll) {
    TOp op;
    op.Kind = TOpKind::Compress;
    for (TFault f : {TFault::Fail, TFault::ShortWrite, TFault::NoSpace})
        EveryCallFails(op, f);
}

// A file of the user's beside the database, named like the index rebuild's
// temporary file; and the names in the folder, which must be the database's
// three and that file alone.
const std::string kForeign = "[Event \"Mine\"]\r\n\r\n1. d4 d5 *\r\n";
std::vector<std::string> FolderOf(const kbtest::TempDir& Dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The process killed before, in the middle of and after each mutating call
// of a compress: the next open finds the old or the new pair, whole, and
// leaves no file of the compress behind and the user's as it was.
TEST(DbFailOrder, CompressKilledAtEveryCall) {
    kbtest::TempDir dir;
    const std::string name = (dir / "k.kbf").string();
    const TModel model = MakeDatabase(name);
    kbtest::WriteFile(dir / "k.rebuildtmp", kForeign);
    const std::vector<std::string> folder = {"k.kbf", "k.kbfidx", "k.kbftmp", "k.rebuildtmp"};
    TModel after = model;
    TOp op;
    op.Kind = TOpKind::Compress;
    Apply(after, op);
    const std::string main = kbtest::ReadFile(name), index = kbtest::ReadFile(dir / "k.kbfidx");
    int kills = 0, newer = 0;
    for (TFault fault : {TFault::KillBefore, TFault::KillMidWrite, TFault::KillAfter}) {
        for (int64_t k = 1;; ++k) {
            kbtest::WriteFile(name, main);
            kbtest::WriteFile(dir / "k.kbfidx", index);
            for (const char* ext : {".maintmp", ".indextmp"})
                fs::remove(ChangeFileExt(name, ext));
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                TFaultyFs fs;
                TChessDatabase db(&fs);
                if (!db.Open(name)) ::_exit(3);
                fs.FailAt = fs.Calls + k;
                fs.Fault = fault;
                ::_exit(db.Compress() ? 0 : 4);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
            if (!killed) {
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "call " << k;
                break;
            }
            ++kills;
            TChessDatabase db;
            ASSERT_TRUE(db.Open(name)) << "call " << k << " code " << db.LastError();
            const bool isNew = Matches(db, after);
            ASSERT_TRUE(isNew || Matches(db, model))
                << "fault " << static_cast<int>(fault) << " call " << k << ": "
                << Matches(db, model).message();
            newer += isNew;
            db.Close();
            EXPECT_EQ(FolderOf(dir), folder) << "call " << k;
            EXPECT_EQ(AfterRebuild(name), Rebuilt(isNew ? after : model)) << "call " << k;
            EXPECT_EQ(FolderOf(dir), folder) << "call " << k;
            EXPECT_EQ(kbtest::ReadFile(dir / "k.rebuildtmp"), kForeign) << "call " << k;
        }
    }
    EXPECT_GE(kills, 20);
    // Both sides of the commit were hit.
    EXPECT_GT(newer, 0);
    EXPECT_LT(newer, kills);
}

// The same for the rebuild of an index that fails the check at the open:
// the next open has every game, and the folder holds nothing of the killed
// rebuild.
TEST(DbFailOrder, RebuildKilledAtEveryCall) {
    kbtest::TempDir dir;
    const std::string name = (dir / "r.kbf").string();
    const TModel model = MakeDatabase(name);
    const std::string main = kbtest::ReadFile(name);
    std::string index = kbtest::ReadFile(dir / "r.kbfidx");
    PutInt64LE(&index[(8 + 2) * 8], 3); // not a record start
    kbtest::WriteFile(dir / "r.rebuildtmp", kForeign);
    const std::vector<std::string> folder = {"r.kbf", "r.kbfidx", "r.kbftmp", "r.rebuildtmp"};
    // The old index fails the check, yet its deletion marks hold.
    std::vector<std::string> want;
    for (const auto& g : model)
        if (!g.Deleted) want.push_back(g.Payload);
    std::sort(want.begin(), want.end());
    int kills = 0;
    for (TFault fault : {TFault::KillBefore, TFault::KillMidWrite, TFault::KillAfter}) {
        for (int64_t k = 1;; ++k) {
            kbtest::WriteFile(name, main);
            kbtest::WriteFile(dir / "r.kbfidx", index);
            fs::remove(dir / "r.kbftmp");
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                TFaultyFs fs;
                fs.FailAt = k;
                fs.Fault = fault;
                TChessDatabase db(&fs);
                ::_exit(db.Open(name) ? 0 : 3);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)) {
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "call " << k;
                break;
            }
            ++kills;
            std::vector<std::string> games;
            {
                TChessDatabase db;
                ASSERT_TRUE(db.Open(name)) << "call " << k << " code " << db.LastError();
                for (int64_t i = 0; i < db.GetCount(); ++i) {
                    std::string key, payload;
                    bool deleted = false;
                    ASSERT_TRUE(db.ReadRecord(key, payload, deleted, i)) << "call " << k;
                    if (!deleted) games.push_back(payload);
                }
            }
            std::sort(games.begin(), games.end());
            EXPECT_EQ(games, want) << "fault " << static_cast<int>(fault) << " call " << k;
            EXPECT_EQ(FolderOf(dir), folder) << "call " << k;
            EXPECT_EQ(kbtest::ReadFile(dir / "r.rebuildtmp"), kForeign) << "call " << k;
        }
    }
    EXPECT_GE(kills, 15);
}

} // namespace
