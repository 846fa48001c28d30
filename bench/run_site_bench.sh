#!/usr/bin/env bash
# Whole runs of zeprink on a generated site, on the embedded database and on
# the local PostgreSQL server, against one-statement baselines run by sqlite3
# and psql (bench/site_bench.cpp).
#
#   bash bench/run_site_bench.sh                      # N = 10000 and 100000, this tree's build
#   bash bench/run_site_bench.sh --quick              # N = 10000 only
#   bash bench/run_site_bench.sh --zeprink /path/to/build/zeprink --sizes 10000,1000000
#   bash bench/run_site_bench.sh --quick --site-only  # the whole site in one zeprink-site run only
#
# Builds zeprink, zeprink-config, zeprink-site and zeprink-site-bench into
# build-release/ (Release) unless --zeprink names another build (its
# zeprink-config and zeprink-site beside it, or --zeprink-site PATH); starts
# the local PostgreSQL server with .ci/pg_setup.sh unless --no-pg. --site adds
# the whole site in one zeprink-site run against its jobs run separately,
# --site-only runs only that.
# Every other option goes to zeprink-site-bench (--help lists them). The
# tables go to standard output, progress to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."

args=()
zeprink=""
use_pg=1
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) args+=(--sizes 10000) ;;
    --zeprink) zeprink=$(realpath "$2"); shift ;;
    --zeprink-site) args+=(--zeprink-site "$(realpath "$2")"); shift ;;
    --no-pg) use_pg=0; args+=(--no-pg) ;;
    *) args+=("$1") ;;
  esac
  shift
done

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(zeprink-site-bench)
[ -n "$zeprink" ] || targets+=(zeprink zeprink-config zeprink-site)
ninja -C "$build" "${targets[@]}" >/dev/null
[ -n "$zeprink" ] || zeprink=$PWD/$build/zeprink

if [ "$use_pg" = 1 ]; then
  eval "$(bash .ci/pg_setup.sh)" || { echo "run_site_bench: no PostgreSQL server (use --no-pg to leave it out)" >&2; exit 1; }
fi

exec "$build/zeprink-site-bench" --zeprink "$zeprink" "${args[@]}"
