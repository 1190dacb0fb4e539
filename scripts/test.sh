#!/usr/bin/env bash
# Sets everything up and runs all tests: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the threaded tests under ThreadSanitizer, and a short
# run of every libFuzzer target.
# Longer fuzz runs: scripts/fuzz-short.sh SECONDS.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh build
echo "== tests: normal build (${SECONDS} s)"
ctest --test-dir build --output-on-failure -j"$jobs"

# The setup tool's window is left out here; its registry rules are tested in this build too.
# The end-to-end suites run one at a time under the sanitizers: several of their timing
# checks starve when two slowed suites run side by side. The rest run in parallel.
scripts/setup.sh build-asan -DZANTH_SANITIZE=ON -DZANTH_BUILD_BENCH=OFF -DZANTH_BUILD_SETUP=OFF
echo "== tests: AddressSanitizer + UndefinedBehaviorSanitizer build (${SECONDS} s)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE e2e
ctest --test-dir build-asan --output-on-failure -j1 -L e2e
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== tests: ThreadSanitizer build of the threaded code (worker, event thread, COM, faults) (${SECONDS} s)"
tsan_tests=(test_task_thread com_event_queue_test test_printer_worker com_so_test
            com_events_test e2e_async_events e2e_drawer_co e2e_fault_scenarios)
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANTH_TSAN=ON \
  -DZANTH_BUILD_BENCH=OFF -DZANTH_BUILD_SETUP=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target ZanthSO "${tsan_tests[@]}"
# The two-megabyte drains of the slow-printer cases take minutes under TSan and run no
# thread the other fault cases leave out.
declare -A tsan_filter=([e2e_fault_scenarios]='-*SlowPrinter*')
root=$PWD
for t in "${tsan_tests[@]}"; do
  exe=$(find build-tsan/tests -type f -name "$t" -perm -u+x | head -n 1)
  echo "-- $t"
  (cd "$(dirname "$exe")" && ZANTH_BUILD_DIR="$root/build-tsan" \
     TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "./$t" --gtest_brief=1 ${tsan_filter[$t]:+--gtest_filter=${tsan_filter[$t]}})
done

echo "== fuzz: short run of every target (${SECONDS} s)"
scripts/fuzz-short.sh "${ZANTH_FUZZ_SECONDS:-10}"
echo "== all tests passed (${SECONDS} s)"
