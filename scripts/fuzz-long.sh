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
exec scripts/fuzz-short.sh $((minutes * 60))
