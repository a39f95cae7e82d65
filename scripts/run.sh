#!/usr/bin/env bash
# Sets up a fresh machine, builds, and runs the main job: the command-line
# tool against a simulated module on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target zeltool zelsim
exec ./build/tools/zeltool "${@:-ping}"
