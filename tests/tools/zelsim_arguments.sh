#!/usr/bin/env bash
# zelsim names the argument it refuses, with status 2, before it binds
# anything; --help prints the usage with status 0.
#   zelsim_arguments.sh ZELSIM
set -uo pipefail
zelsim=$1
failed=0
refuses() {  # EXPECTED-TEXT ARGS...
    local expected=$1 err status
    shift
    err=$(timeout 5 "$zelsim" "$@" 2>&1 >/dev/null)
    status=$?
    if [ $status -ne 2 ] || ! grep -qF "zelsim: $expected" <<<"$err"; then
        echo "zelsim $*: status $status, wanted 2 and 'zelsim: $expected'; it said:"
        echo "$err"
        failed=1
    fi
}
refuses "--subnet takes 2 to 254, not '12abc'" --subnet 12abc
refuses "--subnet needs a value" --subnet
refuses "--modules takes host numbers 2 to 254, not '5x'" --modules 4,5x
refuses "--modules names host 5 twice" --modules 5,5
refuses "--modules needs host numbers" --modules ""
refuses "--async-period takes 10 to 60000 ms, not '-5'" --async-period -5
refuses "--cpu takes a processor of this machine, not '4096'" --cpu 4096
refuses "--control takes stdin or a port 0 to 65535, not 'tty'" --control tty
refuses "unknown argument '--frobnicate'" --frobnicate
out=$(timeout 5 "$zelsim" --help) || { echo "zelsim --help: status $?"; failed=1; }
grep -q "^usage: zelsim" <<<"$out" || { echo "zelsim --help printed: $out"; failed=1; }
grep -q -- "--replay-step" <<<"$out" || { echo "zelsim --help does not tell --replay-step"; failed=1; }
exit $failed
