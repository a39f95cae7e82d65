#!/usr/bin/env bash
# Cross-builds the Windows DLL on Debian 12 with MinGW-w64 and, with --test,
# runs the Windows tests under Wine against a native zelsim.
#
#   scripts/build-windows.sh [i686|x86_64] [--test]
#
# i686 (the default) is the 32-bit DLL hosts written for the original
# platform load; x86_64 is the 64-bit one. Steps:
#   1. apt-get what is missing (MinGW-w64 posix compilers, Wine, dpkg-dev);
#   2. Qt 6 Core+Xml for the target, built once from Debian's own qt6-base
#      source package (the host's Qt version) into a cache outside the tree:
#      ${ZEL_WIN_CACHE:-$HOME/.cache/zel-windows}/qt-VERSION-ARCH, reused
#      while the host Qt version stays the same;
#   3. the project in build-win-ARCH/ (library, zeltool.exe, examples, the
#      tests that run under Wine);
#   4. the ship folder build-win-ARCH/ship/: zel.dll, libzel.dll.a (import
#      library with the undecorated names resolved), zel.def, the headers
#      and every DLL the library needs at run time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

arch=i686
run_tests=0
for a in "$@"; do
    case "$a" in
        i686|x86_64) arch=$a ;;
        --test) run_tests=1 ;;
        -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
        *) echo "build-windows.sh: unknown argument '$a' (expected i686, x86_64 or --test)" >&2; exit 2 ;;
    esac
done
case "$arch" in
    i686) triplet=i686-w64-mingw32; pkgarch=i686; winepkg=wine32:i386 ;;
    x86_64) triplet=x86_64-w64-mingw32; pkgarch=x86-64; winepkg=wine64 ;;
esac

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

# ---- 1. packages ------------------------------------------------------------
./scripts/setup.sh
packages=(g++-mingw-w64-$pkgarch-posix mingw-w64-tools binutils-mingw-w64-$pkgarch
          dpkg-dev ninja-build cmake)
# Wine only to run the tests: the build itself runs nothing for the target.
[ "$run_tests" -eq 1 ] && packages+=(wine "$winepkg")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$run_tests" -eq 1 ] && [ "$arch" = i686 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo_cmd[@]}" dpkg --add-architecture i386
    fi
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# ---- 2. Qt Core+Xml for the target, cached ---------------------------------
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[+-].*//')
cache=${ZEL_WIN_CACHE:-$HOME/.cache/zel-windows}
qt_prefix=$cache/qt-$qt_version-$arch
# Where the host Qt keeps its CMake packages (Debian: the multiarch folder).
host_cmake=$(dirname "$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/Qt6HostInfo/Qt6HostInfoConfig.cmake$')")")
if [ ! -f "$qt_prefix/.complete" ]; then
    echo "build-windows: building Qt $qt_version Core+Xml for $triplet into $qt_prefix (once)"
    # deb-src entries for the mirror and suites the machine already uses.
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
        src=/etc/apt/sources.list.d/debian.sources
        [ -f "$src" ] || { echo "build-windows: no $src to derive deb-src entries from" >&2; exit 1; }
        sed 's/^Types: deb$/Types: deb-src/' "$src" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/zel-deb-src.sources > /dev/null
        "${sudo_cmd[@]}" apt-get update -q
    fi
    work=$cache/src-$arch
    rm -rf "$work" "$qt_prefix"
    mkdir -p "$work"
    (cd "$work" && apt-get source -q --download-only "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev)" > /dev/null \
        && dpkg-source -x qt6-base_*.dsc qt > /dev/null)
    mkdir -p "$work/build"
    (cd "$work/build" && ../qt/configure -prefix "$qt_prefix" -release -xplatform win32-g++ \
        -device-option CROSS_COMPILE=$triplet- -qt-host-path /usr \
        -no-gui -no-widgets -no-dbus -no-opengl -no-icu -no-openssl \
        -no-feature-network -no-feature-sql -no-feature-testlib -no-feature-concurrent \
        -qt-zlib -qt-pcre -qt-doubleconversion -nomake examples -nomake tests \
        -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" > configure.log 2>&1) \
        || { tail -30 "$work/build/configure.log" >&2; exit 1; }
    cmake --build "$work/build" --parallel "$(nproc)" > "$work/build.log" 2>&1 \
        || { tail -30 "$work/build.log" >&2; exit 1; }
    cmake --install "$work/build" > /dev/null
    touch "$qt_prefix/.complete"
    rm -rf "$work"
fi

# ---- 3. the project ---------------------------------------------------------
build=build-win-$arch
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_PREFIX_PATH="$qt_prefix" -DZEL_WINDOWS_QT="$qt_prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
    -DZEL_BUILD_BENCH=OFF > "$build.configure.log" || { cat "$build.configure.log" >&2; exit 1; }
rm -f "$build.configure.log"
cmake --build "$build" --parallel "$(nproc)"

# ---- 4. the ship folder -----------------------------------------------------
ship=$build/ship
rm -rf "$ship"
mkdir -p "$ship/include"
cmake --install "$build" --prefix "$build/install" > /dev/null
cp "$build/src/zel.dll" "$build/src/libzel.dll.a" "$build/src/zel.def" "$ship/"
cp -r "$build/install/include/zel" "$ship/include/"
cp "$build/tools/zeltool.exe" "$ship/"
# The station library (zeltool runs on it) and its import library.
cp "$build"/src/station/*.dll "$build"/src/station/*.dll.a "$ship/"
sysroot=/usr/lib/gcc/$triplet/$(ls /usr/lib/gcc/$triplet | grep posix | head -1)
for dll in Qt6Core.dll Qt6Xml.dll; do cp "$qt_prefix/bin/$dll" "$ship/"; done
for dll in libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    for dir in "$sysroot" /usr/$triplet/lib; do
        [ -f "$dir/$dll" ] && { cp "$dir/$dll" "$ship/"; break; }
    done
done
echo "build-windows: $ship holds zel.dll ($arch) and what it needs at run time"

# The export table, read without running anything: holds on every machine.
./scripts/check-dll-exports.sh "$arch"

if [ "$run_tests" -eq 1 ]; then
    # Wine's 32-bit loader is a 32-bit program; where the machine cannot run
    # one, say so plainly instead of failing at the first Wine call.
    if [ "$arch" = i686 ] && ! why=$(./scripts/can-run-32bit.sh); then
        echo "build-windows: this machine cannot run 32-bit programs ($why), so the i686 tests cannot run under Wine; the DLL is built and its exports checked. Run 'scripts/build-windows.sh x86_64 --test' for the tests under 64-bit Wine." >&2
        exit 1
    fi
    exec ./scripts/test-windows.sh "$arch"
fi
