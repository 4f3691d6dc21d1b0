#!/usr/bin/env bash
# The size of what users get, against its goal: the shipped Starwright.dll of each cross build
# (debug information split off into Starwright.dll.debug beside it). A missed goal is
# printed, and the script's status says whether every goal was met.
set -uo pipefail
cd "$(dirname "$0")/.."
goal_kb=250  # the 32-bit DLL, the product; the 64-bit one is reported alongside
status=0
echo "== shipped sizes"
for tree in build/win32 build/win64; do
  dll=$tree/plugin/Starwright.dll
  if [ ! -f "$dll" ]; then
    echo "$dll: not built"
    status=1
    continue
  fi
  bytes=$(stat -c %s "$dll")
  line=$(printf '%-38s %8d bytes (%d KB)' "$dll" "$bytes" $(((bytes + 1023) / 1024)))
  if [ "$tree" = build/win32 ]; then
    if [ "$bytes" -le $((goal_kb * 1024)) ]; then
      line="$line  goal <= $goal_kb KB: met"
    else
      line="$line  goal <= $goal_kb KB: MISSED"
      status=1
    fi
  fi
  echo "$line"
  [ -f "$dll.debug" ] && printf '%-38s %8d bytes (symbols, not shipped)\n' "$dll.debug" "$(stat -c %s "$dll.debug")"
done
exit $status
