// SPDX-License-Identifier: GPL-3.0-or-later
// Subcommand registry of the kbbench driver. Each cmd_*.cpp registers itself:
//
//   static const kbbench::Command perft{"perft", "DEPTH FEN", &RunPerft};
//
// A subcommand prints one result per line, tab-separated, and returns the
// process exit status; the driver appends the "seconds" line on success.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kb {
class TPGN;
}

namespace kbbench {

using Args = std::vector<std::string>;
using Handler = int (*)(const Args& args);

struct Command {
    Command(const char* name, const char* usage, Handler handler);
};

// Prints a usage error for the running subcommand and returns exit status 2.
int UsageError(const std::string& message);

// The running subcommand's name, for its messages ("kbbench NAME: ...").
const std::string& RunningCommand();

// A whole decimal number in lo..hi; false (out untouched) on anything else.
bool ParseInt(const std::string& text, long lo, long hi, int& out);

// Opens File, an existing PGN file or database, as the game list does and
// never creating one; false, after saying why, when it cannot.
bool OpenExistingList(const std::string& file, kb::TPGN& pgn);

// Says why a change of the list's file did not go in: another writer held
// or changed it, or else Otherwise.
void ReportChangeFailed(const kb::TPGN& pgn, const std::string& file, const std::string& otherwise);

// Reads a whole file into bytes; false when it cannot be read.
bool ReadPgnFile(const std::string& path, std::string& bytes);

// Reads the one PGN file that args name. Returns 0, or the usage error's
// exit status.
int ReadOnePgnFile(const Args& args, std::string& bytes);

// Results gathered line by line in out go to stdout in large pieces: one
// write per line would cost more than the work measured. WriteWhenFull
// writes and empties out once it is large; WriteRest writes what is left and
// returns the exit status (1 when stdout failed).
void WriteWhenFull(std::string& out);
int WriteRest(const std::string& out);

// Says on stderr that game Number (from 1, in file order) cannot be read,
// with its players when its tags named them, and why when that is known.
void SayUnreadable(size_t Number, const std::string& White, const std::string& Black,
                   const std::string& Why);

// The games of a PGN text, as the game list finds them; text before the
// first game belongs to none.
std::vector<std::string_view> SplitPgnGames(std::string_view bytes);

// Reads "DEPTH FEN..." (the FEN as one argument or spread over several).
// Returns 0, or the usage error's exit status.
int DepthAndFen(const Args& args, int minDepth, int maxDepth, int& depth, std::string& fen);

} // namespace kbbench
