#!/usr/bin/env bash
# Runs the libFuzzer targets built in build/fuzz. `fuzz.sh SECONDS` fuzzes each target for that
# long, growing its corpus in build/fuzz/corpus/<target>; `fuzz.sh --smoke` is the short,
# seeded run of `make test`: a fixed number of inputs from a fixed seed, no corpus kept.
# A finding stops the run with the fuzzer's report; its input is saved in build/fuzz/findings/.
# Each target's output is kept in build/fuzz/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:?usage: fuzz.sh SECONDS | --smoke}
bin=build/fuzz/fuzz
mkdir -p build/fuzz/findings
for target in window_fuzz number_text_fuzz; do
  if [ "$mode" = --smoke ]; then
    runs=20000
    [ "$target" = number_text_fuzz ] && runs=200000
    args=(-seed=1 -runs=$runs)
  else
    mkdir -p build/fuzz/corpus/$target
    args=(-max_total_time="$mode" -print_final_stats=1 build/fuzz/corpus/$target)
  fi
  echo "fuzz: $target ${args[*]}"
  log=build/fuzz/$target.log
  status=0
  "$bin/$target" -artifact_prefix=build/fuzz/findings/ "${args[@]}" >"$log" 2>&1 || status=$?
  grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
  if [ "$status" != 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzz: $target found a failure; its input is in build/fuzz/findings/, the whole log in $log" >&2
    exit 1
  fi
done
