#!/usr/bin/env bash
# Builds ZEPRINK into build/ (or the directory given) with extra CMake options.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
ninja -C "$dir" -j "$(nproc)"
