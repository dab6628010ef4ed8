#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Kestrelbay and starts it:
#   ./run.sh [FILE [ROW]]
set -uo pipefail
KB_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$KB_ROOT/scripts/setup.sh"
kb_install_deps || exit 1
kb_build build/release -DCMAKE_BUILD_TYPE=Release -DKB_BUILD_TESTS=OFF || exit 1

program=$KB_ROOT/build/release/app/kestrelbay
if [ ! -x "$program" ]; then
    echo "Kestrelbay cannot start yet: the main window is not built. The libraries and kbbench are in build/release." >&2
    exit 1
fi
exec "$program" "$@"
