# Sourced by the scripts that run Windows programs: a private Wine prefix inside the build
# tree, a virtual display when none is set, and the Wine services started once, detached.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${STARWRIGHT_WINEPREFIX:-$root/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Gecko or Mono; and no winemenubuilder, which would copy a prefix's Start menu entries (the
# installer's guide) into the Unix user's desktop menus, outside the prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
unset WINEARCH
# Wine writes Unix file names in the charset of the Unix locale: without a UTF-8 one (a fresh
# root sets no LANG at all) it cannot make a file whose name goes beyond ASCII. C.UTF-8 is
# built into Debian's C library.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *.UTF-8 | *.utf8 | *.UTF8 | *.utf-8) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac

# A local display N is up when its lock names a running X server. A socket file alone proves
# nothing: one left behind by a server that has gone (a reboot, a restored snapshot of /tmp)
# still exists, and Wine then fails to create any window.
starwright_display_up() {
  local n=$1 pid stat
  [ -S /tmp/.X11-unix/X$n ] || return 1
  pid=$(tr -dc 0-9 < /tmp/.X$n-lock 2>/dev/null) || return 1
  [ -n "$pid" ] && stat=$(cat /proc/$pid/stat 2>/dev/null) || return 1
  # "pid (name) state ...": an X server that has not ended (a zombie has).
  case $stat in *"(X"*") "[!ZX]*) return 0 ;; *) return 1 ;; esac
}

starwright_display() {
  if [ -n "${DISPLAY:-}" ]; then
    # A display given by the user is used as it is, unless it is a local one that is not up.
    case $DISPLAY in
      :[0-9]*|unix:[0-9]*) local given=${DISPLAY#*:}; given=${given%%.*}
        starwright_display_up "$given" && return 0
        echo "wine-env: display $DISPLAY is not running; using a virtual display" >&2 ;;
      *) return 0 ;;
    esac
  fi
  local n=${STARWRIGHT_DISPLAY_NUMBER:-77}
  if ! starwright_display_up $n; then
    (flock 9
     if ! starwright_display_up $n; then
       rm -f /tmp/.X11-unix/X$n /tmp/.X$n-lock
       # The server must not inherit the lock, or it would hold it for as long as it runs.
       setsid Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 < /dev/null 9>&- &
       for _ in $(seq 200); do starwright_display_up $n && break; sleep 0.05; done
       if starwright_display_up $n; then
         starwright_session_note displays "$(tr -dc 0-9 < /tmp/.X$n-lock)"
       else
         echo "wine-env: the virtual display :$n did not start" >&2
       fi
     fi) 9>/tmp/.starwright-xvfb-$n.lock
  fi
  export DISPLAY=:$n
}

# A new prefix is a copy of one made once for the tree (the template): Wine's own set-up of a
# prefix takes some twenty seconds, a copy two, and a run of every test makes eight prefixes.
# Exported, so that a copy of the sources built by a test (the release's) uses it too.
export STARWRIGHT_WINE_TEMPLATE=${STARWRIGHT_WINE_TEMPLATE:-$root/build/wine-template}

# The files of a prefix that Wine only reads once the prefix is set up, nine tenths of its 1.3 GB:
# its DLLs, programs, drivers, code pages, type libraries and fonts. A copy shares them with the
# template as hard links; everything else (the registry, the .ini files, the users' folders) is
# copied. A program that wrote into a shared file would change the template and every other
# prefix: none does, as Wine writes its own files only when it sets up or updates a prefix (and
# a prefix made by another Wine than the template's is made anew), and installers and tests add
# files of their own names. starwright_template_unchanged checks that after a run.
starwright_shared_names=(dll exe drv nls msstyles ocx acm sys cpl tlb ds vxd fon ttf ttc com ax)
starwright_shared_find() {  # find's tests for those files
  local first=1 ext
  printf '%s\n' '('
  for ext in "${starwright_shared_names[@]}"; do
    [ $first = 1 ] || printf '%s\n' -o
    printf '%s\n' -iname "*.$ext"
    first=0
  done
  printf '%s\n' ')'
}

# Size and time of change of every shared file, as the template had them when it was made.
starwright_template_files() {  # TEMPLATE
  local tests
  mapfile -t tests < <(starwright_shared_find)
  (cd "$1" && find drive_c -type f "${tests[@]}" -printf '%s %T@ %p\n' | LC_ALL=C sort -k 3)
}

# Fails, naming them, when a shared file of the template is not as it was made.
starwright_template_unchanged() {
  local template=$STARWRIGHT_WINE_TEMPLATE changed
  [ -f "$template/.starwright-shared" ] || return 0
  changed=$(diff "$template/.starwright-shared" <(starwright_template_files "$template") | sed -n 's/^[<>] [^ ]* [^ ]* //p' | sort -u)
  [ -z "$changed" ] && return 0
  echo "wine-env: files of the Wine template $template were changed through a prefix that shares them:"
  echo "$changed" | head -n 20 | sed 's/^/  /'
  return 1
}

# The copy: the shared files as hard links, the rest copied. Where links cannot be made (a prefix
# on another file system than the template), a whole copy.
starwright_prefix_copy() {  # TEMPLATE PREFIX
  local from=$1 to=$2 tests excludes=() ext
  mapfile -t tests < <(starwright_shared_find)
  for ext in "${starwright_shared_names[@]}"; do excludes+=("--exclude=*.$ext"); done
  mkdir -p "$to" &&
  (cd "$from" && tar -c --exclude=./.starwright-shared --exclude=./.starwright-ready --ignore-case "${excludes[@]}" .) |
    tar -x -C "$to" &&
  (cd "$from" && find drive_c -type f "${tests[@]}" -print0 | xargs -0 -r cp -l --parents -t "$to" 2>/dev/null) ||
  { rm -rf "$to" && cp -a "$from" "$to" && rm -f "$to/.starwright-shared" "$to/.starwright-ready"; }
}

# A prefix is ready once made by the Wine installed now: its version is in the prefix's mark.
starwright_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  local version
  version=$(wine --version 2>/dev/null) || version=unknown
  (flock 9
   if [ "$(cat "$WINEPREFIX/.starwright-ready" 2>/dev/null)" != "$version" ]; then
     rm -rf "$WINEPREFIX"
     if [ "$WINEPREFIX" != "$STARWRIGHT_WINE_TEMPLATE" ]; then
       (export WINEPREFIX=$STARWRIGHT_WINE_TEMPLATE; starwright_prefix)
       starwright_prefix_copy "$STARWRIGHT_WINE_TEMPLATE" "$WINEPREFIX" &&
         echo "$version" > "$WINEPREFIX/.starwright-ready"
       starwright_session_note made "$WINEPREFIX"
     else
       wineboot -i >/dev/null 2>&1 < /dev/null
       wineserver -w
       # Without a window manager, every window close waits 2 s unless Wine manages its own windows.
       wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 < /dev/null
       wineserver -w
       starwright_prefix_fonts
       starwright_template_files "$WINEPREFIX" > "$WINEPREFIX/.starwright-shared"
       echo "$version" > "$WINEPREFIX/.starwright-ready"
     fi
   fi
   starwright_prefix_fonts) 9>"$WINEPREFIX.lock"
}

# Wine's own faces ("MS Sans Serif", Tahoma, ...) in the prefix's Fonts folder. Wine loads
# fonts only from there, from fontconfig's folders and from fonts named in the registry; the
# prefix's registry names sserife.fon for "MS Sans Serif", but Debian's fonts-wine installs its
# files to /usr/share/wine/fonts and the prefix set-up of this Wine does not copy them in. A
# request for "MS Sans Serif" then falls to fontconfig's nearest sans face, DejaVu Sans, which
# is a tenth (bold) to a fifth (regular) wider than the real face and clips the tool window's
# labels. Wine's sserife.fon is the raster face with the real one's metrics. Done for prefixes
# made before this step too.
starwright_prefix_fonts() {
  local from=${STARWRIGHT_WINE_FONTS:-/usr/share/wine/fonts} to=$WINEPREFIX/drive_c/windows/Fonts
  [ -f "$to/sserife.fon" ] && return 0
  if [ ! -f "$from/sserife.fon" ]; then
    echo "wine-env: Wine's fonts are not in $from (Debian package fonts-wine); labels will not look as on Windows" >&2
    return 0
  fi
  mkdir -p "$to" && cp "$from"/*.fon "$from"/*.ttf "$to"/
}

starwright_server() {
  # A persistent server with its services started once spares each program a slow start-up;
  # the session that started it stops it when the command that began the session ends. A server
  # already running (`wineserver -p` fails) is someone else's to stop.
  if wineserver -p >/dev/null 2>&1 < /dev/null; then
    starwright_session_note prefixes "$WINEPREFIX"
    wine cmd /c exit >/dev/null 2>&1 < /dev/null || true
  fi
}

# Debian's `wine` runs the 32-bit loader whenever wine32 is installed; a 64-bit program given by
# its file is handed on to the 64-bit loader, but a Windows system program (regsvr32, cscript,
# reg) is then always the 32-bit one. Those run with the 64-bit loader itself, wine64.
starwright_wine64() {
  local loader
  for loader in /usr/lib/wine/wine64 $(dpkg -L wine64 2>/dev/null | grep '/wine64$'); do
    [ -x "$loader" ] && { echo "$loader"; return 0; }
  done
  echo "wine-env: the 64-bit Wine loader (Debian package wine64) is missing; run 'make setup' as root" >&2
  return 1
}

# The bitness (32 or 64) of a Windows program or DLL, from the machine field of its PE header.
starwright_pe_bits() {
  local header machine
  header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') && [ -n "$header" ] || return 1
  machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d " ")
  case $machine in
    8664) echo 64 ;;
    014c) echo 32 ;;
    *) return 1 ;;
  esac
}

# For a bitness, the Wine loader that runs that bitness's system programs, and the folder they
# live in: in a 64-bit prefix the 32-bit tools are in syswow64, the 64-bit ones in system32.
starwright_wine_for() {
  if [ "$1" = 64 ]; then starwright_wine64; else echo wine; fi
}
starwright_system_dir() {
  if [ "$1" = 64 ]; then echo 'C:\windows\system32'; else echo 'C:\windows\syswow64'; fi
}

starwright_wine_ready() {
  starwright_session_begin
  starwright_display
  starwright_prefix
  starwright_server
}

# A command stops what it started before it returns. Its first script begins a session: a
# folder named by STARWRIGHT_SESSION, which every program it runs inherits (ctest, cmake, the
# scripts ctest runs), where each virtual display started and each prefix whose server was kept
# running is noted. When that first script exits, however it exits, the session stops exactly
# those: a display that was already up (the user's, or one another command started) is not
# its to stop. Scripts nested in a session leave the stopping to its owner: their own calls of
# starwright_session_end do nothing, since scripts that share a session may run side by side.
starwright_session_begin() {
  [ -n "${STARWRIGHT_SESSION:-}" ] && [ -d "$STARWRIGHT_SESSION" ] && return 0
  # A developer's own interactive shell keeps what it starts, as any shell does.
  case $- in *i*) return 0 ;; esac
  STARWRIGHT_SESSION=$(mktemp -d "${TMPDIR:-/tmp}/starwright-session.XXXXXX") || return 1
  STARWRIGHT_SESSION_OWNER=$$
  export STARWRIGHT_SESSION STARWRIGHT_SESSION_OWNER
  trap starwright_session_end EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# The long test runs remove, when their session ends, the prefixes made in it, once every part
# has ended (the test kit's test counts results the others wrote, but none in a prefix), unless
# STARWRIGHT_KEEP_PREFIXES=1 keeps them for a closer look. The template stays for the next run.
starwright_session_removes_prefixes() {
  [ -n "${STARWRIGHT_SESSION:-}" ] && [ -d "$STARWRIGHT_SESSION" ] && touch "$STARWRIGHT_SESSION/remove-prefixes"
}

starwright_session_note() {  # KIND VALUE
  [ -n "${STARWRIGHT_SESSION:-}" ] && [ -d "$STARWRIGHT_SESSION" ] || return 0
  grep -qsxF -- "$2" "$STARWRIGHT_SESSION/$1" || echo "$2" >> "$STARWRIGHT_SESSION/$1"
}

# The Wine processes that run in a prefix: its server, its services and its programs carry it
# in their environment (as do the shells that started them, which are not counted).
starwright_prefix_pids() {
  local p name
  for p in /proc/[0-9]*; do
    read -r name 2>/dev/null < "$p/comm" || continue
    case $name in wine* | *.exe) ;; *) continue ;; esac
    grep -qszxF -- "WINEPREFIX=$1" "$p/environ" 2>/dev/null && echo "${p#/proc/}"
  done
}

starwright_session_end() {
  # Every step is tried whatever the one before gave, also in a script run with `set -e`.
  local - session=${STARWRIGHT_SESSION:-} prefix pid
  set +e
  [ -n "$session" ] && [ -d "$session" ] && [ "${STARWRIGHT_SESSION_OWNER:-}" = $$ ] || return 0
  unset STARWRIGHT_SESSION
  while read -r prefix; do
    [ -d "$prefix" ] || continue
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 < /dev/null
    # The server's end takes its services with it, a moment later.
    for _ in $(seq 100); do [ -z "$(starwright_prefix_pids "$prefix")" ] && break; sleep 0.05; done
  done < <(cat "$session/prefixes" 2>/dev/null)
  while read -r pid; do
    # Only while that number still is the X server started (a number may be reused).
    case $(cat /proc/$pid/comm 2>/dev/null) in Xvfb) kill "$pid" 2>/dev/null ;; *) continue ;; esac
    for _ in $(seq 100); do [ -e /proc/$pid ] || break; sleep 0.05; done
  done < <(cat "$session/displays" 2>/dev/null)
  if [ -f "$session/remove-prefixes" ] && [ "${STARWRIGHT_KEEP_PREFIXES:-0}" != 1 ]; then
    while read -r prefix; do
      [ -n "$prefix" ] && [ -d "$prefix" ] && [ "$prefix" != "$STARWRIGHT_WINE_TEMPLATE" ] || continue
      if [ -n "$(starwright_prefix_pids "$prefix")" ]; then
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 < /dev/null
        for _ in $(seq 100); do [ -z "$(starwright_prefix_pids "$prefix")" ] && break; sleep 0.05; done
      fi
      rm -rf "$prefix" "$prefix.lock"
    done < <(cat "$session/made" 2>/dev/null)
  fi
  rm -rf "$session"
}
