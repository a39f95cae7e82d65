#!/usr/bin/env bash
# clang-tidy over the library's sources with the committed .clang-tidy (every
# finding fails), from the compile commands of a build folder:
#   scripts/tidy.sh [BUILD_DIR]        (default build/; configured if missing)
# The Windows platform files are checked by the Windows build, not here.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
command -v clang-tidy > /dev/null || {
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends clang-tidy > /dev/null
}
if [ ! -f "$build/compile_commands.json" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null
fi
# The generated version header must exist before the sources can be parsed.
cmake --build "$build" --target zel_static > /dev/null
mapfile -t files < <(git ls-files 'src/*.cpp' | grep -v '^src/platform/win32/' |
    grep -v '^src/station/zel_recorder_none.cpp')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${files[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet > "$log" 2> /dev/null || status=$?
if [ "$status" -ne 0 ] || grep -q 'warning:\|error:' "$log"; then
    grep -E 'warning:|error:' "$log" | sort -u >&2
    echo "tidy: findings in the library (see .clang-tidy for the checks)" >&2
    exit 1
fi
echo "tidy: ${#files[@]} files, no findings"
