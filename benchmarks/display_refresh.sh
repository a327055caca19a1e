#!/usr/bin/env bash
# Prints the display refresh figures measured with one virtual display under wine, each beside a bare baseline
# of the same run: the report period and change-to-display delay; the period and the time Stop takes with 5 ms
# transfers (both in a wine prefix of its own, build/bench/); then the idle CPU of Calidra.exe with the panel
# hidden beside a bare 16 ms poller (a whole installation in build/bench-idle/).
#
#   benchmarks/display_refresh.sh [SECONDS]    (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
seconds=${1:-60}

. "$root/scripts/wine-env.sh"
"$root/scripts/setup.sh" >/dev/null
build_targets "$root" all
wine_session "$build" "$build/bench"
"$WINE" "$build/benchmarks/display_refresh_bench.exe" "$seconds" </dev/null
wine_down

BUILD_DIR="$build" python3 "$root/benchmarks/idle_cpu.py" "$seconds" </dev/null
