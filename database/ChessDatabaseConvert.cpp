// SPDX-License-Identifier: GPL-3.0-or-later
// PGN text to stored payload.
#include "ChessDatabase.h"

namespace kb {

std::string TChessDatabase::PGNToRecord(const std::string& PGN) {
    return TrimPGNText(PGN);
}

} // namespace kb
