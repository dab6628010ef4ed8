// SPDX-License-Identifier: GPL-3.0-or-later
// Classifying games: the deepest main-line position decides, over games of
// any length; games that cannot be classified come back untouched; the one
// forward pass answers as a literal backward scan over the whole table does.
#include "EcoTestUtil.h"

#include <gtest/gtest.h>

using namespace kb;

namespace {

std::string Found(const TfrmEco& eco) {
    return eco.Code + "|" + eco.Opening + "|" + eco.Variation;
}

std::string Classified(const std::string& text) {
    TfrmEco eco;
    eco.Classify(text);
    return Found(eco);
}

std::string Game(const std::string& movetext, const std::string& tags = {}) {
    return "[Event \"Test\"]\r\n[White \"A\"]\r\n[Black \"B\"]\r\n[Result \"*\"]\r\n" + tags +
           "\r\n" + movetext + " *\r\n";
}

TEST(EcoClassify, DeepestMainLinePositionDecides) {
    // Leaves the table after 1.b4 c6.
    EXPECT_EQ(Classified(Game("1. b4 c6 2. a3 h6 3. h4 a6")), "A00|Polish|Outflank variation");
    // A line of the table read as a game and one move further.
    EXPECT_EQ(Classified(Game("1. e4 e5 2. Nf3 Nc6 3. Bb5 a6")),
              Classified(Game("1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. h3 h6")));
    // Variations are never looked at, however deep they reach.
    const std::string mainOnly = Classified(Game("1. h4 h5 2. a4"));
    EXPECT_EQ(Classified(Game("1. h4 (1. d4 d5 2. c4 e6 3. Nc3 Nf6 4. Bg5 Be7) h5 2. a4 (2. d4 "
                              "d5 3. c4 e6)")),
              mainOnly);
    EXPECT_NE(mainOnly.substr(0, 1), "D");
    // A position counts by itself, not by the move order that reached it.
    EXPECT_EQ(Classified(Game("1. c4 e6 2. d4 Nf6 3. Nf3")),
              Classified(Game("1. d4 Nf6 2. c4 e6 3. Nf3")));
}

// Two positions are the same when the same moves are possible there: the
// en-passant square of a double step counts only when a pawn may take en
// passant; the side to move always counts.
TEST(EcoClassify, TranspositionsThroughADoubleStepKeepTheirOpening) {
    EXPECT_EQ(Classified(Game("1. d4 d5 2. Nf3")).substr(0, 4), "D02|");
    // Same placement, last move a double step no pawn can answer.
    EXPECT_EQ(Classified(Game("1. Nf3 d5 2. d4")), Classified(Game("1. d4 d5 2. Nf3")));
    // King's Indian, fianchetto, Yugoslav line, reached from the Reti.
    EXPECT_EQ(Classified(Game("1. Nf3 Nf6 2. g3 g6 3. c4 Bg7 4. Bg2 O-O 5. O-O d6 6. Nc3 c5 "
                              "7. d4 Nc6 8. dxc5"))
                  .substr(0, 4),
              "E65|");
    // 5.d3 Nf6 6.d4 has the placement of the row 5.d4 Nf6 with Black to move.
    const std::string petrov = "1. e4 e5 2. Nf3 Nf6 3. Nxe5 d6 4. Nf3 Nxe4 5. d3";
    EXPECT_EQ(Classified(Game(petrov + " Nf6 6. d4")), Classified(Game(petrov)));
    EXPECT_NE(Classified(Game(petrov + " Nf6 6. d4")),
              Classified(Game("1. e4 e5 2. Nf3 Nf6 3. Nxe5 d6 4. Nf3 Nxe4 5. d4 Nf6")));
}

TEST(EcoClassify, EnPassantSquareCountsOnlyWhereTheCaptureIsLegal) {
    auto key = [](const std::string& fen) {
        TSchachbrett b{};
        TZug z{};
        uint16_t moveNo = 1;
        EXPECT_TRUE(FENToStellung(fen, b, z, moveNo, nullptr)) << fen;
        return EcoKey(b, z);
    };
    // b5xc6 is possible: another position than without the square.
    EXPECT_NE(key("4k3/8/8/KPp5/8/8/8/8 w - c6 0 1"), key("4k3/8/8/KPp5/8/8/8/8 w - - 0 1"));
    // No pawn beside c5, or the one there is pinned along the rank: the same.
    EXPECT_EQ(key("4k3/8/8/K1p5/8/8/8/8 w - c6 0 1"), key("4k3/8/8/K1p5/8/8/8/8 w - - 0 1"));
    EXPECT_EQ(key("4k3/8/8/KPp4r/8/8/8/8 w - c6 0 1"), key("4k3/8/8/KPp4r/8/8/8/8 w - - 0 1"));
    // Black takes on the third rank, from either side.
    EXPECT_NE(key("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1"), key("4k3/8/8/8/3Pp3/8/8/4K3 b - - 0 1"));
    EXPECT_NE(key("4k3/8/8/8/2pP4/8/8/4K3 b - d3 0 1"), key("4k3/8/8/8/2pP4/8/8/4K3 b - - 0 1"));
    // The side to move always counts.
    EXPECT_NE(key("4k3/8/8/K1p5/8/8/8/8 w - - 0 1"), key("4k3/8/8/K1p5/8/8/8/8 b - - 0 1"));
}

TEST(EcoClassify, GamesFromPositions) {
    // Never in the table: nothing found, and the ECO run removes a stale tag.
    const std::string ending = Game("1. Kd3 Kd5", "[FEN \"8/8/4k3/8/8/4K3/4P3/8 w - - 0 1\"]\r\n"
                                                  "[SetUp \"1\"]\r\n[ECO \"C20\"]\r\n");
    TfrmEco eco;
    EXPECT_FALSE(eco.Classify(ending));
    EXPECT_EQ(Found(eco), "||");
    std::string out;
    ASSERT_TRUE(eco.ClassifyGame(ending, out));
    EXPECT_EQ(ecotest::TagValue(out, "ECO"), "");
    EXPECT_EQ(ecotest::TagValue(out, "FEN"), "8/8/4k3/8/8/4K3/4P3/8 w - - 0 1");
    EXPECT_NE(out.find("1.Kd3 Kd5"), std::string::npos);
    // A start position that is in the table counts, also with no moves.
    const std::string polish =
        Game("", "[FEN \"" + std::string(EcoTable[2].FEN) + "\"]\r\n[SetUp \"1\"]\r\n");
    EXPECT_EQ(Classified(polish), "A00|Polish|Outflank variation");
    EXPECT_EQ(Classified(Game("2. Nf3 h6", "[FEN \"" + std::string(EcoTable[2].FEN) +
                                               "\"]\r\n[SetUp \"1\"]\r\n")),
              "A00|Polish|Outflank variation");
}

// Far more than 200 moves after the opening: the opening still decides.
TEST(EcoClassify, LongGamesKeepTheirCode) {
    const std::string opening = "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6";
    std::string moves = opening;
    for (int n = 4; n < 4 + 2 * 120; n += 2)
        moves += " " + std::to_string(n) + ". Ke2 Ke7 " + std::to_string(n + 1) + ". Ke1 Ke8";
    const std::string want = Classified(Game(opening));
    ASSERT_NE(want, "||");
    const std::string game = Game(moves, "[ECO \"" + want.substr(0, 3) + "\"]\r\n");
    EXPECT_EQ(Classified(game), want);
    TfrmEco eco;
    std::string out;
    ASSERT_TRUE(eco.ClassifyGame(game, out));
    EXPECT_EQ(ecotest::TagValue(out, "ECO"), want.substr(0, 3));
    EXPECT_NE(out.find("243.Ke1"), std::string::npos); // every move written back
}

TEST(EcoClassify, ClassifyGameSetsTheTagAndKeepsTheRest) {
    const std::string game =
        Game("1. e4 c5 2. Nf3 d6 3. d4 cxd4 4. Nxd4 Nf6 5. Nc3 a6 {Najdorf} 6. Be3 (6. Bg5) e5",
             "[ECO \"A00\"]\r\n[Opening \"Sicilian\"]\r\n[WhiteTitle \"GM\"]\r\n");
    TfrmEco eco;
    std::string out;
    ASSERT_TRUE(eco.ClassifyGame(game, out));
    EXPECT_EQ(ecotest::TagValue(out, "ECO"), eco.Code);
    EXPECT_EQ(eco.Code.substr(0, 1), "B");
    EXPECT_EQ(ecotest::TagValue(out, "Opening"), "Sicilian");
    EXPECT_EQ(ecotest::TagValue(out, "WhiteTitle"), "GM");
    EXPECT_NE(out.find("{Najdorf}"), std::string::npos);
    EXPECT_NE(out.find("(6.Bg5)"), std::string::npos);
    // A second run changes nothing.
    std::string again;
    ASSERT_TRUE(eco.ClassifyGame(out, again));
    EXPECT_EQ(again, out);
}

// Without a main line to classify the text must come back byte for byte:
// a half-read game written back would lose its remaining moves.
TEST(EcoClassify, GamesThatCannotBeClassifiedComeBackUntouched) {
    const std::string chess960 = kbtest::SplitPgnGames(
        kbtest::ReadFile(kbtest::TestData("pgn/chess960-engine-games.pgn")))[0];
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a move that does not read", Game("1. e4 e5 2. Nf3 Zz4 3. Bc4 Nf6", "[ECO \"C40\"]\r\n")},
        {"a FEN the reader rejects", Game("", "[FEN \"not a position\"]\r\n[ECO \"B00\"]\r\n")},
        {"Chess960", chess960},
        {"blank text", "\r\n \r\n"},
    };
    TfrmEco eco;
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        std::string out = "stale";
        EXPECT_FALSE(eco.ClassifyGame(text, out));
        EXPECT_EQ(out, text);
        EXPECT_EQ(Found(eco), "||");
    }
    // The same object classifies the next game as usual.
    std::string out;
    EXPECT_TRUE(eco.ClassifyGame(Game("1. b4 c6"), out));
    EXPECT_EQ(ecotest::TagValue(out, "ECO"), "A00");
}

TEST(EcoClassify, FindEcoLooksUpTheCurrentFen) {
    TfrmEco eco;
    eco.Notation1MoveChange(&eco.Notation1, TZug{1, 0, 1}, StandardStellung, false);
    // OnMoveChange reports with move number 1 whatever the game's number.
    EXPECT_EQ(eco.CurrentFEN, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1");
    eco.Code = "X";
    EXPECT_FALSE(eco.FindEco());
    EXPECT_EQ(eco.Code, "X"); // untouched when nothing matches
    // Halfmove clock and move number play no part.
    std::string fen = EcoTable[100].FEN;
    eco.CurrentFEN = fen.substr(0, fen.size() - 3) + "7 23";
    ASSERT_TRUE(eco.FindEco());
    EXPECT_EQ(Found(eco), "A14|English|Neo-Catalan declined");
    // Loading a game reports its start position through the event.
    eco.Classify(Game("5. Kd3 Kd5", "[FEN \"8/8/4k3/8/8/4K3/4P3/8 w - - 0 5\"]\r\n"));
    EXPECT_EQ(eco.CurrentFEN, "8/8/4k3/8/8/4K3/4P3/8 w - - 0 1");
}

// The classification as a scan backward from the end of the main line, the
// first row whose FEN occurs in the position's FEN winning, with no limit on
// the steps back: the one pass forward must give the same answer.
// Both FENs are read with the en-passant square only where a capture there
// is legal.
std::string BackwardScan(const std::string& game) {
    TNotation n;
    std::string fen;
    n.OnMoveChange = [&](TNotation*, TZug z, TSchachbrett b, bool) {
        fen = ecotest::NormalFen(StellungToFEN(b, z, 1, false));
    };
    if (n.LoadPGN(game) != 0 || n.ActiveFischerInfo()) return "||";
    n.GotoEnd();
    const auto& rows = ecotest::NormalTableFens();
    for (;;) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (fen.find(rows[i]) != std::string::npos) {
                const TEcoRow& r = EcoTable[i];
                return std::string(r.Code) + "|" + r.Opening + "|" + r.Variation;
            }
        if (!n.MoveBack()) return "||";
    }
}

TEST(EcoClassify, AgreesWithABackwardScanOnRealGames) {
    TfrmEco eco;
    int compared = 0, found = 0;
    for (const char* file : {"pgn/Carlsen.pgn", "pgn/Korchnoi.pgn"}) {
        const auto games = kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData(file)));
        ASSERT_GT(games.size(), 1000u);
        for (size_t i = 0; i < games.size(); i += 23) {
            eco.Classify(games[i]);
            EXPECT_EQ(Found(eco), BackwardScan(games[i])) << file << " game " << i + 1;
            ++compared;
            found += !eco.Code.empty();
        }
    }
    EXPECT_GT(compared, 300);
    EXPECT_GT(found, compared * 9 / 10);
}

} // namespace
