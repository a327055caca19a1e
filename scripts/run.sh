#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds, and runs Calidra.exe under wine + Xvfb.
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

echo "run: starting Calidra.exe (display $DISPLAY)"
status=0
wine "$build/out/Calidra.exe" || status=$?
echo "run: Calidra.exe ended with exit code $status"
