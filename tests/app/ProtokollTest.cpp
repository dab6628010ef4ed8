// SPDX-License-Identifier: GPL-3.0-or-later
// The program log: batches, rotation, switching off, the last flush.
#include "TestSupport.h"
#include "cProtokoll.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

int Lines(const std::string& s) {
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

TEST(Protokoll, FiftyLinesWaitTheFiftyFirstWritesAll) {
    kbtest::TempDir dir;
    const auto file = dir / "kblogfile.txt";
    TProtokoll log(Q(file));
    for (int i = 1; i <= 50; ++i)
        EXPECT_TRUE(log.LogOut(QString("event %1").arg(i)));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(log.LogOut("event 51"));
    const std::string text = kbtest::ReadFile(file);
    EXPECT_EQ(Lines(text), 51);
    EXPECT_EQ(log.Buffered(), 0u);
    // Every line: "OUT:  ", date and time, ": ", the text.
    EXPECT_EQ(text.rfind("OUT:  ", 0), 0u);
    const auto first = text.substr(0, text.find('\n'));
    EXPECT_TRUE(first.ends_with(": event 1")) << first;
    EXPECT_GT(first.size(), std::string("OUT:  : event 1").size() + 8);
    EXPECT_TRUE(text.ends_with(": event 51\n"));
    // A line break inside an event keeps it one line.
    log.Add("two\nlines");
    EXPECT_TRUE(log.Flush());
    EXPECT_EQ(Lines(kbtest::ReadFile(file)), 52);
}

TEST(Protokoll, DisabledLogWritesNothing) {
    kbtest::TempDir dir;
    const auto file = dir / "kblogfile.txt";
    {
        TProtokoll log(Q(file));
        log.DisableLog = true;
        for (int i = 0; i < 60; ++i)
            EXPECT_FALSE(log.LogOut("x"));
        EXPECT_EQ(log.Buffered(), 0u);
        EXPECT_TRUE(log.Flush());
    }
    EXPECT_FALSE(fs::exists(file));
}

TEST(Protokoll, DestructionWritesTheRest) {
    kbtest::TempDir dir;
    const auto file = dir / "kblogfile.txt";
    kbtest::WriteFile(file, "earlier\n");
    {
        TProtokoll log(Q(file));
        log.Add("a");
        log.Add("b");
        EXPECT_EQ(kbtest::ReadFile(file), "earlier\n");
    }
    EXPECT_EQ(kbtest::ReadFile(file), "earlier\na\nb\n");
}

TEST(Protokoll, RotatesOnlyPastTheSize) {
    kbtest::TempDir dir;
    const auto file = dir / "kblogfile.txt";
    const auto old = dir / "kblogfile.txt.old";
    const std::string exact(2000000, 'e');
    kbtest::WriteFile(file, exact);
    TProtokoll log(Q(file));
    for (int i = 0; i < 51; ++i)
        log.Add("n");
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(fs::file_size(file), 2000000u + 51 * 2);

    // Now past the size: the next batch renames it, replacing an older
    // ".old", and starts a new file.
    kbtest::WriteFile(old, "older");
    const std::string before = kbtest::ReadFile(file);
    for (int i = 0; i < 51; ++i)
        log.Add("m");
    EXPECT_EQ(kbtest::ReadFile(old), before);
    std::string fresh;
    for (int i = 0; i < 51; ++i)
        fresh += "m\n";
    EXPECT_EQ(kbtest::ReadFile(file), fresh);
}

TEST(Protokoll, FailedRotationKeepsTheLog) {
    kbtest::TempDir dir;
    const auto file = dir / "kblogfile.txt";
    const std::string big(2000001, 'b');
    kbtest::WriteFile(file, big);
    // A folder in the way of ".old": the rename fails.
    fs::create_directories(dir / "kblogfile.txt.old" / "busy");
    TProtokoll log(Q(file));
    for (int i = 0; i < 50; ++i)
        log.Add("k");
    EXPECT_TRUE(log.Add("k"));
    ASSERT_TRUE(fs::exists(file));
    const std::string text = kbtest::ReadFile(file);
    EXPECT_EQ(text.size(), big.size() + 51 * 2);
    EXPECT_EQ(text.compare(0, big.size(), big), 0);
    EXPECT_TRUE(fs::is_directory(dir / "kblogfile.txt.old" / "busy"));
}

TEST(Protokoll, FailedWriteAnswersFalseAndDropsTheBatch) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "file", "");
    TProtokoll log(Q(dir / "file" / "kblogfile.txt")); // its folder is a file
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(log.Add("x"));
    EXPECT_FALSE(log.Add("x"));
    EXPECT_EQ(log.Buffered(), 0u);
    log.Add("y");
    EXPECT_FALSE(log.Flush());
}

} // namespace
