// SPDX-License-Identifier: GPL-3.0-or-later
// Games written back as they were read: every kind of Round tag of the real
// collections saved into a PGN file and a database, replaced there, and
// copied through the clipboard. Afterwards only what the user changed differs.
#include "Notation.h"
#include "PGN.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace kb;
namespace fs = std::filesystem;

namespace {

// "1.1" and "3.2" are one kind of round: digits count as 9.
std::string Kind(std::string v) {
    for (char& c : v)
        if (c >= '0' && c <= '9') c = '9';
    return v;
}

std::string RoundOf(const std::string& game) {
    const size_t p = game.find("[Round ");
    if (p == std::string::npos) return "-";
    const std::string v = ExtractTagValue(game.substr(p, game.find('\n', p) - p));
    return v.empty() ? "-" : v; // an empty round is written as "-"
}

using TEdit = std::function<void(TEventData&)>;

// The game as the board window saves it, after the user's edit.
std::string Saved(const std::string& text, const TEdit& edit = {}) {
    TNotation n;
    n.LoadPGN(text);
    if (edit) edit(n.GameData.EventData);
    std::string out;
    EXPECT_EQ(n.GetPGN(out), 0);
    return out;
}

std::vector<std::string> AllGames(TPGN& pgn) {
    std::vector<std::string> texts;
    for (int r = 0; r < pgn.ItemCount(); ++r) {
        int no = -1;
        std::string text;
        pgn.GetGame(pgn.GameIndex(r), no, text);
        texts.push_back(text);
    }
    return texts;
}

std::string PgnExtractComplaints(const std::string& pgnExtract, const std::string& text) {
    return kbtest::Run({"/bin/sh", "-c",
                        "'" + pgnExtract +
                            "' -s 2>&1 >/dev/null | tr '\\r' '\\n' | grep -v '^Games: [0-9]*$'"},
                       text)
        .out;
}

} // namespace

TEST(PGNRoundTrip, RoundTagsComeBackAsReadUnlessTheUserChangesThem) {
    // The first game of every kind of round in the two collections.
    std::map<std::string, std::string> byKind;
    for (const char* name : {"pgn/Carlsen.pgn", "pgn/Korchnoi.pgn"})
        for (const std::string& g : kbtest::SplitPgnGames(kbtest::ReadFile(kbtest::TestData(name))))
            byKind.emplace(Kind(RoundOf(g)), g);
    ASSERT_TRUE(byKind.count("9.9") && byKind.count("99.9") && byKind.count("9"));
    std::vector<std::string> games;
    for (const auto& [kind, g] : byKind)
        games.push_back(g);
    const size_t changed = games.size() / 2;
    const TEdit setRound = [](TEventData& e) { e.Round = 7; };

    kbtest::TempDir dir;
    for (const char* target : {"games.pgn", "games.kbf"}) {
        SCOPED_TRACE(target);
        const fs::path file = dir / target;
        std::vector<std::string> before;
        {
            TPGN pgn;
            pgn.BeforeCreatePGNFile = [](TPGN*, const std::string&, bool& create) {
                create = true;
            };
            if (file.extension() == ".pgn") kbtest::WriteFile(file, "");
            ASSERT_TRUE(pgn.SetFileName(file.string()));
            for (const std::string& g : games) {
                int no = -1;
                ASSERT_TRUE(pgn.AppendGame(no, Saved(g)));
            }
            before = AllGames(pgn);
            ASSERT_EQ(before.size(), games.size());
            for (size_t i = 0; i < games.size(); ++i)
                EXPECT_EQ(RoundOf(before[i]), RoundOf(games[i])) << "appended game " << i;
            // Every game opened and saved back; one with a new round.
            for (int r = 0; r < pgn.ItemCount(); ++r) {
                int no = -1;
                std::string text;
                pgn.GetGame(pgn.GameIndex(r), no, text);
                ASSERT_TRUE(pgn.ReplaceGame(
                    no, Saved(text, static_cast<size_t>(r) == changed ? setRound : TEdit())));
            }
        }
        const std::string bytesAfter = kbtest::ReadFile(file);
        TPGN reopened;
        ASSERT_TRUE(reopened.SetFileName(file.string()));
        const std::vector<std::string> after = AllGames(reopened);
        ASSERT_EQ(after.size(), games.size());
        for (size_t i = 0; i < games.size(); ++i) {
            SCOPED_TRACE("game " + std::to_string(i) + ", round " + RoundOf(games[i]));
            std::string want = before[i];
            if (i == changed) {
                const std::string line = "[Round \"" + RoundOf(games[i]) + "\"]";
                ASSERT_NE(want.find(line), std::string::npos);
                want.replace(want.find(line), line.size(), "[Round \"7\"]");
            }
            EXPECT_EQ(after[i], want);
        }
        KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
        std::string all;
        for (const std::string& t : after)
            all += t + "\r\n";
        EXPECT_EQ(PgnExtractComplaints(pgnExtract, all), "");
        if (fs::path(target).extension() == ".pgn") {
            EXPECT_EQ(PgnExtractComplaints(pgnExtract, bytesAfter), "");
        }
    }

    // The clipboard.
    for (const std::string& g : games) {
        std::string clipboard;
        TNotation a, b;
        a.ClipboardSetText = [&](const std::string& t) {
            clipboard = t;
            return true;
        };
        b.ClipboardGetText = [&](std::string& t) {
            t = clipboard;
            return true;
        };
        a.LoadPGN(g);
        ASSERT_EQ(a.CopyPGN(), 0);
        ASSERT_TRUE(b.PastePGN());
        std::string text;
        ASSERT_EQ(b.GetPGN(text), 0);
        EXPECT_EQ(RoundOf(text), RoundOf(g));
    }
}
