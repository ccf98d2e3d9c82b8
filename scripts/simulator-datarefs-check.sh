#!/usr/bin/env bash
# Checks every simulator name the plugin binds, every reference it writes
# and every reference the stand-in host defines against the simulator's own
# published lists (DataRefs.txt, Commands.txt) in $TARVOS_SIMULATOR_LISTS
# (default: ../shared/vendor/xplane-datarefs beside the project). Without
# that folder it says so and does nothing. The lists are read in place.
#
# The names come from the code's own tables, printed by tarvos-references
# (built here unless TARVOS_REFERENCES_TOOL names a built one):
#  - every reference the plugin looks up exists with the type it uses it
#    as (a double used as a float is fine), every one it writes is
#    writable, every command it looks up exists, unless the difference is
#    on the plugin's short list of known ones;
#  - every reference the stand-in defines has the simulator's type, array
#    length and writability.
set -euo pipefail
cd "$(dirname "$0")/.."
lists=${TARVOS_SIMULATOR_LISTS:-$(cd .. && pwd)/shared/vendor/xplane-datarefs}
if [ ! -d "$lists" ]; then
  echo "skipped: no simulator lists at $lists"
  exit 0
fi
for list in DataRefs.txt Commands.txt; do
  if [ ! -f "$lists/$list" ]; then
    echo "the simulator lists folder $lists has no $list"
    exit 1
  fi
done

tool=${TARVOS_REFERENCES_TOOL:-}
if [ -z "$tool" ]; then
  if [ ! -f build/CMakeCache.txt ]; then
    cmake --preset default >/dev/null
  fi
  cmake --build --preset default --target tarvos-references -j2 >/dev/null
  tool=build/tools/tarvos-references
fi
references=$(mktemp)
trap 'rm -f "$references"' EXIT
"$tool" >"$references"
python3 scripts/simulator-datarefs-check.py "$lists" "$references"
