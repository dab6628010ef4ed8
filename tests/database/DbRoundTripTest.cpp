// SPDX-License-Identifier: GPL-3.0-or-later
// Every real game through the compact record and back: the same moves,
// variations, annotations, comments and header.
#include "ChessDatabase.h"
#include "GameRecordWriter.h"
#include "Notation.h"
#include "PGNScan.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

using namespace kb;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitGames(const std::string& File) {
    const auto games = SplitGameTexts(File);
    return {games.begin(), games.end()};
}

// Both trees walked side by side, without recursion.
::testing::AssertionResult SameTree(const TVariante* A, const TVariante* B) {
    std::vector<std::pair<const TVariante*, const TVariante*>> lines;
    lines.emplace_back(A, B);
    int move = 0;
    while (!lines.empty()) {
        auto [a, b] = lines.back();
        lines.pop_back();
        if (!a || !b) {
            if (a != b) return ::testing::AssertionFailure() << "a line is missing";
            continue;
        }
        const TBaum* x = a->Erster;
        const TBaum* y = b->Erster;
        for (; x && y; x = x->Next, y = y->Next, ++move) {
            const TZug &p = x->Zug, &q = y->Zug;
            if (p.From != q.From || p.To != q.To || p.Promotion != q.Promotion)
                return ::testing::AssertionFailure() << "move " << move << " differs";
            if (p.Glyph != q.Glyph || p.NAG != q.NAG || p.ExtraNAG != q.ExtraNAG)
                return ::testing::AssertionFailure() << "annotation of move " << move << " differs";
            if ((p.Flags & (FlagCheck | FlagMate)) != (q.Flags & (FlagCheck | FlagMate)))
                return ::testing::AssertionFailure() << "check sign of move " << move << " differs";
            if (x->Kommentar != y->Kommentar)
                return ::testing::AssertionFailure()
                       << "comment of move " << move << ": \"" << x->Kommentar << "\" / \""
                       << y->Kommentar << "\"";
            const TVariante *va = x->Variations, *vb = y->Variations;
            for (; va && vb; va = va->Naechste, vb = vb->Naechste)
                lines.emplace_back(va, vb);
            if (va || vb)
                return ::testing::AssertionFailure() << "variations of move " << move << " differ";
        }
        if (x || y) return ::testing::AssertionFailure() << "line lengths differ at move " << move;
    }
    return ::testing::AssertionSuccess();
}

std::string OrQuery(const std::string& S) {
    return S.find_first_not_of(" \t") == std::string::npos ? "?" : S;
}

::testing::AssertionResult SameHeader(const TPartiedaten& A, const TPartiedaten& B) {
    const TEventData &a = A.EventData, &b = B.EventData;
    const auto fail = [](const char* what) {
        return ::testing::AssertionFailure() << what << " differs";
    };
    if (OrQuery(a.White) != OrQuery(b.White) || OrQuery(a.Black) != OrQuery(b.Black))
        return fail("players");
    if (OrQuery(a.Event) != OrQuery(b.Event) || OrQuery(a.Site) != OrQuery(b.Site))
        return fail("event or site");
    if ((a.Result.empty() ? "*" : a.Result) != (b.Result.empty() ? "*" : b.Result))
        return fail("result");
    if (a.ECO != b.ECO || a.Annotator != b.Annotator || a.GameId != b.GameId)
        return fail("ECO, annotator or id");
    if (a.Year != b.Year || a.Month != b.Month || a.Day != b.Day || a.Round != b.Round)
        return fail("date or round");
    if (RoundTagValue(a) != RoundTagValue(b)) return fail("round text");
    if (a.EventYear != b.EventYear || a.EventMonth != b.EventMonth || a.EventDay != b.EventDay)
        return fail("event date");
    if (a.WhiteElo != b.WhiteElo || a.BlackElo != b.BlackElo || a.MoveCount != b.MoveCount)
        return fail("Elo or plies");
    if (a.TimeControlBase != b.TimeControlBase || a.TimeControlIncrement != b.TimeControlIncrement)
        return fail("time control");
    if (A.Stellung != B.Stellung || A.Zug.Side != B.Zug.Side || A.ZugNummer != B.ZugNummer)
        return fail("start position");
    if (A.Kommentar != B.Kommentar) return fail("game comment");
    return ::testing::AssertionSuccess();
}

TEST(DbRoundTrip, EveryRealGameThroughTheCompactRecord) {
    TChessDatabase db;
    int games = 0, compact = 0, text = 0, unreadable = 0;
    for (const auto& entry : fs::directory_iterator(kbtest::TestData("pgn"))) {
        if (entry.path().extension() != ".pgn") continue;
        const auto all = SplitGames(kbtest::ReadFile(entry.path()));
        for (size_t g = 0; g < all.size(); ++g) {
            SCOPED_TRACE(entry.path().filename().string() + " game " + std::to_string(g));
            TNotation a;
            if (a.LoadPGN(all[g]) != 0) {
                ++unreadable;
                continue;
            }
            ++games;
            std::string payload;
            ASSERT_TRUE(EncodeGameRecord(a, payload));
            ASSERT_FALSE(payload.empty());
            if (payload[0] == '[') {
                ++text;
                EXPECT_EQ(db.RecordToPGN(payload), payload);
                continue;
            }
            ++compact;
            const std::string pgn = db.RecordToPGN(payload);
            TNotation b;
            ASSERT_EQ(b.LoadPGN(pgn), 0) << pgn;
            ASSERT_TRUE(SameHeader(a.GameData, b.GameData)) << pgn;
            ASSERT_TRUE(SameTree(a.RootLine, b.RootLine)) << pgn;
            // Written again, the record is the same bytes.
            std::string again;
            ASSERT_TRUE(EncodeGameRecord(b, again));
            ASSERT_EQ(again, payload);
        }
    }
    EXPECT_GT(compact, 7000);
    EXPECT_GT(text, 0); // the Chess960 games
    RecordProperty("games", games);
    std::cout << games << " games: " << compact << " compact, " << text << " as text, "
              << unreadable << " not loaded\n";
}

// pgn-extract's normalised move text (no tags) of each file and of its games
// stored and read back are the same.
TEST(DbRoundTrip, SameMoveTextForPgnExtract) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    TChessDatabase db;
    TNotation notation;
    db.Notation = &notation;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(kbtest::TestData("pgn"))) {
        if (entry.path().extension() != ".pgn") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string original = kbtest::ReadFile(entry.path());
        std::string back;
        for (const std::string& game : SplitGames(original))
            back += db.RecordToPGN(db.PGNToRecord(game)) + "\r\n\r\n";
        const std::vector<std::string> argv{pgnExtract, "-s", "--notags", "-w", "100000"};
        const auto a = kbtest::Run(argv, original);
        const auto b = kbtest::Run(argv, back);
        ASSERT_EQ(a.exitCode, 0);
        ASSERT_EQ(b.exitCode, 0);
        EXPECT_EQ(a.out, b.out);
        files += !a.out.empty(); // pgn-extract refuses games with null moves
    }
    EXPECT_GE(files, 8);
}

} // namespace

// A round the number cannot say rides beside the number in the compact
// record, in bytes that a reader knowing only the number skips; a round
// text with other bytes makes the game go in as text.
TEST(DbRoundTrip, RoundTextBesideTheNumber) {
    TChessDatabase db;
    for (const std::string round : {"1.1", "12.5", "?", "3", "R\t2"}) {
        SCOPED_TRACE(round);
        TNotation n;
        ASSERT_EQ(n.LoadPGN("[Event \"E\"]\r\n[Round \"" + round + "\"]\r\n\r\n1. e4 e5 *\r\n"), 0);
        std::string payload;
        ASSERT_TRUE(EncodeGameRecord(n, payload));
        const bool plainByte = round.find('\t') == std::string::npos;
        EXPECT_EQ(payload[0] != '[', plainByte) << "compact only with skippable bytes";
        const size_t at = payload.find(round);
        if (plainByte && round != "3") {
            ASSERT_NE(at, std::string::npos);
            for (size_t i = at; i < at + round.size(); ++i)
                EXPECT_GT(static_cast<unsigned char>(payload[i]), 0x1D);
        }
        EXPECT_NE(db.RecordToPGN(payload).find("[Round \"" + round + "\"]"), std::string::npos);
    }
}

// The record holds a time control as two numbers; a text those numbers do
// not give back ("10+0.05") makes the game go in as text, whole.
TEST(DbRoundTrip, TimeControlTextKept) {
    TChessDatabase db;
    const struct {
        const char* Text;
        bool Compact;
    } cases[] = {{"900+5", true},
                 {"10+0.05", false},
                 {"40/7200:20/3600:900+30", false},
                 {"300", false},
                 {"-", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TNotation n;
        ASSERT_EQ(n.LoadPGN(std::string("[Event \"E\"]\r\n[TimeControl \"") + c.Text +
                            "\"]\r\n\r\n1. e4 e5 *\r\n"),
                  0);
        std::string payload;
        ASSERT_TRUE(EncodeGameRecord(n, payload));
        EXPECT_EQ(payload[0] != '[', c.Compact);
        EXPECT_NE(db.RecordToPGN(payload).find(std::string("[TimeControl \"") + c.Text + "\"]"),
                  std::string::npos);
    }
}
