#!/usr/bin/env bash
# Every benchmark once, then one table of their figures beside the baselines measured in the same run: report
# period and change-to-display delay, idle CPU, resident memory, paint, unzip, offline start to first report.
# Each script's own output is kept in build/bench/run-all/. About 10 minutes once everything is built.
#
#   benchmarks/run-all.sh [SECONDS]    (default 30: how long the refresh, idle and memory figures measure)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
out="$root/build/bench/run-all"
mkdir -p "$out"

run() {
  local name=$1
  shift
  echo "== $name: $*"
  "$@" | tee "$out/$name.txt"
}

began=$(date +%s)
run display_refresh "$root/benchmarks/display_refresh.sh" "$seconds"
run resident_memory "$root/benchmarks/resident_memory.sh" "$seconds" 1
run paint "$root/scripts/bench-paint.sh"
run unzip "$root/benchmarks/unzip.sh" 5
run offline_start "$root/benchmarks/offline_start.sh" 5
echo
echo "Performance under wine + Xvfb, $(date +%Y-%m-%d), $(( ($(date +%s) - began) / 60 )) min:"
python3 "$root/benchmarks/perf_table.py" "$out" | tee "$out/table.md"
