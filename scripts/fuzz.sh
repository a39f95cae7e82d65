#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and
# runs each for a bounded time on its checked-in seed corpus:
#   scripts/fuzz.sh [SECONDS]   (default 60 per target)
# New inputs go to a scratch folder; the checked-in corpus stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
missing=()
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=(); [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -q && "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEL_BUILD_FUZZ=ON -DZEL_BUILD_TESTS=OFF -DZEL_BUILD_BENCH=OFF > /dev/null
cmake --build build-fuzz -j "$(nproc)" --target config_fuzz image_fuzz decoders_fuzz answers_fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in config image decoders answers; do
    mkdir -p "$scratch/$target"
    echo "fuzz: ${target}_fuzz for ${seconds} s"
    ./build-fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 "$scratch/$target" "fuzz/corpus/$target" 2>&1 | tail -4
done
