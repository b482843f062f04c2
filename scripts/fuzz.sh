#!/usr/bin/env bash
# Builds the fuzz preset and runs each libFuzzer target in turn, for SECONDS
# each (default 60) or, with --runs N, for N inputs each, from a corpus kept in
# build/fuzz/corpus/ and seeded from the end-to-end suite's disk images.
# Prints every target's executions and coverage; fails on the first finding,
# whose input is kept in build/fuzz/findings/.
# Usage: fuzz.sh [SECONDS] | fuzz.sh --runs N
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

limit=(-max_total_time="${1:-60}")
if [[ ${1:-} == --runs ]]; then
  limit=(-runs="$2")
fi
targets=(RescueDiskFuzzer DriveRepliesFuzzer RescueKernelFuzzer)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

seeds=build/fuzz/seeds
if [[ ! -d $seeds ]]; then
  images=$(mktemp -d)
  trap 'rm -rf "$images"' EXIT
  bash tests/e2e/make-disks.sh "$images"
  python3 tests/fuzz/make-seeds.py "$images" "$seeds.new"
  mv "$seeds.new" "$seeds"
fi

mkdir -p build/fuzz/findings
for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  log=build/fuzz/$target.log
  mkdir -p "$corpus"
  # One process on one core, the targets one after the other: the machine is
  # shared. A chain of 100 EBRs needs about 7 KB of input.
  status=0
  "build/fuzz/tests/fuzz/$target" "${limit[@]}" -max_len=8192 -timeout=10 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/findings/ "$corpus" "$seeds/$target" \
    >"$log" 2>&1 || status=$?
  executions=$(awk '/stat::number_of_executed_units:/ { print $2 }' "$log")
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  seconds=$(awk '/stat::average_exec_per_sec:/ { print $2 }' "$log")
  printf '%-20s %12s executions  %5s coverage points  %7s exec/s\n' \
    "$target" "${executions:-?}" "${coverage:-?}" "${seconds:-?}"
  if ((status != 0)); then
    grep -E -A 20 'ERROR|Fuzzer.cpp:[0-9]+:' "$log" | head -n 40
    echo "$target: a finding (exit $status), input in build/fuzz/findings/, log in $log" >&2
    exit 1
  fi
done
