// SPDX-License-Identifier: GPL-3.0-or-later
// The reader against pgn-extract: the real games rewritten in long
// algebraic notation and with German piece letters all load and end where
// pgn-extract ends them, and games with one move changed are refused
// exactly where pgn-extract refuses them.
#include "NotationTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace kb;

namespace {

// Board, side, castling and e.p. square after the main line.
std::string FinalFen(TNotation& n) {
    TSchachbrett b = n.GameData.Stellung;
    TZug z = n.GameData.Zug;
    for (TBaum* m = n.RootLine ? n.RootLine->Erster : nullptr; m; m = m->Next) {
        ZugAusfuehren(b, m->Zug, n.ActiveFischerInfo());
        z = m->Zug;
    }
    return StellungToFEN(b, z, 1, false);
}

TEST(NotationOracle, LongAlgebraicAndGermanLettersLoadAndEndAsPgnExtractSays) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    struct Source {
        const char* file;
        const char* format;
        size_t games;
    };
    // Chess960 castling in long algebraic notation is the king's move to
    // its target square, also where that is one step.
    for (const Source src :
         {Source{"pgn/Carlsen.pgn", "-Wlalg", 2851}, Source{"pgn/Carlsen.pgn", "-WsanBSLTDK", 2851},
          Source{"pgn/chess960-engine-games.pgn", "-Wlalg", 4}}) {
        const std::string original = kbtest::ReadFile(kbtest::TestData(src.file));
        const char* format = src.format;
        SCOPED_TRACE(std::string(src.file) + " " + format);
        // pgn-extract writes its final FEN as a comment after the last move.
        const auto run = kbtest::Run({pgnExtract, "-s", "-F", "-w", "100000", format}, original);
        const std::vector<std::string> games = kbtest::SplitPgnGames(run.out);
        const std::vector<std::string> fens = kbtest::PgnExtractFens(run.out);
        ASSERT_EQ(games.size(), src.games);
        ASSERT_EQ(fens.size(), games.size());
        int failed = 0, different = 0;
        TNotation n;
        for (size_t g = 0; g < games.size(); ++g) {
            if (n.LoadPGN(games[g]) != 0) {
                if (++failed <= 3) ADD_FAILURE() << "game " << g + 1 << " does not load";
                continue;
            }
            if (kbtest::FenFields(FinalFen(n), 4) != kbtest::FenFields(fens[g], 4) &&
                ++different <= 3)
                ADD_FAILURE() << "game " << g + 1 << ": " << FinalFen(n) << " vs " << fens[g];
        }
        EXPECT_EQ(failed, 0);
        EXPECT_EQ(different, 0);
    }
}

// The main line's move tokens of a game in plain SAN (no comments,
// variations or NAGs), and its result.
struct SanGame {
    std::vector<std::string> moves;
    std::string result;
};

SanGame Tokens(const std::string& game) {
    SanGame g;
    const size_t body = game.find("\n\n");
    std::istringstream in(body == std::string::npos ? std::string() : game.substr(body));
    std::string t;
    while (in >> t) {
        if (t == "1-0" || t == "0-1" || t == "1/2-1/2" || t == "*")
            g.result = t;
        else if (t.find('.') == std::string::npos)
            g.moves.push_back(t);
    }
    return g;
}

std::string Text(const SanGame& g, size_t number) {
    std::string s = "[Event \"m" + std::to_string(number) + "\"]\n[White \"w\"]\n[Black \"b\"]\n" +
                    "[Result \"" + g.result + "\"]\n\n";
    for (size_t i = 0; i < g.moves.size(); ++i) {
        if (i % 2 == 0) s += std::to_string(i / 2 + 1) + ". ";
        s += g.moves[i] + " ";
    }
    return s + g.result + "\n\n";
}

TEST(NotationOracle, ChangedMovesAreRefusedWherePgnExtractRefusesThem) {
    KB_REQUIRE_PEER(pgnExtract, "pgn-extract");
    const unsigned seed = 20261207;
    std::mt19937 gen(seed);
    const auto clean = kbtest::Run({pgnExtract, "-s", "-C", "-N", "-V", "-w", "100000"},
                                   kbtest::ReadFile(kbtest::TestData("pgn/Korchnoi.pgn")));
    const std::vector<std::string> all = kbtest::SplitPgnGames(clean.out);
    ASSERT_GT(all.size(), 4000u);

    // Moves the reader can parse: a piece (or none) and a square, a pawn
    // capture, castling.
    auto randomMove = [&gen]() {
        const int kind = std::uniform_int_distribution<int>(0, 9)(gen);
        const char file = static_cast<char>('a' + std::uniform_int_distribution<int>(0, 7)(gen));
        const char rank = static_cast<char>('2' + std::uniform_int_distribution<int>(0, 5)(gen));
        const std::string square = {file, rank};
        if (kind == 0) return std::string(gen() % 2 ? "O-O" : "O-O-O");
        if (kind == 1) {
            const char from = file == 'a'   ? 'b'
                              : file == 'h' ? 'g'
                                            : static_cast<char>(file + (gen() % 2 ? 1 : -1));
            return std::string(1, from) + "x" + square;
        }
        if (kind <= 3) return square;
        return std::string(1, "NBRQKN"[kind - 4]) + square;
    };

    std::vector<SanGame> games;
    std::string file;
    for (size_t i = 0; games.size() < 300; ++i) {
        SanGame g = Tokens(all[std::uniform_int_distribution<size_t>(0, all.size() - 1)(gen)]);
        if (g.moves.size() < 4) continue;
        g.moves[std::uniform_int_distribution<size_t>(0, g.moves.size() - 1)(gen)] = randomMove();
        file += Text(g, games.size());
        games.push_back(g);
    }
    kbtest::TempDir dir;
    kbtest::WriteFile(dir / "changed.pgn", file);
    const std::string log = (dir / "log.txt").string();
    const auto peer =
        kbtest::Run({pgnExtract, "-s", "-w", "100000", "-l" + log, (dir / "changed.pgn").string()});

    // pgn-extract writes the games it accepts, and names the move it
    // refused for each of the others, in order.
    std::vector<bool> accepted(games.size(), false);
    for (size_t pos = 0; (pos = peer.out.find("[Event \"m", pos)) != std::string::npos; ++pos)
        accepted[std::stoul(peer.out.substr(pos + 9))] = true;
    std::vector<size_t> refusedAt; // 0-based ply
    std::istringstream logIn(kbtest::ReadFile(log));
    for (std::string line; std::getline(logIn, line);) {
        const std::string mark = "Failed to make move ";
        if (line.rfind(mark, 0) != 0) continue;
        const size_t number = std::stoul(line.substr(mark.size()));
        const bool black = line.find("...", mark.size()) < line.find(' ', mark.size());
        refusedAt.push_back((number - 1) * 2 + (black ? 1 : 0));
    }

    size_t next = 0;
    int refused = 0, mismatches = 0;
    for (size_t g = 0; g < games.size(); ++g) {
        TNotation n;
        const int result = n.LoadPGN(Text(games[g], g));
        const size_t kept = kbtest::MainLine(n).size();
        std::string peerSays = "accepted";
        if (!accepted[g]) {
            ASSERT_LT(next, refusedAt.size()) << "seed " << seed;
            peerSays = "refused at ply " + std::to_string(refusedAt[next++] + 1);
        }
        const std::string weSay =
            result == 0 ? "accepted" : "refused at ply " + std::to_string(kept + 1);
        if (weSay != peerSays && ++mismatches <= 5)
            ADD_FAILURE() << "game " << g << ": we " << weSay << ", pgn-extract " << peerSays
                          << " (seed " << seed << ")\n"
                          << Text(games[g], g);
        refused += result != 0;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(next, refusedAt.size());
    // Most changed moves are illegal; some are not.
    EXPECT_GT(refused, 150);
    EXPECT_LT(refused, 300);
}

} // namespace
