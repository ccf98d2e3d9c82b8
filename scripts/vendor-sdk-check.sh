#!/usr/bin/env bash
# Checks our host API headers and import definitions against the simulator
# vendor's own SDK, when a copy sits beside the project in
# ../shared/vendor/xplane-sdk (or where TARVOS_VENDOR_SDK points); without
# one it says so and does nothing. The vendor files are used in place and
# never copied into the project.
#
#  - every function, type and constant of sdk/ must match the vendor headers
#    and every function must be in the vendor's import libraries;
#  - the Linux plugin and the stand-in build against the vendor headers, the
#    stand-in still provides every host function the plugin needs, and the
#    plugin loads and runs in it;
#  - win.xpl built against the vendor headers and import libraries imports
#    the same functions from the same DLLs as the one built from ours.
set -euo pipefail
cd "$(dirname "$0")/.."
sdk=${TARVOS_VENDOR_SDK:-$(cd .. && pwd)/shared/vendor/xplane-sdk}
if [ ! -d "$sdk/CHeaders/XPLM" ]; then
  echo "vendor SDK check skipped: no vendor SDK at $sdk"
  exit 0
fi
sdk=$(cd "$sdk" && pwd)

python3 scripts/compare-sdk.py sdk "$sdk"

# Linux: the plugin and the stand-in against the vendor headers, unoptimised
# for a quicker build (this build is only loaded and run for a moment).
cmake -S . -B build-vendor -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
  -DTARVOS_VENDOR_SDK="$sdk" -DTARVOS_BUILD_TESTS=OFF -DTARVOS_BUILD_BENCH=OFF >/dev/null
cmake --build build-vendor -j2 --target tarvos_plugin tarvos-simhost
plugin=build-vendor/TARVOS/64/lin.xpl
host=build-vendor/simhost/tarvos-simhost
# A host function defined with another signature than the header's compiles
# as a C++ overload and leaves the plugin's C symbol unresolved.
unresolved=$(comm -23 \
  <(nm -D --undefined-only "$plugin" | awk '$2 ~ /^XP/ { print $2 }' | sort -u) \
  <(nm -D --defined-only "$host" | awk '{ print $3 }' | sort -u))
if [ -n "$unresolved" ]; then
  echo "the stand-in built against the vendor SDK lacks: $unresolved"
  exit 1
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
"$host" --no-flight --root "$root" --plugin "$plugin" --duration 2 >"$root/simhost.out" 2>&1 ||
  { cat "$root/simhost.out"; exit 1; }
grep -q "TARVOS Disable !" "$root/TARVOS.txt" ||
  { echo "no clean Disable in TARVOS.txt"; cat "$root/TARVOS.txt"; exit 1; }
echo "$plugin ran in the stand-in built against the vendor SDK"

# Windows: win.xpl against the vendor headers and import libraries, compared
# with the one built from ours (scripts/windows-check.sh builds that one). It
# is optimised as that one is, since optimisation changes what the C runtime
# is asked for; only the debug information is left out.
if [ ! -f build-windows/CMakeCache.txt ]; then
  cmake --preset windows -DTARVOS_BUILD_TESTS=OFF >/dev/null
fi
cmake --build --preset windows -j2 --target tarvos_plugin
toolchain=()
[ -f build-windows-vendor/CMakeCache.txt ] || toolchain=(--toolchain cmake/mingw-w64-x86_64.cmake)
cmake -S . -B build-windows-vendor "${toolchain[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DTARVOS_VENDOR_SDK="$sdk" \
  -DTARVOS_BUILD_TESTS=OFF -DTARVOS_BUILD_BENCH=OFF >/dev/null
cmake --build build-windows-vendor -j2 --target tarvos_plugin
python3 scripts/check-pe.py build-windows-vendor/TARVOS/64/win.xpl XPLM_64.dll XPWidgets_64.dll
python3 scripts/check-pe.py --same-imports build-windows/TARVOS/64/win.xpl \
  build-windows-vendor/TARVOS/64/win.xpl
echo "vendor SDK check passed"
