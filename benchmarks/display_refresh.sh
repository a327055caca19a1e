#!/usr/bin/env bash
# Prints the display refresh figures (report period, change-to-display latency) measured with one virtual
# display under wine, in a wine prefix of its own (build/bench/).
#
#   benchmarks/display_refresh.sh [SECONDS]    (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

. "$root/scripts/wine-env.sh"
"$root/scripts/setup.sh" >/dev/null
build_targets "$root" display_refresh_bench
wine_session "$build" "$build/bench"
wine "$build/benchmarks/display_refresh_bench.exe" "${1:-60}" </dev/null
