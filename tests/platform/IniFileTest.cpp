// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kb::IniFile;

namespace {

IniFile Load(const kbtest::TempDir& dir, const std::string& content, const char* name = "a.ini") {
    kbtest::WriteFile(dir / name, content);
    return IniFile((dir / name).string());
}

} // namespace

TEST(IniFile, Reading) {
    kbtest::TempDir dir;
    const IniFile ini = Load(dir, "top=before any section\r\n"
                                  "[Options]\r\n"
                                  "; remis=commented\r\n"
                                  "  Remis  =  1/2  \r\n"
                                  "Quoted=\"  padded  \"\r\n"
                                  "Half=\"open\r\n"
                                  "Inner=a \"b\" c\r\n"
                                  "Twice=\"\"x\"\"\r\n"
                                  "Empty=\r\n"
                                  "Semi=a;b\r\n"
                                  "Eq=a=b\r\n"
                                  "no equals sign\r\n"
                                  "Dup=first\r\n"
                                  "Dup=second\r\n"
                                  "[ Other ] trailing\n"
                                  "Key=lf line\r"
                                  "Cr=lone cr\r"
                                  "[options]\n"
                                  "Late=hidden\n"
                                  "Last=no line end");
    struct Row {
        const char* Section;
        const char* Key;
        const char* Want;
    };
    const Row rows[] = {
        {"Options", "Remis", "1/2"},         {"OPTIONS", "remis", "1/2"},
        {" options ", " REMIS ", "1/2"},     {"Options", "Quoted", "  padded  "},
        {"Options", "Half", "\"open"},       {"Options", "Inner", "a \"b\" c"},
        {"Options", "Twice", "\"x\""},       {"Options", "Empty", ""},
        {"Options", "Semi", "a;b"},          {"Options", "Eq", "a=b"},
        {"Options", "Dup", "first"},         {"Options", "no equals sign", "<default>"},
        {"Options", "; remis", "<default>"}, {"Options", "top", "<default>"},
        {"Options", "Late", "<default>"}, // a repeated section is not searched
        {"Other", "Key", "lf line"},         {"other", "Cr", "lone cr"},
        {"Other", "Last", "<default>"},      {"Missing", "Remis", "<default>"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ini.ReadString(r.Section, r.Key, "<default>"), r.Want)
            << "[" << r.Section << "] " << r.Key;

    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Options", "Other"}));
    EXPECT_EQ(ini.ReadSection("options"),
              (std::vector<std::string>{"Remis", "Quoted", "Half", "Inner", "Twice", "Empty",
                                        "Semi", "Eq", "Dup"}));
    EXPECT_TRUE(ini.SectionExists("OTHER"));
    EXPECT_FALSE(ini.SectionExists("Missing"));
    EXPECT_TRUE(ini.ValueExists("Options", "EMPTY"));
    EXPECT_FALSE(ini.ValueExists("Options", "Late"));
    EXPECT_FALSE(ini.ReadFailed());
}

TEST(IniFile, Numbers) {
    kbtest::TempDir dir;
    const IniFile ini = Load(dir, "[N]\nA=42\nB= -7 \nC=0x1F\nD=12abc\nE=\nF=99999999999999999999\n"
                                  "G=1\nH=0\nI=true\nJ=+3\n");
    EXPECT_EQ(ini.ReadInteger("N", "A", -1), 42);
    EXPECT_EQ(ini.ReadInteger("N", "B", -1), -7);
    EXPECT_EQ(ini.ReadInteger("N", "C", -1), 31);
    EXPECT_EQ(ini.ReadInteger("N", "D", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "E", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "F", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "J", -1), 3);
    EXPECT_EQ(ini.ReadInteger("N", "missing", 17), 17);
    EXPECT_TRUE(ini.ReadBool("N", "G", false));
    EXPECT_FALSE(ini.ReadBool("N", "H", true));
    EXPECT_TRUE(ini.ReadBool("N", "I", true));
    EXPECT_FALSE(ini.ReadBool("N", "I", false));
    EXPECT_TRUE(ini.ReadBool("N", "missing", true));
}

TEST(IniFile, RoundTripKeepsWhatItDidNotChange) {
    kbtest::TempDir dir;
    const std::string original = "; settings\r\n"
                                 "[Main]\r\n"
                                 "Left = 10\r\n"
                                 "; the width in pixels\r\n"
                                 "Width=300\r\n"
                                 "Unknown=keep me\r\n"
                                 "\r\n"
                                 "; about the next one\r\n"
                                 "[Engines]\r\n"
                                 "Path=/usr/games/stockfish\r\n";
    IniFile ini = Load(dir, original);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(kbtest::ReadFile(dir / "a.ini"), original) << "nothing changed, nothing moves";

    EXPECT_TRUE(ini.WriteInteger("main", "LEFT", 20));
    EXPECT_TRUE(ini.WriteString("Main", "Top", "5"));
    EXPECT_TRUE(ini.WriteBool("Engines", "Ponder", true));
    EXPECT_TRUE(ini.WriteString("New", "Name", "  spaced  "));
    EXPECT_TRUE(ini.WriteString("New", "Q", "\"q\""));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(kbtest::ReadFile(dir / "a.ini"), "; settings\r\n"
                                               "[Main]\r\n"
                                               "Left=20\r\n"
                                               "; the width in pixels\r\n"
                                               "Width=300\r\n"
                                               "Unknown=keep me\r\n"
                                               "Top=5\r\n"
                                               "\r\n"
                                               "; about the next one\r\n"
                                               "[Engines]\r\n"
                                               "Path=/usr/games/stockfish\r\n"
                                               "Ponder=1\r\n"
                                               "\r\n"
                                               "[New]\r\n"
                                               "Name=\"  spaced  \"\r\n"
                                               "Q=\"\"q\"\"\r\n");

    const IniFile again((dir / "a.ini").string());
    EXPECT_EQ(again.ReadInteger("Main", "Left", 0), 20);
    EXPECT_EQ(again.ReadString("Main", "Unknown", ""), "keep me");
    EXPECT_EQ(again.ReadString("New", "Name", ""), "  spaced  ");
    EXPECT_EQ(again.ReadString("New", "Q", ""), "\"q\"");
    EXPECT_TRUE(again.ReadBool("Engines", "Ponder", false));
}

TEST(IniFile, EraseAndDelete) {
    kbtest::TempDir dir;
    IniFile ini = Load(dir, "[A]\nx=1\ny=2\nx=3\n[B]\nz=1\n[a]\nw=4\n");
    ini.DeleteKey("A", "X");
    EXPECT_FALSE(ini.ValueExists("A", "x"));
    EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"y"}));
    ini.EraseSection("a");
    EXPECT_FALSE(ini.SectionExists("A"));
    ini.DeleteKey("Missing", "x");
    ini.EraseSection("Missing");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(kbtest::ReadFile(dir / "a.ini"), "[B]\nz=1\n");
}

TEST(IniFile, NewFileAndLastLineWithoutEnd) {
    kbtest::TempDir dir;
    IniFile fresh((dir / "new.ini").string());
    EXPECT_FALSE(fresh.ReadFailed());
    EXPECT_FALSE(fresh.SectionExists("S"));
    EXPECT_TRUE(fresh.WriteString("S", "k", "v"));
    ASSERT_TRUE(fresh.UpdateFile());
    EXPECT_EQ(kbtest::ReadFile(dir / "new.ini"), "[S]\nk=v\n");

    IniFile open = Load(dir, "[S]\nk=v", "open.ini");
    EXPECT_TRUE(open.WriteString("S", "m", "w"));
    ASSERT_TRUE(open.UpdateFile());
    EXPECT_EQ(kbtest::ReadFile(dir / "open.ini"), "[S]\nk=v\nm=w\n");
}

TEST(IniFile, RefusesWhatALineCannotHold) {
    kbtest::TempDir dir;
    IniFile ini((dir / "x.ini").string());
    EXPECT_FALSE(ini.WriteString("S", "k", "two\nlines"));
    EXPECT_FALSE(ini.WriteString("S", "k=v", "x"));
    EXPECT_FALSE(ini.WriteString("S", ";k", "x"));
    EXPECT_FALSE(ini.WriteString("S", "", "x"));
    EXPECT_FALSE(ini.WriteString("S]", "k", "x"));
    EXPECT_FALSE(ini.WriteString(" ", "k", "x"));
    EXPECT_TRUE(ini.ReadSections().empty());
}

TEST(IniFile, KeepsPermissionsAndWritesThroughLinks) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "real.ini", "[S]\nk=1\n");
    fs::permissions(dir / "real.ini", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(dir / "real.ini", dir / "link.ini");
    IniFile ini((dir / "link.ini").string());
    EXPECT_TRUE(ini.WriteInteger("S", "k", 2));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(kbtest::ReadFile(dir / "real.ini"), "[S]\nk=2\n");
    EXPECT_EQ(fs::status(dir / "real.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 2);
}

TEST(IniFile, FailuresAreReportedAndKeepTheOldFile) {
    kbtest::TempDir dir;

    // The folder does not exist.
    IniFile nowhere((dir / "no" / "such.ini").string());
    EXPECT_TRUE(nowhere.WriteString("S", "k", "v"));
    EXPECT_FALSE(nowhere.UpdateFile());

    // A folder that is a file.
    kbtest::WriteFile(dir / "plain", "x");
    IniFile underFile((dir / "plain" / "a.ini").string());
    EXPECT_FALSE(underFile.UpdateFile());

    // A write that runs out of room part way: the old file stays as it was.
    const std::string original = "[S]\nk=old\n";
    kbtest::WriteFile(dir / "full.ini", original);
    IniFile ini((dir / "full.ini").string());
    EXPECT_TRUE(ini.WriteString("S", "k", std::string(4000, 'n')));
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = ini.UpdateFile();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(kbtest::ReadFile(dir / "full.ini"), original);
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 2) << "the temporary file is removed";
}

TEST(IniFile, ReadOnlyFolder) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "a.ini", "[S]\nk=1\n");
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(dir / "a.ini", fs::perms::owner_read | fs::perms::owner_write |
                                       fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.path(), readOnly);
    // Folder permissions do not bind root: the child gives its rights up first.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        if (::access(dir.path().c_str(), W_OK) == 0) ::_exit(3);
        IniFile ini((dir / "a.ini").string());
        if (ini.ReadInteger("S", "k", 0) != 1 || !ini.WriteInteger("S", "k", 2)) ::_exit(4);
        ::_exit(ini.UpdateFile() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    fs::permissions(dir.path(), fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write was reported done, 4: reading failed";
    EXPECT_EQ(kbtest::ReadFile(dir / "a.ini"), "[S]\nk=1\n");
}

TEST(IniFile, UnreadableFileIsReported) {
    kbtest::TempDir dir;
    fs::create_directory(dir / "folder.ini");
    const IniFile ini((dir / "folder.ini").string());
    EXPECT_TRUE(ini.ReadFailed());
    EXPECT_EQ(ini.ReadString("S", "k", "d"), "d");
}
