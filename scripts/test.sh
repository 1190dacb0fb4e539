#!/usr/bin/env bash
# Sets everything up and runs all tests: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, and a short run of every libFuzzer target.
# Longer fuzz runs: scripts/fuzz-short.sh SECONDS.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh build
echo "== tests: normal build"
ctest --test-dir build --output-on-failure -j"$jobs"

# The setup tool's window is left out here; its registry rules are tested in this build too.
scripts/setup.sh build-asan -DZANTH_SANITIZE=ON -DZANTH_BUILD_BENCH=OFF -DZANTH_BUILD_SETUP=OFF
echo "== tests: AddressSanitizer + UndefinedBehaviorSanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

echo "== fuzz: short run of every target"
scripts/fuzz-short.sh "${ZANTH_FUZZ_SECONDS:-20}"
