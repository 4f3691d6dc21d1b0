#!/usr/bin/env bash
# Installs what building, testing, the demo and packaging Starwright need on a Debian machine
# (run as root). Idempotent: returns at once when every package is already there.
set -euo pipefail

packages=(
  # native build and tests (sanitizers; GoogleTest prebuilt for them, its sources for the cross
  # builds), and the fuzz target's compiler with libFuzzer: libclang-rt-dev is the runtime of
  # the release's own clang (libclang-rt-14-dev on Debian 12, libclang-rt-19-dev on Debian 13)
  gcc g++ make cmake googletest libgtest-dev clang libclang-rt-dev
  # the cross builds: 32-bit (the product) and 64-bit, POSIX threads, widl
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  mingw-w64-tools
  # Wine with both loaders, and the fonts its windows draw with
  wine wine32:i386 wine64 libwine:i386 fonts-wine
  # the virtual display, the demo's screenshots, the test locales
  xvfb xauth x11-utils imagemagick fonts-dejavu-core locales
  # packaging: the installer and the zips, and the guide made from README (cmark-gfm); signing,
  # and checking a release (the test's throwaway certificate, its unpacking); git, which names
  # the commit a release is built from and gives the release's and the installer's tests the
  # sources they build again
  nsis zip cmark-gfm osslsigncode openssl unzip git
)

missing=()
for package in "${packages[@]}"; do
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ] || missing+=("$package")
done
[ ${#missing[@]} = 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "setup: missing packages: ${missing[*]}; run 'make setup' as root (or via sudo)" >&2
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
# Package lists that have gone stale since the last update are refreshed once.
install "${packages[@]}" || { apt-get update && install "${packages[@]}"; }
