#!/usr/bin/env bash
# Starwright.dll as a file: it imports Windows system DLLs only (the C++ runtime is linked in,
# so the host needs nothing installed beside it) and exports the four entry points under
# their undecorated names.
set -u
dll=$1
objdump=${2:-i686-w64-mingw32-objdump}  # the binutils of the DLL's bitness
dump=$("$objdump" -p "$dll") || { echo "FAIL: objdump could not read $dll"; exit 1; }
status=0

allowed=" kernel32.dll user32.dll gdi32.dll ole32.dll oleaut32.dll advapi32.dll msvcrt.dll comctl32.dll shell32.dll shlwapi.dll comdlg32.dll version.dll uxtheme.dll oleacc.dll "
while read -r name; do
  lower=$(echo "$name" | tr 'A-Z' 'a-z')
  case "$allowed" in
    *" $lower "*) echo "ok: imports $name" ;;
    *) echo "FAIL: imports $name, which is not a Windows system DLL"; status=1 ;;
  esac
done < <(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')

exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
expected=$(printf '%s\n' DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if [ "$exports" = "$expected" ]; then
  echo "ok: exports" $exports
else
  echo "FAIL: exports are:"; echo "$exports"; status=1
fi
exit $status
