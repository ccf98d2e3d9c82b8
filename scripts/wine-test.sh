#!/usr/bin/env bash
# Runs the Windows build of the test suite under Wine, inside one Xvfb
# session (Wine makes no window without a display) and one Wine prefix for
# the whole run. Extra arguments go to ctest. A test that fails is run once
# more: now and then a Wine program ends at once with no output before its
# test begins (seen once in several hundred runs), and a fault in our code
# fails both runs.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
# The tests link the stand-in's XPLM_64.dll and XPWidgets_64.dll.
simhost_dir="Z:$(pwd | tr / '\\')\\build-windows\\simhost"
export WINEPATH="$simhost_dir;$WINEPATH"
start=$(date +%s)
wine_server_up
trap wine_server_down EXIT
xvfb-run -a bash -c '
  "$TARVOS_WINE" cmd /c exit 0 >/dev/null 2>&1 || true
  echo "Wine prefix ready after $(( $(date +%s) - '"$start"' )) s"
  ctest --test-dir build-windows --output-on-failure -j2 \
    --repeat until-pass:2 "$@"' wine-test "$@"
