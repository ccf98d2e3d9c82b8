#!/usr/bin/env bash
# Installs the build and test dependencies that a fresh Debian machine lacks.
set -euo pipefail
packages=(cmake g++ clang libclang-rt-14-dev llvm libgtest-dev libgmock-dev
          libbenchmark-dev python3 python3-pip python3-setuptools python3-wheel
          binutils mingw-w64 wine64 xvfb xauth ccache
          # The release archives and the check of the wheel they hold.
          zip unzip python3-venv
          # The programs beside the plugin: option parsing, HTTP and
          # WebSocket, JSON, MQTT (with a broker and its clients for the
          # tests), and a browser driven through WebDriver for the panel.
          libcli11-dev libboost-dev nlohmann-json3-dev
          libmosquitto-dev mosquitto mosquitto-clients
          chromium chromium-driver python3-selenium)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Elevated only when needed: a root-only machine has no sudo.
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then as_root=(sudo -E); fi
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
