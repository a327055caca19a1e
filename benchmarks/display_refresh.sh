#!/usr/bin/env bash
# Prints the display refresh figures measured with one virtual display under wine, each beside a bare baseline
# of the same run: the report period and change-to-display delay; the period and the time Stop takes with 5 ms
# transfers (both in a wine prefix of its own, build/bench/); then the idle CPU of Calidra.exe with the panel
# hidden beside a bare 16 ms poller (a whole installation in build/bench-idle/). Each is measured over both
# stand-ins of the virtual display: the stand-in hidapi.dll first, then the real hidapi.dll over the stand-in
# hid.dll.
#
#   benchmarks/display_refresh.sh [SECONDS]    (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
seconds=${1:-60}
declare -A labels=([hidapi]="the stand-in hidapi.dll" [hid]="the real hidapi.dll, with the stand-in hid.dll beneath it")

. "$root/scripts/wine-env.sh"
"$root/scripts/setup.sh" >/dev/null
build_targets "$root" all
wine_session "$build" "$build/bench"
echo "== over ${labels[hidapi]}"
wine "$build/benchmarks/display_refresh_bench.exe" "$seconds" </dev/null
echo "== over ${labels[hid]}"
wine "$build/benchmarks/virtual_hid/display_refresh_bench_hid.exe" "$seconds" </dev/null
wine_down

for stand_in in hidapi hid; do
  echo "== over ${labels[$stand_in]}"
  CALIDRA_VIRTUAL_DISPLAY=$stand_in BUILD_DIR="$build" python3 "$root/benchmarks/idle_cpu.py" "$seconds" </dev/null
done
