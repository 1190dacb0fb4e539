#!/usr/bin/env bash
# Builds every libFuzzer target with clang, AddressSanitizer and UBSan (build-fuzz) and runs
# each one for a while, starting from its seed corpus, as many at once as there are cores.
# Usage: scripts/fuzz-short.sh [--build-only] [seconds per target, default 30]
# ZANTH_FUZZ_RUNS=N ends each target after N inputs (the time still caps it);
# ZANTH_FUZZ_ONLY="name ..." runs only those fuzz/ folders;
# ZANTH_FUZZ_PARALLEL=N runs N targets at once (default: the number of cores);
# ZANTH_FUZZ_JOBS=N runs each target as N forked workers sharing its corpus, ZANTH_FUZZ_RUNS
# counting their inputs together (with ZANTH_FUZZ_PARALLEL=1, one target uses N cores);
# ZANTH_FUZZ_TIMEOUT=S reports an input that runs longer than S seconds as a hang (default 10).
# Convention: folder fuzz/<name>/ defines the target fuzz_<name> (dashes become underscores);
# only those targets are built, not the whole tree.
# Each target runs on a scratch copy of its seed folder fuzz/<target-folder>/corpus, so the
# checked-in seeds stay as they are; a crash leaves its input in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
build_only=0
if [ "${1:-}" = "--build-only" ]; then build_only=1; shift; fi
seconds=${1:-30}
case "$seconds" in ''|*[!0-9]*) echo "fuzz-short: seconds must be a number" >&2; exit 2 ;; esac

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DZANTH_FUZZ=ON -DZANTH_BUILD_TESTS=OFF \
  -DZANTH_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for dir in fuzz/*/; do
  [ -f "$dir/CMakeLists.txt" ] || continue
  name=$(basename "$dir")
  targets+=("fuzz_${name//-/_}")
done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz-short: no fuzz targets under fuzz/" >&2; exit 1; }
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}" >/dev/null
[ "$build_only" -eq 0 ] || exit 0

mkdir -p build-fuzz/artifacts
parallel=${ZANTH_FUZZ_PARALLEL:-$(nproc)}

# Runs one target; its log is build-fuzz/<name>.log and its exit status build-fuzz/<name>.rc.
run_target() {
  local name=$1 target=$2 work=build-fuzz/corpus/$1
  rm -rf "$work"
  mkdir -p "$work"
  [ -d "fuzz/$name/corpus" ] && cp -r "fuzz/$name/corpus/." "$work/"
  local rc=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$target" "$work" -max_total_time="$seconds" -timeout="${ZANTH_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -max_len=8192 \
    ${ZANTH_FUZZ_JOBS:+-fork="$ZANTH_FUZZ_JOBS"} ${ZANTH_FUZZ_RUNS:+-runs="$ZANTH_FUZZ_RUNS"} \
    -artifact_prefix=build-fuzz/artifacts/"$name"- -print_final_stats=1 >build-fuzz/"$name".log 2>&1 || rc=$?
  echo "$rc" >build-fuzz/"$name".rc
}

names=()
for dir in fuzz/*/; do
  name=$(basename "$dir")
  target=build-fuzz/fuzz/$name/fuzz_${name//-/_}
  [ -x "$target" ] || continue
  if [ -n "${ZANTH_FUZZ_ONLY:-}" ] && [[ " $ZANTH_FUZZ_ONLY " != *" $name "* ]]; then continue; fi
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  echo "== fuzz: $name for ${seconds}s"
  rm -f build-fuzz/"$name".rc
  run_target "$name" "$target" &
  names+=("$name")
done
wait
[ ${#names[@]} -gt 0 ] || { echo "fuzz-short: no fuzz targets were built" >&2; exit 1; }

status=0
for name in "${names[@]}"; do
  if [ "$(cat build-fuzz/"$name".rc 2>/dev/null)" = 0 ]; then
    echo "-- $name: $(grep -E "stat::number_of_executed_units" build-fuzz/"$name".log || tail -n 1 build-fuzz/"$name".log)"
  else
    echo "fuzz: $name failed; see build-fuzz/$name.log and build-fuzz/artifacts/" >&2
    tail -n 40 build-fuzz/"$name".log >&2
    status=1
  fi
done
exit $status
