#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds both widths, and runs every test under wine + Xvfb:
# the 64-bit tree (build/) first, then the 32-bit one (build-i686/) in the same prefix.
#
#   scripts/test.sh [--x64 | --x86] [ctest arguments, e.g. -R settings]
#
# The 32-bit run leaves out the whole-program test, whose behaviour does not depend on the width; the
# 32-bit program still runs whole in the packages test (installed from its setup program, with a display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

widths="x64 x86"
case "${1:-}" in
  --x64) widths=x64; shift ;;
  --x86) widths=x86; shift ;;
esac

"$root/scripts/setup.sh"
for width in $widths; do
  preset=$([ "$width" = x64 ] && echo default || echo i686)
  started=$SECONDS
  cmake --preset "$preset" -S "$root" >/dev/null
  cmake --build --preset "$preset"
  echo "test: built the $width tree in $((SECONDS - started)) s"
done

. "$root/scripts/wine-env.sh"
trap wine_down EXIT
trap 'exit 130' INT TERM
# The prefix and KeepDesktop come from the 64-bit tree when it is built; 32-bit tests run in it too.
first=$([ "$widths" = x86 ] && echo "$root/build-i686" || echo "$root/build")
wine_up "$first"

status=0
for width in $widths; do
  started=$SECONDS
  if [ "$width" = x64 ]; then
    build="$root/build"
    skip=()
  else
    build="$root/build-i686"
    skip=(-E '^whole_program$')
  fi
  # Test executables find the product DLLs of their own width in the output folder.
  export WINEPATH="$(wine_path "$build/out")"
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 "${skip[@]}" "$@" || status=$?
  echo "test: ran the $width tests in $((SECONDS - started)) s"
done
exit $status
