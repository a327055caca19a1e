#!/usr/bin/env bash
# Prints paint figures of a 396 x 289 layered dialog (background, two pictures, a button) under wine + Xvfb,
# next to a bare GDI+ render + UpdateLayeredWindow of the same images measured in the same run.
# With "--screenshot FILE" it instead shows the dialog and saves a screenshot of it (ImageMagick import).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
out=
if [ "${1:-}" = "--screenshot" ]; then
  out=$(realpath -m "${2:?usage: bench-paint.sh --screenshot FILE}")
fi

. "$root/scripts/wine-env.sh"
build_targets "$root" PaintBench
wine_session "$build" "$build"
cd "$build/tests"

if [ -n "$out" ]; then
  wine PaintBench.exe hold 4000 </dev/null >/dev/null 2>&1 &
  bench=$!
  sleep 3
  # The dialog sits at 100,100 on the root window.
  import -window root -crop 396x289+100+100 +repage "$out"
  wait "$bench"
  echo "screenshot: $out"
else
  wine PaintBench.exe </dev/null
fi
