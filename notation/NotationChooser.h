// SPDX-License-Identifier: GPL-3.0-or-later
// The two questions a notation asks its user: what to do with a move entered
// where the game already goes on, and which move to step into where the
// next move has alternatives. The notation widget answers them with modal
// dialogs, tests answer directly. A notation without a chooser takes the
// safe answer (cancel a new move, follow the main continuation).
//
// While a question is open the notation refuses every call that would
// change its tree or its current move (a timer or an engine reply may call
// in from the dialog's event loop); layout and reading stay allowed.
#pragma once

#include <string>
#include <vector>

namespace kb {

class TNotation;

// Answers to the new-move question; the values are the dialog's modal results.
enum class TNewMoveChoice : int {
    NewVariation = 1, // "New variation" / "Neue Variante"
    Cancel = 2,       // "Cancel" / "Abbruch", also the close box
    Replace = 4,      // "Replace move" / "Zug ersetzen"
    Overwrite = 5,    // "Overwrite" / "Überschreiben"
};

class INotationChooser {
public:
    virtual ~INotationChooser() = default;

    // A move was entered where the game already continues. Candidates lists
    // the continuation and its alternatives, e.g. "A) 12.Nf3", "C) 12.Ne1";
    // the list is only shown, nothing in it is chosen. Captions follow
    // Sender.English().
    virtual TNewMoveChoice ChooseNewMove(TNotation& Sender,
                                         const std::vector<std::string>& Candidates) = 0;

    // The next move has alternatives: the 0-based index of the entry to step
    // into, or -1 to stay. Entry 0, the main continuation, starts selected.
    virtual int SelectMove(TNotation& Sender, const std::vector<std::string>& Candidates) = 0;
};

} // namespace kb
