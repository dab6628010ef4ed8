// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the board tests: square names, pixel checks, mouse gestures.
#pragma once

#include "Brett.h"

#include <QPoint>
#include <QTest>

#include <string>

namespace kbboard {

// Mailbox index of a square name such as "e4".
inline int32_t Sq(const char* name) {
    return 21 + (name[0] - 'a') + 10 * (name[1] - '1');
}

// Board square 0..63 of a square name.
inline int Sq64(const char* name) {
    return (name[0] - 'a') + 8 * (name[1] - '1');
}

// Centre of a square on the control, honouring the flip.
inline QPoint Centre(const kb::TBrett& b, const char* name) {
    return b.SquareRect(Sq64(name)).center();
}

inline void Drag(kb::TBrett& b, QPoint from, QPoint to,
                 Qt::KeyboardModifiers mods = Qt::KeyboardModifiers()) {
    QTest::mousePress(&b, Qt::LeftButton, mods, from);
    QTest::mouseMove(&b, (from + to) / 2);
    QTest::mouseMove(&b, to);
    QTest::mouseRelease(&b, Qt::LeftButton, mods, to);
}

inline void Drag(kb::TBrett& b, const char* from, const char* to,
                 Qt::KeyboardModifiers mods = Qt::KeyboardModifiers()) {
    Drag(b, Centre(b, from), Centre(b, to), mods);
}

inline void Click(kb::TBrett& b, const char* sq,
                  Qt::KeyboardModifiers mods = Qt::KeyboardModifiers()) {
    QTest::mouseClick(&b, Qt::LeftButton, mods, Centre(b, sq));
}

// A position from a list of "Ke1" style entries on an empty board.
kb::TSchachbrett Stellung(std::initializer_list<const char*> pieces);

// A board with the built-in 32-pixel pieces, shown on the offscreen screen.
void Prepare(kb::TBrett& b);

} // namespace kbboard
