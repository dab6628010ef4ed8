#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Kestrelbay and starts it:
#   ./run.sh [FILE [ROW]]
# FILE opens in a game list; ROW (0-based) opens that row's game. Without
# FILE the program starts as on a first start and offers to install itself.
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
# Without a file it starts as a first-time user's download does: alone in a
# folder without an ini, where it offers to install itself.
if [ $# -eq 0 ]; then
    first=$KB_ROOT/build/first-start
    mkdir -p "$first" && rm -f "$first/Kestrelbay.ini" || exit 1
    cp "$program" "$first/kestrelbay.new" && mv -f "$first/kestrelbay.new" "$first/kestrelbay" || exit 1
    exec "$first/kestrelbay"
fi
exec "$program" "$@"
