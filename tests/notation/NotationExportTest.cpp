// SPDX-License-Identifier: GPL-3.0-or-later
// PGN export and the clipboard commands.
#include "NotationTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kb;
using kbtest::MainLine;
using kbtest::Pgn;

namespace {

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The movetext lines after the empty line that ends the tags.
std::vector<std::string> Movetext(const std::string& pgn) {
    auto lines = SplitCrLf(pgn);
    size_t i = 0;
    while (i < lines.size() && !lines[i].empty())
        ++i;
    return std::vector<std::string>(
        lines.begin() + static_cast<long>(std::min(i + 1, lines.size())), lines.end());
}

std::string Export(TNotation& n) {
    std::string text = "junk";
    EXPECT_EQ(n.GetPGN(text), 0);
    return text;
}

TEST(NotationExport, EmptyGameWithClearedHeader) {
    TNotation n;
    EXPECT_EQ(Export(n),
              "[Event \"?\"]\r\n[Site \"?\"]\r\n[Date \"????.??.??\"]\r\n[Round \"-\"]\r\n"
              "[White \"N.N.\"]\r\n[Black \"N.N.\"]\r\n[Result \"*\"]\r\n\r\n *\r\n");
    EXPECT_FALSE(n.ExportMode);
}

TEST(NotationExport, TagSection) {
    TNotation n;
    ASSERT_EQ(
        n.LoadPGN(
            "[Event \"E\"]\n[Site \"S\"]\n[Date \"2003.07.05\"]\n[Round \"3\"]\n[White \"W\"]\n"
            "[Black \"B\"]\n[Result \"1-0\"]\n[WhiteElo \"2700\"]\n[BlackElo \"2650\"]\n[ECO "
            "\"C42\"]\n"
            "[Annotator \"Me\"]\n[EventDate \"2003.??.09\"]\n[TimeControl \"40+5\"]\n"
            "[Opening \"Petrov\"]\n[Board \"4\"]\n\n1. e4 e5 1-0\n"),
        0);
    auto lines = SplitCrLf(Export(n));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "[Event \"E\"]", "[Site \"S\"]", "[Date \"2003.07.05\"]", "[Round \"3\"]",
                         "[White \"W\"]", "[Black \"B\"]", "[Result \"1-0\"]", "[Annotator \"Me\"]",
                         "[BlackElo \"2650\"]", "[ECO \"C42\"]", "[EventDate \"2003.??.09\"]",
                         "[TimeControl \"40+5\"]", "[WhiteElo \"2700\"]", "[Board \"4\"]",
                         "[Opening \"Petrov\"]", "", "1.e4 e5   1-0"}));

    ASSERT_EQ(n.LoadPGN("[Event \"E\"]\n[Date \"2003.??.??\"]\n\n*\n"), 0);
    const std::string year = Export(n);
    EXPECT_NE(year.find("[Date \"2003.??.??\"]"), std::string::npos);
    EXPECT_EQ(year.find("EventDate"), std::string::npos);
    EXPECT_EQ(year.find("FEN"), std::string::npos);

    // Black to move in the standard position needs a FEN.
    ASSERT_EQ(n.LoadPGN(Pgn("1... e5", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1")),
              0);
    const std::string black = Export(n);
    EXPECT_NE(
        black.find(
            "[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1\"]\r\n[SetUp \"1\"]"),
        std::string::npos);
    EXPECT_EQ(Movetext(black).front(), "1...e5   *");

    // A long MetaDescription comes out in chunks of 150.
    const std::string desc(320, 'd');
    ASSERT_EQ(n.LoadPGN("[Event \"E\"]\n[MetaDescription \"" + desc + "\"]\n\n*\n"), 0);
    const auto metaLines = SplitCrLf(Export(n));
    std::vector<size_t> sizes;
    for (const auto& l : metaLines)
        if (l.rfind("[MetaDescription \"", 0) == 0) sizes.push_back(l.size() - 20);
    EXPECT_EQ(sizes, (std::vector<size_t>{150, 150, 20}));
}

// Tags read into fields of their own come back as they were read, among
// the other tags by name; PlyCount counts the main line when it agrees.
TEST(NotationExport, TagsKeptInFieldsGoBackAsRead) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    const std::vector<std::string> kept = {"[BlackClubId \"Club B\"]",
                                           "[BlackDifferenceToGMT \"-2\"]",
                                           "[DateTimeFormat \"dd.mm.yyyy\"]",
                                           "[GameId \"g77\"]",
                                           "[Opening \"Petrov\"]",
                                           "[PlyCount \"3\"]",
                                           "[WhiteClubId \"club\"]",
                                           "[WhiteDifferenceToGMT \"+1\"]"};
    std::string text = "[Event \"E\"]\n[White \"W\"]\n[Black \"B\"]\n[Result \"1-0\"]\n";
    for (auto t = kept.rbegin(); t != kept.rend(); ++t)
        text += *t + "\n";
    text += "\n1. e4 e5 2. Nf3 1-0\n";
    TNotation n;
    ASSERT_EQ(n.LoadPGN(text), 0);
    const std::string exported = Export(n);
    std::vector<std::string> want = {"[Event \"E\"]",   "[Site \"?\"]",  "[Date \"????.??.??\"]",
                                     "[Round \"-\"]",   "[White \"W\"]", "[Black \"B\"]",
                                     "[Result \"1-0\"]"};
    want.insert(want.end(), kept.begin(), kept.end());
    want.insert(want.end(), {"", "1.e4 e5 2.Nf3   1-0"});
    EXPECT_EQ(SplitCrLf(exported), want);

    // Read back the same, and written the same again.
    TNotation back;
    ASSERT_EQ(back.LoadPGN(exported), 0);
    const TEventData& a = n.GameData.EventData;
    const TEventData& b = back.GameData.EventData;
    for (const auto& [x, y] : {std::pair{&a.GameId, &b.GameId},
                               {&a.WhiteClubId, &b.WhiteClubId},
                               {&a.BlackClubId, &b.BlackClubId},
                               {&a.DateTimeFormat, &b.DateTimeFormat},
                               {&a.WhiteDifferenceToGMT, &b.WhiteDifferenceToGMT},
                               {&a.BlackDifferenceToGMT, &b.BlackDifferenceToGMT}})
        EXPECT_EQ(*x, *y);
    EXPECT_EQ(b.MoveCount, 2);
    EXPECT_EQ(Export(back), exported);

    // A count the main line does not agree with stays the header's.
    ASSERT_EQ(n.LoadPGN("[Event \"E\"]\n[PlyCount \"81\"]\n\n1. e4 *\n"), 0);
    EXPECT_NE(Export(n).find("\r\n[PlyCount \"82\"]\r\n"), std::string::npos);

    // pgn-extract reads every tag of the export.
    const auto peer = kbtest::Run({pgnExtract, "-s", "-w", "100000"}, exported);
    for (const std::string& t : kept)
        EXPECT_NE(peer.out.find(t), std::string::npos) << t << "\n" << peer.out;
}

TEST(NotationExport, MovetextRewrite) {
    TNotation n;
    n.SetEnglish(false);
    ASSERT_EQ(
        n.LoadPGN(Pgn(
            "1. Nf3 d5 2. g3 (2. d4 Bf5 $14) 2... Qd6 $5 3. Bg2 $2 Bg4 $998 $1 4. O-O $999 $140 "
            "{Die Dame steht gut} Nc6 $6")),
        0);
    ASSERT_EQ(kbtest::MainLineTexts(n)[5], ">Lg4!");
    const auto mt = Movetext(Export(n));
    ASSERT_EQ(mt.size(), 2u);
    EXPECT_EQ(mt[0],
              "1.Nf3 d5 2.g3 (2.d4 Bf5 $14) 2...Qd6 $5 3.Bg2 $2 Bg4 $1 $998 4.O-O $140 $999 {Die");
    EXPECT_EQ(mt[1], "Dame steht gut} Nc6 $6   *");
    // The display layout is back afterwards, in German.
    EXPECT_FALSE(n.ExportMode);
    EXPECT_EQ(kbtest::MainLineTexts(n)[2], "2.g3");
    EXPECT_EQ(kbtest::MainLineTexts(n)[3], "2...Dd6!?");
}

TEST(NotationExport, LineBreaks) {
    TNotation n;
    std::string moves;
    for (int i = 0; i < 10; ++i)
        moves += "Nf3 Nf6 Ng1 Ng8 ";
    std::string comment;
    for (int i = 0; i < 30; ++i)
        comment += "word" + std::to_string(i) + "  ";
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 {" + comment + "} e5 2. " + moves)), 0);
    const auto mt = Movetext(Export(n));
    ASSERT_GE(mt.size(), 4u);
    for (const auto& l : mt) {
        EXPECT_LE(l.size(), 80u) << l;
        EXPECT_EQ(l.find("  w"), std::string::npos) << "blank runs inside comments collapse: " << l;
    }
    // Breaking changed no move: the export reads back to the same moves.
    std::string text;
    ASSERT_EQ(n.GetPGN(text), 0);
    TNotation back;
    ASSERT_EQ(back.LoadPGN(text), 0);
    EXPECT_EQ(MainLine(back).size(), MainLine(n).size());
}

TEST(NotationExport, ClipboardCopyAndPaste) {
    TNotation n;
    EXPECT_FALSE(n.PastePGN()); // no clipboard at all
    EXPECT_EQ(n.CopyPGN(), -1);

    std::string clip;
    bool hasText = false;
    n.ClipboardSetText = [&](const std::string& t) {
        clip = t;
        hasText = true;
        return true;
    };
    n.ClipboardGetText = [&](std::string& t) {
        if (!hasText) return false;
        t = clip;
        return true;
    };
    EXPECT_FALSE(n.PastePGN()); // an image, say: no text
    ASSERT_EQ(n.LoadPGN(Pgn("1. d4 d5 2. c4")), 0);
    ASSERT_EQ(n.CopyPGN(), 0);
    EXPECT_EQ(clip.rfind("[Event \"Test\"]\r\n", 0), 0u);

    TNotation other;
    other.ClipboardGetText = n.ClipboardGetText;
    int errors = 0;
    other.OnError = [&](TNotation*, const std::string&) { ++errors; };
    ASSERT_TRUE(other.PastePGN());
    EXPECT_EQ(MainLine(other).size(), 3u);
    EXPECT_EQ(errors, 0);

    // Text that is no game is told, and the game stays as it was.
    other.SetEnglish(true);
    other.OnError = [&](TNotation*, const std::string& E) {
        ++errors;
        clip = E; // what was said, for the check below
    };
    other.MoveForward();
    other.SetModified(true);
    const std::pair<const char*, const char*> noGames[] = {
        {"https://example.org/x", "Error reading moves."},
        {" \r\n\t", "The text holds no game."},
        {"[White \"A\"]\n\n1. e5 *\n", "Error reading moves."},
        {"[Variant \"crazyhouse\"]\n\n1. e4 *\n",
         "This chess variant is not supported: crazyhouse"},
    };
    for (const auto& [noGame, told] : noGames) {
        SCOPED_TRACE(noGame);
        clip = noGame;
        const int before = errors;
        EXPECT_FALSE(other.PastePGN());
        EXPECT_EQ(errors, before + 1);
        EXPECT_EQ(clip, told);
        EXPECT_EQ(MainLine(other).size(), 3u);
        EXPECT_EQ(other.GameData.EventData.Event, "Test");
        EXPECT_EQ(other.CurrentMove, MainLine(other)[0]);
        EXPECT_TRUE(other.Modified);
    }
    errors = 0;

    // A game read up to a move that is none: what was read is shown.
    clip = "[Event \"x\"]\n\n1. d4 d5 2. Zz9 *\n";
    EXPECT_FALSE(other.PastePGN()); // a failed load is no success; the error is reported
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(other.GameData.EventData.Event, "x");
    EXPECT_EQ(MainLine(other).size(), 2u);
}

} // namespace

namespace {

TEST(NotationExport, JoinedCommentsStayComments) {
    TNotation n;
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 {first} {second} e5")), 0);
    ASSERT_EQ(MainLine(n)[0]->Kommentar, "{first} | {second}");
    std::string text;
    ASSERT_EQ(n.GetPGN(text), 0);
    EXPECT_NE(text.find("1.e4 {first} {second} e5"), std::string::npos) << text;
    EXPECT_EQ(text.find("$140"), std::string::npos);
    TNotation back;
    ASSERT_EQ(back.LoadPGN(text), 0);
    EXPECT_EQ(MainLine(back)[0]->Kommentar, "{first} | {second}");
    EXPECT_EQ(MainLine(back)[0]->Zug.ExtraNAG, 0);
    // The display still shows the join.
    n.EnsureLayout();
    EXPECT_NE(n.LayoutText.find("{first} | {second}"), std::string::npos);
}

} // namespace

namespace {

TEST(NotationExport, TextsThatMustReadBackWhole) {
    TNotation n;
    // A quote inside a value, an early year and a result that is none.
    ASSERT_EQ(n.LoadPGN("[Event \"The \\\"Open\\\" \\\\ 2\"]\n[Date \"0201.03.04\"]\n[Result "
                        "\"+-\"]\n\n1. e4 +-\n"),
              0);
    EXPECT_EQ(n.GameData.EventData.Event, "The \"Open\" \\ 2");
    std::string text;
    ASSERT_EQ(n.GetPGN(text), 0);
    EXPECT_NE(text.find("[Event \"The \\\"Open\\\" \\\\ 2\"]"), std::string::npos) << text;
    EXPECT_NE(text.find("[Date \"0201.03.04\"]"), std::string::npos);
    EXPECT_NE(text.find("[Result \"+-\"]"), std::string::npos);
    EXPECT_EQ(Movetext(text).back(), "1.e4   *");
    TNotation back;
    ASSERT_EQ(back.LoadPGN(text), 0);
    EXPECT_EQ(back.GameData.EventData.Event, n.GameData.EventData.Event);
    EXPECT_EQ(back.GameData.EventData.Year, 201);
    EXPECT_EQ(MainLine(back).size(), 1u);

    // A comment whose break would put "%" at the start of a line.
    const std::string comment =
        "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj kkkk llll %escape mmmm";
    ASSERT_EQ(n.LoadPGN(Pgn("1. e4 {" + comment + "} e5")), 0);
    ASSERT_EQ(n.GetPGN(text), 0);
    for (const auto& l : Movetext(text))
        EXPECT_NE(l.front(), '%') << text;
    ASSERT_EQ(back.LoadPGN(text), 0);
    EXPECT_EQ(MainLine(back)[0]->Kommentar, "{" + comment + "}");
    EXPECT_EQ(MainLine(back).size(), 2u);
}

} // namespace

TEST(NotationExport, StartFromTheStandardBoardKeepsItsState) {
    // Only the standard board with White to move, all rights, no e.p. square
    // and move 1 may leave out the FEN; any other start must come back whole.
    struct Case {
        const char* what;
        int side, rights, moveNo;
    } cases[] = {
        {"move number", 1, AllCastlingRights, 17},
        {"fewer rights", 1, WhiteShort | BlackLong, 1},
        {"black to move", -1, AllCastlingRights, 1},
    };
    for (const auto& c : cases) {
        TNotation n;
        TZug start{};
        start.Side = c.side;
        start.CastlingRights = static_cast<uint8_t>(c.rights);
        n.SetStartPosition(StandardStellung, start, c.moveNo);
        std::string text;
        n.GetPGN(text);
        TNotation back;
        ASSERT_EQ(back.LoadPGN(text), 0) << c.what << "\n" << text;
        EXPECT_EQ(back.GameData.ZugNummer, c.moveNo) << c.what;
        EXPECT_EQ(back.GameData.Zug.Side, c.side) << c.what;
        EXPECT_EQ(back.GameData.Zug.CastlingRights & AllCastlingRights, c.rights) << c.what;
    }
    TNotation plain;
    std::string text;
    plain.GetPGN(text);
    EXPECT_EQ(text.find("[FEN "), std::string::npos);
}

TEST(NotationExport, RepeatedLayoutsKeepTheComments) {
    // Every refresh and export lays out again; the blanks inside a comment's
    // braces go at the first layout, and after that nothing more may go.
    TNotation n;
    ASSERT_EQ(n.LoadPGN("[Event \"x\"]\n\n1. e4 {   wide   open   } e5 {x} *"), 0);
    n.EnsureLayout();
    const std::string once = n.RootLine->Erster->Kommentar;
    EXPECT_EQ(once, "{wide   open}");
    std::string first, second;
    n.GetPGN(first);
    n.GetPGN(second);
    EXPECT_EQ(n.RootLine->Erster->Kommentar, once);
    EXPECT_EQ(first, second);
    EXPECT_NE(first.find("{wide open}"), std::string::npos) << first;
}

// Texts that must leave the export closed, whole and in their order, and
// read back to the same game.
TEST(NotationExport, WrittenWholeAndReadBackTheSame) {
    struct Case {
        const char* What;
        std::string Text;
        std::vector<std::string> Want; // lines the export must hold, in this order
        size_t Plies;
    };
    const std::string tags = "[Event \"x\"]\r\n";
    const std::vector<Case> cases = {
        {"only a comment", tags + "\r\n{abc}\r\n", {"{abc}"}, 0},
        {"only an unclosed comment", tags + "\r\n{abc\r\n", {"{abc}"}, 0},
        {"Variant lines",
         tags + "[Variant rol \"10+0.05\"]\r\n[Variant \"fischerandom\"]\r\n\r\n1. e4 e5 *\r\n",
         {"[Variant rol \"10+0.05\"]", "[Variant \"fischerandom\"]"},
         2},
        // By name, each line once; lines of one name in the order read.
        {"other tags in name order",
         tags + "[Zeta \"1\"]\r\n[Alpha \"2\"]\r\n[Zeta \"1\"]\r\n[Mode \"OTB\"]\r\n[Zeta "
                "\"0\"]\r\n\r\n*\r\n",
         {"[Alpha \"2\"]", "[Mode \"OTB\"]", "[Zeta \"1\"]", "[Zeta \"0\"]", ""},
         0},
        // Damaged lines come out in the form they were read as; lines that
        // name no tag go.
        {"damaged tag lines",
         tags + "[Variant \"]\r\n[Variant \" \r\n[Eve?\r\n[\r\n[Site \"s\r\n[Note  x\r\n\r\n1. "
                "e4 *\r\n",
         {"[Site \"s\"]", "[Note \"\"]", "[Variant \"]\"]", "[Variant \"\"]", ""},
         1},
        // A repeated line is kept once; the last Variant line read still
        // rules, and is written last.
        {"a Variant line repeated",
         tags + "[Variant \"\"]\r\n[Variant >\"]\r\n[Variant >\r\n\r\n1. e4 *\r\n",
         {"[Variant \"]\"]", "[Variant \"\"]", ""},
         1},
        // Names are ordered with letter case ignored; the ruling line still
        // goes behind a "VarianT" line.
        {"a Variant line repeated among names in other letter case",
         tags + "[Variant \"\"]\r\n[VarianT \"a\"]\r\n[Variant \"crazyhouse\"]\r\n[Variant "
                "\"\"]\r\n\r\n1. e4 *\r\n",
         {"[Variant \"crazyhouse\"]", "[Variant \"\"]", ""},
         1},
        // A Variant line cut before its value reads as an empty value, and
        // rules as the last one read.
        {"a Variant line without a value",
         tags + "[Variant \r\n[VarianT \"\"]\r\n\r\n1. e4 *\r\n",
         {"[VarianT \"\"]", "[Variant \"\"]", ""},
         1},
        {"Chess960 named before a Variant line that does not",
         tags + "[FEN \"nbbrknrq/pppppppp/8/8/8/8/PPPPPPPP/NBBRKNRQ w KQkq - 0 1\"]\r\n[Variant "
                "\"Chess960\"]\r\n[Variant \"\"]\r\n\r\n1. e4 *\r\n",
         {"[Variant \"\"]", "[Variant \"Chess960\"]", ""},
         1},
        // The added line stands where a line read would: before a name
        // that sorts after it.
        {"Chess960 added among other tags",
         tags + "[FEN \"nbbrknrq/pppppppp/8/8/8/8/PPPPPPPP/NBBRKNRQ w KQkq - 0 1\"]\r\n[WhiteTeam "
                "\"w\"]\r\n[Annotator2 \"a\"]\r\n\r\n1. e4 *\r\n",
         {"[Annotator2 \"a\"]", "[Variant \"Chess960\"]", "[WhiteTeam \"w\"]", ""},
         1},
        {"a sign on the last move of a variation",
         tags + "\r\n1. e4 e5 (1... c5 $998) $998 *\r\n",
         {"1.e4 e5 $998 (1...c5 $998)  *"},
         2},
        {"time controls as read",
         tags + "[TimeControl \"10+0.05\"]\r\n\r\n1. d4 *\r\n",
         {"[TimeControl \"10+0.05\"]"},
         1},
        {"a time control in periods",
         tags + "[TimeControl \"40/7200:20/3600:900+30\"]\r\n\r\n1. d4 *\r\n",
         {"[TimeControl \"40/7200:20/3600:900+30\"]"},
         1},
        {"a round the number cannot say",
         tags + "[Round \"12.5\"]\r\n\r\n1. d4 *\r\n",
         {"[Round \"12.5\"]"},
         1},
        {"Chess960 from our old marker",
         tags + "[FEN \"rbbqnkrn/pppppppp/8/8/8/8/PPPPPPPP/RBBQNKRN w KQkq f1 0 1\"]\r\n\r\n1. e4 "
                "e5 *\r\n",
         {"[FEN \"rbbqnkrn/pppppppp/8/8/8/8/PPPPPPPP/RBBQNKRN w KQkq - 0 1\"]", "[SetUp \"1\"]",
          "[Variant \"Chess960\"]", ""},
         2},
        {"Chess960 from the standard array",
         tags + "[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq f1 0 1\"]\r\n\r\n1. e4 "
                "*\r\n",
         {"[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\"]", "[SetUp \"1\"]",
          "[Variant \"Chess960\"]"},
         1},
        // Taken up part-way: only the Variant tag says Chess960 now. The
        // castling rook on b1 is not the outermost one (a1).
        {"Chess960 part-way",
         tags + "[FEN \"7k/8/8/8/8/8/8/RR1K4 w B f1 0 30\"]\r\n\r\n30. O-O-O *\r\n",
         {"[FEN \"7k/8/8/8/8/8/8/RR1K4 w B - 0 30\"]", "[Variant \"Chess960\"]"},
         1},
        // Castling letters that name rook files say Chess960 without a
        // Variant tag; KQkq say it only with one.
        {"Chess960 by its file letters",
         tags + "[FEN \"1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w HBhb - 0 1\"]\r\n\r\n1. O-O "
                "O-O-O *\r\n",
         {"[FEN \"1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w KQkq - 0 1\"]",
          "[Variant \"Chess960\"]", "1.O-O O-O-O   *"},
         2},
        {"Chess960 by its Variant tag",
         tags +
             "[Variant \"chess960\"]\r\n[FEN \"1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w KQkq - 0 "
             "1\"]\r\n\r\n1. O-O O-O-O *\r\n",
         {"[FEN \"1r3k1r/pppppppp/8/8/8/8/PPPPPPPP/1R3K1R w KQkq - 0 1\"]",
          "[Variant \"chess960\"]", "1.O-O O-O-O   *"},
         2},
        // Rights whose rook or king is not at home are dropped as read.
        {"castling rights the pieces deny",
         tags + "[FEN \"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w KQkq - 0 1\"]\r\n\r\n1. Kd1 O-O "
                "*\r\n",
         {"[FEN \"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/4K3 w kq - 0 1\"]", "[SetUp \"1\"]",
          "1.Kd1 O-O   *"},
         2},
        {"standard chess in file letters",
         tags + "[FEN \"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w HAh - 0 1\"]\r\n\r\n1. O-O-O "
                "O-O *\r\n",
         {"[FEN \"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQk - 0 1\"]", "[SetUp \"1\"]",
          "1.O-O-O O-O   *"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TNotation a;
        const int loaded = a.LoadPGN(c.Text);
        const std::string out = Export(a);
        const auto lines = SplitCrLf(out);
        auto at = lines.begin();
        for (const std::string& w : c.Want) {
            // Tag lines whole, movetext lines by their start.
            at = std::find_if(at, lines.end(), [&](const std::string& l) {
                return w.rfind("{", 0) == 0 ? l.rfind(w, 0) == 0 : l == w;
            });
            ASSERT_NE(at, lines.end()) << "no line \"" << w << "\" in order in\n" << out;
        }
        EXPECT_EQ(out.find(" f1 "), std::string::npos);
        TNotation b;
        ASSERT_EQ(b.LoadPGN(out), loaded) << out;
        EXPECT_EQ(MainLine(b).size(), c.Plies) << out;
        EXPECT_EQ(MainLine(a).size(), c.Plies);
        EXPECT_EQ(b.GameData.Kommentar, a.GameData.Kommentar);
        EXPECT_EQ(b.ActiveFischerInfo() != nullptr, a.ActiveFischerInfo() != nullptr);
        if (a.ActiveFischerInfo()) {
            EXPECT_EQ(*b.ActiveFischerInfo(), *a.ActiveFischerInfo());
        }
        EXPECT_EQ(Export(b), out);
    }
}

// Blank runs at the ends of a comment: written once, read back the same.
TEST(NotationExport, CommentBlanksSettleAfterOneLoad) {
    for (const std::string text : {"{\r\r - e1 {x}  } 1. e4 {  a  } *", "{   b} 1. d4 {c   } *"}) {
        SCOPED_TRACE(text);
        TNotation a, b;
        a.LoadPGN("[Event \"E\"]\r\n\r\n" + text + "\r\n");
        const std::string first = Export(a);
        ASSERT_EQ(b.LoadPGN(first), 0) << first;
        EXPECT_EQ(Export(b), first);
    }
}
