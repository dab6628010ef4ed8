// SPDX-License-Identifier: GPL-3.0-or-later
// The block scan of PGN files: game starts around block borders, 0x00 bytes,
// CR LF ends, text before the first game, cancelling and progress.
#include "PGNScan.h"
#include "PGN.h"
#include "PGNTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <random>

using namespace kb;
using pgntest::PlainStarts;

namespace {

constexpr int64_t kBlock = 16384;

// Random filler that may hold 0x00, line ends and pieces of the tag.
std::string Filler(size_t n, std::mt19937& rng) {
    static const char alphabet[] = {'a', 'E', 'v', 'e', 'n', 't', ' ', '[', '\0', '"'};
    std::string s(n, ' ');
    // Few line ends: the file must still pass as PGN (a game start within
    // its first lines).
    for (auto& c : s) {
        const unsigned r = rng() % 128;
        c = r == 0 ? '\n' : r == 1 ? '\r' : alphabet[rng() % sizeof alphabet];
    }
    return s;
}

// A file with a line-start "[Event " whose line end sits at Delta from
// every multiple of the block size up to Blocks blocks. FirstAtBorder puts the
// first game, without a line feed before it, across the first border too.
std::string BorderFile(int Delta, int Eol, bool FirstAtBorder, int Blocks, std::mt19937& rng) {
    std::string bytes;
    const std::string tag = "[Event \"x\"]";
    if (!FirstAtBorder) bytes = tag;
    for (int k = 1; k <= Blocks; ++k) {
        const size_t at = static_cast<size_t>(k * kBlock + Delta);
        if (bytes.size() < at) bytes += Filler(at - bytes.size(), rng);
        bytes.resize(at);
        if (k == 1 && FirstAtBorder) {
            bytes += "junk" + tag; // the first start needs no line feed
            continue;
        }
        // Eol 0: LF, 1: CR LF, 2: a lone CR, 3: CR LF and a byte order mark
        // (files joined with cat).
        if (Eol == 1 || Eol == 3) bytes.back() = '\r';
        bytes +=
            std::string(Eol == 2 ? "\r" : "\n") + (Eol == 3 ? "\xEF\xBB\xBF" : "") + tag + "\r\n";
    }
    bytes += Filler(100, rng);
    return bytes;
}

std::vector<int64_t> ScanInPieces(const std::string& Bytes, size_t Piece) {
    TGameStartScanner scanner;
    std::vector<int64_t> starts;
    std::vector<char> buf(TGameStartScanner::HeadRoom + Piece);
    for (size_t off = 0; off < Bytes.size(); off += Piece) {
        size_t n = std::min(Piece, Bytes.size() - off);
        std::memcpy(buf.data() + TGameStartScanner::HeadRoom, Bytes.data() + off, n);
        scanner.Feed(buf.data() + TGameStartScanner::HeadRoom, n, starts);
    }
    scanner.Finish(starts);
    return starts;
}

// Game starts the slow way, one byte at a time: a line-start "[Event "
// counts unless a brace comment is open there. Braces count not inside a
// string (to its quote or the line end, \" escaped) nor in a rest-of-line
// comment (";", or "%" at a line start). A comment still open at the end
// hides nothing.
std::vector<int64_t> CommentAwareStarts(const std::string& B) {
    std::vector<int64_t> starts, hidden;
    const std::string tag = "[Event ", bom = "\xEF\xBB\xBF";
    const size_t first = B.find(tag);
    if (first == std::string::npos) return starts;
    starts.push_back(static_cast<int64_t>(first));
    enum { Moves, Comment, Line } st = Moves;
    bool str = false, esc = false;
    for (size_t i = first + 1; i < B.size(); ++i) {
        const char c = B[i];
        if (c == '\n' || c == '\r') {
            if (st == Line) st = Moves;
            str = esc = false;
            size_t at = i + 1;
            if (B.compare(at, bom.size(), bom) == 0) at += bom.size();
            if (B.compare(at, tag.size(), tag) == 0)
                (st == Moves ? starts : hidden).push_back(static_cast<int64_t>(at));
            continue;
        }
        if (st == Comment) {
            if (c == '}') {
                st = Moves;
                hidden.clear();
            }
        } else if (st == Moves) {
            if (str) {
                if (esc)
                    esc = false;
                else if (c == '\\')
                    esc = true;
                else if (c == '"')
                    str = false;
            } else if (c == '"') {
                str = true;
            } else if (c == '{') {
                st = Comment;
            } else if (c == ';' || (c == '%' && (B[i - 1] == '\n' || B[i - 1] == '\r'))) {
                st = Line;
            }
        }
    }
    if (st == Comment) starts.insert(starts.end(), hidden.begin(), hidden.end());
    return starts;
}

} // namespace

TEST(PGNScan, StartsAroundBlockBordersMatchPlainSearch) {
    const unsigned seed = 20261207;
    std::mt19937 rng(seed);
    kbtest::TempDir dir;
    const auto file = dir / "border.pgn";
    for (int delta = -8; delta <= 8; ++delta) {
        for (int variant = 0; variant < 8; ++variant) {
            const int eol = variant % 4;
            const bool firstAtBorder = variant >= 4;
            SCOPED_TRACE(testing::Message() << "seed " << seed << " delta " << delta << " eol "
                                            << eol << " firstAtBorder " << firstAtBorder);
            // 17 blocks cross the scanner's larger read size too.
            const std::string bytes = BorderFile(delta, eol, firstAtBorder, 17, rng);
            const auto expected = PlainStarts(bytes);
            ASSERT_GE(expected.size(), 17u);

            for (size_t piece : {size_t(kBlock), size_t(1), size_t(7), size_t(8), size_t(4099)})
                EXPECT_EQ(ScanInPieces(bytes, piece), expected) << "pieces of " << piece;

            kbtest::WriteFile(file, bytes);
            TPGN pgn;
            ASSERT_TRUE(pgn.SetFileName(file.string()));
            ASSERT_FALSE(pgn.ScanIncomplete());
            std::vector<int64_t> got;
            for (int i = 0; i < pgn.RecordCount(); ++i)
                got.push_back(pgn.Record(i).Start);
            EXPECT_EQ(got, expected);
            ASSERT_FALSE(got.empty());
            EXPECT_EQ(pgn.Record(pgn.RecordCount() - 1).End, static_cast<int64_t>(bytes.size()));
            EXPECT_EQ(pgn.GameCount(), pgn.ItemCount());
        }
    }
}

TEST(PGNScan, ZeroBytesHideNoGameAndLeadingTextBelongsToNone) {
    kbtest::TempDir dir;
    std::string bytes = std::string("preamble\0\0 [Ev", 15) + "\r\n";
    bytes += "comment [Event \"first\"]\r\n\r\n1. e4 *\r\n";
    bytes += std::string(40000, '\0');
    bytes += "\r\n[Event \"second\"]\r\n\r\n1. d4 *\r\n";
    kbtest::WriteFile(dir / "z.pgn", bytes);
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "z.pgn").string()));
    ASSERT_EQ(pgn.GameCount(), 2);
    EXPECT_EQ(pgn.Record(0).Start, static_cast<int64_t>(bytes.find("[Event \"first")));
    EXPECT_EQ(pgn.Record(1).Start, static_cast<int64_t>(bytes.find("[Event \"second")));
    std::string text;
    bool deleted = true;
    ASSERT_TRUE(pgn.ReadGameText(1, deleted, text));
    EXPECT_FALSE(deleted);
    EXPECT_EQ(text, "[Event \"second\"]\r\n\r\n1. d4 *");
    // The game ends where the next starts; the zeros between are not text.
    ASSERT_TRUE(pgn.ReadGameText(0, deleted, text));
    EXPECT_EQ(text.rfind("[Event \"first\"]", 0), 0u);
}

TEST(PGNScan, EmptyAndBlankFilesHoldNoGames) {
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "empty.pgn", "");
    kbtest::WriteFile(dir / "blank.pgn", "\r\n\n\r\n");
    for (const char* name : {"empty.pgn", "blank.pgn"}) {
        TPGN pgn;
        ASSERT_TRUE(pgn.SetFileName((dir / name).string())) << name;
        EXPECT_TRUE(pgn.Loaded());
        EXPECT_EQ(pgn.GameCount(), 0);
        EXPECT_EQ(pgn.ItemCount(), 0);
        EXPECT_EQ(pgn.GameIndex(0), -1);
    }
}

TEST(PGNScan, RealFilesMatchPlainSearch) {
    for (const char* name :
         {"Carlsen.pgn", "utf8-bom.pgn", "empty-line-in-tags.pgn", "chess960-engine-games.pgn"}) {
        const auto path = kbtest::TestData(std::string("pgn/") + name);
        const std::string bytes = kbtest::ReadFile(path);
        TPGN pgn;
        ASSERT_TRUE(pgn.SetFileName(path.string())) << name;
        std::vector<int64_t> got;
        for (int i = 0; i < pgn.RecordCount(); ++i)
            got.push_back(pgn.Record(i).Start);
        EXPECT_EQ(got, PlainStarts(bytes)) << name;
    }
}

TEST(PGNScan, CancelledScanIsIncompleteUntilScannedAgain) {
    kbtest::TempDir dir;
    std::mt19937 rng(5);
    std::string bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += pgntest::MakeGame(i, 300, rng) + "\r\n\r\n";
    const auto file = dir / "many.pgn";
    kbtest::WriteFile(file, bytes);
    const auto expected = PlainStarts(bytes);
    ASSERT_EQ(expected.size(), 3000u);

    TPGN pgn;
    std::vector<int> seen;
    bool cancel = true;
    pgn.OnPGNTrace = [&](TPGN*, int percent, TCancelMode& mode) {
        EXPECT_EQ(mode, cmGoOn);
        seen.push_back(percent);
        if (cancel && percent > 0) mode = cmCancel;
    };
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    EXPECT_TRUE(pgn.ScanIncomplete());
    ASSERT_GT(pgn.GameCount(), 50);
    ASSERT_LT(pgn.GameCount(), 3000);
    // Every record kept is whole: it ends where the next game starts.
    const int n = pgn.GameCount();
    EXPECT_EQ(pgn.Record(n - 1).End, expected[n]);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 0);

    int gameNo = -1;
    EXPECT_FALSE(pgn.AppendGame(gameNo, "[Event \"x\"]\r\n\r\n*"));
    EXPECT_FALSE(pgn.DeleteGame(0));
    EXPECT_EQ(kbtest::ReadFile(file), bytes);

    cancel = false;
    seen.clear();
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    EXPECT_FALSE(pgn.ScanIncomplete());
    EXPECT_EQ(pgn.GameCount(), 3000);
    // Progress rises and ends with 0.
    ASSERT_GE(seen.size(), 2u);
    for (size_t i = 1; i + 1 < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]);
    EXPECT_EQ(seen.back(), 0);
    EXPECT_LE(*std::max_element(seen.begin(), seen.end()), 100);
}

TEST(PGNScan, OffsetsBeyondTwoGiB) {
    kbtest::TempDir dir;
    const auto file = dir / "sparse.pgn";
    const std::string first = "[Event \"a\"]\r\n\r\n1. e4 *\r\n";
    const std::string tail = "\r\n[Event \"b\"]\r\n\r\n1. d4 *\r\n\r\n[Event \"c\"]\r\n\r\n1. c4 *";
    const int64_t hole = (int64_t(1) << 31) + 12345;
    {
        kbtest::WriteFile(file, first);
        std::filesystem::resize_file(file, hole);
        FILE* f = std::fopen(file.c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::fwrite(tail.data(), 1, tail.size(), f);
        std::fclose(f);
    }
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    ASSERT_EQ(pgn.GameCount(), 3);
    EXPECT_EQ(pgn.Record(1).Start, hole + 2);
    std::string text;
    bool deleted = false;
    ASSERT_TRUE(pgn.ReadGameText(2, deleted, text));
    EXPECT_EQ(text, "[Event \"c\"]\r\n\r\n1. c4 *");

    // An edit far out in the file (which now ends with CR LF); the hole
    // stays a hole.
    const int64_t startB = hole + 2;
    const int64_t startC = hole + static_cast<int64_t>(tail.find("[Event \"c"));
    ASSERT_TRUE(pgn.DeleteGame(1));
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(file)),
              hole + static_cast<int64_t>(tail.size()) - (startC - startB) + 2);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_LT(static_cast<int64_t>(st.st_blocks) * 512, int64_t(1) << 24);
    ASSERT_TRUE(pgn.ReadGameText(1, deleted, text));
    EXPECT_EQ(text, "[Event \"c\"]\r\n\r\n1. c4 *");
    EXPECT_EQ(pgn.Record(1).Start, hole + 2);
}

// Comments, strings and rest-of-line comments in random order, cut at random
// block borders: the scan finds the starts the slow rule finds.
TEST(PGNScan, StartsInsideCommentsAreNoStartsAtAnyBorder) {
    const unsigned seed = 7121;
    std::mt19937 rng(seed);
    const std::vector<std::string> pieces = {"\r\n[Event \"g\"]\r\n",
                                             "\n[Event ",
                                             "\r[Event \"x\"]",
                                             "[Event ",
                                             "{",
                                             "}",
                                             "\"",
                                             "\\",
                                             ";",
                                             "%",
                                             "\r",
                                             "\n",
                                             "\r\n",
                                             "\xEF\xBB\xBF",
                                             " e4 e5 ",
                                             "[Annotator \"{\"]"};
    kbtest::TempDir dir;
    for (int file = 0; file < 40; ++file) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " file " << file);
        std::string bytes = "[Event \"first\"]\r\n";
        // Few braces in some files, many in others; long stretches without
        // any mark in between, so that the wide search runs too.
        const unsigned braces = 1 + file % 5;
        while (bytes.size() < 40000) {
            const size_t k = rng() % pieces.size();
            if ((pieces[k] == "{" || pieces[k] == "}") && rng() % 5 >= braces) continue;
            bytes += pieces[k];
            if (rng() % 8 == 0) bytes += std::string(rng() % 200, 'a');
        }
        const auto expected = CommentAwareStarts(bytes);
        for (size_t piece :
             {size_t(1), size_t(7), size_t(8), size_t(13), size_t(100), size_t(kBlock)})
            ASSERT_EQ(ScanInPieces(bytes, piece), expected) << "pieces of " << piece;
        kbtest::WriteFile(dir / "c.pgn", bytes);
        TPGN pgn;
        ASSERT_TRUE(pgn.SetFileName((dir / "c.pgn").string()));
        std::vector<int64_t> got;
        for (int i = 0; i < pgn.RecordCount(); ++i)
            got.push_back(pgn.Record(i).Start);
        EXPECT_EQ(got, expected);
    }
}

namespace {

// The games pgn-extract reads from a file, as it writes them again.
std::string PgnExtractGames(const std::string& Peer, const std::filesystem::path& File,
                            bool Tags = true) {
    std::vector<std::string> argv{Peer, "-s", "-w", "100000"};
    if (!Tags) argv.push_back("--notags");
    argv.push_back(File.string());
    const auto r = kbtest::Run(argv);
    EXPECT_EQ(r.exitCode, 0);
    return r.out;
}

size_t CountEvents(const std::string& Text) {
    size_t n = 0;
    for (size_t p = Text.find("[Event "); p != std::string::npos; p = Text.find("[Event ", p + 1))
        n += p == 0 || Text[p - 1] == '\n';
    return n;
}

} // namespace

// A comment holding a line that begins like a game: the list, an import into
// a database and a delete see the games pgn-extract sees, and a delete leaves
// a file that pgn-extract reads whole.
TEST(PGNScan, EventLineInACommentForListImportAndDelete) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    kbtest::TempDir dir;
    auto games = kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")));
    games.resize(6);
    // The comment goes after the first move of games 1 and 3.
    for (size_t g : {size_t(1), size_t(3)}) {
        const size_t at = games[g].find("1.");
        ASSERT_NE(at, std::string::npos);
        const size_t blank = games[g].find(' ', games[g].find(' ', at) + 1);
        games[g].insert(blank, " {a note\r\n[Event \"fake\"]\r\n[White \"x\"]\r\nstill a note}");
    }
    std::string text;
    for (const auto& g : games)
        text += g;
    const auto file = dir / "c.pgn";
    kbtest::WriteFile(file, text);
    const std::string before = PgnExtractGames(pgnExtract, file);
    ASSERT_EQ(CountEvents(before), 6u);

    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    ASSERT_EQ(pgn.GameCount(), 6);
    std::string game;
    bool deleted = false;
    ASSERT_TRUE(pgn.ReadGameText(1, deleted, game));
    EXPECT_NE(game.find("still a note} "), std::string::npos);

    // Into a database and out again: the same six games.
    const auto kbf = (dir / "c.kbf").string();
    const auto imported = kbtest::Run({kbtest::BenchPath(), "db-import", file.string(), kbf});
    ASSERT_EQ(imported.exitCode, 0);
    EXPECT_EQ(imported.out.substr(0, 12), "0\n1\n2\n3\n4\n5\n");
    EXPECT_EQ(imported.out.substr(12, 8), "seconds\t");
    const auto exported = kbtest::Run({kbtest::BenchPath(), "db-export", kbf});
    ASSERT_EQ(exported.exitCode, 0);
    kbtest::WriteFile(dir / "out.pgn", exported.out);
    // Moves and comments alike (a database keeps its own set of tags).
    EXPECT_EQ(PgnExtractGames(pgnExtract, dir / "out.pgn", false),
              PgnExtractGames(pgnExtract, file, false));
    EXPECT_EQ(CountEvents(exported.out), 6u);

    // Deleting the game behind a comment, then the game with it: each time
    // the file holds the other games whole.
    for (int row : {2, 1}) {
        SCOPED_TRACE(row);
        ASSERT_TRUE(pgn.DeleteGame(row));
        games.erase(games.begin() + row);
        std::string rest;
        for (const auto& g : games)
            rest += g;
        kbtest::WriteFile(dir / "expected.pgn", rest);
        EXPECT_EQ(PgnExtractGames(pgnExtract, file),
                  PgnExtractGames(pgnExtract, dir / "expected.pgn"));
        EXPECT_EQ(CountEvents(PgnExtractGames(pgnExtract, file)), games.size());
        EXPECT_EQ(pgn.GameCount(), static_cast<int>(games.size()));
    }
}

// A text goes into a file only as one game the scan will find again: a start
// inside its comment is part of it, a second start or a comment left open is
// refused, and the file stays as it was.
TEST(PGNScan, EditsTakeOnlyTextsTheScanReadsAsOneGame) {
    kbtest::TempDir dir;
    const auto file = dir / "e.pgn";
    const std::string a = "[Event \"A\"]\r\n\r\n1. e4 *\r\n\r\n";
    kbtest::WriteFile(file, a + "[Event \"B\"]\r\n\r\n1. d4 *\r\n");
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName(file.string()));
    const std::string fileBefore = kbtest::ReadFile(file);
    int no = -1;
    for (const std::string& bad :
         {std::string("[Event \"C\"]\r\n\r\n1. c4 {open\r\n"),
          std::string("[Event \"C\"]\r\n\r\n1. c4 *\r\n[Event \"D\"]\r\n\r\n1. f4 *"),
          std::string("1. c4 *")}) {
        EXPECT_FALSE(TPGN::IsGameText(bad)) << bad;
        EXPECT_FALSE(pgn.AppendGame(no, bad));
        EXPECT_FALSE(pgn.InsertGame(0, no, bad));
        int keep = 0;
        EXPECT_FALSE(pgn.SaveGame(0, keep, gmReplace, bad));
        EXPECT_EQ(kbtest::ReadFile(file), fileBefore);
    }
    const std::string good = "[Event \"C\"]\r\n\r\n1. c4 {see\r\n[Event \"D\"]\r\n} *";
    EXPECT_TRUE(TPGN::IsGameText(good));
    ASSERT_TRUE(pgn.InsertGame(1, no, good));
    EXPECT_EQ(pgn.GameCount(), 3);
    TPGN again;
    ASSERT_TRUE(again.SetFileName(file.string()));
    EXPECT_EQ(again.GameCount(), 3);
}
