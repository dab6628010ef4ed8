// SPDX-License-Identifier: GPL-3.0-or-later
// Move generation checked by leaf counts (kbbench perft against the shared
// perft tables) and by the legal move sets of random games against stockfish.
#include "SchachProcs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace kb;

namespace {

struct PerftEntry {
    std::string id;
    std::string epd;
    int depth = 0;
    uint64_t count = 0;
};

std::vector<PerftEntry> ReadPerftFile(const std::string& name) {
    std::ifstream in(kbtest::TestData("perft/" + name));
    std::vector<PerftEntry> entries;
    std::string line, id, epd;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("id ", 0) == 0)
            id = line.substr(3);
        else if (line.rfind("epd ", 0) == 0)
            epd = line.substr(4);
        else if (line.rfind("perft ", 0) == 0) {
            std::istringstream s(line.substr(6));
            PerftEntry e{id, epd, 0, 0};
            s >> e.depth >> e.count;
            entries.push_back(e);
        }
    }
    return entries;
}

// Runs kbbench perft and returns the first field of its first line.
std::string BenchPerft(int depth, const std::string& fen, int* exitCode = nullptr) {
    const kbtest::RunResult r =
        kbtest::Run({kbtest::BenchPath(), "perft", std::to_string(depth), fen});
    if (exitCode) *exitCode = r.exitCode;
    const std::string first = r.out.substr(0, r.out.find('\n'));
    return first.substr(0, first.find('\t'));
}

// Checks every table entry whose count stays within the budget, taking every
// step-th position of the table.
void CheckTable(const std::string& file, uint64_t budget, int step) {
    const std::vector<PerftEntry> entries = ReadPerftFile(file);
    ASSERT_FALSE(entries.empty());
    int checked = 0, position = -1;
    std::string lastEpd;
    for (const PerftEntry& e : entries) {
        if (e.epd != lastEpd) {
            ++position;
            lastEpd = e.epd;
        }
        if (position % step != 0 || e.count > budget) continue;
        EXPECT_EQ(BenchPerft(e.depth, e.epd), std::to_string(e.count))
            << file << " " << e.id << " depth " << e.depth << ": " << e.epd;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

std::string Name(int32_t sq) {
    return FeldNamen[Index120To64(static_cast<uint8_t>(sq))];
}

// A game position with what the core needs and the castling rooks' start
// squares (also for standard chess, for the rights bookkeeping).
struct Game {
    TSchachbrett board{};
    TZug zug;
    TFischerInfo fi;
    bool fischer = false;
};

struct Candidate {
    TZug move;
    std::string uci; // stockfish's notation
};

int32_t Base(int32_t s) {
    return s == 1 ? 20 : 90;
}

// The position in stockfish's FEN: castling by rook files in Chess960.
std::string StockfishFen(const Game& g) {
    std::string fen = StellungToFEN(g.board, g.zug, 1, false);
    if (!g.fischer) return fen;
    std::istringstream s(fen);
    std::string board, side, castling, ep;
    s >> board >> side >> castling >> ep;
    castling.clear();
    const uint8_t r = g.zug.CastlingRights;
    if (r & WhiteShort) castling += static_cast<char>('A' + g.fi.WhiteRookH % 10 - 1);
    if (r & WhiteLong) castling += static_cast<char>('A' + g.fi.WhiteRookA % 10 - 1);
    if (r & BlackShort) castling += static_cast<char>('a' + g.fi.BlackRookH % 10 - 1);
    if (r & BlackLong) castling += static_cast<char>('a' + g.fi.BlackRookA % 10 - 1);
    if (castling.empty()) castling = "-";
    return board + " " + side + " " + castling + " " + ep + " 0 1";
}

// Every move the core accepts, tried over all from/to pairs of the mover.
std::vector<Candidate> LegalMoves(const Game& g) {
    std::vector<Candidate> moves;
    const int32_t s = g.zug.Side;
    const TFischerInfo* fi = g.fischer ? &g.fi : nullptr;
    for (uint8_t f64 = 0; f64 < 64; ++f64) {
        const int32_t from = Index64To120(f64);
        const int32_t p = g.board[from];
        if (p == 0 || (p > 0) != (s > 0)) continue;
        for (uint8_t t64 = 0; t64 < 64; ++t64) {
            TZug m = g.zug;
            m.From = from;
            m.To = Index64To120(t64);
            m.Promotion = 0;
            m.CastlingKind = 0;
            const int fileStep = std::abs(m.To % 10 - from % 10);
            const int rankStep = std::abs(m.To / 10 - from / 10);
            // In Chess960 castling is tried with its own kind below; a king
            // step never goes further than one square or onto an own piece.
            const int32_t onTarget = g.board[m.To];
            if (g.fischer && (p == 6 || p == -6) &&
                (fileStep > 1 || rankStep > 1 || m.To == from || onTarget * s > 0))
                continue;
            if (!IsLegalMove(g.board, m, fi)) continue;
            const std::string uci = Name(from) + Name(m.To);
            const int rank = m.To / 10 - 1;
            if ((p == 1 || p == -1) && (rank == 8 || rank == 1)) {
                for (int32_t promo : {Dame, Turm, Laeufer, Springer}) {
                    m.Promotion = promo * s;
                    if (IsLegalMove(g.board, m, fi))
                        moves.push_back(
                            {m, uci + FigurenBuchstaben[static_cast<size_t>(6 - promo)]});
                }
                m.Promotion = 6 * s; // a king is no promotion piece
                EXPECT_FALSE(IsLegalMove(g.board, m, fi)) << uci;
                continue;
            }
            if ((p == 6 || p == -6) && fileStep == 2) m.CastlingKind = m.To > from ? 1 : 2;
            moves.push_back({m, uci});
        }
        if (g.fischer && (p == 6 || p == -6)) {
            for (bool isShort : {true, false}) {
                TZug m = g.zug;
                m.From = from;
                m.To = Base(s) + (isShort ? 7 : 3);
                m.Promotion = 0;
                m.CastlingKind = isShort ? 3 : 4;
                if (!IsLegalMove(g.board, m, fi)) continue;
                const int32_t rook = isShort ? (s == 1 ? g.fi.WhiteRookH : g.fi.BlackRookH)
                                             : (s == 1 ? g.fi.WhiteRookA : g.fi.BlackRookA);
                moves.push_back({m, Name(from) + Name(rook)});
            }
        }
    }
    return moves;
}

void ClearRightsAt(int32_t sq, Game& g) {
    if (sq == g.fi.WhiteRookH) g.zug.CastlingRights &= ~WhiteShort;
    if (sq == g.fi.WhiteRookA) g.zug.CastlingRights &= ~WhiteLong;
    if (sq == g.fi.BlackRookH) g.zug.CastlingRights &= ~BlackShort;
    if (sq == g.fi.BlackRookA) g.zug.CastlingRights &= ~BlackLong;
}

void Play(Game& g, const TZug& m) {
    TSchachbrett& b = g.board;
    const int32_t s = m.Side;
    const int32_t p = b[m.From];
    const int32_t base = Base(s);
    const int32_t ep = g.zug.EnPassant;
    g.zug.EnPassant = 0;
    if (m.CastlingKind != 0) {
        const bool isShort = m.To == base + 7;
        int32_t rook = isShort ? base + 8 : base + 1;
        if (g.fischer)
            rook = isShort ? (s == 1 ? g.fi.WhiteRookH : g.fi.BlackRookH)
                           : (s == 1 ? g.fi.WhiteRookA : g.fi.BlackRookA);
        b[m.From] = 0;
        b[rook] = 0;
        b[isShort ? base + 6 : base + 4] = Turm * s;
        b[m.To] = p;
    } else {
        const int32_t diff = m.To - m.From;
        if ((p == 1 || p == -1) && m.To == ep && b[m.To] == 0 && (diff == 9 * s || diff == 11 * s))
            b[m.To - 10 * s] = 0;
        b[m.To] = m.Promotion != 0 ? m.Promotion : p;
        b[m.From] = 0;
        if ((p == 1 || p == -1) && diff == 20 * s) g.zug.EnPassant = m.From + 10 * s;
    }
    if (p == 6 || p == -6)
        g.zug.CastlingRights &= s == 1 ? ~(WhiteShort | WhiteLong) : ~(BlackShort | BlackLong);
    ClearRightsAt(m.From, g);
    ClearRightsAt(m.To, g);
    g.zug.Side = -s;
}

Game FromFen(const std::string& fen, bool fischer) {
    Game g;
    uint16_t moveNo = 1;
    EXPECT_TRUE(FENToStellung(fen, g.board, g.zug, moveNo, &g.fi)) << fen;
    g.fischer = fischer;
    if (!fischer) {
        g.fi = TFischerInfo{false, 21, 28, 91, 98, 25, 95};
        return g;
    }
    // Shredder castling letters: the files of the castling rooks.
    FischerInfoFromStellung(&g.fi, g.board);
    std::istringstream s(fen);
    std::string board, side, castling;
    s >> board >> side >> castling;
    g.zug.CastlingRights = 0;
    for (char c : castling) {
        if (c >= 'A' && c <= 'H') {
            const int32_t rook = 21 + (c - 'A');
            if (rook > g.fi.WhiteKing)
                g.zug.CastlingRights |= WhiteShort, g.fi.WhiteRookH = rook;
            else
                g.zug.CastlingRights |= WhiteLong, g.fi.WhiteRookA = rook;
        } else if (c >= 'a' && c <= 'h') {
            const int32_t rook = 91 + (c - 'a');
            if (rook > g.fi.BlackKing)
                g.zug.CastlingRights |= BlackShort, g.fi.BlackRookH = rook;
            else
                g.zug.CastlingRights |= BlackLong, g.fi.BlackRookA = rook;
        }
    }
    return g;
}

struct Sample {
    std::string fen;
    std::set<std::string> ours;
    int castles = 0;
    int enPassant = 0;
};

// Seeded random games; moves that castle, take en passant or promote are
// preferred so that those rules get exercised.
std::vector<Sample> RandomGames(const std::vector<Game>& starts, unsigned seed, int plies) {
    std::mt19937 gen(seed);
    std::vector<Sample> samples;
    for (const Game& start : starts) {
        Game g = start;
        for (int ply = 0; ply < plies; ++ply) {
            const std::vector<Candidate> moves = LegalMoves(g);
            Sample sample{StockfishFen(g), {}, 0, 0};
            for (const Candidate& c : moves)
                sample.ours.insert(c.uci);
            EXPECT_EQ(sample.ours.size(), moves.size()) << "seed " << seed << " " << sample.fen;
            if (moves.empty()) {
                samples.push_back(sample);
                break;
            }
            std::vector<const Candidate*> special;
            for (const Candidate& c : moves) {
                const bool ep = c.move.To == g.zug.EnPassant && g.board[c.move.To] == 0 &&
                                (g.board[c.move.From] == 1 || g.board[c.move.From] == -1) &&
                                c.move.To % 10 != c.move.From % 10;
                if (c.move.CastlingKind != 0 || c.move.Promotion != 0 || ep) special.push_back(&c);
                sample.castles += c.move.CastlingKind != 0 ? 1 : 0;
                sample.enPassant += ep ? 1 : 0;
            }
            const Candidate& pick = !special.empty() && gen() % 2 == 0
                                        ? *special[gen() % special.size()]
                                        : moves[gen() % moves.size()];
            samples.push_back(sample);
            Play(g, pick.move);
        }
    }
    return samples;
}

// Asks stockfish for the legal moves of every sample in one run.
std::vector<std::set<std::string>>
StockfishMoves(const std::string& stockfish, const std::vector<Sample>& samples, bool fischer) {
    std::string input = "uci\n";
    if (fischer) input += "setoption name UCI_Chess960 value true\n";
    for (const Sample& s : samples)
        input += "position fen " + s.fen + "\ngo perft 1\n";
    input += "quit\n";
    const kbtest::RunResult r = kbtest::Run({stockfish}, input);
    std::vector<std::set<std::string>> result;
    std::set<std::string> current;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Nodes searched", 0) == 0) {
            result.push_back(current);
            current.clear();
            continue;
        }
        const size_t colon = line.find(": ");
        if (colon >= 4 && colon <= 5 && line[0] >= 'a' && line[0] <= 'h')
            current.insert(line.substr(0, colon));
    }
    return result;
}

void CompareWithStockfish(const std::vector<Game>& starts, bool fischer, unsigned seed) {
    KB_REQUIRE_PEER(stockfish, "stockfish");
    const std::vector<Sample> samples = RandomGames(starts, seed, 60);
    const std::vector<std::set<std::string>> theirs = StockfishMoves(stockfish, samples, fischer);
    ASSERT_EQ(theirs.size(), samples.size()) << "seed " << seed;
    int castles = 0, promotions = 0, enPassant = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].ours, theirs[i]) << "seed " << seed << " position " << samples[i].fen;
        for (const std::string& m : samples[i].ours)
            if (m.size() == 5) ++promotions;
        castles += samples[i].castles;
        enPassant += samples[i].enPassant;
    }
    // The games reach the special moves; otherwise the comparison proves little.
    EXPECT_GT(promotions, 0) << "seed " << seed;
    EXPECT_GT(castles, 0) << "seed " << seed;
    EXPECT_GT(enPassant, 0) << "seed " << seed;
}

} // namespace

TEST(Perft, StartPositionToDepthFive) {
    const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    const char* counts[] = {"1", "20", "400", "8902", "197281", "4865609"};
    for (int depth = 0; depth <= 5; ++depth)
        EXPECT_EQ(BenchPerft(depth, start), counts[depth]);
}

TEST(Perft, TrickyPositions) {
    CheckTable("tricky.perft", 1'500'000, 1);
}

TEST(Perft, Chess960Positions) {
    CheckTable("chess960.perft", 15'000, 8);
}

TEST(Perft, BenchRefusesBadInput) {
    int rc = 0;
    BenchPerft(2, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1", &rc);
    EXPECT_NE(rc, 0);
    BenchPerft(-1, "8/8/8/8/8/8/8/8 w - - 0 1", &rc);
    EXPECT_NE(rc, 0);
    // A castling letter naming a file without a rook.
    BenchPerft(1, "4k3/8/8/8/8/8/8/R3K2R w Bb - 0 1", &rc);
    EXPECT_NE(rc, 0);
    // Positions no game reaches: the king of the side not to move in
    // capture, two kings, no king, a pawn on the first rank.
    for (const char* fen : {"4k3/8/8/8/8/8/4R3/4K3 w - - 0 1", "4k3/8/8/8/8/8/8/3KK3 w - - 0 1",
                            "8/8/8/8/8/8/8/4K3 w - - 0 1", "4k3/8/8/8/8/8/8/P3K3 w - - 0 1"}) {
        BenchPerft(1, fen, &rc);
        EXPECT_NE(rc, 0) << fen;
    }
    // The FEN may come split over several arguments.
    const kbtest::RunResult r = kbtest::Run(
        {kbtest::BenchPath(), "perft", "2", "4k3/8/8/8/8/8/8/R3K2R", "w", "KQ", "-", "0", "1"});
    EXPECT_EQ(r.exitCode, 0);
    const std::string joined = BenchPerft(2, "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), joined);
    EXPECT_NE(joined, "");
}

TEST(Perft, StandardLegalMovesMatchStockfish) {
    std::vector<Game> starts;
    starts.push_back(FromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", false));
    starts.push_back(
        FromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", false));
    starts.push_back(FromFen("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", false));
    starts.push_back(
        FromFen("r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", false));
    starts.push_back(FromFen("rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 0 1", false));
    starts.push_back(FromFen("r3k2r/1P4P1/8/3pP3/8/8/1p4p1/R3K2R w KQkq d6 0 1", false));
    for (int i = 0; i < 4; ++i)
        starts.push_back(starts[static_cast<size_t>(i)]);
    CompareWithStockfish(starts, false, 4711);
}

TEST(Perft, Chess960LegalMovesMatchStockfish) {
    std::vector<Game> starts;
    std::mt19937 gen(1960);
    for (int i = 0; i < 8; ++i) {
        Game g;
        g.board = RandomFischerStellung([&](int n) { return static_cast<int>(gen() % n); });
        g.zug.CastlingRights = AllCastlingRights;
        g.zug.Side = 1;
        FischerInfoFromStellung(&g.fi, g.board);
        g.fischer = true;
        starts.push_back(g);
    }
    // Positions from the table where castling paths are crowded.
    const std::vector<PerftEntry> table = ReadPerftFile("chess960.perft");
    for (size_t i = 0; i < table.size() && starts.size() < 16; i += 6 * 61)
        starts.push_back(FromFen(table[i].epd + " 0 1", true));
    CompareWithStockfish(starts, true, 960);
}
