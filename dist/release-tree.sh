# What a release is built from, for dist/build.sh and the release's test (sourced).
#   release_commit DIR   the commit the sources are: git's HEAD when DIR is a git checkout of
#                        its own, or in sources unpacked from `git archive` the id git wrote
#                        into dist/commit-id; "unknown" otherwise
#   release_tracked DIR  "as committed" when every tracked file is as that commit has it (sources
#                        without git history of their own are an unpacked archive, which is the
#                        commit); "differ from the commit" otherwise, also when git cannot tell,
#                        and always when STARWRIGHT_NOT_A_RELEASE_BUILD is set (the release's
#                        test building a copy of a changed tree)

# DIR is the top of a git checkout (not a folder inside another one's tree).
release_checkout() {
  local top
  top=$(git -C "$1" rev-parse --show-toplevel 2>/dev/null) && [ "$top" = "$(cd "$1" && pwd -P)" ] &&
    git -C "$1" rev-parse --verify -q HEAD >/dev/null 2>&1
}

release_commit() {
  local id
  if release_checkout "$1"; then
    git -C "$1" rev-parse HEAD
  elif id=$(head -n 1 "$1/dist/commit-id" 2>/dev/null) && [[ $id =~ ^[0-9a-f]{40}$ ]]; then
    echo "$id"
  else
    echo unknown
  fi
}

release_tracked() {
  local changes
  if [ -z "${STARWRIGHT_NOT_A_RELEASE_BUILD:-}" ] &&
     { ! release_checkout "$1" ||
       { changes=$(git -C "$1" status --porcelain --untracked-files=no) && [ -z "$changes" ]; }; }; then
    echo "as committed"
  else
    echo "differ from the commit"
  fi
}
