#!/usr/bin/env bash
# Assembles the release folder TARVOS/ as a user copies it into the
# simulator's Resources/plugins/:
#
#   TARVOS/64/lin.xpl          Linux, 64-bit         (from build/)
#   TARVOS/64/win.xpl          Windows, 64-bit       (from build-windows/)
#   TARVOS/32/win.xpl          Windows, 32-bit       (from build-windows-i686/)
#   TARVOS/TARVOSOffsets.cfg   example user offsets  (examples/)
#   TARVOS/offsets.md          the offsets reference (docs/offsets.md)
#   TARVOS/INSTALL.txt         the install note      (docs/INSTALL.txt)
#
# Usage: scripts/package.sh [--build] [OUTPUT]   (OUTPUT defaults to out/TARVOS)
#
# The plugins must have been built (scripts/test.sh, scripts/windows-check.sh);
# --build builds the three first. TARVOS_BUILD_LINUX, TARVOS_BUILD_WINDOWS
# and TARVOS_BUILD_WINDOWS_I686 name other build folders to take them from
# (scripts/release.sh builds its own). A missing or wrong binary stops the script
# with an error. The copies lose their debug information, nothing else.
set -euo pipefail
cd "$(dirname "$0")/.."

build=0
if [ "${1:-}" = "--build" ]; then
  build=1
  shift
fi
out=${1:-out/TARVOS}
if [ "$(basename "$out")" != "TARVOS" ]; then
  echo "package.sh: the output folder must be called TARVOS (got $out)" >&2
  exit 2
fi

linux=${TARVOS_BUILD_LINUX:-build}
windows=${TARVOS_BUILD_WINDOWS:-build-windows}
windows_i686=${TARVOS_BUILD_WINDOWS_I686:-build-windows-i686}

if [ "$build" = 1 ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j2 --target tarvos_plugin tarvos-client
  [ -f build-windows/CMakeCache.txt ] || cmake --preset windows -DTARVOS_BUILD_TESTS=OFF >/dev/null
  cmake --build --preset windows -j2 --target tarvos_plugin
  cmake --preset windows-i686 >/dev/null
  cmake --build --preset windows-i686 -j2 --target tarvos_plugin
fi

fail() {
  echo "package.sh: $*" >&2
  exit 1
}

# Each plugin, where it is built and the object format it must have (a
# 32-bit DLL in the 64 folder would never load).
plugins=(
  "64/lin.xpl $linux/TARVOS/64/lin.xpl elf64-x86-64 strip"
  "64/win.xpl $windows/TARVOS/64/win.xpl pei-x86-64 x86_64-w64-mingw32-strip"
  "32/win.xpl $windows_i686/TARVOS/32/win.xpl pei-i386 i686-w64-mingw32-strip"
)
for entry in "${plugins[@]}"; do
  read -r name from format _ <<<"$entry"
  [ -f "$from" ] || fail "$from is missing: build it first (or run scripts/package.sh --build)"
  objdump -f "$from" | grep -q "file format $format\$" ||
    fail "$from is not a $format binary"
done
[ -f examples/TARVOSOffsets.cfg ] || fail "examples/TARVOSOffsets.cfg is missing"
[ -f docs/offsets.md ] || fail "docs/offsets.md is missing: run scripts/generate-reference.sh"
[ -f docs/INSTALL.txt ] || fail "docs/INSTALL.txt is missing"
# The reference must describe the offsets of the plugins being shipped.
if [ -x "$linux/client/tarvos-client" ]; then
  "$linux/client/tarvos-client" describe --markdown | cmp -s - docs/offsets.md ||
    fail "docs/offsets.md is out of date: run scripts/generate-reference.sh"
fi

rm -rf "$out"
mkdir -p "$out/64" "$out/32"
for entry in "${plugins[@]}"; do
  read -r name from _ strip <<<"$entry"
  "$strip" --strip-debug -o "$out/$name" "$from"
done
cp examples/TARVOSOffsets.cfg "$out/TARVOSOffsets.cfg"
cp docs/offsets.md "$out/offsets.md"
cp docs/INSTALL.txt "$out/INSTALL.txt"
echo "release folder $out:"
(cd "$out" && find . -type f | sort | sed 's|^\./|  |')
