#!/usr/bin/env bash
# Checks what a user and a client developer get: the release folder from
# scripts/package.sh (every file in its place, the copied plugins still
# exporting only the entry points and importing only what they may), and the
# installed client library, used through find_package by a small program
# built against the install prefix alone (tests/install_consumer), on Linux
# and for Windows.
#
# Needs the three plugin builds: build/ (scripts/test.sh), build-windows/ and
# build-windows-i686/ (scripts/windows-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

./scripts/package.sh "$work/TARVOS"
expected="32/win.xpl
64/lin.xpl
64/win.xpl
INSTALL.txt
TARVOSOffsets.cfg
offsets.md"
found=$(cd "$work/TARVOS" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [ "$found" != "$expected" ]; then
  echo "the release folder holds:"; echo "$found"
  echo "instead of:"; echo "$expected"
  exit 1
fi
python3 scripts/check-pe.py "$work/TARVOS/64/win.xpl" XPLM_64.dll XPWidgets_64.dll
python3 scripts/check-pe.py "$work/TARVOS/32/win.xpl" XPLM.dll XPWidgets.dll
exports=$(nm -D --defined-only "$work/TARVOS/64/lin.xpl" | awk '{ print $3 }' | LC_ALL=C sort | xargs)
if [ "$exports" != "XPluginDisable XPluginEnable XPluginReceiveMessage XPluginStart XPluginStop" ]; then
  echo "the packaged lin.xpl exports: $exports"
  exit 1
fi
echo "release folder checked"

cmake --install build --prefix "$work/prefix" --component client >/dev/null
cmake -S tests/install_consumer -B "$work/consumer" \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" -j2
"$work/consumer/consumer"
# The same for Windows cockpit software, from the Windows build (built only:
# a cross build finds the package through its folder, since the toolchain
# confines package searches to the mingw root).
cmake --build --preset windows -j2 --target tarvos_client tarvos-client
cmake --install build-windows --prefix "$work/prefix-windows" --component client >/dev/null
cmake -S tests/install_consumer -B "$work/consumer-windows" \
  --toolchain "$PWD/cmake/mingw-w64-x86_64.cmake" \
  -Dtarvos_client_DIR="$work/prefix-windows/lib/cmake/tarvos_client" >/dev/null
cmake --build "$work/consumer-windows" -j2
[ -f "$work/consumer-windows/consumer.exe" ] || { echo "no consumer.exe"; exit 1; }
echo "installed client library checked (Linux, and Windows built)"
