#!/usr/bin/env bash
# Runs every fuzz target of the fuzz build for a few seconds on its seed
# corpus (fuzz/corpus/<target>/). New inputs go to a scratch folder so the
# stored corpus only changes on purpose. Usage: scripts/fuzz.sh [seconds]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shopt -s nullglob
targets=(build-fuzz/fuzz/*_fuzz)
if [ "${#targets[@]}" -eq 0 ]; then
  echo "no fuzz targets built (cmake --preset fuzz && cmake --build --preset fuzz)"
  exit 1
fi
status=0
for t in "${targets[@]}"; do
  name=$(basename "$t")
  work="build-fuzz/corpus-work/$name"
  mkdir -p "$work"
  dirs=("$work")
  [ -d "fuzz/corpus/$name" ] && dirs+=("fuzz/corpus/$name")
  echo "--- $name (${seconds}s)"
  "$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="build-fuzz/$name-" "${dirs[@]}" >"build-fuzz/$name.log" 2>&1
  rc=$?
  tail -n 4 "build-fuzz/$name.log"
  if [ $rc -ne 0 ]; then
    echo "$name FAILED (exit $rc); see build-fuzz/$name.log"
    tail -n 60 "build-fuzz/$name.log"
    status=1
  fi
done
exit $status
