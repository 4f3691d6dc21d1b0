#!/usr/bin/env bash
# The regsvr32 of the DLL's own bitness registers Starwright.dll: every key is read back in both
# registry views, each with the reg.exe of that view's bitness; the class is in this bitness's
# view only, the interface key in both. A script client of the DLL's bitness creates
# Starwright.PlugIn by ProgID and reads Name; regsvr32 /u leaves nothing in either view. After a
# step with a failure, both views are listed.
set -u
dll_unix=$1
script_unix=$2
. "$(dirname "$0")/../../scripts/wine-env.sh"
starwright_wine_ready

bits=$(starwright_pe_bits "$dll_unix") || { echo "FAIL: $dll_unix is not a Windows DLL"; exit 1; }
wine=$(starwright_wine_for "$bits") || exit 1
sys32=$(starwright_system_dir "$bits")
other=$((bits == 32 ? 64 : 32))
starwright_wine_for "$other" >/dev/null || exit 1
echo "ok: $bits-bit DLL, tools from $sys32"
dll=$(winepath -w "$dll_unix")
script=$(winepath -w "$script_unix")
clsid='{10BA7108-F8C0-468C-8079-6C3E7509CB33}'
libid='{AA2BC137-3E93-4844-A8EA-F84975A8BD6D}'
iid='{4154BE72-7E3F-4812-9152-C873A36A329A}'
keys=("HKCR\\CLSID\\$clsid" "HKCR\\Interface\\$iid" "HKCR\\TypeLib\\$libid" "HKCR\\Starwright.PlugIn")
status=0
step_failed=0
fail() { echo "FAIL: $*"; status=1; step_failed=1; }

# A key and everything below it as the given view (32 or 64) shows it: the reg.exe of that
# bitness reads its own view. Empty when the key is not there.
tree() {
  local listing
  listing=$("$(starwright_wine_for "$1")" "$(starwright_system_dir "$1")\\reg.exe" query "$2" /s 2>/dev/null </dev/null) &&
    printf '%s\n' "$listing" | tr -d '\r'
}
listed() { [ -n "$(tree "$1" "$2")" ]; }

# A value from a listing made by tree(); empty name = default value.
value_in() {
  printf '%s\n' "$1" | KEY="HKEY_CLASSES_ROOT\\${2#HKCR\\}" NAME="${3:-(Default)}" awk '
    /^HKEY_/ { inside = tolower($0) == tolower(ENVIRON["KEY"]); next }
    inside && $1 == ENVIRON["NAME"] { sub(/^ *[^ ]+ +REG_[A-Z_]+ */, ""); print; exit }'
}

expect_value() {  # VIEW LISTING KEY NAME WANT
  local got
  got=$(value_in "$2" "$3" "$4")
  # Windows paths compare without regard to case.
  if [ -n "$got" ] && [ "${got,,}" = "${5,,}" ]; then echo "ok: $1-bit view: $3 [${4:-default}] = $got"
  else fail "$1-bit view: $3 [${4:-default}] = '$got', want '$5'"; fi
}

# After a step with a failure, what both views hold.
list_views_if_failed() {
  [ $step_failed = 1 ] || return 0
  local view key
  for view in 32 64; do
    echo "-- the $view-bit view $1:"
    for key in "${keys[@]}"; do tree $view "$key"; done
  done
  step_failed=0
}

# A clean start, whatever an earlier run left.
"$wine" "$sys32\\regsvr32.exe" /u /s "$dll" >/dev/null 2>&1

"$wine" "$sys32\\regsvr32.exe" /s "$dll"
rc=$?
[ $rc -eq 0 ] && echo "ok: regsvr32 exit 0" || fail "regsvr32 exit $rc"

class=$(tree $bits "HKCR\\CLSID\\$clsid")
expect_value $bits "$class" "HKCR\\CLSID\\$clsid" "" "Starwright.PlugIn"
expect_value $bits "$class" "HKCR\\CLSID\\$clsid\\InprocServer32" "" "$dll"
expect_value $bits "$class" "HKCR\\CLSID\\$clsid\\InprocServer32" "ThreadingModel" "Apartment"
expect_value $bits "$class" "HKCR\\CLSID\\$clsid\\ProgID" "" "Starwright.PlugIn"
expect_value $bits "$class" "HKCR\\CLSID\\$clsid\\TypeLib" "" "$libid"
if listed $other "HKCR\\CLSID\\$clsid"; then fail "the class is registered in the $other-bit view too"
else echo "ok: the class is not in the $other-bit view"; fi
expect_value $bits "$(tree $bits 'HKCR\Starwright.PlugIn')" "HKCR\\Starwright.PlugIn\\CLSID" "" "$clsid"
library=$(tree $bits "HKCR\\TypeLib\\$libid")
expect_value $bits "$library" "HKCR\\TypeLib\\$libid\\2e.0" "" "Starwright"
expect_value $bits "$library" "HKCR\\TypeLib\\$libid\\2e.0\\0\\win$bits" "" "$dll"
# The interface key in both views, so that either bitness can marshal _PlugIn to the other.
for view in 32 64; do
  interface=$(tree $view "HKCR\\Interface\\$iid")
  expect_value $view "$interface" "HKCR\\Interface\\$iid" "" "_PlugIn"
  expect_value $view "$interface" "HKCR\\Interface\\$iid\\TypeLib" "" "$libid"
  expect_value $view "$interface" "HKCR\\Interface\\$iid\\TypeLib" "Version" "2e.0"
  # Dual interfaces are marshalled by the type library marshaller.
  expect_value $view "$interface" "HKCR\\Interface\\$iid\\ProxyStubClsid32" "" "{00020424-0000-0000-C000-000000000046}"
done
list_views_if_failed "after registering"

verdict=$("$wine" "$sys32\\cscript.exe" //nologo "$script" 2>&1 | tr -d '\r')
echo "$verdict"
case "$verdict" in
  PASS:*) ;;
  *) fail "script client" ;;
esac

"$wine" "$sys32\\regsvr32.exe" /u /s "$dll"
rc=$?
[ $rc -eq 0 ] && echo "ok: regsvr32 /u exit 0" || fail "regsvr32 /u exit $rc"
for view in 32 64; do
  for key in "${keys[@]}"; do
    if listed $view "$key"; then fail "$view-bit view: $key still present after unregistering"
    else echo "ok: $view-bit view: $key removed"; fi
  done
done
list_views_if_failed "after unregistering"

# Unregistering what is not registered is not a failure.
"$wine" "$sys32\\regsvr32.exe" /u /s "$dll"
rc=$?
[ $rc -eq 0 ] && echo "ok: second regsvr32 /u exit 0" || fail "second regsvr32 /u exit $rc"
exit $status
