#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Times `kbbench print-pdf` on one game growing by doubling (a comment, a tag
# without a blank, a tag of words, the moves): one line per file, pages and
# the median cpu and wall seconds of three runs.
#   bench/print_series.sh path/to/kbbench [KIND SIZES...]
set -eu
kbbench=$1
shift
here=$(dirname "$0")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
run() {
    kind=$1
    shift
    for n in "$@"; do
        python3 "$here/print_series.py" "$kind" "$n" "$dir/g.pgn"
        pages=$("$kbbench" print-pdf "$dir/g.pdf" "$dir/g.pgn" 2>/dev/null | awk '$1 == "pages" { print $2 }')
        secs=$(python3 "$here/median_times.py" 3 "$kbbench" print-pdf "$dir/g.pdf" "$dir/g.pgn")
        printf '%s\t%s\tpages %s\t%s\n' "$kind" "$n" "$pages" "$secs"
    done
}
if [ $# -gt 0 ]; then
    run "$@"
else
    run comment 6250 12500 25000 50000
    run tag 12500 25000 50000 100000
    run tagwords 12500 25000 50000 100000
    run moves 1000 2000 4000 8000 16000
fi
