#!/usr/bin/env bash
# Makes the release a user downloads, for one version:
#
#   TARVOS-VERSION-plugin.zip          TARVOS/, the plugin folder as
#                                      scripts/package.sh assembles it
#   TARVOS-VERSION-tools-windows.zip   TARVOS-VERSION-tools-windows/: the
#                                      programs for Windows, self-contained
#   TARVOS-VERSION-tools-linux.tar.gz  TARVOS-VERSION-tools-linux/: the
#                                      programs for Linux (64-bit)
#   SHA256SUMS                         their checksums, bare file names, so
#                                      that `sha256sum -c SHA256SUMS` passes
#
# Each tools archive holds tarvos-client, tarvos-bridge and, where they are
# built for that system, tarvos-web and tarvos-mqtt, the Python client as a
# wheel and README.txt (docs/TOOLS.txt).
#
# Usage: scripts/release.sh VERSION     (VERSION is X.Y.Z)
#
# VERSION is passed into the builds (every program's --version, the client
# library's package version) and into the Python package. The builds are
# made apart from the development ones, in build-release-linux/,
# build-release-windows/ and build-release-windows-i686/ (beside build/, so
# that a compiler cache serves them from the same sources); the archives go
# to $TARVOS_RELEASE_OUT (default out/release/). Nothing is fetched: the wheel is built from the machine's
# own setuptools.
set -euo pipefail
cd "$(dirname "$0")/.."

version=${1:-}
if ! [[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "usage: scripts/release.sh VERSION   (VERSION is X.Y.Z, e.g. 1.2.0)" >&2
  exit 2
fi
out=${TARVOS_RELEASE_OUT:-out/release}
mkdir -p "$out"
out=$(cd "$out" && pwd)
builds=$PWD/build-release
# Objects with debug information are cached apart from the folder they
# were built in (the copies shipped lose it).
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
name="TARVOS-$version"
start=$(date +%s)
step() { echo "release.sh: $1 ($(( $(date +%s) - start )) s)"; }

# The programs each system gets: their build paths under a build folder.
# tarvos-mqtt needs libmosquitto, which the Windows cross toolchain lacks.
linux_tools=(client/tarvos-client bridge/tarvos-bridge)
windows_tools=(client/tarvos-client.exe bridge/tarvos-bridge.exe)
if [ -f web/CMakeLists.txt ]; then
  linux_tools+=(web/tarvos-web)
  windows_tools+=(web/tarvos-web.exe)
fi
if [ -f mqtt/CMakeLists.txt ]; then
  linux_tools+=(mqtt/tarvos-mqtt)
fi
targets() { for t in "$@"; do basename "${t%.exe}"; done; }

# Builds: only what ships, without tests and benchmarks. The Linux programs
# carry their C++ runtime, so that they run on distributions older than
# this one; they find a library shipped beside them ($ORIGIN).
release_flags=(-DTARVOS_VERSION="$version" -DTARVOS_BUILD_TESTS=OFF
               -DTARVOS_BUILD_BENCH=OFF)
step "building for Linux"
cmake --preset default -B "$builds-linux" "${release_flags[@]}" \
  -DCMAKE_EXE_LINKER_FLAGS="-static-libstdc++ -static-libgcc" \
  -DCMAKE_BUILD_RPATH='$ORIGIN' >/dev/null
cmake --build "$builds-linux" -j2 --target tarvos_plugin $(targets "${linux_tools[@]}")
step "building for Windows (64-bit)"
cmake --preset windows -B "$builds-windows" "${release_flags[@]}" >/dev/null
cmake --build "$builds-windows" -j2 --target tarvos_plugin $(targets "${windows_tools[@]}")
step "building for Windows (32-bit)"
cmake --preset windows-i686 -B "$builds-windows-i686" "${release_flags[@]}" >/dev/null
cmake --build "$builds-windows-i686" -j2 --target tarvos_plugin

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$out/$name"-* "$out/SHA256SUMS"

step "the plugin folder"
TARVOS_BUILD_LINUX="$builds-linux" TARVOS_BUILD_WINDOWS="$builds-windows" \
  TARVOS_BUILD_WINDOWS_I686="$builds-windows-i686" \
  scripts/package.sh "$work/plugin/TARVOS" >/dev/null
(cd "$work/plugin" && zip -q -r -X "$out/$name-plugin.zip" TARVOS)

step "the Python client wheel"
# The package's own copy, with this version in it.
cp -r client/python "$work/python"
rm -rf "$work/python/build" "$work/python"/*.egg-info
sed -i -E "s/^version = \"[^\"]*\"/version = \"$version\"/" "$work/python/pyproject.toml"
grep -q "^version = \"$version\"" "$work/python/pyproject.toml" ||
  { echo "release.sh: no version line in client/python/pyproject.toml" >&2; exit 1; }
# The distribution's Python holds setuptools and wheel; nothing is fetched.
/usr/bin/python3 -m pip wheel --quiet --no-deps --no-build-isolation --no-index \
  -w "$work/wheel" "$work/python"
wheel=$(ls "$work/wheel"/tarvos_client-"$version"-*.whl)

step "the tools archives"
stage_tools() {  # FOLDER BUILD STRIP TOOL...
  local folder=$1 build=$2 strip=$3
  shift 3
  mkdir -p "$folder"
  for t in "$@"; do
    "$strip" --strip-debug -o "$folder/$(basename "$t")" "$build/$t"
  done
  cp "$wheel" "$folder/"
  cp docs/TOOLS.txt "$folder/README.txt"
}
win="$work/windows/$name-tools-windows"
stage_tools "$win" "$builds-windows" x86_64-w64-mingw32-strip "${windows_tools[@]}"
lin="$work/linux/$name-tools-linux"
stage_tools "$lin" "$builds-linux" strip "${linux_tools[@]}"
# tarvos-mqtt's MQTT library, found beside it through its RUNPATH.
if [ -f "$lin/tarvos-mqtt" ]; then
  mosquitto=$(ldd "$builds-linux/mqtt/tarvos-mqtt" | awk '/libmosquitto/ { print $3 }')
  [ -n "$mosquitto" ] || { echo "release.sh: tarvos-mqtt links no libmosquitto" >&2; exit 1; }
  cp -L "$mosquitto" "$lin/$(basename "$mosquitto")"
fi
(cd "$work/windows" && zip -q -r -X "$out/$name-tools-windows.zip" "$name-tools-windows")
tar -C "$work/linux" --sort=name --owner=0 --group=0 --numeric-owner \
  -czf "$out/$name-tools-linux.tar.gz" "$name-tools-linux"

(cd "$out" && sha256sum "$name-plugin.zip" "$name-tools-windows.zip" \
   "$name-tools-linux.tar.gz" > SHA256SUMS)
step "done"
echo "release $version in $out:"
(cd "$out" && ls -l "$name"-* SHA256SUMS | awk '{ printf "  %10d  %s\n", $5, $9 }')
