// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the list window suites: a host that answers the questions, and
// an independent reading of PGN files (games split at their Event lines,
// tags read with a pattern) to check the windows against.
#pragma once

#include "PGNWin.h"
#include "PGNWinHost.h"

#include "DialogsLng.h"

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kbtest {

// Puts the list host back to its defaults and answers the program's modal
// questions: records every message and answers each with the next queued
// answer (Yes when none is queued); input queries take the next queued text
// (nullopt: cancelled).
class THostScope {
public:
    THostScope();
    ~THostScope();
    THostScope(const THostScope&) = delete;
    THostScope& operator=(const THostScope&) = delete;

    struct TMessage {
        kb::TLwMsgType Type;
        QString Text;
    };
    std::vector<TMessage> Messages;
    std::deque<int> Answers;
    std::deque<std::optional<QString>> Inputs;

private:
    std::unique_ptr<TAnswererScope> answers_;
};

// The games of a PGN text, each trimmed, split before every line that
// starts with "[Event ".
std::vector<std::string> SplitGames(const std::string& Bytes);
std::vector<std::string> GamesOfFile(const std::filesystem::path& File);
// Writes the games From..To-1 to File as the list joins games; returns File.
std::filesystem::path WriteGames(const std::filesystem::path& File,
                                 const std::vector<std::string>& Games, int From, int To);
// The tag pairs of a game's header.
std::map<std::string, std::string> TagsOf(const std::string& Game);
// The movetext of a game (everything after the tag lines), blanks squeezed.
std::string MovesOf(const std::string& Game);

// Opens FILE in a new list window (owned by the caller).
std::unique_ptr<kb::TMDIPGN> OpenWindow(const std::filesystem::path& File);
// The games a list window shows, in row order (tags of each).
std::vector<std::map<std::string, std::string>> ShownTags(kb::TMDIPGN& W);
// Selects exactly these rows.
void SelectRows(kb::TMDIPGN& W, const std::vector<int>& Rows);

} // namespace kbtest
