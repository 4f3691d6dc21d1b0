#!/usr/bin/env bash
# The Windows tests of both cross builds, the installer's and the release's, all three at once
# (`make test`, once the builds they need are done): the release test's second build keeps the
# cores busy while the other two mostly wait on Wine. Each writes a log of its own under
# build/test-logs, printed whole when it ends, always in this order; the status is a failure
# when any one failed.
#
# The installer's and the release's tests get virtual displays of their own (:80, :81), so
# that no window of theirs takes the keyboard focus from a window test; the Windows tests use
# the display the user gave, or :77.
set -u
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
# One session for all three: what any of them started is stopped when this script ends.
starwright_session_begin
logs=build/test-logs
rm -rf "$logs" && mkdir -p "$logs"

names=(windows installer release)
declare -A command=(
  [windows]="bash scripts/test-wine.sh build/win32 build/win64"
  [installer]="env -u DISPLAY STARWRIGHT_DISPLAY_NUMBER=80 bash dist/test_installer.sh"
  [release]="env -u DISPLAY STARWRIGHT_DISPLAY_NUMBER=81 bash dist/test_release.sh"
)
declare -A pid started
for name in "${names[@]}"; do
  started[$name]=$SECONDS
  ${command[$name]} >"$logs/$name.log" 2>&1 </dev/null &
  pid[$name]=$!
done

status=0
for name in "${names[@]}"; do
  wait "${pid[$name]}"
  result=$?
  echo "== $name tests (${command[$name]}): $( [ $result = 0 ] && echo passed || echo "FAILED, status $result")"
  cat "$logs/$name.log"
  [ $result = 0 ] || status=1
done
echo "test-windows: all three ended after $SECONDS s"
exit $status
