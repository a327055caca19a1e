# Sourced by the scripts that run the program or its tests: a throwaway wine prefix inside the build folder,
# an Xvfb display, and one wineserver kept up for the whole run. wine_up starts them; wine_down stops them
# (wineserver first, then Xvfb) and is safe to call twice; wine_session does both around the rest of a
# script. build_targets configures and builds; session_targets also sets up. Windows programs start through
# "$WINE" (scripts/wine.sh, which picks the loader this machine can run); a failed step says what failed.
#
# Programs in other languages run it as a command (scripts/calidra_session.py):
#   wine-env.sh up FOLDER   wine_up FOLDER, then prints the variables a wine program needs, NAME=VALUE a line
#   wine-env.sh down        wine_down for the WINEPREFIX and XVFB_PID of the environment

WINE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine.sh"

# Runs a command with its output kept aside, shows that output when it fails and says what failed.
#   quietly WHAT COMMAND...
quietly() {
  local what=$1 output status=0
  shift
  output=$(mktemp)
  # Input from /dev/null and output into a file: wine's background services inherit them and would hold a
  # pipe open.
  "$@" </dev/null >"$output" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$output" >&2
    echo "wine-env: $what failed (exit status $status): $*" >&2
  fi
  rm -f "$output"
  return "$status"
}

wine_up() {
  local build=$1
  export WINEPREFIX="$(realpath -m "$build")/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=C.UTF-8
  unset LC_ALL

  # The display must exist before the first wine process of the prefix.
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 &
  XVFB_PID=$!
  local i
  for i in $(seq 1 300); do
    [ -s "$fdfile" ] || ! kill -0 "$XVFB_PID" 2>/dev/null && break
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    echo "wine-env: Xvfb did not start (it is in the package xvfb, which scripts/setup.sh installs)" >&2
    rm -f "$fdfile"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"

  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  WINE_UP=1
  quietly "starting wine" "$WINE" --version || return
  quietly "creating the wine prefix" "$WINE" wineboot.exe -i || return
  quietly "waiting for the prefix's set-up" wineserver -w || return
  quietly "starting the wineserver for the run" wineserver -p || return
  quietly "starting the prefix" "$WINE" wineboot.exe || return
  # Keep the desktop in use for the whole run (see tests/support/KeepDesktop.cpp).
  if [ -f "$build/tests/KeepDesktop.exe" ]; then
    local ready="$WINEPREFIX/desktop-ready" keeper
    "$WINE" "$build/tests/KeepDesktop.exe" 7200 "$(wine_path "$ready")" </dev/null >/dev/null 2>&1 &
    keeper=$!
    for i in $(seq 1 600); do
      [ -e "$ready" ] || ! kill -0 "$keeper" 2>/dev/null && break
      sleep 0.1
    done
    if [ ! -e "$ready" ]; then
      echo "wine-env: the desktop keeper (tests/KeepDesktop.exe) did not bring the desktop up" >&2
      return 1
    fi
  fi
}

wine_down() {
  if [ -n "${WINE_UP:-}" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    WINE_UP=
  fi
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}

# A Linux path as wine sees it on drive Z:.
wine_path() {
  printf 'Z:%s' "$(realpath -m "$1" | tr '/' '\\')"
}

# Configures the source tree `root` and builds the given targets (quietly), or everything.
build_targets() {
  local root=$1
  shift
  quietly "configuring $root/build" cmake --preset default -S "$root" || return
  if [ $# -eq 0 ]; then
    cmake --build "$root/build" || return
  fi
  local target
  for target in "$@"; do
    quietly "building $target" cmake --build "$root/build" --target "$target" || return
  done
}

# Set-up, then what a whole-program session (scripts/calidra_session.py) starts, and the EXTRA targets.
#   session_targets ROOT [EXTRA...]
session_targets() {
  local root=$1
  shift
  "$root/scripts/setup.sh" >/dev/null || return
  build_targets "$root" Calidra OpenTermivoxServer skins VirtualDisplayCtl virtual_hidapi virtual_hid TrustCertificate \
    KeepDesktop update_server_tree "$@"
}

# Wine up in FOLDER for the rest of the script (down again when it ends), with the product DLLs of the build
# folder BUILD on WINEPATH.
wine_session() {
  local build=$1 folder=$2
  trap wine_down EXIT
  trap 'exit 130' INT TERM
  wine_up "$folder"
  export WINEPATH="$(wine_path "$build/out")"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  case "${1:-}" in
    up)
      # Nobody takes down what a failed start left.
      wine_up "${2:?usage: wine-env.sh up FOLDER}" || { status=$?; wine_down; exit $status; }
      printf '%s\n' "WINEPREFIX=$WINEPREFIX" "WINEARCH=$WINEARCH" "WINEDEBUG=$WINEDEBUG" \
        "WINEDLLOVERRIDES=$WINEDLLOVERRIDES" "LANG=$LANG" "DISPLAY=$DISPLAY" "XVFB_PID=$XVFB_PID"
      ;;
    down)
      WINE_UP=1
      wine_down
      ;;
    *)
      echo "usage: wine-env.sh up FOLDER | down" >&2
      exit 2
      ;;
  esac
fi
