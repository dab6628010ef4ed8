// SPDX-License-Identifier: GPL-3.0-or-later
// Copying games from one game list into another: read in batches, converted
// between PGN text and records on worker threads, written a batch at a time.
// Used by drops between list windows and onto the database window's history.
#pragma once

#include "PGN.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kb {

// Why a copy left games out.
enum class TCopyEnd {
    Done,        // every game that could be read went in
    Stopped,     // the user stopped it
    NotAGame,    // a text the target cannot take as one game ended it
    WriteFailed, // a batch could not be written
    Refused,     // another program holds the target file or changed it
};

struct TCopyResult {
    int Copied = 0;
    int Failed = 0; // games that could not be read or written
    bool Stopped = false;
    // Games of the rows that did not go in, whatever kept them out (those
    // after a stop or a failed batch among them).
    int NotCopied = 0;
    TCopyEnd End = TCopyEnd::Done;
};

struct TCopyOptions {
    // On the calling thread, after each game is ready to be written (with
    // its source row) and every few hundredths of a second while games are
    // converted (row -1). Answering false stops the copy: the games counted
    // in Done are written, the others are not.
    std::function<bool(int SourceRow, int Done, int Total)> Progress;
    // After each batch is on disk: positions [First, First + Count) of the
    // rows that went in.
    std::function<void(size_t First, size_t Count)> Written;
};

// The pace at which a copy's progress is told (and messages pumped): when
// its percentage changes and otherwise every few hundredths of a second,
// not after every game.
struct TProgressPace {
    int Percent = -1;
    std::chrono::steady_clock::time_point At = std::chrono::steady_clock::now();
    // True when Done of Total is to be told; Percent is then its share.
    bool Due(int Done, int Total);
};

// What a copy that left games out tells the user: how many went in, how
// many did not, and why. Empty when nothing was left out or the user
// stopped it.
std::string CopyEndText(const TCopyResult& R, bool English);

// Where a copy writes: a batch of games at a time, each batch with one
// write and one sync.
struct TCopySink {
    // The games as records of a database, else as PGN text.
    bool Records = false;
    // A batch is closed once it holds this many games or bytes.
    size_t BatchGames = 1000;
    int64_t BatchBytes = 4 << 20;
    // Bytes a write rewrites besides the batch's own (a file written anew
    // for each change); a batch holds at least as many (up to 256 MiB), so
    // that rewriting costs no more than copying. Null: none.
    std::function<int64_t()> Rewritten;
    // Whether a game's text may go in (PGN files take only texts that read
    // back as one game); null: every text.
    std::function<bool(const std::string& Text)> Accepts;
    // Writes a batch; Written gets how many of its games went in (from the
    // first). False when the batch did not go in whole.
    std::function<bool(const std::vector<std::string>& Games, int& Written)> Write;
    // After a failed write: whether another program held or changed the
    // target (else the write failed). Null: never.
    std::function<bool()> Refused;
};

// Copies the games of the source rows to Sink, in the order given. The
// source is read in batches (file order reads sequentially), the games are
// converted between PGN text and records on worker threads, and progress
// goes to Options.Progress on the calling thread meanwhile.
TCopyResult CopyInBatches(TPGN& Source, const std::vector<int>& Rows, const TCopySink& Sink,
                          const TCopyOptions& Options = {});

// Copies the games of the source rows into Target, in the order given.
// With InsertRow a row of Target (PGN files only), every game goes before
// the game that row shows now, so the copies keep their order; with -1 they
// are appended. Two databases exchange their records as stored. Games are
// copied, never moved. A failed write stops the copy.
TCopyResult copyGames(TPGN& Source, const std::vector<int>& Rows, TPGN& Target, int InsertRow,
                      const TCopyOptions& Options = {});

} // namespace kb
