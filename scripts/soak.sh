#!/usr/bin/env bash
# Soak: runs the load suite at full size (2 000 async jobs, 255 control objects, 8 printers x
# 200 receipts from 8 threads, 10 000 open/close cycles) and the fault and event suites again
# and again until MINUTES have passed, then prints how many runs passed and failed.
# Usage: scripts/soak.sh [MINUTES] (default 60). Builds the normal build first.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
case "$minutes" in ''|*[!0-9]*) echo "soak: minutes must be a number" >&2; exit 2 ;; esac
scripts/setup.sh build >/dev/null
end=$(( $(date +%s) + minutes * 60 ))
passed=0
failed=0
mkdir -p build/soak
run=0
while [ "$(date +%s)" -lt "$end" ]; do
  run=$((run + 1))
  log=build/soak/run-$run.log
  if ZANTH_LOAD_FULL=1 ctest --test-dir build -R 'Load\.|AsyncEvents\.|WriteFault|StatusAfterEnable' \
       --output-on-failure --timeout 3600 >"$log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "soak: run $run failed; see $log" >&2
  fi
done
echo "soak: $run runs, $passed passed, $failed failed"
[ "$failed" -eq 0 ]
