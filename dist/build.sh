#!/usr/bin/env bash
# Packs Starwright for users, from the two cross builds, into build/dist (or the folder given):
#   Starwright-<version>-setup.exe    the installer (dist/starwright.nsi)
#   Starwright-<version>.zip          both DLLs, README and LICENSE, to install by hand
#   Starwright-<version>-symbols.zip  the DLLs' debug information, for crash reports
#   SHA256SUMS                        the SHA-256 of each of them
# The version is VERSION's, as in the DLL's version resource. The same commit gives the same
# bytes: every file time inside the zips and the installer is SOURCE_DATE_EPOCH (the last
# commit's time, scripts/source-date-epoch.sh), the zips' entries are sorted and carry no extra
# attributes. With a code-signing certificate (dist/sign.sh) the DLLs, the uninstaller and the
# installer are signed.
#
#   dist/build.sh [--out DIR]
#   dist/build.sh installer OUT VERSION VERSION4 DLL32 DLL64
# The second builds one installer from the given parts only (the installer tests use it).
set -euo pipefail
cd "$(dirname "$0")/.."
epoch=$(bash scripts/source-date-epoch.sh)

# Copies files into a folder with the modes and times a release gives them.
release_copy() {  # DIR FILE...
  local dir=$1
  shift
  mkdir -p "$dir"
  install -m 644 "$@" "$dir/"
}
# Folders as a common umask makes them, every time SOURCE_DATE_EPOCH.
at_epoch() {
  find "$@" -type d -exec chmod 755 {} +
  find "$@" -exec touch -h -d "@$epoch" {} +
}

installer() {  # OUT VERSION VERSION4 DLL32 DLL64
  local parts=$1.parts sign=()
  rm -rf "$parts"
  # The installer keeps each file's time, which the installed files then get.
  release_copy "$parts/32" "$4"
  release_copy "$parts/64" "$5"
  release_copy "$parts" README.md LICENSE
  at_epoch "$parts"
  local status=0
  bash dist/sign.sh --configured || status=$?
  case $status in
    0) sign=("-DSIGN=$PWD/dist/sign.sh") ;;
    1) status=0 ;;
    *) return 1 ;;
  esac
  makensis -V2 -NOCD \
    "-DOUTFILE=$(realpath -m "$1")" "-DVERSION=$2" "-DVERSION4=$3" \
    "-DDLL32=$parts/32/$(basename "$4")" "-DDLL64=$parts/64/$(basename "$5")" \
    "-DREADME=$parts/README.md" "-DLICENSE=$parts/LICENSE" "${sign[@]}" dist/starwright.nsi || status=$?
  rm -rf "$parts"
  return $status
}

if [ "${1:-}" = installer ]; then
  shift
  installer "$@"
  exit
fi
out=build/dist
if [ "${1:-}" = --out ]; then out=${2:?dist: --out needs a folder}; fi

version=$(head -n 1 VERSION)
if ! [[ $version =~ ^([0-9]+)\.([0-9]+)$ ]]; then
  echo "dist: VERSION holds '$version', not MAJOR.MINOR (e.g. 1.00)" >&2
  exit 1
fi
version4=$((10#${BASH_REMATCH[1]})).$((10#${BASH_REMATCH[2]})).0.0
dll32=build/win32/plugin/Starwright.dll
dll64=build/win64/plugin/Starwright.dll
for f in "$dll32" "$dll64" "$dll32.debug" "$dll64.debug"; do
  [ -f "$f" ] || { echo "dist: $f is missing; run 'make cross cross64' first" >&2; exit 1; }
done
# A DLL stamped with an earlier commit's time would make this release differ from a clean build
# of the same commit; configuring the build tree again (make cross cross64) relinks it.
for dir in build/win32 build/win64; do
  if [ "$(cat "$dir/plugin/source-date-epoch" 2>/dev/null)" != "$epoch" ]; then
    echo "dist: $dir was configured for another commit's time than $epoch; run 'make cross cross64' (or make dist)" >&2
    exit 1
  fi
done
signing=0
bash dist/sign.sh --configured || signing=$?
case $signing in
  0) echo "dist: signing with $STARWRIGHT_SIGN_PKCS12${STARWRIGHT_SIGN_TIMESTAMP_URL:+, time-stamped by $STARWRIGHT_SIGN_TIMESTAMP_URL}" ;;
  1) echo "dist: no code-signing certificate given (STARWRIGHT_SIGN_PKCS12, STARWRIGHT_SIGN_PASSWORD_FILE): the files are not signed" ;;
  *) exit 1 ;;
esac

name=Starwright-$version
rm -rf "$out" && mkdir -p "$out"
# The zips unpack into a folder of their own, one subfolder per bitness.
stage=$out/stage
release_copy "$stage/$name/32-bit" "$dll32"
release_copy "$stage/$name/64-bit" "$dll64"
release_copy "$stage/$name" README.md LICENSE
release_copy "$stage/$name-symbols/32-bit" "$dll32.debug"
release_copy "$stage/$name-symbols/64-bit" "$dll64.debug"
if [ $signing = 0 ]; then bash dist/sign.sh "$stage/$name/32-bit/Starwright.dll" "$stage/$name/64-bit/Starwright.dll"; fi

installer "$out/$name-setup.exe" "$version" "$version4" "$stage/$name/32-bit/Starwright.dll" "$stage/$name/64-bit/Starwright.dll"

# Zip stores local times: in UTC they are the same on every machine.
at_epoch "$stage"
for zip in "$name" "$name-symbols"; do
  (cd "$stage" && find "$zip" | LC_ALL=C sort | TZ=UTC zip -qX -@ "../$zip.zip")
done
rm -rf "$stage"
(cd "$out" && ls -- *.exe *.zip | LC_ALL=C sort | xargs sha256sum -- > SHA256SUMS)
for f in "$out"/*; do
  printf '%-40s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done
