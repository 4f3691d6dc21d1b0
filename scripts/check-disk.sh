#!/usr/bin/env bash
# Before a long run: stops it at once, saying what it needs, when the file system of build/ has
# too little room for it. What build/ holds already (the build trees and the Wine template a run
# reuses) counts toward the run's need; the prefixes and the release test's second build are made
# and removed during the run, so some room is needed however full build/ is.
#   scripts/check-disk.sh WHAT   (test: make test; windows: make test-windows)
set -u
cd "$(dirname "$0")/.."
# Megabytes in build/ at a run's busiest moment, from a clean clone, and the least free room any
# run needs (measured on Debian 12 and 13, with some room to spare).
case ${1:-} in
  test) full=4000 least=1300 ;;
  windows) full=3800 least=1300 ;;
  *) echo "usage: scripts/check-disk.sh test|windows" >&2; exit 2 ;;
esac
mkdir -p build
have=$(du -sm build 2>/dev/null | cut -f1)
free=$(df -Pm build | awk 'NR == 2 { print $4 }')
need=$((full - ${have:-0}))
[ "$need" -ge "$least" ] || need=$least
[ -n "$free" ] && [ "$free" -lt "$need" ] || exit 0
gb() { awk -v mb="$1" 'BEGIN { printf "%.1f GB", mb / 1024 }'; }
where=$(df -P build | awk 'NR == 2 { print $6 }')
echo "make: not enough disk for this run: it needs about $(gb "$need") free on $where (where build/ is), and $(gb "$free") are free." >&2
echo "      Free some room (a build tree it does not use, 'make clean' for a build from scratch) and run it again." >&2
exit 1
