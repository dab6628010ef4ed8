#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a virtual X display (Xvfb) of its own:
#   with_xvfb.sh LOGFILE COMMAND [ARG...]
# Exits with the command's status.
#
# Several test runs share the machine: Xvfb picks a free display itself and
# tells its number (xvfb-run's own search can hand one number to two runs
# that start together, and then one test talks to another test's server).
# -noreset keeps the server as it is when its last client leaves: a test that
# closes one program and starts the next would otherwise race the reset and
# lose its connection.
set -uo pipefail
log=$1
shift

display=
# Two servers starting together can still meet: then again.
for _ in 1 2 3 4 5; do
    exec 3<> <(:)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$log" 2>&1 &
    xvfb=$!
    for _ in $(seq 300); do
        read -r -t 0.1 display <&3 && break
        kill -0 "$xvfb" 2>/dev/null || break
    done
    exec 3<&-
    # The display must answer, and be this server's.
    if [ -n "$display" ]; then
        for _ in $(seq 100); do
            kill -0 "$xvfb" 2>/dev/null || break
            DISPLAY=:$display xdotool getmouselocation >/dev/null 2>&1 && break 2
            sleep 0.1
        done
    fi
    display=
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    sleep 0.$((RANDOM % 10))
done
if [ -z "$display" ]; then
    echo "FAIL: Xvfb did not start: $(cat "$log")" >&2
    exit 1
fi
DISPLAY=:$display "$@"
status=$?
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $status
