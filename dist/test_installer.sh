#!/usr/bin/env bash
# The installer's scenarios (tests/wine/installer_test.cpp) under Wine, from the test kit that
# make dist wrote (build/dist/Starwright-*-windows-tests.zip), as the kit runs them on Windows:
# its 32-bit folder, with the installers and hosts in installer/, is unpacked into
# build/dist-test and the program runs in a 64-bit prefix of its own (build/dist-test/wine-prefix,
# made anew each run); then, in a 32-bit prefix, its scenario for 32-bit Windows. Every scenario
# must run: the only skips allowed are the Windows-only checks and, on 64-bit Windows, the 32-bit
# Windows scenario (a kit without version 0.90, say, would skip every upgrade). The first run's
# GoogleTest results (build/dist-test/installer.xml) are among those the kit's test counts.
set -u
cd "$(dirname "$0")/.."
root=$PWD
shopt -s nullglob
kits=(build/dist/Starwright-*-windows-tests.zip)
[ ${#kits[@]} = 1 ] || { echo "FAIL: want one build/dist/Starwright-*-windows-tests.zip (make dist)"; exit 1; }
out=$root/build/dist-test
rm -rf "$out" && mkdir -p "$out"
unzip -q "${kits[0]}" '*/32-bit/*' -d "$out/kit" || { echo "FAIL: cannot unpack ${kits[0]}"; exit 1; }
program=("$out"/kit/*/32-bit/starwright_installer_tests.exe)
[ ${#program[@]} = 1 ] || { echo "FAIL: the kit holds no 32-bit/starwright_installer_tests.exe"; exit 1; }

export STARWRIGHT_WINEPREFIX=$out/wine-prefix
. scripts/wine-env.sh
starwright_session_begin
trap starwright_session_end EXIT
starwright_session_removes_prefixes
starwright_session_note prefixes "$STARWRIGHT_WINEPREFIX"
starwright_display
starwright_prefix
starwright_wine64 >/dev/null || exit 1

status=0
# The reason of each test the run skipped but for those allowed (an extended regular expression).
skipped_but() {  # XML ALLOWED
  grep -o '<skipped message="[^"]*"' "$1" | sed -e 's/"$//' -e 's/\(&#x0A;\)*$//' -e 's/.*&#x0A;//' | grep -v -E "$2"
}
expect_every_scenario() {  # XML ALLOWED
  local left
  [ -f "$1" ] || { echo "FAIL: the run wrote no $1"; status=1; return; }
  left=$(skipped_but "$1" "$2")
  [ -z "$left" ] || { echo "FAIL: scenarios were skipped:"; echo "$left" | sed 's/^/  /'; status=1; }
}
echo "== on 64-bit Windows"
wine "${program[0]}" "--gtest_output=xml:$(winepath -w "$out/installer.xml")" </dev/null || status=1
expect_every_scenario "$out/installer.xml" '^(Windows only: |needs 32-bit Windows$)'

echo "== on 32-bit Windows"
# A 32-bit prefix of its own: no Program Files (x86), no 64-bit plug-in.
export WINEPREFIX=$out/wine-prefix-32
starwright_session_note prefixes "$WINEPREFIX"
starwright_session_note made "$WINEPREFIX"
WINEARCH=win32 wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wine "${program[0]}" --gtest_filter='InstallerOn32BitWindowsTest.*' \
  "--gtest_output=xml:$(winepath -w "$out/installer-32.xml")" </dev/null || status=1
expect_every_scenario "$out/installer-32.xml" '^$'
[ "$(grep -c '<testcase ' "$out/installer-32.xml" 2>/dev/null)" = 1 ] || { echo "FAIL: the 32-bit Windows scenario did not run"; status=1; }
wineserver -k
exit $status
