#!/usr/bin/env bash
# Runs the Windows-side tests under Wine, for each cross build given (default: both, build/win32
# and build/win64): a private prefix in build/, a virtual display when none is set, and the
# Wine services started once for the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
trees=("$@")
[ ${#trees[@]} -gt 0 ] || trees=(build/win32 build/win64)
for tree in "${trees[@]}"; do
  [ -f "$tree/CTestTestfile.cmake" ] || { echo "test-wine: $tree is not built (make cross cross64)" >&2; exit 1; }
done
case " ${trees[*]} " in *" build/win64 "*) starwright_wine64 >/dev/null ;; esac
starwright_wine_ready
starwright_session_removes_prefixes
status=0
for tree in "${trees[@]}"; do
  echo "== Windows tests in $tree"
  # Every GoogleTest program writes its results there (each run a file of its own), which the
  # test kit's test counts against.
  rm -rf "$tree/test-results" && mkdir -p "$tree/test-results"
  GTEST_OUTPUT="xml:$(winepath -w "$PWD/$tree/test-results")\\" ctest --test-dir "$tree" --output-on-failure || status=$?
done
exit $status
