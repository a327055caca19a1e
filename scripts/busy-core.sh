#!/usr/bin/env bash
# Keeps one processor core busy with a plain busy loop, to check that the tests answer the same on a loaded
# machine.
#
#   scripts/busy-core.sh COMMAND [ARGUMENTS...]   runs the command while the loop runs, then prints how long
#                                                 it took; exits with the command's status
#   scripts/busy-core.sh                          loops until stopped (Ctrl+C, or kill its process id)
#
# For example `scripts/busy-core.sh scripts/test.sh`. The loop is the shell's own `:` builtin: it makes no
# system calls and competes for the processor only, at normal priority.
set -eEuo pipefail
trap 'code=$?; [[ $BASH_COMMAND == return* ]] || echo "busy-core: stopped: \"$BASH_COMMAND\" failed (exit status $code)" >&2' ERR

if [ $# -eq 0 ]; then
  while :; do :; done
fi

bash -c 'while :; do :; done' &
loop=$!
trap 'kill "$loop" 2>/dev/null || true' EXIT
started=$SECONDS
status=0
"$@" || status=$?
echo "busy-core: \"$*\" took $((SECONDS - started)) s with one core kept busy (exit status $status)"
exit "$status"
