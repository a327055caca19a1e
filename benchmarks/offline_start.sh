#!/usr/bin/env bash
# Prints the time from Calidra.exe's start to its first report on the virtual K1 with the update server
# refusing connections, with its name not found, with a server that connects and never answers and with a
# name lookup that gets no answer, beside the same start with the server answering (its own prefix,
# build/bench-offline/). See benchmarks/offline_start.py.
#
#   benchmarks/offline_start.sh [ROUNDS]    (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

. "$root/scripts/wine-env.sh"
session_targets "$root" first_report_bench
exec python3 "$root/benchmarks/offline_start.py" "${1:-5}"
