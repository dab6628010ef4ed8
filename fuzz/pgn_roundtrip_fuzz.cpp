// SPDX-License-Identifier: GPL-3.0-or-later
// PGN text -> game -> PGN: whatever a game loads from, its export loads
// again, and the export of that is the export itself.
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
    if (first.LoadPGN(text) != 0 || first.NoGameFound()) return 0;
    std::string exported;
    if (first.GetPGN(exported) != 0) return 0;

    kb::TNotation second;
    if (second.LoadPGN(exported) != 0) Fail("the export does not load", text, exported);
    std::string again;
    if (second.GetPGN(again) != 0) Fail("the export of the export fails", exported, "");
    if (again != exported) Fail("the export of the export differs", exported, again);
    return 0;
}
