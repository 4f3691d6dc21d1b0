#!/usr/bin/env bash
# The stand-in host with the plug-in. With a display it is interactive (menu Plug-ins); without
# one it runs on a virtual display, shows each of the three tools, saves a screenshot of each
# to build/demo/ and prints their paths.
set -euo pipefail
cd "$(dirname "$0")/.."
interactive=0
[ -n "${DISPLAY:-}" ] && interactive=1
# A display and prefix of the demo's own, so that nothing else on the screen gets into the
# pictures and the tests' registry stays the tests'.
export STARWRIGHT_DISPLAY_NUMBER=${STARWRIGHT_DEMO_DISPLAY:-78}
export STARWRIGHT_WINEPREFIX=${STARWRIGHT_WINEPREFIX:-$PWD/build/demo-prefix}
. scripts/wine-env.sh
starwright_wine_ready

dll=build/win32/plugin/Starwright.dll
host=build/win32/demo/stand_in_host.exe
wine 'C:\windows\syswow64\regsvr32.exe' /s "$(winepath -w "$dll")" </dev/null

if [ "$interactive" = 1 ]; then
  exec wine "$host"
fi

out=build/demo
rm -rf "$out" && mkdir -p "$out"
status=0
wine "$host" --tour "$(winepath -w "$out")" </dev/null || status=$?
[ -f "$out/tour.txt" ] && sed 's/^/  /' "$out/tour.txt"
if [ "$status" != 0 ]; then
  echo "demo: the tour did not finish (exit $status)" >&2
  exit 1
fi
for bmp in "$out"/*.bmp; do
  png=${bmp%.bmp}.png
  convert "$bmp" "$png" && rm -f "$bmp"
  echo "screenshot: $(realpath "$png")"
done
