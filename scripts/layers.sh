#!/usr/bin/env bash
# Fails when a file of the library includes a header of a layer above its own,
# or a class befriends a class of another layer (which then reaches into its
# internals). The layers, lowest first:
#
#   foundation            results, codes, conversions; and the module identity
#                         table (modules/module_id_table.h, module_identity.h),
#                         plain data that includes nothing, which every layer
#                         may know
#   platform              the system calls
#   transport             the exchange with one module
#   programming           the update procedure over one exchange
#   modules               one object per module kind; each owns an engine of
#                         the programming layer
#   chain                 the chain and its snapshots
#   config                the configuration file, on foundation (and Qt) only
#   capi, zellibrary.h    the C interface and the umbrella header, on top
#   station               src/station/, above chain and config
#
#   scripts/layers.sh [SOURCE_ROOT]     (ctest runs it as LayersOnlyCallDownward)
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
exec python3 - "$root" <<'EOF'
import pathlib, re, sys

root = pathlib.Path(sys.argv[1])
src = root / "src"

LIBRARY = ["foundation", "platform", "transport", "programming", "modules", "chain"]
# What each layer may include besides itself.
ALLOWED = {
    "foundation": set(),
    "platform": {"foundation"},
    "transport": {"foundation", "platform"},
    "programming": {"foundation", "platform", "transport"},
    "modules": {"foundation", "platform", "transport", "programming"},
    "chain": {"foundation", "platform", "transport", "programming", "modules"},
    "config": {"foundation"},
    "capi": set(LIBRARY) | {"config", "top"},
    "top": set(LIBRARY) | {"config", "capi"},
    "station": set(LIBRARY) | {"config", "top"},
}
# Files whose layer is not their folder's.
FILE_LAYER = {
    "modules/module_id_table.h": "foundation",
    "modules/module_identity.h": "foundation",
    "zellibrary.h": "top",
    "zel_version.h": "foundation",  # generated from foundation/zel_version.h.in
}
# Known climbs still being removed, each with the issue that removes it.
# An entry that no longer matches fails too, so the list only shrinks.
EXCEPTIONS = {}


def layer_of(rel):
    if rel in FILE_LAYER:
        return FILE_LAYER[rel]
    folder = rel.split("/", 1)[0]
    return folder if folder in ALLOWED else None


files = sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp", ".in") and p.is_file())
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
friend = re.compile(r"^\s*friend\s+(?:class|struct)\s+(\w+)\s*;")
definition = re.compile(r"^\s*(?:class|struct)\s+(?:ZEL_\w+\s+)?(\w+)\b[^;]*$")

# Which layer defines each class, for the friend check.
class_layer = {}
for path in files:
    rel = path.relative_to(src).as_posix()
    if path.suffix != ".h" or layer_of(rel) is None:
        continue
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        m = definition.match(line)
        if m:
            class_layer.setdefault(m.group(1), layer_of(rel))

problems, used = [], set()
for path in files:
    rel = path.relative_to(src).as_posix()
    mine = layer_of(rel)
    if mine is None:
        problems.append(f"src/{rel}: in no layer (add its folder to scripts/layers.sh)")
        continue
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        m = include.match(line)
        if m:
            target = m.group(1)
            theirs = layer_of(target)
            what = f'includes "{target}"'
            wrong = theirs is not None and theirs != mine and theirs not in ALLOWED[mine]
            why = f"{mine} reaches up into {theirs}"
        else:
            m = friend.match(line)
            if not m or m.group(1) not in class_layer:
                continue
            theirs = class_layer[m.group(1)]
            what = f"befriends {m.group(1)}"
            wrong = theirs != mine
            why = f"{theirs} reaches into the internals of {mine}"
        if theirs is None:
            problems.append(f"src/{rel}:{number}: {what}, which is in no layer")
        elif wrong:
            key = (rel, what)
            if key in EXCEPTIONS:
                used.add(key)
                continue
            problems.append(f"src/{rel}:{number}: {what}: {why}")

for key, why in EXCEPTIONS.items():
    if key not in used:
        problems.append(f"scripts/layers.sh: the exception for src/{key[0]} ({key[1]}) is gone; remove it")

for p in problems:
    print(p)
if problems:
    print(f"layers: {len(problems)} climbing dependencies")
    sys.exit(1)
print(f"layers: {len(files)} files, every include and friend points downward")
EOF
