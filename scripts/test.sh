#!/usr/bin/env bash
# Builds VOXA Monitor and runs every test: the core, the serial component and
# the windows (offscreen), then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the serial event thread's tests under
# ThreadSanitizer, then each fuzz target for a minute (FUZZ_SECONDS).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
# The install test puts the packages on this machine and takes them off again.
VOXA_INSTALL_TEST=1 ctest --test-dir build --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVOXA_SANITIZE=ON -DVOXA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== ThreadSanitizer (serial event thread)"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVOXA_TSAN=ON -DVOXA_BUILD_APP=OFF -DVOXA_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target serial_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ./build-tsan/tests/serial_tests --gtest_repeat=5

echo "== libFuzzer targets, ${FUZZ_SECONDS:-60} s each"
bash scripts/fuzz.sh

echo "All tests passed."
