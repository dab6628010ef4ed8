#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Kestrelbay and starts it:
#   ./run.sh [FILE [ROW]]
# FILE opens in a game list; ROW (0-based) opens that row's game.
set -uo pipefail
KB_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$KB_ROOT/scripts/setup.sh"
kb_install_deps || exit 1
kb_build build/release -DCMAKE_BUILD_TYPE=Release -DKB_BUILD_TESTS=OFF --target kestrelbay || exit 1

program=$KB_ROOT/build/release/kestrelbay
if [ ! -x "$program" ]; then
    echo "Kestrelbay was not built: see the messages above." >&2
    exit 1
fi
# The program keeps Kestrelbay.ini, its log and language files beside itself.
if [ $# -eq 0 ] && [ ! -e "$KB_ROOT/build/release/Kestrelbay.ini" ]; then
    echo "First start: installing Kestrelbay into a folder of your choice is not built yet;" \
        "starting it from build/release instead." >&2
fi
exec "$program" "$@"
