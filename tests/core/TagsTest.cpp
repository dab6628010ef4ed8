// SPDX-License-Identifier: GPL-3.0-or-later
// Game header: tag-line parsing, the tag list, and the PGN file helpers.
#include "FaultyFileSystem.h"
#include "SchachProcs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kb::TEventData;

namespace {

// Every field in one text, so a comparison shows any field that changed.
std::string Dump(const TEventData& e) {
    std::ostringstream s;
    s << "White=" << e.White << "|Black=" << e.Black << "|Event=" << e.Event
      << "|Annotator=" << e.Annotator << "|Site=" << e.Site << "|Result=" << e.Result
      << "|ECO=" << e.ECO << "|WGMT=" << e.WhiteDifferenceToGMT
      << "|BGMT=" << e.BlackDifferenceToGMT << "|DTF=" << e.DateTimeFormat << "|GameId=" << e.GameId
      << "|Date=" << e.Year << "." << e.Month << "." << e.Day << "|Round=" << e.Round
      << "|Elo=" << e.WhiteElo << "/" << e.BlackElo << "|Moves=" << e.MoveCount
      << "|EventDate=" << e.EventYear << "." << e.EventMonth << "." << e.EventDay
      << "|FEN=" << e.FEN << "|TC=" << e.TimeControlBase << "+" << e.TimeControlIncrement
      << "|MD=" << e.MetaDescription << "|MK=" << e.MetaKeywords << "|WC=" << e.WhiteClubId
      << "|BC=" << e.BlackClubId << "|Spare=" << e.Spare << "|Movetext=" << e.Movetext
      << "|Deleted=" << e.Deleted << "|Tags=";
    if (e.Tags)
        for (const auto& l : e.Tags->Lines())
            s << "<" << l << ">";
    else
        s << "none";
    return s.str();
}

// A record whose every field holds a value of its own, so that "left
// unchanged" and "set to empty or 0" can be told apart.
TEventData Filled() {
    TEventData e;
    e.White = "w";
    e.Black = "b";
    e.Event = "ev";
    e.Annotator = "an";
    e.Site = "si";
    e.Result = "re";
    e.ECO = "ec";
    e.WhiteDifferenceToGMT = "wg";
    e.BlackDifferenceToGMT = "bg";
    e.DateTimeFormat = "df";
    e.GameId = "gi";
    e.Year = 1;
    e.Month = 2;
    e.Day = 3;
    e.Round = 4;
    e.WhiteElo = 5;
    e.BlackElo = 6;
    e.MoveCount = 7;
    e.EventYear = 8;
    e.EventMonth = 9;
    e.EventDay = 10;
    e.FEN = "fe";
    e.TimeControlBase = 11;
    e.TimeControlIncrement = 12;
    e.MetaDescription = "md";
    e.MetaKeywords = "mk";
    e.WhiteClubId = "wc";
    e.BlackClubId = "bc";
    e.Tags = kb::TTagList{};
    e.Tags->Sorted = true;
    e.Spare = "sp";
    e.Movetext = "mt";
    e.Deleted = true;
    return e;
}

struct TagCase {
    std::vector<std::string> Lines;
    std::function<void(TEventData&)> Expect;
};

} // namespace

TEST(Tags, ParseTagLineTable) {
    const std::vector<TagCase> cases = {
        {{R"([Event "Troll Masters"])"}, [](auto& e) { e.Event = "Troll Masters"; }},
        {{R"([Event "?"])"}, [](auto& e) { e.Event = ""; }},
        {{R"([event "lower"])"}, [](auto& e) { e.Event = "lower"; }},
        // Any blanks, tabs or none between the tag's tokens.
        {{"[Event\t\"tab\"]"}, [](auto& e) { e.Event = "tab"; }},
        {{R"( [Event "x"])"}, [](auto& e) { e.Event = "x"; }},
        {{"[White\t\"W\"]", "[Result \t \"1-0\"]"},
         [](auto& e) {
             e.White = "W";
             e.Result = "1-0";
         }},
        {{R"([Black"B"])", "[ Site  \"S\" \t]"},
         [](auto& e) {
             e.Black = "B";
             e.Site = "S";
         }},
        {{"[Opening\t\"Sicilian\"]", R"([ Board  "1" ])"},
         [](auto& e) {
             e.Tags->Add(R"([Board "1"])");
             e.Tags->Add(R"([Opening "Sicilian"])");
         }},
        {{R"([Event  "two blanks"])"}, [](auto& e) { e.Event = "two blanks"; }},
        {{"[Event nothing quoted]"}, [](auto& e) { e.Event = ""; }},
        {{R"([Event "no end)"}, [](auto& e) { e.Event = "no end"; }},
        {{R"([Site "?"])"}, [](auto& e) { e.Site = ""; }},
        {{R"([White "?"])"}, [](auto& e) { e.White = ""; }},
        {{R"([Black "Carlsen,Magnus"])"}, [](auto& e) { e.Black = "Carlsen,Magnus"; }},
        {{R"([Annotator "?"])"}, [](auto& e) { e.Annotator = "?"; }},
        {{R"([Result "1/2-1/2"])"}, [](auto& e) { e.Result = "1/2-1/2"; }},
        {{R"([WhiteElo "2850"])"}, [](auto& e) { e.WhiteElo = 2850; }},
        {{R"([WhiteElo "-"])"}, [](auto& e) { e.WhiteElo = 0; }},
        {{R"([WhiteElo ""])"}, [](auto& e) { e.WhiteElo = 0; }},
        {{R"([WhiteElo " 2700"])"}, [](auto& e) { e.WhiteElo = 2700; }},
        {{R"([BlackElo "70000"])"}, [](auto& e) { e.BlackElo = 65535; }},
        {{R"([BlackElo "99999999999999999999"])"}, [](auto& e) { e.BlackElo = 65535; }},
        {{R"([BlackElo "-5"])"}, [](auto& e) { e.BlackElo = 0; }},
        {{R"([PlyCount "81"])"}, [](auto& e) { e.MoveCount = 41; }},
        {{R"([PlyCount "80"])"}, [](auto& e) { e.MoveCount = 40; }},
        {{R"([PlyCount "1"])"}, [](auto& e) { e.MoveCount = 1; }},
        {{R"([PlyCount "0"])"}, [](auto& e) { e.MoveCount = 0; }},
        {{R"([PlyCount "200000"])"}, [](auto& e) { e.MoveCount = 32768; }},
        {{R"([Date "2004.05.17"])"},
         [](auto& e) {
             e.Year = 2004;
             e.Month = 5;
             e.Day = 17;
         }},
        {{R"([Date "????.??.??"])"},
         [](auto& e) {
             e.Year = 0;
             e.Month = 0;
             e.Day = 0;
         }},
        {{R"([Date "2004"])"},
         [](auto& e) {
             e.Year = 2004;
             e.Month = 0;
             e.Day = 0;
         }},
        {{R"([EventDate "2016.06.26"])"},
         [](auto& e) {
             e.EventYear = 2016;
             e.EventMonth = 6;
             e.EventDay = 26;
         }},
        {{R"([DateTimeFormat "dd.mm.yyyy"])"}, [](auto& e) { e.DateTimeFormat = "dd.mm.yyyy"; }},
        {{R"([Round "3"])"}, [](auto& e) { e.Round = 3; }},
        {{R"([Round "8.2"])"}, [](auto& e) { e.Round = 0; }},
        {{R"([ECO "D12"])"}, [](auto& e) { e.ECO = "D12"; }},
        {{R"([FEN "8/8/8/8/8/8/8/K6k w - - 0 1"])"},
         [](auto& e) { e.FEN = "8/8/8/8/8/8/8/K6k w - - 0 1"; }},
        {{R"([SetUp "1"])"}, [](auto&) {}},
        {{R"([TimeControl "300+5"])"},
         [](auto& e) {
             e.TimeControlBase = 300;
             e.TimeControlIncrement = 5;
         }},
        {{R"([TimeControl " 60 + 2 "])"},
         [](auto& e) {
             e.TimeControlBase = 60;
             e.TimeControlIncrement = 2;
         }},
        {{R"([TimeControl "40/7200"])"}, [](auto&) {}},
        {{R"([MetaKeywords "a"])", R"([MetaKeywords "b"])"},
         [](auto& e) { e.MetaKeywords += "ab"; }},
        {{R"([MetaDescription "x"])"}, [](auto& e) { e.MetaDescription += "x"; }},
        {{R"([WhiteClubId "c1"])", R"([BlackClubId "c2"])"},
         [](auto& e) {
             e.WhiteClubId += "c1";
             e.BlackClubId += "c2";
         }},
        {{R"([WhiteDifferenceToGMT "+1"])", R"([BlackDifferenceToGMT "-2"])", R"([GameId "g7"])"},
         [](auto& e) {
             e.WhiteDifferenceToGMT = "+1";
             e.BlackDifferenceToGMT = "-2";
             e.GameId = "g7";
         }},
        // Escaped quotes and backslashes belong to the value.
        {{R"([White "Kasparov \"Gazza\" G"])"}, [](auto& e) { e.White = R"(Kasparov "Gazza" G)"; }},
        {{R"([Site "C:\\games\\"])"}, [](auto& e) { e.Site = R"(C:\games\)"; }},
        {{R"([Annotator "a\b"])"}, [](auto& e) { e.Annotator = R"(a\b)"; }},
        // Other tags go to the list: sorted, each identical line once.
        {{R"([Opening "Sicilian"])", R"([Board "1"])", R"([Opening "Sicilian"])", R"([board "2"])"},
         [](auto& e) {
             for (const char* l : {R"([Board "1"])", R"([board "2"])", R"([Opening "Sicilian"])"})
                 e.Tags->Add(l);
         }},
    };
    for (const auto& c : cases) {
        TEventData got = Filled();
        for (const auto& l : c.Lines)
            kb::ParseTagLine(got, l);
        TEventData want = Filled();
        c.Expect(want);
        EXPECT_EQ(Dump(got), Dump(want)) << "lines: " << c.Lines.front();
    }
}

TEST(Tags, LinesWithoutListAreDropped) {
    TEventData e;
    e.Tags.reset();
    kb::ParseTagLine(e, R"([Opening "Sicilian"])");
    kb::ParseTagLine(e, "");
    kb::ParseTagLine(e, "[");
    kb::ParseTagLine(e, "\"");
    EXPECT_FALSE(e.Tags.has_value());
    TEventData plain;
    plain.Tags.reset();
    EXPECT_EQ(Dump(e), Dump(plain));
}

TEST(Tags, UnsortedListKeepsArrivalOrderAndDuplicates) {
    kb::TTagList l;
    l.Add("[b]");
    l.Add("[a]");
    l.Add("[b]");
    EXPECT_EQ(l.Lines(), (std::vector<std::string>{"[b]", "[a]", "[b]"}));
}

// The notation's list: arrival order (a later Variant line overrides an
// earlier one), each identical line once, however many lines arrive.
TEST(Tags, UniqueListKeepsArrivalOrderAndDropsRepeats) {
    kb::TTagList l;
    l.Unique = true;
    for (const char* t : {"[Variant rol \"10+0.05\"]", "[Variant \"fischerandom\"]", "[Zeta \"1\"]",
                          "[Alpha \"2\"]", "[Zeta \"1\"]"})
        l.Add(t);
    EXPECT_EQ(l.Lines(),
              (std::vector<std::string>{"[Variant rol \"10+0.05\"]", "[Variant \"fischerandom\"]",
                                        "[Zeta \"1\"]", "[Alpha \"2\"]"}));
    l.Clear();
    l.Add("[Zeta \"1\"]");
    EXPECT_EQ(l.Lines(), std::vector<std::string>{"[Zeta \"1\"]"}) << "cleared lists forget";
}

// The Round tag's text comes back as read while the number still stands.
TEST(Tags, RoundTextIsWrittenBackUntilTheNumberChanges) {
    struct Case {
        const char* Line;
        uint16_t Round;
        const char* Written;
    };
    const Case cases[] = {
        {R"([Round "1.1"])", 0, "1.1"}, {R"([Round "12.5"])", 0, "12.5"},
        {R"([Round "3"])", 3, "3"},     {R"([Round "?"])", 0, "?"},
        {R"([Round "-"])", 0, "-"},     {R"([Round "07"])", 7, "07"},
        {R"([Round ""])", 0, "-"},      {R"([Round "a\"b"])", 0, "a\"b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        TEventData e;
        kb::ParseTagLine(e, c.Line);
        EXPECT_EQ(e.Round, c.Round);
        EXPECT_EQ(kb::RoundTagValue(e), c.Written);
        e.Round = 5; // the user sets the round
        EXPECT_EQ(kb::RoundTagValue(e), "5");
        e.Round = c.Round; // and back
        EXPECT_EQ(kb::RoundTagValue(e), c.Written);
        kb::ClearEventData(e);
        EXPECT_EQ(kb::RoundTagValue(e), "-");
    }
}

// A tag line left open is read as its normal form: same name, the value
// ExtractTagValue gives; one naming no tag is dropped.
TEST(Tags, DamagedLinesReadAsTheirNormalForm) {
    const std::pair<const char*, const char*> cases[] = {
        {R"([Zeta "1"])", R"([Zeta "1"])"},
        {R"([Zeta "a\b"])", R"([Zeta "a\b"])"},
        {R"([Zeta "a\"])", R"([Zeta "a\"]"])"},
        {R"([Variant FE)", R"([Variant ""])"},
        {R"([Variant >"])", R"([Variant "]"])"},
        {R"([Variant "x)", R"([Variant "x"])"},
        {R"([Zeta "1"] {c})", R"([Zeta "1"])"},
        {R"([ Zeta  "1")", R"([Zeta "1"])"},
        {"[Zeta\t\"1\" ]", R"([Zeta "1"])"},
        {R"([Site"s"])", R"([Site "s"])"},
        {R"([Site "s)", R"([Site "s"])"},
        {R"([TimeControl "10+0.05)", R"([TimeControl "10+0.05"])"},
        {R"([Event)", R"([Event ""])"},
        {"[", ""},
        {"[Eve?", ""},
        {R"(["x)", ""},
        {"[\xff\xfeK \"1", ""},
    };
    for (const auto& [line, normal] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(kb::NormalTagLine(line), normal);
        EXPECT_EQ(kb::WellFormedTagLine(line), std::string_view(line) == normal);
        if (*normal) {
            EXPECT_TRUE(kb::WellFormedTagLine(normal));
            EXPECT_EQ(kb::ExtractTagValue(normal), kb::ExtractTagValue(line));
        }
        TEventData e, f;
        e.Tags = kb::TTagList{};
        f.Tags = kb::TTagList{};
        kb::ParseTagLine(e, line);
        kb::ParseTagLine(f, normal);
        EXPECT_EQ(Dump(e), Dump(f));
        EXPECT_EQ(e.RoundText + e.TimeControlText, f.RoundText + f.TimeControlText);
    }
}

// The TimeControl tag's text comes back as read while its numbers stand.
TEST(Tags, TimeControlTextIsWrittenBackUntilTheNumbersChange) {
    const struct {
        const char* Value;
        uint16_t Base, Increment;
    } cases[] = {{"10+0.05", 10, 0},
                 {"900+5", 900, 5},
                 {"40/7200:20/3600:900+30", 0, 30},
                 {"300", 0, 0},
                 {"?", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value);
        TEventData e;
        kb::ParseTagLine(e, std::string("[TimeControl \"") + c.Value + "\"]");
        EXPECT_EQ(e.TimeControlBase, c.Base);
        EXPECT_EQ(e.TimeControlIncrement, c.Increment);
        EXPECT_EQ(kb::TimeControlTagValue(e), c.Value);
        e.TimeControlBase = 600; // the user sets the time control
        EXPECT_EQ(kb::TimeControlTagValue(e), "600+" + std::to_string(c.Increment));
        kb::ClearEventData(e);
        EXPECT_EQ(kb::TimeControlTagValue(e), "");
    }
}

TEST(Tags, ExtractTagValue) {
    EXPECT_EQ(kb::ExtractTagValue("[Event Foo]"), "");
    EXPECT_EQ(kb::ExtractTagValue(R"([X "a" "b"])"), "a");
    EXPECT_EQ(kb::ExtractTagValue(R"([X ""])"), "");
    EXPECT_EQ(kb::ExtractTagValue(R"([X "a\"b"])"), R"(a"b)");
    EXPECT_EQ(kb::ExtractTagValue(R"([X "a\\"])"), R"(a\)");
    EXPECT_EQ(kb::ExtractTagValue(R"([X "a\)"), R"(a\)");
    EXPECT_EQ(kb::ExtractTagValue(R"([X "a\n"])"), R"(a\n)");
}

TEST(Tags, ClearEventData) {
    TEventData e = Filled();
    e.Tags->Add("[Opening \"x\"]");
    kb::ClearEventData(e);
    TEventData want;
    want.White = "N.N.";
    want.Black = "N.N.";
    want.Result = "*";
    want.Spare = "sp";
    want.Deleted = true;
    want.Tags = kb::TTagList{};
    EXPECT_EQ(Dump(e), Dump(want));
    ASSERT_TRUE(e.Tags.has_value());
    EXPECT_TRUE(e.Tags->Sorted) << "clearing keeps the list's kind";

    TEventData noList = Filled();
    noList.Tags.reset();
    kb::ClearEventData(noList);
    EXPECT_FALSE(noList.Tags.has_value());
}

TEST(Tags, CopiesOwnTheirTagList) {
    TEventData a = Filled();
    a.Tags->Add("[A \"1\"]");
    TEventData b = a;
    kb::ParseTagLine(b, "[B \"2\"]");
    kb::ClearEventData(a);
    EXPECT_TRUE(a.Tags->Lines().empty());
    EXPECT_EQ(b.Tags->Lines(), (std::vector<std::string>{"[A \"1\"]", "[B \"2\"]"}));
}

namespace {

// The tag sections of a PGN file, one header per game, as an importer
// would read them: lines split at CR LF, LF or CR, a leading byte-order mark dropped.
std::vector<TEventData> ReadHeaders(const fs::path& file) {
    std::string text = kbtest::ReadFile(file);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::vector<TEventData> games;
    bool inTags = false;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find_first_of("\r\n", i);
        if (j == std::string::npos) j = text.size();
        const std::string line = text.substr(i, j - i);
        i = j + 1;
        if (j < text.size() && text[j] == '\r' && i < text.size() && text[i] == '\n') ++i;
        if (!line.empty() && line[0] == '[') {
            if (!inTags) {
                games.emplace_back();
                kb::ClearEventData(games.back());
                games.back().Tags = kb::TTagList{};
                games.back().Tags->Sorted = true;
                inTags = true;
            }
            kb::ParseTagLine(games.back(), line);
        } else if (!line.empty()) {
            inTags = false;
        }
    }
    return games;
}

} // namespace

TEST(Tags, RealGames) {
    const auto carlsen = ReadHeaders(kbtest::TestData("pgn/Carlsen.pgn"));
    ASSERT_GT(carlsen.size(), 100u);
    const TEventData& g1 = carlsen.front();
    EXPECT_EQ(g1.Event, "Troll Masters");
    EXPECT_EQ(g1.Site, "Gausdal NOR");
    EXPECT_EQ(g1.White, "Edvardsen,R");
    EXPECT_EQ(g1.Black, "Carlsen,Magnus");
    EXPECT_EQ(g1.Result, "1/2-1/2");
    EXPECT_EQ(g1.ECO, "D12");
    EXPECT_EQ(g1.Year, 2001);
    EXPECT_EQ(g1.Month, 1);
    EXPECT_EQ(g1.Day, 5);
    EXPECT_EQ(g1.Round, 1);
    EXPECT_EQ(g1.WhiteElo, 2055);
    EXPECT_EQ(g1.BlackElo, 0);
    EXPECT_TRUE(g1.Tags->Lines().empty());
    EXPECT_EQ(carlsen[1].White, "Carlsen,Magnus");
    EXPECT_EQ(carlsen[1].Black, "Brameld,A");
    EXPECT_EQ(carlsen[1].BlackElo, 2095);

    const auto korchnoi = ReadHeaders(kbtest::TestData("pgn/Korchnoi.pgn"));
    ASSERT_FALSE(korchnoi.empty());
    EXPECT_EQ(korchnoi.front().White, "Kortschnoj, Viktor");
    EXPECT_EQ(korchnoi.front().Year, 1950);
    EXPECT_EQ(korchnoi.front().Month, 0);
    EXPECT_EQ(korchnoi.front().Round, 0);

    const auto al = ReadHeaders(kbtest::TestData("pgn/anastasian-lewis.pgn"));
    ASSERT_EQ(al.size(), 1u);
    EXPECT_EQ(al[0].MoveCount, 42);
    EXPECT_EQ(al[0].EventYear, 2016);
    EXPECT_EQ(al[0].EventDay, 26);
    EXPECT_EQ(al[0].Round, 0); // "8.2"

    const auto kdb = ReadHeaders(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    ASSERT_FALSE(kdb.empty());
    EXPECT_EQ(kdb[0].Black, "Deep Blue (Computer)");
    EXPECT_EQ(kdb[0].MoveCount, 45); // 89 plies

    const auto c960 = ReadHeaders(kbtest::TestData("pgn/chess960-engine-games.pgn"));
    ASSERT_FALSE(c960.empty());
    EXPECT_EQ(c960[0].Event, "");
    EXPECT_EQ(c960[0].FEN, "nbbrknrq/pppppppp/8/8/8/8/PPPPPPPP/NBBRKNRQ w KQkq - 0 1");
    EXPECT_EQ(c960[0].MoveCount, 60);
    EXPECT_EQ(c960[0].TimeControlBase, 10);
    EXPECT_EQ(c960[0].TimeControlIncrement, 0); // "0.05" is no integer
    EXPECT_EQ(c960[0].Tags->Lines(), (std::vector<std::string>{R"([Variant "fischerandom"])"}));

    const auto bom = ReadHeaders(kbtest::TestData("pgn/utf8-bom.pgn"));
    ASSERT_GE(bom.size(), 2u);
    EXPECT_EQ(bom[0].Event, "A");
    EXPECT_EQ(bom[1].Event, "B");

    // Every header of every file: results are PGN results, dates plausible.
    for (const auto& entry : fs::directory_iterator(kbtest::TestData("pgn"))) {
        for (const TEventData& e : ReadHeaders(entry.path())) {
            EXPECT_TRUE(e.Result == "1-0" || e.Result == "0-1" || e.Result == "1/2-1/2" ||
                        e.Result == "*")
                << entry.path() << " " << e.White << " - " << e.Black << ": " << e.Result;
            EXPECT_TRUE(e.Year == 0 || (e.Year >= 1800 && e.Year <= 2030)) << entry.path();
            EXPECT_LE(e.Month, 12) << entry.path();
            EXPECT_LE(e.Day, 31) << entry.path();
        }
    }
}

// ---------------------------------------------------------------------------
// PGN files

TEST(PgnFiles, IsPGNFileOnRealFiles) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(kbtest::TestData("pgn"))) {
        EXPECT_TRUE(kb::IsPGNFile(entry.path().string())) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 10);
}

TEST(PgnFiles, IsPGNFileRules) {
    kbtest::TempDir dir;
    auto check = [&](const std::string& content) {
        const fs::path p = dir / "f.pgn";
        kbtest::WriteFile(p, content);
        return kb::IsPGNFile(p.string());
    };
    std::string thousand;
    for (int i = 0; i < 999; ++i)
        thousand += "a note\r\n";

    EXPECT_TRUE(check(""));
    EXPECT_TRUE(check("\r\n\r\n\n\r"));
    EXPECT_TRUE(check("[Event \"x\"]"));
    EXPECT_TRUE(check("junk\r[Event \"x\"]\r"));
    EXPECT_TRUE(check("\xEF\xBB\xBF[Event \"x\"]\n"));
    // A byte order mark is no text: a file left with nothing else opens.
    EXPECT_TRUE(check("\xEF\xBB\xBF"));
    EXPECT_TRUE(check("\xEF\xBB\xBF\r\n"));
    EXPECT_FALSE(check("\xEF\xBB\xBFsome text"));
    EXPECT_TRUE(check(thousand + "[Event \"x\"]\r\n"));
    EXPECT_FALSE(check(thousand + "a note\r\n[Event \"x\"]\r\n"));
    // So do the moves of a game without tags.
    EXPECT_TRUE(check(thousand + "1. d4 d5 *\r\n"));
    EXPECT_TRUE(check("12...Nf6 13. O-O *\n"));
    EXPECT_FALSE(check("1. a note\n2. see below\n"));
    EXPECT_FALSE(check("  \r\n"));
    EXPECT_FALSE(check("some text"));
    // Any tag line opens a game, in any letter case, with any blanks (or
    // none) before its value; a tag quoted inside a line does not.
    EXPECT_TRUE(check("[event \"x\"]\n"));
    EXPECT_TRUE(check("[Event\t\"x\"]\n"));
    EXPECT_TRUE(check("[Event\"x\"]"));
    EXPECT_TRUE(check("junk\n  [White \"W\"]\n"));
    EXPECT_FALSE(check("x[Event \"x\"]\nnote"));
    EXPECT_FALSE(check("[Event x]\n[Event \"x\n"));

    EXPECT_FALSE(kb::IsPGNFile((dir / "missing.pgn").string()));
    EXPECT_FALSE(kb::IsPGNFile(dir.path().string()));
}

TEST(PgnFiles, IsPGNFileReadsABoundedAmount) {
    // 1 GiB without a line end, the tag at its very end: found only when
    // the whole file is read, which it must not be.
    kbtest::TempDir dir;
    const fs::path p = dir / "huge.bin";
    {
        std::ofstream out(p, std::ios::binary);
        out << "x";
    }
    constexpr uintmax_t size = uintmax_t(1) << 30;
    fs::resize_file(p, size);
    {
        std::fstream f(p, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(size));
        f << "[Event \"x\"]";
    }
    EXPECT_FALSE(kb::IsPGNFile(p.string()));
}

TEST(PgnFiles, OpenGameFileReadsReadOnlyFiles) {
    kbtest::TempDir dir;
    const fs::path p = dir / "ro.pgn";
    kbtest::WriteFile(p, "[Event \"r\"]\r\n");
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    std::ifstream f;
    ASSERT_TRUE(kb::OpenGameFile(f, p.string()));
    std::string line;
    std::getline(f, line);
    EXPECT_EQ(line, "[Event \"r\"]\r");
    EXPECT_EQ(fs::status(p).permissions(),
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    EXPECT_FALSE(kb::OpenGameFile(f, (dir / "missing.pgn").string()));
    EXPECT_FALSE(f.is_open());
    EXPECT_FALSE(kb::OpenGameFile(f, dir.path().string()));
}

// Several tags on one line are each read; what follows the last tag on its
// line is move text. A line whose first tag is not whole stays one line.
TEST(Tags, TagsSharingALine) {
    struct Case {
        std::string Line;
        std::vector<std::string> Tags;
        std::string Rest;
    };
    const std::vector<Case> cases = {
        {R"([Event "E"] [White "Alpha"] [Black "Beta"])",
         {R"([Event "E"])", R"([White "Alpha"])", R"([Black "Beta"])"},
         ""},
        {R"([Black "Beta"] 1. e4 e5 2. Nf3 *)", {R"([Black "Beta"])"}, "1. e4 e5 2. Nf3 *"},
        {R"([White "A \"x\" ]"][Black "B"]  {c} 1. d4)",
         {R"([White "A \"x\" ]"])", R"([Black "B"])"},
         "{c} 1. d4"},
        {R"([Event "E"])", {R"([Event "E"])"}, ""},
        {R"([Event "E" ] )", {R"([Event "E" ])"}, ""},
        // Not whole: read as one line, as before.
        {R"([Event "E)", {R"([Event "E)"}, ""},
        {R"([Event "a"b"] [White "W"])", {R"([Event "a"b"] [White "W"])"}, ""},
        {"[Event\t\"tab\"] [White\"W\"]", {"[Event\t\"tab\"]", "[White\"W\"]"}, ""},
        {"[ Event \"E\" ]\t1. e4", {"[ Event \"E\" ]"}, "1. e4"},
        {R"([Event "E"] [White "W)", {R"([Event "E"])", R"([White "W)"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        std::vector<std::string_view> tags;
        const std::string_view rest = kb::SplitTagLine(c.Line, tags);
        EXPECT_EQ(std::vector<std::string>(tags.begin(), tags.end()), c.Tags);
        EXPECT_EQ(rest, c.Rest);
    }
}

// A line end between a tag's tokens joins the lines; one inside the value,
// or a next line that does not go on with the tag, joins nothing.
TEST(Tags, TagsCutByALineEnd) {
    struct Case {
        std::vector<std::string> Lines;
        std::vector<std::string> Tags; // as read, in their normal form
        std::string Rest;
    };
    const std::vector<Case> cases = {
        {{"[Site", R"("S"])"}, {R"([Site "S"])"}, ""},
        {{"[", "Site", "\t\"S\"", "]"}, {R"([Site "S"])"}, ""},
        {{R"([Event "E"] [Site)", R"("S"] [White "W"] 1. e4)"},
         {R"([Event "E"])", R"([Site "S"])", R"([White "W"])"},
         "1. e4"},
        {{R"([Site "S")", "] {c}"}, {R"([Site "S"])"}, "{c}"},
        // Not joined: the value is cut, or the next line is no part of the tag.
        {{R"([Site "S)", R"(x"])"}, {R"([Site "S"])"}, ""},
        {{"[Site", "1. e4"}, {R"([Site ""])"}, ""},
        {{"[Site", R"("S)"}, {R"([Site ""])"}, ""},
        {{"[Site", ""}, {R"([Site ""])"}, ""},
        {{R"([Site "S"])", R"([White "W"])"}, {R"([Site "S"])"}, ""},
        {{R"([Site "S"] 1. e4)", "]"}, {R"([Site "S"])"}, "1. e4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Lines.front() + " / " + c.Lines[1]);
        // As the readers go: join while the next line goes on with the tag.
        std::string line = c.Lines.front();
        for (size_t i = 1; i < c.Lines.size(); ++i) {
            std::string joined = kb::JoinCutTag(line, c.Lines[i]);
            if (joined.empty()) break;
            line = joined;
        }
        std::vector<std::string_view> tags;
        const std::string_view rest = kb::SplitTagLine(line, tags);
        std::vector<std::string> normal;
        for (const std::string_view t : tags)
            normal.push_back(kb::NormalTagLine(t));
        EXPECT_EQ(normal, c.Tags);
        EXPECT_EQ(rest, c.Rest);
    }
}

// The notation's list: by tag name (letter case ignored), each identical
// line once, lines of one name in the order they arrived.
TEST(Tags, ByNameListSortsStablyAndDropsRepeats) {
    kb::TTagList l;
    l.Unique = true;
    l.ByName = true;
    for (const char* t : {"[Zeta \"1\"]", "[Alpha \"2\"]", "[Zeta \"1\"]", "[Mode \"OTB\"]",
                          "[Variant \"b\"]", "[Zeta \"0\"]", "[alpha \"1\"]", "[Variant \"a\"]"})
        l.Add(t);
    EXPECT_EQ(l.Lines(), (std::vector<std::string>{
                             "[Alpha \"2\"]", "[alpha \"1\"]", "[Mode \"OTB\"]", "[Variant \"b\"]",
                             "[Variant \"a\"]", "[Zeta \"1\"]", "[Zeta \"0\"]"}));
    // Lines added after a reading take their places as well.
    l.Add("[Mode \"ICS\"]");
    l.Add("[Alpha \"2\"]");
    l.Add("[Beta \"3\"]");
    EXPECT_EQ(l.Lines(),
              (std::vector<std::string>{"[Alpha \"2\"]", "[alpha \"1\"]", "[Beta \"3\"]",
                                        "[Mode \"OTB\"]", "[Mode \"ICS\"]", "[Variant \"b\"]",
                                        "[Variant \"a\"]", "[Zeta \"1\"]", "[Zeta \"0\"]"}));
}
