#!/usr/bin/env bash
# Prints the idle CPU of Calidra.exe with the panel hidden, with one display and with none, beside bare
# programs doing the least the same state needs, in alternating rounds in two prefixes of their own
# (build/bench-idle-a/, build/bench-idle-b/). See benchmarks/idle_cpu.py.
#
#   benchmarks/idle_cpu.sh [SECONDS] [ROUNDS]    (default 120 s windows, 5 rounds: about 25 minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

. "$root/scripts/wine-env.sh"
session_targets "$root" bare_report_loop idle_poller
BUILD_DIR="$root/build" exec python3 "$root/benchmarks/idle_cpu.py" "${1:-120}" "${2:-5}" </dev/null
