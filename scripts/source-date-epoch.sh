#!/usr/bin/env bash
# Prints the time every date in a build of Starwright comes from, in seconds since 1970 UTC
# (SOURCE_DATE_EPOCH), so that the same sources give the same bytes at any time:
#   - SOURCE_DATE_EPOCH itself, when it is set;
#   - else the time of the last commit, in a git checkout;
#   - else, in sources unpacked from `git archive` (a release's source tarball), the same
#     commit time, which git wrote into dist/commit-time (export-subst in .gitattributes);
#   - else the release date of the newest version in CHANGELOG.md, at 00:00 UTC.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  case $SOURCE_DATE_EPOCH in
    *[!0-9]*) echo "source-date-epoch: SOURCE_DATE_EPOCH='$SOURCE_DATE_EPOCH' is not a number of seconds" >&2; exit 1 ;;
  esac
  echo "$SOURCE_DATE_EPOCH"
  exit 0
fi
if [ -e "$root/.git" ]; then
  # A checkout whose history git cannot read (git missing, or a folder it does not trust) must
  # not quietly fall back to another date: that build would differ from every other of the commit.
  if epoch=$(git -C "$root" log -1 --format=%ct) && [ -n "$epoch" ]; then
    echo "$epoch"
    exit 0
  fi
  echo "source-date-epoch: $root is a git checkout, but git cannot read its last commit; set SOURCE_DATE_EPOCH" >&2
  exit 1
fi
epoch=
[ ! -f "$root/dist/commit-time" ] || epoch=$(tr -d '[:space:]' < "$root/dist/commit-time")
case $epoch in
  '' | *[!0-9]*) ;;
  *) echo "$epoch"; exit 0 ;;
esac
date=
[ ! -f "$root/CHANGELOG.md" ] ||
  date=$(sed -n '/^## \[[^]]*\] - \([0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}\)$/ { s//\1/p; q }' "$root/CHANGELOG.md")
if [ -z "$date" ]; then
  echo "source-date-epoch: no git history, no dist/commit-time and no dated version in CHANGELOG.md; set SOURCE_DATE_EPOCH" >&2
  exit 1
fi
date -u -d "$date" +%s
