// SPDX-License-Identifier: GPL-3.0-or-later
// The compact game record writer.
#include "ChessDatabase.h"
#include "GameRecordWriter.h"
#include "Notation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace kb;

namespace {

std::string Encode(const std::string& Pgn) {
    TNotation n;
    EXPECT_EQ(n.LoadPGN(Pgn), 0) << Pgn;
    std::string payload;
    EXPECT_TRUE(EncodeGameRecord(n, payload));
    return payload;
}

std::string MovePart(const std::string& Payload) {
    const auto end = Payload.find('\x02');
    return end == std::string::npos ? std::string("?") : Payload.substr(end + 1);
}

TEST(DbWriter, HeaderItems) {
    // Only White, Black and Result: their items in that order, then the end.
    EXPECT_EQ(Encode("[White \"W\"]\n[Black \"B\"]\n[Result \"1-0\"]\n\n1-0\n"),
              std::string("\x09W\x01\x0A"
                          "B\x01\x0E"
                          "1-0\x01\x02"));
    const std::string elo = Encode("[WhiteElo \"2047\"]\n\n*\n");
    EXPECT_EQ(elo.substr(0, 3), std::string("\x03\x08\x00", 3));
    EXPECT_EQ(elo.find('\x17'), std::string::npos);
}

TEST(DbWriter, StartPositionItem) {
    // Standard start: no FEN item. Another board, or only another side to
    // move or move number: a FEN item.
    EXPECT_EQ(Encode("[Event \"E\"]\n\n1. e4 *\n").find('\x17'), std::string::npos);
    for (const char* fen : {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 5",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w Kkq - 0 1"}) {
        const std::string p = Encode(std::string("[FEN \"") + fen + "\"]\n[SetUp \"1\"]\n\n*\n");
        EXPECT_NE(p.find('\x17'), std::string::npos) << fen;
    }
}

TEST(DbWriter, MoveBits) {
    // 1. e4: 1 001100 011100 1, the final 1, one padding bit 1.
    EXPECT_EQ(MovePart(Encode("[Event \"E\"]\n\n1. e4 *\n")), "\x98\xE7");
    // A check-only move: extras bit 0, presence 10111, flag bits 0100.
    const std::string p =
        MovePart(Encode("[FEN \"4k3/8/8/8/8/8/8/R3K3 w - - 0 1\"]\n\n1. Ra8+ *\n"));
    // 1 000000 111000 0 10111 0100, final 1: three whole bytes, no padding.
    EXPECT_EQ(p, "\x81\xC2\xE9");
}

TEST(DbWriter, TextPayloadWhenTheCompactFormLosesSomething) {
    const char* cases[] = {
        "[Event \"E\"]\n[Opening \"Sicilian\"]\n\n1. e4 c5 *\n", // a tag with no field
        "[Event \"E\"]\n[MetaDescription \"d\"]\n\n1. e4 *\n",   // never read back
        "[Event \"E\"]\n\n1. e4 {a\x01"
        "b} *\n", // ends a text item early
        "[Event \"E\"]\n\n1. e4 {a\x02"
        "b} *\n",                          // starts a skipped run
        "[Event \"E\"]\n\n1. e4 $998 *\n", // sign with no bits
    };
    for (const char* pgn : cases) {
        TNotation n;
        ASSERT_EQ(n.LoadPGN(pgn), 0) << pgn;
        if (CanEncodeCompact(n)) {
            ADD_FAILURE() << "compact for " << pgn;
            continue;
        }
        std::string payload, text;
        ASSERT_TRUE(EncodeGameRecord(n, payload));
        ASSERT_EQ(n.GetPGN(text), 0);
        EXPECT_EQ(payload, text);
        EXPECT_EQ(payload[0], '[');
    }
    // A NAG without a code, and an empty variation, set on the tree directly.
    {
        TNotation n;
        ASSERT_EQ(n.LoadPGN("[Event \"E\"]\n\n1. e4 e5 *\n"), 0);
        ASSERT_TRUE(CanEncodeCompact(n));
        TBaum* e4 = n.RootLine->Erster;
        e4->Zug.NAG = 200;
        EXPECT_FALSE(CanEncodeCompact(n));
        e4->Zug.NAG = 146;
        e4->Zug.ExtraNAG = 141;
        EXPECT_FALSE(CanEncodeCompact(n));
        e4->Zug.ExtraNAG = 142;
        EXPECT_TRUE(CanEncodeCompact(n));
        auto empty = std::make_unique<TVariante>();
        e4->Next->Variations = empty.get();
        EXPECT_FALSE(CanEncodeCompact(n));
        e4->Next->Variations = nullptr;
    }
    // Chess960 games keep their text.
    TNotation n;
    ASSERT_EQ(
        n.LoadPGN(
            "[Event \"E\"]\n[FEN \"bbqnnrkr/pppppppp/8/8/8/8/PPPPPPPP/BBQNNRKR w HFhf - 0 1\"]\n"
            "[SetUp \"1\"]\n[Variant \"Chess960\"]\n\n1. g3 *\n"),
        0);
    std::string payload;
    ASSERT_TRUE(EncodeGameRecord(n, payload));
    EXPECT_EQ(payload[0], '[');
}

TEST(DbWriter, PgnToRecordFallsBackToTrimmedText) {
    TNotation n;
    TChessDatabase db;
    db.Notation = &n;
    // Illegal first move: stored as trimmed text, given back unchanged.
    EXPECT_EQ(db.PGNToRecord("  [Event \"E\"]\r\n\r\n1. e5 *\r\n\r\n"),
              "[Event \"E\"]\r\n\r\n1. e5 *");
    // Text that would not start with "[" is given a tag line first, so it is
    // never taken for a compact record; a byte order mark goes.
    db.Notation = nullptr;
    const std::string p = db.PGNToRecord("\xEF\xBB\xBF"
                                         "1. e5 *\n");
    EXPECT_EQ(p, "[Event \"?\"]\r\n\r\n1. e5 *");
    EXPECT_EQ(db.RecordToPGN(p), p);
}

TEST(DbWriter, DeepVariationsNeedNoDeepStack) {
    // Each variation opens inside the one before: nesting as deep as the game is long.
    std::string pgn = "[Event \"E\"]\n\n1. e4 e5 ";
    const int depth = 3000;
    for (int i = 0; i < depth; ++i)
        pgn += i % 2 ? "( 1... c5 " : "( 1... c6 ";
    for (int i = 0; i < depth; ++i)
        pgn += ") ";
    pgn += "*\n";
    TNotation n;
    ASSERT_EQ(n.LoadPGN(pgn), 0);
    std::string payload;
    ASSERT_TRUE(EncodeGameRecord(n, payload));
    TChessDatabase db;
    const std::string back = db.RecordToPGN(payload);
    EXPECT_EQ(std::count(back.begin(), back.end(), '('), depth);
    EXPECT_EQ(std::count(back.begin(), back.end(), ')'), depth);
}

} // namespace

namespace {

TEST(DbWriter, SetUpPositionRoundTrip) {
    const std::string pgn =
        "[Event \"E\"]\n[FEN \"r3k2r/8/8/3pP3/8/8/8/R3K2R w KQkq d6 0 23\"]\n[SetUp \"1\"]\n\n"
        "23. exd6 O-O-O 24. O-O Rd7 *\n";
    TNotation a;
    ASSERT_EQ(a.LoadPGN(pgn), 0);
    std::string payload;
    ASSERT_TRUE(EncodeGameRecord(a, payload));
    ASSERT_NE(payload[0], '[');
    TChessDatabase db;
    const std::string back = db.RecordToPGN(payload);
    TNotation b;
    ASSERT_EQ(b.LoadPGN(back), 0) << back;
    EXPECT_EQ(b.GameData.Stellung, a.GameData.Stellung) << back;
    EXPECT_EQ(b.GameData.ZugNummer, 23);
    std::string pa, pb;
    ASSERT_EQ(a.GetPGN(pa), 0);
    ASSERT_EQ(b.GetPGN(pb), 0);
    EXPECT_EQ(pa.substr(pa.find("\r\n\r\n")), pb.substr(pb.find("\r\n\r\n"))) << back;
}

} // namespace
