#!/usr/bin/env bash
# Builds the plugin and the stand-in simulator, then flies the plugin in it.
# Extra arguments go to tarvos-simhost (try --help).
#
# With --windows as the first argument: builds win.xpl and the Windows
# stand-in with mingw-w64 and flies them under Wine (in a virtual display
# unless one is set). Clients reach it over TCP on port 5193 as usual, and
# Windows clients under the same Wine prefix reach its message window:
#   . scripts/wine-env.sh && "$TARVOS_WINE" build-windows/client/tarvos-client.exe --local watch
set -euo pipefail
cd "$(dirname "$0")/.."
root="${TARVOS_SIM_ROOT:-$PWD/simroot}"
if [ "${1:-}" = "--windows" ]; then
  shift
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j"$(nproc)" --target tarvos_plugin tarvos-simhost tarvos-client
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$(nproc)" --target tarvos-client
  mkdir -p "$root"
  . scripts/wine-env.sh
  winroot="Z:$(cd "$root" && pwd | tr / '\\')"
  cd build-windows/simhost
  if [ -n "${DISPLAY:-}" ]; then
    exec "$TARVOS_WINE" tarvos-simhost.exe --root "$winroot" "$@"
  fi
  exec xvfb-run -a "$TARVOS_WINE" tarvos-simhost.exe --root "$winroot" "$@"
fi
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tarvos_plugin tarvos-simhost tarvos-client
exec build/simhost/tarvos-simhost --root "$root" "$@"
