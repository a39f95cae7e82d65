#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds and runs a host
# program against it with find_package(ZELlibrary).
set -euo pipefail
build_dir=$1
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" > /dev/null
cmake -S "$source_dir" -B "$work/host" -DCMAKE_PREFIX_PATH="$work/prefix" > /dev/null
cmake --build "$work/host" > /dev/null
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/$(gcc -print-multiarch 2>/dev/null || true)" \
    "$work/host/host"
