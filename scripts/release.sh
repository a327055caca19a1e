#!/usr/bin/env bash
# Builds the release of both widths from this checkout into dist/: for x64 and x86 the setup program, the
# portable zip and a zip of the debug information, with SHA-256 sums, and in dist/update-server/ the tree the
# update server serves for this version, signed. Installs what it needs first.
#
#   CALIDRA_RELEASE_KEY=/path/to/release-key.pem scripts/release.sh
#
# CALIDRA_RELEASE_KEY names the releaser's private key (PEM, P-256; packaging/update_signing.py new-key makes
# one). Its public half is built into the programs, which then install only update packages signed with it;
# the script signs this version's package with it. Without the key the script refuses to run.
set -eEuo pipefail
trap 'code=$?; [[ $BASH_COMMAND == return* ]] || echo "release: stopped: \"$BASH_COMMAND\" failed (exit status $code)" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
dist="$root/dist"
key=${CALIDRA_RELEASE_KEY:-}
if [ -z "$key" ] || [ ! -f "$key" ] || [ ! -r "$key" ]; then
  echo "release: set CALIDRA_RELEASE_KEY to the releaser's private key file (see README, Releases)" >&2
  exit 2
fi
key=$(realpath "$key")

"$root/scripts/setup.sh"

signing="$root/packaging/update_signing.py"
public="$root/build-release/update-key/release-public.pem"
mkdir -p "$(dirname "$public")"
python3 "$signing" public-key "$key" "$public"

rm -rf "$dist"
mkdir -p "$dist"
setups=()
for preset in release release-i686; do
  echo "release: building $preset"
  cmake --preset "$preset" -S "$root" -DCALIDRA_UPDATE_PUBLIC_KEY="$public" >/dev/null
  cmake --build --preset "$preset"
  build="$root/build-$preset"  # the presets' binary folders
  objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")
  stage=$(find "$build/release" -mindepth 1 -maxdepth 1 -type d -name 'Calidra-*')
  # What ships must import nothing but system DLLs, Tessel.dll and hidapi.dll.
  find "$stage" -name '*.exe' -o -name '*.dll' | xargs "$root/tests/check_imports.sh" "$objdump"
  # ... and trust update packages signed with this key.
  python3 "$signing" embedded "$public" "$stage/CalidraUpdate.exe"
  cp "$build"/release/*.exe "$build"/release/*.zip "$dist/"
  setup=$(find "$build/release" -maxdepth 1 -name 'Calidra-Setup-*.exe')
  version=$(basename "$setup" | sed -E 's/^Calidra-Setup-(.*)-(x64|x86)\.exe$/\1/')
  width=$(basename "$setup" | sed -E 's/^Calidra-Setup-.*-(x64|x86)\.exe$/\1/')
  setups+=(--setup "$width=$setup")
done

(cd "$dist" && sha256sum -- *.exe *.zip > SHA256SUMS)

echo "release: laying out the update server's tree for $version"
python3 "$root/packaging/update_tree.py" --key "$key" --out "$dist/update-server" --version "$version" \
  "${setups[@]}" --makensis "$(command -v makensis)" --icon "$root/skins/theme1/Calidra.ico"

echo "release: packages in $dist"
ls -l "$dist"
find "$dist/update-server" -type f | sort
