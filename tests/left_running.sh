#!/usr/bin/env bash
# Runs a command and fails when it leaves running what it started: the Wine servers, Wine's
# services and programs of the prefixes inside this tree, and the virtual displays started for
# them, all of which carry such a prefix in their environment. What ran before the command is
# not its own and is not counted.
#   tests/left_running.sh COMMAND [ARGUMENT...]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)

running() {  # "pid command line" of each process of this tree's prefixes
  local p var
  for p in /proc/[0-9]*; do
    while IFS= read -r -d '' var; do
      case $var in
        "WINEPREFIX=$root/"*) echo "${p#/proc/} $(tr '\0' ' ' < "$p/cmdline" 2>/dev/null)"; break ;;
      esac
    done 2>/dev/null < "$p/environ"
  done | sort
}

before=$(running)
"$@"
status=$?
left=$(comm -13 <(echo "$before") <(running) | grep -v '^$')
if [ -n "$left" ]; then
  echo "FAIL: '$*' left $(echo "$left" | wc -l) processes running:"
  echo "$left" | sed 's/^/  /'
  [ $status = 0 ] && status=1
else
  echo "ok: '$*' left nothing running"
fi
exit $status
