#!/usr/bin/env bash
# Prints the resident memory of Calidra.exe after SECONDS with a virtual K1 display: the release build, the
# test build and a bare window program, measured the same way in one run (its own prefix, build/bench-memory/).
#
#   benchmarks/resident_memory.sh [SECONDS] [ROUNDS]    (default 60 s, 1 round)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup.sh" >/dev/null
cmake --preset default -S "$root" >/dev/null
cmake --build "$root/build" --target Calidra OpenTermivoxServer skins VirtualDisplayCtl virtual_hidapi virtual_hid bare_window >/dev/null
cmake --preset release -S "$root" >/dev/null
cmake --build --preset release >/dev/null

stage=$(find "$root/build-release/release" -mindepth 1 -maxdepth 1 -type d -name 'Calidra-*-x64')
exec python3 "$root/benchmarks/resident_memory.py" "$root/build" "$stage" --seconds "${1:-60}" --rounds "${2:-1}"
