// SPDX-License-Identifier: GPL-3.0-or-later
// Handing the print text out band by band, with a measure of fixed line
// widths and heights: every character once, the run always ends, headlines
// and diagrams never cut.
#include "PrintTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace kb;
using printtest::Build;
using printtest::IsBlank;

namespace {

// Lines of at most Width characters, broken at line breaks; a line is as
// tall as the tallest run it touches (diagram lines tall, headlines less).
struct TFakeMeasure {
    const TChessPrintText& T;
    int32_t Width;
    int Height;
    int Calls = 0;

    static int LineHeight(uint8_t Kind) {
        switch (Kind) {
        case pkDiagram:
            return 9;
        case pkHeadline:
        case pkResult:
            return 3;
        default:
            return 2;
        }
    }

    TChunkFit operator()(int32_t First) {
        ++Calls;
        const std::string& s = T.PrintText;
        const auto len = static_cast<int32_t>(s.size());
        int used = 0;
        TChunkFit fit{First - 1, len};
        int32_t p = First;
        for (int line = 0; p <= len; ++line) {
            // One line: up to the break (which it includes) or Width characters.
            int h = 0;
            int32_t q = p;
            int32_t chars = 0;
            while (q <= len) {
                h = std::max(h, LineHeight(T.Segments[static_cast<size_t>(T.SegmentAt(q))].Kind));
                const char c = s[static_cast<size_t>(q - 1)];
                if (c == '\r' || c == '\n') {
                    if (c == '\r' && q < len && s[static_cast<size_t>(q)] == '\n') ++q;
                    break;
                }
                if (++chars == Width) break;
                ++q;
            }
            const int32_t end = std::min(q, len);
            used += h;
            if (used > Height) return fit;
            if (line == 0) fit.FirstLineEnd = end;
            fit.LastFit = end;
            p = end + 1;
        }
        fit.LastFit = len;
        return fit;
    }
};

struct TChunk {
    int32_t First, Last;
};

std::vector<TChunk> Run(TChessPrintText& t, TFakeMeasure& m) {
    std::vector<TChunk> chunks;
    const size_t limit = t.PrintText.size() + 2;
    while (t.NextChunk(std::ref(m))) {
        chunks.push_back({t.ChunkFirst, t.ChunkLast});
        if (chunks.size() > limit) {
            ADD_FAILURE() << "the chunks do not end";
            break;
        }
    }
    return chunks;
}

// Every non-blank character in exactly one chunk, chunks in order, gaps
// only of blanks and line breaks.
void ExpectEachCharacterOnce(const std::string& text, const std::vector<TChunk>& chunks) {
    int32_t next = 1;
    for (const TChunk& c : chunks) {
        ASSERT_LE(c.First, c.Last);
        ASSERT_GE(c.First, next);
        for (int32_t p = next; p < c.First; ++p)
            ASSERT_TRUE(IsBlank(text[static_cast<size_t>(p - 1)])) << "skipped text at " << p;
        next = c.Last + 1;
    }
    for (int32_t p = next; p <= static_cast<int32_t>(text.size()); ++p)
        ASSERT_TRUE(IsBlank(text[static_cast<size_t>(p - 1)])) << "text left at " << p;
}

int ChunkOf(const std::vector<TChunk>& chunks, int32_t p) {
    for (size_t i = 0; i < chunks.size(); ++i)
        if (chunks[i].First <= p && p <= chunks[i].Last) return static_cast<int>(i);
    return -1;
}

// The non-blank characters of a run all lie in one chunk.
bool Whole(const TChessPrintText& t, const std::vector<TChunk>& chunks, const TPrintSegment& s) {
    int chunk = -2;
    for (int32_t p = s.Start; p <= s.End(); ++p) {
        if (IsBlank(t.PrintText[static_cast<size_t>(p - 1)])) continue;
        const int c = ChunkOf(chunks, p);
        if (c < 0 || (chunk != -2 && c != chunk)) return false;
        chunk = c;
    }
    return true;
}

// Fake height of a run printed alone (its lines at the full width).
int RunHeight(const TChessPrintText& t, const TPrintSegment& s, int32_t width) {
    int lines = 1;
    int32_t chars = 0;
    for (int32_t p = s.Start; p <= s.End(); ++p) {
        const char c = t.PrintText[static_cast<size_t>(p - 1)];
        if (c == '\n' || ++chars == width) {
            ++lines;
            chars = 0;
        }
    }
    return lines * TFakeMeasure::LineHeight(s.Kind);
}

void CheckBands(const std::string& pgn, int32_t width, int height) {
    SCOPED_TRACE("width " + std::to_string(width) + " height " + std::to_string(height));
    TChessPrintText t = Build(pgn, true);
    const std::string text = t.PrintText;
    const std::vector<TPrintSegment> runs = t.Segments;
    TFakeMeasure m{t, width, height};
    const std::vector<TChunk> chunks = Run(t, m);
    ASSERT_FALSE(chunks.empty());
    ExpectEachCharacterOnce(text, chunks);
    // The call after the last chunk clears the state.
    EXPECT_TRUE(t.PrintText.empty());
    EXPECT_EQ(t.PrintPos, 0);

    TChessPrintText view;
    view.PrintText = text;
    view.Segments = runs;
    for (size_t i = 0; i < runs.size(); ++i) {
        const TPrintSegment& s = runs[i];
        if (s.Kind != pkHeadline && s.Kind != pkDiagram) continue;
        // A headline taller than a band goes on in the next one.
        if (s.Kind == pkDiagram || RunHeight(view, s, width) <= height) {
            EXPECT_TRUE(Whole(view, chunks, s)) << "run " << i << " cut";
        }
        // A headline right before a diagram goes with it whenever both fit a band.
        if (s.Kind == pkDiagram && i > 0 && runs[i - 1].Kind == pkHeadline &&
            RunHeight(view, s, width) + RunHeight(view, runs[i - 1], width) + 2 <= height) {
            EXPECT_EQ(ChunkOf(chunks, runs[i - 1].Start), ChunkOf(chunks, s.End()))
                << "headline left behind its diagram";
        }
    }
}

} // namespace

TEST(PrintChunks, EveryCharacterOnceForAnyBandHeight) {
    const std::string pgn = printtest::Annotated() +
                            kbtest::ReadFile(kbtest::TestData("pgn/kasparov-deep-blue-1997.pgn"));
    for (int height : {0, 1, 2, 3, 5, 9, 12, 20, 31, 64, 200, 100000})
        for (int32_t width : {1, 7, 30, 60})
            CheckBands(pgn, width, height);
}

TEST(PrintChunks, RandomBandsOnRealGames) {
    const std::string pgn =
        kbtest::ReadFile(kbtest::TestData("pgn/stockfish-learning.pgn")) + printtest::Annotated();
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    for (int i = 0; i < 25; ++i)
        CheckBands(pgn, std::uniform_int_distribution<int32_t>(1, 80)(rng),
                   std::uniform_int_distribution<int>(0, 120)(rng));
}

TEST(PrintChunks, BandEndingInsideADiagramAfterAHeadline) {
    TChessPrintText t = Build(printtest::Annotated(), true);
    size_t dia = 0;
    for (size_t i = 1; i < t.Segments.size(); ++i)
        if (t.Segments[i].Kind == pkDiagram && t.Segments[i - 1].Kind == pkHeadline) dia = i;
    ASSERT_GT(dia, 1u);
    const TPrintSegment headline = t.Segments[dia - 1];
    const TPrintSegment diagram = t.Segments[dia];
    // The measure puts the break in the middle of the diagram for a band
    // that starts before the headline.
    const int32_t cut = diagram.Start + diagram.Length / 2;
    bool sawHeadlineStart = false;
    while (t.NextChunk([&](int32_t First) {
        if (First < headline.Start) return TChunkFit{cut - 1, First};
        return TChunkFit{static_cast<int32_t>(t.PrintText.size()), First};
    })) {
        EXPECT_FALSE(t.ChunkFirst < diagram.End() && t.ChunkLast >= diagram.Start &&
                     t.ChunkLast < diagram.End())
            << "diagram cut";
        if (t.ChunkFirst == headline.Start) {
            sawHeadlineStart = true;
            EXPECT_GE(t.ChunkLast, diagram.End());
        }
    }
    EXPECT_TRUE(sawHeadlineStart) << "the next band does not start with the headline";

    // No band holds both: the headline goes alone, the diagram whole after it.
    t = Build(printtest::Annotated(), true);
    std::vector<std::pair<int32_t, int32_t>> chunks;
    while (t.NextChunk([&](int32_t First) {
        if (First < cut) return TChunkFit{cut - 1, First};
        return TChunkFit{static_cast<int32_t>(t.PrintText.size()), First};
    }))
        chunks.emplace_back(t.ChunkFirst, t.ChunkLast);
    const auto at = std::find_if(chunks.begin(), chunks.end(),
                                 [&](const auto& c) { return c.first == headline.Start; });
    ASSERT_NE(at, chunks.end());
    EXPECT_EQ(at->second, headline.End());
    ASSERT_NE(std::next(at), chunks.end());
    // (after the diagram's own leading line break)
    EXPECT_LE(std::next(at)->first, diagram.Start + 2);
    EXPECT_GE(std::next(at)->second, diagram.End());
}

TEST(PrintChunks, HeadlineTallerThanABandGoesOnInTheNext) {
    // A White of 3,000 characters: 100 lines of 30, in bands of 20 lines.
    const std::string pgn = printtest::LongGame('t', 3000) + printtest::Annotated();
    CheckBands(pgn, 30, 3 * 20);
    TChessPrintText t = Build(pgn, true);
    const TPrintSegment headline = t.Segments.front();
    ASSERT_EQ(headline.Kind, pkHeadline);
    ASSERT_GT(headline.Length, 3000);
    TFakeMeasure m{t, 30, 3 * 20};
    const std::vector<TChunk> chunks = ::Run(t, m);
    int inHeadline = 0;
    for (const TChunk& c : chunks) {
        if (c.First > headline.End()) break;
        ++inHeadline;
        // 20 lines of 30 characters at most, each band filled but the last.
        EXPECT_LE(c.Last - c.First + 1, 20 * 32);
        if (c.Last < headline.End()) {
            EXPECT_GE(c.Last - c.First + 1, 19 * 30);
        }
    }
    EXPECT_GE(inHeadline, 5);
}

TEST(PrintChunks, MeasureThatFitsNothingStillMovesOn) {
    TChessPrintText t = Build(printtest::Annotated());
    const auto length = static_cast<int32_t>(t.PrintText.size());
    int chunks = 0;
    int32_t last = 0;
    while (t.NextChunk([](int32_t First) { return TChunkFit{First - 1, First - 1}; })) {
        ASSERT_GT(t.ChunkLast, last);
        last = t.ChunkLast;
        ASSERT_LE(++chunks, length);
    }
    EXPECT_GT(chunks, 1);
    EXPECT_FALSE(t.NextChunk([](int32_t) { return TChunkFit{}; })); // no text built here
}
