# SPDX-License-Identifier: GPL-3.0-or-later
# Window helpers for the end-to-end scripts, sourced by them.

# Waits up to 60 s (a loaded machine) for a shown window whose name matches
# $1; prints its id. A window that exists but is not mapped yet takes no keys.
find_window() {
    local id
    for _ in $(seq 600); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
focus() { xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"; }
