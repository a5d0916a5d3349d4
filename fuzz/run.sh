#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address + undefined sanitizers) and runs each one
# for the given number of seconds, or until it has run the given number of executions,
# starting from its seed corpus. Every kept crash input under fuzz/regressions/<target>/
# is replayed first and must pass.
# Usage: fuzz/run.sh [seconds] [executions]   (seconds 0: no time limit)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_EACH="${1:-60}"
RUNS=()
[ -n "${2:-}" ] && RUNS=(-runs="$2")
cd "$ROOT"
[ -f build/fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
targets=()
for source in fuzz/fuzz_*.cpp; do
  [ -e "$source" ] || continue
  targets+=("$(basename "$source" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then echo "no fuzz targets"; exit 0; fi
cmake --build build/fuzz -j2 --target "${targets[@]}" >/dev/null

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
total=0
for target in "${targets[@]}"; do
  binary="build/fuzz/bin/$target"
  regressions="fuzz/regressions/$target"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    "$binary" "$regressions"/* >/dev/null 2>&1 || { echo "$target: a kept regression input fails again"; "$binary" "$regressions"/*; exit 1; }
  fi
  work="build/fuzz/corpus/$target"
  mkdir -p "$work"
  log="build/fuzz/$target.log"
  seeds="fuzz/corpus/$target"
  [ -d "$seeds" ] || seeds=""
  if ! "$binary" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="build/fuzz/$target-" -print_final_stats=1 "${RUNS[@]}" "$work" $seeds >"$log" 2>&1; then
    echo "$target: FAILED (see $log; the crashing input is build/fuzz/$target-*)"
    tail -40 "$log"
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
  total=$((total + runs))
  echo "$target: ${runs} executions, ${rate} per second, ${cov}, no failure"
done
echo "fuzzing: $total executions in all"
