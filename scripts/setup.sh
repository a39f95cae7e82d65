#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, test and benchmark
# the library. Uses apt-get only; safe to run again (installed packages are
# skipped).
set -euo pipefail

packages=(
  build-essential   # g++ 12, make
  cmake             # 3.25
  ninja-build
  pkg-config
  qt6-base-dev      # Qt 6 Core and Xml: configuration files, firmware image lines
  libgtest-dev      # GoogleTest
  libgmock-dev
  libbenchmark-dev  # Google Benchmark
  iproute2          # ip(8): loopback checks of the simulator
  python3           # the Python package zel and its tests
  python3-pytest
  man-db            # man -l: the test that renders zeltool's manual page
  tshark            # the Wireshark dissector's tests (Lua plugins)
  doxygen           # the API reference, built and checked for undocumented names
  libsqlite3-dev    # the station's recordings: one crash-safe file every data tool reads
  sqlite3           # the sqlite3 shell, to inspect recordings
  libmosquitto-dev  # zelstation's MQTT client: the broker's own C library, QoS 1, TLS, last will
  mosquitto         # the broker the station's tests start on loopback
  mosquitto-clients # mosquitto_sub/pub, to watch a station by hand
  python3-paho-mqtt # the station tests' subscriber
  libcpp-httplib-dev # zelstation's live page, JSON API and /metrics (one C++ header and library)
  chromium          # the live page's browser test, headless
  chromium-driver
  python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "setup: installed ${missing[*]}"
