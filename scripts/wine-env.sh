# Sourced by the scripts that run the program or its tests: a throwaway wine prefix inside the build folder,
# an Xvfb display, and one wineserver kept up for the whole run. wine_up starts them; wine_down stops them
# (wineserver first, then Xvfb) and is safe to call twice; wine_session does both around the rest of a
# script. build_targets configures and builds; session_targets also sets up.
#
# Programs in other languages run it as a command (scripts/calidra_session.py):
#   wine-env.sh up FOLDER   wine_up FOLDER, then prints the variables a wine program needs, NAME=VALUE a line
#   wine-env.sh down        wine_down for the WINEPREFIX and XVFB_PID of the environment

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
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    echo "wine-env: Xvfb did not start" >&2
    rm -f "$fdfile"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"

  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # Standard streams on /dev/null: wine's background services inherit them and would hold a pipe open.
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w </dev/null >/dev/null 2>&1
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1
  # Keep the desktop in use for the whole run (see tests/support/KeepDesktop.cpp).
  if [ -f "$build/tests/KeepDesktop.exe" ]; then
    wine "$build/tests/KeepDesktop.exe" </dev/null >/dev/null 2>&1 &
  fi
  WINE_UP=1
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
  cmake --preset default -S "$root" >/dev/null
  if [ $# -eq 0 ]; then
    cmake --build "$root/build"
  fi
  local target
  for target in "$@"; do
    cmake --build "$root/build" --target "$target" >/dev/null
  done
}

# Set-up, then what a whole-program session (scripts/calidra_session.py) starts, and the EXTRA targets.
#   session_targets ROOT [EXTRA...]
session_targets() {
  local root=$1
  shift
  "$root/scripts/setup.sh" >/dev/null
  build_targets "$root" Calidra OpenTermivoxServer skins VirtualDisplayCtl virtual_hidapi virtual_hid TrustCertificate \
    KeepDesktop "$@"
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
      wine_up "${2:?usage: wine-env.sh up FOLDER}"
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
