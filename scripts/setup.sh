#!/usr/bin/env bash
# Installs what building and testing Starwright needs on a Debian machine (run as root).
# Idempotent: returns at once when every tool is already there.
set -euo pipefail

need_tools=(i686-w64-mingw32-g++-posix i686-w64-mingw32-windres i686-w64-mingw32-widl wine Xvfb xauth cmake clang clang++)
missing=0
for t in "${need_tools[@]}"; do command -v "$t" >/dev/null 2>&1 || missing=1; done
[ -d /usr/src/googletest ] || missing=1
# /usr/local/bin/convert may be a stand-in; the real ImageMagick lives in /usr/bin.
[ -x /usr/bin/convert ] || missing=1
dpkg -s wine32:i386 >/dev/null 2>&1 || missing=1
# libFuzzer's runtime for the fuzz targets.
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || missing=1
[ "$missing" = 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "setup: missing build tools; run 'make setup' as root (or via sudo)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt-get update
elif [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -e lock -e partial)" ]; then
  apt-get update
fi
install() { apt-get install -y --no-install-recommends "$@"; }
install g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-i686 mingw-w64-tools mingw-w64-i686-dev \
  wine wine32:i386 wine64 libwine:i386 \
  xvfb xauth x11-utils imagemagick fonts-dejavu-core \
  cmake make googletest locales clang libclang-rt-14-dev \
  || { apt-get update && install g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  binutils-mingw-w64-i686 mingw-w64-tools mingw-w64-i686-dev \
  wine wine32:i386 wine64 libwine:i386 \
  xvfb xauth x11-utils imagemagick fonts-dejavu-core cmake make googletest locales clang libclang-rt-14-dev; }
