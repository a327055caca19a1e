#!/usr/bin/env bash
# Prints paint figures of a 396 x 289 layered dialog (background, two pictures, a button) under wine + Xvfb,
# next to a bare GDI+ render + UpdateLayeredWindow of the same images measured in the same run.
# With "--screenshot FILE" it instead shows the dialog and saves a screenshot of it (ImageMagick import).
# With "--shadow" the dialog has its drop shadow: the figures add the shadow's own, and the screenshot is
# composed from the dialog's and the shadow's layered surfaces over a light backdrop, as a compositing desktop
# shows them (Xvfb cannot blend partial alpha).
#
#   bench-paint.sh [--shadow]
#   bench-paint.sh --screenshot FILE [--shadow]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
out=
shadow=
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) out=$(realpath -m "${2:?usage: bench-paint.sh --screenshot FILE [--shadow]}"); shift 2 ;;
    --shadow) shadow=shadow; shift ;;
    *) echo "usage: bench-paint.sh [--screenshot FILE] [--shadow]" >&2; exit 2 ;;
  esac
done

. "$root/scripts/wine-env.sh"
build_targets "$root" PaintBench
wine_session "$build" "$build"
cd "$build/benchmarks"

if [ -n "$out" ] && [ -n "$shadow" ]; then
  "$WINE" PaintBench.exe compose "$(wine_path "$out")" </dev/null
  echo "screenshot: $out"
elif [ -n "$out" ]; then
  "$WINE" PaintBench.exe hold 4000 </dev/null >/dev/null 2>&1 &
  bench=$!
  sleep 3
  # The dialog sits at 100,100 on the root window.
  import -window root -crop 396x289+100+100 +repage "$out"
  wait "$bench"
  echo "screenshot: $out"
else
  "$WINE" PaintBench.exe $shadow </dev/null
fi
