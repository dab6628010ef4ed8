// SPDX-License-Identifier: GPL-3.0-or-later
// The file layer: whole writes, atomic replacement under every failing call,
// and the settings file written through it.
#include "FileIO.h"
#include "FaultyFileSystem.h"
#include "IniFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kb;
using kbtest::ReadFile;
using kbtest::WriteFile;
namespace fs = std::filesystem;

namespace {

size_t FilesIn(const fs::path& Dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(Dir), {}));
}

TEST(FileIO, PlainCallsWriteAndReadWhole) {
    kbtest::TempDir dir;
    const std::string name = (dir / "f.bin").string();
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    std::string big(3 << 20, 'x');
    for (size_t i = 0; i < big.size(); i += 4097)
        big[i] = static_cast<char>(i);
    ASSERT_TRUE(PWriteAll(fd, big.data(), static_cast<int64_t>(big.size()), 5));
    ASSERT_TRUE(SyncFile(fd));
    std::string back(big.size() + 100, '\0');
    EXPECT_EQ(PReadAll(fd, back.data(), static_cast<int64_t>(back.size()), 5),
              static_cast<int64_t>(big.size()));
    EXPECT_EQ(back.substr(0, big.size()), big);
    EXPECT_EQ(PReadAll(fd, back.data(), 1, -1), -1);
    EXPECT_FALSE(PWriteAll(fd, big.data(), 1, -1));
    ::close(fd);
    // A descriptor opened for reading only takes no write.
    const int ro = ::open(name.c_str(), O_RDONLY);
    EXPECT_FALSE(WriteAll(ro, "a", 1));
    ::close(ro);

    EXPECT_TRUE(SyncFolderOf(name));
    EXPECT_FALSE(SyncFolderOf((dir / "missing" / "f").string()));
    EXPECT_EQ(FolderOf("a"), ".");
    EXPECT_EQ(FolderOf("/a"), "/");
    EXPECT_EQ(FolderOf("x/y/z"), "x/y");
}

// A write the file system takes only in part (here: the file size limit)
// is a failure, not a success with fewer bytes; through TFile as well.
// A named pipe or a device under a game file's name is no file to open:
// refused at once, never waited on until some writer comes.
TEST(FileIO, OpenRefusesPipesWithoutWaiting) {
    kbtest::TempDir dir;
    const std::string pipe = (dir / "games.pgn").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    for (const TOpenMode mode : {TOpenMode::Read, TOpenMode::ReadWrite, TOpenMode::Create}) {
        auto opened = std::async(std::launch::async,
                                 [&] { return TFileSystem::Posix().Open(pipe, mode) != nullptr; });
        if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << "Open waits on a pipe, mode " << static_cast<int>(mode);
            // A writer on the pipe ends the wait.
            const int w = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            opened.wait();
            if (w >= 0) ::close(w);
            continue;
        }
        EXPECT_FALSE(opened.get()) << static_cast<int>(mode);
    }
    // A regular file opened for reading reads as before (blocking reads).
    const std::string plain = (dir / "plain.pgn").string();
    WriteFile(plain, "[Event \"x\"]\r\n");
    auto f = TFileSystem::Posix().Open(plain, TOpenMode::Read);
    ASSERT_TRUE(f);
    char b[7];
    EXPECT_EQ(f->ReadAt(0, b, 7), 7);
}

TEST(FileIO, PartialWriteIsAFailure) {
    kbtest::TempDir dir;
    const std::string name = (dir / "l.bin").string();
    auto file = TFileSystem::Posix().Open(name, TOpenMode::Truncate);
    ASSERT_TRUE(file);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string data(30000, 'p');
    const bool wrote = file->WriteAt(0, data.data(), static_cast<int64_t>(data.size()));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(file->Size(), 10000) << "the part that went in";
    EXPECT_TRUE(file->WriteAt(0, data.data(), static_cast<int64_t>(data.size())));
}

// Every mutating call of a replacement fails in turn: the file holds the
// old or the new content, whole, and no temporary file stays behind.
TEST(FileIO, ReplaceUnderEveryFailingCall) {
    kbtest::TempDir dir;
    const std::string name = (dir / "s.ini").string();
    const std::string before = "[A]\r\nkey=old\r\n", after(100000, 'n');
    int faults = 0;
    for (TFault fault : {TFault::Fail, TFault::ShortWrite, TFault::NoSpace}) {
        for (int64_t k = 1;; ++k) {
            WriteFile(name, before);
            TFaultyFileSystem faulty;
            faulty.FailAt = k;
            faulty.Fault = fault;
            const bool ok = ReplaceFileContent(faulty, name, after);
            if (faulty.Faults == 0) {
                EXPECT_TRUE(ok);
                EXPECT_EQ(ReadFile(name), after);
                break;
            }
            ++faults;
            const std::string now = ReadFile(name);
            if (ok) {
                EXPECT_EQ(now, after) << "call " << k;
            } else if (now != before) {
                // Only the folder sync, the last call, fails after the rename.
                EXPECT_EQ(now, after) << "call " << k;
                EXPECT_EQ(k, faulty.Calls) << "call " << k;
            }
            EXPECT_EQ(FilesIn(dir.path()), 1u) << "call " << k;
        }
    }
    EXPECT_GE(faults, 6);
}

TEST(FileIO, ReplaceKeepsModeAndWritesThroughLinks) {
    kbtest::TempDir dir;
    const std::string real = (dir / "real.ini").string(), link = (dir / "link.ini").string();
    WriteFile(real, "old");
    ::chmod(real.c_str(), 0600);
    fs::create_symlink(real, link);
    ASSERT_TRUE(ReplaceFileContent(TFileSystem::Posix(), link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "new");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // What a killed writer left beside the real file is found through the link.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    WriteFile(ReplacementName(real, gone, 0), "half");
    EXPECT_EQ(RemoveStaleReplacements(TFileSystem::Posix(), link), 1);
    // A folder that is not there: refused, nothing made.
    EXPECT_FALSE(ReplaceFileContent(TFileSystem::Posix(), (dir / "no" / "x.ini").string(), "a"));
    EXPECT_FALSE(ReplaceFileContent(TFileSystem::Posix(), "", "a"));
    EXPECT_EQ(FilesIn(dir.path()), 2u);
}

// Leftovers of killed writers go by their lock alone: process numbers
// repeat (in a container every start may get the same one, 1 included), so
// a leftover named with this process's own number or with 1 is taken when
// nothing holds it, and a hundred of them do not stop the next change. One
// that a writer holds stays, be the writer another process or this one.
TEST(FileIO, StaleReplacementsGoByTheirLockAlone) {
    kbtest::TempDir dir;
    const std::string name = (dir / "club.pgn").string();
    WriteFile(name, "old");
    for (int n = 0; n < 100; ++n)
        WriteFile(ReplacementName(name, ::getpid(), n), "half");
    WriteFile(ReplacementName(name, 1, 0), "half");
    const std::string held = ReplacementName(name, 1, 1);
    WriteFile(held, "being written");
    kbtest::TOtherCopyHolds other(held);
    ASSERT_TRUE(other.Held());

    ASSERT_TRUE(ReplaceFileContent(TFileSystem::Posix(), name, "new"));
    EXPECT_EQ(ReadFile(name), "new");
    EXPECT_EQ(RemoveStaleReplacements(TFileSystem::Posix(), name), 100);
    EXPECT_EQ(FilesIn(dir.path()), 2u);
    EXPECT_EQ(ReadFile(held), "being written");

    // A change of this very process at work keeps its file.
    TReplacement mine;
    ASSERT_TRUE(mine.Begin(TFileSystem::Posix(), name));
    ASSERT_TRUE(mine.File().WriteAt(0, "mine", 4));
    EXPECT_EQ(RemoveStaleReplacements(TFileSystem::Posix(), name), 0);
    EXPECT_EQ(FilesIn(dir.path()), 3u);
    EXPECT_TRUE(mine.Commit());
    EXPECT_EQ(ReadFile(name), "mine");

    other.Release();
    EXPECT_EQ(RemoveStaleReplacements(TFileSystem::Posix(), name), 1);
    EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(FileIO, SettingsFileWritesThroughTheLayer) {
    kbtest::TempDir dir;
    const std::string name = (dir / "Kestrelbay.ini").string();
    WriteFile(name, "; mine\r\n[Options]\r\nLanguage=1\r\n");
    IniFile ini(name);
    ASSERT_TRUE(ini.WriteInteger("Options", "Language", 2));
    TFaultyFileSystem faulty;
    faulty.FailAt = 2; // the write of the temporary file
    EXPECT_FALSE(ini.UpdateFile(faulty));
    EXPECT_EQ(ReadFile(name), "; mine\r\n[Options]\r\nLanguage=1\r\n");
    EXPECT_EQ(FilesIn(dir.path()), 1u);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadFile(name), "; mine\r\n[Options]\r\nLanguage=2\r\n");

    // The plain lookup the rules core takes for its diagram fonts.
    const auto read = IniValueReader(name);
    std::string value;
    ASSERT_TRUE(read("options", "LANGUAGE", value));
    EXPECT_EQ(value, "2");
    EXPECT_FALSE(read("Options", "Missing", value));
    EXPECT_FALSE(IniValueReader((dir / "none.ini").string())("Options", "Language", value));
}

} // namespace
