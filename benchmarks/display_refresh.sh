#!/usr/bin/env bash
# Prints the display refresh figures (report period, change-to-display latency) measured with one virtual
# display under wine, in a wine prefix of its own (build/bench/).
#
#   benchmarks/display_refresh.sh [SECONDS]    (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

"$root/scripts/setup.sh" >/dev/null
cmake --preset default -S "$root" >/dev/null
cmake --build "$build" --target display_refresh_bench >/dev/null

. "$root/scripts/wine-env.sh"
trap wine_down EXIT
trap 'exit 130' INT TERM
wine_up "$build/bench"
export WINEPATH="$(wine_path "$build/out")"
wine "$build/benchmarks/display_refresh_bench.exe" "${1:-60}" </dev/null
