#!/usr/bin/env bash
# Prints the memory of Calidra.exe (release build) after SECONDS with a virtual K1 display, beside the fair
# floor (a bare program holding what Calidra.exe must hold), the same with one HTTPS request, and a bare window
# program, in alternating rounds in one prefix (build/bench-memory/); with --breakdown also where it goes, by
# module and by kind. See benchmarks/resident_memory.py.
#
#   benchmarks/resident_memory.sh [SECONDS] [ROUNDS] [--breakdown] [--test-build]    (default 30 s, 5 rounds)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
rounds=${2:-5}
shift $(( $# < 2 ? $# : 2 ))

. "$root/scripts/wine-env.sh"
session_targets "$root" bare_window fair_floor memory_map memory_probe
cmake --preset release -S "$root" >/dev/null
cmake --build --preset release >/dev/null

stage=$(find "$root/build-release/release" -mindepth 1 -maxdepth 1 -type d -name 'Calidra-*-x64')
exec python3 "$root/benchmarks/resident_memory.py" "$root/build" "$stage" --seconds "$seconds" --rounds "$rounds" "$@"
