// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in table, Text(), and language files.
#include "Local.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

class StringTable : public ::testing::Test {
protected:
    void SetUp() override { ResetStringTable(); }
    void TearDown() override { ResetStringTable(); }
};

QString U(const char* s) {
    return QString::fromUtf8(s);
}

TEST_F(StringTable, CountsOfBuiltInEntries) {
    int english = 0, german = 0;
    for (int i = 0; i < TextCount; ++i) {
        english += !TableText(i, 1).isEmpty();
        german += !TableText(i, 0).isEmpty();
    }
    EXPECT_EQ(TextCount, 260);
    EXPECT_EQ(english, 250);
    EXPECT_EQ(german, 61);
    for (int n : {13, 14, 22, 24, 26, 28, 30, 89, 100, 102})
        EXPECT_TRUE(TableText(n, 1).isEmpty()) << n;
    // German is built in exactly for the messages; the rest comes from windows.
    for (int n : {0, 12, 15, 21, 33, 34, 61, 171, 173, 189, 201, 210, 228, 247, 251, 255, 259})
        EXPECT_FALSE(TableText(n, 0).isEmpty()) << n;
    for (int n :
         {13, 14, 22, 23, 25, 32, 35, 60, 62, 84, 170, 172, 190, 200, 211, 227, 230, 248, 258})
        EXPECT_TRUE(TableText(n, 0).isEmpty()) << n;
}

TEST_F(StringTable, SampleEntriesAsWritten) {
    struct Sample {
        int n;
        const char* German;
        const char* English;
    };
    const Sample samples[] = {
        {0,
         "Handelt es sich bei der neuen Stellung um eine Fischer-Random-Chess-Ausgangsstellung?\r"
         "(Wenn nicht, müssen alle Rochaderechte zurückgesetzt werden)",
         "Is this the first position of a Fischer-Random-Chess game?\rIf you choose \"No\", there "
         "will be reseted castling possibilities."},
        {9, "\" neu angelegt werden?", "\"?"},
        {11, "Soll die gesamte Datenbank wirklich gelöscht werden?",
         "Are you sure that you want to delete the whole database??"},
        {12,
         "Aus dieser Datenbank sind noch Partien geöffnet.\rWird sie geschlossen, müssen Sie diese "
         "Partien an diese oder eine andere Datenbank anhängen.\rSoll sie trotzdem geschlossen "
         "werden?",
         "Games are opened from this database.\rIf you close it, the games must be appended to "
         "this or another database later.\rShall this database be closed?"},
        {18, "\" angehängt.\rFortfahren?", "\".\rContinue?"},
        {23, "", "&Games"},
        {49, "", "Move input via &Click&&Click"},
        {61, "Diese Liste akzeptiert Drag&&Drop.",
         "|This list accepts Drag&&Drop of games from a database window"},
        {124, "",
         "Play (only with MiniMax) / Analysis|Down = Computer replies after inserting move (only "
         "with MiniMax; Space to force move)"},
        {132, "", "PGN/KBF-files|*.pgn;*.kbf|All files (*.*)|*.*"},
        {139, "", "( Do \"Fischer-castling\" with pressed <Ctrl>-button )"},
        {141, "",
         "Optional parameters:\r\"kestrelbay.exe c:\\xxx.pgn 0\"\r( = Load first game from file "
         "xxx.pgn )\rThis makes it useful as pgn viewer on websites -\rchoose \"Options - Assign "
         "extension .pgn\""},
        {173, "Hinzufügen", "Add"},
        {178, "Bestätigen", "Confirmation"},
        {183, "A&bbrechen", "&Cancel"},
        {187, "&Alle Nein", "No to All"},
        {188, "A&lle Ja", "Yes to All"},
        {201,
         "Das letzte Speichern dieser Datenbank wurde nicht ordnungsgemäß abgeschlossen. Einige "
         "Partien wurden zuvor in der Datei %s gesichert.",
         "The last saving of this database was not finished correctly. Some games were saved in "
         "the file %s before."},
        {202, "Bedenkzeit von Weiß wurde überschritten.", "White's thinking time expired."},
        {220, "", "a piece is forced into a bad square"},
        {246, "Wirklich UNWIDERRUFLICH löschen?",
         "Are you sure that you want to delete the game(s) IRRECOVERABLY?"},
        {257, "Bitte beenden Sie zuerst die anderen laufenden Kestrelbay-Programme.",
         "Please close the other running Kestrelbay programs before."},
        {259, "Bitte schließen Sie zuerst alle Brett-Fenster.",
         "Please close all board windows before."},
    };
    for (const auto& s : samples) {
        EXPECT_EQ(TableText(s.n, 0), U(s.German)) << s.n;
        EXPECT_EQ(TableText(s.n, 1), U(s.English)) << s.n;
    }
    // Entry 137 is a credit of three lines.
    EXPECT_EQ(TableText(137, 1).count(u'\r'), 2);
    // No entry carries the file form of a line break.
    for (int i = 0; i < TextCount; ++i) {
        EXPECT_FALSE(TableText(i, 0).contains(u'\u00a7')) << i;
        EXPECT_FALSE(TableText(i, 1).contains(u'\u00a7')) << i;
    }
}

TEST_F(StringTable, TextFollowsTheColumnAndRejectsBadNumbers) {
    EXPECT_EQ(Text(259), U("Bitte schließen Sie zuerst alle Brett-Fenster."));
    LanguageColumn = 1;
    EXPECT_EQ(Text(259), U("Please close all board windows before."));
    EXPECT_EQ(Text(260), "Error");
    EXPECT_EQ(Text(-1), "Error");
    LanguageColumn = 2;
    EXPECT_EQ(Text(1), "Error");
    LanguageColumn = -1;
    EXPECT_EQ(Text(1), "Error");
    EXPECT_EQ(TableText(1, 2), "Error");
    SetTableText(300, 1, "x"); // ignored
    SetTableText(-1, 0, "x");
}

TEST_F(StringTable, LngLineBreaks) {
    EXPECT_EQ(LngToText(U("a§b§§c")), "a\rb\r\rc");
    EXPECT_EQ(TextToLng("a\rb\nc"), U("a§b\nc"));
    EXPECT_EQ(LngToText(TextToLng(TableText(12, 1))), TableText(12, 1));
}

TEST_F(StringTable, EnglishFileRoundTrip) {
    kbtest::TempDir dir;
    const QString file = QString::fromStdString((dir / "English.lng").string());
    ASSERT_TRUE(WriteLanguageFile(file));
    const std::string bytes = kbtest::ReadFile(dir / "English.lng");
    // 260 lines, entry 12 as one line with "§" between its sentences.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 260);
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    EXPECT_NE(bytes.find("Games are opened from this database.\xC2\xA7If you close it"),
              std::string::npos);

    const auto builtIn = [] {
        std::vector<QString> v;
        for (int i = 0; i < TextCount; ++i)
            v.push_back(TableText(i, 1));
        return v;
    }();
    for (int i = 0; i < TextCount; ++i)
        SetTableText(i, 1, "junk");
    EXPECT_EQ(ReadLanguageFile(file), 260);
    for (int i = 0; i < TextCount; ++i)
        EXPECT_EQ(TableText(i, 1), builtIn[i]) << i;
}

TEST_F(StringTable, ShortLongAndDamagedFiles) {
    kbtest::TempDir dir;
    auto path = [&](const char* name) { return QString::fromStdString((dir / name).string()); };

    // Ten lines replace entries 0..9 only; mixed line ends read alike.
    kbtest::WriteFile(dir / "Ten.lng", "l0\r\nl1\nl2\rl3\r\nl4\nl5\nl6\nl7\nl8\nl9\n");
    EXPECT_EQ(ReadLanguageFile(path("Ten.lng")), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(TableText(i, 1), QString("l%1").arg(i));
    EXPECT_EQ(TableText(10, 1), "Are you sure that you want to delete the game(s)?");

    // 300 lines: 0..259 used, nothing beyond.
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "x" + std::to_string(i) + "\n";
    kbtest::WriteFile(dir / "Many.lng", many);
    EXPECT_EQ(ReadLanguageFile(path("Many.lng")), 260);
    EXPECT_EQ(TableText(259, 1), "x259");

    // Windows-1252 lines beside UTF-8 lines; a byte order mark is no text.
    kbtest::WriteFile(dir / "Mixed.lng", "\xEF\xBB\xBF"
                                         "Gr\xC3\xBC\xC3\x9F"
                                         "e\n"
                                         "Gr\xFC\xDF"
                                         "e\xA7"
                                         "neu \x80\n");
    EXPECT_EQ(ReadLanguageFile(path("Mixed.lng")), 2);
    EXPECT_EQ(TableText(0, 1), U("Grüße"));
    EXPECT_EQ(TableText(1, 1), U("Grüße\rneu €"));

    // NUL bytes, a line of 1 MB, no final line end.
    std::string bad("a\0b\n", 4);
    bad += std::string(1 << 20, 'y') + "\nlast";
    kbtest::WriteFile(dir / "Bad.lng", bad);
    EXPECT_EQ(ReadLanguageFile(path("Bad.lng")), 3);
    EXPECT_EQ(TableText(0, 1), "ab");
    EXPECT_GT(TableText(1, 1).size(), 1000);
    EXPECT_LT(TableText(1, 1).size(), 1 << 20);
    EXPECT_EQ(TableText(2, 1), "last");

    // An empty line empties its entry; a missing file changes nothing.
    kbtest::WriteFile(dir / "Gap.lng", "\nB\n");
    EXPECT_EQ(ReadLanguageFile(path("Gap.lng")), 2);
    EXPECT_EQ(TableText(0, 1), "");
    EXPECT_EQ(ReadLanguageFile(path("Missing.lng")), -1);
    EXPECT_EQ(TableText(1, 1), "B");
}

TEST_F(StringTable, UnwritableFolderStillGivesEnglish) {
    // A "folder" that is a file cannot be written, not even by root.
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "program", "");
    const QString file = QString::fromStdString((dir / "program" / "English.lng").string());
    EXPECT_FALSE(WriteLanguageFile(file));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(SelectLanguageFile(file));
    EXPECT_EQ(LanguageColumn, 1);
    EXPECT_EQ(Text(259), "Please close all board windows before.");
}

TEST_F(StringTable, SelectingALanguageStartsFromEnglish) {
    kbtest::TempDir dir;
    auto path = [&](const char* name) { return QString::fromStdString((dir / name).string()); };
    kbtest::WriteFile(dir / "Long.lng", std::string(5, '\n') + "Cinq\n");
    kbtest::WriteFile(dir / "Short.lng", "Eins\n");
    ASSERT_TRUE(SelectLanguageFile(path("Long.lng")));
    EXPECT_EQ(Text(5), "Cinq");
    EXPECT_EQ(Text(0), "");
    ASSERT_TRUE(SelectLanguageFile(path("Short.lng")));
    EXPECT_EQ(Text(0), "Eins");
    EXPECT_EQ(Text(5), "Resume"); // not left over from the file before
    // An unreadable file keeps the language as it was.
    EXPECT_FALSE(SelectLanguageFile(path("Nope.lng")));
    EXPECT_EQ(Text(0), "Eins");
    ASSERT_TRUE(SelectLanguageFile(QString()));
    EXPECT_EQ(LanguageColumn, 0);
    EXPECT_EQ(Text(5), "Weiter");
}

} // namespace
