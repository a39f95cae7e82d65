#!/usr/bin/env bash
# Sets up a fresh machine, builds, and runs the main job: the command-line
# tool against a simulated chain on loopback (zeltool chain by default;
# any zeltool arguments replace it).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j "$(nproc)" --target zeltool zelsim
if [ $# -eq 0 ]; then set -- chain; fi
exec ./build/tools/zeltool "$@"
