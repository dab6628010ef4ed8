// SPDX-License-Identifier: GPL-3.0-or-later
// PGN text to stored payload.
#include "ChessDatabase.h"

#include "GameRecordWriter.h"
#include "Notation.h"

namespace kb {

std::string TChessDatabase::PGNToRecord(const std::string& PGN, bool* Loaded) {
    const bool loaded = Notation && Notation->LoadPGN(PGN) == 0;
    if (Loaded) *Loaded = loaded;
    if (loaded) {
        std::string payload;
        if (EncodeGameRecord(*Notation, payload)) return payload;
    }
    std::string text = TrimPGNText(PGN);
    // Only a payload starting with "[" is read back as text.
    if (!text.empty() && text[0] != '[') text = "[Event \"?\"]\r\n\r\n" + text;
    return text;
}

} // namespace kb
