#!/usr/bin/env bash
# The test kit (build/dist/Starwright-*-windows-tests.zip) as a tester runs it: unpacked into a
# new folder outside the build tree, with blanks in its path, and run-tests.cmd run from Wine's
# command prompt in a 64-bit prefix of its own (build/kit-test/wine-prefix), which runs both
# bitnesses. Checked:
#   - every test that the Windows tests of make test ran (their GoogleTest results in
#     build/win32/test-results and build/win64/test-results, written by scripts/test-wine.sh, and
#     the installer's scenarios' in build/dist-test/installer.xml, written by
#     dist/test_installer.sh) is counted by the kit, as passed or as skipped with a reason, and
#     none failed;
#   - the last line is "N passed, N failed, N skipped", and its exit code 0;
#   - every Windows-only check is listed as skipped with its reason;
#   - the report folder holds each run's XML and a summary naming the Windows version, the
#     bitness, the user locale and the screen's dpi;
#   - the registry afterwards is the registry before (both of the prefix's registry files, less
#     the times Wine writes beside each key).
set -u
cd "$(dirname "$0")/.."
root=$PWD
passed=0
failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
finish() {
  echo "kit: $passed passed, $failed failed"
  [ $failed = 0 ]
}

kits=(build/dist/Starwright-*-windows-tests.zip)
[ -f "${kits[0]}" ] && [ ${#kits[@]} = 1 ] || { fail "want one build/dist/Starwright-*-windows-tests.zip (make dist)"; finish; exit; }
out=$root/build/kit-test
rm -rf "$out" && mkdir -p "$out"
export STARWRIGHT_WINEPREFIX=$out/wine-prefix
. scripts/wine-env.sh
starwright_session_begin
starwright_session_removes_prefixes
starwright_session_note prefixes "$WINEPREFIX"
starwright_display
starwright_prefix
starwright_wine64 >/dev/null || { fail "no 64-bit Wine loader"; finish; exit; }

# Where a tester unpacks it: anywhere but the build tree, blanks and all.
place=$(mktemp -d "${TMPDIR:-/tmp}/starwright kit.XXXXXX")
trap 'rm -rf "$place"; starwright_session_end' EXIT
unzip -q "${kits[0]}" -d "$place" || { fail "cannot unpack ${kits[0]}"; finish; exit; }
kit=$(echo "$place"/*)

# The registry as Wine keeps it in the prefix, written out when the server ends, without the
# time Wine notes beside each key and at the top of each file, and the time its display driver
# notes at every start.
registry() {
  wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1
  local file
  for file in system.reg user.reg; do
    echo "== $file"
    sed -e 's/^\(\[.*\]\) [0-9]*$/\1/' -e '/^#time=/d' -e '/^;; All keys relative to/d' -e '/^"DriverDateData"=/d' \
      "$WINEPREFIX/$file"
  done
}
starwright_server
# Wine's script hosts register their own type library the first time they run, as Windows'
# installation did for Windows' own; the installer's scenarios run them.
for bits in 32 64; do
  "$(starwright_wine_for $bits)" "$(starwright_system_dir $bits)\\cscript.exe" //nologo \
    "$(winepath -w "$kit/32-bit/installer/plugin_name.vbs")" >/dev/null 2>&1 </dev/null
done
before=$(registry)

start=$SECONDS
(cd "$kit" && wine cmd /c run-tests.cmd) > "$out/run.log" 2>&1 </dev/null
code=$?
echo "(the kit ran in $((SECONDS - start)) s)"
after=$(registry)
last=$(tr -d '\r' < "$out/run.log" | grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' | tail -n 1)
[ "$code" = 0 ] && ok "run-tests.cmd ended with 0: $last" || { fail "run-tests.cmd ended with $code: $last"; tr -d '\r' < "$out/run.log" | grep -v '^ok' | head -n 40; }

# What make test's Windows tests ran, per bitness: every test that has a status "run". Under make
# test they run beside this test; scripts/test-windows.sh makes the file named here once they have
# all ended.
if [ -n "${STARWRIGHT_KIT_RESULTS_READY:-}" ]; then
  while [ ! -e "$STARWRIGHT_KIT_RESULTS_READY" ]; do
    kill -0 "${STARWRIGHT_KIT_RESULTS_FROM:-$PPID}" 2>/dev/null || { fail "scripts/test-windows.sh ended before the results were ready"; break; }
    sleep 1
  done
fi
counted() { cat "$@" 2>/dev/null | grep -o '<testcase [^>]*status="run"' | wc -l; }
summary=$kit/report/summary.txt
for bits in 32 64; do
  results=(build/win$bits/test-results/*.xml)
  if [ $bits = 32 ]; then
    [ -f build/dist-test/installer.xml ] || { fail "no results of make test's installer scenarios in build/dist-test"; continue; }
    results+=(build/dist-test/installer.xml)
  fi
  [ -f "${results[0]}" ] || { fail "no results of make test's $bits-bit Windows tests in build/win$bits/test-results"; continue; }
  want=$(counted "${results[@]}")
  got=$(tr -d '\r' < "$summary" | awk -v bits="$bits-bit" '$2 == bits { p += $4; f += $6; s += $8 } END { print p + 0, f + 0, s + 0 }')
  read -r p f s <<<"$got"
  [ $((p + s)) = "$want" ] && [ "$f" = 0 ] &&
    ok "$bits-bit: the kit counted the $want tests make test ran: $p passed, $s skipped" ||
    fail "$bits-bit: make test ran $want tests; the kit: $p passed, $f failed, $s skipped"
done

# Each skip says why; the Windows-only checks are among them.
reasons=$(tr -d '\r' < "$summary" | sed -n 's/^ *skipped [^:]*: //p' | sort | uniq -c)
without=$(tr -d '\r' < "$summary" | grep -cE '^ *skipped [^:]*: *$')
[ "$without" = 0 ] && ok "every skipped test says why:$(printf '\n%s' "$reasons")" || fail "$without skipped tests say not why"
windows_only=$(tr -d '\r' < "$summary" | grep -c '^ *skipped .*: Windows only: ')
[ "$windows_only" -gt 0 ] && ok "$windows_only Windows-only checks are listed as skipped under Wine" ||
  fail "no Windows-only check is listed as skipped"

for field in "Windows: " "Windows bitness: 64" "User locale: " "Screen: [0-9]+ dpi" "Elevated prompt: "; do
  tr -d '\r' < "$summary" | grep -qE "^$field" && ok "the summary names '$field'" || fail "the summary lacks '$field'"
done
runs=$(cat "$kit"/32-bit/runs.txt "$kit"/64-bit/runs.txt | grep -c .)
xmls=$(ls "$kit"/report/*.xml 2>/dev/null | wc -l)
[ "$xmls" = "$runs" ] && ok "the report holds the XML of each of the $runs runs" || fail "the report holds $xmls XML files for $runs runs"

changes=$(diff <(echo "$before") <(echo "$after") | head -n 40)
[ -z "$changes" ] && ok "the registry is as it was before the kit ran" || { fail "the kit left the registry changed:"; echo "$changes"; }
finish
