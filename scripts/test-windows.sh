#!/usr/bin/env bash
# The Windows tests of each cross build, the installer's, the release's and the test kit's, all
# five at once (`make test`, once the builds they need are done): the release test's second build
# keeps the cores busy while the others mostly wait on Wine. The test kit's test counts against
# the results of the Windows tests of both builds and the installer's, so it is told when those
# have ended (a file it waits for). Each writes a log of its own under build/test-logs, printed
# whole when it ends, always in this order; the status is a failure when any one failed.
#
# Each has a Wine prefix of its own (the 64-bit build's Windows tests build/wine-prefix-64) and a
# display of its own, so that no window of one takes the keyboard focus from a window test of
# another: the 32-bit build's Windows tests use the display the user gave, or :77; the 64-bit
# build's :82, the installer's :80, the release's :81 and the kit's :83.
set -u
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
# One session for all five: what any of them started is stopped when this script ends, and the
# prefixes they made are removed.
starwright_session_begin
starwright_session_removes_prefixes
logs=build/test-logs
rm -rf "$logs" && mkdir -p "$logs"

# Each part, and what it is.
part_windows_32() { bash scripts/test-wine.sh build/win32; }
part_windows_64() {
  env -u DISPLAY STARWRIGHT_DISPLAY_NUMBER=82 STARWRIGHT_WINEPREFIX="$PWD/build/wine-prefix-64" \
    bash scripts/test-wine.sh build/win64
}
part_installer() { env -u DISPLAY STARWRIGHT_DISPLAY_NUMBER=80 bash dist/test_installer.sh; }
part_release() { env -u DISPLAY STARWRIGHT_DISPLAY_NUMBER=81 bash dist/test_release.sh; }
ready=$PWD/$logs/results-ready
part_kit() {
  env -u DISPLAY STARWRIGHT_DISPLAY_NUMBER=83 STARWRIGHT_KIT_RESULTS_READY="$ready" STARWRIGHT_KIT_RESULTS_FROM=$$ \
    bash dist/test_kit.sh
}
names=(windows_32 windows_64 installer release kit)
declare -A what=(
  [windows_32]="the Windows tests of build/win32"
  [windows_64]="the Windows tests of build/win64"
  [installer]="the installer's scenarios (make test-dist)"
  [release]="the release's tests (make test-release)"
  [kit]="the test kit's run under Wine's command prompt (dist/test_kit.sh)"
)

declare -A pid
for name in "${names[@]}"; do
  "part_$name" >"$logs/$name.log" 2>&1 </dev/null &
  pid[$name]=$!
done
declare -A result
for name in windows_32 windows_64 installer; do
  wait "${pid[$name]}"
  result[$name]=$?
done
touch "$ready"

status=0
for name in "${names[@]}"; do
  if [ -z "${result[$name]:-}" ]; then
    wait "${pid[$name]}"
    result[$name]=$?
  fi
  echo "== ${what[$name]}: $( [ ${result[$name]} = 0 ] && echo passed || echo "FAILED, status ${result[$name]}")"
  cat "$logs/$name.log"
  [ ${result[$name]} = 0 ] || status=1
done
echo "test-windows: all five ended after $SECONDS s"
# Their prefixes share the template's files: none may have changed it.
starwright_template_unchanged || status=1
exit $status
