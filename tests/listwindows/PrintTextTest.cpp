// SPDX-License-Identifier: GPL-3.0-or-later
// The print text: headlines, runs by variation depth, comments, diagrams at
// the marks and at set-up starts, results and separators.
#include "PrintTestSupport.h"

#include <gtest/gtest.h>

using namespace kb;
using printtest::Build;
using printtest::SegmentText;

namespace {

// The runs tile the text in order, each non-empty.
void ExpectTiles(const TChessPrintText& t) {
    int32_t next = 1;
    for (const TPrintSegment& s : t.Segments) {
        ASSERT_EQ(s.Start, next);
        ASSERT_GT(s.Length, 0);
        ASSERT_LE(s.Kind, pkComment);
        next += s.Length;
    }
    EXPECT_EQ(next, static_cast<int32_t>(t.PrintText.size()) + 1);
}

// The run that holds the first occurrence of Needle, which must not cross runs.
const TPrintSegment& RunOf(const TChessPrintText& t, const std::string& Needle) {
    static const TPrintSegment none{};
    const size_t at = t.PrintText.find(Needle);
    if (at == std::string::npos) {
        ADD_FAILURE() << "not in the print text: " << Needle;
        return none;
    }
    const int i = t.SegmentAt(static_cast<int32_t>(at) + 1);
    const TPrintSegment& s = t.Segments.at(static_cast<size_t>(i));
    EXPECT_LE(static_cast<int32_t>(at + Needle.size()), s.End()) << Needle << " crosses runs";
    return s;
}

std::string Game(const std::string& Tags, const std::string& Moves) {
    return Tags + "\r\n" + Moves + "\r\n";
}

TSchachbrett BoardAfterMainLine(const std::string& Pgn) {
    TNotation n;
    EXPECT_EQ(n.LoadPGN(Pgn), 0);
    const TBaum* last = nullptr;
    for (const TBaum* b = n.RootLine ? n.RootLine->Erster : nullptr; b; b = b->Next)
        last = b;
    TSchachbrett board;
    TZug zug;
    n.PositionAfter(last, board, zug);
    return board;
}

} // namespace

TEST(PrintText, HeadlinesFromEventSiteAndYear) {
    struct Case {
        std::string Tags;
        std::string Headline;
    } cases[] = {
        {"[Event \"?\"]\r\n[White \"A\"]\r\n[Black \"B\"]\r\n[Result \"1-0\"]\r\n",
         "A - B\r\n\r\n"},
        {"[Event \"Match\"]\r\n[Site \"Bern\"]\r\n[Date \"1997.05.01\"]\r\n[White \"A\"]\r\n"
         "[Black \"B\"]\r\n[Result \"1-0\"]\r\n",
         "A - B\r\nMatch, Bern\r\n1997\r\n\r\n"},
        {"[Event \"Match\"]\r\n[Site \"?\"]\r\n[White \"A\"]\r\n[Black \"B\"]\r\n",
         "A - B\r\nMatch\r\n\r\n"},
        {"[Event \"Match\"]\r\n[Date \"2001.??.??\"]\r\n[White \"A\"]\r\n[Black \"B\"]\r\n",
         "A - B\r\nMatch, 2001\r\n\r\n"},
        {"[Event \"\"]\r\n[Site \"Wien\"]\r\n[Date \"1910.01.01\"]\r\n[White \"A\"]\r\n[Black "
         "\"B\"]\r\n",
         "A - B\r\nWien\r\n1910\r\n\r\n"},
    };
    for (const Case& c : cases) {
        const TChessPrintText t = Build(Game(c.Tags, "1. e4 e5 1-0"));
        ASSERT_FALSE(t.Segments.empty());
        EXPECT_EQ(t.Segments[0].Kind, pkHeadline);
        EXPECT_EQ(SegmentText(t, t.Segments[0]), c.Headline) << c.Tags;
        ExpectTiles(t);
    }
}

TEST(PrintText, RunsFollowTheVariationDepth) {
    const TChessPrintText t = Build(printtest::Annotated());
    ExpectTiles(t);
    // Moves are laid out with the notation's letters (German by default).
    EXPECT_EQ(RunOf(t, "1.e4 e5 2.Sf3 d6").Kind, pkMain);
    EXPECT_EQ(RunOf(t, "Philidor's defence.").Kind, pkComment);
    EXPECT_EQ(RunOf(t, "[3...exd4 4.Sxd4").Kind, pkVar1);
    EXPECT_EQ(RunOf(t, "(4.Dxd4 Sc6").Kind, pkVar2);
    // Depth three: the moves before a comment keep the deeper font, the
    // comment its own.
    EXPECT_EQ(RunOf(t, "(4...Sf6").Kind, pkVar2);
    EXPECT_EQ(RunOf(t, "quiet").Kind, pkComment);
    EXPECT_EQ(RunOf(t, "5.Sc3)").Kind, pkVar2);
    EXPECT_EQ(RunOf(t, "5.Lb5)").Kind, pkVar2);
    EXPECT_EQ(RunOf(t, "4...Sf6 5.Sc3 Le7]").Kind, pkVar1);
    EXPECT_EQ(RunOf(t, "4.dxe5 Lxf3").Kind, pkMain);
    EXPECT_EQ(RunOf(t, "wins a pawn.").Kind, pkComment);
    EXPECT_EQ(RunOf(t, "17.Td8#").Kind, pkMain);
    // Braces are not printed.
    for (const TPrintSegment& s : t.Segments) {
        if (s.Kind == pkDiagram) continue;
        const std::string text = SegmentText(t, s);
        EXPECT_EQ(text.find_first_of("{}\x7f"), std::string::npos) << text;
    }
}

TEST(PrintText, DiagramMarkPrintsThePositionAfterTheMove) {
    const TChessPrintText t = Build(printtest::Annotated());
    int diagrams = 0;
    for (size_t i = 0; i < t.Segments.size(); ++i) {
        if (t.Segments[i].Kind != pkDiagram) continue;
        ++diagrams;
        ASSERT_GT(i, 0u);
        ASSERT_LT(i + 1, t.Segments.size());
        // The comment's text before the mark, the diagram, the rest on a new line.
        EXPECT_EQ(t.Segments[i - 1].Kind, pkComment);
        EXPECT_NE(SegmentText(t, t.Segments[i - 1]).find("The position before the finish:"),
                  std::string::npos);
        const std::string after = SegmentText(t, t.Segments[i + 1]);
        EXPECT_EQ(t.Segments[i + 1].Kind, pkComment);
        EXPECT_EQ(after.rfind("\r\nWhite gives the queen.", 0), 0u) << after;

        const TSchachbrett expected = BoardAfterMainLine(
            "[Event \"x\"]\r\n\r\n1. e4 e5 2. Nf3 d6 3. d4 Bg4 4. dxe5 Bxf3 5. Qxf3 dxe5 6. "
            "Bc4 Nf6 7. Qb3 Qe7 8. Nc3 c6 9. Bg5 b5 10. Nxb5 cxb5 11. Bxb5+ Nbd7 12. O-O-O "
            "Rd8 13. Rxd7 Rxd7 14. Rd1 Qe6 *\r\n");
        EXPECT_EQ(SegmentText(t, t.Segments[i]),
                  "\r\n" + StellungToFontDiagram(expected, "Chess Merida"));
        TSchachbrett parsed;
        ASSERT_TRUE(ParseFontDiagram(SegmentText(t, t.Segments[i]).substr(2),
                                     ChessFontCharsFor("Chess Merida", ""), parsed));
        EXPECT_EQ(parsed, expected);
    }
    EXPECT_EQ(diagrams, 1);
}

TEST(PrintText, FirstPositionOnlyForGamesWithAFen) {
    const std::string pgn = printtest::Annotated();
    const TChessPrintText with = Build(pgn, true, "1Echecs");
    const TChessPrintText without = Build(pgn, false, "1Echecs");
    ExpectTiles(with);
    auto diagrams = [](const TChessPrintText& t) {
        std::vector<size_t> at;
        for (size_t i = 0; i < t.Segments.size(); ++i)
            if (t.Segments[i].Kind == pkDiagram) at.push_back(i);
        return at;
    };
    ASSERT_EQ(diagrams(without).size(), 1u);
    const std::vector<size_t> d = diagrams(with);
    ASSERT_EQ(d.size(), 2u);
    // The start diagram follows the headline of the set-up game at once.
    const size_t start = d[1];
    ASSERT_GT(start, 0u);
    EXPECT_EQ(with.Segments[start - 1].Kind, pkHeadline);
    EXPECT_NE(SegmentText(with, with.Segments[start - 1]).find("Study - White to move"),
              std::string::npos);
    EXPECT_EQ(SegmentText(with, with.Segments[start]),
              "\r\n" + FENToFontDiagram("6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", "1Echecs"));
}

TEST(PrintText, ResultsAndSeparators) {
    const TChessPrintText t = Build(printtest::Annotated());
    // Result lines in the result font; three line breaks between games.
    EXPECT_EQ(RunOf(t, "\r\n\r\n1-0").Kind, pkResult);
    EXPECT_NE(t.PrintText.find("17.Td8#\r\n\r\n1-0\r\n\r\n\r\nStudy"), std::string::npos);
    int separators = 0;
    for (const TPrintSegment& s : t.Segments)
        if (s.Kind == pkResult && SegmentText(t, s) == "\r\n\r\n\r\n") ++separators;
    EXPECT_EQ(separators, 2);
    // The unfinished game prints no "*" and keeps its last comment whole.
    const std::string tail = "The game was adjourned here.";
    ASSERT_GE(t.PrintText.size(), tail.size());
    EXPECT_EQ(t.PrintText.substr(t.PrintText.size() - tail.size()), tail);
    EXPECT_EQ(t.Segments.back().Kind, pkComment);

    // A game that ends in a comment keeps it, and its result follows.
    const TChessPrintText c = Build(Game("[Event \"E\"]\r\n[Result \"0-1\"]\r\n",
                                         "1. f3 e5 2. g4 Qh4# {Fool's mate in full} 0-1"));
    EXPECT_NE(c.PrintText.find("Fool's mate in full\r\n\r\n0-1"), std::string::npos) << c.PrintText;

    // Without a result nothing is taken off the end, and no result line printed.
    const TChessPrintText e =
        Build(Game("[Event \"E\"]\r\n[Result \"\"]\r\n", "1. e4 e5 {last words}"));
    const std::string end = "last words";
    ASSERT_GE(e.PrintText.size(), end.size());
    EXPECT_EQ(e.PrintText.substr(e.PrintText.size() - end.size()), end) << e.PrintText;
}

TEST(PrintText, SegmentAtHasHalfOpenRanges) {
    const TChessPrintText t = Build(printtest::Annotated(), true);
    const int n = static_cast<int>(t.Segments.size());
    ASSERT_GT(n, 10);
    for (int i = 0; i < n; ++i) {
        const TPrintSegment& s = t.Segments[static_cast<size_t>(i)];
        EXPECT_EQ(t.SegmentAt(s.Start), i);
        EXPECT_EQ(t.SegmentAt(s.End()), i);
        EXPECT_EQ(t.SegmentAt(s.End() + 1), i + 1 < n ? i + 1 : n);
    }
    EXPECT_EQ(t.SegmentAt(0), n);
    EXPECT_EQ(t.SegmentAt(-5), n);
}

TEST(PrintText, MarksInARowAndAtTheStartKeepTheRunsWhole) {
    // Two marks in a row, a mark opening the game comment and one after a move.
    const TChessPrintText t =
        Build(Game("[Event \"E\"]\r\n[Result \"1-0\"]\r\n", "{\x7fStart} 1. e4 {\x7f\x7f} e5 {a\x7f"
                                                            "b} 1-0"));
    ExpectTiles(t);
    int diagrams = 0;
    for (const TPrintSegment& s : t.Segments)
        if (s.Kind == pkDiagram) {
            ++diagrams;
            TSchachbrett b;
            EXPECT_TRUE(ParseFontDiagram(SegmentText(t, s).substr(2),
                                         ChessFontCharsFor("Chess Merida", ""), b));
        }
    EXPECT_EQ(diagrams, 4);
    EXPECT_NE(t.PrintText.find("Start"), std::string::npos);
    EXPECT_NE(t.PrintText.find("1.e4"), std::string::npos);
}

TEST(PrintText, SplitGamesAtEventLines) {
    const std::vector<std::string> g =
        SplitPrintGames("junk before\n  [event \"a\"]\n1. e4 *\r[Event \"b\"]\r\n\r\n1. d4 *");
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0], "[event \"a\"]\r\n1. e4 *\r\n");
    EXPECT_EQ(g[1], "[Event \"b\"]\r\n\r\n1. d4 *\r\n");
    // Moves without tags are a game as well; text that is neither is none.
    EXPECT_EQ(SplitPrintGames("1. e4 e5 *"), std::vector<std::string>{"1. e4 e5 *\r\n"});
    EXPECT_TRUE(SplitPrintGames("a note\n").empty());

    // An Event line inside a comment belongs to the comment; a brace in a
    // tag's string or a rest-of-line comment opens none.
    const std::vector<std::string> c = SplitPrintGames(
        "[Event \"a {\"]\n1. e4 {see\n[Event \"fake\"]\n} e5 ; {\n*\n[Event \"b\"]\n1. d4 *\n");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NE(c[0].find("[Event \"fake\"]\r\n} e5"), std::string::npos);
    EXPECT_EQ(c[1], "[Event \"b\"]\r\n1. d4 *\r\n");
}

TEST(PrintText, RealGamesOneHeadlinePerGame) {
    for (const char* file : {"pgn/kasparov-deep-blue-1997.pgn", "pgn/stockfish-learning.pgn",
                             "pgn/chess960-engine-games.pgn", "pgn/utf8-bom.pgn"}) {
        const std::string pgn = kbtest::ReadFile(kbtest::TestData(file));
        const size_t games = SplitPrintGames(pgn).size();
        const TChessPrintText t = Build(pgn, true);
        ExpectTiles(t);
        size_t headlines = 0;
        for (const TPrintSegment& s : t.Segments)
            headlines += s.Kind == pkHeadline;
        EXPECT_EQ(headlines, games) << file;
        EXPECT_GT(games, 0u) << file;
    }
}

TEST(PrintText, BuildReportsProgressAndStops) {
    const std::string pgn = kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    TChessPrintText t;
    TNotation n;
    std::vector<int> seen;
    t.OnBuildProgress = [&](int Percent) {
        seen.push_back(Percent);
        return true;
    };
    EXPECT_TRUE(t.BuildText(pgn, n));
    EXPECT_EQ(seen, (std::vector<int>{16, 33, 50, 66, 83, 100}));
    EXPECT_FALSE(t.PrintText.empty());

    t.OnBuildProgress = [](int Percent) { return Percent < 50; };
    EXPECT_FALSE(t.BuildText(pgn, n));
    EXPECT_TRUE(t.PrintText.empty());
    EXPECT_TRUE(t.Segments.empty());
}
