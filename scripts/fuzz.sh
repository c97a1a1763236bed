#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: builds every fuzz target with clang and
# libFuzzer (plus AddressSanitizer and UBSan) in build/fuzz/, runs each for
# SECONDS (default 60) on its seed corpus, and prints executions and
# coverage per target. New inputs go to build/fuzz/corpus/NAME/, a failing
# input to build/fuzz/artifacts/; the seed corpora in the tree stay as they
# are. Exits non-zero when a target found a failure.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi

scripts/install-deps.sh  # clang and its libFuzzer runtime among the rest

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVERDANPOST_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_targets -j "${FUZZ_BUILD_JOBS:-2}"
mkdir -p "$build/artifacts" "$build/logs"

# A field of libFuzzer's output: the last "NAME: VALUE" on a status line.
last_field() { grep -E "^#[0-9]+" "$2" | grep -oE " $1: [0-9]+" | tail -n 1 | grep -oE "[0-9]+" || echo 0; }

failed=0
printf '%-24s %12s %10s %14s %8s  %s\n' target executions exec/s "cov (of edges)" corpus result
while read -r name binary seeds; do
  [ -n "$name" ] || continue
  corpus=$build/corpus/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus"
  result=ok
  # One input that runs for more than 10 s counts as a finding (a hang).
  "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-" "$corpus" "$seeds" >"$log" 2>&1 || result=FAILED
  execs=$(grep -oE "stat::number_of_executed_units: +[0-9]+" "$log" | grep -oE "[0-9]+$" || echo 0)
  rate=$(grep -oE "stat::average_exec_per_sec: +[0-9]+" "$log" | grep -oE "[0-9]+$" || echo 0)
  edges=$(grep -oE "Loaded [0-9]+ modules +\([0-9]+ inline 8-bit counters" "$log" |
    grep -oE "\([0-9]+" | tr -d '(' | head -n 1 || echo "?")
  printf '%-24s %12s %10s %14s %8s  %s\n' "$name" "$execs" "$rate" \
    "$(last_field cov "$log") ($edges)" "$(last_field corp "$log")" "$result"
  if [ "$result" = FAILED ]; then
    failed=1
    grep -E "property broken|ERROR:|SUMMARY|left:|right:|Test unit written" "$log" | head -n 12 | sed 's/^/    /'
    echo "    whole log: $log"
  fi
done <"$build/fuzz_targets.txt"
exit "$failed"
