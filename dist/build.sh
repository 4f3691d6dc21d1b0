#!/usr/bin/env bash
# Packs Starwright for users, from the two cross builds, into build/dist (or the folder given):
#   Starwright-<version>-setup.exe    the installer (dist/starwright.nsi)
#   Starwright-<version>.zip          both DLLs, README and LICENSE, and the guide (guide.html,
#                                     made from README, with its pictures), to install by hand
#   Starwright-<version>-symbols.zip  the DLLs' debug information, for crash reports
#   BUILDINFO                         what built them: the commit, its time, and the version
#                                     of each Debian package that shapes their bytes
#   SHA256SUMS                        the SHA-256 of each of them
#   Starwright-<version>-windows-tests.zip  the test kit: the Windows tests of both builds, with
#                                     the DLLs they test and run-tests.cmd, for testers to run on
#                                     Windows; it runs elevated on a tester's PC, so it is
#                                     published as the product is: in SHA256SUMS, the same commit
#                                     gives the same kit, and its programs are signed
#                                     too when a certificate is given
# The version is VERSION's, as in the DLL's version resource. The same commit gives the same
# bytes: every file time inside the zips and the installer is SOURCE_DATE_EPOCH (the last
# commit's time, scripts/source-date-epoch.sh), the zips' entries are sorted and carry no extra
# attributes. Built from a tree whose tracked files differ from that commit, the names say
# "not-a-release-build" (Starwright-<version>-not-a-release-build-setup.exe, ...): no commit
# gives those bytes again. With a code-signing certificate (dist/sign.sh) the DLLs, the
# uninstaller and the installer are signed.
#
#   dist/build.sh [--out DIR] [--no-test-kit]
#   dist/build.sh installer OUT VERSION VERSION4 DLL32 DLL64
# The second builds one installer from the given parts only (the installer tests use it).
set -euo pipefail
cd "$(dirname "$0")/.."
. dist/release-tree.sh
epoch=$(bash scripts/source-date-epoch.sh)

# The Debian packages whose versions shape the downloads' bytes: the compilers, their runtime
# and headers and binutils (the DLLs), Wine (which writes the type library at build time), NSIS
# (the installer and uninstaller), cmark-gfm (the guide), zip and osslsigncode.
shaping_packages=(
  gcc-mingw-w64-base gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-x86-64-posix mingw-w64-common mingw-w64-i686-dev mingw-w64-x86-64-dev
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 wine32:i386 libwine:amd64 libwine:i386
  nsis nsis-common cmark-gfm zip osslsigncode
)

# NSIS before Debian's 3.08-3+deb12u1 (upstream: before 3.09) writes uninstallers that a local
# user can take over through the temporary folder while an administrator runs them
# (CVE-2023-37378); no installer is built with one.
nsis_floor=3.08-3+deb12u1
check_nsis() {
  local version
  if version=$(dpkg-query -W -f='${Version}' nsis 2>/dev/null) && [ -n "$version" ]; then
    dpkg --compare-versions "$version" ge "$nsis_floor" && return 0
  else
    version=$(makensis -VERSION 2>/dev/null) || version="(no makensis)"
    version=${version#v}
    [[ $version =~ ^[0-9]+(\.[0-9]+)*$ ]] && [ "$(printf '%s\n' 3.09 "$version" | sort -V | head -n 1)" = 3.09 ] &&
      return 0
  fi
  echo "dist: NSIS $version is older than $nsis_floor, whose uninstallers can be taken over through the temporary folder (CVE-2023-37378); install Debian 12's nsis $nsis_floor or later (apt-get install nsis)" >&2
  return 1
}

# The guide, README.md as a page Windows opens with a double-click: made into HTML by cmark-gfm
# (GitHub's CommonMark, with README's tables), each heading given the anchor GitHub gives it so
# that README's links within itself work, in a small page of its own; beside it every picture
# the page shows, at the path README names it by. README and its pictures are taken as they are
# now; the same ones give the same bytes. Also writes DIR.nsh, the list of the files for the
# installer (GuideFiles, GuideFolders in dist/starwright.nsi).
guide() {  # DIR
  local dir=$1 picture folder
  command -v cmark-gfm >/dev/null || { echo "dist: cmark-gfm, which makes the guide, is missing; run 'make setup'" >&2; return 1; }
  rm -f "$dir.nsh"
  mkdir -p "$dir"
  {
    cat <<'HEAD'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Starwright</title>
<style>
body { font-family: "Segoe UI", Arial, sans-serif; line-height: 1.5; max-width: 52em; margin: 2em auto; padding: 0 1em; color: #1b1b1b; background: #fff; }
h1, h2, h3 { line-height: 1.25; }
h2 { border-bottom: 1px solid #ddd; padding-bottom: 0.2em; margin-top: 2em; }
img { max-width: 100%; height: auto; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }
th { background: #f0f0f0; }
code, pre { font-family: Consolas, "Courier New", monospace; background: #f4f4f4; }
code { padding: 0 0.2em; }
pre { padding: 0.6em; overflow-x: auto; }
</style>
</head>
<body>
HEAD
    cmark-gfm --unsafe -e table -e autolink -e strikethrough README.md | LC_ALL=C perl -0777 -CSD -pe '
      BEGIN { our %seen; }
      # The developers pages and the changelog are not installed with the guide: their links
      # would lead nowhere, so their text stays and the link goes.
      s{<a href="(?![a-z][a-z0-9+.-]*:|#)[^"]*\.md(?:#[^"]*)?">(.*?)</a>}{$1}gs;
      s{<h([1-6])>(.*?)</h\1>}{
        my ($level, $text) = ($1, $2);
        (my $id = lc $text) =~ s/<[^>]*>//g;
        $id =~ s/&[a-z]+;|&#[0-9]+;//g;
        $id =~ s/[^\w\- ]//g;
        $id =~ tr/ /-/;
        my $n = $seen{$id}++;
        $id .= "-$n" if $n;
        "<h$level id=\"$id\">$text</h$level>"
      }ge'
    printf '%s\n' '</body>' '</html>'
  } > "$dir/guide.html" || { echo "dist: making the guide from README.md failed" >&2; return 1; }
  {
    echo '; The guide'"'"'s files, written by dist/build.sh: each as its folder under the installation'"'"'s'
    echo '; ("" or "\docs", say) and its name; the folders deepest first.'
    echo '!macro GuideFiles MACRO ARGUMENT'
    echo '  !insertmacro ${MACRO} "${ARGUMENT}" "" "guide.html"'
  } > "$dir.nsh"
  local folders=()
  while read -r picture; do
    case $picture in
      *://* | /* | *..* | data:*) continue ;;
    esac
    [[ $picture =~ ^[A-Za-z0-9._/-]+$ ]] || { echo "dist: the guide shows a picture named '$picture'; name it with letters, digits, '.', '_', '-' and '/' only" >&2; return 1; }
    [ -f "$picture" ] || { echo "dist: README.md shows $picture, which is missing" >&2; return 1; }
    release_copy "$dir/$(dirname "$picture")" "$picture"
    folder=$(dirname "$picture")
    if [ "$folder" = . ]; then folder=""; else folder="\\${folder//\//\\}"; fi
    echo "  !insertmacro \${MACRO} \"\${ARGUMENT}\" \"$folder\" \"$(basename "$picture")\"" >> "$dir.nsh"
    while [ "$(dirname "$picture")" != . ]; do
      picture=$(dirname "$picture")
      folders+=("$picture")
    done
  done < <(grep -o '<img [^>]*src="[^"]*"' "$dir/guide.html" | sed 's/.*src="\([^"]*\)"/\1/' | LC_ALL=C sort -u)
  {
    echo '!macroend'
    echo '!macro GuideFolders MACRO ARGUMENT'
    if [ ${#folders[@]} -gt 0 ]; then
      printf '%s\n' "${folders[@]}" | LC_ALL=C sort -u -r | while read -r folder; do
        echo "  !insertmacro \${MACRO} \"\${ARGUMENT}\" \"\\${folder//\//\\}\""
      done
    fi
    echo '!macroend'
  } >> "$dir.nsh"
  chmod 644 "$dir/guide.html"
}

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

# The plug-in's identifiers, as the DLL registers them, for the installer, which removes stale
# per-user copies of their keys.
identifier() {  # NAME in plugin/identifiers.h
  sed -n "s/.*$1\[\] = L\"\({[-0-9A-F]*}\)\";.*/\1/p" plugin/identifiers.h
}

installer() {  # OUT VERSION VERSION4 DLL32 DLL64
  local parts=$1.parts sign=() clsid iid libid
  clsid=$(identifier kPlugInClsidText) iid=$(identifier kPlugInIidText) libid=$(identifier kLibIdText)
  [ -n "$clsid" ] && [ -n "$iid" ] && [ -n "$libid" ] || { echo "dist: cannot read the plug-in's identifiers from plugin/identifiers.h" >&2; return 1; }
  rm -rf "$parts"
  # The installer keeps each file's time, which the installed files then get.
  release_copy "$parts/32" "$4"
  release_copy "$parts/64" "$5"
  release_copy "$parts" README.md LICENSE
  guide "$parts/guide" || return 1
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
    "-DREADME=$parts/README.md" "-DLICENSE=$parts/LICENSE" "-DGUIDE=$parts/guide" "-DGUIDE_FILES=$parts/guide.nsh" \
    "-DCLSID=$clsid" "-DIID=$iid" "-DLIBID=$libid" "${sign[@]}" dist/starwright.nsi || status=$?
  rm -rf "$parts"
  return $status
}

if [ "${1:-}" = installer ]; then
  shift
  check_nsis
  installer "$@"
  exit
fi
out=build/dist
test_kit=1
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=${2:?dist: --out needs a folder}; shift 2 ;;
    --no-test-kit) test_kit=0; shift ;;
    *) echo "dist: unknown argument '$1'" >&2; exit 1 ;;
  esac
done

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

commit=$(release_commit .)
tracked=$(release_tracked .)
name=Starwright-$version
if [ "$tracked" != "as committed" ]; then
  name+=-not-a-release-build
  echo "dist: tracked files differ from commit $commit, so no commit gives these bytes again: not a release build, and the names say so"
fi
# Every package asked for at once, listed in a fixed order whatever the locale.
buildinfo=$(dpkg-query -W -f='${Package}:${Architecture} (= ${Version})\n' "${shaping_packages[@]}" 2>&1) || {
  echo "dist: cannot tell what builds this release, as these packages are not installed: $buildinfo" >&2
  exit 1
}
check_nsis

rm -rf "$out" && mkdir -p "$out"
# The zips unpack into a folder of their own, one subfolder per bitness.
stage=$out/stage
release_copy "$stage/$name/32-bit" "$dll32"
release_copy "$stage/$name/64-bit" "$dll64"
release_copy "$stage/$name" README.md LICENSE
guide "$stage/$name"
rm "$stage/$name.nsh"
release_copy "$stage/$name-symbols/32-bit" "$dll32.debug"
release_copy "$stage/$name-symbols/64-bit" "$dll64.debug"
if [ $signing = 0 ]; then bash dist/sign.sh "$stage/$name/32-bit/Starwright.dll" "$stage/$name/64-bit/Starwright.dll"; fi

installer "$out/$name-setup.exe" "$version" "$version4" "$stage/$name/32-bit/Starwright.dll" "$stage/$name/64-bit/Starwright.dll"

# Zip stores local times: in UTC they are the same on every machine.
at_epoch "$stage"
for zip in "$name" "$name-symbols"; do
  (cd "$stage" && find "$zip" | LC_ALL=C sort | TZ=UTC zip -qX -@ "../$zip.zip")
done
# The test kit: each build's test programs with what they load from their own folder (as
# tests/wine/ notes them), the shipped DLL in place of the build's, and the runner at the top.
if [ $test_kit = 1 ]; then
  kit=$name-windows-tests
  for bits in 32 64; do
    tree=build/win$bits/windows-tests
    [ -f "$tree/files.txt" ] && [ -f "$tree/runs.txt" ] || { echo "dist: $tree is missing; run 'make cross cross64' first" >&2; exit 1; }
    while IFS='|' read -r folder file; do
      [ -n "$file" ] || continue
      [ -f "$file" ] || { echo "dist: $file, a file of the test kit, is missing; run 'make cross cross64' first" >&2; exit 1; }
      release_copy "$stage/$kit/$bits-bit${folder:+/$folder}" "$file"
    done < "$tree/files.txt"
    release_copy "$stage/$kit/$bits-bit" "$tree/runs.txt"
    install -m 644 "$stage/$name/$bits-bit/Starwright.dll" "$stage/$kit/$bits-bit/Starwright.dll"
  done
  release_copy "$stage/$kit" build/win32/tests/wine/run_tests.exe tests/wine/kit/run-tests.cmd README.md
  # The testers' instructions are a developers' page, not the user's guide.
  install -m 644 docs/testing.md "$stage/$kit/TESTING.md"
  # The installer's scenarios (tests/wine/installer_test.cpp) take their parts from installer/
  # beside their program: this version's installer and DLLs; version 0.90's installer, built from
  # the installer's sources of commit 8fd73ed (before setup kept a record of its changes), with
  # its README and DLLs that carry a mark of their own (bytes after the image, which Windows
  # ignores); an installer whose 64-bit plug-in is not a DLL; a host of each bitness; and the
  # script that creates the plug-in. Sources without that commit's history give no 0.90, and
  # the scenarios that upgrade from it are skipped, saying so.
  parts=$stage/$kit/32-bit/installer
  for f in build/win32/tests/wine/dll_holder-32.exe build/win64/tests/wine/dll_holder-64.exe; do
    [ -f "$f" ] || { echo "dist: $f, a file of the test kit, is missing; run 'make cross cross64' first" >&2; exit 1; }
  done
  release_copy "$parts" "$out/$name-setup.exe" build/win32/tests/wine/dll_holder-32.exe \
    build/win64/tests/wine/dll_holder-64.exe tests/wine/plugin_name.vbs
  # The guide as setup installs it.
  guide "$parts/guide"
  rm "$parts/guide.nsh"
  for bits in 32 64; do
    release_copy "$parts/$bits-bit" "$stage/$name/$bits-bit/Starwright.dll"
    mkdir -p "$parts/older/$bits-bit"
    { cat "$stage/$name/$bits-bit/Starwright.dll"; echo "Starwright 0.90"; } > "$parts/older/$bits-bit/Starwright.dll"
    chmod 644 "$parts/older/$bits-bit/Starwright.dll"
  done
  installer "$parts/broken-setup.exe" "$version" "$version4" "$stage/$name/32-bit/Starwright.dll" LICENSE
  older=$stage/older-source
  mkdir -p "$older"
  if git archive 8fd73ed dist scripts/source-date-epoch.sh README.md LICENSE 2>/dev/null | tar -x -C "$older" 2>/dev/null; then
    whole=$(realpath "$parts")
    bash "$older/dist/build.sh" installer "$whole/older-setup.exe" 0.90 0.9.0.0 \
      "$whole/older/32-bit/Starwright.dll" "$whole/older/64-bit/Starwright.dll"
    release_copy "$parts/older" "$older/README.md"
  else
    echo "dist: these sources lack the history of commit 8fd73ed, so the test kit holds no version 0.90 to upgrade from"
  fi
  rm -rf "$older"
  # Testers run the kit from an elevated prompt: its own programs are signed as the product is
  # (the DLLs under test are the signed ones already; the shared runtime's DLLs are not ours).
  if [ $signing = 0 ]; then
    mapfile -t programs < <(find "$stage/$kit" -maxdepth 2 -type f \( -name '*.exe' -o -name '*.dll' \) \
      ! -name MaxIm_DL.exe ! -name Starwright.dll | LC_ALL=C sort)
    bash dist/sign.sh "${programs[@]}" "$parts"/dll_holder-*.exe
  fi
  at_epoch "$stage/$kit"
  (cd "$stage" && find "$kit" | LC_ALL=C sort | TZ=UTC zip -qX -@ "../$kit.zip")
fi
rm -rf "$stage"
# In the spirit of Debian's .buildinfo: what another builder needs to get the same bytes.
{
  echo "Format: 1.0"
  echo "Source: Starwright"
  echo "Version: $version"
  echo "Commit: $commit"
  echo "Tracked-Files: $tracked"
  echo "Source-Date-Epoch: $epoch"
  echo "Build-Origin: Debian"
  # The release of Debian that built it (Debian 12 and 13 give different bytes: their compilers
  # differ), and its point release.
  echo "Build-Release: $(. /etc/os-release && echo "$PRETTY_NAME"), $(cat /etc/debian_version 2>/dev/null || echo unknown)"
  echo "Installed-Build-Depends:"
  LC_ALL=C sort <<<"$buildinfo" | sed 's/^/ /; $!s/$/,/'
} > "$out/BUILDINFO"
touch -d "@$epoch" "$out/BUILDINFO"
(cd "$out" && ls -- *.exe *.zip BUILDINFO | LC_ALL=C sort | xargs sha256sum -- > SHA256SUMS)
for f in "$out"/*; do
  printf '%-40s %8d bytes\n' "$f" "$(stat -c %s "$f")"
done
