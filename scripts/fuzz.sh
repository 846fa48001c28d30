#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a while on a copy of its
# kept inputs (tests/fuzz/corpus/<target>).
#   bash scripts/fuzz.sh            20 seconds a target (what CI runs)
#   bash scripts/fuzz.sh 3600       an hour a target
# An input that makes a target fail is copied into its corpus folder, where
# the regression test (tests/fuzz_regression_test.cpp) runs it in every
# build from then on; the script then fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DZEPRINK_FUZZ=ON -DZEPRINK_TESTS=OFF \
  -DZEPRINK_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPRINK_WERROR=ON
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in config cipher dialect dnl jobs; do
  mkdir -p "$work/$target" "$work/$target-found"
  cp tests/fuzz/corpus/"$target"/* "$work/$target/"
  echo "fuzz: $target for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1 \
       "build-fuzz/zeprink_fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
       -rss_limit_mb=2048 -artifact_prefix="$work/$target-found/" -print_final_stats=1 \
       "$work/$target" >"$work/$target.log" 2>&1; then
    tail -n 40 "$work/$target.log"
    for found in "$work/$target-found"/*; do
      [ -e "$found" ] || continue
      kept="tests/fuzz/corpus/$target/found-$(basename "$found")"
      cp "$found" "$kept"
      echo "fuzz: $target failed; the input is kept as $kept" >&2
    done
    status=1
  else
    grep -E 'stat::number_of_executed_units' "$work/$target.log" || true
  fi
done
exit $status
