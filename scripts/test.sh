#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds both widths, and runs every test under wine + Xvfb:
# the 64-bit tree (build/) first, then the 32-bit one (build-i686/) in the same prefix. Before them, the
# host stage: the pure logic built natively (build-host/) under ASan + UBSan, its tests and, when the whole
# suite runs (no ctest arguments), each fuzzer for CALIDRA_FUZZ_SECONDS (default 15; scripts/fuzz.sh runs
# them longer).
#
#   scripts/test.sh [--x64 | --x86 | --host] [ctest arguments, e.g. -R settings]
#
# --x64 and --x86 run that width only, without the host stage; --host runs the host stage only.
# The 32-bit run leaves out the whole-program test, whose behaviour does not depend on the width; the
# 32-bit program still runs whole in the packages test (installed from its setup program, with a display).
#
# On a machine whose kernel cannot execute 32-bit programs (scripts/wine.sh decides; CALIDRA_NO_IA32=1
# pretends so) the 32-bit tree is built but its tests are not run, and the last line of the output says so.
# That counts as a pass; with CALIDRA_REQUIRE_X86=1 it fails at once, before anything is built.
set -eEuo pipefail
trap 'code=$?; [[ $BASH_COMMAND == return* ]] || echo "test: stopped: \"$BASH_COMMAND\" failed (exit status $code)" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)

widths="x64 x86"
host=1
case "${1:-}" in
  --x64) widths=x64; host=0; shift ;;
  --x86) widths=x86; host=0; shift ;;
  --host) widths=""; shift ;;
esac

"$root/scripts/setup.sh"
status=0
# Cross-compiling needs no 32-bit kernel, running the 32-bit programs does (asked once wine is installed).
x86_not_run=""
if [[ " $widths " == *" x86 "* ]] && ! x86_not_run=$("$root/scripts/wine.sh" --can-run-x86); then
  if [ "${CALIDRA_REQUIRE_X86:-}" = 1 ]; then
    echo "test: x86 tests cannot run: $x86_not_run; CALIDRA_REQUIRE_X86=1 makes that a failure" >&2
    exit 1
  fi
fi
if [ "$host" = 1 ]; then
  started=$SECONDS
  cmake --preset host -S "$root" >/dev/null
  cmake --build "$root/build-host"
  ctest --test-dir "$root/build-host" --output-on-failure -j "$(nproc)" --timeout 60 "$@" || status=$?
  if [ $# -eq 0 ]; then
    "$root/scripts/fuzz.sh" "${CALIDRA_FUZZ_SECONDS:-15}" || status=$?
  fi
  echo "test: built and ran the host tests and fuzzers in $((SECONDS - started)) s"
  [ -n "$widths" ] || exit $status
fi
for width in $widths; do
  preset=$([ "$width" = x64 ] && echo default || echo i686)
  started=$SECONDS
  cmake --preset "$preset" -S "$root" >/dev/null
  cmake --build --preset "$preset"
  echo "test: built the $width tree in $((SECONDS - started)) s"
done

if [ -n "$x86_not_run" ]; then
  widths=${widths/x86/}
  widths=$(echo $widths)  # without the blank left
fi

if [ -n "$widths" ]; then
  . "$root/scripts/wine-env.sh"
  trap wine_down EXIT
  trap 'exit 130' INT TERM
  # The prefix and KeepDesktop come from the 64-bit tree when it is built; 32-bit tests run in it too.
  first=$([ "$widths" = x86 ] && echo "$root/build-i686" || echo "$root/build")
  wine_up "$first"
fi

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

[ -z "$x86_not_run" ] || echo "test: x86 tests not run: $x86_not_run"
exit $status
