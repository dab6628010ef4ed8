#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs every test. The plain
# C++ logic libraries are also built and tested under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
KB_ROOT=$(pwd)
. scripts/setup.sh
kb_install_deps || exit 1

export KB_REQUIRE_PEERS=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
jobs=$(nproc)
status=0

echo "== logic libraries under AddressSanitizer and UndefinedBehaviorSanitizer"
if kb_build build/asan -DKB_WITH_QT=OFF -DKB_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
    ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 900 || status=1
else
    status=1
fi

echo "== engine and engine-worker threads under ThreadSanitizer"
if kb_build build/tsan -DKB_WITH_QT=OFF -DKB_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    --target engine_tests --target athread_tests; then
    ctest --test-dir build/tsan -j "$jobs" --output-on-failure --timeout 900 \
        -R '^(Engine|Worker|XBoard)' -E 'Bench' || status=1
else
    status=1
fi

echo "== libFuzzer targets, a few seconds each"
if command -v clang++ >/dev/null; then
    if kb_build build/fuzz -DKB_WITH_QT=OFF -DKB_BUILD_TESTS=OFF -DKB_FUZZ=ON \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        --target pgn_roundtrip_fuzz --target record_roundtrip_fuzz --target ini_fuzz; then
        fuzz/run.sh 5 build/fuzz || status=1
    else
        status=1
    fi
else
    echo "clang++ not found: skipped"
fi

echo "== full build"
if kb_build build/main -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
    ctest --test-dir build/main -j "$jobs" --output-on-failure --timeout 900 || status=1
else
    status=1
fi
exit $status
