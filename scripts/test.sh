#!/usr/bin/env bash
# Sets everything up and runs all tests: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the threaded tests under ThreadSanitizer, and a short
# run of every libFuzzer target.
# Longer fuzz runs: scripts/fuzz-short.sh SECONDS.
#
# The tests spend most of their time waiting on their printers, so the next builds compile
# meanwhile, in the background at the lowest priority: a compiler at nice 19 gives way the
# moment a test wants a processor, and the tests' timing stays as when they run alone.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
logs=$PWD/build-logs
mkdir -p "$logs"

# build_in_background NAME COMMAND...: runs the build at nice 19, its output in build-logs/.
declare -A build_pid
build_in_background() {
  local name=$1
  shift
  (renice -n 19 -p "$BASHPID" >/dev/null && "$@") >"$logs/$name.log" 2>&1 &
  build_pid[$name]=$!
}
# A failed step leaves no build running behind it.
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
# wait_for_build NAME: waits for a background build and stops here if it failed.
wait_for_build() {
  if ! wait "${build_pid[$1]}"; then
    echo "test: the $1 build failed; its last lines (all of it in build-logs/$1.log):" >&2
    tail -n 60 "$logs/$1.log" >&2
    exit 1
  fi
  echo "== $1 build done (${SECONDS} s)"
}

tsan_tests=(test_task_thread com_event_queue_test test_printer_worker com_so_test
            com_events_test e2e_async_events e2e_drawer_co e2e_fault_scenarios)
build_tsan() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANTH_TSAN=ON \
    -DZANTH_BUILD_BENCH=OFF -DZANTH_BUILD_SETUP=OFF >/dev/null
  cmake --build build-tsan -j"$jobs" --target ZanthSO "${tsan_tests[@]}"
}

scripts/setup.sh build
# The setup tool's window is left out of the sanitizer builds; its registry rules are tested
# in them too.
build_in_background asan scripts/setup.sh build-asan -DZANTH_SANITIZE=ON -DZANTH_BUILD_BENCH=OFF -DZANTH_BUILD_SETUP=OFF
echo "== tests: normal build (${SECONDS} s)"
ctest --test-dir build --output-on-failure -j"$jobs"

wait_for_build asan
build_in_background tsan build_tsan
build_in_background fuzz scripts/fuzz-short.sh --build-only
# The end-to-end suites run one at a time under the sanitizers: several of their timing
# checks starve when two slowed suites run side by side. The rest run in parallel.
echo "== tests: AddressSanitizer + UndefinedBehaviorSanitizer build (${SECONDS} s)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE e2e
ctest --test-dir build-asan --output-on-failure -j1 -L e2e
unset ASAN_OPTIONS UBSAN_OPTIONS

wait_for_build tsan
echo "== tests: ThreadSanitizer build of the threaded code (worker, event thread, COM, faults) (${SECONDS} s)"
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

wait_for_build fuzz
echo "== fuzz: short run of every target (${SECONDS} s)"
scripts/fuzz-short.sh "${ZANTH_FUZZ_SECONDS:-10}"
echo "== all tests passed (${SECONDS} s)"
