#!/usr/bin/env bash
# Starwright.dll as a file: it imports only Windows' KnownDLLs (the C++ runtime is linked in,
# so the host needs nothing installed beside it) and exports the four entry points under
# their undecorated names.
set -u
dll=$1
objdump=${2:-i686-w64-mingw32-objdump}  # the binutils of the DLL's bitness
dump=$("$objdump" -p "$dll") || { echo "FAIL: objdump could not read $dll"; exit 1; }
status=0

# The loader takes a KnownDLL from the system folder only (Windows 10's list is under
# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs); any other DLL it looks for
# first in the host's folder and in the folder the plug-in was copied to, where a planted copy
# would run inside an elevated regsvr32 and inside the host. These are the ones the module
# needs; anything else it loads from the system folder at run time.
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll ole32.dll oleaut32.dll msvcrt.dll "
while read -r name; do
  lower=$(echo "$name" | tr 'A-Z' 'a-z')
  case "$allowed" in
    *" $lower "*) echo "ok: imports $name" ;;
    *) echo "FAIL: imports $name, which the loader may take from the DLL's or the host's folder"; status=1 ;;
  esac
done < <(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')

# Each entry of the table is a line "[index] ... name": older binutils put the name right after the
# index, newer ones ("[   0] +base[   1] 0000 DllCanUnloadNow") the ordinal and hint between.
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^[[:space:]]*\[ *[0-9]+\] / { print $NF }' | sort)
expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" = "$expected" ]; then
  echo "ok: exports" $exports
else
  echo "FAIL: exports are:"; echo "$exports"; status=1
fi
exit $status
