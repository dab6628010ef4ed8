#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A first start of the real program under Xvfb, in a home folder of its own:
#   install_e2e.sh KESTRELBAY WORKDIR
# The program, alone in a folder without an ini, offers to install itself;
# the keys accept, the folder dialog takes the home folder, and the
# installed copy starts. Then the copy is started again from its menu entry
# by the desktop's launcher, and closed; it has written its ini.
set -uo pipefail
program=$1 work=$2

if [ -z "${KB_E2E_INNER:-}" ]; then
    rm -rf "$work"
    mkdir -p "$work/first" "$work/home" "$work/run" || exit 1
    chmod 700 "$work/run"
    cp "$program" "$work/first/kestrelbay" || exit 1
    KB_E2E_INNER=1 exec "$(dirname "$0")/../support/with_xvfb.sh" "$work/xvfb.txt" "$0" "$@"
fi

export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/run LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb
pids=()
fail() {
    echo "FAIL: $*" >&2
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    exit 1
}
. "$(dirname "$0")/../support/xdo.sh"
# Waits up to 60 s for process $1 to end.
wait_gone() {
    for _ in $(seq 600); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
# Presses alt+F4 on window $1 until process $2 ends: a key that comes while
# the program still starts up can be lost, so it is pressed again.
close_program() {
    for _ in 1 2 3 4 5 6; do
        focus "$1"
        xdotool key --clearmodifiers alt+F4
        for _ in $(seq 100); do
            kill -0 "$2" 2>/dev/null || return 0
            sleep 0.1
        done
    done
    return 1
}

cd "$work/first" || exit 1
./kestrelbay >"$work/first.txt" 2>&1 &
first=$!
pids+=("$first")

offer=$(find_window '^Information$') || fail "no install offer"
# Return until the folder dialog shows: a key can come before the box takes
# it. Once the box is gone no key is pressed again (the dialog would take it).
chooser=
for _ in 1 2 3 4 5 6; do
    if xdotool search --onlyvisible --name '^Information$' >/dev/null 2>&1; then
        focus "$offer"
        xdotool key Return
    fi
    for _ in $(seq 100); do
        chooser=$(xdotool search --onlyvisible --name 'will be installed now' 2>/dev/null | head -1)
        [ -n "$chooser" ] && break 2
        sleep 0.1
    done
done
[ -n "$chooser" ] || fail "no folder dialog"
focus "$chooser"
xdotool key ctrl+a
xdotool type --delay 5 "$work/home"
xdotool key Return
wait_gone "$first" || fail "the first copy did not end after installing"

dir=$work/home/Kestrelbay
[ -x "$dir/kestrelbay" ] || fail "no installed program"
[ -f "$dir/Kestrelbay.ini" ] && [ ! -s "$dir/Kestrelbay.ini" ] || fail "no empty ini"
[ ! -e "$work/first/Kestrelbay.ini" ] || fail "an ini beside the first copy"
entry=$XDG_DATA_HOME/applications/kestrelbay.desktop
[ -f "$entry" ] || fail "no menu entry"
desktop-file-validate "$entry" || fail "menu entry not valid"

# The installed copy runs by itself: its frame, and its language template.
frame=$(find_window '^Kestrelbay$') || fail "the installed copy did not start"
copy=$(xdotool getwindowpid "$frame")
pids+=("$copy")
[ "$(readlink "/proc/$copy/exe")" = "$dir/kestrelbay" ] || fail "the running copy is not the installed one"
for _ in $(seq 100); do [ -s "$dir/English.lng" ] && break; sleep 0.1; done
[ -s "$dir/English.lng" ] || fail "the installed copy did not start normally"
close_program "$frame" "$copy" || fail "the installed copy did not close"
grep -q '^MainWidth=' "$dir/Kestrelbay.ini" || fail "the installed copy wrote no settings"

# From the menu entry, as the desktop starts it.
gio launch "$entry" >"$work/launch.txt" 2>&1 || fail "launcher: $(cat "$work/launch.txt")"
frame=$(find_window '^Kestrelbay$') || fail "the menu entry started nothing"
again=$(xdotool getwindowpid "$frame")
pids+=("$again")
[ "$(readlink "/proc/$again/exe")" = "$dir/kestrelbay" ] || fail "the menu entry started another program"
close_program "$frame" "$again" || fail "the copy from the menu entry did not close"
echo "ok"
