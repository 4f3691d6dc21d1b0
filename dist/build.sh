#!/usr/bin/env bash
# Packs Starwright for users, from the two cross builds, into build/dist:
#   Starwright-<version>-setup.exe    the installer (dist/starwright.nsi)
#   Starwright-<version>.zip          both DLLs, README and LICENSE, to install by hand
#   Starwright-<version>-symbols.zip  the DLLs' debug information, for crash reports
# The version is the one in the DLL's version resource (plugin/starwright.rc).
#
#   dist/build.sh installer OUT VERSION VERSION4 DLL32 DLL64
# builds one installer from the given parts only (the installer tests use it).
set -euo pipefail
cd "$(dirname "$0")/.."

installer() {  # OUT VERSION VERSION4 DLL32 DLL64
  mkdir -p "$(dirname "$1")"
  makensis -V2 -NOCD \
    "-DOUTFILE=$(realpath -m "$1")" "-DVERSION=$2" "-DVERSION4=$3" \
    "-DDLL32=$(realpath "$4")" "-DDLL64=$(realpath "$5")" \
    "-DREADME=$PWD/README.md" "-DLICENSE=$PWD/LICENSE" dist/starwright.nsi
}

if [ "${1:-}" = installer ]; then
  shift
  installer "$@"
  exit
fi

rc=plugin/starwright.rc
version=$(sed -n 's/.*VALUE "ProductVersion", "\([^"]*\)".*/\1/p' "$rc")
version4=$(sed -n 's/^FILEVERSION \([0-9]*\),\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1.\2.\3.\4/p' "$rc")
if [ -z "$version" ] || [ -z "$version4" ]; then
  echo "dist: no ProductVersion or FILEVERSION in $rc" >&2
  exit 1
fi
dll32=build/win32/plugin/Starwright.dll
dll64=build/win64/plugin/Starwright.dll
for f in "$dll32" "$dll64" "$dll32.debug" "$dll64.debug"; do
  [ -f "$f" ] || { echo "dist: $f is missing; run 'make cross cross64' first" >&2; exit 1; }
done

out=build/dist
name=Starwright-$version
rm -rf "$out" && mkdir -p "$out"
installer "$out/$name-setup.exe" "$version" "$version4" "$dll32" "$dll64"

# The zips unpack into a folder of their own, one subfolder per bitness.
stage=$out/stage
mkdir -p "$stage/$name/32-bit" "$stage/$name/64-bit" "$stage/$name-symbols/32-bit" "$stage/$name-symbols/64-bit"
cp "$dll32" "$stage/$name/32-bit/"
cp "$dll64" "$stage/$name/64-bit/"
cp README.md LICENSE "$stage/$name/"
cp "$dll32.debug" "$stage/$name-symbols/32-bit/"
cp "$dll64.debug" "$stage/$name-symbols/64-bit/"
(cd "$stage" && zip -qrX "../$name.zip" "$name" && zip -qrX "../$name-symbols.zip" "$name-symbols")
rm -rf "$stage"
for f in "$out"/*; do
  printf '%-40s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done
