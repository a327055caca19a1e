#!/usr/bin/env bash
# Prints unzip figures for a generated package of about 64 MB (70 files, mixed compressible and random data):
# the product's ExtractZip beside zlib's own miniunz built from the same source, a minizip read loop that
# writes nothing, and an inflate-only loop (the limit), each run ROUNDS times in turn under wine, each run in a
# fresh process, the order of the four rotated from round to round. Medians in MB/s of unpacked data by wall
# clock and by the process's processor time (steadier on a busy machine), per-round ratios, and ExtractZip's
# peak extra memory.
#
#   benchmarks/unzip.sh [ROUNDS]    (default 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
rounds=${1:-7}

"$root/scripts/setup.sh" >/dev/null
cmake --preset default -S "$root" >/dev/null
cmake --build "$build" --target unzip_bench >/dev/null

work="$build/bench/unzip"
package="$work/package.zip"
mkdir -p "$work"
if [ ! -f "$package" ] || [ "$root/benchmarks/make_unzip_package.py" -nt "$package" ]; then
  python3 "$root/benchmarks/make_unzip_package.py" "$package"
fi

. "$root/scripts/wine-env.sh"
trap wine_down EXIT
trap 'exit 130' INT TERM
wine_up "$build/bench"

results="$work/results.txt"
run() {
  rm -rf "$work/out"
  "$WINE" "$build/benchmarks/unzip_bench.exe" "$1" "$(wine_path "$package")" "$(wine_path "$work/out")" \
    </dev/null >/dev/null 2>>"$results"
}
run extractzip  # warms the page cache and the prefix
: >"$results"
modes=(extractzip miniunz readonly inflate)
for round in $(seq 0 $((rounds - 1))); do
  for i in "${!modes[@]}"; do
    run "${modes[$(( (i + round) % ${#modes[@]} ))]}"
  done
done
rm -rf "$work/out"

python3 - "$results" "$rounds" <<'PY'
import statistics, sys
path, rounds = sys.argv[1], int(sys.argv[2])
runs = {}
for line in open(path):
    mode, wall, processor, size, extra = line.split()
    runs.setdefault(mode, []).append((float(wall), float(processor), int(size), int(extra)))
size = runs["extractzip"][0][2]
names = {"extractzip": "ExtractZip", "miniunz": "miniunz (zlib's own)", "readonly": "minizip read, no writes",
         "inflate": "inflate only (the limit)"}
print(f"unzip of a {size / 1e6:.1f} MB package, {rounds} rounds under wine (order rotated); medians in MB/s of "
      "unpacked data")
print(f"  {'':26} {'wall clock':>12} {'processor':>12}   wall-clock runs")
for mode, name in names.items():
    wall = [r[0] for r in runs[mode]]
    processor = [r[1] for r in runs[mode]]
    print(f"  {name:26} {size / 1e6 / statistics.median(wall):12.1f} {size / 1e6 / statistics.median(processor):12.1f}"
          f"   {size / 1e6 / max(wall):.1f} to {size / 1e6 / min(wall):.1f}")
def ratio(mode, column):
    return statistics.median(b[column] / a[column] for a, b in zip(runs["extractzip"], runs[mode]))
print(f"  {'speed ratio, median of rounds':30} {'wall':>8} {'processor':>10}   aim")
for mode, label, aim in (("miniunz", "ExtractZip / miniunz", "at least 1.1x"),
                         ("inflate", "ExtractZip / inflate only", "at least 0.8x"),
                         ("readonly", "ExtractZip / minizip read", "")):
    print(f"  {label:30} {ratio(mode, 0):7.2f}x {ratio(mode, 1):9.2f}x   {aim}")
extra = max(r[3] for r in runs["extractzip"])
if extra < 0:
    print("ExtractZip peak extra memory: not measured (the peak resident set could not be reset)")
else:
    print(f"ExtractZip peak extra memory: {extra / 1048576:.2f} MB (the largest of {rounds} runs; aim: at most 8 MB)")
PY
