#!/usr/bin/env bash
# Runs the benchmarks of one build: the micro-benchmarks (five repetitions each), then the
# end-to-end benchmark, which prints one table (the micro figures included) and writes it
# as JSON.
#   bench/run.sh <build-dir> [cuebridge-bench options...]
# Results: <build-dir>/bench/microbench.json and <build-dir>/bench/results.json
# (override the latter with --json FILE).
set -euo pipefail
BUILD="${1:?usage: bench/run.sh <build-dir> [cuebridge-bench options]}"
shift
BIN="$BUILD/bin"
OUT="$BUILD/bench"
mkdir -p "$OUT"

json="$OUT/results.json"
for arg in "$@"; do
  case "$arg" in --json | --json=*) json="" ;; esac
done

echo "==> micro-benchmarks" >&2
"$BIN/cuebridge-microbench" --benchmark_min_time=0.2 --benchmark_repetitions=5 \
  --benchmark_out="$OUT/microbench.json" --benchmark_out_format=json >&2

echo "==> end-to-end benchmark" >&2
if [ -n "$json" ]; then
  "$BIN/cuebridge-bench" --micro "$OUT/microbench.json" --json "$json" "$@"
else
  "$BIN/cuebridge-bench" --micro "$OUT/microbench.json" "$@"
fi
