// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the test suites: test data, temporary folders and
// running the real programs we check against.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kbtest {

// Folder of the shared test data (pgn/, perft/); fails the test when missing.
std::filesystem::path TestData(const std::string& relative = {});

// Reads a whole file as bytes.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// A fresh folder under the system temp path, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Finds a program in PATH and the Debian games folder. When it is missing,
// the test is skipped unless KB_REQUIRE_PEERS is set (as ./test.sh does),
// then it fails.
std::optional<std::string> FindPeer(const std::string& name);

struct RunResult {
    int exitCode = -1;
    std::string out;
};
// Runs argv with the given stdin text and collects stdout (stderr discarded).
RunResult Run(const std::vector<std::string>& argv, const std::string& input = {});

// Path of the kbbench driver built with the tests.
std::string BenchPath();

// The state letter of a process ('R', 'S', 'T', 'Z', ...); 0 when it is gone
// (reaped).
char ProcState(pid_t pid);

// Another copy of the program in the middle of a change: a process that
// holds the file's lock until this is let go (destroyed or Release()).
class TOtherCopyHolds {
public:
    explicit TOtherCopyHolds(const std::filesystem::path& File);
    ~TOtherCopyHolds() { Release(); }
    TOtherCopyHolds(const TOtherCopyHolds&) = delete;
    TOtherCopyHolds& operator=(const TOtherCopyHolds&) = delete;
    // The other process took the lock.
    bool Held() const { return held_; }
    // Lets the other process go and waits for it to end.
    void Release();

private:
    pid_t pid_ = -1;
    int go_ = -1;
    bool held_ = false;
};

// The games of a PGN text, cut where a line begins with "[Event "; text
// before the first such line stays with the first game.
std::vector<std::string> SplitPgnGames(const std::string& bytes);

// The FENs pgn-extract -F writes after each game's last move, in order.
std::vector<std::string> PgnExtractFens(const std::string& output);

// The first n blank-separated fields of a FEN (4: placement, side, castling
// rights, en-passant square).
std::vector<std::string> FenFields(const std::string& fen, size_t n);

} // namespace kbtest

// Skips (or, with KB_REQUIRE_PEERS, fails) the current test when the peer is missing.
#define KB_REQUIRE_PEER(var, name)                                                                 \
    auto var##_opt = ::kbtest::FindPeer(name);                                                     \
    if (!var##_opt) {                                                                              \
        if (std::getenv("KB_REQUIRE_PEERS")) FAIL() << "required program missing: " << name;       \
        GTEST_SKIP() << "program not installed: " << name;                                         \
    }                                                                                              \
    const std::string var = *var##_opt
