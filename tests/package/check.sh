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

# A C host through pkg-config, as a plain C99 program: the C example.
libdir=$(dirname "$(find "$work/prefix" -name 'zel.pc' | head -n 1)")
PKG_CONFIG_PATH="$libdir" cc -std=c99 -Wall -Wextra -Werror -pedantic \
    "$source_dir/../../examples/c/chain_c.c" -o "$work/chain_c" $(PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs zel)
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/$(gcc -print-multiarch 2>/dev/null || true)" \
    "$work/chain_c" 2>/dev/null || [ $? -eq 2 ]  # no operands: its usage, exit 2
echo "installed package: C++ host via find_package, C host via pkg-config"
