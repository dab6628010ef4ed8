// SPDX-License-Identifier: GPL-3.0-or-later
// Every write of one operation made to fail in turn: the result must tell
// which state the files are in, and that state must hold up even through a
// rebuild of the index from the main file alone.
#include "DbModel.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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

// Runs Op against a fresh copy of a small database once per mutating call,
// that call failing as Fault says.
void EveryCallFails(const TOp& Op, TFault Fault) {
    kbtest::TempDir dir;
    const std::string name = (dir / "f.kbf").string();
    TModel model;
    {
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name, true));
        for (const char* p : {"\x01one", "two\xFF", "three", "four"}) {
            int64_t n = 0;
            ASSERT_TRUE(db.AddRecord(n, p));
            model.push_back({p, false});
        }
        ASSERT_TRUE(db.DeleteGame(3));
        model[3].Deleted = true;
    }
    const std::string main = kbtest::ReadFile(name), index = kbtest::ReadFile(dir / "f.kbfidx");
    TModel after = model;
    Apply(after, Op);
    int faults = 0;
    for (int64_t k = 1;; ++k) {
        kbtest::WriteFile(name, main);
        kbtest::WriteFile(dir / "f.kbfidx", index);
        TFaultyFs fs;
        bool ok = false;
        {
            TChessDatabase db(&fs);
            ASSERT_TRUE(db.Open(name));
            fs.FailAt = fs.Calls + k;
            fs.Fault = Fault;
            ok = RunOp(db, Op, model);
            fs.NoSpace = false;
        }
        if (fs.Faults == 0) {
            ASSERT_TRUE(ok) << "no fault, call " << k;
            break;
        }
        ++faults;
        const TModel& expected = ok ? after : model;
        TChessDatabase db;
        ASSERT_TRUE(db.Open(name)) << "call " << k << " code " << db.LastError();
        ASSERT_TRUE(Matches(db, expected)) << "call " << k << (ok ? " (done)" : " (failed)");
        db.Close();
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

} // namespace
