// SPDX-License-Identifier: GPL-3.0-or-later
// SAN of entered moves (disambiguation, captures, promotion, check, mate)
// against what stockfish says about the same positions: its legal moves
// decide disambiguation and mate, its checkers decide check.
#include "EditTestUtil.h"
#include "TestSupport.h"

#include <cctype>
#include <random>
#include <sstream>

using namespace kb;

namespace {

std::string StockfishFen(const TSchachbrett& b, const TZug& pos, const TFischerInfo* fi) {
    std::string fen = StellungToFEN(b, pos, 1, false);
    if (!fi) return fen;
    std::istringstream s(fen);
    std::string board, side, castling, ep;
    s >> board >> side >> castling >> ep;
    castling.clear();
    const uint8_t r = pos.CastlingRights;
    if (r & WhiteShort) castling += static_cast<char>('A' + fi->WhiteRookH % 10 - 1);
    if (r & WhiteLong) castling += static_cast<char>('A' + fi->WhiteRookA % 10 - 1);
    if (r & BlackShort) castling += static_cast<char>('a' + fi->BlackRookH % 10 - 1);
    if (r & BlackLong) castling += static_cast<char>('a' + fi->BlackRookA % 10 - 1);
    if (castling.empty()) castling = "-";
    return board + " " + side + " " + castling + " " + ep + " 0 1";
}

struct PeerView {
    std::vector<std::string> legal; // UCI moves
    bool check = false;
};

std::vector<PeerView> AskStockfish(const std::string& stockfish,
                                   const std::vector<std::string>& fens, bool fischer) {
    std::string input = "uci\n";
    if (fischer) input += "setoption name UCI_Chess960 value true\n";
    for (const std::string& f : fens)
        input += "position fen " + f + "\nd\ngo perft 1\n";
    input += "quit\n";
    const kbtest::RunResult r = kbtest::Run({stockfish}, input);
    // The board display and the perft count may interleave (perft runs on
    // the search thread), but each comes out in order: collect them apart.
    std::vector<bool> checks;
    std::vector<std::vector<std::string>> legal(1);
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Checkers:", 0) == 0) {
            checks.push_back(line.substr(9).find_first_not_of(" \r") != std::string::npos);
        } else if (line.rfind("Nodes searched", 0) == 0) {
            legal.emplace_back();
        } else {
            const size_t colon = line.find(": ");
            if (colon >= 4 && colon <= 5 && line[0] >= 'a' && line[0] <= 'h' &&
                line.find_first_not_of("0123456789\r", colon + 2) == std::string::npos)
                legal.back().push_back(line.substr(0, colon));
        }
    }
    legal.pop_back();
    std::vector<PeerView> out;
    for (size_t i = 0; i < checks.size() && i < legal.size(); ++i)
        out.push_back({legal[i], checks[i]});
    return out;
}

int32_t SquareOf(const std::string& s, size_t at) {
    return 10 * (s[at + 1] - '1' + 2) + (s[at] - 'a' + 1);
}

// The SAN the peer's view calls for.
std::string ExpectedSan(const TSchachbrett& b, const TZug& m, const PeerView& before,
                        const PeerView& after) {
    std::string san;
    if (m.CastlingKind != 0) {
        san = m.CastlingKind == 1 || m.CastlingKind == 3 ? "O-O" : "O-O-O";
    } else {
        const int32_t kind = std::abs(b[m.From]);
        const bool capture = b[m.To] != 0 || m.EnPassantVictim != 0;
        const std::string file(1, static_cast<char>('a' + m.From % 10 - 1));
        const std::string rank(1, static_cast<char>('0' + m.From / 10 - 1));
        if (kind == Bauer) {
            if (capture) san += file + "x";
        } else {
            san += "?PRBNQK"[kind];
            bool other = false, sameFile = false, sameRank = false;
            for (const std::string& u : before.legal) {
                const int32_t f = SquareOf(u, 0), t = SquareOf(u, 2);
                if (t != m.To || f == m.From || std::abs(b[f]) != kind) continue;
                other = true;
                sameFile = sameFile || f % 10 == m.From % 10;
                sameRank = sameRank || f / 10 == m.From / 10;
            }
            if (kind != Koenig && other) {
                if (!sameFile)
                    san += file;
                else if (!sameRank)
                    san += rank;
                else
                    san += file + rank;
            }
            if (capture) san += "x";
        }
        san += kbtest::SquareName(m.To);
        if (m.Promotion != 0) san += std::string("=") + "?PRBNQK"[std::abs(m.Promotion)];
    }
    if (after.check) san += after.legal.empty() ? "#" : "+";
    return san;
}

// The node's text without its move number.
std::string SanOf(const TNotation& n, const TBaum* b) {
    std::string t = kbtest::NodeText(n, b);
    size_t i = 0;
    while (i < t.size() && (std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.'))
        ++i;
    return t.substr(i);
}

struct Entered {
    TSchachbrett before;
    TZug move;
    size_t fenBefore, fenAfter;
    int game, ply;
};

void CompareWalks(const std::string& stockfish, const std::vector<std::string>& starts,
                  bool fischer, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::string> fens;
    std::vector<Entered> entered;
    std::vector<std::unique_ptr<TNotation>> games;
    for (size_t g = 0; g < starts.size(); ++g) {
        auto n = std::make_unique<TNotation>();
        n->SetEnglish(true);
        if (!starts[g].empty()) {
            ASSERT_EQ(n->LoadPGN(kbtest::Pgn("", starts[g])), 0) << starts[g];
        }
        ASSERT_EQ(n->ActiveFischerInfo() != nullptr, fischer) << starts[g];
        fens.push_back(StockfishFen(n->WorkBoard, n->WorkMove, n->ActiveFischerInfo()));
        for (int ply = 0; ply < 70; ++ply) {
            auto moves = kbtest::LegalMoves(n->WorkBoard, n->WorkMove, n->ActiveFischerInfo());
            if (moves.empty()) break;
            // Captures, promotions and castling are worth more to this test.
            std::vector<const kbtest::LegalMove*> special;
            for (const auto& m : moves)
                if (m.record.Captured || m.record.Promotion || m.record.CastlingKind)
                    special.push_back(&m);
            const auto& pick = !special.empty() && gen() % 3 == 0 ? *special[gen() % special.size()]
                                                                  : moves[gen() % moves.size()];
            Entered e{n->WorkBoard, pick.record, fens.size() - 1, 0, static_cast<int>(g), ply};
            ASSERT_TRUE(n->MoveDone(pick.record));
            fens.push_back(StockfishFen(n->WorkBoard, n->WorkMove, n->ActiveFischerInfo()));
            e.fenAfter = fens.size() - 1;
            entered.push_back(e);
        }
        games.push_back(std::move(n));
    }
    const std::vector<PeerView> views = AskStockfish(stockfish, fens, fischer);
    ASSERT_EQ(views.size(), fens.size()) << "seed " << seed;
    // Walk the games again: each node against the peer's view.
    size_t k = 0;
    int checks = 0, mates = 0, disambiguated = 0, promotions = 0;
    for (size_t g = 0; g < games.size(); ++g) {
        TNotation& n = *games[g];
        for (TBaum* b : kbtest::MainLine(n)) {
            ASSERT_LT(k, entered.size());
            const Entered& e = entered[k++];
            const PeerView& before = views[e.fenBefore];
            const PeerView& after = views[e.fenAfter];
            if (after.check && after.legal.empty()) {
                // The host marks mate once it finds it.
                n.CurrentMove = b;
                n.LayoutNotation(n.RootLine);
                n.MarkMate();
                ++mates;
            }
            const std::string want = ExpectedSan(e.before, e.move, before, after);
            EXPECT_EQ(SanOf(n, b), want)
                << "seed " << seed << " game " << g << " ply " << e.ply << " " << fens[e.fenBefore];
            checks += after.check;
            disambiguated += b->Zug.Flags & (FlagFromFile | FlagFromRank) ? 1 : 0;
            promotions += b->Zug.Promotion != 0;
        }
    }
    EXPECT_EQ(k, entered.size());
    EXPECT_GT(checks, 0) << "seed " << seed;
    EXPECT_GT(disambiguated, 0) << "seed " << seed;
    if (!fischer) {
        EXPECT_GT(promotions, 0) << "seed " << seed;
        EXPECT_GT(mates, 0) << "seed " << seed;
    }
}

TEST(EditSan, EnteredMovesAgreeWithStockfish) {
    KB_REQUIRE_PEER(stockfish, "stockfish");
    CompareWalks(stockfish,
                 {"", "N3k2N/8/8/8/8/8/8/N3K2N w - - 0 1", "Q6Q/8/1k6/8/8/8/8/Q3K2Q w - - 0 1",
                  "3k4/1P3P2/8/8/8/8/2p3p1/4K3 w - - 0 1",
                  "r3k2r/pp1n1ppp/2p1pn2/q2p4/1bPP4/2N1PN2/PPQ2PPP/R3KB1R w KQkq - 0 1",
                  "R3K2R/8/8/8/8/8/8/r3k2r w - - 0 1", "7k/5Q2/6K1/8/8/8/8/8 w - - 0 1"},
                 false, 5150);
}

TEST(EditSan, Chess960MovesAgreeWithStockfish) {
    KB_REQUIRE_PEER(stockfish, "stockfish");
    std::mt19937 gen(960);
    std::vector<std::string> starts;
    for (int i = 0; i < 6; ++i) {
        const TSchachbrett b =
            RandomFischerStellung([&](int n) { return static_cast<int>(gen() % n); });
        if (IsStandardStartPosition(b)) continue;
        TZug z{};
        z.Side = 1;
        z.CastlingRights = AllCastlingRights;
        starts.push_back(StellungToFEN(b, z, 1, false));
    }
    CompareWalks(stockfish, starts, true, 961);
}

} // namespace
