// SPDX-License-Identifier: GPL-3.0-or-later
// PGN text -> game -> PGN: a text that holds moves does not load as an
// empty game; whatever a game loads from, its export holds the tags it was
// given, loads again, and the export of that is the export itself.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size > 64 * 1024) return 0;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    kb::TNotation first;
    const int loaded = first.LoadPGN(text);
    if (loaded == 0 && !first.HasMoves() && fuzzgiven::HoldsMoves(text))
        Fail("a text that holds moves loads as an empty game", text, "");
    if (loaded != 0 || first.NoGameFound()) return 0;
    std::string exported;
    if (first.GetPGN(exported) != 0) return 0;
    for (const auto& [name, value] : fuzzgiven::KeptTags(text))
        if (!fuzzgiven::ExportHasTag(exported, name, value))
            Fail(("the export lost the tag " + name).c_str(), text, exported);

    kb::TNotation second;
    if (second.LoadPGN(exported) != 0) Fail("the export does not load", text, exported);
    std::string again;
    if (second.GetPGN(again) != 0) Fail("the export of the export fails", exported, "");
    if (again != exported) Fail("the export of the export differs", exported, again);
    return 0;
}
