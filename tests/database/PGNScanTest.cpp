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
// first game, with blanks before it, across the first border too.
std::string BorderFile(int Delta, int Eol, bool FirstAtBorder, int Blocks, std::mt19937& rng) {
    std::string bytes;
    const std::string tag = "[Event \"x\"]";
    if (!FirstAtBorder) bytes = tag;
    for (int k = 1; k <= Blocks; ++k) {
        const size_t at = static_cast<size_t>(k * kBlock + Delta);
        if (bytes.size() < at) bytes += Filler(at - bytes.size(), rng);
        bytes.resize(at);
        if (k == 1 && FirstAtBorder) {
            bytes += "\n \t" + tag; // blanks before the first "["
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
    bytes += "comment [Event \"quoted\"]\r\n[Event \"first\"]\r\n\r\n1. e4 *\r\n";
    bytes += std::string(40000, '\0');
    bytes += "\r\n[Event \"second\"]\r\n\r\n1. d4 *\r\n";
    kbtest::WriteFile(dir / "z.pgn", bytes);
    TPGN pgn;
    ASSERT_TRUE(pgn.SetFileName((dir / "z.pgn").string()));
    ASSERT_EQ(pgn.GameCount(), 2);
    // A tag behind text on its line opens the first game all the same.
    EXPECT_EQ(pgn.Record(0).Start, static_cast<int64_t>(bytes.find("[Event \"quoted")));
    EXPECT_EQ(pgn.Record(1).Start, static_cast<int64_t>(bytes.find("[Event \"second")));
    std::string text;
    bool deleted = true;
    ASSERT_TRUE(pgn.ReadGameText(1, deleted, text));
    EXPECT_FALSE(deleted);
    EXPECT_EQ(text, "[Event \"second\"]\r\n\r\n1. d4 *");
    // The game ends where the next starts; the zeros between are not text.
    ASSERT_TRUE(pgn.ReadGameText(0, deleted, text));
    EXPECT_EQ(text.rfind("[Event \"quoted\"]\r\n[Event \"first\"]", 0), 0u);
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
                                             "[Annotator \"{\"]",
                                             "\r\n[Site \"s\"]\r\n",
                                             "\n \t[white\t\"w\"] ",
                                             "\n[Round\"1\"]",
                                             "\n\"x\"]",
                                             "]",
                                             "\n1. d4 ",
                                             " *\r\n\r\n"};
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
        const auto expected = PlainStarts(bytes);
        // Each vector width the processor has, and none.
        for (int width = 2; width >= 0; --width) {
            if (LimitScanWidth(width) != width) continue;
            for (size_t piece :
                 {size_t(1), size_t(7), size_t(8), size_t(13), size_t(100), size_t(kBlock)})
                ASSERT_EQ(ScanInPieces(bytes, piece), expected)
                    << "pieces of " << piece << ", width " << width;
        }
        LimitScanWidth(-1);
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

// Random text from pieces of move text, tags, comments and strings.
std::string PieceText(size_t Size, std::mt19937& Rng) {
    static const std::vector<std::string> pieces = {"\r\n[Event \"g\"]\r\n",
                                                    "\n[Site \"s\"]",
                                                    "{",
                                                    "}",
                                                    "\"",
                                                    "\\",
                                                    ";",
                                                    "%",
                                                    "\r\n",
                                                    "\n",
                                                    "\n12. Nf3 Nc6 ",
                                                    "\r\n1. e4 ",
                                                    "\nO-O ",
                                                    "\n \t[white\t\"w\"] ",
                                                    "]",
                                                    "\n\"x\"]",
                                                    "\xEF\xBB\xBF",
                                                    " 1-0\r\n\r\n",
                                                    "\n[Round\"1\"]",
                                                    " e4 e5 "};
    std::string bytes = "[Event \"first\"]\r\n";
    while (bytes.size() < Size) {
        bytes += pieces[Rng() % pieces.size()];
        if (Rng() % 8 == 0) bytes += std::string(Rng() % 300, 'a');
    }
    return bytes;
}

} // namespace

// A second scanner taken up in move text in the middle of a file finds what
// the first would find from there, whenever the first, fed the bytes before,
// stands where the second begins; at every width.
TEST(PGNScan, ScannerTakenUpInMoveTextFindsWhatTheFirstWould) {
    const unsigned seed = 3911;
    std::mt19937 rng(seed);
    int stands = 0, standsNot = 0;
    for (int file = 0; file < 12; ++file) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " file " << file);
        const std::string bytes = PieceText(6000, rng);
        const auto expected = PlainStarts(bytes);
        for (int width = 2; width >= 0; --width) {
            if (LimitScanWidth(width) != width) continue;
            SCOPED_TRACE(testing::Message() << "width " << width);
            for (size_t at = 2; at < bytes.size(); ++at) {
                // Behind line ends, and now and then anywhere.
                if (bytes[at - 2] != '\n' && rng() % 8 != 0) continue;
                std::string buf(TGameStartScanner::HeadRoom + bytes.size(), '\0');
                char* block = buf.data() + TGameStartScanner::HeadRoom;
                TGameStartScanner first;
                std::vector<int64_t> starts;
                for (size_t off = 0; off < at;) {
                    const size_t n = std::min<size_t>(1 + rng() % 700, at - off);
                    std::memcpy(block, bytes.data() + off, n);
                    first.Feed(block, n, starts);
                    off += n;
                }
                TGameStartScanner second = TGameStartScanner::InMovesAt(
                    static_cast<int64_t>(at), bytes[at - 2], bytes[at - 1]);
                if (!first.StandsAt(second)) {
                    ++standsNot;
                    continue;
                }
                ++stands;
                for (size_t off = at; off < bytes.size();) {
                    const size_t n = std::min<size_t>(1 + rng() % 700, bytes.size() - off);
                    std::memcpy(block, bytes.data() + off, n);
                    second.Feed(block, n, starts);
                    off += n;
                }
                second.Finish(starts);
                ASSERT_EQ(starts, expected) << "taken up at " << at;
            }
        }
        LimitScanWidth(-1);
    }
    // Both ways are met often.
    EXPECT_GT(stands, 1000);
    EXPECT_GT(standsNot, 1000);
}

// A large file is read in stretches at once, by 1 to 4 threads. Where the
// stretches meet: move text; a comment (closed or not); tag sections, strings,
// ";" comments and the rest: the list holds the starts of the plain search,
// the progress rises, and a cancel keeps whole games only.
TEST(PGNScan, LargeFilesReadByThreadsAtOnceMatchPlainSearch) {
    const unsigned seed = 4077;
    std::mt19937 rng(seed);
    kbtest::TempDir dir;
    const auto file = dir / "large.pgn";
    std::string games;
    for (int i = 0; games.size() < 1500000; ++i)
        games += pgntest::MakeGame(i, 400 + rng() % 800, rng) + "\r\n\r\n";
    for (int variant = 0; variant < 16; ++variant) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << " variant " << variant);
        std::string bytes = games;
        // Variant 0 as it is; 1 and 2 with a comment over the middle
        // (closed, or to the end); the others with pieces of every kind
        // about each twelfth, so about where 2, 3 or 4 stretches meet.
        const size_t size = games.size();
        if (variant == 1 || variant == 2) {
            if (variant == 1) bytes.insert(size / 10 * 7, "}");
            bytes.insert(size / 10 * 3, "{ a note\r\n1. e4\r\n[Event \"hidden\"]\r\n");
        } else if (variant > 2) {
            for (size_t k = 11; k >= 1; --k) {
                for (int n = 0; n < 6; ++n) {
                    const size_t at = size / 12 * k - 2000 + rng() % 4000;
                    bytes.insert(at, PieceText(1 + rng() % 60, rng).substr(17));
                }
            }
        }
        const auto expected = PlainStarts(bytes);
        kbtest::WriteFile(file, bytes);
        for (int threads = 1; threads <= 4; ++threads) {
            SCOPED_TRACE(testing::Message() << "threads " << threads);
            ASSERT_EQ(LimitScanThreads(threads), threads);
            TPGN pgn;
            std::vector<int> seen;
            pgn.OnPGNTrace = [&](TPGN*, int percent, TCancelMode&) { seen.push_back(percent); };
            ASSERT_TRUE(pgn.SetFileName(file.string()));
            ASSERT_FALSE(pgn.ScanIncomplete());
            std::vector<int64_t> got;
            for (int i = 0; i < pgn.RecordCount(); ++i)
                got.push_back(pgn.Record(i).Start);
            EXPECT_EQ(got, expected);
            EXPECT_EQ(pgn.Record(pgn.RecordCount() - 1).End, static_cast<int64_t>(bytes.size()));
            ASSERT_GE(seen.size(), 3u);
            for (size_t i = 1; i + 1 < seen.size(); ++i)
                EXPECT_GT(seen[i], seen[i - 1]);
            EXPECT_LE(*std::max_element(seen.begin(), seen.end()), 100);
            EXPECT_EQ(seen.back(), 0);

            // Cancelled while the first stretch is still being read: whole
            // games only.
            if (variant > 2) continue;
            for (int cancelAt : {1, 15}) {
                SCOPED_TRACE(testing::Message() << "cancel at " << cancelAt);
                TPGN cut;
                cut.OnPGNTrace = [&](TPGN*, int percent, TCancelMode& mode) {
                    if (percent >= cancelAt) mode = cmCancel;
                };
                ASSERT_TRUE(cut.SetFileName(file.string()));
                EXPECT_TRUE(cut.ScanIncomplete());
                const int n = cut.GameCount();
                ASSERT_GT(n, 0);
                ASSERT_LT(static_cast<size_t>(n), expected.size());
                for (int i = 0; i < n; ++i) {
                    ASSERT_EQ(cut.Record(i).Start, expected[i]);
                    ASSERT_EQ(cut.Record(i).End, expected[i + 1]);
                }
            }
        }
        LimitScanThreads(0);
    }
}

// The threads of some stretches cannot be started (every combination of
// the three later ones of four): the scan reads those stretches itself and
// finds every game of Carlsen + Korchnoi, complete.
TEST(PGNScan, AStretchWithoutAThreadIsReadByTheScanItself) {
    kbtest::TempDir dir;
    const auto file = dir / "ck.pgn";
    const std::string bytes = kbtest::ReadFile(kbtest::TestData("pgn/Carlsen.pgn")) +
                              kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn"));
    kbtest::WriteFile(file, bytes);
    const auto expected = FindGameStarts(bytes);
    ASSERT_EQ(expected.size(), 7418u);
    ASSERT_EQ(LimitScanThreads(4), 4);
    for (unsigned refused = 0; refused < 8; ++refused) {
        SCOPED_TRACE(testing::Message() << "threads refused for stretches (bits) " << refused * 2);
        RefuseScanThreads(refused * 2);
        TPGN pgn;
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        EXPECT_FALSE(pgn.ScanIncomplete());
        std::vector<int64_t> got;
        for (int i = 0; i < pgn.RecordCount(); ++i)
            got.push_back(pgn.Record(i).Start);
        EXPECT_EQ(got, expected);
        EXPECT_EQ(pgn.Record(pgn.RecordCount() - 1).End, static_cast<int64_t>(bytes.size()));
        // The index fits the file: an edit goes through.
        EXPECT_TRUE(pgn.DeleteGames({7417}));
        kbtest::WriteFile(file, bytes);
    }
    RefuseScanThreads(0);
    LimitScanThreads(0);
}

// Lines that blocks cannot settle, longer than many blocks: an open tag
// value over a tail of zeros (what a crash leaves), a long value, name or
// run of blanks before a tag, blanks behind a tag's "]". Fed in blocks,
// each byte is read a few times, not once per block behind it, and the
// starts are the ones the slow rule finds.
TEST(PGNScan, LinesLongerThanBlocksAreReadThroughOnce) {
    const std::string game = "[Event \"a\"]\r\n[Result \"*\"]\r\n\r\n1. e4 *\r\n\r\n";
    const std::string next = "\r\n[Event \"b\"]\r\n\r\n1. d4 *\r\n";
    constexpr size_t kLong = size_t{4} << 20;
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"open tag over zeros", game + "[Event \"ab" + std::string(kLong, '\0')},
        {"long value", game + "[Event \"" + std::string(kLong, 'v') + "\"]\r\n\r\n1. c4 *" + next},
        {"long tag name", game + "[" + std::string(kLong, 'N') + next},
        {"blanks before a tag", game + std::string(kLong, ' ') + "[Event \"x\"]" + next},
        {"blanks behind a tag", "[Event \"a\"]" + std::string(kLong, ' ') + "1. e4 *" + next},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        const auto expected = PlainStarts(bytes);
        for (size_t piece : {size_t(kBlock), size_t(4 * kBlock), size_t(1) << 20}) {
            SCOPED_TRACE(testing::Message() << "pieces of " << piece);
            TGameStartScanner scanner;
            std::vector<int64_t> starts;
            std::vector<char> buf(TGameStartScanner::HeadRoom + piece);
            for (size_t off = 0; off < bytes.size(); off += piece) {
                const size_t n = std::min(piece, bytes.size() - off);
                std::memcpy(buf.data() + TGameStartScanner::HeadRoom, bytes.data() + off, n);
                scanner.Feed(buf.data() + TGameStartScanner::HeadRoom, n, starts);
            }
            scanner.Finish(starts);
            EXPECT_EQ(starts, expected);
            EXPECT_LE(scanner.Examined(), 4 * static_cast<int64_t>(bytes.size()));
        }
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
    EXPECT_EQ(imported.out.rfind("stored\t6\ngames\t6\nskipped\t0\nseconds\t", 0), 0u)
        << imported.out;
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

namespace {

// The games of a file as the scan splits it, blanks around each trimmed.
std::vector<std::string> ScannedGames(const std::string& Bytes) {
    std::vector<std::string> games;
    for (const std::string_view g : SplitGameTexts(Bytes))
        games.emplace_back(TrimBlanks(g));
    return games;
}

// Files whose games start with other tags than Event, or hold no Event
// line, or quote a game start in front of the first game.
std::vector<std::string> TagSectionCases() {
    const std::string b = "\n[White \"W2\"]\n[Black \"B2\"]\n[Result \"0-1\"]\n\n1. d4 d5 0-1\n";
    const std::string a = "[Event \"A\"]\n[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n";
    std::vector<std::string> cases = {
        a + "[Site \"S2\"]\n[Date \"2002.02.02\"]\n[Event \"B\"]" + b,
        a.substr(0, a.size() - 1) + b,
        a + "[Event\t\"B\"]" + b,
        a + "[Event\"B\"]" + b,
        "[event \"A\"]\r\n[Result \"1-0\"]\r\n\r\n1. e4 e5 1-0\r\n\r\n[event \"B\"]" + b,
        a + "  [Site \"S2\"]\n%escaped\n\n[Event \"B\"]" + b,
    };
    for (const char* top :
         {"%[Event \"x\"]\n", "; [Event \"x\"]\n", "{ [Event \"x\"] }\n", "x[Event \"x\"]\n"})
        cases.push_back(top + a + "[Event \"B\"]" + b);
    // A Chess960 game whose position tags stand above its Event line.
    std::string c960 =
        kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData("pgn/chess960-engine-games.pgn")))
            .front();
    std::string above;
    for (const char* tag : {"[FEN ", "[SetUp ", "[Variant "}) {
        const size_t at = c960.find(tag);
        const size_t end = c960.find('\n', at) + 1;
        above += c960.substr(at, end - at);
        c960.erase(at, end - at);
    }
    cases.push_back(a + above + c960);
    // A tag cut over two lines first in a game; tags behind the moves on
    // their line (alone, with others below, or the whole game on a line);
    // games without tags, before, between and after others; a last move
    // right behind a dot; a result in the moves without a Result tag.
    cases.push_back(
        "[Event\n\"A\"]\n[Site \"S2\"]\n[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n[Event\r\n \"B\"]" + b);
    cases.push_back("[Event\n\"A\"] [Site\n\"S2\"] [Result \"1-0\"] 1. e4 e5 1-0\n\n[Event \"B\"]" +
                    b);
    cases.push_back(
        "[Event \"A\"] [Result \"1-0\"] 1. e4 e5 1-0 [Event \"B\"] [White \"W2\"] [Black "
        "\"B2\"] [Result \"0-1\"] 1. d4 d5 0-1 [Event \"C\"] 1. c4 *");
    cases.push_back(a.substr(0, a.size() - 2) + " [Event \"B\"]" + b);
    cases.push_back("1. e4 e5 *\n\n1. d4 d5 *\n1. c4 c5 1/2-1/2 1. f4 f5 0-1\n\n1. g4 g5\n");
    cases.push_back("1. e4 e5 1-0\n\n[Event \"B\"]" + b + "\n1. c4 c5 *\n");
    cases.push_back("[Event \"A\"]\n[Result \"*\"]\n\n1. e4 e5.Nf3 *\n\n[Event \"B\"]" + b);
    cases.push_back("[Event \"A\"]\n\n1. e4 e5 1-0\n\n[Event \"B\"]\n\n1. d4 d5 0-1\n");
    // Real games without tags, and all on one line.
    std::string real;
    for (const auto& g :
         kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn"))))
        if ((real += g).size() > 12000) break;
    std::string noTags, oneLine;
    for (const std::string_view g : SplitGameTexts(real)) {
        const std::string_view t = TrimBlanks(g);
        noTags += std::string(t.substr(t.find("\r\n1.") + 2)) + "\r\n\r\n";
    }
    for (const char c : real)
        oneLine += c == '\r' || c == '\n' ? ' ' : c;
    cases.push_back(noTags);
    cases.push_back(oneLine);
    return cases;
}

} // namespace

// Every reader finds the games pgn-extract finds: the list, an import into a
// database (and the export of it reads as the file does), and a delete of
// any game leaves every other game as it was, byte for byte.
TEST(PGNScan, TagSectionsStartGamesForListImportAndDelete) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    kbtest::TempDir dir;
    const auto file = dir / "t.pgn", copy = dir / "d.pgn";
    const auto cases = TagSectionCases();
    for (size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(testing::Message() << "case " << c << ":\n" << cases[c]);
        kbtest::WriteFile(file, cases[c]);
        const size_t games = CountEvents(PgnExtractGames(pgnExtract, file));
        ASSERT_GE(games, 2u);
        TPGN pgn;
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        EXPECT_EQ(pgn.GameCount(), static_cast<int>(games));
        const std::vector<std::string> all = ScannedGames(cases[c]);
        ASSERT_EQ(all.size(), games);

        const auto kbf = (dir / ("t" + std::to_string(c) + ".kbf")).string();
        const auto imported = kbtest::Run({kbtest::BenchPath(), "db-import", file.string(), kbf});
        EXPECT_EQ(imported.exitCode, 0) << imported.out;
        EXPECT_NE(imported.out.find("games\t" + std::to_string(games) + "\n"), std::string::npos)
            << imported.out;
        // The database's export, and the file's own (every game loaded and
        // written again): the moves and results as pgn-extract reads them (a
        // game that lost its position has none), and the players, site and
        // date of the file.
        for (const char* how : {"db-export", "pgn-export"}) {
            SCOPED_TRACE(how);
            const auto exported = kbtest::Run(
                {kbtest::BenchPath(), how, std::string(how) == "db-export" ? kbf : file.string()});
            ASSERT_EQ(exported.exitCode, 0);
            kbtest::WriteFile(dir / "out.pgn",
                              exported.out.substr(0, exported.out.rfind("seconds\t")));
            EXPECT_EQ(PgnExtractGames(pgnExtract, dir / "out.pgn", false),
                      PgnExtractGames(pgnExtract, file, false));
            for (const char* tag :
                 {"[Site \"S2\"]", "[Date \"2002.02.02\"]", "[White \"W2\"]", "[Event \"A\"]"}) {
                if (cases[c].find(tag) != std::string::npos) {
                    EXPECT_NE(exported.out.find(tag), std::string::npos) << tag;
                }
            }
        }
        // One line a game, each read without a word.
        const auto errors = dir / "err.txt";
        const auto loaded = kbtest::Run({"/bin/sh", "-c", "\"$0\" pgn-load \"$1\" 2>\"$2\"",
                                         kbtest::BenchPath(), file.string(), errors.string()});
        EXPECT_EQ(loaded.exitCode, 0);
        EXPECT_EQ(kbtest::ReadFile(errors), "");
        EXPECT_EQ(static_cast<size_t>(std::count(loaded.out.begin(), loaded.out.end(), '\n')),
                  games + 1);

        for (size_t row = 0; row < games; ++row) {
            SCOPED_TRACE(testing::Message() << "row " << row);
            kbtest::WriteFile(copy, cases[c]);
            TPGN del;
            ASSERT_TRUE(del.SetFileName(copy.string()));
            ASSERT_TRUE(del.DeleteGame(static_cast<int>(row)));
            std::vector<std::string> rest = all;
            rest.erase(rest.begin() + static_cast<long>(row));
            EXPECT_EQ(ScannedGames(kbtest::ReadFile(copy)), rest);
            EXPECT_EQ(CountEvents(PgnExtractGames(pgnExtract, copy)), games - 1);
        }
    }
}

// A game without tags starts only behind a result: a delete that would put
// it behind a game without one would join the two, and is refused; the file
// stays as it was. Other rows go as ever.
TEST(PGNScan, DeleteThatWouldJoinTheGameBehindIsRefused) {
    kbtest::TempDir dir;
    const auto file = dir / "j.pgn";
    const std::string text = "[Event \"A\"]\r\n\r\n1. e4 e5\r\n\r\n[Event \"B\"]\r\n\r\n1. d4 d5 "
                             "1-0\r\n\r\n1. c4 c5 *\r\n";
    for (int row : {1, 0, 2}) {
        SCOPED_TRACE(row);
        kbtest::WriteFile(file, text);
        TPGN pgn;
        ASSERT_TRUE(pgn.SetFileName(file.string()));
        ASSERT_EQ(pgn.GameCount(), 3);
        EXPECT_EQ(pgn.DeleteGame(row), row != 1);
        TPGN again;
        ASSERT_TRUE(again.SetFileName(file.string()));
        EXPECT_EQ(again.GameCount(), row == 1 ? 3 : 2);
        if (row == 1) {
            EXPECT_EQ(kbtest::ReadFile(file), text);
        }
    }
}
