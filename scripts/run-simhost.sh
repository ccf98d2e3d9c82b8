#!/usr/bin/env bash
# Builds the plugin and the stand-in simulator, then flies the plugin in it.
# Extra arguments go to tarvos-simhost (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tarvos_plugin tarvos-simhost tarvos-client
exec build/simhost/tarvos-simhost --root "${TARVOS_SIM_ROOT:-$PWD/simroot}" "$@"
