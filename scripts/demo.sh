#!/usr/bin/env bash
# The stand-in host with the plug-in. With a display it is interactive (menu Plug-ins); without
# one it runs the unattended tour on a virtual display: the night's folder, a whole cool-down
# fast-forwarded, a header keyword; it prints the run's report and the paths of its five
# pictures in build/demo/.
#   scripts/demo.sh --docs   the tour, whatever the display, and its pictures of the tool window
#                            (one per tool) and of the stand-in host's cool-down to docs/
set -euo pipefail
cd "$(dirname "$0")/.."
docs=0
[ "${1:-}" = --docs ] && { docs=1; unset DISPLAY; }
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
  wine "$host"
  exit
fi

out=build/demo
rm -rf "$out" && mkdir -p "$out"
status=0
wine "$host" --tour "$(winepath -w "$out")" </dev/null || status=$?
# The report is written with Windows line ends.
[ -f "$out/tour.txt" ] && tr -d '\r' < "$out/tour.txt" > "$out/report.txt" && grep -v '^picture: ' "$out/report.txt" | sed 's/^/  /'
if [ "$status" != 0 ]; then
  echo "demo: the tour did not finish (exit $status)" >&2
  exit 1
fi
# The pictures in the order the tour took them.
for bmp in $(sed -n 's/^picture: //p' "$out/report.txt"); do
  png=$out/${bmp%.bmp}.png
  convert "$out/$bmp" "$png" && rm -f "$out/$bmp"
  echo "picture: $(realpath "$png")"
done

if [ "$docs" = 1 ]; then
  # The window is laid out in twips: the guide shows it as it is at Windows' usual 96 dpi.
  if ! grep -qx 'screen: 96 dpi' "$out/report.txt"; then
    echo "demo: the pictures for docs/ are taken at 96 dpi, and this screen has $(sed -n 's/^screen: //p' "$out/report.txt")" >&2
    exit 1
  fi
  # Small enough for the guide: a palette of 64 colours loses nothing a window shows.
  mkdir -p docs
  for picture in handy-path handy-start handy-fits host-cooldown; do
    # Without the times ImageMagick stamps into a PNG, the same pixels give the same file.
    convert "$out/$picture.png" -colors 64 -strip -define png:exclude-chunk=date,time "docs/$picture.png"
    echo "docs: docs/$picture.png ($(du -k "docs/$picture.png" | cut -f1) KB)"
  done
fi
