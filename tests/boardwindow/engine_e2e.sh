#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An external engine in the real program on a virtual X display (Xvfb):
#   engine_e2e.sh KESTRELBAY PGNFILE ENGINE WORKDIR
# The engine list holds one script that starts ENGINE as its child (the way
# users pass arguments). The program opens row 2 of PGNFILE in a board
# window; Ctrl+2 there, with no click first, starts the engine. Then the
# program is killed with SIGKILL: a second later no process of the engine
# may be left.
set -uo pipefail
program=$1 pgn=$2 engine=$3 work=$4

if [ -z "${KB_E2E_INNER:-}" ]; then
    rm -rf "$work"
    mkdir -p "$work" || exit 1
    ln "$program" "$work/kestrelbay" 2>/dev/null || cp "$program" "$work/kestrelbay" || exit 1
    cp "$pgn" "$work/games.pgn" || exit 1
    # The script's children: the engine, and one that never reads its input
    # (as an engine deep in thought), so that it cannot notice the end.
    printf '#!/bin/sh\necho $$ >"%s/engine.pgid"\nsleep 600 &\n"%s"\nwait\n' "$work" "$engine" \
        >"$work/engine.sh"
    chmod +x "$work/engine.sh"
    printf '[Options]\r\nBrettMax=1\r\nEnglish=1\r\n[WBEngines]\r\nWBEngine0=%s\r\n' \
        "$work/engine.sh" >"$work/Kestrelbay.ini"
    KB_E2E_INNER=1 exec "$(dirname "$0")/../support/with_xvfb.sh" "$work/xvfb.txt" "$0" "$@"
fi

fail() {
    echo "FAIL: $*" >&2
    [ -n "${pid:-}" ] && kill -9 "$pid" 2>/dev/null
    [ -n "${group:-}" ] && kill -9 -- "-$group" 2>/dev/null
    exit 1
}
. "$(dirname "$0")/../support/xdo.sh"
# Live processes of a process group.
members() { ps -eo pgid=,stat= | awk -v g="$1" '$1 == g && $2 !~ /^Z/' | wc -l; }

cd "$work" || exit 1
QT_QPA_PLATFORM=xcb ./kestrelbay "$work/games.pgn" 2 >"$work/stderr.txt" 2>&1 &
pid=$!

frame=$(find_window '^Kestrelbay') || fail "no main window"
find_window 'Bakulin, Nikolay I - Kortschnoj, Viktor' >/dev/null ||
    fail "no board window for row 2: $(xdotool getwindowname "$frame")"

# Ctrl+2: the first engine of the list, in the window opened at start.
group=
for _ in 1 2 3 4 5; do
    focus "$frame"
    xdotool key --clearmodifiers ctrl+2
    for _ in $(seq 40); do
        [ -s "$work/engine.pgid" ] && group=$(cat "$work/engine.pgid") && break 2
        sleep 0.1
    done
done
[ -n "$group" ] || fail "Ctrl+2 started no engine"
for _ in $(seq 100); do
    [ "$(members "$group")" -ge 3 ] && break
    sleep 0.1
done
[ "$(members "$group")" -ge 3 ] || fail "the script started no engine"
# A picture of the analysis, where the tools are there to take one.
if command -v xwd >/dev/null && command -v convert >/dev/null; then
    sleep 2
    xwd -root -silent | convert xwd:- "$work/analysing.png"
fi

kill -9 "$pid"
wait "$pid" 2>/dev/null
sleep 1
left=$(members "$group")
[ "$left" -eq 0 ] || fail "$left processes of the engine outlived the program"
echo "ok"
