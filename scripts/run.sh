#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds, and runs the demo: Calidra.exe under wine + Xvfb with
# a virtual K1 display plugged in and a scripted CPU temperature curve, printing what the display shows until
# Ctrl+C. Extra arguments go to scripts/demo.py (e.g. --seconds 30).
set -eEuo pipefail
trap 'code=$?; [[ $BASH_COMMAND == return* ]] || echo "run: stopped: \"$BASH_COMMAND\" failed (exit status $code)" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"

"$root/scripts/setup.sh"
build_targets "$root"
exec python3 "$root/scripts/demo.py" "$root/build" "$@"
