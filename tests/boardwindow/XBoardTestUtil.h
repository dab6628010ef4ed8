// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the engine worker suites.
#pragma once

#include "AThreadWB.h"

#include <gtest/gtest.h>

#include <string>

namespace kbtest {

// The position a FEN describes, as a window hands it to its worker.
inline kb::TEnginePosition FromFen(const std::string& Fen) {
    kb::TEnginePosition p;
    uint16_t no = 1;
    kb::TFischerInfo f;
    EXPECT_TRUE(kb::FENToStellung(Fen, p.Brett, p.Zug, no, &f)) << Fen;
    p.MoveNo = no;
    p.Fischer = f.Fischer;
    return p;
}

} // namespace kbtest
