#!/usr/bin/env bash
# The check that follows every link of a DLL carrying plugin/runtime/
# (plugin/runtime/check_thread_functions.sh) passes Starwright.dll's real link, and fails, removing
# the DLL, a link where a thread function resolves to another file than posix_threads.cpp, and a
# link map without its cross-reference table.
#   runtime_link_check.sh <Starwright.map> <libwinpthread.a> <nm>
set -u
check=$(cd "$(dirname "$0")/../../plugin/runtime" && pwd)/check_thread_functions.sh
map=$1 archive=$2 nm=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# expect <pass|fail> <what> <map>
expect() {
  local want=$1 what=$2 given=$3 got=pass
  : > "$work/the.dll"
  bash "$check" "$work/the.dll" "$given" "$archive" "$nm" 2> "$work/said" || got=fail
  if [ "$got" != "$want" ]; then
    echo "FAIL: $what: the check said $got"; sed 's/^/  /' "$work/said"; status=1
  elif [ "$want" = fail ] && [ -e "$work/the.dll" ]; then
    echo "FAIL: $what: refused, but the DLL was left for the next build to take as checked"; status=1
  else
    echo "ok: $what: $got"
  fi
}

expect pass "the real link" "$map"
sed 's#^\(pthread_once  *\)[^ ].*posix_threads\.cpp\.obj)$#\1C:/lib/libwinpthread.a(thread.o)#' "$map" > "$work/elsewhere.map"
cmp -s "$map" "$work/elsewhere.map" && { echo "FAIL: the map has no pthread_once line to change"; status=1; }
expect fail "pthread_once from winpthreads" "$work/elsewhere.map"
sed '/^Cross Reference Table/,$d' "$map" > "$work/no-table.map"
expect fail "a map without its cross-reference table" "$work/no-table.map"
exit $status
