#!/usr/bin/env bash
# Installs the Debian packages that one use of the tree needs, and only those:
#   bash scripts/setup-machine.sh build    compiler, CMake, the database client libraries
#   bash scripts/setup-machine.sh demo     build + the sqlite3 tool (demo.sh)
#   bash scripts/setup-machine.sh package  build + what cmake --install and cpack -G DEB need
#   bash scripts/setup-machine.sh test     everything: Ninja, PostgreSQL server, GoogleTest, clang,
#                                          Google Benchmark, libFuzzer (test.sh, CI; the default)
# Runs apt-get only when something is missing; needs root for that.
set -euo pipefail
use=${1:-test}
build=(build-essential cmake pkg-config libsqlite3-dev libpq-dev)
case "$use" in
  build) packages=("${build[@]}") ;;
  demo) packages=("${build[@]}" sqlite3) ;;
  package) packages=("${build[@]}" sqlite3 dpkg-dev man-db) ;;
  test) packages=("${build[@]}" sqlite3 dpkg-dev man-db ninja-build postgresql-15 postgresql-client-15
                  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev) ;;
  *) echo "setup-machine: unknown use '$use' (build, demo, package or test)" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  # Installing postgresql-15 may start its server, which would then keep our
  # standard output open for as long as it runs: whoever reads this script's
  # output would wait for its end forever. apt-get writes to a file instead.
  log=$(mktemp)
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
         "${missing[@]}" </dev/null >"$log" 2>&1; then
    cat "$log"; rm -f "$log"
    echo "setup-machine: apt-get install failed" >&2
    exit 1
  fi
  tail -n 3 "$log"; rm -f "$log"
fi
