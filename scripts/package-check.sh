#!/usr/bin/env bash
# The Debian packages as a user meets them: builds them with CPack, installs
# them into this machine with dpkg -i (then apt-get -f install from Debian's
# packages if needed), builds the C and C++ examples against the installed
# headers only, runs the installed zeltool and the Python package, and
# removes (purges) the packages again, checking that nothing is left in /usr
# and that the station service's settings left /etc.
#   scripts/package-check.sh        (needs root or sudo; uses build/)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh > /dev/null
sudo_cmd=(); [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr > /dev/null
cmake --build build -j "$(nproc)" > /dev/null
rm -f build/*.deb
(cd build && cpack -G DEB > /dev/null)
packages=(libzel2 libzel-dev zel-tools python3-zel zel-station)
debs=(build/libzel2_*.deb build/libzel-dev_*.deb build/zel-tools_*.deb build/python3-zel_*.deb
      build/zel-station_*.deb)
echo "package-check: built ${debs[*]}"
before=$(mktemp)
after=$(mktemp)
work=$(mktemp -d)
trap 'rm -rf "$before" "$after" "$work"' EXIT
find /usr -xdev | sort > "$before"
"${sudo_cmd[@]}" dpkg -i "${debs[@]}" > /dev/null || "${sudo_cmd[@]}" apt-get -f install -y -q > /dev/null

# Hosts built against the installed files only (no source tree on the paths).
cc -std=c99 -o "$work/chain_c" examples/c/chain_c.c $(pkg-config --cflags --libs zel)
c++ -std=c++17 -fPIC -o "$work/chain_cpp" examples/cpp/chain_cpp.cpp $(pkg-config --cflags --libs zel)
echo "package-check: C and C++ examples built against /usr/include/zel"
zeltool --version
zeltool chain > "$work/chain.txt" 2>&1
grep -q "ZEL 4116" "$work/chain.txt"
man -w zeltool > /dev/null
test -f /usr/share/bash-completion/completions/zeltool
test -f /usr/share/doc/libzel-dev/html/index.html
(cd "$work" && /usr/bin/python3 -B -c "import zel; print('python3-zel: library', zel.library_version())")
echo "package-check: zeltool chain ran on the embedded simulated chain"
zelstation --version
zelstation --settings /etc/zelstation/zelstation.conf --check
test -f /usr/lib/systemd/system/zelstation.service
man -w zelstation > /dev/null
echo "package-check: zelstation, its unit and its settings in /etc"

"${sudo_cmd[@]}" dpkg -P "${packages[@]}" > /dev/null
test ! -e /etc/zelstation/zelstation.conf
find /usr -xdev | sort > "$after"
left=$(comm -13 "$before" "$after" | grep -v -E '__pycache__' || true)
if [ -n "$left" ]; then
    printf 'package-check: left behind in /usr:\n%s\n' "$left"
    exit 1
fi
echo "package-check: removed cleanly"
