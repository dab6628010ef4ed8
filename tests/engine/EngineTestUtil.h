// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the engine tests: positions from FEN, perft tables and
// stockfish as the reference move counter.
#pragma once

#include "EngineTools.h"
#include "MiniMax.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace kbtest {

struct EnginePos {
    kb::TMiniMaxBrett brett{};
    kb::TEngineZug zug{};
    kb::TEngineFischerInfo fischer{};
};

inline EnginePos FromFen(const std::string& fen) {
    EnginePos p;
    EXPECT_TRUE(kb::EngineFenLesen(fen, p.brett, p.zug, p.fischer)) << fen;
    return p;
}

inline void Load(kb::TMiniMax& e, const EnginePos& p) {
    e.SetFischerInfo(&p.fischer);
    e.SetPosition(p.brett, p.zug);
}

// Mailbox index of "e4".
inline int Sq(const char* name) {
    return (name[1] - '1' + 2) * 10 + (name[0] - 'a' + 1);
}

struct PerftCase {
    std::string fen;
    int depth = 0;
    uint64_t count = 0;
};

// "epd FEN" followed by "perft DEPTH COUNT" lines.
inline std::vector<PerftCase> ReadPerftFile(const std::string& relative) {
    std::vector<PerftCase> cases;
    std::ifstream in(TestData(relative));
    std::string line, fen;
    while (std::getline(in, line)) {
        if (line.rfind("epd ", 0) == 0) fen = line.substr(4);
        if (line.rfind("perft ", 0) == 0 && !fen.empty()) {
            std::istringstream s(line.substr(6));
            PerftCase c;
            c.fen = fen;
            s >> c.depth >> c.count;
            cases.push_back(c);
        }
    }
    return cases;
}

// Leaf counts from stockfish's "go perft", one session for all cases.
inline std::vector<uint64_t> StockfishPerft(const std::string& stockfish,
                                            const std::vector<PerftCase>& cases, bool chess960) {
    std::string input = "uci\n";
    if (chess960) input += "setoption name UCI_Chess960 value true\n";
    for (const auto& c : cases)
        input += "position fen " + c.fen + "\ngo perft " + std::to_string(c.depth) + "\n";
    input += "quit\n";
    const RunResult r = Run({stockfish}, input);
    std::vector<uint64_t> counts;
    std::istringstream out(r.out);
    std::string line;
    const std::string key = "Nodes searched:";
    while (std::getline(out, line))
        if (line.rfind(key, 0) == 0) counts.push_back(std::stoull(line.substr(key.size())));
    return counts;
}

// Collects what an engine reports, from whichever thread reports it.
class Recorder {
public:
    explicit Recorder(kb::TMiniMax& engine) {
        engine.OnStop = [this](kb::TMiniMax* sender, kb::TEngineZug*& zug, uint8_t status) {
            std::lock_guard lk(m_);
            ++stops_;
            zug_ = *zug;
            status_ = status;
            traceAtStop_ = sender->TraceText();
            cv_.notify_all();
        };
        engine.OnTrace = [this](kb::TMiniMax* sender, const std::string& text) {
            std::lock_guard lk(m_);
            traces_.push_back(text);
            values_.push_back(sender->Bewertung());
            cv_.notify_all();
        };
    }
    int Stops() const {
        std::lock_guard lk(m_);
        return stops_;
    }
    kb::TEngineZug Zug() const {
        std::lock_guard lk(m_);
        return zug_;
    }
    int Status() const {
        std::lock_guard lk(m_);
        return status_;
    }
    std::vector<std::string> Traces() const {
        std::lock_guard lk(m_);
        return traces_;
    }
    std::vector<double> Values() const {
        std::lock_guard lk(m_);
        return values_;
    }
    std::string TraceAtStop() const {
        std::lock_guard lk(m_);
        return traceAtStop_;
    }
    // Waits until at least n traces arrived; false after the time limit.
    bool WaitTraces(size_t n, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock lk(m_);
        return cv_.wait_for(lk, limit, [&] { return traces_.size() >= n; });
    }
    bool WaitStops(int n, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock lk(m_);
        return cv_.wait_for(lk, limit, [&] { return stops_ >= n; });
    }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    int stops_ = 0;
    int status_ = -1;
    kb::TEngineZug zug_{};
    std::string traceAtStop_;
    std::vector<std::string> traces_;
    std::vector<double> values_;
};

} // namespace kbtest
