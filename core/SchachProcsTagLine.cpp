// SPDX-License-Identifier: GPL-3.0-or-later
#include "SchachProcsTagLine.h"

namespace kb {

bool IsTagLine(std::string_view Line) {
    while (!Line.empty() && (Line.front() == ' ' || Line.front() == '\t'))
        Line.remove_prefix(1);
    return TagLineAt(Line) == TTagLineTest::Yes;
}

bool IsMovesLine(std::string_view Line) {
    while (!Line.empty() && (Line.front() == ' ' || Line.front() == '\t'))
        Line.remove_prefix(1);
    return MovesAt(Line) == TTagLineTest::Yes;
}

} // namespace kb
