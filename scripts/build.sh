#!/usr/bin/env bash
# Builds ZEPRINK into build/ (or the directory given) with extra CMake options.
#   ZEPRINK_TARGETS="zeprink zeprink-config" bash scripts/build.sh DIR ...  builds only those
# Uses Ninja where it is installed; an existing build directory keeps its generator.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
generator=()
if [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
cmake -S . -B "$dir" "${generator[@]}" "$@" >/dev/null
targets=()
for target in ${ZEPRINK_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
