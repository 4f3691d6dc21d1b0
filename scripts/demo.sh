#!/usr/bin/env bash
# The stand-in host with the plug-in: interactive with a display, otherwise on a virtual one,
# saving a screenshot of each tool to build/demo/ and printing their paths.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "demo: the stand-in host is not built yet" >&2
exit 1
