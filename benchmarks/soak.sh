#!/usr/bin/env bash
# The soak: Calidra.exe under wine with the virtual display, the scripted sensor feed and the local update
# server, taken through 10,000 panel repaints, 1,000 rescans, 1,000 plug events and 100 update checks, with its
# handles, GDI objects, windows and memory printed before, between and after; then 20 simultaneous starts
# that must leave one instance (its own prefix, build/soak/). Smaller counts for a quick look:
#
#   benchmarks/soak.sh [--repaints N] [--rescans N] [--plugs N] [--updates N] [--starts N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

. "$root/scripts/wine-env.sh"
session_targets "$root" soak_driver
exec python3 "$root/benchmarks/soak.py" "$@"
