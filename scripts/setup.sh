#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian 12 machine, and fetches the
# zlib and hidapi source packages (checked by SHA-256) into third_party/_deps. Safe to run again.
set -eEuo pipefail
trap 'code=$?; [[ $BASH_COMMAND == return* ]] || echo "setup: stopped: \"$BASH_COMMAND\" failed (exit status $code)" >&2' ERR
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/third_party/_deps"

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 xvfb
          googletest fonts-dejavu-core libz-mingw-w64-dev fonts-open-sans xdotool imagemagick zip python3
          debian-archive-keyring dpkg-dev xz-utils bzip2 tesseract-ocr tesseract-ocr-eng ca-certificates openssl
          nsis clang libclang-rt-14-dev llvm)

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

# The 32-bit build's tests and setup program run under wine's 32-bit half, which comes from the i386 archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: enabling the i386 architecture for wine32"
  $sudo_cmd dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source packages through a private APT configuration: deb-src is not configured system-wide, and this
# script never touches /etc/apt.
declare -A sha=(
  [zlib_1.2.13.dfsg.orig.tar.bz2]=71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1
  [hidapi_0.13.1.orig.tar.gz]=476a2c9a4dc7d1fc97dd223b84338dbea3809a84caea2dcd887d9778725490e3
)
mkdir -p "$deps"
if [ ! -f "$deps/zlib/contrib/minizip/unzip.c" ] || [ ! -f "$deps/hidapi/windows/hid.c" ]; then
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$deps/download"
  cat > "$apt_dir/sources.list.d/src.list" <<SRC
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
SRC
  : > "$apt_dir/sources.list"
  cat > "$apt_dir/apt.conf" <<CONF
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/sources.list.d";
Dir::State::Lists "$apt_dir/lists";
Dir::Cache "$apt_dir/cache";
CONF
  export APT_CONFIG="$apt_dir/apt.conf"
  apt-get update -qq
  (cd "$deps/download" && apt-get source --download-only -qq zlib hidapi >/dev/null 2>&1)
  for f in "${!sha[@]}"; do
    [ -f "$deps/download/$f" ] || { echo "setup: $f was not downloaded" >&2; exit 1; }
    echo "${sha[$f]}  $deps/download/$f" | sha256sum -c --quiet - ||
      { echo "setup: checksum mismatch for $f" >&2; exit 1; }
  done
  rm -rf "$deps/zlib" "$deps/hidapi"
  mkdir -p "$deps/zlib" "$deps/hidapi"
  tar -xjf "$deps/download/zlib_1.2.13.dfsg.orig.tar.bz2" -C "$deps/zlib" --strip-components=1
  tar -xzf "$deps/download/hidapi_0.13.1.orig.tar.gz" -C "$deps/hidapi" --strip-components=1
fi
echo "setup: ready"
