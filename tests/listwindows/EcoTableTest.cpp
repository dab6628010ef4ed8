// SPDX-License-Identifier: GPL-3.0-or-later
// The generated opening table: its shape, its positions against pgn-extract's
// own replay of the classification file, every line finding its row, and the
// generator refusing tables of another shape.
#include "EcoTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace kb;
namespace fs = std::filesystem;

namespace {

TEST(EcoTable, HasTheShapeAndOrderOfTheClassification) {
    std::set<std::string> codes;
    int noVariation = 0;
    for (size_t i = 0; i < EcoTable.size(); ++i) {
        const TEcoRow& r = EcoTable[i];
        const std::string code = r.Code, fen = r.FEN;
        SCOPED_TRACE("row " + std::to_string(i) + " " + code + " " + fen);
        ASSERT_EQ(code.size(), 3u);
        EXPECT_TRUE(code >= "A00" && code <= "E99");
        if (i > 0) {
            EXPECT_LE(std::string(EcoTable[i - 1].Code), code);
        }
        codes.insert(code);
        EXPECT_NE(std::string(r.Opening), "");
        noVariation += std::string(r.Variation).empty();
        // Every FEN is complete, in the writer's own form, move 1 with clock 0.
        TSchachbrett b{};
        TZug z{};
        uint16_t moveNo = 0;
        ASSERT_TRUE(FENToStellung(fen, b, z, moveNo, nullptr));
        EXPECT_EQ(moveNo, 1);
        EXPECT_EQ(StellungToFEN(b, z, 1, false), fen);
        EXPECT_EQ(FindEcoRow(EcoKey(b, z)), ecotest::FirstRowWithFen(static_cast<int>(i)));
    }
    EXPECT_EQ(codes.size(), 500u);
    EXPECT_EQ(noVariation, 368);
    EXPECT_EQ(std::string(EcoTable[2].Code) + "|" + EcoTable[2].Opening + "|" +
                  EcoTable[2].Variation + "|" + EcoTable[2].FEN,
              "A00|Polish|Outflank variation|"
              "rnbqkbnr/pp1ppppp/2p5/8/1P6/8/P1PPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(std::string(EcoTable[100].Code) + "|" + EcoTable[100].Opening + "|" +
                  EcoTable[100].Variation + "|" + EcoTable[100].FEN,
              "A14|English|Neo-Catalan declined|"
              "rnbqk2r/ppp1bppp/4pn2/3p4/2P5/5NP1/PP1PPPBP/RNBQ1RK1 b kq - 0 1");
    // The start position itself is no row.
    TZug start{};
    start.CastlingRights = AllCastlingRights;
    EXPECT_EQ(FindEcoRow(EcoKey(StandardStellung, start)), -1);
}

// pgn-extract replays each line and writes the FEN it reaches: placement,
// side, rights and en-passant square must be ours.
TEST(EcoTable, PositionsAgreeWithPgnExtract) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    const auto run = kbtest::Run({pgnExtract, "-F", "--quiet", "-w", "100000", KB_ECO_PGN});
    ASSERT_EQ(run.exitCode, 0);
    std::vector<std::string> fens;
    for (std::string fen : kbtest::PgnExtractFens(run.out)) {
        // Clock and move number differ by design: the table has " 0 1".
        for (int blanks = 0, i = 0; i < static_cast<int>(fen.size()); ++i)
            if (fen[static_cast<size_t>(i)] == ' ' && ++blanks == 4)
                fen.resize(static_cast<size_t>(i));
        fens.push_back(fen + " 0 1");
    }
    ASSERT_EQ(fens.size(), EcoTable.size());
    for (size_t i = 0; i < fens.size(); ++i)
        EXPECT_EQ(EcoTable[i].FEN, fens[i]) << "row " << i;
}

// Each line of the classification, played as a game, ends on its own
// position: it classifies to its row (to the first row with that position
// when the position repeats).
TEST(EcoTable, EveryLinePlayedAsAGameFindsItsRow) {
    const std::vector<std::string> entries = ecotest::EcoEntries();
    ASSERT_EQ(entries.size(), EcoTable.size());
    TfrmEco eco;
    int repeated = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const int want = ecotest::FirstRowWithFen(static_cast<int>(i));
        repeated += want != static_cast<int>(i);
        const TEcoRow& r = EcoTable[static_cast<size_t>(want)];
        ASSERT_TRUE(eco.Classify(entries[i])) << entries[i];
        EXPECT_EQ(eco.Code + "|" + eco.Opening + "|" + eco.Variation,
                  std::string(r.Code) + "|" + r.Opening + "|" + r.Variation)
            << "row " << i << ": " << entries[i];
    }
    EXPECT_GT(repeated, 0); // the first-row rule was exercised
}

// --- the generator ---------------------------------------------------------

struct GenRun {
    int exitCode;
    bool wroteOutput;
    bool leftTemp;
};

GenRun Generate(const kbtest::TempDir& dir, const std::string& input) {
    const fs::path out = dir / "EcoTable.cpp";
    fs::remove(out);
    const auto run = kbtest::Run({KB_GENECO_PATH, input, out.string()});
    return {run.exitCode, fs::exists(out), fs::exists(out.string() + ".tmp")};
}

TEST(EcoGenerator, WritesTheTableTheBuildUses) {
    kbtest::TempDir dir;
    const GenRun run = Generate(dir, KB_ECO_PGN);
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(kbtest::ReadFile(dir / "EcoTable.cpp"), kbtest::ReadFile(KB_ECO_TABLE_SOURCE));
}

// A classification of another shape stops the build and writes nothing.
TEST(EcoGenerator, RefusesAnotherClassification) {
    const std::string real = kbtest::ReadFile(KB_ECO_PGN);
    const std::vector<std::string> entries = ecotest::EcoEntries();
    const std::string head = real.substr(0, real.find("[ECO "));
    auto join = [&](std::vector<std::string> e) {
        std::string s = head;
        for (const std::string& x : e)
            s += x;
        return s;
    };
    auto replaced = [&](size_t row, const std::string& from, const std::string& to) {
        std::vector<std::string> e = entries;
        const size_t at = e[row].find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) e[row].replace(at, from.size(), to);
        return join(e);
    };
    std::vector<std::string> shorter = entries;
    shorter.pop_back();
    std::vector<std::string> longer = entries;
    longer.push_back(entries.back());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a row missing", join(shorter)},
        {"a row too many", join(longer)},
        {"row 2 renamed", replaced(2, "Outflank variation", "Outflank")},
        {"row 100 another position", replaced(100, "5. O-O", "5. Nc3")},
        {"an illegal move", replaced(5, "2. Nf3", "2. Ke2 Bc5 3. Ke3")},
        {"a code out of order", replaced(7, "A00", "B00")},
        {"a move that does not read", replaced(9, "1.", "1. Zz4")},
    };
    kbtest::TempDir dir;
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        const fs::path input = dir / "eco.pgn";
        kbtest::WriteFile(input, text);
        const GenRun run = Generate(dir, input.string());
        EXPECT_NE(run.exitCode, 0);
        EXPECT_FALSE(run.wroteOutput);
        EXPECT_FALSE(run.leftTemp);
    }
    const GenRun missing = Generate(dir, (dir / "none.pgn").string());
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_FALSE(missing.wroteOutput);
}

} // namespace
