#!/usr/bin/env bash
# The installer (build/dist/Starwright-<version>-setup.exe) under Wine, silently, in a 64-bit
# prefix of its own (build/dist-test/wine-prefix, made anew each run), as an administrator
# would use it: installed over an older version and again over itself, both plug-ins
# registered in their own registry views and created by the script host of each bitness,
# either one unregistered without disturbing the other, removed through its "Apps & features"
# entry without a trace; an installer whose 64-bit plug-in cannot be registered reports it and
# takes back everything it did; and on 32-bit Windows (a 32-bit prefix) the 32-bit plug-in alone.
set -u
cd "$(dirname "$0")/.."
root=$PWD
shopt -s nullglob
setups=(build/dist/Starwright-*-setup.exe)
[ ${#setups[@]} = 1 ] || { echo "FAIL: want one build/dist/Starwright-*-setup.exe (make dist)"; exit 1; }
setup=${setups[0]}
version=${setup#build/dist/Starwright-}
version=${version%-setup.exe}
dll32=build/win32/plugin/Starwright.dll
dll64=build/win64/plugin/Starwright.dll

out=build/dist-test
rm -rf "$out" && mkdir -p "$out"
# No persistent Wine server here: `wineserver -w` must be able to wait for the last program.
# Between programs the server lingers a few seconds, so each program starts quickly.
export STARWRIGHT_WINEPREFIX=$root/$out/wine-prefix
. scripts/wine-env.sh
starwright_session_begin
starwright_display
starwright_prefix
wine64=$(starwright_wine64) || exit 1

passed=0
failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

clsid='{10BA7108-F8C0-468C-8079-6C3E7509CB33}'
libid='{AA2BC137-3E93-4844-A8EA-F84975A8BD6D}'
iid='{4154BE72-7E3F-4812-9152-C873A36A329A}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Starwright'
dir64='C:\Program Files\Starwright'
dir32='C:\Program Files (x86)\Starwright'
script=$(winepath -w tests/wine/plugin_name.vbs)

# A system program of the given bitness (32 or 64), e.g. `tool 64 reg.exe query KEY`.
tool() {
  local bits=$1 name=$2
  shift 2
  "$(starwright_wine_for "$bits")" "$(starwright_system_dir "$bits")\\$name" "$@" </dev/null
}
# A registry value as the view of the given bitness shows it; empty name = default value.
value() {
  local bits=$1 key=$2 name=$3 query
  if [ -z "$name" ]; then query=(/ve); else query=(/v "$name"); fi
  tool "$bits" reg.exe query "$key" "${query[@]}" 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *[^ ].*REG_[A-Z_]* *//p' | head -n 1
}
expect_value() {  # BITS KEY NAME WANT
  local got
  got=$(value "$1" "$2" "$3")
  if [ "${got,,}" = "${4,,}" ]; then ok "$1-bit view: $2 [${3:-default}] = $got"
  else fail "$1-bit view: $2 [${3:-default}] = '$got', want '$4'"; fi
}
# The script host of the given bitness creates Starwright.PlugIn and reads Name; prints the verdict.
client() { tool "$1" cscript.exe //nologo "$script" 2>&1 | tr -d '\r'; }
expect_client() {  # BITS PASS|FAIL: whether the script host should create the plug-in
  local verdict
  verdict=$(client "$1")
  case $2:$verdict in
    PASS:PASS:*) ok "$1-bit script host: $verdict" ;;
    FAIL:FAIL:*) ok "$1-bit script host cannot create Starwright.PlugIn, as expected (${verdict#FAIL: })" ;;
    *) fail "$1-bit script host: '$verdict', want $2" ;;
  esac
}
# Runs an installer; it ends when it is done (it waits for what it starts itself).
install() { wine "$@" </dev/null; }
# Runs an uninstaller and waits for everything it started: an NSIS uninstaller copies itself
# away, starts the copy and returns at once.
uninstall() {
  wine "$@" </dev/null
  local rc=$?
  wineserver -w
  return $rc
}

# The whole registry, both views (the 32-bit one is its Wow6432Node keys), as text; taken at
# the start of a session of its own, so that what a session holds only while it runs (volatile
# device keys) is in every export alike.
export_registry() {
  wineserver -w
  "$wine64" regedit /E "$(winepath -w "$1.utf16")" </dev/null
  iconv -f UTF-16LE -t UTF-8 "$1.utf16" | tr -d '\r' > "$1"
  rm -f "$1.utf16"
}
# What Wine changes by itself in every session: the display driver, when a program starts it,
# writes a new key under Video and a new driver date into the display adapter's keys, and the
# service manager flips its ServiceCurrent counter. Only these keys are left out of a comparison.
export STARWRIGHT_WINE_OWN_KEYS='[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Video\
[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Class\{4D36E968-E325-11CE-BFC1-08002BE10318}\
[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\ServiceCurrent]'
without_wine_own() {
  awk 'BEGIN { n = split(tolower(ENVIRON["STARWRIGHT_WINE_OWN_KEYS"]), own, "\n") }
       /^\[/ { skip = 0; key = tolower($0); for (i = 1; i <= n; i++) if (index(key, own[i]) == 1) skip = 1 }
       !skip' "$1"
}
# The differing lines of two exports, raw or without what Wine changes by itself.
changes() { diff "$1" "$2" | grep -c '^[<>]'; }
filtered_changes() { diff <(without_wine_own "$1") <(without_wine_own "$2") | grep '^[<>]'; }
expect_registry_as() {  # BEFORE AFTER WHAT
  local left
  left=$(filtered_changes "$1" "$2")
  if [ -z "$left" ]; then ok "$3: the registry is as it was before ($(changes "$1" "$2") lines differ, all Wine's own)"
  else fail "$3: the registry differs from before:"; echo "$left" | head -n 40; fi
}
expect_no_files() {
  local dir
  for dir in "$dir64" "$dir32"; do
    if [ -e "$(winepath -u "$dir")" ]; then fail "$dir is still there"; else ok "$dir is gone"; fi
  done
}

echo "== before installing"
# The script hosts register their own type libraries the first time they run; after that, the
# registry stays as it is unless something is installed.
client 32 >/dev/null
client 64 >/dev/null
export_registry "$out/first.reg"
expect_client 32 FAIL
expect_client 64 FAIL
export_registry "$out/before.reg"
# The filter is needed: with nothing installed, two exports already differ, only in Wine's own keys.
if [ "$(changes "$out/first.reg" "$out/before.reg")" -gt 0 ] && [ -z "$(filtered_changes "$out/first.reg" "$out/before.reg")" ]; then
  ok "with nothing installed, Wine alone changed $(changes "$out/first.reg" "$out/before.reg") lines, all in the keys it changes by itself"
else
  fail "Wine's own changes are not what the filter leaves out: $(changes "$out/first.reg" "$out/before.reg") lines differ"
  filtered_changes "$out/first.reg" "$out/before.reg" | head -n 20
fi

echo "== installing over an older version, then over itself"
bash dist/build.sh installer "$out/older-setup.exe" 0.90 0.9.0.0 "$dll32" "$dll64" || fail "building an older installer"
install "$out/older-setup.exe" /S && ok "version 0.90 installed" || fail "version 0.90: exit $?"
expect_value 64 "$uninstall_key" DisplayVersion 0.90
install "$setup" /S && ok "version $version installed over 0.90" || fail "version $version over 0.90: exit $?"
install "$setup" /S && ok "version $version installed over itself" || fail "version $version over itself: exit $?"

echo "== installed"
for f in "$dir64\\Starwright.dll" "$dir32\\Starwright.dll" "$dir64\\uninstall.exe" "$dir64\\README.md" "$dir64\\LICENSE"; do
  if [ -f "$(winepath -u "$f")" ]; then ok "$f"; else fail "$f is missing"; fi
done
cmp -s "$(winepath -u "$dir32\\Starwright.dll")" "$dll32" && ok "the 32-bit DLL is build/win32's" || fail "the 32-bit folder holds another DLL"
cmp -s "$(winepath -u "$dir64\\Starwright.dll")" "$dll64" && ok "the 64-bit DLL is build/win64's" || fail "the 64-bit folder holds another DLL"
for bits in 32 64; do
  if [ $bits = 64 ]; then dll="$dir64\\Starwright.dll"; else dll="$dir32\\Starwright.dll"; fi
  expect_value $bits "HKCR\\CLSID\\$clsid\\InprocServer32" "" "$dll"
  expect_value $bits "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
  expect_value $bits "HKCR\\Starwright.PlugIn\\CLSID" "" "$clsid"
  expect_value $bits "HKCR\\TypeLib\\$libid\\2e.0\\0\\win$bits" "" "$dll"
  expect_value $bits "HKCR\\Interface\\$iid\\TypeLib" "" "$libid"
done
expect_value 64 "$uninstall_key" DisplayName Starwright
expect_value 64 "$uninstall_key" DisplayVersion "$version"
expect_value 64 "$uninstall_key" Publisher "Starwright developers"
expect_value 64 "$uninstall_key" InstallLocation "$dir64"
expect_value 64 "$uninstall_key" UninstallString "\"$dir64\\uninstall.exe\""
expect_value 64 "$uninstall_key" QuietUninstallString "\"$dir64\\uninstall.exe\" /S"
size=$(value 64 "$uninstall_key" EstimatedSize)
[ $((size)) -gt 0 ] && ok "EstimatedSize = $((size)) KB" || fail "EstimatedSize is '$size'"
expect_client 32 PASS
expect_client 64 PASS

echo "== each bitness unregistered alone leaves the other working"
tool 64 regsvr32.exe /u /s "$dir64\\Starwright.dll" || fail "64-bit regsvr32 /u: exit $?"
expect_client 32 PASS
tool 64 regsvr32.exe /s "$dir64\\Starwright.dll" || fail "64-bit regsvr32: exit $?"
tool 32 regsvr32.exe /u /s "$dir32\\Starwright.dll" || fail "32-bit regsvr32 /u: exit $?"
expect_client 64 PASS
tool 32 regsvr32.exe /s "$dir32\\Starwright.dll" || fail "32-bit regsvr32: exit $?"
expect_client 32 PASS

echo "== uninstalling with the quiet uninstall command"
# The command's quoted program path is split off here: cmd /c would take the quotes apart.
quiet=$(value 64 "$uninstall_key" QuietUninstallString)
program=${quiet#\"}
program=${program%%\"*}
arguments=${quiet#\"$program\"}
# shellcheck disable=SC2086  # the arguments are words
uninstall "$program" $arguments && ok "uninstalled" || fail "uninstaller: exit $?"
expect_no_files
expect_client 32 FAIL
expect_client 64 FAIL
export_registry "$out/after.reg"
expect_registry_as "$out/before.reg" "$out/after.reg" "after uninstalling"

echo "== an installer whose 64-bit plug-in cannot be registered"
bash dist/build.sh installer "$out/broken-setup.exe" "$version" 1.0.0.0 "$dll32" LICENSE || fail "building a broken installer"
install "$out/broken-setup.exe" /S
rc=$?
[ $rc = 3 ] && ok "setup reports the failed registration (exit 3)" || fail "setup exit $rc, want 3"
expect_no_files
export_registry "$out/rolled-back.reg"
expect_registry_as "$out/before.reg" "$out/rolled-back.reg" "after the failed install"

echo "== on 32-bit Windows"
# A 32-bit prefix of its own: no Program Files (x86), no 64-bit plug-in; the 32-bit one and the
# uninstaller go into Program Files, registered with the one regsvr32 there is.
export WINEPREFIX=$root/$out/wine-prefix-32
WINEARCH=win32 wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
install "$setup" /S && ok "installed on 32-bit Windows" || fail "setup on 32-bit Windows: exit $?"
dll=$(winepath -u "$dir64\\Starwright.dll")
cmp -s "$dll" "$dll32" && ok "$dir64 holds the 32-bit DLL" || fail "$dir64 does not hold the 32-bit DLL"
[ ! -e "$(winepath -u "$dir32")" ] && ok "no $dir32" || fail "$dir32 was made"
verdict=$(wine cscript.exe //nologo "$script" 2>&1 </dev/null | tr -d '\r')
case $verdict in PASS:*) ok "script host: $verdict" ;; *) fail "script host: '$verdict'" ;; esac
uninstall "$dir64\\uninstall.exe" /S && ok "uninstalled" || fail "uninstaller: exit $?"
[ ! -e "$(winepath -u "$dir64")" ] && ok "$dir64 is gone" || fail "$dir64 is still there"
wine reg.exe query "HKCR\\CLSID\\$clsid" >/dev/null 2>&1 </dev/null && fail "the class is still registered" || ok "the class is unregistered"
wine reg.exe query "$uninstall_key" >/dev/null 2>&1 </dev/null && fail "the Apps & features entry is still there" || ok "the Apps & features entry is gone"
wineserver -k
WINEPREFIX=$STARWRIGHT_WINEPREFIX wineserver -k

echo "installer: $passed passed, $failed failed"
[ $failed = 0 ]
