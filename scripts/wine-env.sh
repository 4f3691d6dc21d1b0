# Sourced by the scripts that run Windows programs: a private Wine prefix inside the build
# tree, a virtual display when none is set, and the Wine services started once, detached.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${STARWRIGHT_WINEPREFIX:-$root/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset WINEARCH

starwright_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n=${STARWRIGHT_DISPLAY_NUMBER:-77}
  if [ ! -e /tmp/.X11-unix/X$n ]; then
    (flock 9
     if [ ! -e /tmp/.X11-unix/X$n ]; then
       # The server must not inherit the lock, or it would hold it for as long as it runs.
       setsid Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 < /dev/null 9>&- &
       for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
     fi) 9>/tmp/.starwright-xvfb-$n.lock
  fi
  export DISPLAY=:$n
}

starwright_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (flock 9
   if [ ! -f "$WINEPREFIX/.starwright-ready" ]; then
     rm -rf "$WINEPREFIX"
     wineboot -i >/dev/null 2>&1 < /dev/null
     wineserver -w
     # Without a window manager, every window close waits 2 s unless Wine manages its own windows.
     wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 < /dev/null
     wineserver -w
     touch "$WINEPREFIX/.starwright-ready"
   fi) 9>"$WINEPREFIX.lock"
}

starwright_server() {
  # A persistent server with its services started once spares each program a slow start-up.
  if wineserver -p >/dev/null 2>&1 < /dev/null; then
    wine cmd /c exit >/dev/null 2>&1 < /dev/null || true
  fi
}

starwright_wine_ready() {
  starwright_display
  starwright_prefix
  starwright_server
}
