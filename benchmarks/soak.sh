#!/usr/bin/env bash
# The soak, in two parts:
# - the report path alone: the program's worker sends 100,000 reports (--reports N) through the hidapi.dll
#   beside it to the virtual K1 at a short pause, in a process of its own (benchmarks/ReportSoak.cpp, prefix
#   build/bench-reports/), with what that process holds read every tenth of the way;
# - the whole program: Calidra.exe under wine with the virtual display, the scripted sensor feed and the local
#   update server, taken through 10,000 panel repaints, 1,000 rescans and 1,000 plug events, with its handles,
#   GDI objects, windows and memory printed before, between and after; with --hours H it then runs H hours
#   more (the long mode); then 100 starts, each with the program's own software and firmware check (it checks
#   once at every start; each instance ends through Exit in its tray menu); then 20 simultaneous starts that
#   must leave one instance (its own prefix, build/soak/). See benchmarks/soak.py.
#
#   benchmarks/soak.sh [--reports N] [--repaints N] [--rescans N] [--plugs N] [--updates N] [--starts N]
#                      [--hours H]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
reports=100000
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --reports) reports=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done

. "$root/scripts/wine-env.sh"
session_targets "$root" soak_driver report_soak
status=0
(
  wine_session "$root/build" "$root/build/bench-reports"
  "$WINE" "$root/build/benchmarks/virtual_hid/report_soak.exe" "$reports" </dev/null
) || status=$?
BUILD_DIR="$root/build" python3 "$root/benchmarks/soak.py" "${args[@]}" </dev/null || status=$?
exit "$status"
