#!/usr/bin/env bash
# Installs the build and test dependencies that a fresh Debian machine lacks.
set -euo pipefail
packages=(cmake g++ clang libclang-rt-14-dev llvm libgtest-dev libgmock-dev
          libbenchmark-dev python3 python3-pip python3-setuptools python3-wheel
          binutils mingw-w64 wine64 xvfb xauth ccache)
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
