#!/usr/bin/env bash
# The test kit (build/dist/Starwright-*-windows-tests.zip) as a tester runs it on the PC they
# image with: unpacked into a new folder outside the build tree, with blanks and a character
# outside the ANSI code page in its path, and
# run-tests.cmd run from Wine's command prompt in a 64-bit prefix of its own
# (build/kit-test/wine-prefix), which runs both bitnesses. The prefix is made a tester's PC first:
# the host's camera and application classes served by a program of this test's own
# (LocalServer32) that notes each start of it, the host's type library registered from the host's
# folder, and Starwright installed by its setup. Checked:
#   - every test that the Windows tests of make test ran (their GoogleTest results in
#     build/win32/test-results and build/win64/test-results, written by scripts/test-wine.sh, and
#     the installer's scenarios' in build/dist-test/installer.xml, written by
#     dist/test_installer.sh) is counted by the kit, as passed or as skipped with a reason, and
#     none failed;
#   - the last line is "N passed, N failed, N skipped", and its exit code 0;
#   - every Windows-only check is listed as skipped with its reason;
#   - the report folder holds each run's XML and a summary naming the Windows version, the
#     bitness, the architecture, the user locale and the screen's dpi;
#   - the host's program never started; the registry afterwards is the registry before (both of
#     the prefix's registry files, both views, machine and user, less the times Wine writes
#     beside each key), and the installed files are as they were;
#   - a second kit started meanwhile refuses, saying why;
#   - a run ended outright (taskkill /F, as Task Manager's "End task") while a suite that
#     registers runs, followed by run-tests.cmd again: the second run lists what differs from the
#     first's journal and changes nothing without an answer; answered, it puts that back, and the
#     registry and the installed files are as before, and the installed plug-in answers;
#   - a journal the kit cannot read is kept and nothing runs; --keep-left forgets it;
#   - the runs with a standard user's path (--standard-user): none failed.
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

# Where a tester unpacks it: anywhere but the build tree, blanks and all, and a name the ANSI
# code page cannot write.
place=$(mktemp -d "${TMPDIR:-/tmp}/starwright kit 星.XXXXXX")
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

# The tester's PC. The host's classes: a program of this test's own serves them, which notes each
# start in C:\host-started.txt (COM adds "-Embedding" when it starts a server).
started_file="$WINEPREFIX/drive_c/host-started.txt"
rm -f "$started_file"
recorder='C:\windows\system32\cmd.exe /c echo started>>C:\host-started.txt'
host_folder='C:\Program Files (x86)\MaxIm DL 6'
host_lib='{B4955EC7-F7F2-11D2-AA9C-444553540000}'
reg64() { "$(starwright_wine64)" reg "$@" >/dev/null 2>&1 </dev/null; }
mkdir -p "$(winepath -u "$host_folder")"
cp "$kit/32-bit/MaxIm_DL.exe" "$(winepath -u "$host_folder")/MaxIm_DL.exe"
for view in 32 64; do
  for class in '{26819E05-F8BA-11D2-AA9C-444553540000}|MaxIm.CCDCamera' '{3BEEE75E-CEE3-11D3-8D21-006067661CE9}|MaxIm.Application'; do
    key="HKLM\\Software\\Classes\\CLSID\\${class%%|*}"
    reg64 add "$key" /ve /d "${class#*|}" /f /reg:$view
    reg64 add "$key\\LocalServer32" /ve /d "$recorder" /f /reg:$view
    reg64 add "$key\\ProgID" /ve /d "${class#*|}" /f /reg:$view
  done
  for iid in '{B4955EC8-F7F2-11D2-AA9C-444553540000}' '{26819E04-F8BA-11D2-AA9C-444553540000}' \
             '{3BEEE75D-CEE3-11D3-8D21-006067661CE9}' '{6995C963-5416-11D4-9131-0060676644C1}'; do
    key="HKLM\\Software\\Classes\\Interface\\$iid"
    reg64 add "$key\\ProxyStubClsid32" /ve /d '{00020420-0000-0000-C000-000000000046}' /f /reg:$view
    reg64 add "$key\\TypeLib" /ve /d "$host_lib" /f /reg:$view
    reg64 add "$key\\TypeLib" /v Version /d 1.0 /f /reg:$view
  done
  # Windows shares the type libraries' key between the views; Wine keeps one for each.
  lib="HKLM\\Software\\Classes\\TypeLib\\$host_lib\\1.0"
  reg64 add "$lib" /ve /d 'MaxIm DL 6 Type Library' /f /reg:$view
  reg64 add "$lib\\0\\win32" /ve /d "$host_folder\\MaxIm_DL.exe" /f /reg:$view
  reg64 add "$lib\\FLAGS" /ve /d 0 /f /reg:$view
  reg64 add "$lib\\HELPDIR" /ve /d "$host_folder" /f /reg:$view
done
setup=$(ls "$kit"/32-bit/installer/Starwright-*-setup.exe | head -n 1)
wine "$setup" /S </dev/null >/dev/null 2>&1 && [ -d "$WINEPREFIX/drive_c/Program Files/Starwright" ] &&
  ok "the tester's PC: the host's classes, its type library and Starwright installed by its setup" ||
  fail "the tester's PC: Starwright's setup did not install it"
# The plug-in as the host creates it, by its ProgID, in both bitnesses.
answers() {
  local bits result=0
  for bits in 32 64; do
    "$(starwright_wine_for $bits)" "$(starwright_system_dir $bits)\\cscript.exe" //nologo \
      "$(winepath -w "$kit/32-bit/installer/plugin_name.vbs")" 2>/dev/null </dev/null | tr -d '\r' | grep -q '^PASS' || result=1
  done
  return $result
}
installed_files() {
  (cd "$WINEPREFIX/drive_c" && find "Program Files/Starwright" "Program Files (x86)/Starwright" "$(winepath -u "$host_folder" | sed "s|^$WINEPREFIX/drive_c/||")" \
    -type f -exec md5sum {} + 2>/dev/null | LC_ALL=C sort)
}
answers && ok "the installed plug-in answers before the kit runs" || fail "the installed plug-in does not answer before the kit runs"
files_before=$(installed_files)
before=$(registry)

start=$SECONDS
: > "$out/run.log"
(cd "$kit" && exec wine cmd /c run-tests.cmd) > "$out/run.log" 2>&1 </dev/null &
whole=$!
# A second kit meanwhile refuses, saying why (the whole run takes half a minute and more).
until tr -d '\r' < "$out/run.log" | grep -q '^running '; do
  kill -0 $whole 2>/dev/null || break
  sleep 0.2
done
second=$(cd "$kit" && wine cmd /c run-tests.cmd plugin_object 2>&1 </dev/null)
second_code=$?
second=$(tr -d '\r' <<<"$second")
wait $whole
code=$?
echo "(the kit ran in $((SECONDS - start)) s)"
[ $second_code != 0 ] && grep -q '^Another run of the test kit is in progress' <<<"$second" &&
  ok "a second kit at once refuses, saying why" || fail "a second kit at once: $(head -c 300 <<<"$second")"
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

for field in "Windows: " "Windows bitness: 64" "Architecture: x64" "User locale: " "Screen: [0-9]+ dpi" "Elevated prompt: "; do
  tr -d '\r' < "$summary" | grep -qE "^$field" && ok "the summary names '$field'" || fail "the summary lacks '$field'"
done
runs=$(cat "$kit"/32-bit/runs.txt "$kit"/64-bit/runs.txt | grep -c .)
xmls=$(ls "$kit"/report/*.xml 2>/dev/null | wc -l)
[ "$xmls" = "$runs" ] && ok "the report holds the XML of each of the $runs runs" || fail "the report holds $xmls XML files for $runs runs"

changes=$(diff <(echo "$before") <(echo "$after") | head -n 40)
[ -z "$changes" ] && ok "the registry is as it was before the kit ran" || { fail "the kit left the registry changed:"; echo "$changes"; }
[ "$(installed_files)" = "$files_before" ] && ok "the installed files are as they were" || fail "the kit changed installed files"
left=$(tr -d '\r' < "$summary" | grep '^ *put back ')
[ -z "$left" ] && ok "the tests left nothing for the runner to put back" || { fail "the runner had to put back what tests left:"; echo "$left"; }
host_started() {
  [ -e "$started_file" ] && { fail "$1: the host's program was started $(grep -c . "$started_file") times"; rm -f "$started_file"; return; }
  ok "$1: the host's program was never started"
}
host_started "the whole run"

# A run ended outright while a suite that registers runs; then run-tests.cmd again, which puts
# back what the first left before it runs anything.
journal_left() { reg64 query 'HKLM\Software\Starwright test kit' /v Journal /reg:64; }
starwright_server
: > "$out/ended.log"
(cd "$kit" && exec wine cmd /c run-tests.cmd plugin_module_life) > "$out/ended.log" 2>&1 </dev/null &
ended=$!
until tr -d '\r' < "$out/ended.log" | grep -q '^running 32-bit plugin_module_life'; do
  kill -0 $ended 2>/dev/null || break
  sleep 0.2
done
wine taskkill /F /IM run_tests.exe >/dev/null 2>&1 </dev/null
wait $ended
journal_left && ok "the ended run left its journal" || fail "the ended run left no journal (did it end while a suite ran?)"
# What a test ended with the run may have left half-done, in keys the journal holds: the
# installed plug-in's class pointed elsewhere in one view and given a key in the other, the
# user's decimal separator changed, the tests' own classes left, a per-user copy planted in the
# system profile with the keys on the way to it, and a file in the installation folder that an
# installer scenario left Windows to delete at the next restart (which would then delete what is
# installed there since).
clsid='HKLM\Software\Classes\CLSID\{10BA7108-F8C0-468C-8079-6C3E7509CB33}'
reg64 add "$clsid\InprocServer32" /ve /d 'C:\Elsewhere\Starwright.dll' /f /reg:32
reg64 add "$clsid\LeftByATest" /v Left /d 1 /f /reg:64
reg64 add 'HKCU\Control Panel\International' /v sDecimal /d ';' /f
reg64 add 'HKCU\Software\Starwright test classes\CLSID' /f
reg64 add 'HKU\.Default\Software\Classes\CLSID\{10BA7108-F8C0-468C-8079-6C3E7509CB33}\InprocServer32' /ve /d 'C:\Elsewhere\Starwright.dll' /f /reg:64
left_file="$WINEPREFIX/drive_c/Program Files/Starwright/left-for-restart.tmp"
echo left > "$left_file"
operation=$(printf '%s\0\0\0' '\??\C:\Program Files\Starwright\left-for-restart.tmp' | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
# (regedit reads hex(7) as UTF-16 only from a file in UTF-16.)
{ printf '\xff\xfe'; printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager]\r\n"PendingFileRenameOperations"=hex(7):%s\r\n' \
  "$operation" | iconv -f UTF-8 -t UTF-16LE; } > "$out/left-for-restart.reg"
"$(starwright_wine64)" regedit /s "$(winepath -w "$out/left-for-restart.reg")" >/dev/null 2>&1 </dev/null
# Without an answer (no one at the prompt) the next run lists what differs and changes nothing.
(cd "$kit" && wine cmd /c run-tests.cmd plugin_module_life) > "$out/unanswered.log" 2>&1 </dev/null
code=$?
listed=$(tr -d '\r' < "$out/unanswered.log" | sed -n '/These differ/,/^If you have/p' | grep -c '^  HK')
[ $code != 0 ] && [ "$listed" -ge 4 ] && journal_left && ! tr -d '\r' < "$out/unanswered.log" | grep -q '^running ' &&
  grep -q '^  1 file operations left for the next restart' <(tr -d '\r' < "$out/unanswered.log") && [ -e "$left_file" ] &&
  "$(starwright_wine64)" reg query 'HKCU\Control Panel\International' /v sDecimal 2>/dev/null </dev/null | tr -d '\r' | grep -q 'REG_SZ *;$' &&
  ok "unanswered, the next run listed what differs ($listed keys), changed nothing and ran nothing (exit code $code)" ||
  { fail "unanswered, the next run ended with $code after listing $listed keys"; tr -d '\r' < "$out/unanswered.log" | head -n 16; }
(cd "$kit" && printf 'y\r\n' | wine cmd /c run-tests.cmd plugin_module_life) > "$out/after-ended.log" 2>&1
code=$?
put_back=$(tr -d '\r' < "$out/after-ended.log" | sed -n '/These differ/,/^Put back/p' | grep -c '^  put back ')
[ "$put_back" -ge 4 ] && ! journal_left && [ ! -e "$left_file" ] &&
  ok "the next run put back what the ended run left ($put_back items), before anything else" ||
  { fail "the next run did not put back the ended run's journal"; tr -d '\r' < "$out/after-ended.log" | head -n 12; }
[ $code = 0 ] && ok "the next run ended with 0: $(tr -d '\r' < "$out/after-ended.log" | tail -n 1)" ||
  { fail "the next run ended with $code"; tr -d '\r' < "$out/after-ended.log" | grep -v '^ok' | head -n 20; }
answers && ok "the installed plug-in still answers" || fail "the installed plug-in no longer answers"
after=$(registry)
changes=$(diff <(echo "$before") <(echo "$after") | head -n 40)
[ -z "$changes" ] && ok "after the ended run and the next, the registry is as it was" || { fail "the ended run left the registry changed:"; echo "$changes"; }
[ "$(installed_files)" = "$files_before" ] && ok "after the ended run and the next, the installed files are as they were" ||
  fail "the ended run changed installed files"

# A journal this kit cannot read (another version of the kit's, or damaged) is neither put back nor
# thrown away unasked; --keep-left forgets it.
reg64 add 'HKLM\Software\Starwright test kit' /v Journal /t REG_BINARY /d 0badc0de /f /reg:64
(cd "$kit" && wine cmd /c run-tests.cmd plugin_object) > "$out/unreadable.log" 2>&1 </dev/null
code=$?
[ $code = 3 ] && journal_left && grep -q 'that this kit cannot read' <(tr -d '\r' < "$out/unreadable.log") &&
  ! grep -q '^running ' <(tr -d '\r' < "$out/unreadable.log") &&
  ok "a journal the kit cannot read: it says so, runs nothing and keeps it (exit code 3)" ||
  { fail "a journal the kit cannot read: exit code $code"; tr -d '\r' < "$out/unreadable.log" | head -n 8; }
(cd "$kit" && wine cmd /c run-tests.cmd --keep-left plugin_object) > "$out/forgotten.log" 2>&1 </dev/null
code=$?
[ $code = 0 ] && ! journal_left && grep -q '^The journal an earlier run left is forgotten' <(tr -d '\r' < "$out/forgotten.log") &&
  ok "--keep-left forgets it, and the run goes on" ||
  { fail "--keep-left: exit code $code"; tr -d '\r' < "$out/forgotten.log" | head -n 8; }

# The whole kit again, on a standard user's path.
starwright_server
(cd "$kit" && wine cmd /c run-tests.cmd --standard-user) > "$out/standard-user.log" 2>&1 </dev/null
code=$?
last=$(tr -d '\r' < "$out/standard-user.log" | grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' | tail -n 1)
[ $code = 0 ] && ok "a standard user's run: $last" || { fail "a standard user's run ended with $code: $last"; tr -d '\r' < "$out/standard-user.log" | grep -v '^ok' | head -n 30; }
host_started "the later runs"
after=$(registry)
changes=$(diff <(echo "$before") <(echo "$after") | head -n 40)
[ -z "$changes" ] && ok "after a standard user's run, the registry is as it was" || { fail "a standard user's run left the registry changed:"; echo "$changes"; }
finish
