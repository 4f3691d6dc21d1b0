#!/usr/bin/env bash
# Runs the Windows-side tests under Wine: a private prefix in build/, a virtual display when
# none is set, and the Wine services started once for the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
starwright_wine_ready
status=0
ctest --test-dir build/win32 --output-on-failure || status=$?
wineserver -k >/dev/null 2>&1 || true
exit $status
