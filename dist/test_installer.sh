#!/usr/bin/env bash
# The installer (build/dist/Starwright-<version>-setup.exe) under Wine, silently, in a 64-bit
# prefix of its own (build/dist-test/wine-prefix, made anew each run), as an administrator
# would use it: installed over an older version and again over itself, both plug-ins
# registered in their own registry views and created by the script host of each bitness,
# either one unregistered without disturbing the other, removed through its "Apps & features"
# entry without a trace; an installer whose 64-bit plug-in cannot be registered reports it and
# puts back what was there (the older version, or nothing); a run of setup cut off by a power
# failure, after which setup finishes the installation and the older version's uninstaller
# removes everything; and on 32-bit Windows (a 32-bit prefix) the 32-bit plug-in alone.
#
# A host keeps the plug-in loaded, and Windows does not let a loaded DLL be written or deleted,
# only renamed. Wine's loader holds a DLL that way too, but a host cannot run here, so a helper
# (dist/test_installer_helper.cpp) holds the installed DLLs as the loader does while setup and
# the uninstaller run: an upgrade from 0.90 and over itself, an uninstall, and an installation
# again before the restart. A program that holds a DLL open without letting it be renamed makes
# both stop with nothing changed. Each new Wine session does what Windows does at a restart
# (the operations in PendingFileRenameOperations among them): the helper keeps the session
# alive while those are checked, and ending it is the restart.
set -u
cd "$(dirname "$0")/.."
root=$PWD
shopt -s nullglob
setups=(build/dist/Starwright-*-setup.exe)
[ ${#setups[@]} = 1 ] || { echo "FAIL: want one build/dist/Starwright-*-setup.exe (make dist)"; exit 1; }
setup=${setups[0]}
version=${setup#build/dist/Starwright-}
version=${version%-setup.exe}
version=${version%-not-a-release-build}
dll32=build/win32/plugin/Starwright.dll
dll64=build/win64/plugin/Starwright.dll

out=build/dist-test
rm -rf "$out" && mkdir -p "$out"
# Built while Wine makes the prefix: the helper, an older version whose DLLs carry a mark of
# their own (bytes after the image, which Windows ignores) and an installer whose 64-bit plug-in
# is not a DLL. Version 0.90's installer is built from the sources of commit 8fd73ed, as that
# version would have been: its uninstaller knows nothing of the record a run of setup now keeps.
helper=$out/test_installer_helper.exe
mkdir -p "$out/older-32" "$out/older-64"
old32=$out/older-32/Starwright.dll
old64=$out/older-64/Starwright.dll
{ cat "$dll32"; echo "Starwright 0.90"; } > "$old32"
{ cat "$dll64"; echo "Starwright 0.90"; } > "$old64"
older=$out/older-source
mkdir -p "$older"
(i686-w64-mingw32-g++ -std=c++20 -municode -Os -Wall -Wextra -static -s -o "$helper" dist/test_installer_helper.cpp &&
 git archive 8fd73ed dist scripts/source-date-epoch.sh README.md LICENSE | tar -x -C "$older" &&
 bash "$older/dist/build.sh" installer "$root/$out/older-setup.exe" 0.90 0.9.0.0 "$root/$old32" "$root/$old64" &&
 bash dist/build.sh installer "$out/broken-setup.exe" "$version" 1.0.0.0 "$dll32" LICENSE) > "$out/parts.log" 2>&1 &
parts=$!

# No persistent Wine server here: `wineserver -w` must be able to wait for the last program.
# Between programs the server lingers a few seconds, so each program starts quickly.
export STARWRIGHT_WINEPREFIX=$root/$out/wine-prefix
. scripts/wine-env.sh
starwright_session_begin
starwright_session_note prefixes "$STARWRIGHT_WINEPREFIX"
starwright_display
starwright_prefix
wine64=$(starwright_wine64) || exit 1
wait $parts || { cat "$out/parts.log"; echo "FAIL: building the helper and the test installers"; exit 1; }

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
# A path on the prefix's drive C: as a Unix path (without starting a Wine program for it).
unix_path() { local path=${1#[Cc]:\\}; echo "$WINEPREFIX/drive_c/${path//\\//}"; }
# Runs a Windows command line as a deployment tool does and prints its exit code in full.
run() { STARWRIGHT_COMMAND_LINE=$1 wine "$helper" run </dev/null | tr -d '\r'; }
setup_command() { echo "\"$(winepath -w "$1")\" /S"; }
expect_exit() {  # WANT WHAT COMMAND-LINE
  local got
  got=$(run "$3")
  if [ "$got" = "$1" ]; then ok "$2 (exit $got)"; else fail "$2: exit '$got', want $1"; fi
}

# The helper holding Windows files (image: as a loaded DLL; open: open, sharing reading only)
# until release; returns once they are held. The test ends them whichever way it ends.
holder_pids=()
holder_fds=()
holders=0
hold() {  # image|open FILE...
  local mode=$1 fifo=$out/holder-$holders to from line
  shift
  holders=$((holders + 1))
  mkfifo "$fifo.in" "$fifo.out"
  wine "$helper" "$mode" "$@" <"$fifo.in" >"$fifo.out" 2>&1 &
  holder_pids+=($!)
  exec {to}>"$fifo.in" {from}<"$fifo.out"
  holder_fds+=("$to" "$from")
  read -r -t 60 line <&"$from"
  if [ "${line%$'\r'}" = holding ]; then ok "the helper holds (as $mode) $*"; else fail "the helper does not hold $*: '$line'"; fi
}
release() {
  local fd pid
  for fd in "${holder_fds[@]}"; do exec {fd}>&-; done
  for pid in "${holder_pids[@]}"; do wait "$pid"; done
  holder_pids=()
  holder_fds=()
}
# The holders first, then the session's own stopping of what this script started.
trap 'release; starwright_session_end' EXIT
# Ends the Wine session: the next program starts a new one, which does what Windows does at a
# restart.
restart() {
  release
  wineserver -w
  wine cmd /c exit </dev/null
}

# What Windows is to do at the next restart, one path a line ("\??\C:\...", a "!" before a
# path that is to be replaced; a folder without the "\" that NSIS ends it with); an empty line
# after a path to delete.
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'
pending() { value 64 "$session_manager" PendingFileRenameOperations | sed 's/\\0/\n/g' | sed 's/\\$//'; }
expect_pending() {  # WHEN WINDOWS-PATH: to be deleted at the next restart
  if grep -Fqxi "\\??\\$2" <<<"$(pending)"; then ok "$1: Windows deletes $2 at the next restart"
  else fail "$1: $2 is not in PendingFileRenameOperations:"; pending | sed 's/^/    /'; fi
}
# No operation at the next restart on a plug-in or document file that setup installs (nor, with
# "all", on the uninstaller and the folders, which an uninstaller run in place leaves for then).
expect_nothing_pending_on_installed() {  # WHEN [all]
  local ops path named=()
  ops=$(pending)
  local paths=("$dir64\\Starwright.dll" "$dir32\\Starwright.dll" "$dir64\\README.md" "$dir64\\LICENSE")
  [ "${2:-}" = all ] && paths+=("$dir64\\uninstall.exe" "$dir64" "$dir32")
  for path in "${paths[@]}"; do
    grep -Fqxi -e "\\??\\$path" -e "!\\??\\$path" <<<"$ops" && named+=("$path")
  done
  if [ ${#named[@]} = 0 ]; then ok "$1: nothing at the next restart touches what setup installs"
  else fail "$1: Windows is to delete or replace at the next restart: ${named[*]}"; fi
}
expect_bytes() {  # WINDOWS-PATH FILE WHAT
  if cmp -s "$(unix_path "$1")" "$2"; then ok "$1 is $3"; else fail "$1 is not $3"; fi
}
# The files set aside in the plug-in folders ("Starwright.dll.old-1", ...), by Windows path.
asides() {
  local dir file
  for dir in "$dir64" "$dir32"; do
    for file in "$(unix_path "$dir")"/*.old-*; do echo "$dir\\${file##*/}"; done
  done
}
expect_asides() {  # WHEN [WINDOWS-PATH...]: exactly these are set aside
  local when=$1 got want
  shift
  got=$(asides | sort)
  want=$(printf '%s\n' "$@" | sed '/^$/d' | sort)
  if [ "$got" = "$want" ]; then ok "$when: set aside: ${want:-nothing}"
  else fail "$when: set aside: '${got//$'\n'/ }', want '${want//$'\n'/ }'"; fi
}
# The installed version, whole: its files, its registration in both views, its "Apps & features"
# entry, a script host of each bitness creating it.
expect_installed() {  # VERSION DLL32 DLL64
  expect_bytes "$dir32\\Starwright.dll" "$2" "version $1's 32-bit DLL"
  expect_bytes "$dir64\\Starwright.dll" "$3" "version $1's 64-bit DLL"
  expect_value 32 "HKCR\\CLSID\\$clsid\\InprocServer32" "" "$dir32\\Starwright.dll"
  expect_value 64 "HKCR\\CLSID\\$clsid\\InprocServer32" "" "$dir64\\Starwright.dll"
  expect_value 64 "$uninstall_key" DisplayVersion "$1"
  expect_client 32 PASS
  expect_client 64 PASS
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
    if [ -e "$(unix_path "$dir")" ]; then fail "$dir is still there"; else ok "$dir is gone"; fi
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

echo "== version 0.90"
expect_exit 0 "version 0.90 installed" "$(setup_command "$out/older-setup.exe")"
expect_value 64 "$uninstall_key" DisplayVersion 0.90
cp "$(unix_path "$dir64\\uninstall.exe")" "$out/older-uninstall.exe"
quiet=$(value 64 "$uninstall_key" QuietUninstallString)
# Version 0.90 whole, as installed: nothing set aside, nothing left for the next restart.
expect_older() {  # WHEN
  echo "-- $1: version 0.90 is installed as it was"
  expect_installed 0.90 "$old32" "$old64"
  expect_bytes "$dir64\\uninstall.exe" "$out/older-uninstall.exe" "version 0.90's uninstaller"
  expect_bytes "$dir64\\README.md" "$older/README.md" "version 0.90's README"
  expect_asides "$1"
  expect_nothing_pending_on_installed "$1" all
}

echo "== a failed upgrade leaves 0.90 installed"
expect_exit 3 "an installer whose 64-bit plug-in cannot be registered reports it" "$(setup_command "$out/broken-setup.exe")"
expect_older "after the failed upgrade"

echo "== a program holds 0.90's 32-bit plug-in open, not letting it be renamed"
# The 64-bit one, set aside first, is put back when the 32-bit one turns out to be held.
hold open "$dir32\\Starwright.dll"
expect_exit 32 "setup says the file is in use" "$(setup_command "$setup")"
expect_exit 32 "the quiet uninstall command says the file is in use" "$quiet"
expect_older "while it is held"
release

echo "== upgrading while a host has 0.90 loaded"
# A value of the entry that setup does not write stays: setup writes over the entry in place.
tool 64 reg.exe add "$uninstall_key" /v Comments /d "added by an administrator" /f >/dev/null
hold image "$dir32\\Starwright.dll" "$dir64\\Starwright.dll"
expect_exit 3010 "version $version installed over 0.90; a restart deletes 0.90's files" "$(setup_command "$setup")"
expect_installed "$version" "$dll32" "$dll64"
expect_value 64 "$uninstall_key" Comments "added by an administrator"
expect_asides "over 0.90" "$dir32\\Starwright.dll.old-1" "$dir64\\Starwright.dll.old-1"
expect_bytes "$dir32\\Starwright.dll.old-1" "$old32" "version 0.90's 32-bit DLL"
expect_pending "over 0.90" "$dir32\\Starwright.dll.old-1"
expect_pending "over 0.90" "$dir64\\Starwright.dll.old-1"
expect_nothing_pending_on_installed "over 0.90" all
echo "-- and over itself, while the host still has 0.90 loaded"
expect_exit 3010 "version $version installed again; 0.90's set-aside files are still loaded" "$(setup_command "$setup")"
expect_asides "again over itself" "$dir32\\Starwright.dll.old-1" "$dir64\\Starwright.dll.old-1"
echo "-- and over itself, while a host has its 32-bit plug-in loaded"
hold image "$dir32\\Starwright.dll"
expect_exit 3010 "version $version installed over itself" "$(setup_command "$setup")"
expect_asides "over itself" "$dir32\\Starwright.dll.old-1" "$dir64\\Starwright.dll.old-1" "$dir32\\Starwright.dll.old-2"
expect_bytes "$dir32\\Starwright.dll.old-2" "$dll32" "version $version's 32-bit DLL"
expect_pending "over itself" "$dir32\\Starwright.dll.old-2"
expect_nothing_pending_on_installed "over itself" all
echo "-- after a restart"
restart
expect_installed "$version" "$dll32" "$dll64"
expect_asides "after a restart"
echo "-- and over itself with nothing loaded"
expect_exit 0 "version $version installed over itself" "$(setup_command "$setup")"
expect_asides "over itself"
expect_nothing_pending_on_installed "over itself" all

echo "== installed"
for f in "$dir64\\Starwright.dll" "$dir32\\Starwright.dll" "$dir64\\uninstall.exe" "$dir64\\README.md" "$dir64\\LICENSE"; do
  if [ -f "$(unix_path "$f")" ]; then ok "$f"; else fail "$f is missing"; fi
done
expect_bytes "$dir32\\Starwright.dll" "$dll32" "build/win32's"
expect_bytes "$dir64\\Starwright.dll" "$dll64" "build/win64's"
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
expect_value 64 "$uninstall_key" QuietUninstallString "\"$dir64\\uninstall.exe\" /S _?=$dir64"
size=$(value 64 "$uninstall_key" EstimatedSize)
[ $((size)) -gt 0 ] && ok "EstimatedSize = $((size)) KB" || fail "EstimatedSize is '$size'"

echo "== each bitness unregistered alone leaves the other working"
tool 64 regsvr32.exe /u /s "$dir64\\Starwright.dll" || fail "64-bit regsvr32 /u: exit $?"
expect_client 32 PASS
tool 64 regsvr32.exe /s "$dir64\\Starwright.dll" || fail "64-bit regsvr32: exit $?"
tool 32 regsvr32.exe /u /s "$dir32\\Starwright.dll" || fail "32-bit regsvr32 /u: exit $?"
expect_client 64 PASS
tool 32 regsvr32.exe /s "$dir32\\Starwright.dll" || fail "32-bit regsvr32: exit $?"
expect_client 32 PASS

echo "== uninstalling while a host has the plug-in loaded"
quiet=$(value 64 "$uninstall_key" QuietUninstallString)
hold image "$dir32\\Starwright.dll" "$dir64\\Starwright.dll"
expect_exit 3010 "the quiet uninstall command removes it; a restart deletes the loaded files" "$quiet"
expect_asides "uninstalled" "$dir32\\Starwright.dll.old-1" "$dir64\\Starwright.dll.old-1"
for f in "$dir64\\Starwright.dll" "$dir32\\Starwright.dll" "$dir64\\README.md" "$dir64\\LICENSE"; do
  if [ -e "$(unix_path "$f")" ]; then fail "$f is still there"; else ok "$f is gone"; fi
done
expect_client 32 FAIL
expect_client 64 FAIL
tool 64 reg.exe query "$uninstall_key" >/dev/null 2>&1 && fail "the Apps & features entry is still there" || ok "the Apps & features entry is gone"
for f in "$dir32\\Starwright.dll.old-1" "$dir64\\Starwright.dll.old-1" "$dir64\\uninstall.exe" "$dir32" "$dir64"; do
  expect_pending "uninstalled" "$f"
done
expect_nothing_pending_on_installed "uninstalled"
echo "-- and installed again before the restart"
# What an uninstaller that deleted a loaded plug-in by its own name at the next restart left, what
# one run in place from a short spelling of its folder ("C:\PROGRA~1\...") left on itself, and an
# operation of another program's, which must stay.
touch "$(unix_path 'C:\other.txt')"
wine "$helper" delete-at-restart "$dir32\\Starwright.dll" </dev/null || fail "helper delete-at-restart: exit $?"
short=$(winepath -s "$dir64\\uninstall.exe" | tr -d '\r')
[ "${short,,}" != "${dir64,,}\\uninstall.exe" ] && [ -n "$short" ] || fail "Wine gives no short name for $dir64\\uninstall.exe: '$short'"
wine "$helper" delete-at-restart "$short" </dev/null || fail "helper delete-at-restart: exit $?"
wine "$helper" delete-at-restart 'C:\other.txt' </dev/null || fail "helper delete-at-restart: exit $?"
expect_exit 3010 "version $version installed again; the host still has the removed one loaded" "$(setup_command "$setup")"
expect_nothing_pending_on_installed "installed again" all
expect_pending "installed again" "$dir32\\Starwright.dll.old-1"
expect_pending "installed again" 'C:\other.txt'
restart
expect_installed "$version" "$dll32" "$dll64"
expect_asides "after a restart"
[ -f "$(unix_path "$dir64\\uninstall.exe")" ] && ok "$dir64\\uninstall.exe is still there after the restart" || fail "Windows deleted $dir64\\uninstall.exe ($short) at the restart"
[ ! -e "$(unix_path 'C:\other.txt')" ] && ok "the other program's operation was done at the restart" || fail "C:\\other.txt is still there"

echo "== uninstalling with the quiet uninstall command"
quiet=$(value 64 "$uninstall_key" QuietUninstallString)
expect_exit 0 "uninstalled" "$quiet"
expect_client 32 FAIL
expect_client 64 FAIL
# Run in place, the uninstaller leaves itself, and so its folder, to the next restart.
expect_pending "uninstalled" "$dir64\\uninstall.exe"
export_registry "$out/after.reg"
expect_registry_as "$out/before.reg" "$out/after.reg" "after uninstalling and a restart"
expect_no_files

echo "== an installer whose 64-bit plug-in cannot be registered, with nothing installed"
expect_exit 3 "setup reports the failed registration" "$(setup_command "$out/broken-setup.exe")"
expect_no_files
export_registry "$out/rolled-back.reg"
expect_registry_as "$out/before.reg" "$out/rolled-back.reg" "after the failed install"

echo "== a setup cut off while it replaces 0.90"
expect_exit 0 "version 0.90 installed" "$(setup_command "$out/older-setup.exe")"
quiet=$(value 64 "$uninstall_key" QuietUninstallString)
# The power fails (every program of the prefix ends at once) as soon as setup has set a file aside.
run "$(setup_command "$setup")" > "$out/cut-off.log" &
cut=$!
aside=$(unix_path "$dir64\\Starwright.dll.old-1")
for _ in $(seq 1000); do [ -e "$aside" ] && break; sleep 0.01; done
wineserver -k
wait $cut
wineserver -w
# Where the run was cut off: a DLL it was writing may be there half written.
half=
for f in "$dir32|$dll32|$old32" "$dir64|$dll64|$old64"; do
  IFS='|' read -r folder newer earlier <<<"$f"
  own=$(unix_path "$folder\\Starwright.dll")
  [ -e "$own" ] && ! cmp -s "$own" "$newer" && ! cmp -s "$own" "$earlier" && half+="$folder\\Starwright.dll "
done
if [ -e "$aside" ] && [ ! -s "$out/cut-off.log" ]; then
  ok "setup cut off with these set aside: $(asides | tr '\n' ' ')${half:+and half written: $half}"
else
  fail "setup was not cut off while it replaced 0.90 (it printed '$(cat "$out/cut-off.log")')"
fi
# Both ways on from there start from the same state: what setup and the uninstallers read and
# change, the registry and the two folders.
state=(system.reg user.reg userdef.reg "drive_c/Program Files/Starwright" "drive_c/Program Files (x86)/Starwright")
tar -C "$WINEPREFIX" -cf "$out/cut-off.tar" "${state[@]}"
echo "-- setup run again"
expect_exit 0 "setup finishes the installation" "$(setup_command "$setup")"
expect_installed "$version" "$dll32" "$dll64"
expect_asides "after setup ran again"
echo "-- or, from the same state, version 0.90's uninstaller"
wineserver -w
(cd "$WINEPREFIX" && rm -rf "${state[@]}") && tar -C "$WINEPREFIX" -xf "$out/cut-off.tar"
expect_bytes "$dir64\\uninstall.exe" "$out/older-uninstall.exe" "version 0.90's uninstaller"
# It cannot load a half-written DLL to unregister it, and says so; it removes it all the same.
if [ -n "$half" ]; then expect_exit 3 "version 0.90's quiet uninstall command removes it" "$quiet"
else expect_exit 0 "version 0.90's quiet uninstall command removes it" "$quiet"; fi
export_registry "$out/cut-off-removed.reg"
expect_registry_as "$out/before.reg" "$out/cut-off-removed.reg" "after 0.90's uninstaller and a restart"
expect_no_files

echo "== on 32-bit Windows"
# A 32-bit prefix of its own: no Program Files (x86), no 64-bit plug-in; the 32-bit one and the
# uninstaller go into Program Files, registered with the one regsvr32 there is.
export WINEPREFIX=$root/$out/wine-prefix-32
starwright_session_note prefixes "$WINEPREFIX"
WINEARCH=win32 wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
expect_exit 0 "installed on 32-bit Windows" "$(setup_command "$setup")"
expect_bytes "$dir64\\Starwright.dll" "$dll32" "the 32-bit DLL"
[ ! -e "$(unix_path "$dir32")" ] && ok "no $dir32" || fail "$dir32 was made"
verdict=$(wine cscript.exe //nologo "$script" 2>&1 </dev/null | tr -d '\r')
case $verdict in PASS:*) ok "script host: $verdict" ;; *) fail "script host: '$verdict'" ;; esac
quiet=$(wine reg.exe query "$uninstall_key" /v QuietUninstallString 2>/dev/null </dev/null | tr -d '\r' | sed -n 's/^ *[^ ].*REG_SZ *//p')
expect_exit 0 "uninstalled" "$quiet"
wineserver -w
wine reg.exe query "HKCR\\CLSID\\$clsid" >/dev/null 2>&1 </dev/null && fail "the class is still registered" || ok "the class is unregistered"
wine reg.exe query "$uninstall_key" >/dev/null 2>&1 </dev/null && fail "the Apps & features entry is still there" || ok "the Apps & features entry is gone"
[ ! -e "$(unix_path "$dir64")" ] && ok "$dir64 is gone after a restart" || fail "$dir64 is still there after a restart"
wineserver -k
WINEPREFIX=$STARWRIGHT_WINEPREFIX wineserver -k

echo "installer: $passed passed, $failed failed"
[ $failed = 0 ]
