#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A user's first minute with the real program on a virtual X display (Xvfb):
#   frame_e2e.sh KESTRELBAY PGNFILE WORKDIR
# The program runs from a folder of its own (it keeps its ini beside the
# executable) on a copy of PGNFILE opened at row 2, with new board windows
# maximized so that the frame's title names the game in front. Keys open a
# new game, the About box and close the program; the ini it wrote is checked.
set -uo pipefail
program=$1 pgn=$2 work=$3

if [ -z "${KB_E2E_INNER:-}" ]; then
    rm -rf "$work"
    mkdir -p "$work" || exit 1
    # Same file system as the build: a hard link, else a copy.
    ln "$program" "$work/kestrelbay" 2>/dev/null || cp "$program" "$work/kestrelbay" || exit 1
    cp "$pgn" "$work/games.pgn" || exit 1
    printf '[Mine]\r\nKeep=1\r\n[Options]\r\nBrettMax=1\r\nDisableLog=0\r\nEnglish=1\r\n' >"$work/Kestrelbay.ini"
    KB_E2E_INNER=1 exec "$(dirname "$0")/../support/with_xvfb.sh" "$work/xvfb.txt" "$0" "$@"
fi

fail() {
    echo "FAIL: $*" >&2
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    exit 1
}
. "$(dirname "$0")/../support/xdo.sh"
key() {
    focus "$1"
    xdotool key --clearmodifiers "$2"
}

cd "$work" || exit 1
QT_QPA_PLATFORM=xcb ./kestrelbay "$work/games.pgn" 2 >"$work/stderr.txt" 2>&1 &
pid=$!

frame=$(find_window '^Kestrelbay') || fail "no main window"
echo "main window: $(xdotool getwindowname "$frame")"

if [ -n "${KB_E2E_LISTS:-}" ]; then
    # Row 2 of the file: its game in a maximized board window.
    find_window 'Bakulin, Nikolay I - Kortschnoj, Viktor' >/dev/null ||
        fail "no board window for row 2: $(xdotool getwindowname "$frame")"
fi

# Presses KEY on WINDOW until CHECK succeeds: keys wait while the program
# is busy (a list still loading holds back the user's input), so a key
# that came too early is pressed again after a while.
press_until() {
    local window=$1 keyname=$2
    shift 2
    for _ in 1 2 3 4 5; do
        key "$window" "$keyname"
        for _ in $(seq 40); do
            "$@" && return 0
            sleep 0.1
        done
    done
    return 1
}
title_is() { xdotool getwindowname "$frame" 2>/dev/null | grep -q "$1"; }
window_named() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
no_window_named() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
program_gone() { ! kill -0 "$pid" 2>/dev/null; }

# F4: a new game, in front and maximized.
press_until "$frame" F4 title_is '^Kestrelbay - \[N\.N\. - N\.N\.\]$' ||
    fail "F4 opened no new game: $(xdotool getwindowname "$frame")"

# Escape closes the window in front; behind it the game of the command line.
if [ -n "${KB_E2E_LISTS:-}" ]; then
    press_until "$frame" Escape title_is '^Kestrelbay - \[Bakulin' ||
        fail "Escape did not close the new game: $(xdotool getwindowname "$frame")"
fi

# F1: the About box, a window of its own; Escape closes it.
press_until "$frame" F1 window_named '^Info$' || fail "F1 showed no About box"
about=$(xdotool search --onlyvisible --name '^Info$' | head -1)
echo "dialog: $(xdotool getwindowname "$about")"
press_until "$about" Escape no_window_named '^Info$' || fail "Escape left the About box open"

# Alt+F4: the frame asks its windows and closes.
press_until "$frame" alt+F4 program_gone || fail "the program did not close"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr.txt")"

ini=$work/Kestrelbay.ini
grep -q '^Keep=1' "$ini" || fail "unknown key lost"
grep -q '^MainWidth=[0-9]' "$ini" || fail "no frame geometry written"
grep -q '^File0=' "$ini" || fail "no history written"
grep -q '^DisableLog=0' "$ini" || fail "DisableLog was rewritten"
grep -q '^English=1' "$ini" || fail "language not kept"
[ "$(grep -c '^WBEngine' "$ini")" -eq 8 ] || fail "engine slots not written"
[ -s "$work/English.lng" ] || fail "no English.lng"
if [ -n "${KB_E2E_LISTS:-}" ]; then
    grep -q "^File0=games.pgn   \"$work/games.pgn\"" "$ini" || fail "file not in the history"
fi
echo "ok"
