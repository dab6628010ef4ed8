// SPDX-License-Identifier: GPL-3.0-or-later
// Pairing tables: round headings, order by Elo sum as text, the draw and
// open results, escaping, and HTML whose tables all close (checked with
// Python's own HTML parser).
#include "PGNWinPairings.h"
#include "PGNWinTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

kb::TEventData Game(const std::string& W, int WElo, const std::string& B, int BElo,
                    const std::string& Result, int Round) {
    kb::TEventData e;
    e.White = W;
    e.Black = B;
    e.WhiteElo = static_cast<uint16_t>(WElo);
    e.BlackElo = static_cast<uint16_t>(BElo);
    e.Result = Result;
    e.Round = static_cast<uint16_t>(Round);
    return e;
}

// Python's HTML parser walks the text: every <table> must close, tags must
// nest, and the names come back unescaped as given.
std::string ParseHtml(const std::string& Html) {
    const char* script = R"(
import sys, html.parser
class P(html.parser.HTMLParser):
    def __init__(s):
        super().__init__(convert_charrefs=True); s.stack=[]; s.cells=[]; s.bad=[]
    def handle_starttag(s, t, a):
        if t != 'br': s.stack.append(t)
    def handle_endtag(s, t):
        if not s.stack or s.stack[-1] != t: s.bad.append(t)
        else: s.stack.pop()
    def handle_data(s, d):
        if s.stack and s.stack[-1] == 'td': s.cells.append(d)
p = P(); p.feed(sys.stdin.read()); p.close()
print('open=' + ','.join(p.stack) + ';bad=' + ','.join(p.bad))
print('|'.join(p.cells))
)";
    auto r = kbtest::Run({"python3", "-c", script}, Html);
    EXPECT_EQ(r.exitCode, 0);
    return r.out;
}

TEST(Pairing, RoundsHeadingsAndOrder) {
    std::vector<kb::TEventData> games = {
        Game("A", 999, "B", 0, "1-0", 0),         // sum 999
        Game("C", 1200, "D", 1200, "1/2-1/2", 0), // sum 2400
        Game("E", 0, "F", 0, "*", 3),
        Game("G", 2000, "H", 2100, "0-1", 3),
        Game("I", 2000, "J", 2100, "1-0", 3), // same key: list order kept
        Game("K", 1, "L", 1, "1-0", 51),      // above 50: left out
    };
    const std::string text = kb::PairingTable(games, false, "remis");
    EXPECT_EQ(text, "A 999 - B   1-0\r\n"
                    "C 1200 - D 1200 remis\r\n"
                    "\r\n"
                    "Runde 3\r\n\r\n"
                    "G 2000 - H 2100 0-1\r\n"
                    "I 2000 - J 2100 1-0\r\n"
                    "E   - F    \r\n"
                    "\r\n");
    // No round tags at all: no heading.
    const std::string noRounds = kb::PairingTable({Game("X", 0, "Y", 0, "1-0", 0)}, false, "1/2");
    EXPECT_EQ(noRounds.find("Runde"), std::string::npos);
}

TEST(Pairing, HtmlEscapedAndEveryTableClosed) {
    std::vector<kb::TEventData> games = {
        Game("Tom & \"Jerry\"", 2000, "<script>", 1900, "1-0", 0),
        Game("Last", 1, "Round", 1, "1/2-1/2", 50),
        Game("Mid", 1, "Round", 1, "0-1", 7),
    };
    const std::string html = kb::PairingTable(games, true, "½<x>");
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("Tom &amp; &quot;Jerry&quot;"), std::string::npos);
    const std::string parsed = ParseHtml(html);
    EXPECT_EQ(parsed.substr(0, parsed.find('\n')), "open=;bad=") << html;
    EXPECT_NE(parsed.find("Tom & \"Jerry\"|2000|-|<script>|1900|1-0"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("Last|1|-|Round|1|½<x>"), std::string::npos) << parsed;
    // Round 7 before round 50, and round 50's table closed.
    EXPECT_LT(html.find("Runde 7"), html.find("Runde 50"));
    EXPECT_EQ(html.substr(html.size() - 12), "</table><br>");
}

TEST(Pairing, KbbenchOnRealGamesGivesBalancedHtml) {
    const auto file = kbtest::TestData("pgn/Carlsen.pgn");
    auto r = kbtest::Run({kbtest::BenchPath(), "pairings", file.string(), "html"});
    ASSERT_EQ(r.exitCode, 0);
    const std::string html = r.out.substr(0, r.out.rfind("seconds\t"));
    ASSERT_FALSE(html.empty());
    const std::string parsed = ParseHtml(html);
    EXPECT_EQ(parsed.substr(0, parsed.find('\n')), "open=;bad=");
    // Every game with a round up to 50 gives one row of six cells.
    int expected = 0;
    for (const auto& g : kbtest::GamesOfFile(file)) {
        auto tags = kbtest::TagsOf(g);
        const int round = std::atoi(tags["Round"].c_str());
        if (round <= 50) ++expected;
    }
    size_t rows = 0;
    for (size_t p = html.find("<tr>"); p != std::string::npos; p = html.find("<tr>", p + 1))
        ++rows;
    EXPECT_EQ(rows, static_cast<size_t>(expected));
}

} // namespace
