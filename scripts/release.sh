#!/usr/bin/env bash
# Builds the release of both widths from this checkout into dist/: for x64 and x86 the setup program, the
# portable zip and a zip of the debug information, with SHA-256 sums. Installs what it needs first.
#
#   scripts/release.sh
set -eEuo pipefail
trap 'code=$?; [[ $BASH_COMMAND == return* ]] || echo "release: stopped: \"$BASH_COMMAND\" failed (exit status $code)" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
dist="$root/dist"

"$root/scripts/setup.sh"

rm -rf "$dist"
mkdir -p "$dist"
for preset in release release-i686; do
  echo "release: building $preset"
  cmake --preset "$preset" -S "$root" >/dev/null
  cmake --build --preset "$preset"
  build="$root/build-$preset"  # the presets' binary folders
  objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")
  stage=$(find "$build/release" -mindepth 1 -maxdepth 1 -type d -name 'Calidra-*')
  # What ships must import nothing but system DLLs, Tessel.dll and hidapi.dll.
  find "$stage" -name '*.exe' -o -name '*.dll' | xargs "$root/tests/check_imports.sh" "$objdump"
  cp "$build"/release/*.exe "$build"/release/*.zip "$dist/"
done

(cd "$dist" && sha256sum -- * > SHA256SUMS)
echo "release: packages in $dist"
ls -l "$dist"
