// SPDX-License-Identifier: GPL-3.0-or-later
// PGN text -> game -> database record -> PGN text: any bytes read as a
// record come out as some text without fault, and the record of a game that
// loads reads back to a game with the same moves, comments and start, and
// with the tags it was given.
#include "ChessDatabase.h"
#include "GivenText.h"
#include "Notation.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

[[noreturn]] void Fail(const char* What, const std::string& A, const std::string& B) {
    std::fprintf(stderr, "%s\n--- first ---\n%s\n--- second ---\n%s\n", What, A.c_str(), B.c_str());
    __builtin_trap();
}

// The export from its FEN line on: the tags the record keeps no item for
// stay behind, the start position and the moves do not.
std::string GameOf(kb::TNotation& N) {
    std::string text;
    if (N.GetPGN(text) != 0) return {};
    const size_t fen = text.find("\r\n[FEN ");
    const size_t moves = text.find("\r\n\r\n");
    if (moves == std::string::npos) return text;
    std::string game =
        (fen != std::string::npos && fen < moves ? text.substr(fen, text.find("]", fen) - fen)
                                                 : std::string()) +
        text.substr(moves);
    // A move marked both check and mate keeps the mate only in a record.
    for (size_t p = game.find("+#"); p != std::string::npos; p = game.find("+#", p))
        game.erase(p, 1);
    return game;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size > 64 * 1024) return 0;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    kb::TNotation spelling;
    kb::TChessDatabase db;
    db.Notation = &spelling;
    (void)db.RecordToPGN(text);

    kb::TNotation first;
    const int loaded = first.LoadPGN(text);
    if (loaded == 0 && !first.HasMoves() && fuzzgiven::HoldsMoves(text))
        Fail("a text that holds moves loads as an empty game", text, "");
    if (loaded != 0 || first.NoGameFound()) return 0;
    std::string exported;
    if (first.GetPGN(exported) != 0) return 0;
    const std::string payload = db.PGNToRecord(exported);
    const std::string back = db.RecordToPGN(payload);
    kb::TNotation second;
    if (second.LoadPGN(back) != 0) Fail("the record's text does not load", exported, back);
    const std::string a = GameOf(first), b = GameOf(second);
    if (a != b) Fail("the record's game differs", exported + "\n" + back, b);
    for (const auto& [name, value] : fuzzgiven::KeptTags(text))
        if (!fuzzgiven::ExportHasTag(back, name, value))
            Fail(("the record lost the tag " + name).c_str(), text, back);
    return 0;
}
