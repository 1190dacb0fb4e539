#!/usr/bin/env bash
# Long fuzzing: every libFuzzer target for MINUTES minutes each (default 30), with the
# sanitizers on, from its seed corpus. A crash leaves its input in build-fuzz/artifacts/;
# make it a named regression test before fixing it.
# Usage: scripts/fuzz-long.sh [MINUTES]   (ZANTH_FUZZ_RUNS=10000000 stops each target sooner
# once it ran that many inputs)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-30}
case "$minutes" in ''|*[!0-9]*) echo "fuzz-long: minutes must be a number" >&2; exit 2 ;; esac
# Hours of fuzzing are background work: they give way to whatever else the machine does.
# Nice alone only counts within a session where the kernel schedules sessions as groups
# (autogroup), so the session's group is lowered too where the kernel has one.
renice -n 19 -p $$ >/dev/null
if [ -w /proc/self/autogroup ]; then echo 19 >/proc/self/autogroup 2>/dev/null || true; fi
exec scripts/fuzz-short.sh $((minutes * 60))
