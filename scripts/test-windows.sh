#!/usr/bin/env bash
# Runs the Windows build's tests under Wine (after scripts/build-windows.sh):
#   scripts/test-windows.sh [i686|x86_64]
# 1. the GoogleTest suites that need no simulator, the Winsock platform test
#    and the DLL export and calling-convention check (ctest in build-win-ARCH);
# 2. the Windows programs against a native zelsim on a subnet of its own: the
#    C and C++ examples, and zeltool.exe chain, discover --json, read and
#    program, each compared with what the Linux build prints.
# One persistent wineserver serves the whole lane; it is stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
arch=${1:-i686}
build=build-win-$arch
ship=$build/ship
[ -f "$ship/zel.dll" ] || { echo "test-windows: no $ship/zel.dll; run scripts/build-windows.sh $arch first" >&2; exit 1; }

case "$arch" in
    i686) export WINEARCH=win32 ;;
    x86_64) export WINEARCH=win64 ;;
    *) echo "test-windows: unknown architecture '$arch' (expected i686 or x86_64)" >&2; exit 2 ;;
esac
export WINEPREFIX=${ZEL_WINEPREFIX:-${ZEL_WIN_CACHE:-$HOME/.cache/zel-windows}/wine-$arch}
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k 2>/dev/null || true; [ -n "${sim_pid:-}" ] && kill "$sim_pid" 2>/dev/null || true' EXIT
wineboot -i > /dev/null 2>&1 || true
WINEPATH="$(winepath -w "$root/$ship")"
export WINEPATH

echo "test-windows: unit tests under Wine ($arch)"
ctest --test-dir "$build" --output-on-failure -j 2

# ---- against a native simulator --------------------------------------------
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build --target zelsim zeltool chain_c chain_cpp > /dev/null
work=$(mktemp -d)
sim_log=$work/zelsim.log
./build/sim/zelsim --chain default > "$sim_log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do grep -q 'host side' "$sim_log" && break; sleep 0.1; done
host=$(sed -n 's/.*host side \([0-9.]*\) netmask.*/\1/p' "$sim_log")
netmask=$(sed -n 's/.*host side [0-9.]* netmask \([0-9.]*\).*/\1/p' "$sim_log")
[ -n "$host" ] || { cat "$sim_log" >&2; exit 1; }
echo "test-windows: native zelsim at $host/$netmask"

failures=0
# check NAME PATTERN FILE: the output holds a line matching PATTERN.
check() {
    if grep -Eq "$2" "$3"; then echo "  ok   $1"; else
        echo "  FAIL $1: no line matching '$2' in:" >&2; sed 's/^/       /' "$3" >&2
        failures=$((failures + 1))
    fi
}
# same NAME A B: the two outputs agree, line ends aside.
same() {
    if diff <(tr -d '\r' < "$2") <(tr -d '\r' < "$3") > "$work/diff"; then echo "  ok   $1"; else
        echo "  FAIL $1: Windows and Linux differ:" >&2; sed 's/^/       /' "$work/diff" >&2
        failures=$((failures + 1))
    fi
}
win() { wine "$@" 2>&1 | tr -d '\r'; }
zt=(--local-ip "$host" --netmask "$netmask")

win "$build/examples/c/chain_c.exe" "$host" "$netmask" examples/config/chain.xml > "$work/c.txt" || true
check "C example: discovery" '^8 modules answered: [0-9.]+( [0-9.]+){7}$' "$work/c.txt"
check "C example: TTL positions" 'TTL module ZEL 4115 at' "$work/c.txt"
check "C example: configuration check" 'check: complete' "$work/c.txt"

win "$build/examples/cpp/chain_cpp.exe" "$host" "$netmask" examples/config/chain.xml > "$work/cpp.txt" || true
check "C++ example: ordered chain" '8 modules in physical order' "$work/cpp.txt"
check "C++ example: Kalix first" '^ 0 .*ZEL 4105.* mm' "$work/cpp.txt"

# The chain's table and the discovery records are the same on both builds;
# readings move, so only their shape is compared.
win "$ship/zeltool.exe" "${zt[@]}" chain > "$work/chain-win.txt" || true
./build/tools/zeltool "${zt[@]}" chain > "$work/chain-linux.txt" 2>/dev/null || true
same "zeltool chain (modules in order)" <(grep -v '^zeltool:' "$work/chain-win.txt" | sed -n '1,/^$/p') <(sed -n '1,/^$/p' "$work/chain-linux.txt")
win "$ship/zeltool.exe" "${zt[@]}" discover --json > "$work/discover-win.txt" || true
./build/tools/zeltool "${zt[@]}" discover --json > "$work/discover-linux.txt" 2>/dev/null || true
same "zeltool discover --json" <(grep -v '^zeltool:' "$work/discover-win.txt") "$work/discover-linux.txt"
ttl=$(awk '$3 == "ZEL" && $4 == "4115" { print $2; exit }' "$work/chain-linux.txt")
win "$ship/zeltool.exe" "${zt[@]}" read "$ttl" > "$work/read-win.txt" || true
check "zeltool read $ttl" '^  ch 0 +-?[0-9]+(\.[0-9]+)? counts' "$work/read-win.txt"
./build/tools/zeltool image build "$work/fw.dat" 2.4.0 > /dev/null
win "$ship/zeltool.exe" "${zt[@]}" program "$ttl" "$(winepath -w "$work/fw.dat")" --yes > "$work/program-win.txt" || true
check "zeltool program" 'firmware programmed; the module reports firmware 2.4.0' "$work/program-win.txt"

rm -rf "$work"
if [ "$failures" -ne 0 ]; then
    echo "test-windows: $failures check(s) failed" >&2
    exit 1
fi
echo "test-windows: all checks passed ($arch)"
