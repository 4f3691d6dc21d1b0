#!/usr/bin/env bash
# Runs the Windows benchmarks of the cross build under Wine, one after the other: every
# *_bench.exe below build/win32/bench. A benchmark reports; a missed goal is printed, and the
# script's status says whether every benchmark met its goals.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
starwright_wine_ready
status=0
shopt -s nullglob
for bench in build/win32/bench/*_bench.exe; do
  echo "== $(basename "$bench" .exe) (Wine)"
  (cd "$(dirname "$bench")" && wine "./$(basename "$bench")" </dev/null) || status=1
done
exit $status
