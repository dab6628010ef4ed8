// SPDX-License-Identifier: GPL-3.0-or-later
#include "MdiWindows.h"

TWindowFactories& WindowFactories() {
    static TWindowFactories factories;
    return factories;
}
