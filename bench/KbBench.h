// SPDX-License-Identifier: GPL-3.0-or-later
// Subcommand registry of the kbbench driver. Each cmd_*.cpp registers itself:
//
//   static const kbbench::Command perft{"perft", "DEPTH FEN", &RunPerft};
//
// A subcommand prints one result per line, tab-separated, and returns the
// process exit status; the driver appends the "seconds" line on success.
#pragma once

#include <string>
#include <vector>

namespace kbbench {

using Args = std::vector<std::string>;
using Handler = int (*)(const Args& args);

struct Command {
    Command(const char* name, const char* usage, Handler handler);
};

// Prints a usage error for the running subcommand and returns exit status 2.
int UsageError(const std::string& message);

// Reads "DEPTH FEN..." (the FEN as one argument or spread over several).
// Returns 0, or the usage error's exit status.
int DepthAndFen(const Args& args, int minDepth, int maxDepth, int& depth, std::string& fen);

} // namespace kbbench
