#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs the whole test suite.
#   scripts/test.sh              release build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

if [ "${1:-}" = "--sanitize" ]; then
    dir=build-asan
    flags=(-DZEL_SANITIZE=ON -DZEL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
else
    dir=build
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}"
cmake --build "$dir" -j "$(nproc)"
# Each test runs in its own process on its own loopback subnet, so they run
# in parallel; the slow ones wait out fixed protocol delays, not the CPU.
ctest --test-dir "$dir" --output-on-failure -j 8
