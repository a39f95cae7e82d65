#!/usr/bin/env bash
# Checks the export table of a cross-built zel.dll without running it, so it
# holds on every machine, also one that cannot run the DLL under Wine:
# every C name the header declares is exported, undecorated (a __stdcall
# function is exported as ZelModuleCreate, not _ZelModuleCreate@0), and the
# DLL exports no other C name (the documented C++ classes' members are
# exported too, under their mangled _Z names).
#   scripts/check-dll-exports.sh [i686|x86_64]
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-i686}
case "$arch" in
    i686) triplet=i686-w64-mingw32 ;;
    x86_64) triplet=x86_64-w64-mingw32 ;;
    *) echo "check-dll-exports: unknown architecture '$arch' (expected i686 or x86_64)" >&2; exit 2 ;;
esac
dll=build-win-$arch/src/zel.dll
names=build-win-$arch/src/capi_names.txt
for f in "$dll" "$names"; do
    [ -f "$f" ] || { echo "check-dll-exports: no $f; run scripts/build-windows.sh $arch first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# objdump -p lists the export names under "[Ordinal/Name Pointer] Table" as
# lines "[   N] Name".
"$triplet-objdump" -p "$dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\)$/\1/p' |
    sort -u > "$work/all"
grep -v '^_Z' "$work/all" > "$work/exported" || true
sort -u "$names" > "$work/declared"
status=0
decorated=$(grep -E '@[0-9]+$|^_' "$work/exported" || true)  # C++ names left out above
if [ -n "$decorated" ]; then
    echo "check-dll-exports: decorated names exported from $dll:" >&2
    echo "$decorated" | sed 's/^/  /' >&2
    status=1
fi
missing=$(comm -23 "$work/declared" "$work/exported")
if [ -n "$missing" ]; then
    echo "check-dll-exports: names the header declares that $dll does not export:" >&2
    echo "$missing" | sed 's/^/  /' >&2
    status=1
fi
extra=$(comm -13 "$work/declared" "$work/exported")
if [ -n "$extra" ]; then
    echo "check-dll-exports: names $dll exports that the header does not declare:" >&2
    echo "$extra" | sed 's/^/  /' >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "check-dll-exports: $dll ($arch) exports the header's $(wc -l < "$work/declared") C names, all undecorated, and $(grep -c '^_Z' "$work/all" || true) C++ members"
exit "$status"
