#!/usr/bin/env bash
# The regsvr32 of the DLL's own bitness registers Starwright.dll: every key is read back with
# the reg.exe of that bitness (its registry view), a script client of that bitness creates
# Starwright.PlugIn by ProgID and reads Name; regsvr32 /u removes every key again.
set -u
dll_unix=$1
script_unix=$2
. "$(dirname "$0")/../../scripts/wine-env.sh"
starwright_wine_ready

bits=$(starwright_pe_bits "$dll_unix") || { echo "FAIL: $dll_unix is not a Windows DLL"; exit 1; }
wine=$(starwright_wine_for "$bits") || exit 1
sys32=$(starwright_system_dir "$bits")
echo "ok: $bits-bit DLL, tools from $sys32"
dll=$(winepath -w "$dll_unix")
script=$(winepath -w "$script_unix")
clsid='{10BA7108-F8C0-468C-8079-6C3E7509CB33}'
libid='{AA2BC137-3E93-4844-A8EA-F84975A8BD6D}'
iid='{4154BE72-7E3F-4812-9152-C873A36A329A}'
status=0
fail() { echo "FAIL: $*"; status=1; }

# The value of a registry entry as the 32-bit view shows it; empty name = default value.
value() {
  local key=$1 name=$2 out
  if [ -z "$name" ]; then
    out=$("$wine" "$sys32\\reg.exe" query "$key" /ve 2>/dev/null | tr -d '\r') || return 1
  else
    out=$("$wine" "$sys32\\reg.exe" query "$key" /v "$name" 2>/dev/null | tr -d '\r') || return 1
  fi
  echo "$out" | sed -n 's/^ *[^ ].*REG_[A-Z_]* *//p' | head -n 1
}
key_exists() { "$wine" "$sys32\\reg.exe" query "$1" >/dev/null 2>&1; }

expect_value() {
  local key=$1 name=$2 want=$3 got
  if ! got=$(value "$key" "$name"); then fail "$key [$name] missing"; return; fi
  # Windows paths compare without regard to case.
  if [ "${got,,}" = "${want,,}" ]; then echo "ok: $key [${name:-default}] = $got"
  else fail "$key [${name:-default}] = '$got', want '$want'"; fi
}

# A clean start, whatever an earlier run left.
"$wine" "$sys32\\regsvr32.exe" /u /s "$dll" >/dev/null 2>&1

"$wine" "$sys32\\regsvr32.exe" /s "$dll"
rc=$?
[ $rc -eq 0 ] && echo "ok: regsvr32 exit 0" || fail "regsvr32 exit $rc"

expect_value "HKCR\\CLSID\\$clsid" "" "Starwright.PlugIn"
expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" "" "$dll"
expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" "ThreadingModel" "Apartment"
expect_value "HKCR\\CLSID\\$clsid\\ProgID" "" "Starwright.PlugIn"
expect_value "HKCR\\CLSID\\$clsid\\TypeLib" "" "$libid"
expect_value "HKCR\\Starwright.PlugIn\\CLSID" "" "$clsid"
expect_value "HKCR\\TypeLib\\$libid\\2e.0" "" "Starwright"
expect_value "HKCR\\TypeLib\\$libid\\2e.0\\0\\win$bits" "" "$dll"
expect_value "HKCR\\Interface\\$iid" "" "_PlugIn"
expect_value "HKCR\\Interface\\$iid\\TypeLib" "" "$libid"
expect_value "HKCR\\Interface\\$iid\\TypeLib" "Version" "2e.0"
# Dual interfaces are marshalled by the type library marshaller.
expect_value "HKCR\\Interface\\$iid\\ProxyStubClsid32" "" "{00020424-0000-0000-C000-000000000046}"

verdict=$("$wine" "$sys32\\cscript.exe" //nologo "$script" 2>&1 | tr -d '\r')
echo "$verdict"
case "$verdict" in
  PASS:*) ;;
  *) fail "script client" ;;
esac

"$wine" "$sys32\\regsvr32.exe" /u /s "$dll"
rc=$?
[ $rc -eq 0 ] && echo "ok: regsvr32 /u exit 0" || fail "regsvr32 /u exit $rc"
for key in "HKCR\\CLSID\\$clsid" "HKCR\\Starwright.PlugIn" "HKCR\\TypeLib\\$libid" "HKCR\\Interface\\$iid"; do
  if key_exists "$key"; then fail "$key still present after unregistering"; else echo "ok: $key removed"; fi
done

# Unregistering what is not registered is not a failure.
"$wine" "$sys32\\regsvr32.exe" /u /s "$dll"
rc=$?
[ $rc -eq 0 ] && echo "ok: second regsvr32 /u exit 0" || fail "second regsvr32 /u exit $rc"
exit $status
