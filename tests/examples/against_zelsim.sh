#!/usr/bin/env bash
# Starts zelsim on a free loopback subnet, runs a host program against it
# with the host address and netmask zelsim prints, stops zelsim, and checks
# the program's output.
#   against_zelsim.sh ZELSIM ZELSIM_CHAIN EXPECTED PROGRAM [ARGS...]
# EXPECTED: extended regular expressions separated by ';', each of which
# some line of the output must match.
# ARGS may use @HOST@ and @NETMASK@.
set -euo pipefail
zelsim=$1 chain=$2 expected=$3
shift 3
log=$(mktemp)
out=$(mktemp)
"$zelsim" --chain "$chain" >"$log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$log" "$out"' EXIT
for _ in $(seq 100); do
    grep -q "host side" "$log" && break
    kill -0 $sim 2>/dev/null || { cat "$log"; exit 1; }
    sleep 0.05
done
host=$(sed -n 's/.*host side \([0-9.]*\) netmask \([0-9.]*\).*/\1/p' "$log")
netmask=$(sed -n 's/.*host side \([0-9.]*\) netmask \([0-9.]*\).*/\2/p' "$log")
[ -n "$host" ] || { echo "zelsim did not start:"; cat "$log"; exit 1; }
args=()
for a in "$@"; do
    a=${a//@HOST@/$host}
    args+=("${a//@NETMASK@/$netmask}")
done
status=0
"${args[@]}" >"$out" 2>&1 || status=$?
cat "$out"
[ $status -eq 0 ] || { echo "exit status $status"; exit 1; }
IFS=';' read -ra patterns <<<"$expected"
for p in "${patterns[@]}"; do
    grep -Eq "$p" "$out" || { echo "no line of the output matches: $p"; exit 1; }
done
