// SPDX-License-Identifier: GPL-3.0-or-later
// Edits under failing file calls: short writes, a full disk, failing syncs,
// a failing rename and a cancel. The game file is never written in place:
// it stays as it was, and the half written new file goes.
#include "FaultyFileSystem.h"
#include "PGN.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace kb;
namespace fs = std::filesystem;

namespace {

// Passes calls through, failing those chosen by the test.
class FaultyIO : public TPassThroughFileSystem {
public:
    std::string gamePath;
    int gameWrites = 0;
    int newWrites = 0;
    int failNewWriteAt = 0;      // this write to the new file fails (1-based), 0 never
    bool failFromThenOn = false; // and every later one too (a full disk)
    bool failNewSync = false;
    bool failRename = false;
    bool injected = false;

    // The program's temporary names for a new version of the game file.
    bool IsNewFileName(const std::string& Path) const {
        const std::string model = ReplacementName(gamePath, 0, 0);
        const std::string prefix = model.substr(0, model.size() - std::string("0-0.tmp").size());
        return Path.rfind(prefix, 0) == 0;
    }
    std::unique_ptr<TFile> Open(const std::string& Path, TOpenMode Mode) override {
        auto f = Real.Open(Path, Mode);
        if (!f) return nullptr;
        const TRole role = Path == gamePath      ? TRole::Game
                           : IsNewFileName(Path) ? TRole::New
                                                 : TRole::Other;
        return std::make_unique<TFaultyFile>(std::move(f), *this, role);
    }
    bool Rename(const std::string& From, const std::string& To) override {
        if (failRename) return false;
        return Real.Rename(From, To);
    }

private:
    enum class TRole { Game, New, Other };
    class TFaultyFile : public TFile {
    public:
        TFaultyFile(std::unique_ptr<TFile> F, FaultyIO& Io, TRole Role)
            : f_(std::move(F)), io_(Io), role_(Role) {}
        int64_t ReadAt(int64_t Offset, char* Buffer, int64_t Count) override {
            return f_->ReadAt(Offset, Buffer, Count);
        }
        bool WriteAt(int64_t Offset, const char* Data, int64_t Count) override {
            if (role_ == TRole::Game) ++io_.gameWrites;
            if (role_ == TRole::New) {
                ++io_.newWrites;
                const int at = io_.failNewWriteAt;
                if (at && (io_.newWrites == at || (io_.failFromThenOn && io_.newWrites > at))) {
                    // A full disk: the first failing write gets part of its bytes in.
                    if (!io_.injected) f_->WriteAt(Offset, Data, Count / 2);
                    io_.injected = true;
                    return false;
                }
            }
            return f_->WriteAt(Offset, Data, Count);
        }
        int64_t Size() override { return f_->Size(); }
        bool Truncate(int64_t NewSize) override { return f_->Truncate(NewSize); }
        bool Sync() override {
            if (role_ == TRole::New && io_.failNewSync) return false;
            return f_->Sync();
        }
        bool TryLock() override { return f_->TryLock(); }
        bool IsFileAt(const std::string& Path) override { return f_->IsFileAt(Path); }
        TFileStamp Stamp() override { return f_->Stamp(); }

    private:
        std::unique_ptr<TFile> f_;
        FaultyIO& io_;
        TRole role_;
    };
};

std::string MakeFile(std::mt19937& rng, int games) {
    std::string bytes;
    for (int i = 0; i < games; ++i)
        bytes += (i ? "\r\n\r\n" : "") + pgntest::MakeGame(i, i == 2 ? 40000 : 900, rng);
    return bytes;
}

using Edit = std::function<bool(TPGN&)>;

struct Case {
    const char* name;
    Edit edit;
};

std::vector<Case> Cases(const std::string& longText, const std::string& shortText) {
    return {
        {"insert",
         [=](TPGN& p) {
             int no = 0;
             return p.InsertGame(1, no, longText);
         }},
        {"replace longer",
         [=](TPGN& p) {
             int no = 1;
             return p.ReplaceGame(no, longText);
         }},
        {"replace shorter",
         [=](TPGN& p) {
             int no = 2;
             return p.ReplaceGame(no, shortText);
         }},
        {"delete", [](TPGN& p) { return p.DeleteGame(1); }},
        {"append",
         [=](TPGN& p) {
             int no = 0;
             return p.AppendGame(no, shortText);
         }},
    };
}

} // namespace

TEST(PGNFault, FailedWriteLeavesTheFileAsItWas) {
    std::mt19937 rng(21);
    const std::string original = MakeFile(rng, 5);
    const std::string longText = pgntest::MakeGame(50, 50000, rng);
    const std::string shortText = pgntest::MakeGame(51, 300, rng);
    for (const auto& c : Cases(longText, shortText)) {
        // Fail each write in turn, alone or as a full disk, until the edit
        // needs fewer writes.
        for (bool full : {false, true}) {
            for (int at = 1;; ++at) {
                SCOPED_TRACE(testing::Message() << c.name << ", write " << at << ", full " << full);
                kbtest::TempDir dir;
                const auto file = dir / "g.pgn";
                kbtest::WriteFile(file, original);
                FaultyIO io;
                io.gamePath = fs::absolute(file).string();
                io.failNewWriteAt = at;
                io.failFromThenOn = full;
                TPGN pgn;
                pgn.SetFileSystem(&io);
                ASSERT_TRUE(pgn.SetFileName(file.string()));
                const auto before = pgntest::Records(pgn);
                if (c.edit(pgn)) {
                    ASSERT_FALSE(io.injected) << "an edit with a failed write reported success";
                    EXPECT_EQ(io.gameWrites, 0) << "the game file was written in place";
                    break;
                }
                EXPECT_EQ(kbtest::ReadFile(file), original);
                EXPECT_EQ(pgntest::Records(pgn), before);
                EXPECT_EQ(pgntest::OtherFiles(dir.path(), "g.pgn"), std::vector<std::string>{});
                // The list still describes the file, so the next try works.
                io.failNewWriteAt = 0;
                io.failFromThenOn = false;
                ASSERT_TRUE(c.edit(pgn));
                EXPECT_EQ(pgntest::FreshStarts(file), [&] {
                    std::vector<int64_t> starts;
                    for (const auto& r : pgntest::Records(pgn))
                        starts.push_back(r.Start);
                    return starts;
                }());
                EXPECT_EQ(io.gameWrites, 0);
                ASSERT_LT(at, 200);
            }
        }
    }
}

TEST(PGNFault, FailedSyncRenameOrCancelTouchesNothing) {
    std::mt19937 rng(24);
    const std::string original = MakeFile(rng, 4);
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(testing::Message() << "variant " << variant);
        kbtest::TempDir dir;
        const auto file = dir / "g.pgn";
        kbtest::WriteFile(file, original);
        FaultyIO io;
        io.gamePath = fs::absolute(file).string();
        io.failNewSync = variant == 0;
        io.failRename = variant == 1;
        TPGN pgn;
        pgn.SetFileSystem(&io);
        pgn.OnPGNTrace = [&](TPGN*, int percent, TCancelMode& mode) {
            if (variant == 2 && percent > 0 && mode == cmGoOn) mode = cmCancel;
        };
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        const auto before = pgntest::Records(pgn);
        EXPECT_FALSE(pgn.DeleteGames({0, 2}));
        EXPECT_EQ(pgn.Cancelled(), variant == 2);
        EXPECT_EQ(kbtest::ReadFile(file), original);
        EXPECT_EQ(pgntest::Records(pgn), before);
        EXPECT_EQ(pgntest::OtherFiles(dir.path(), "g.pgn"), std::vector<std::string>{});
        EXPECT_EQ(io.gameWrites, 0) << "the game file was written";
        EXPECT_FALSE(pgn.ScanIncomplete());
        // Additions are not cancelled: a copy keeps what it had at a stop.
        if (variant == 2) {
            std::vector<int> nos;
            EXPECT_TRUE(pgn.AppendGames({pgntest::MakeGame(70, 500, rng)}, nos));
            EXPECT_EQ(pgn.GameCount(), 5);
        }
    }
}
