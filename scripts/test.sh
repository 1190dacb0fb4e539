#!/usr/bin/env bash
# Sets everything up and runs all tests: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the threaded tests under ThreadSanitizer, and a short
# run of every libFuzzer target.
# Longer fuzz runs: scripts/fuzz-short.sh SECONDS.
#
# The tests spend most of their time waiting on their printers, so the next builds compile
# meanwhile, in the background at the lowest priority: a compiler at nice 19 gives way the
# moment a test wants a processor, and the tests' timing stays as when they run alone. The
# short fuzz runs take the processor the ThreadSanitizer programs, one at a time, leave.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
logs=$PWD/build-logs
mkdir -p "$logs"

# in_background NAME COMMAND...: runs a step at nice 19, its output in build-logs/NAME.log.
declare -A step_pid
in_background() {
  local name=$1
  shift
  (renice -n 19 -p "$BASHPID" >/dev/null && "$@") >"$logs/$name.log" 2>&1 &
  step_pid[$name]=$!
}
# A failed step leaves nothing running behind it.
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
# wait_for NAME: waits for a background step and stops here if it failed.
wait_for() {
  if ! wait "${step_pid[$1]}"; then
    echo "test: the $1 step failed; its last lines (all of it in build-logs/$1.log):" >&2
    tail -n 60 "$logs/$1.log" >&2
    exit 1
  fi
  echo "== $1 done (${SECONDS} s)"
}

tsan_tests=(test_task_thread com_event_queue_test test_printer_worker com_so_test
            com_events_test e2e_async_events e2e_drawer_co e2e_fault_scenarios test_sim_render)
build_tsan() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANTH_TSAN=ON \
    -DZANTH_BUILD_BENCH=OFF -DZANTH_BUILD_SETUP=OFF >/dev/null
  cmake --build build-tsan -j"$jobs" --target ZanthSO "${tsan_tests[@]}"
}

scripts/setup.sh build
# The setup tool's window is left out of the sanitizer builds; its registry rules are tested
# in them too.
in_background asan-build scripts/setup.sh build-asan -DZANTH_SANITIZE=ON -DZANTH_BUILD_BENCH=OFF -DZANTH_BUILD_SETUP=OFF
echo "== tests: normal build (${SECONDS} s)"
ctest --test-dir build --output-on-failure -j"$jobs"

wait_for asan-build
in_background tsan-build build_tsan
in_background fuzz-build scripts/fuzz-short.sh --build-only
# The end-to-end suites run one at a time under the sanitizers: several of their timing
# checks starve when two slowed suites run side by side. The rest run in parallel.
echo "== tests: AddressSanitizer + UndefinedBehaviorSanitizer build (${SECONDS} s)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE e2e
ctest --test-dir build-asan --output-on-failure -j1 -L e2e
unset ASAN_OPTIONS UBSAN_OPTIONS

wait_for tsan-build
wait_for fuzz-build
# At nice 19 beside a busy test a fuzzer may wait seconds for a processor, so only an input
# that runs a minute counts as a hang here.
in_background fuzz-runs env ZANTH_FUZZ_PARALLEL=1 ZANTH_FUZZ_TIMEOUT=60 scripts/fuzz-short.sh "${ZANTH_FUZZ_SECONDS:-10}"
echo "== tests: ThreadSanitizer build of the threaded code (worker, event thread, COM, faults, shared glyphs) (${SECONDS} s)"
# The two-megabyte drains of the slow-printer cases take minutes under TSan and run no
# thread the other fault cases leave out.
# Of the virtual printer's drawing, only the printers that share glyphs across threads.
declare -A tsan_filter=([e2e_fault_scenarios]='-*SlowPrinter*' [test_sim_render]='*InThreads*')
root=$PWD
for t in "${tsan_tests[@]}"; do
  exe=$(find build-tsan/tests -type f -name "$t" -perm -u+x | head -n 1)
  echo "-- $t"
  (cd "$(dirname "$exe")" && ZANTH_BUILD_DIR="$root/build-tsan" \
     TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "./$t" --gtest_brief=1 ${tsan_filter[$t]:+--gtest_filter=${tsan_filter[$t]}})
done

wait_for fuzz-runs
echo "== fuzz: a short run of every target, beside the ThreadSanitizer programs"
grep -E '^-- ' "$logs/fuzz-runs.log"
echo "== all tests passed (${SECONDS} s)"
