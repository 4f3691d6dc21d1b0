#!/usr/bin/env bash
# After the link of a DLL that carries plugin/runtime/: every POSIX thread function the link
# references (any function the compiler's thread library, winpthreads, defines) must resolve to
# the module's own, in posix_threads.cpp. A runtime that starts calling one we do not provide
# fails to link already (an undefined reference); this catches one that resolves elsewhere
# (winpthreads brought in after all, another library) or not at all (a weak reference). The
# linker's cross-reference table (-Map with --cref) names, for each symbol, the file defining
# it first. On failure the DLL is removed, so that the next build links and checks it again.
#   check_thread_functions.sh <dll> <link map> <libwinpthread.a> <nm>
set -u
dll=$1 map=$2 archive=$3 nm=$4

fail() {
  echo "check_thread_functions: $*" >&2
  rm -f "$dll"
  exit 1
}

names=$("$nm" -g --defined-only "$archive" 2>/dev/null | awk 'NF == 3 { print $3 }' | sort -u)
[ -n "$names" ] || fail "no symbols read from $archive"
# The table names symbols as C does, without the leading underscore of 32-bit symbols.
if grep -qx '_pthread_mutex_lock' <<<"$names"; then names=$(sed 's/^_//' <<<"$names"); fi

report=$(awk '
  FNR == NR { thread[$0] = 1; next }
  /^Cross Reference Table/ { table = 1; next }
  !table || /^Symbol[ \t]+File/ || /^[ \t]*$/ { next }
  function check(symbol, file) {
    if (!(symbol in thread)) return
    ++found
    if (file !~ /posix_threads\.cpp\.obj\)?$/) print symbol " resolves to " file
  }
  /^[^ \t]/ {
    symbol = $1
    file = $0; sub(/^[^ \t]+[ \t]*/, "", file)
    if (file == "") waiting = 1; else check(symbol, file)
    next
  }
  waiting { file = $0; sub(/^[ \t]+/, "", file); check(symbol, file); waiting = 0 }
  END { print "found " found + 0 }
' <(echo "$names") "$map") || fail "could not read $map"

found=$(sed -n 's/^found //p' <<<"$report")
wrong=$(grep -v '^found ' <<<"$report")
[ "$found" -gt 0 ] || fail "$map names no thread function: its cross-reference table is missing or unreadable"
[ -z "$wrong" ] || fail "thread functions that are not plugin/runtime/posix_threads.cpp's:
$wrong"
exit 0
