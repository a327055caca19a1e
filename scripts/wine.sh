#!/bin/sh
# Starts a Windows program under wine the way this machine can. Every script, the Python sessions and CTest
# (the toolchain's WINE_PROGRAM) start wine programs through it, so this is the one place that decides.
#
#   scripts/wine.sh PROGRAM [ARGUMENTS...]   as `wine PROGRAM ARGUMENTS...`
#   scripts/wine.sh --can-run-x86            exit status 0 when 32-bit Windows programs run here; otherwise 1,
#                                            with the reason on standard output
#
# Debian's `wine` always starts the 32-bit loader once wine32 is installed, and that loader is a 32-bit Linux
# program. A kernel that cannot execute those (IA-32 emulation off: `/lib/ld-linux.so.2 --version` fails with
# "Exec format error") then starts no wine program at all, 64-bit ones included. On such a machine 64-bit
# programs go straight to the 64-bit loader, and a 32-bit program is refused with the reason (exit status 126).
# CALIDRA_NO_IA32=1 treats this machine as one of those, to try that path where 32-bit programs do run.
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# Prints why 32-bit Windows programs cannot run here; prints nothing when they can.
x86_obstacle() {
  if [ "${CALIDRA_NO_IA32:-}" = 1 ]; then
    echo "CALIDRA_NO_IA32=1 treats this kernel as one that cannot execute 32-bit programs"
  elif ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "this kernel cannot execute 32-bit programs (/lib/ld-linux.so.2 --version failed)"
  elif [ ! -x "$wine32" ]; then
    echo "wine's 32-bit loader $wine32 is not installed (package wine32:i386; scripts/setup.sh installs it)"
  fi
}

# The PE machine of a Windows executable as four hexadecimal digits (014c: 32-bit x86), or nothing.
pe_machine() {
  [ -f "$1" ] || return 0
  header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$header" ] || return 0
  od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

obstacle=$(x86_obstacle)
if [ "${1:-}" = --can-run-x86 ]; then
  [ -z "$obstacle" ] && exit 0
  echo "$obstacle"
  exit 1
fi
if [ $# -eq 0 ]; then
  echo "usage: wine.sh PROGRAM [ARGUMENTS...] | --can-run-x86" >&2
  exit 2
fi

# Debian's wrapper quietens wine's fixme messages the same way.
export WINEDEBUG="${WINEDEBUG:-fixme-all}"
if [ -z "$obstacle" ]; then
  exec wine "$@"
fi
if [ "$(pe_machine "$1")" = 014c ]; then
  echo "wine.sh: $1 is a 32-bit program and cannot run here: $obstacle" >&2
  exit 126
fi
if [ ! -x "$wine64" ]; then
  echo "wine.sh: wine's 64-bit loader $wine64 is missing (package wine64; scripts/setup.sh installs it)" >&2
  exit 127
fi
export WINELOADER="$wine64"
exec "$wine64" "$@"
