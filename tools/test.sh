#!/usr/bin/env bash
# Configures, builds and runs every test from a fresh clone.
#   tools/test.sh              the release build (with benchmarks), in build/
#   tools/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANE_BUILD_BENCH=ON -DKELVANE_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DKELVANE_SANITIZE=ON -DKELVANE_WERROR=ON)
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" "${flags[@]}"
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"
