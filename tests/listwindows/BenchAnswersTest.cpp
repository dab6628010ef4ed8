// SPDX-License-Identifier: GPL-3.0-or-later
// The kbbench subcommands that open windows never wait for an answer: a
// question gets its Escape answer (and a line on stderr), input they cannot
// use is an error, and no file is created on the way.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// kbbench ARGS, ended after a minute if it waits for somebody.
kbtest::RunResult Bench(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"timeout", "60", kbtest::BenchPath()});
    return kbtest::Run(Args);
}

TEST(BenchAnswers, QuestionsGetTheEscapeAnswerAndBadInputFails) {
    kbtest::TempDir dir;
    const std::string png = (dir / "o.png").string();

    // The variation chooser before the ply: Escape stops at the branch.
    const std::string var = (dir / "var.pgn").string();
    kbtest::WriteFile(var, "[Event \"v\"]\n[Result \"*\"]\n\n1. e4 (1. d4 d5) e5 2. Nf3 Nc6 *\n");
    kbtest::RunResult r = Bench({"board-window-png", png, "800", "600", var, "0", "4"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\tply\t0\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(png));

    // A database whose main file lost its last byte: the repair message is
    // answered, every game is listed.
    const std::string pgn = kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn").string();
    const std::string kbf = (dir / "k.kbf").string();
    ASSERT_EQ(kbtest::Run({kbtest::BenchPath(), "db-import", pgn, kbf}).exitCode, 0);
    fs::resize_file(kbf, fs::file_size(kbf) - 1);
    r = Bench({"list-window-png", png, "800", "600", kbf});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("rows\t6\n"), std::string::npos) << r.out;

    // Input that cannot be used fails, and creates nothing.
    EXPECT_EQ(Bench({"print-pdf", (dir / "x.pdf").string(), "--fen", "this is not a fen"}).exitCode,
              2);
    EXPECT_FALSE(fs::exists(dir / "x.pdf"));
    EXPECT_NE(
        Bench({"board-window-png", png, "800", "600", (dir / "none.pgn").string(), "0"}).exitCode,
        0);
    EXPECT_NE(Bench({"list-window-png", png, "800", "600", (dir / "none.pgn").string()}).exitCode,
              0);
    EXPECT_FALSE(fs::exists(dir / "none.pgn"));
    EXPECT_NE(
        Bench({"database-window-png", png, "800", "600", (dir / "no-folder").string()}).exitCode,
        0);
}

} // namespace
