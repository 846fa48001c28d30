#!/usr/bin/env bash
# Installs what the build, the demo and the tests need (Debian packages).
# Runs apt-get only when something is missing; needs root for that.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config sqlite3 libsqlite3-dev libpq-dev
          postgresql-15 postgresql-client-15 googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev)
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
