// SPDX-License-Identifier: GPL-3.0-or-later
// The text side of the xboard driver: output lines into memo texts, the
// position commands, the command sets and the game files.
#include "AThreadWB.h"
#include "TestSupport.h"
#include "XBoardTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kb;

TEST(XBoardParse, ThinkingLinesAsTheMemoShowsThem) {
    // The usual line at move 20: renumbered from 1 to the game's move.
    EXPECT_EQ(ParseOutput("9 35 120 12345 1. e4 e5 2. Nf3", 20, false),
              "Depth: 9  Value: 0.35\r\n20. e4 e5 21. Nf3");
    // No move number: the head ends before the first move.
    EXPECT_EQ(ParseOutput("9 35 120 12345 Nf3 Nc6", 20, false), "Depth: 9  Value: 0.35\r\nNf3 Nc6");
    // Neither letter nor dot: shown trimmed.
    EXPECT_EQ(ParseOutput("  12345  ", 20, false), "12345");
    // Scores: sign, two decimals, large values.
    EXPECT_EQ(ParseOutput("3 -120 5 5 e2e4", 1, false), "Depth: 3  Value: -1.20\r\ne2e4");
    EXPECT_EQ(ParseOutput("3 -5 5 5 e2e4", 1, false), "Depth: 3  Value: -0.05\r\ne2e4");
    EXPECT_EQ(ParseOutput("3 1500 5 5 e2e4", 1, false), "Depth: 3  Value: 15.00\r\ne2e4");
    // A score that is no number gives an empty value.
    EXPECT_EQ(ParseOutput("3 x12 5 5 1. e2e4", 1, false), "Depth: 3  Value: \r\n1. e2e4");
    // Everything up to the first TAB goes.
    EXPECT_EQ(ParseOutput("junk 77\t4 10 0 9 1. d4", 1, false), "Depth: 4  Value: 0.10\r\n1. d4");
    // Unchanged when asked.
    EXPECT_EQ(ParseOutput("\t 4 10 0 9 1. d4", 5, true), "\t 4 10 0 9 1. d4");
    // Lines that are no thinking output stay as they are.
    EXPECT_EQ(ParseOutput("move e2e4", 1, false), "move e2e4");
    EXPECT_EQ(ParseOutput("Error (unknown command): e9", 1, false), "Error (unknown command): e9");
}

TEST(XBoardParse, RenumbersOnlyLinesCountedFromOne) {
    // FEN mode: the engine numbers from the FEN's move; that stays.
    EXPECT_EQ(ParseOutput("9 35 1 1 20. e4 e5 21. Nf3", 20, false),
              "Depth: 9  Value: 0.35\r\n20. e4 e5 21. Nf3");
    EXPECT_EQ(ParseOutput("9 35 1 1 20... e5 21. Nf3", 20, false),
              "Depth: 9  Value: 0.35\r\n20... e5 21. Nf3");
    // Edit mode with Black to move.
    EXPECT_EQ(ParseOutput("9 35 1 1 1... e5 2. Nf3", 31, false),
              "Depth: 9  Value: 0.35\r\n31... e5 32. Nf3");
    // At move 1 nothing changes.
    EXPECT_EQ(ParseOutput("9 35 1 1 1. e4 e5 2. Nf3", 1, false),
              "Depth: 9  Value: 0.35\r\n1. e4 e5 2. Nf3");
}

TEST(XBoardParse, ThinkingErrorAndFeatureLines) {
    for (const char* t :
         {"9 35 120 12345 1. e4 e5", "  6  29995    26    17063  h2-h4  Kg5-h5",
          "4 437 0 1427 (+) 1. Qxf4+ Kg6", "9& -12 8 125 Nc3", "5 0 1 1", "x\t7 +15 8 1 O-O",
          " 7  999994  3  237  <h4+> Kh5", "3 1 2 3 13. ... e5"})
        EXPECT_TRUE(IsThinkingLine(t)) << t;
    for (const char* t : {"stat01: 13 9426 6 36 37 h2h4", "Used time : 0", "12345", "9 35 x 1 e4",
                          "1 0 0 0 NNUE evaluation using nn-ad9b42354671.nnue enabled",
                          "Error (command not implemented): edit", "9.5 1 1 1 e4"})
        EXPECT_FALSE(IsThinkingLine(t)) << t;
    bool position = false;
    EXPECT_TRUE(IsErrorLine("Error (command not implemented): edit", &position));
    EXPECT_TRUE(position);
    EXPECT_TRUE(IsErrorLine("Error (unknown command): Pe4", &position));
    EXPECT_TRUE(position);
    EXPECT_TRUE(IsErrorLine("Illegal move: a2a3", &position));
    EXPECT_TRUE(position);
    EXPECT_TRUE(IsErrorLine("Error (unknown command): protover", &position));
    EXPECT_FALSE(position);
    EXPECT_TRUE(IsErrorLine("tellusererror POLYGLOT: no engine", &position));
    EXPECT_FALSE(position);
    EXPECT_FALSE(IsErrorLine("Invalid move: .", &position));
    EXPECT_FALSE(IsErrorLine("9 35 1 1 e4"));
    using TF = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(
        ParseFeatures("feature setboard=1 myname=\"Fairy-Max 5.0b\" option=\"a -spin 0 1\" done=1"),
        (TF{{"setboard", "1"},
            {"myname", "Fairy-Max 5.0b"},
            {"option", "a -spin 0 1"},
            {"done", "1"}}));
    EXPECT_EQ(ParseFeatures("feature done=0"), (TF{{"done", "0"}}));
    EXPECT_EQ(ParseFeatures("featureless=1"), (TF{}));
    EXPECT_EQ(ParseFeatures("feature myname=\"unclosed"), (TF{{"myname", "unclosed"}}));
}

TEST(XBoardParse, AnswersBehindPromptsAreFound) {
    // Prompts written without a line end before what the engine says next.
    EXPECT_EQ(Answer("White (1) : White (1) : pong 5"), "pong 5");
    EXPECT_EQ(Answer(" Black (12) : 1 +0 0 4 Nf6 "), "1 +0 0 4 Nf6");
    EXPECT_EQ(Answer("White(1): Error (unknown command): ."), "Error (unknown command): .");
    EXPECT_EQ(Answer("White (1) : Illegal move: e2e5"), "Illegal move: e2e5");
    EXPECT_EQ(Answer("White (1) : move e7e5"), "move e7e5");
    EXPECT_EQ(Answer("White (1) : feature done=1"), "feature done=1");
    // What stands first is the answer; a line without one stays whole.
    EXPECT_EQ(Answer("Error (unknown command): pong 3"), "Error (unknown command): pong 3");
    EXPECT_EQ(Answer("telluser Illegal move: 1 2 3 4 e4"), "telluser Illegal move: 1 2 3 4 e4");
    // Prompts stand before any line, results too.
    EXPECT_EQ(Answer("White (1) : Invalid move: ."), "Invalid move: .");
    EXPECT_EQ(Answer("Black (149) : 1/2-1/2 {Draw by fifty-move rule}"),
              "1/2-1/2 {Draw by fifty-move rule}");
    EXPECT_EQ(Answer("White (1) : Black(2): 0-1 {Black mates}"), "0-1 {Black mates}");
    EXPECT_EQ(Answer("Nodes:1 2 3 4 e4"), "Nodes:1 2 3 4 e4");
    EXPECT_EQ(Answer("stat01: 5 6 7 8"), "stat01: 5 6 7 8");
    EXPECT_EQ(Answer("Time for move : 1 2 3 4 e4"), "Time for move : 1 2 3 4 e4");
    EXPECT_EQ(Answer("Draw (by rule) : 1/2-1/2"), "Draw (by rule) : 1/2-1/2");
    EXPECT_EQ(Answer("White (1) : "), "");
}

TEST(XBoardParse, HostileLinesStayBounded) {
    // Numbers beyond any integer: no value, number left as it is.
    const std::string s = ParseOutput(
        "99999999999999999999999 -99999999999999999999999 1 1 99999999999999999999999. e4", 40,
        false);
    EXPECT_EQ(s, "Depth: 99999999999999999999999  Value: \r\n"
                 "99999999999999999999999. e4");
    EXPECT_EQ(ParseOutput("12 99999999999 1 1 e4 e5", 1, false), "Depth: 12  Value: \r\ne4 e5");
    EXPECT_EQ(ParseOutput("12 -2147483649 1 1 e4", 1, false), "Depth: 12  Value: \r\ne4");
    EXPECT_EQ(ParseOutput("12 -2147483648 1 1 e4", 1, false),
              "Depth: 12  Value: -21474836.48\r\ne4");
    EXPECT_EQ(ParseOutput("5 2147483647 1 1 1. e4 2. d4", 2147483647, false),
              "Depth: 5  Value: 21474836.47\r\n2147483647. e4 2147483648. d4");
    // A megabyte line is cut to the kept length before it is parsed.
    const std::string big = "7 10 1 1 " + std::string(1 << 20, 'a');
    const std::string out = ParseOutput(big, 1, false);
    EXPECT_LE(out.size(), TAnalyseThreadWB::MaxLine + 40);
    EXPECT_EQ(out.rfind("Depth: 7  Value: 0.10\r\n", 0), 0u);
    // Seeded random bytes: never a crash, always bounded.
    uint32_t seed = 12345;
    for (int i = 0; i < 2000; ++i) {
        std::string line;
        const int len = static_cast<int>(seed % 300);
        for (int j = 0; j < len; ++j) {
            seed = seed * 1103515245 + 12345;
            line += static_cast<char>("0123456789. -+\tabcNRe\r"[(seed >> 16) % 22]);
        }
        const std::string r = ParseOutput(line, static_cast<int>(seed % 500) + 1, false);
        ASSERT_LE(r.size(), 3 * line.size() + 64) << "seed step " << i;
    }
}

TEST(XBoardCommands, FenModeIsOneWriteEditModeSeveral) {
    TWBInfo info;
    SetCraftyEngineCommands(info);
    const TEnginePosition black =
        kbtest::FromFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    const auto fen = PositionCommands(info, black);
    ASSERT_EQ(fen.size(), 1u);
    EXPECT_EQ(fen[0], "setboard rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1\r\n"
                      "post\r\nanalyze\r\n");
    // Any case selects FEN mode.
    info.SetPosition = "SetBoard";
    EXPECT_TRUE(IsFenMode(info));

    SetGeneralEngineCommands(info);
    const TEnginePosition p = kbtest::FromFen("4k3/8/8/8/8/8/4P3/4K2R b K - 0 30");
    const auto edit = PositionCommands(info, p);
    const std::vector<std::string> want{"new\r\nforce\r\n",        "a2a3\r\n", "edit\r\n#\r\n",
                                        "Ke1\r\nRh1\r\nPe2\r\n",   "c\r\n",    "Ke8\r\n",
                                        ".\r\npost\r\nanalyze\r\n"};
    EXPECT_EQ(edit, want);
    // White to move: no a2a3.
    const auto white = PositionCommands(info, kbtest::FromFen("4k3/8/8/8/8/8/4P3/4K2R w K - 0 30"));
    EXPECT_EQ(white[1], "edit\r\n#\r\n");
    EXPECT_EQ(ToLf(want.back()), ".\npost\nanalyze\n");
    EXPECT_EQ(ToLf("a\rb\r\n"), "a\rb\n");
}

TEST(XBoardCommands, EachRunGetsItsOwnCommandSet) {
    TWBInfo tmpl;
    tmpl.Parameter = "log=off hash=1000000";
    tmpl.Init = "xboard\r\n";
    tmpl.SetPosition = "setboard";
    // CRAFTY in any case gets its column and its words...
    TWBInfo c = EngineCommandsFor("/opt/x/Crafty-25", tmpl, true, "log=off hash=1000000");
    EXPECT_EQ(c.Parameter, "log=off hash=1000000");
    EXPECT_EQ(c.StopAnalyze, "exit\r\n");
    // ... and the next engine does not inherit them.
    TWBInfo g = EngineCommandsFor("/usr/games/fairymax", tmpl, false, "log=off hash=1000000");
    EXPECT_EQ(g.SetPosition, "edit");
    EXPECT_EQ(g.Parameter, "");
    EXPECT_EQ(tmpl.Init, "xboard\r\n");
    // From the ini: the commands as read, the default words dropped, words
    // the ini gave kept.
    TWBInfo i = EngineCommandsFor("/usr/games/phalanx", tmpl, true, "log=off hash=1000000");
    EXPECT_EQ(i.SetPosition, "setboard");
    EXPECT_EQ(i.Init, "xboard\r\n");
    EXPECT_EQ(i.Parameter, "");
    tmpl.Parameter = "-c /usr/games/stockfish";
    EXPECT_EQ(
        EngineCommandsFor("/usr/games/polyglot", tmpl, true, "log=off hash=1000000").Parameter,
        "-c /usr/games/stockfish");
    EXPECT_EQ(SplitWords("  -noini   -ec\t/x "), (std::vector<std::string>{"-noini", "-ec", "/x"}));
}

TEST(XBoardCommands, GameFilesAreCreatedExclusively) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "game.001", "taken");
    const std::string a = CraftyGameFile(dir.path().string());
    const std::string b = CraftyGameFile(dir.path().string() + "/");
    EXPECT_EQ(a, (dir / "game.002").string());
    EXPECT_EQ(b, (dir / "game.003").string());
    EXPECT_TRUE(std::filesystem::exists(a));
    EXPECT_EQ(kbtest::ReadFile(dir / "game.001"), "taken");
    EXPECT_EQ(CraftyGameFile((dir / "missing" / "deeper").string()), "");
}

TEST(XBoardCommands, EnginesWithoutFenAreToldTheGameOrNothing) {
    TWBInfo edit;
    SetGeneralEngineCommands(edit);
    TWBInfo fen;
    SetCraftyEngineCommands(fen);
    // The king walk from the start: "new" and the moves, never an edit
    // block (it would give back both castlings).
    const TEnginePosition walk = kbtest::FromGame(kbtest::StandardFen, kbtest::KingWalk);
    EXPECT_EQ(StellungToFEN(walk.Brett, walk.Zug, walk.MoveNo, false), kbtest::KingWalkFen);
    EXPECT_EQ(
        PositionCommands(edit, walk),
        (std::vector<std::string>{"new\r\nforce\r\n",
                                  "e2e4\r\ne7e5\r\ng1f3\r\nb8c6\r\nf1c4\r\nf8c5\r\ne1e2\r\n"
                                  "e8e7\r\ne2e1\r\ne7e8\r\nd2d3\r\nd7d6\r\npost\r\nanalyze\r\n"}));
    // FEN says it all.
    EXPECT_EQ(
        PositionCommands(fen, walk),
        std::vector<std::string>{"setboard " + kbtest::KingWalkFen + "\r\npost\r\nanalyze\r\n"});
    // The fifty-move count is the game's: a ply since the last capture, four
    // since the start.
    EXPECT_EQ(PositionCommands(fen, kbtest::FromGame(kbtest::StandardFen,
                                                     "e4 e5 Nf3 Nc6 Bc4 Bc5 Ke2 Ke7 Nxe5 Nxe5 Ke1"))
                  .front(),
              "setboard r1bq2nr/ppppkppp/8/2b1n3/2B1P3/8/PPPP1PPP/RNBQK2R b - - 1 6\r\n"
              "post\r\nanalyze\r\n");
    EXPECT_EQ(
        PositionCommands(fen, kbtest::FromGame(kbtest::StandardFen, "Nf3 Nf6 Ng1 Ng8")).front(),
        "setboard " + kbtest::StandardFen.substr(0, kbtest::StandardFen.size() - 4) +
            " 4 3\r\npost\r\nanalyze\r\n");
    // The same position without its game cannot be told in edit mode.
    EXPECT_TRUE(PositionCommands(edit, kbtest::FromFen(kbtest::KingWalkFen)).empty());
    // Nor can a capture en passant; with its game it can.
    const std::string ep = "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3";
    EXPECT_TRUE(PositionCommands(edit, kbtest::FromFen(ep)).empty());
    const auto epGame =
        PositionCommands(edit, kbtest::FromGame(kbtest::StandardFen, "e4 d5 e5 f5"));
    ASSERT_EQ(epGame.size(), 2u);
    EXPECT_EQ(epGame[1], "e2e4\r\nd7d5\r\ne4e5\r\nf7f5\r\npost\r\nanalyze\r\n");
    // An e.p. square no pawn can use changes nothing: the position alone.
    EXPECT_EQ(PositionCommands(edit, kbtest::FromFen("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1")).size(),
              7u);
    // A game from a set-up position that edit mode gives exactly: that
    // position, then the moves; the move number plays no part.
    const auto mate =
        PositionCommands(edit, kbtest::FromGame(kbtest::MateIn3Fen, "h4+ Kh5 Bf7+ Kxh4 Qxh6#"));
    ASSERT_EQ(mate.size(), 6u);
    EXPECT_EQ(mate[0], "new\r\nforce\r\n");
    EXPECT_EQ(mate[1], "edit\r\n#\r\n");
    EXPECT_EQ(mate[2], "Ph2\r\nPa3\r\nKf3\r\nBc4\r\nQd6\r\n");
    EXPECT_EQ(mate[5], ".\r\nh2h4\r\ng5h5\r\nc4f7\r\nh5h4\r\nd6h6\r\npost\r\nanalyze\r\n");
    // Moves that do not lead to the position are not used.
    TEnginePosition wrong = walk;
    wrong.Moves.pop_back();
    EXPECT_TRUE(PositionCommands(edit, wrong).empty());
    wrong = kbtest::FromGame(kbtest::StandardFen, "e4");
    wrong.Moves.front().To = SqE3;
    EXPECT_EQ(PositionCommands(edit, wrong).size(), 7u); // the position itself, black to move
    // Chess960 castling cannot be said in plain FEN nor in edit mode.
    TEnginePosition fischer =
        kbtest::FromFen("nrbqkbrn/pppppppp/8/8/8/8/PPPPPPPP/NRBQKBRN w - - 0 1");
    fischer.Fischer = true;
    fischer.Zug.CastlingRights = AllCastlingRights;
    EXPECT_TRUE(PositionCommands(fen, fischer).empty());
    EXPECT_TRUE(PositionCommands(edit, fischer).empty());
    // Promotions go out with their piece.
    TZug promo;
    promo.From = SqE7;
    promo.To = SqE8;
    promo.Promotion = -Springer;
    EXPECT_EQ(CoordinateMove(promo), "e7e8n");
}

TEST(XBoardParse, ShownMovesAreLegalOnTheBoard) {
    const TEnginePosition walk = kbtest::FromGame(kbtest::StandardFen, kbtest::KingWalk);
    auto shown = [&](const std::string& Line, const TEnginePosition& P) {
        return ParseOutput(Line, P.MoveNo, false, &P);
    };
    // Castling that is gone, nonsense: the line is not about this board.
    for (const char* l : {"8 1 0 0 e1g1 c6a5 b1d2", "8 1 0 0 O-O Na5", "6 11 0 100 Ke1e8 Qh9 zz99",
                          "8 1 0 0 1. e4 e5"})
        EXPECT_EQ(shown(l, walk), "") << l;
    // Every way engines write moves, numbered or not.
    EXPECT_EQ(shown("9 17 0 0 7. Nc3 Na5 8. Na4 Nxc4 9. Nxc5 Nb6", walk),
              "Depth: 9  Value: 0.17\r\n7. Nc3 Na5 8. Na4 Nxc4 9. Nxc5 Nb6");
    EXPECT_EQ(shown("13 25 0 0 Nb1-c3  Nc6-a5  Bc4-b3  Na5xb3  a2xb3", walk),
              "Depth: 13  Value: 0.25\r\nNb1-c3  Nc6-a5  Bc4-b3  Na5xb3  a2xb3");
    EXPECT_EQ(shown("23 32 0 0 Ng5!", walk), "Depth: 23  Value: 0.32\r\nNg5!");
    EXPECT_EQ(shown("7 18 0 0 b1c3 g8f6 c1g5 (+) h7h6", walk),
              "Depth: 7  Value: 0.18\r\nb1c3 g8f6 c1g5 (+) h7h6");
    // A move that cannot be played in its turn, wherever it stands, makes
    // the line another position's; a word that is no move ends it.
    EXPECT_EQ(shown("9 35 1 1 1. Nc3 Nf6 2. O-O O-O", walk), "");
    EXPECT_EQ(shown("9 35 1 1 1. Nc3 Nf6 2. Ke1e8", walk), "");
    EXPECT_EQ(shown("9 35 1 1 1. Nc3 Nf6 <HT> 2. O-O", walk),
              "Depth: 9  Value: 0.35\r\n7. Nc3 Nf6");
    // Two positions of one game with the same side to move: the line of the
    // one before fits here by its moves but not by its check.
    const TEnginePosition end = kbtest::FromFen("1R6/8/8/k7/8/3K4/4N2r/8 w - - 0 150");
    EXPECT_EQ(shown("6 47 0 0 Rb1+", end), "");
    EXPECT_EQ(shown("6 47 0 0 Rb1 Rh1 Rb2#", end), "");
    EXPECT_EQ(shown("6 47 0 0 Rb5+ Ka4 Nc3+ Ka3", end),
              "Depth: 6  Value: 0.47\r\nRb5+ Ka4 Nc3+ Ka3");
    // A line of the other side, as one from the step before comes.
    EXPECT_EQ(shown("6 -47 0 0 Rh3+ Kd4", end), "");
    // Black to move, en passant and promotion.
    const TEnginePosition ep = kbtest::FromGame(kbtest::StandardFen, "e4 d5 e5 f5");
    EXPECT_EQ(shown("5 40 0 0 exf6 Nxf6 d4", ep), "Depth: 5  Value: 0.40\r\nexf6 Nxf6 d4");
    EXPECT_EQ(shown("5 40 0 0 e5f6 g8f6", ep), "Depth: 5  Value: 0.40\r\ne5f6 g8f6");
    const TEnginePosition promo = kbtest::FromFen("8/4P1k1/8/8/8/8/6K1/8 w - - 0 1");
    EXPECT_EQ(shown("5 900 0 0 e8=Q Kf6 e7e8", promo), "");
    EXPECT_EQ(shown("5 900 0 0 e8=Q Kf6", promo), "Depth: 5  Value: 9.00\r\ne8=Q Kf6");
    EXPECT_EQ(shown("5 900 0 0 e7e8q Kf6", promo), "Depth: 5  Value: 9.00\r\ne7e8q Kf6");
    EXPECT_EQ(shown("5 900 0 0 e8N+ Kf6", promo), ""); // the knight guards f6
    EXPECT_EQ(shown("5 900 0 0 e8N+ Kg6", promo), "Depth: 5  Value: 9.00\r\ne8N+ Kg6");
    // Ambiguous SAN names no move.
    const TEnginePosition rooks = kbtest::FromFen("4k3/8/8/8/8/8/4K3/R6R w - - 0 1");
    EXPECT_EQ(shown("3 5 0 0 Rd1", rooks), "");
    EXPECT_EQ(shown("3 5 0 0 Rad1", rooks), "Depth: 3  Value: 0.05\r\nRad1");
    // Book moves to choose from: about this position when the first is legal.
    const TEnginePosition black = kbtest::FromGame(kbtest::StandardFen, "e4");
    EXPECT_EQ(shown("0 0 0 0  (e7-e5  c7-c5  Ng8-f6  , book1)", black),
              "Depth: 0  Value: 0.00\r\n(e7-e5  c7-c5  Ng8-f6  , book1)");
    EXPECT_EQ(shown("0 0 0 0  (e2-e4  d2-d4  , book1)", black), "");
    // A line without moves stays as it is; so does the parser without a board.
    EXPECT_EQ(shown("12345", walk), "12345");
    EXPECT_EQ(ParseOutput("8 1 0 0 e1g1 c6a5", 7, false), "Depth: 8  Value: 0.01\r\ne1g1 c6a5");
}
