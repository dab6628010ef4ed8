// SPDX-License-Identifier: GPL-3.0-or-later
// The compact game record reader, on hand-made payloads.
#include "ChessDatabase.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using namespace kb;

namespace {

// Builds a move part bit by bit, as the format lays it out.
class TBits {
public:
    TBits& Put(int Value, int N) {
        for (int i = N - 1; i >= 0; --i)
            bits_ += ((Value >> i) & 1) ? '1' : '0';
        return *this;
    }
    // from, to: 0..63; no extras.
    TBits& Move(int From, int To, bool Link = true, bool Line = true) {
        if (Link) Put(1, 1);
        return Put(Line ? 1 : 0, 1).Put(From, 6).Put(To, 6).Put(1, 1);
    }
    TBits& Comment(const std::string& Text) {
        Flush();
        bytes_ += Text;
        bytes_ += '\x01';
        return *this;
    }
    std::string Done() {
        Flush();
        return bytes_;
    }

private:
    void Flush() {
        if (bits_.size() % 8) {
            bits_.resize(bits_.size() + 8 - bits_.size() % 8, '0');
            bits_.back() = '1';
        }
        for (size_t i = 0; i < bits_.size(); i += 8)
            bytes_ += static_cast<char>(std::stoi(bits_.substr(i, 8), nullptr, 2));
        bits_.clear();
    }
    std::string bits_, bytes_;
};

std::string Number(int Code, int Value) {
    std::string s(1, static_cast<char>(Code));
    s += static_cast<char>(((Value >> 8) + 1) & 255);
    s += static_cast<char>(((Value & 255) + 1) & 255);
    return s;
}

std::string Text(int Code, const std::string& Value) {
    return std::string(1, static_cast<char>(Code)) + Value + '\x01';
}

// The move text between the blank line and the result.
std::string MovesOf(const std::string& Pgn) {
    const auto start = Pgn.find("\r\n\r\n");
    EXPECT_NE(start, std::string::npos) << Pgn;
    return start == std::string::npos ? std::string() : Pgn.substr(start + 4);
}

constexpr int e2 = 12, e4 = 28, e7 = 52, e5 = 36, g1 = 6, f3 = 21, d2 = 11, d4 = 27;

TEST(DbRecord, PgnPayloadAndEmpty) {
    TChessDatabase db;
    const std::string pgn = "[Event \"x\"]\r\n\r\n1. e4 *";
    EXPECT_EQ(db.RecordToPGN(pgn), pgn);
    EXPECT_EQ(db.RecordToPGN(""), "");
}

TEST(DbRecord, HeaderTags) {
    TChessDatabase db;
    const std::string payload =
        Number(0x1B, 2024) + Number(0x1C, 3) + Number(0x03, 2047) + Number(0x05, 61) +
        Number(0x07, 40) + Number(0x08, 30) + Number(0x10, 7) + Text(0x09, "Carl \"the\" \\Tal") +
        Text(0x0A, "B") + Text(0x0E, " ") + Text(0x0F, "B90") + Text(0x15, "dropped") + "\x02";
    // 2047 has low byte 255: stored as 0x00.
    EXPECT_EQ(Number(0x03, 2047), std::string("\x03\x08\x00", 3));
    EXPECT_EQ(db.RecordToPGN(payload), "[Event \"?\"]\r\n"
                                       "[Site \"?\"]\r\n"
                                       "[Date \"2024.03.??\"]\r\n"
                                       "[Round \"7\"]\r\n"
                                       "[White \"Carl \\\"the\\\" \\\\Tal\"]\r\n"
                                       "[Black \"B\"]\r\n"
                                       "[Result \"*\"]\r\n"
                                       "[ECO \"B90\"]\r\n"
                                       "[WhiteElo \"2047\"]\r\n"
                                       "[PlyCount \"122\"]\r\n"
                                       "[EventDate \"????.??.??\"]\r\n"
                                       "[TimeControl \"40+30\"]\r\n"
                                       "\r\n"
                                       "  *");
}

TEST(DbRecord, SimpleMoves) {
    TChessDatabase db;
    // One move: the two bytes of the format's own example.
    const std::string one = TBits().Move(e2, e4, false).Put(1, 1).Done();
    EXPECT_EQ(one, "\x98\xE7");
    EXPECT_EQ(MovesOf(db.RecordToPGN(Text(0x0E, "1-0") + "\x02" + one)), " 1. e4  1-0");
    const std::string three =
        TBits().Move(e2, e4, false).Move(e7, e5).Move(g1, f3).Put(1, 1).Done();
    EXPECT_EQ(MovesOf(db.RecordToPGN("\x02" + three)), " 1. e4  e5  Nf3  *");
}

TEST(DbRecord, VariationCastlingAndCaptures) {
    TChessDatabase db;
    // 1. e4 (1. d4) e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O Nf6 5. Re1 d5 6. exd5
    TBits b;
    b.Move(e2, e4, false)
        .Move(d2, d4, true, false)
        .Put(0, 1)
        .Move(e7, e5)
        .Move(g1, f3)
        .Move(57, 42);
    b.Move(5, 26).Move(61, 34).Move(4, 6).Move(62, 45).Move(5, 4).Move(51, 35).Move(e4, 35).Put(1,
                                                                                                1);
    EXPECT_EQ(MovesOf(db.RecordToPGN("\x02" + b.Done())),
              " 1. e4  (d4)   e5  Nf3  Nc6  Bc4  Bc5  O-O  Nf6  Re1  d5  exd5  *");
}

TEST(DbRecord, ExtrasAndComments) {
    TChessDatabase db;
    TBits b;
    // e4 with check and mate flags (mate wins), glyph 2 (!!), NAG 146 coded 61 with extra NAG 140.
    b.Put(1, 1)
        .Put(e2, 6)
        .Put(e4, 6)
        .Put(0, 1)
        .Put(0b10001, 5)
        .Put(0b1100, 4)
        .Put(2, 8)
        .Put(61 + 128, 8);
    // e5 with flags only: 20 bits, then 4 flag bits end on a byte boundary; then its comment.
    b.Put(1, 1)
        .Put(1, 1)
        .Put(e7, 6)
        .Put(e5, 6)
        .Put(0, 1)
        .Put(0b10110, 5)
        .Put(0b0100, 4)
        .Comment("{a\x02skip\x02"
                 "b}");
    // a promotion to a knight with glyph 9 (unknown) and a comment.
    b.Put(1, 1)
        .Put(1, 1)
        .Put(54, 6)
        .Put(63, 6)
        .Put(0, 1)
        .Put(0b01010, 5)
        .Put(2, 2)
        .Put(9, 8)
        .Comment("{c}");
    b.Put(1, 1);
    EXPECT_EQ(MovesOf(db.RecordToPGN("\x02" + b.Done())),
              " 1. e4# $3 $146 $140  e5+ {ab}  gxh8=N {c}  *");
}

TEST(DbRecord, StartPositionFromFen) {
    TChessDatabase db;
    const std::string fen = "4k3/8/8/8/8/8/4P3/4K3 b - - 0 23";
    // Black to move at move 23: the king steps e8-d8, then White's pawn.
    const std::string moves = TBits().Move(60, 59, false).Move(e2, e4).Put(1, 1).Done();
    const std::string pgn = db.RecordToPGN(Text(0x17, fen) + "\x02" + moves);
    EXPECT_NE(pgn.find("[FEN \"" + fen + "\"]\r\n[Setup \"1\"]\r\n"), std::string::npos) << pgn;
    EXPECT_EQ(MovesOf(pgn), " 23... Kd8  e4  *");
    // A FEN item that does not read gives the header without moves.
    const std::string bad = db.RecordToPGN(Text(0x17, "nonsense") + "\x02" + moves);
    EXPECT_EQ(MovesOf(bad), "  *");
}

TEST(DbRecord, DamagedPayloadsGiveTextNotCrashes) {
    TChessDatabase db;
    // More closing bits than open variations: decoding stops there.
    const std::string closes =
        TBits().Move(e2, e4, false).Put(0, 3).Put(1, 1).Move(e7, e5).Put(1, 1).Done();
    EXPECT_EQ(MovesOf(db.RecordToPGN("\x02" + closes)), " 1. e4  *");
    // A variation never closed is closed at the end.
    const std::string open = TBits().Move(e2, e4, false).Move(d2, d4, true, false).Put(1, 1).Done();
    EXPECT_EQ(MovesOf(db.RecordToPGN("\x02" + open)), " 1. e4  (d4 )  *");
    // Cut inside items, a comment and the bits.
    EXPECT_NO_FATAL_FAILURE(db.RecordToPGN("\x1B\x01"));
    EXPECT_EQ(db.RecordToPGN(std::string("\x09White", 6)).substr(0, 13), "[Event \"?\"]\r\n");

    const uint64_t seed = std::getenv("KB_TEST_SEED")
                              ? std::strtoull(std::getenv("KB_TEST_SEED"), nullptr, 10)
                              : 31337;
    SCOPED_TRACE("seed " + std::to_string(seed) + " (KB_TEST_SEED)");
    std::mt19937_64 rng(seed);
    const std::string base = Text(0x09, "A") + "\x02" +
                             TBits()
                                 .Move(e2, e4, false)
                                 .Move(d2, d4, true, false)
                                 .Put(0, 1)
                                 .Move(e7, e5)
                                 .Put(1, 1)
                                 .Done();
    for (int i = 0; i < 20000; ++i) {
        std::string p;
        if (i % 2) {
            p = base;
            for (int k = 0; k < 3; ++k)
                p[rng() % p.size()] = static_cast<char>(rng());
            p.resize(rng() % (p.size() + 1));
        } else {
            p.resize(rng() % 64);
            for (auto& c : p)
                c = static_cast<char>(rng() % 4 ? rng() % 32 : rng());
        }
        if (p.empty() || p[0] == '[') continue;
        const std::string pgn = db.RecordToPGN(p);
        ASSERT_EQ(pgn.rfind("[Event \"", 0), 0u) << "case " << i;
    }
}

TEST(DbRecord, ThroughTheDatabase) {
    kbtest::TempDir dir;
    TChessDatabase db;
    ASSERT_TRUE(db.Open((dir / "r.kbf").string(), true));
    const std::string payload =
        Number(0x03, 2047) + "\x02" + TBits().Move(e2, e4, false).Put(1, 1).Done();
    int64_t n = -1;
    ASSERT_TRUE(db.AddRecord(n, payload));
    EXPECT_EQ(static_cast<unsigned char>(kbtest::ReadFile(dir / "r.kbf")[0]), 0x81);
    std::string key, pgn;
    bool deleted = true;
    ASSERT_TRUE(db.ReadGame(key, pgn, deleted, n));
    EXPECT_NE(pgn.find("[WhiteElo \"2047\"]"), std::string::npos) << pgn;
    EXPECT_EQ(MovesOf(pgn), " 1. e4  *");
    // Text the notation cannot take is kept as its trimmed text.
    ASSERT_TRUE(db.AddGame(n, "\r\n  [Event \"E\"]\r\n\r\n1. e5 *\r\n\r\n"));
    ASSERT_TRUE(db.ReadGame(key, pgn, deleted, n));
    EXPECT_EQ(pgn, "[Event \"E\"]\r\n\r\n1. e5 *");
    EXPECT_FALSE(db.AddGame(n, " \r\n"));
}

} // namespace
