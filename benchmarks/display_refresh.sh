#!/usr/bin/env bash
# Prints the display refresh figures measured with one virtual display under wine, each beside a bare baseline
# of the same run: the report period and change-to-display delay; the period and the time Stop takes with 5 ms
# transfers (in a wine prefix of its own, build/bench/). Each is measured over both stand-ins of the virtual
# display: the real hidapi.dll (the one the release ships) over the stand-in hid.dll first, then the stand-in
# hidapi.dll. The idle CPU has a script of its own (benchmarks/idle_cpu.sh).
#
#   benchmarks/display_refresh.sh [SECONDS]    (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
seconds=${1:-60}

. "$root/scripts/wine-env.sh"
"$root/scripts/setup.sh" >/dev/null
build_targets "$root" display_refresh_bench display_refresh_bench_hid
wine_session "$build" "$build/bench"
echo "== over the real hidapi.dll, with the stand-in hid.dll beneath it"
"$WINE" "$build/benchmarks/virtual_hid/display_refresh_bench_hid.exe" "$seconds" </dev/null
echo "== over the stand-in hidapi.dll"
"$WINE" "$build/benchmarks/display_refresh_bench.exe" "$seconds" </dev/null
