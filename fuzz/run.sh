#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every libFuzzer target of BUILD (default build/fuzz) for SECONDS each
# on a scratch copy of its corpus, with a fixed seed (KB_FUZZ_SEED, default
# 1), so that a run can be repeated. A finding is kept in BUILD/findings/.
#   fuzz/run.sh SECONDS [BUILD]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?seconds}
build=${2:-build/fuzz}
seed=${KB_FUZZ_SEED:-1}
status=0
mkdir -p "$build/findings"
for pair in pgn_roundtrip_fuzz:pgn record_roundtrip_fuzz:pgn ini_fuzz:ini; do
    target=${pair%%:*}
    corpus=fuzz/corpus/${pair##*:}
    scratch=$(mktemp -d)
    cp "$corpus"/* "$scratch"/
    echo "-- $target: $seconds s, seed $seed"
    if ! "$build/fuzz/$target" -seed="$seed" -max_total_time="$seconds" -max_len=8192 \
        -artifact_prefix="$build/findings/$target-" -print_final_stats=1 "$scratch" \
        >"$build/findings/$target.log" 2>&1; then
        echo "$target found a fault (seed $seed); log: $build/findings/$target.log"
        grep -A30 -m1 -E '^(==[0-9]+==ERROR|.*runtime error|the export|saved|written)' \
            "$build/findings/$target.log" | head -40
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$build/findings/$target.log"
    fi
    rm -rf "$scratch"
done
exit $status
