// SPDX-License-Identifier: GPL-3.0-or-later
#include "MdiWindows.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QWidget>

bool TMdiChildIntf::CloseQuery() {
    // Sent straight to the widget, the event reaches closeEvent only: the
    // window answers, but is neither hidden nor deleted.
    QCloseEvent query;
    query.accept();
    QCoreApplication::sendEvent(Window(), &query);
    return query.isAccepted();
}

TWindowFactories& WindowFactories() {
    static TWindowFactories factories;
    return factories;
}
