// SPDX-License-Identifier: GPL-3.0-or-later
// PGN import: movetext reader, variations, comments, NAGs and the checks
// that keep broken moves out of the tree.
#include "NotationTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace kb;
using kbtest::MainLine;
using kbtest::MainLineTexts;
using kbtest::Pgn;
using kbtest::Sq;

namespace {

struct Loaded {
    TNotation n;
    int result = 0;
    int errors = 0;
    int moveChanges = 0;
    explicit Loaded(const std::string& text, bool english = true) {
        n.SetEnglish(english);
        n.OnError = [this](TNotation*, const std::string&) { ++errors; };
        n.OnMoveChange = [this](TNotation*, TZug, TSchachbrett, bool) { ++moveChanges; };
        result = n.LoadPGN(text);
    }
};

TEST(NotationImport, MainLineWithResultEndsMovetext) {
    Loaded g(Pgn("1. e4 e5 2. Nf3 Nc6 * 3. Bb5"));
    EXPECT_EQ(g.result, 0);
    EXPECT_EQ(g.errors, 0);
    EXPECT_EQ(g.moveChanges, 1); // once, at the end of the load
    EXPECT_EQ(MainLineTexts(g.n), (std::vector<std::string>{"1.e4", "e5", "2.Nf3", "Nc6"}));
    EXPECT_EQ(g.n.CurrentMove, nullptr);
    EXPECT_FALSE(g.n.Modified);
    EXPECT_EQ(g.n.GameData.EventData.White, "A");
}

TEST(NotationImport, CommentsBecomeGameAndMoveComments) {
    Loaded g(Pgn("{Opening} 1. e4 { best } {second} e5"));
    EXPECT_EQ(g.n.GameData.Kommentar, "{Opening} ");
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 2u);
    EXPECT_EQ(ml[0]->Kommentar, "{best} | {second}");
    EXPECT_EQ(ml[1]->Kommentar, "");
}

TEST(NotationImport, CommentGluedToMoveIsStillAComment) {
    Loaded g(Pgn("1. e4{good move} e5 2. Nf3(2. f4) Nc6"));
    EXPECT_EQ(g.result, 0);
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 4u);
    EXPECT_EQ(ml[0]->Kommentar, "{good move}");
    ASSERT_NE(ml[2]->Variations, nullptr);
}

TEST(NotationImport, VariationsHangOnTheMoveTheyReplace) {
    Loaded g(Pgn("1. e4 (1. d4 d5) (1. c4) e5 2. Nf3"));
    EXPECT_EQ(g.result, 0);
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 3u);
    TVariante* v1 = ml[0]->Variations;
    ASSERT_NE(v1, nullptr);
    TVariante* v2 = v1->Naechste;
    ASSERT_NE(v2, nullptr);
    EXPECT_EQ(v2->Vorige, v1);
    EXPECT_EQ(v2->Naechste, nullptr);
    auto l1 = kbtest::Line(v1), l2 = kbtest::Line(v2);
    ASSERT_EQ(l1.size(), 2u);
    ASSERT_EQ(l2.size(), 1u);
    EXPECT_EQ(l1[0]->Prev, ml[0]);
    EXPECT_EQ(l1[0]->Zug.From, Sq("d2"));
    EXPECT_EQ(l1[1]->Zug.From, Sq("d7"));
    EXPECT_EQ(l2[0]->Zug.From, Sq("c2"));
    EXPECT_EQ(ml[1]->Prev, ml[0]);
    EXPECT_EQ(ml[0]->Next, ml[1]);
    EXPECT_EQ(ml[1]->Zug.From, Sq("e7"));
}

TEST(NotationImport, NestedVariationsAndOpenBrackets) {
    Loaded g(Pgn("1. e4 e5 (1... c5 2. Nf3 (2. c3 d5 (2... Nf6)) d6) 2. Nf3 ) Nc6 3. Bb5 (3. Bc4"));
    EXPECT_EQ(g.result, 0);
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 5u); // the stray ")" is ignored, the open "(" keeps its move
    auto sic = kbtest::Line(ml[1]->Variations);
    ASSERT_EQ(sic.size(), 3u);
    auto c3 = kbtest::Line(sic[1]->Variations);
    ASSERT_EQ(c3.size(), 2u);
    auto nf6 = kbtest::Line(c3[1]->Variations);
    ASSERT_EQ(nf6.size(), 1u);
    EXPECT_EQ(nf6[0]->Zug.From, Sq("g8"));
    auto bc4 = kbtest::Line(ml[4]->Variations);
    ASSERT_EQ(bc4.size(), 1u);
    EXPECT_EQ(bc4[0]->Zug.To, Sq("c4"));
}

TEST(NotationImport, NagsAndGlyphs) {
    Loaded g(Pgn("1. e4 $1 e5 $14 2. Nf3 $140 $3 Nc6 $998 $999 $2 $22 $146 3. a3 $01 $7"));
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 5u);
    EXPECT_EQ(ml[0]->Zug.Glyph, 1);
    EXPECT_EQ(ml[1]->Zug.NAG, 14);
    EXPECT_EQ(ml[2]->Zug.ExtraNAG, 140);
    EXPECT_EQ(ml[2]->Zug.Glyph, 2); // $3 is "!!"
    EXPECT_EQ(ml[3]->Zug.Flags & (FlagGreater | FlagLess), FlagGreater | FlagLess);
    EXPECT_EQ(ml[3]->Zug.Glyph, 3);
    EXPECT_EQ(ml[3]->Zug.NAG, 146); // a later NAG of the group replaces the earlier
    EXPECT_EQ(ml[4]->Zug.Glyph, 0);
    EXPECT_EQ(ml[4]->Zug.NAG, 0);
}

TEST(NotationImport, CastlingTokens) {
    const std::string fen = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";
    for (const char* tok : {"O-O", "0-0", "o-o", "O-O+", "O-O!"}) {
        Loaded g(Pgn(std::string("1. ") + tok + " O-O-O", fen));
        auto ml = MainLine(g.n);
        ASSERT_EQ(ml.size(), 2u) << tok;
        EXPECT_EQ(ml[0]->Zug.CastlingKind, 1) << tok;
        EXPECT_EQ(ml[0]->Zug.To, Sq("g1"));
        EXPECT_EQ(ml[1]->Zug.CastlingKind, 2);
        EXPECT_EQ(ml[1]->Zug.To, Sq("c8"));
        // Both sides have castled: no rights left.
        EXPECT_EQ(ml[1]->Zug.CastlingRights & AllCastlingRights, 0) << tok;
        EXPECT_EQ(kbtest::FinalFen(g.n), "2kr3r/pppppppp/8/8/8/8/PPPPPPPP/R4RK1 w - - 0 2");
    }
}

TEST(NotationImport, LongAlgebraicAndPawnForms) {
    Loaded a(Pgn("1. e2-e4 d7d5 2. e4xd5 Ng8-f6 3. Bf1-b5+ Nb8xd7?? 4. Bb5xd7+ Qd8xd7"));
    Loaded b(Pgn("1. e4 d5 2. exd5 Nf6 3. Bb5+ Nbd7 4. Bxd7+ Qxd7"));
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(b.result, 0);
    EXPECT_EQ(kbtest::FinalFen(a.n), kbtest::FinalFen(b.n));
    auto ml = MainLine(a.n);
    ASSERT_EQ(ml.size(), 8u);
    EXPECT_EQ(ml[1]->Zug.From, Sq("d7")); // d7d5 is a double step, not a capture
    EXPECT_EQ(ml[1]->Zug.EnPassantVictim, 0);
    EXPECT_EQ(ml[1]->Zug.EnPassant, Sq("d6"));
    EXPECT_EQ(ml[2]->Zug.Captured, -Bauer);
}

TEST(NotationImport, EnPassantNeedsTheEnemyPawn) {
    Loaded ok(Pgn("1. e4 a6 2. e5 d5 3. exd6"));
    ASSERT_EQ(ok.result, 0);
    auto ml = MainLine(ok.n);
    ASSERT_EQ(ml.size(), 5u);
    EXPECT_EQ(ml[4]->Zug.EnPassantVictim, Sq("d5"));
    EXPECT_EQ(ml[4]->Zug.Captured, -Bauer);
    EXPECT_EQ(kbtest::FinalFen(ok.n).substr(0, 45),
              "rnbqkbnr/1pp1pppp/p2P4/8/8/8/PPPP1PPP/RNBQKBN");

    // Nothing on d5: "exd6" onto an empty square is no capture at all.
    Loaded bad(Pgn("1. e4 a6 2. e5 a5 3. exd6"));
    EXPECT_EQ(bad.result, -1);
    EXPECT_EQ(bad.errors, 1);
    EXPECT_EQ(MainLine(bad.n).size(), 4u);
    // A piece that is not a pawn on the victim square is no e.p. victim either.
    Loaded bad2(Pgn("5. exd6", "4k3/8/8/3nP3/8/8/8/4K3 w - - 0 5"));
    EXPECT_EQ(bad2.result, -1);
}

TEST(NotationImport, PawnTokensNeedAPawnOfTheMover) {
    // White pawn token to White's own first rank: the square behind is off the board.
    Loaded first(Pgn("1. e1", "4k3/8/8/8/8/8/8/4K3 w - - 0 1"));
    EXPECT_EQ(first.result, -1);
    EXPECT_EQ(MainLine(first.n).size(), 0u);
    // No pawn behind e5, none two behind either.
    Loaded none(Pgn("1. e5"));
    EXPECT_EQ(none.result, -1);
    // A push onto an occupied square.
    Loaded blocked(Pgn("1. e4 e5 2. e5"));
    EXPECT_EQ(blocked.result, -1);
    EXPECT_EQ(MainLine(blocked.n).size(), 2u);
    // A capture needs a neighbouring file.
    Loaded far(Pgn("1. e4 d5 2. axd5"));
    EXPECT_EQ(far.result, -1);
}

TEST(NotationImport, PromotionForms) {
    const std::string fen = "1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1";
    for (const char* tok : {"a8=Q", "a8Q", "a8=D", "a8=q"}) {
        Loaded g(Pgn(std::string("1. ") + tok, fen));
        ASSERT_EQ(g.result, 0) << tok;
        auto ml = MainLine(g.n);
        ASSERT_EQ(ml.size(), 1u);
        EXPECT_EQ(ml[0]->Zug.Promotion, Dame) << tok;
    }
    Loaded cap(Pgn("1. axb8=N+", fen));
    ASSERT_EQ(cap.result, 0);
    EXPECT_EQ(MainLine(cap.n)[0]->Zug.Promotion, Springer);
    EXPECT_EQ(MainLine(cap.n)[0]->Zug.Captured, -Springer);
    EXPECT_EQ(kbtest::FinalFen(cap.n), "1N2k3/8/8/8/8/8/8/4K3 b - - 0 1");
    // A pawn reaching the last rank must say what it becomes; a king is no choice.
    EXPECT_EQ(Loaded(Pgn("1. a8", fen)).result, -1);
    EXPECT_EQ(Loaded(Pgn("1. a8=K", fen)).result, -1);
}

TEST(NotationImport, DisambiguationByFileRankAndPin) {
    // Knights on b8 and f6 both reach d7.
    const std::string fen = "rnbqkb1r/ppp2ppp/5n2/3pp3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 0 1";
    Loaded g(Pgn("1... Nbd7", fen));
    ASSERT_EQ(g.result, 0);
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 1u);
    EXPECT_EQ(ml[0]->Zug.From, Sq("b8"));
    EXPECT_EQ(ml[0]->Zug.Flags & (FlagFromFile | FlagFromRank), FlagFromFile);

    // Only one knight can reach: no flag even when the token names the file.
    Loaded one(Pgn("1. Ngf3"));
    ASSERT_EQ(one.result, 0);
    EXPECT_EQ(MainLine(one.n)[0]->Zug.Flags & (FlagFromFile | FlagFromRank), 0);

    // Rooks on a1 and a5 both reach a3: R1a3 names the rank.
    Loaded rank(Pgn("1. R1a3", "4k3/8/8/R7/8/8/8/R3K3 w - - 0 1"));
    ASSERT_EQ(rank.result, 0);
    EXPECT_EQ(MainLine(rank.n)[0]->Zug.From, Sq("a1"));
    EXPECT_EQ(MainLine(rank.n)[0]->Zug.Flags & (FlagFromFile | FlagFromRank), FlagFromRank);

    // Knights on c3 and g3 both reach e2, but the c3 knight is pinned by the b4 bishop.
    Loaded pin(Pgn("1. Ne2", "4k3/8/8/8/1b6/2N3N1/8/4K3 w - - 0 1"));
    ASSERT_EQ(pin.result, 0);
    EXPECT_EQ(MainLine(pin.n)[0]->Zug.From, Sq("g3"));
    EXPECT_EQ(MainLine(pin.n)[0]->Zug.Flags & (FlagFromFile | FlagFromRank), 0);
}

TEST(NotationImport, NoUsableCandidateIsAnError) {
    // White is in check from the e8 rook; neither knight's move to d2 helps.
    Loaded check(Pgn("1. Nd2", "4r1k1/8/8/8/8/8/8/1N2KN2 w - - 0 1"));
    EXPECT_EQ(check.result, -1);
    EXPECT_EQ(MainLine(check.n).size(), 0u);
    // Two knights reach d2 and the token says neither: ambiguous.
    Loaded both(Pgn("1. Nd2", "4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1"));
    EXPECT_EQ(both.result, -1);
    // The named file holds no knight that reaches.
    Loaded wrong(Pgn("1. Nhf3"));
    EXPECT_EQ(wrong.result, -1);
    // A piece letter that is none.
    Loaded bad(Pgn("1. e4 e5 Zz4"));
    EXPECT_EQ(bad.result, -1);
    EXPECT_EQ(bad.errors, 1);
    EXPECT_EQ(MainLine(bad.n).size(), 2u);
    // Capturing an own piece.
    EXPECT_EQ(Loaded(Pgn("1. Nxd2")).result, -1);
    // Castling with no king on its square.
    EXPECT_EQ(Loaded(Pgn("1. e4 e5 2. Ke2 Nc6 3. O-O")).result, -1);
}

TEST(NotationImport, CastlingRightsAfterAVariationComeFromTheMainMove) {
    Loaded g(Pgn("1. e4 e5 2. Ke2 (2. Nf3) Nc6"));
    ASSERT_EQ(g.result, 0);
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 4u);
    EXPECT_EQ(ml[3]->Zug.CastlingRights & (WhiteShort | WhiteLong), 0);
    EXPECT_EQ(ml[3]->Zug.CastlingRights & (BlackShort | BlackLong), BlackShort | BlackLong);
    // The variation itself starts from the rights before 2. Ke2.
    auto v = kbtest::Line(ml[2]->Variations);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0]->Zug.CastlingRights, AllCastlingRights);
    EXPECT_EQ(kbtest::FinalFen(g.n),
              "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/8/PPPPKPPP/RNBQ1BNR w kq - 0 3");
}

TEST(NotationImport, VariationBeforeTheFirstMoveFailsSilently) {
    Loaded g(Pgn("1. (e4) d4"));
    EXPECT_EQ(g.result, -1);
    EXPECT_EQ(g.errors, 0);
    EXPECT_EQ(g.n.RootLine, nullptr);
}

TEST(NotationImport, UnclosedCommentIsAnError) {
    Loaded g(Pgn("1. e4 e5 {never closed 2. Nf3"));
    EXPECT_EQ(g.result, -1);
    EXPECT_EQ(MainLine(g.n).size(), 2u);
}

TEST(NotationImport, HeadersAndEmptyGames) {
    Loaded fenOnly(Pgn("*", "8/8/8/4k3/8/8/8/4K3 b - - 0 40", "*"));
    EXPECT_EQ(fenOnly.result, 0);
    EXPECT_EQ(fenOnly.n.RootLine, nullptr);
    EXPECT_EQ(fenOnly.n.GameData.ZugNummer, 40);
    EXPECT_EQ(fenOnly.n.GameData.Zug.Side, -1);
    EXPECT_EQ(fenOnly.n.GameData.Stellung[Sq("e5")], -Koenig);

    // Bare movetext is read as moves; an illegal one is an error, not an
    // empty game loaded without complaint.
    Loaded noTags("1. e4 e5");
    EXPECT_EQ(noTags.result, 0);
    EXPECT_EQ(MainLine(noTags.n).size(), 2u);
    EXPECT_EQ(noTags.n.GameData.EventData.White, "N.N.");
    Loaded noTagsIllegal("1. e5 *");
    EXPECT_EQ(noTagsIllegal.result, -1);

    // Neither a tag nor a move: no game, and said so.
    Loaded blank("   \r\n ");
    EXPECT_EQ(blank.result, -1);
    EXPECT_TRUE(blank.n.NoGameFound());
    EXPECT_EQ(blank.moveChanges, 1);

    // Moves without numbers still load.
    Loaded bare(Pgn("e4 e5 Nf3 *"));
    EXPECT_EQ(bare.result, 0);
    EXPECT_EQ(MainLine(bare.n).size(), 3u);

    // Duplicate and unknown tags: by name, stored once; lines of one name
    // in the order read.
    Loaded tags("[Event \"E\"]\r\n[Zeta \"1\"]\r\n[Alpha \"2\"]\r\n[Zeta \"1\"]\r\n[Mode "
                "\"OTB\"]\r\n[Zeta \"0\"]\r\n\r\n1. d4 *\r\n");
    ASSERT_TRUE(tags.n.GameData.EventData.Tags.has_value());
    EXPECT_EQ(tags.n.GameData.EventData.Tags->Lines(),
              (std::vector<std::string>{"[Alpha \"2\"]", "[Mode \"OTB\"]", "[Zeta \"1\"]",
                                        "[Zeta \"0\"]"}));
}

TEST(NotationImport, LineEndsAndPercentLines) {
    const std::string body =
        "[Event \"E\"]%1%% escaped in the tags%1[White \"W\"]%1%1%% escaped line%11. e4 e5%12. "
        "Nf3 *%1";
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        std::string text;
        for (size_t i = 0; i < body.size(); ++i) {
            if (body[i] == '%' && i + 1 < body.size() && body[i + 1] == '1') {
                text += eol;
                ++i;
            } else if (body[i] == '%' && i + 1 < body.size() && body[i + 1] == '%') {
                text += '%';
                ++i;
            } else {
                text += body[i];
            }
        }
        Loaded g(text);
        EXPECT_EQ(g.result, 0);
        EXPECT_EQ(MainLine(g.n).size(), 3u) << "line end " << int(eol[0]) << int(eol[1]);
        EXPECT_EQ(g.n.GameData.EventData.White, "W");
    }
}

TEST(NotationImport, TrickyFilesFromTheCollection) {
    {
        Loaded g(kbtest::ReadFile(kbtest::TestData("pgn/empty-line-in-tags.pgn")));
        EXPECT_EQ(g.result, 0);
        EXPECT_EQ(g.n.GameData.EventData.White, "Stockfish 8");
        EXPECT_EQ(g.n.GameData.EventData.Year, 2017);
        EXPECT_GT(MainLine(g.n).size(), 100u);
    }
    {
        // Two games behind a byte order mark; the first keeps its Event.
        const std::string all = kbtest::ReadFile(kbtest::TestData("pgn/utf8-bom.pgn"));
        Loaded g(all.substr(0, all.find("[Event \"B\"]")));
        EXPECT_EQ(g.result, 0);
        EXPECT_EQ(g.n.GameData.EventData.Event, "A");
        EXPECT_EQ(g.n.RootLine, nullptr);
    }
    {
        // A null move ("Z0") stops the reader; what came before stays.
        Loaded g(kbtest::ReadFile(kbtest::TestData("pgn/anastasian-lewis.pgn")));
        EXPECT_EQ(g.result, -1);
        EXPECT_EQ(MainLine(g.n).size(), 81u);
    }
}

} // namespace

namespace {

TEST(NotationImport, LineCommentsAndEnPassantRemarks) {
    Loaded g(Pgn("1. e4 ; king's pawn {really}\n e5 2. Nf3 {a ; b} Nc6"));
    EXPECT_EQ(g.result, 0);
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 4u);
    EXPECT_EQ(ml[0]->Kommentar, "{king's pawn really}");
    EXPECT_EQ(ml[2]->Kommentar, "{a ; b}");

    Loaded ep(Pgn("1. e4 a6 2. e5 d5 3. exd6 e.p. Qxd6 4. a3 c5 5. a4 c4 6. b4 cxb3e.p."));
    EXPECT_EQ(ep.result, 0);
    auto eml = MainLine(ep.n);
    ASSERT_EQ(eml.size(), 12u);
    EXPECT_EQ(eml[4]->Zug.EnPassantVictim, Sq("d5"));
    EXPECT_EQ(eml[11]->Zug.EnPassantVictim, Sq("b4"));
}

TEST(NotationImport, MoveSuffixesSetTheGlyph) {
    Loaded g(Pgn("1. e4! e5? 2. Nf3!! Nc6?? 3. Bb5!? a6?! 4. Ba4 $2"));
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 7u);
    std::vector<int> glyphs;
    for (auto* b : ml)
        glyphs.push_back(b->Zug.Glyph);
    EXPECT_EQ(glyphs, (std::vector<int>{1, 3, 2, 4, 5, 6, 3}));
    // The next move may follow a sign without a blank.
    Loaded h(Pgn("1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O?d6 5. c3!?Nf6 6. Bxf7+Kxf7 7. d4"));
    std::vector<std::string> moves;
    for (auto* b : MainLine(h.n))
        moves.push_back(std::string(FeldNamen[Index120To64(static_cast<uint8_t>(b->Zug.From))]) +
                        FeldNamen[Index120To64(static_cast<uint8_t>(b->Zug.To))] + "/" +
                        std::to_string(b->Zug.Glyph));
    EXPECT_EQ(moves, (std::vector<std::string>{"e2e4/0", "e7e5/0", "g1f3/0", "b8c6/0", "f1c4/0",
                                               "f8c5/0", "e1g1/3", "d7d6/0", "c2c3/5", "g8f6/0",
                                               "c4f7/0", "e8f7/0", "d2d4/0"}));
}

} // namespace

namespace {

// Runs of three signs and NAG numbers with leading zeros stand for nothing;
// a later NAG of the group still replaces an earlier one.
TEST(NotationImport, OddSuffixesAndNagNumbers) {
    Loaded g(Pgn("1. e4!!? e5 $014 2. Nf3 $0 $0146 Nc6 $36 $132 3. Bc4?!? $10 Bc5!?"));
    auto ml = MainLine(g.n);
    ASSERT_EQ(ml.size(), 6u);
    EXPECT_EQ(ml[0]->Zug.Glyph, 0);
    EXPECT_EQ(ml[1]->Zug.NAG, 0);
    EXPECT_EQ(ml[2]->Zug.NAG, 0);
    EXPECT_EQ(ml[3]->Zug.NAG, 132);
    EXPECT_EQ(ml[4]->Zug.Glyph, 0);
    EXPECT_EQ(ml[4]->Zug.NAG, 0); // 10 is no NAG of ours
    EXPECT_EQ(ml[5]->Zug.Glyph, 5);

    // A "*" or "-" inside a NAG token ends nothing; a move right behind a
    // dot is read, the last one too.
    Loaded h(Pgn("1. e4 $* e5 $1-0 2. Nf3 Nc6 3.Bb5 a6.Ba4 *"));
    EXPECT_EQ(h.result, 0);
    EXPECT_EQ(MainLineTexts(h.n),
              (std::vector<std::string>{"1.e4", "e5", "2.Nf3", "Nc6", "3.Bb5", "a6", "4.Ba4"}));
    // Without a Result tag the result in the moves is the game's, in the
    // main line only.
    for (const auto& [text, result] : {std::pair{"[Event \"E\"]\n\n1. e4 e5 1-0\n", "1-0"},
                                       {"[Event \"E\"]\n\n1. e4 (1. d4 0-1) e5 1/2-1/2\n", "*"},
                                       {"[Event \"E\"]\n\n0-1\n", "0-1"},
                                       {"1. e4 e5 0-1", "0-1"},
                                       {"[Event \"E\"]\n[Result \"*\"]\n\n1. e4 e5 1-0\n", "*"},
                                       {"[Event \"E\"]\n\n1. e4 e5\n", "*"}}) {
        Loaded r(text);
        EXPECT_EQ(r.n.GameData.EventData.Result, result) << text;
    }
}

} // namespace

namespace {

// The tree as text: each move's SAN-free squares with its alternatives in brackets.
std::string Shape(const TVariante* line) {
    std::string s;
    for (const TBaum* b = line ? line->Erster : nullptr; b; b = b->Next) {
        s += FeldNamen[Index120To64(static_cast<uint8_t>(b->Zug.From))];
        s += FeldNamen[Index120To64(static_cast<uint8_t>(b->Zug.To))];
        for (const TVariante* v = b->Variations; v; v = v->Naechste)
            s += "(" + Shape(v) + ")";
        s += ' ';
    }
    return s;
}

TEST(NotationImport, RunsOfBracketsKeepTheirShape) {
    const struct {
        const char* movetext;
        const char* shape;
    } cases[] = {
        {"1. e4 (( 1. d4 d5 ) 1. c4 ) e5", "e2e4(c2c4 )(d2d4 d7d5 ) e7e5 "},
        {"1. e4 ( ) ( 1. d4 ) () e5", "e2e4()(d2d4 )() e7e5 "},
        {"1. e4 ((( 1. d4 ) 1. c4 ) 1. Nf3 ) e5 2. Nf3", "e2e4(g1f3 )(c2c4 )(d2d4 ) e7e5 g1f3 "},
        {"1. e4 e5 (1... c5 (1... c6 ((1... d5) 1... d6)) 2. Nf3) 2. Nf3",
         "e2e4 e7e5(c7c5(c7c6(d7d6 )(d7d5 ) ) g1f3 ) g1f3 "},
        // Left open: what was read stays.
        {"1. e4 (( 1. d4 d5", "e2e4()(d2d4 d7d5 ) "},
    };
    for (const auto& c : cases) {
        Loaded g(Pgn(c.movetext));
        EXPECT_EQ(g.result, 0) << c.movetext;
        EXPECT_EQ(Shape(g.n.RootLine), c.shape) << c.movetext;
    }
}

} // namespace
