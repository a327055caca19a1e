#!/usr/bin/env bash
# Builds the host tree (build-host/, clang with ASan + UBSan) and runs the fuzzers one after the other, each
# for SECONDS (default 300), starting from its seeds in tests/fuzz/corpus/<name>/.
#
#   scripts/fuzz.sh [SECONDS] [NAME...]     e.g. scripts/fuzz.sh 600 zip_name
#
# New inputs gather in build-host/fuzz/corpus/<name>/ and carry over to the next run. A crash, a sanitizer
# report or a failed invariant ends that fuzzer, keeps the input in build-host/fuzz/findings/<name>/, and the
# script fails once all have run. Reproduce with build-host/fuzz/fuzz_<name> <input>.
set -eEuo pipefail
trap 'code=$?; [[ $BASH_COMMAND == return* ]] || echo "fuzz: stopped: \"$BASH_COMMAND\" failed (exit status $code)" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
shift || true

cmake --preset host -S "$root" >/dev/null
built=$(cmake --build "$root/build-host" 2>&1) || { echo "$built" >&2; exit 1; }

out="$root/build-host/fuzz"
if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for fuzzer in "$out"/fuzz_*; do
    names+=("${fuzzer##*/fuzz_}")
  done
fi

failed=()
for name in "${names[@]}"; do
  fuzzer="$out/fuzz_$name"
  seeds="$root/tests/fuzz/corpus/$name"
  [ -x "$fuzzer" ] && [ -d "$seeds" ] || { echo "fuzz: no fuzzer or seeds named $name" >&2; exit 2; }
  mkdir -p "$out/corpus/$name" "$out/findings/$name"
  log="$out/$name.log"
  if "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
       -artifact_prefix="$out/findings/$name/" "$out/corpus/$name" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 runs in \2 s/p' "$log")
    echo "fuzz: $name: ${runs:-done}, $(ls "$out/corpus/$name" | wc -l) inputs in its corpus, nothing found"
  else
    echo "fuzz: $name FOUND A FAULT; the input is in $out/findings/$name/:" >&2
    grep -E 'invariant failed|ERROR: |runtime error|SUMMARY|Test unit written' "$log" | head -n 20 >&2 || tail -n 30 "$log" >&2
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: faults found by ${failed[*]}" >&2; exit 1; }
