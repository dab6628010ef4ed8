#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The pieces are drawn from the font built into the program: with every
# system font hidden (an empty tmpfs over /usr/share/fonts in a private mount
# namespace) a board is drawn exactly as with them.
#   pieces_without_fonts.sh KBBENCH WORKDIR
# Exit 77 (skipped) where no mount namespace can be made.
set -uo pipefail
bench=$1 work=$2
rm -rf "$work" && mkdir -p "$work" || exit 1
export QT_QPA_PLATFORM=offscreen
if ! unshare -m true 2>/dev/null; then
    echo "SKIP: no private mount namespace here" >&2
    exit 77
fi
status=0
for size in 16 21 45; do
    "$bench" board-png START "$work/with-$size.png" "$size" >/dev/null || exit 1
    unshare -m sh -c 'mount -t tmpfs none /usr/share/fonts && [ -z "$(ls -A /usr/share/fonts)" ] &&
        exec "$0" board-png START "$1" "$2"' "$bench" "$work/without-$size.png" "$size" \
        >"$work/without-$size.txt" 2>&1 || {
        echo "FAIL: no board at $size without the system fonts:" >&2
        cat "$work/without-$size.txt" >&2
        status=1
        continue
    }
    cmp -s "$work/with-$size.png" "$work/without-$size.png" || {
        echo "FAIL: the board at $size differs without the system fonts" >&2
        status=1
    }
done
exit $status
