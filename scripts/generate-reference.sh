#!/usr/bin/env bash
# Regenerates the files made from the offset catalogue: the reference
# docs/offsets.md and the Python client's client/python/tarvos_client/offsets.json.
# The test suite fails when the committed files differ from these.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target tarvos-client
build/client/tarvos-client describe --markdown > docs/offsets.md
build/client/tarvos-client describe --json > client/python/tarvos_client/offsets.json
