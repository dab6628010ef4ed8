// SPDX-License-Identifier: GPL-3.0-or-later
// For suites that build the real frame (they link kb_app).
#pragma once

#include "Main.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace kbtest {

// Runs the event loop until the frame's deferred start-up has run, five
// seconds at the most; true when it has.
inline bool WaitForStartup(const TMainForm& Frame) {
    QElapsedTimer t;
    t.start();
    while (!Frame.StartupDone() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return Frame.StartupDone();
}

} // namespace kbtest
