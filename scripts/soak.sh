#!/usr/bin/env bash
# Soak, in two parts that share MINUTES:
# 1. Faults at random (two thirds of the time): printers on loopback TCP and a serial line
#    print sync and async jobs while connections drop, printers are switched off and on,
#    covers open and the serial cable is pulled and plugged back (tests/e2e/soak_faults.cpp).
#    It prints the faults injected, the counts of jobs, bytes, events and errors, and every
#    mismatch between what the application was told and what the printers received.
# 2. The load suite at full size (2 000 async jobs, 255 control objects, 8 printers x 200
#    receipts from 8 threads, 10 000 open/close cycles) and the fault and event suites,
#    again and again for the rest of the time (at least once).
# Usage: scripts/soak.sh [MINUTES] (default 60; one full-size suite run alone takes about two hours).
# Builds the normal build first.
# ZANTH_SOAK_SEED repeats the faults of an earlier run (its seed is printed).
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
case "$minutes" in ''|*[!0-9]*) echo "soak: minutes must be a number" >&2; exit 2 ;; esac
[ "$minutes" -ge 1 ] || { echo "soak: at least one minute" >&2; exit 2; }
scripts/setup.sh build >/dev/null
cmake --build build -j"$(nproc)" --target e2e_soak_faults >/dev/null
start=$(date +%s)
end=$(( start + minutes * 60 ))
mkdir -p build/soak

fault_seconds=$(( minutes * 60 * 2 / 3 ))
fault_log=build/soak/faults.log
exe=$(find build/tests -type f -name e2e_soak_faults -perm -u+x | head -n 1)
fault_status=0
root=$PWD
(cd "$(dirname "$exe")" && ZANTH_BUILD_DIR="$root/build" ZANTH_SOAK_SECONDS=$fault_seconds \
   "./e2e_soak_faults" --gtest_brief=1) >"$fault_log" 2>&1 || fault_status=$?

passed=0
failed=0
run=0
while [ "$run" -eq 0 ] || [ "$(date +%s)" -lt "$end" ]; do
  run=$((run + 1))
  log=build/soak/run-$run.log
  # The 10 000 open/close cycles take about 1.5 hours of designed pauses (half a second a cycle).
  if ZANTH_LOAD_FULL=1 ctest --test-dir build -R 'Load\.|AsyncEvents\.|WriteFault|StatusAfterEnable' \
       --output-on-failure --timeout 10800 >"$log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "soak: run $run failed; see $log" >&2
  fi
done

echo "== soak: faults at random for $fault_seconds s (log: $fault_log)"
grep '^soak:' "$fault_log" || true
if [ "$fault_status" -ne 0 ]; then
  echo "soak: the fault run failed (exit $fault_status); see $fault_log" >&2
fi
echo "== soak: suites: $run runs, $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$fault_status" -eq 0 ]
