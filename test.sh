#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, starts a PostgreSQL
# server of the tests' own (.ci/pg_private.sh: a cluster in a temporary
# directory, a unix socket only there; the machine's own cluster, its roles
# and ~/.pg_service.conf are not touched), builds, runs every test with
# CTest, and stops and removes the server.
#   bash test.sh            normal build
#   bash test.sh --sanitize AddressSanitizer + UndefinedBehaviorSanitizer build
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup-machine.sh test
pgdir=$(mktemp -d /tmp/zeprink-test-pg-XXXXXX)
trap 'bash .ci/pg_private.sh stop "$pgdir"' EXIT
eval "$(bash .ci/pg_private.sh start "$pgdir")"
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
