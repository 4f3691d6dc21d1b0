#!/usr/bin/env bash
# What `make dist` wrote to build/dist, checked as a user who has to trust it would:
#   - one version everywhere: VERSION, the newest entry of CHANGELOG.md, the downloads' names,
#     the version resources of the installer and of both DLLs; SHA256SUMS matches the files;
#     BUILDINFO names the commit, its time and the installed version of every package it lists;
#     names say "not-a-release-build" when tracked files differ from the commit; no installer is
#     built with an NSIS older than the one that fixed CVE-2023-37378;
#   - the guide: the zip holds guide.html, a UTF-8 page titled "Starwright", and every picture
#     it shows, beside it where the page names it;
#   - reproducible: the same commit, unpacked into another folder as a source tarball is
#     (git archive) and built there at another time, under another umask, time zone and locale,
#     gives the same bytes for every download, the guide among them. Only what ships is built
#     there: Starwright.dll in an i686 and an x86_64 tree, then the packing script;
#   - signed when a certificate is given: built with a throwaway one (under a umask that keeps
#     new files private), every signature verifies against it, the signed DLLs are the unsigned
#     ones plus a signature with the unsigned ones' modes in the zip, and the signed
#     installer installs silently under Wine, both script hosts create the plug-in, and the
#     uninstaller it writes into Program Files is signed too.
# Its work goes to build/release-test; the copy of the sources is removed at the end.
set -u
cd "$(dirname "$0")/.."
root=$PWD
out=build/release-test
dist=build/dist
# The comparisons need unsigned builds: a signature's time is new at every signing.
if bash dist/sign.sh --configured 2>/dev/null; then
  echo "FAIL: unset STARWRIGHT_SIGN_PKCS12 and STARWRIGHT_SIGN_PASSWORD_FILE for the release test, which signs with a certificate of its own"
  echo "release: 0 passed, 1 failed"
  exit 1
fi
rm -rf "$out" && mkdir -p "$out"
# A Wine prefix of its own, for the type library writer of the second build and the signed install.
export STARWRIGHT_WINEPREFIX=$root/$out/wine-prefix
# One session for the whole test: the second build's two trees share that prefix, and neither may
# stop its server while the other writes its type library; the display and server go at the end.
. scripts/wine-env.sh
starwright_session_begin
starwright_session_removes_prefixes

passed=0
failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

. dist/release-tree.sh
version=$(head -n 1 VERSION)
name=Starwright-$version
tracked=$(release_tracked .)
[ "$tracked" = "as committed" ] || name+=-not-a-release-build
setup=$name-setup.exe
downloads=("$setup" "$name.zip" "$name-symbols.zip" BUILDINFO)

# A version resource's string entry (ProductVersion, FileVersion) as the UTF-16 text after its key.
resource_string() { strings -el "$1" 2>/dev/null | grep -A1 -x "$2" | sed -n 2p; }

echo "== one version: $version"
newest=$(grep -m 1 '^## ' CHANGELOG.md)
if [[ $newest =~ ^'## ['([^]]*)'] - '([0-9]{4}-[0-9]{2}-[0-9]{2})$ ]] && date -d "${BASH_REMATCH[2]}" >/dev/null 2>&1; then
  [ "${BASH_REMATCH[1]}" = "$version" ] && ok "CHANGELOG.md's newest entry is $version, of ${BASH_REMATCH[2]}" ||
    fail "CHANGELOG.md's newest entry is ${BASH_REMATCH[1]}, VERSION says $version"
else
  fail "CHANGELOG.md's newest entry is '$newest', not '## [$version] - YYYY-MM-DD'"
fi
listed=$(cd "$dist" 2>/dev/null && LC_ALL=C ls | tr '\n' ' ')
want=$(printf '%s\n' "${downloads[@]}" SHA256SUMS "$name-windows-tests.zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "$want" ] && ok "$dist holds $listed" || fail "$dist holds '$listed', want '$want'"
mkdir -p "$out/unsigned"
unzip -q "$dist/$name.zip" -d "$out/unsigned" 2>/dev/null || fail "cannot unpack $name.zip"
for file in "$dist/$setup" "$out/unsigned/$name/32-bit/Starwright.dll" "$out/unsigned/$name/64-bit/Starwright.dll"; do
  got=$(resource_string "$file" ProductVersion)
  [ "$got" = "$version" ] && ok "${file#"$out/unsigned/"} says ProductVersion $got" ||
    fail "${file#"$out/unsigned/"} says ProductVersion '$got', want $version"
done
# Each package BUILDINFO lists at the version installed here, and the ones that shape the bytes most.
buildinfo=$(cat "$dist/BUILDINFO" 2>/dev/null)
for field in "Version: $version" "Commit: $(release_commit .)" "Tracked-Files: $tracked" \
             "Source-Date-Epoch: $(bash scripts/source-date-epoch.sh)"; do
  grep -qxF "$field" <<<"$buildinfo" && ok "BUILDINFO: $field" || fail "BUILDINFO lacks '$field'"
done
listed_packages=$(sed -n 's/^ \([^ ]*\) (= \(.*\)),\{0,1\}$/\1 \2/p' <<<"$buildinfo")
wrong=$(while read -r package listed; do
  [ "$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null)" = "$listed" ] || echo "$package $listed"
done <<<"$listed_packages")
missing=$(for package in g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 wine32:i386 nsis zip osslsigncode; do
  grep -q "^$package" <<<"$listed_packages" || echo "$package"
done)
[ -n "$listed_packages" ] && [ -z "$wrong$missing" ] &&
  ok "BUILDINFO lists $(wc -l <<<"$listed_packages") packages at their installed versions" ||
  fail "BUILDINFO: versions not installed: '$wrong'; packages missing: '$missing'"
# Whether tracked files are as committed, in a scratch repository: a change to one makes the
# build "not a release build"; a file git does not track does not.
tree=$out/tree
git init -q "$tree" && echo one > "$tree/tracked" && git -C "$tree" add tracked &&
  git -C "$tree" -c user.name=test -c user.email=test@invalid commit -qm one
states="$(release_tracked "$tree")"
echo new > "$tree/untracked"
states+=", $(release_tracked "$tree")"
echo two > "$tree/tracked"
states+=", $(release_tracked "$tree")"
[ "$states" = "as committed, as committed, differ from the commit" ] &&
  ok "tracked files: committed, beside an untracked file, changed: $states" || fail "tracked files: $states"
rm -rf "$tree"
# An NSIS older than Debian's fixed one (as dpkg would report it) builds no installer.
mkdir -p "$out/old-nsis"
printf '#!/bin/sh\necho 3.08-3\n' > "$out/old-nsis/dpkg-query" && chmod +x "$out/old-nsis/dpkg-query"
if PATH=$root/$out/old-nsis:$PATH bash dist/build.sh installer "$out/old-nsis.exe" "$version" 1.0.0.0 \
     build/win32/plugin/Starwright.dll build/win64/plugin/Starwright.dll >"$out/old-nsis.log" 2>&1; then
  fail "an installer was built with NSIS 3.08-3"
elif [ -e "$out/old-nsis.exe" ]; then
  fail "NSIS 3.08-3 was refused, but an installer was left"
else
  grep -q CVE-2023-37378 "$out/old-nsis.log" && ok "NSIS 3.08-3 is refused: $(grep -m 1 '^dist:' "$out/old-nsis.log" | cut -c 1-60)..." ||
    fail "NSIS 3.08-3 is refused without saying why: $(cat "$out/old-nsis.log")"
fi
page=$out/unsigned/$name/guide.html
if [ -f "$page" ] && grep -q '<meta charset="utf-8">' "$page" && grep -q '<title>Starwright</title>' "$page" &&
   iconv -f UTF-8 -t UTF-8 "$page" >/dev/null 2>&1; then
  pictures=$(grep -o '<img [^>]*src="[^"]*"' "$page" | sed 's/.*src="\([^"]*\)"/\1/' | grep -v -e '://' -e '^/' | LC_ALL=C sort -u)
  missing=$(while read -r picture; do [ -z "$picture" ] || [ -f "$out/unsigned/$name/$picture" ] || echo "$picture"; done <<<"$pictures")
  [ -z "$missing" ] && ok "$name.zip holds the guide, guide.html, with the $(grep -c . <<<"$pictures") pictures it shows" ||
    fail "$name.zip's guide shows pictures it does not hold: $missing"
else
  fail "$name.zip holds no guide.html that is a UTF-8 page titled Starwright"
fi
sums=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1)
[ $? = 0 ] && [ "$(grep -c ': OK$' <<<"$sums")" = $((${#downloads[@]} + 1)) ] && grep -q -- "-windows-tests.zip: OK$" <<<"$sums" &&
  ok "SHA256SUMS matches the ${#downloads[@]} downloads and the test kit" ||
  fail "SHA256SUMS does not match: $sums"

echo "== the same commit built again in another folder"
zip_entries() { zipinfo -T "$1" | tail -n +2; unzip -lv "$1" | tail -n +2; }
# Where the first build and this one differ: diffoscope's account, or the first differing bytes
# (and the PE header field they are in, for the two that hold a time or depend on one).
explain() {  # FIRST SECOND
  if command -v diffoscope >/dev/null; then
    diffoscope --no-progress --max-report-size 20000 "$1" "$2" | head -n 60
    return
  fi
  local first header field=""
  first=$(cmp "$1" "$2" 2>/dev/null | sed -n 's/.* byte \([0-9]*\),.*/\1/p')
  if [ -z "$first" ]; then
    echo "  one is the start of the other: $(stat -c %s "$1") and $(stat -c %s "$2") bytes"
    return
  fi
  if [ "$(head -c 2 "$1")" = MZ ] && header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' '); then
    case $((first - 1 - header)) in
      8 | 9 | 10 | 11) field=" (the PE header's time stamp)" ;;
      88 | 89 | 90 | 91) field=" (the PE header's check sum)" ;;
    esac
  fi
  echo "  $(cmp -l "$1" "$2" 2>/dev/null | wc -l) bytes differ, the first at offset $((first - 1))$field; (offset, octal bytes):" \
    "$(cmp -l "$1" "$2" 2>/dev/null | head -n 8 | awk '{ printf "%d:%s/%s ", $1 - 1, $2, $3 }')"
  # A zip's entries whose mode, time, size, CRC or order differ.
  case $1 in *.zip) diff <(zip_entries "$1") <(zip_entries "$2") | head -n 12 ;; esac
}
same() {  # FIRST SECOND WHAT
  if [ ! -f "$2" ]; then fail "$3: the second build made no ${2##*/}"
  elif cmp -s "$1" "$2"; then ok "$3: the same $(stat -c %s "$1") bytes"
  else fail "$3 differs: $1 and $2"; explain "$1" "$2"; fi
}
copy=$root/$out/copy
keys=$root/$out/keys
# The copy of the sources (with its build trees) and the key go at the end; after a failure the
# copy stays for a closer look. Either way the Wine server of the prefix below is stopped.
finish() {
  starwright_session_end
  rm -rf "$keys"
  [ $failed != 0 ] || rm -rf "$copy"
}
trap finish EXIT
mkdir -p "$copy"
start=$SECONDS
# The sources as a release's tarball has them (git archive). Uncommitted changes go in too, the
# files git would commit as they are now, with the last commit's time that the first build took;
# sources without git history are copied as they are.
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "note: the working tree has uncommitted changes; the copy has them too"
  git ls-files -z --cached --others --exclude-standard |
    tar -c --null --ignore-failed-read -T - 2>/dev/null | tar -x -C "$copy"
  git log -1 --format=%ct > "$copy/dist/commit-time"
  git rev-parse HEAD > "$copy/dist/commit-id"
  export STARWRIGHT_NOT_A_RELEASE_BUILD=1
elif git rev-parse --verify -q HEAD >/dev/null 2>&1; then
  git archive HEAD | tar -x -C "$copy"
else
  tar -c --exclude=./build . | tar -x -C "$copy"
fi
# Another release manager's shell: another umask, time zone and locale (German, made for the test
# alone, writes numbers with a decimal comma and sorts text otherwise).
umask 0027
export TZ=America/St_Johns LOCPATH=$root/$out/locales LC_ALL=de_DE.UTF-8
mkdir -p "$LOCPATH"
localedef -i de_DE -f UTF-8 "$LOCPATH/de_DE.UTF-8" >/dev/null 2>&1 ||
  fail "making the German locale for the second build (localedef -i de_DE -f UTF-8)"
# No compiler cache, which would give back the first build's objects. Both trees at once: the
# one's configure, type library and link steps leave the cores to the other's compiler.
build_again() {  # BITS TOOLCHAIN
  env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER \
    cmake -S "$copy" -B "$copy/build/win$1" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/$2.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DSTARWRIGHT_BUILD_WINEPREFIX="$STARWRIGHT_WINEPREFIX" &&
  cmake --build "$copy/build/win$1" -j"${JOBS:-2}" --target Starwright
}
build_again 32 mingw-i686 >"$out/build-win32.log" 2>&1 &
build32=$!
build_again 64 mingw-x86_64 >"$out/build-win64.log" 2>&1 &
build64=$!
for bits in 32 64; do
  pid=build$bits
  wait "${!pid}" || { fail "building the $bits-bit DLL again (see $out/build-win$bits.log)"; tail -n 20 "$out/build-win$bits.log"; }
done
bash "$copy/dist/build.sh" --no-test-kit >"$out/dist.log" 2>&1 || { fail "packing again (see $out/dist.log)"; cat "$out/dist.log"; }
echo "(built again in $((SECONDS - start)) s)"
umask 0022
unset TZ LOCPATH LC_ALL STARWRIGHT_NOT_A_RELEASE_BUILD
for bits in 32 64; do
  same "build/win$bits/plugin/Starwright.dll" "$copy/build/win$bits/plugin/Starwright.dll" "the $bits-bit Starwright.dll"
  same "build/win$bits/plugin/Starwright.dll.debug" "$copy/build/win$bits/plugin/Starwright.dll.debug" "its debug information"
done
for file in "${downloads[@]}"; do
  same "$dist/$file" "$copy/build/dist/$file" "$file"
done
# Built again without the test kit (its programs take minutes to build), SHA256SUMS lacks only
# the kit's line.
grep -v -- '-windows-tests\.zip$' "$dist/SHA256SUMS" > "$out/SHA256SUMS.downloads"
same "$out/SHA256SUMS.downloads" "$copy/build/dist/SHA256SUMS" "SHA256SUMS without the test kit's line"
mkdir -p "$out/again"
unzip -q "$copy/build/dist/$name.zip" -d "$out/again" 2>/dev/null
same "$out/unsigned/$name/guide.html" "$out/again/$name/guide.html" "the guide, guide.html,"
# The debug information names folders through the prefix map only.
leaks=$(grep -l -F -e "$root" -e "$copy" build/win{32,64}/plugin/Starwright.dll{,.debug} "$copy"/build/win{32,64}/plugin/Starwright.dll{,.debug} 2>/dev/null)
[ -z "$leaks" ] && ok "no DLL or debug file names the folder it was built in" || fail "build folders named in: $leaks"

echo "== signed with a throwaway certificate"
mkdir -p "$keys"
head -c 18 /dev/urandom | base64 > "$keys/password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Starwright test signing" \
  -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$keys/key.pem" -out "$keys/certificate.pem" >/dev/null 2>&1 &&
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/certificate.pem" -passout "file:$keys/password" \
  -out "$keys/signing.p12" || fail "making the certificate"
signed=$out/signed
(umask 0077 && STARWRIGHT_SIGN_PKCS12=$keys/signing.p12 STARWRIGHT_SIGN_PASSWORD_FILE=$keys/password \
  bash dist/build.sh --out "$signed" --no-test-kit) >"$out/signed.log" 2>&1 || { fail "building signed (see $out/signed.log)"; cat "$out/signed.log"; }
grep -q '^dist: signing with' "$out/signed.log" && ok "make dist says it signs" || fail "make dist did not say it signs"
verify() {  # FILE WHAT
  local result
  if result=$(osslsigncode verify -CAfile "$keys/certificate.pem" -in "$1" 2>&1) &&
     grep -q 'Signature verification: ok' <<<"$result" && grep -q 'SHA256' <<<"$result"; then
    ok "$2 is signed (SHA-256) and verifies"
  else
    fail "$2 does not verify:"; grep -iE 'error|fail|digest|signature' <<<"$result" | head -n 8
  fi
}
verify "$signed/$setup" "the installer"
unzip -q "$signed/$name.zip" -d "$signed/unpacked" 2>/dev/null
for bits in 32 64; do
  dll=$signed/unpacked/$name/$bits-bit/Starwright.dll
  verify "$dll" "the $bits-bit DLL in the zip"
  osslsigncode remove-signature -in "$dll" -out "$out/stripped$bits.dll" >/dev/null 2>&1
  same "build/win$bits/plugin/Starwright.dll" "$out/stripped$bits.dll" "the signed $bits-bit DLL without its signature"
done
(cd "$signed" && sha256sum -c --quiet SHA256SUMS) && ok "the signed build's SHA256SUMS matches it" || fail "the signed build's SHA256SUMS"
entry_modes() { zipinfo "$1" | awk 'NF >= 9 && $1 ~ /^[-d]/ { print $1, $NF }'; }
modes=$(diff <(entry_modes "$dist/$name.zip") <(entry_modes "$signed/$name.zip"))
[ -z "$modes" ] && ok "the signed zip's files have the unsigned zip's modes" || fail "the signed zip's modes differ: $modes"
# A time-stamp server that does not answer (nothing listens on the discard port) stops the build.
if STARWRIGHT_SIGN_PKCS12=$keys/signing.p12 STARWRIGHT_SIGN_PASSWORD_FILE=$keys/password \
   STARWRIGHT_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ bash dist/build.sh --out "$out/unstamped" --no-test-kit >"$out/unstamped.log" 2>&1; then
  fail "a build whose time stamp failed succeeded"
elif compgen -G "$out/unstamped/*.zip" >/dev/null || compgen -G "$out/unstamped/*.exe" >/dev/null; then
  fail "a build whose time stamp failed left downloads: $(ls "$out/unstamped")"
else
  ok "a time-stamp server that does not answer stops the build: $(grep -m 1 '^sign:' "$out/unstamped.log")"
fi

echo "== the signed installer under Wine"
starwright_session_note prefixes "$STARWRIGHT_WINEPREFIX"
starwright_display
starwright_prefix
tool() {  # BITS PROGRAM ARGUMENTS...: a system program of that bitness
  local bits=$1 program=$2
  shift 2
  "$(starwright_wine_for "$bits")" "$(starwright_system_dir "$bits")\\$program" "$@" </dev/null
}
wine "$signed/$setup" /S </dev/null && ok "installed silently" || fail "the signed installer: exit $?"
script=$(winepath -w tests/wine/plugin_name.vbs)
for bits in 32 64; do
  verdict=$(tool $bits cscript.exe //nologo "$script" 2>&1 | tr -d '\r')
  case $verdict in PASS:*) ok "$bits-bit script host: $verdict" ;; *) fail "$bits-bit script host: '$verdict'" ;; esac
done
for file in 'C:\Program Files\Starwright\uninstall.exe' 'C:\Program Files\Starwright\Starwright.dll' \
            'C:\Program Files (x86)\Starwright\Starwright.dll'; do
  verify "$(winepath -u "$file")" "$file"
done

echo "release: $passed passed, $failed failed"
[ $failed = 0 ]
