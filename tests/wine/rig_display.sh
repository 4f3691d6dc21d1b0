#!/usr/bin/env bash
# The test rig's virtual display: a server that has gone leaves its socket and lock behind
# (killed, or /tmp restored from a snapshot); the rig must start a new one rather than hand
# Wine a display nobody answers on, where every window creation fails.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
n=${1:-${STARWRIGHT_RIG_DISPLAY:-79}}
status=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; status=1; fi; }
server_pid() { tr -dc 0-9 < /tmp/.X$n-lock 2>/dev/null; }

leave_a_dead_server() {
  Xvfb :$n -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 < /dev/null &
  local pid=$!
  for _ in $(seq 200); do [ -S /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
  kill -9 $pid; wait $pid 2>/dev/null
}

rig() {  # the rig's display choice in a shell of its own; prints the DISPLAY it settled on
  (unset DISPLAY; [ $# -gt 0 ] && export DISPLAY=$1
   export STARWRIGHT_DISPLAY_NUMBER=$n
   . "$root/scripts/wine-env.sh"
   starwright_display 2>/dev/null && echo "$DISPLAY")
}

leave_a_dead_server
check "a killed server leaves its socket and lock" "[ -S /tmp/.X11-unix/X$n ] && [ -f /tmp/.X$n-lock ]"
check "the rig sees that server as gone" "! (. '$root/scripts/wine-env.sh'; starwright_display_up $n)"
check "without DISPLAY the rig settles on :$n" "[ \"\$(rig)\" = :$n ]"
check "and a server answers there" "(. '$root/scripts/wine-env.sh'; starwright_display_up $n)"
first=$(server_pid)
check "a live server is kept, not started twice" "[ \"\$(rig)\" = :$n ] && [ \"\$(server_pid)\" = '$first' ]"
kill -9 "$first" 2>/dev/null; sleep 0.1
check "a DISPLAY that names a dead local server is replaced by a live one" \
  "[ \"\$(rig :$n.0)\" = :$n ] && (. '$root/scripts/wine-env.sh'; starwright_display_up $n)"
check "a remote DISPLAY is left to the user" "[ \"\$(rig otherhost:3)\" = otherhost:3 ]"

pid=$(server_pid); [ -n "$pid" ] && kill "$pid" 2>/dev/null
exit $status
