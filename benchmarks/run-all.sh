#!/usr/bin/env bash
# Every benchmark of the table once, then one table of their figures beside the baselines measured in the same
# run, each with its number of samples, and the memory breakdown: report period and change-to-display delay
# (with instant and 5 ms transfers), idle CPU with and without a display, memory against the fair floor,
# paint, unzip, start to first report. Each script's own output is kept in build/bench/run-all/, the table in
# table.md there. About 50 minutes once everything is built (the idle CPU takes half of it); the soak
# (benchmarks/soak.sh) is not part of it.
#
#   benchmarks/run-all.sh            the table's figures
#   benchmarks/run-all.sh --quick    everything with short windows and two rounds (about 12 minutes): shows
#                                    that it all runs; its figures are not the table's
#
# REFRESH_S, IDLE_S, IDLE_ROUNDS, MEMORY_ROUNDS, UNZIP_ROUNDS and START_ROUNDS in the environment override the
# windows and rounds of either mode (the table states what it measured with).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
refresh_s=60 idle_s=120 idle_rounds=5 memory_rounds=5 unzip_rounds=7 start_rounds=5
if [ "${1:-}" = --quick ]; then
  refresh_s=15 idle_s=20 idle_rounds=2 memory_rounds=2 unzip_rounds=2 start_rounds=2
  shift
fi
refresh_s=${REFRESH_S:-$refresh_s} idle_s=${IDLE_S:-$idle_s} idle_rounds=${IDLE_ROUNDS:-$idle_rounds}
memory_rounds=${MEMORY_ROUNDS:-$memory_rounds} unzip_rounds=${UNZIP_ROUNDS:-$unzip_rounds}
start_rounds=${START_ROUNDS:-$start_rounds}
if [ $# -gt 0 ]; then
  echo "usage: benchmarks/run-all.sh [--quick]" >&2
  exit 2
fi
out="$root/build/bench/run-all"
rm -rf "$out"
mkdir -p "$out"

# The wine prefixes the benchmarks leave (1.3 GB each) go as soon as their figures are in. A benchmark that
# fails is named and the others still run: its rows show "—" and the run ends with a failure.
failed=()
run() {
  local name=$1 status=0
  shift
  echo "== $name: $*"
  "$@" | tee "$out/$name.txt" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "== $name failed (exit status $status); its rows stay empty"
    failed+=("$name")
  fi
  rm -rf "$root/build/bench/wineprefix" "$root/build/bench-idle-a" "$root/build/bench-idle-b" \
    "$root/build/bench-memory" "$root/build/bench-offline" "$root/build/wineprefix"
}

began=$(date +%s)
load="$(uptime | sed 's/.*load average: //')"
run display_refresh "$root/benchmarks/display_refresh.sh" "$refresh_s"
run idle_cpu "$root/benchmarks/idle_cpu.sh" "$idle_s" "$idle_rounds"
run resident_memory "$root/benchmarks/resident_memory.sh" 30 "$memory_rounds" --breakdown
run paint "$root/scripts/bench-paint.sh"
run unzip "$root/benchmarks/unzip.sh" "$unzip_rounds"
run offline_start "$root/benchmarks/offline_start.sh" "$start_rounds"
echo
echo "Performance under wine + Xvfb, $(date +%Y-%m-%d), $(( ($(date +%s) - began) / 60 )) min, load average at" \
  "the start $load, at the end $(uptime | sed 's/.*load average: //'):" | tee "$out/table.md"
python3 "$root/benchmarks/perf_table.py" "$out" | tee -a "$out/table.md"
if [ ${#failed[@]} -gt 0 ]; then
  echo "run-all: failed: ${failed[*]}" >&2
  exit 1
fi
