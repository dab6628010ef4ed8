// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory model of a chess database and random operations on both.
#pragma once

#include "ChessDatabase.h"
#include "DbTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace dbtest {

struct TGame {
    std::string Payload;
    bool Deleted = false;
};
using TModel = std::vector<TGame>;

enum class TOpKind { Add, Replace, Delete, Compress, Read, Batch };

struct TOp {
    TOpKind Kind = TOpKind::Read;
    int64_t Index = 0;
    std::string Payload;
    std::vector<std::string> Payloads; // a batch of adds, on disk together by one flush
};

inline TOp NextOp(std::mt19937_64& Rng, const TModel& M) {
    TOp op;
    const int r = static_cast<int>(Rng() % 100);
    const auto pick = [&] { return static_cast<int64_t>(Rng() % M.size()); };
    if (M.empty() || r < 40) {
        op.Kind = TOpKind::Add;
        op.Payload = RandomPayload(Rng);
    } else if (r < 60) {
        op.Kind = TOpKind::Replace;
        op.Index = pick();
        op.Payload = RandomPayload(Rng);
    } else if (r < 80) {
        op.Kind = TOpKind::Delete;
        op.Index = pick();
    } else if (r < 88) {
        op.Kind = TOpKind::Compress;
    } else if (r < 93) {
        op.Kind = TOpKind::Batch;
        const int n = 2 + static_cast<int>(Rng() % 5);
        for (int i = 0; i < n; ++i)
            op.Payloads.push_back(RandomPayload(Rng));
    } else {
        op.Kind = TOpKind::Read;
        op.Index = pick();
    }
    return op;
}

inline void Apply(TModel& M, const TOp& Op) {
    switch (Op.Kind) {
    case TOpKind::Add:
        M.push_back({Op.Payload, false});
        break;
    case TOpKind::Replace:
        M[static_cast<size_t>(Op.Index)] = {Op.Payload, false};
        break;
    case TOpKind::Delete:
        M[static_cast<size_t>(Op.Index)].Deleted = true;
        break;
    case TOpKind::Compress:
        std::erase_if(M, [](const TGame& g) { return g.Deleted; });
        break;
    case TOpKind::Read:
        break;
    case TOpKind::Batch:
        for (const auto& p : Op.Payloads)
            M.push_back({p, false});
        break;
    }
}

// The states the database may be in when the operation was cut short: before
// or after it; for a batch, any number of its games from the start.
inline std::vector<TModel> Outcomes(const TModel& M, const TOp& Op) {
    std::vector<TModel> out{M};
    if (Op.Kind == TOpKind::Batch) {
        for (const auto& p : Op.Payloads) {
            out.push_back(out.back());
            out.back().push_back({p, false});
        }
    } else {
        out.push_back(M);
        Apply(out.back(), Op);
    }
    return out;
}

// The operation on the database; False when it failed. A compress with
// nothing to do counts as done.
inline bool RunOp(kb::TChessDatabase& Db, const TOp& Op, const TModel& M) {
    int64_t n = -1;
    switch (Op.Kind) {
    case TOpKind::Add:
        return Db.AddRecord(n, Op.Payload) && n == static_cast<int64_t>(M.size());
    case TOpKind::Replace:
        return Db.ReplaceRecord(Op.Payload, Op.Index);
    case TOpKind::Delete:
        return Db.DeleteGame(Op.Index);
    case TOpKind::Compress:
        return Db.Compress() || Db.LastError() == 0;
    case TOpKind::Batch: {
        Db.SetKeepOpen(true);
        bool ok = Db.KeepOpen();
        for (size_t i = 0; ok && i < Op.Payloads.size(); ++i)
            ok = Db.AddRecord(n, Op.Payloads[i]) && n == static_cast<int64_t>(M.size() + i);
        ok = Db.Flush() && ok;
        Db.SetKeepOpen(false);
        return ok && Db.LastError() == 0;
    }
    case TOpKind::Read: {
        std::string key, payload;
        bool deleted = false;
        return Db.ReadRecord(key, payload, deleted, Op.Index) &&
               payload == M[static_cast<size_t>(Op.Index)].Payload &&
               deleted == M[static_cast<size_t>(Op.Index)].Deleted;
    }
    }
    return false;
}

// Every slot, payload byte for byte, deletion marks and the header counts.
inline ::testing::AssertionResult Matches(kb::TChessDatabase& Db, const TModel& M) {
    const auto count = Db.GetCount();
    if (count != static_cast<int64_t>(M.size()))
        return ::testing::AssertionFailure() << "count " << count << ", model " << M.size();
    int64_t valid = 0;
    for (size_t i = 0; i < M.size(); ++i) {
        std::string key, payload;
        bool deleted = false;
        if (!Db.ReadRecord(key, payload, deleted, static_cast<int64_t>(i)))
            return ::testing::AssertionFailure() << "game " << i << " unreadable";
        if (deleted != M[i].Deleted)
            return ::testing::AssertionFailure() << "game " << i << " deleted " << deleted;
        if (payload != M[i].Payload)
            return ::testing::AssertionFailure()
                   << "game " << i << " payload differs (" << payload.size() << " / "
                   << M[i].Payload.size() << " bytes)";
        if (!deleted) ++valid;
    }
    if (Db.GetValidCount() != valid)
        return ::testing::AssertionFailure()
               << "valid count " << Db.GetValidCount() << ", model " << valid;
    return ::testing::AssertionSuccess();
}

inline uint64_t TestSeed(uint64_t Default) {
    const char* s = std::getenv("KB_TEST_SEED");
    return s && *s ? std::strtoull(s, nullptr, 10) : Default;
}

} // namespace dbtest
