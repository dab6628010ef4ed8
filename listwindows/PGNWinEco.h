// SPDX-License-Identifier: GPL-3.0-or-later
// The ECO run over every game of a list. Only the [ECO] tag of a game
// changes: set to the code found, removed when no code is found; a game
// the classifier cannot take (unreadable, Chess960) keeps its text byte for
// byte. A PGN file is written anew
// into a temporary file beside it and replaces the file by rename only when
// the whole run succeeded; a database has its games replaced one by one,
// deleted slots untouched.
#pragma once

#include "PGN.h"

#include <functional>
#include <string>

namespace kb {

// The ECO code of a game text, empty when none is found.
using TEcoClassifier = std::function<std::string(const std::string& GameText)>;

// The opening table's classifier.
std::string ClassifyByTable(const std::string& GameText);

enum class TEcoRunResult { Done, Stopped, Failed };

struct TEcoRunOptions {
    // Per game; answers false to stop.
    std::function<bool(int Done, int Total)> Progress;
    // Called just before the new file replaces the old one (tests stop or
    // fail the run there).
    std::function<void()> BeforeReplace;
    // When set, counts the games whose text the run changed.
    int* Changed = nullptr;
};

// The ECO code a game text carries in its tag section, empty when none.
std::string EcoTagOf(const std::string& GameText);
// The game text with its [ECO] tag set to Eco: an existing tag line is
// replaced, else one is added after the last tag line. Every other byte
// stays.
std::string SetEcoTag(const std::string& GameText, const std::string& Eco);
// The game text without its [ECO] tag line; every other byte stays.
std::string RemoveEcoTag(const std::string& GameText);
// The game text with the ECO tag the classifier gives: set when a code was
// found, removed when the game has a main line and none was found (an old
// tag cannot be confirmed). A game that does not load or is Chess960 comes
// back as it was.
std::string ClassifyKeepingText(const std::string& GameText, const TEcoClassifier& Classify);

TEcoRunResult RunEcoClassification(TPGN& List, const TEcoClassifier& Classify,
                                   const TEcoRunOptions& Options = {});

} // namespace kb
