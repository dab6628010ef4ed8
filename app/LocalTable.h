// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in string table, kept apart from its logic.
#pragma once

#include "Local.h"

struct TBuiltInText {
    int Number;
    const char* German;  // UTF-8; "" where a window fills it
    const char* English; // UTF-8
};

extern const TBuiltInText BuiltInTexts[TextCount];
