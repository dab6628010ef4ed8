// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the game list tests: generated games and files, and a
// plain byte search for game starts to compare the scanner with.
#pragma once

#include "PGN.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace pgntest {

// Offsets of game starts found the slow way, a byte and a line at a time:
// the "[" of a tag (one line end allowed inside its opening; blanks or a
// byte order mark before it allowed) at the top or behind text that ends a
// tag section, on its own line or behind moves, and the moves that follow
// a result or stand at the top; outside brace comments, ";" comments and
// "%" lines; marks inside strings count not. Tag lines in a comment that
// never closes count after all.
std::vector<int64_t> PlainStarts(const std::string& Bytes);

// A game whose text is about Length bytes (at least its header), with tags
// White/Black/Event/WhiteElo made from Id; lines end in CR LF.
std::string MakeGame(int Id, size_t Length, std::mt19937& Rng);

// Every record of the list.
std::vector<kb::TPGNGameRecord> Records(const kb::TPGN& P);
// Record starts of a fresh scan of the file.
std::vector<int64_t> FreshStarts(const std::filesystem::path& File);
// Game numbers shown by the rows, in row order.
std::vector<int> RowGameNos(const kb::TPGN& P);
// Names in a folder other than Keep.
std::vector<std::string> OtherFiles(const std::filesystem::path& Dir, const std::string& Keep);

} // namespace pgntest
