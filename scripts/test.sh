#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds, and runs every test under wine + Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"

"$root/scripts/setup.sh"
build_targets "$root"
wine_session "$root/build" "$root/build"

status=0
ctest --test-dir "$root/build" --output-on-failure -j "$(nproc)" --timeout 300 "$@" || status=$?
exit $status
