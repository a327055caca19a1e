#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds, and runs every test under wine + Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

"$root/scripts/setup.sh"
cmake --preset default -S "$root" >/dev/null
cmake --build "$build"

. "$root/scripts/wine-env.sh"
trap wine_down EXIT
trap 'exit 130' INT TERM
wine_up "$build"
# Test executables find the product DLLs in the output folder.
export WINEPATH="$(wine_path "$build/out")"

status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 "$@" || status=$?
exit $status
