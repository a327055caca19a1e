#!/usr/bin/env bash
# How scripts/wine.sh decides on a machine that cannot execute 32-bit programs (CALIDRA_NO_IA32=1 stands in
# for one): it says why for --can-run-x86 and refuses a 32-bit program with that reason, before any wine
# starts. On this machine it answers as the 32-bit loader does.
set -uo pipefail
wine=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$work/prefix"  # should wine start after all, it leaves nothing behind
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAILED: $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  fi
}

# The smallest file that reads as a PE image of the given machine: e_lfanew at 0x3C, "PE\0\0", the machine.
pe() {
  { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00'; printf 'PE\x00\x00'; printf "$2"; } >"$work/$1"
}
pe x86.exe '\x4c\x01'

out=$(CALIDRA_NO_IA32=1 "$wine" --can-run-x86)
check "--can-run-x86 without 32-bit execution: status" 1 $?
check "--can-run-x86 without 32-bit execution: reason" \
  "CALIDRA_NO_IA32=1 treats this kernel as one that cannot execute 32-bit programs" "$out"

err=$(CALIDRA_NO_IA32=1 "$wine" "$work/x86.exe" 2>&1 >/dev/null)
check "a 32-bit program without 32-bit execution: status" 126 $?
check "a 32-bit program without 32-bit execution: message" \
  "wine.sh: $work/x86.exe is a 32-bit program and cannot run here: CALIDRA_NO_IA32=1 treats this kernel as one that cannot execute 32-bit programs" \
  "$err"

/lib/ld-linux.so.2 --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine ]
loader=$?
out=$(env -u CALIDRA_NO_IA32 "$wine" --can-run-x86)
status=$?
check "--can-run-x86 answers as the 32-bit loader does" $loader $status
[ $status -eq 0 ] || check "--can-run-x86 gives a reason when it says no" nonempty "${out:+nonempty}"

"$wine" >/dev/null 2>&1
check "no program: usage" 2 $?

[ $failures -eq 0 ] && echo "wine.sh: all checks passed"
exit $((failures > 0))
