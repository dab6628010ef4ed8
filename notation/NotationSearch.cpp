// SPDX-License-Identifier: GPL-3.0-or-later
// Position and material search: the game is laid out once in search mode,
// and every position it replays (variations included) is tested until one
// matches.
#include "Notation.h"

namespace kb {

void TPiecesFilter::Reset() {
    Count.fill(0);
}

bool TPiecesFilter::Matches() const {
    for (int code = -5; code <= 5; ++code) {
        if (code == 0) continue;
        const size_t i = Index(code);
        if (Enabled[i] && (Count[i] < Min[i] || Count[i] > Max[i])) return false;
    }
    return true;
}

bool TPiecesFilter::IsEmpty() const {
    // Kings are never tested, so they do not put a filter in force.
    for (int code = -5; code <= 5; ++code)
        if (code != 0 && Enabled[Index(code)]) return false;
    return true;
}

void TNotation::SetSearchPosition(const TSchachbrett& Stellung) {
    SearchBoard = Stellung;
}

void TNotation::SearchPositionStep() {
    if (SearchFilter) SearchFilter->Reset();
    bool match = true;
    for (uint8_t sq = 0; sq < 64; ++sq) {
        const uint8_t i = Index64To120(sq);
        const int32_t v = WorkBoard[i];
        if (SearchFilter && v != 0 && v >= -6 && v <= 6)
            ++SearchFilter->Count[TPiecesFilter::Index(v)];
        // An empty cell of the wanted position accepts anything.
        if (SearchByPosition && SearchBoard[i] != 0 && SearchBoard[i] != v) {
            match = false;
            break;
        }
    }
    if (match && SearchFilter) match = SearchFilter->Matches();
    SearchActive = !match;
}

bool TNotation::PositionFound(TPiecesFilter* Filter, bool ByPosition) {
    auto keepStep = std::move(SearchStep);
    SearchStep = [](TNotation* Sender) { Sender->SearchPositionStep(); };
    SearchFilter = Filter;
    SearchByPosition = ByPosition;
    SearchActive = true;
    bool found = false;
    try {
        LayoutNotation(RootLine);
        found = !SearchActive;
    } catch (...) {
        found = false;
    }
    SearchActive = false;
    SearchFilter = nullptr;
    SearchStep = std::move(keepStep);
    // A shown notation gets its wrapped layout back.
    if (Metrics) LayoutNotation(RootLine);
    return found;
}

} // namespace kb
