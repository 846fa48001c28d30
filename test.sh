#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, starts the local
# PostgreSQL server, builds, and runs every test with CTest.
#   bash test.sh            normal build
#   bash test.sh --sanitize AddressSanitizer + UndefinedBehaviorSanitizer build
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup-machine.sh test
eval "$(bash .ci/pg_setup.sh)"
# The server is up: a test that cannot reach it fails instead of skipping.
export ZEPRINK_PG_REQUIRED=1
if [ "${1:-}" = "--sanitize" ]; then
  bash scripts/build.sh build-asan -DZEPRINK_TESTS=ON -DZEPRINK_SANITIZE=ON -DZEPRINK_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
    -DZEPRINK_WERROR=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ctest --test-dir build-asan --output-on-failure --timeout 1200 -j 2
else
  bash scripts/build.sh build -DZEPRINK_TESTS=ON -DZEPRINK_BENCH=ON -DZEPRINK_WERROR=ON
  ctest --test-dir build --output-on-failure --timeout 600 -j 2
fi
