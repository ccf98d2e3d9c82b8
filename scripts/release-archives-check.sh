#!/usr/bin/env bash
# Checks the release a user downloads, made by scripts/release.sh into a
# folder of its own:
#   - every archive holds exactly the files it should;
#   - SHA256SUMS matches them (sha256sum -c, in their folder);
#   - every program answers --version with the version of the archive's
#     name, and --help;
#   - the Windows tools run under Wine from the unpacked folder alone, with
#     no build folder and no mingw runtime on their path, and the archive's
#     tarvos-bridge.exe serves the local endpoint against the plugin in the
#     Windows stand-in (tarvos-client.exe of the archive reads through it);
#   - the Linux tools run from the unpacked folder against the plugin in the
#     stand-in, tarvos-bridge serving the local endpoint there too;
#   - the wheel installs into a fresh virtual environment without any index
#     and reads from the stand-in.
#
# Usage: scripts/release-archives-check.sh [VERSION]   (default 9.8.7, a
# version unlike the project's own, so that it is seen to be passed in)
#
# Needs the stand-ins of build/ and build-windows/ (scripts/test.sh,
# scripts/windows-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
version=${1:-9.8.7}
name="TARVOS-$version"
work=$(mktemp -d)
sim=""
wine=0
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  [ "$wine" = 1 ] && wine_server_down
  rm -rf "$work" 2>/dev/null || true
}
trap cleanup EXIT
fail() { echo "release-archives-check: $*" >&2; exit 1; }

TARVOS_RELEASE_OUT="$work/release" scripts/release.sh "$version"
cd "$work/release"

# Each archive against its list; a missing or an extra file fails.
tools_windows="README.txt tarvos-bridge.exe tarvos-client.exe"
tools_linux="README.txt tarvos-bridge tarvos-client"
wheel="tarvos_client-$version-py3-none-any.whl"
programs_linux="tarvos-client tarvos-bridge"
programs_windows="tarvos-client.exe tarvos-bridge.exe"
if [ -f "$OLDPWD/web/CMakeLists.txt" ]; then
  tools_windows+=" tarvos-web.exe"; tools_linux+=" tarvos-web"
  programs_linux+=" tarvos-web"; programs_windows+=" tarvos-web.exe"
fi
if [ -f "$OLDPWD/mqtt/CMakeLists.txt" ]; then
  tools_linux+=" libmosquitto.so.1 tarvos-mqtt"; programs_linux+=" tarvos-mqtt"
fi
listed() {  # PREFIX FILE... -> sorted paths
  local prefix=$1
  shift
  for f in "$@"; do echo "$prefix$f"; done | LC_ALL=C sort
}
compare() {  # WHAT EXPECTED FOUND
  [ "$2" = "$3" ] && return 0
  echo "$1 holds:"; echo "$3"; echo "instead of:"; echo "$2"
  fail "$1 has missing or extra files"
}
compare "$name-plugin.zip" \
  "$(listed TARVOS/ 32/win.xpl 64/lin.xpl 64/win.xpl INSTALL.txt TARVOSOffsets.cfg offsets.md)" \
  "$(unzip -Z1 "$name-plugin.zip" | grep -v '/$' | LC_ALL=C sort)"
compare "$name-tools-windows.zip" \
  "$(listed "$name-tools-windows/" $tools_windows "$wheel")" \
  "$(unzip -Z1 "$name-tools-windows.zip" | grep -v '/$' | LC_ALL=C sort)"
compare "$name-tools-linux.tar.gz" \
  "$(listed "$name-tools-linux/" $tools_linux "$wheel")" \
  "$(tar -tzf "$name-tools-linux.tar.gz" | grep -v '/$' | LC_ALL=C sort)"
compare SHA256SUMS \
  "$(listed "" "$name-plugin.zip" "$name-tools-linux.tar.gz" "$name-tools-windows.zip")" \
  "$(awk '{ print $2 }' SHA256SUMS | LC_ALL=C sort)"
sha256sum -c SHA256SUMS
echo "archive contents and checksums checked"

mkdir -p "$work/unpacked"
unzip -q "$name-plugin.zip" -d "$work/unpacked"
unzip -q "$name-tools-windows.zip" -d "$work/unpacked"
tar -xzf "$name-tools-linux.tar.gz" -C "$work/unpacked"
cd "$OLDPWD"
lin="$work/unpacked/$name-tools-linux"
win="$work/unpacked/$name-tools-windows"

expect_version() {  # PROGRAM OUTPUT
  [ "$2" = "$1 $version" ] || fail "$1 --version printed '$2', not '$1 $version'"
}

# Linux: the tools from the folder, their libraries resolved there or in
# the system, never in a build folder.
for p in $programs_linux; do
  ldd "$lin/$p" | grep -q "not found" && fail "$p misses a library: $(ldd "$lin/$p")"
  if ldd "$lin/$p" | grep -q "$PWD/build"; then fail "$p links from a build folder"; fi
  expect_version "$p" "$("$lin/$p" --version)"
  "$lin/$p" --help >/dev/null || fail "$p --help failed"
done
if [ -f "$lin/tarvos-mqtt" ]; then
  ldd "$lin/tarvos-mqtt" | grep -q "$lin/libmosquitto.so.1" ||
    fail "tarvos-mqtt does not take the libmosquitto beside it"
fi
root="$work/linux-root"
mkdir -p "$root"
build/simhost/tarvos-simhost --root "$root" --duration 60 >"$work/simhost.out" 2>&1 &
sim=$!
answer=""
for _ in $(seq 1 60); do
  answer=$("$lin/tarvos-client" --timeout 1000 read 0x3E00:text 0x3304:hex4 2>/dev/null) || true
  case "$answer" in *"$root"*) break ;; esac
  sleep 0.5
done
case "$answer" in *"04 00 00 50"*|*"04000050"*) ;; *) fail "tarvos-client read: $answer" ;; esac
"$lin/tarvos-bridge" --endpoint TARVOSRELEASE --log "$work/bridge.log" --quiet &
bridge=$!
local_answer=""
for _ in $(seq 1 20); do
  local_answer=$("$lin/tarvos-client" --local --endpoint TARVOSRELEASE read 0x3304:hex4 2>/dev/null) && break
  sleep 0.5
done
kill "$bridge"; wait "$bridge" || true
case "$local_answer" in *"04 00 00 50"*|*"04000050"*) ;; *) fail "through tarvos-bridge: $local_answer" ;; esac
/usr/bin/python3 -m venv "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index "$lin/$wheel"
"$work/venv/bin/python" - "$version" <<'PY'
import sys
from importlib.metadata import version
from tarvos_client import TcpClient
assert version("tarvos-client") == sys.argv[1], version("tarvos-client")
with TcpClient("127.0.0.1") as c:
    assert c.read("plugin.protocol_version") == 0x50000004
print("the wheel reads from the stand-in")
PY
kill "$sim"; wait "$sim" || true
sim=""
echo "Linux tools checked from the unpacked archive"

# Windows: the tools under Wine with nothing on their path but their folder.
. scripts/wine-env.sh
runtime_path=$WINEPATH
export WINEPATH=""
wine=1
wine_server_up
for p in $programs_windows; do
  out=$(cd "$win" && "$TARVOS_WINE" "$p" --version | tr -d '\r')
  expect_version "${p%.exe}" "$out"
  (cd "$win" && "$TARVOS_WINE" "$p" --help >/dev/null) || fail "$p --help failed"
done
# A fresh server for the session below: the one the programs above ran on
# made its desktop without a display, where no window can be created.
wine_server_up
winroot="$work/windows-root"
mkdir -p "$winroot"
winroot_dos="Z:${winroot//\//\\}"
# The stand-in is no part of the release: it keeps its runtime path. One
# session (one desktop) holds it, the bridge and the client.
cat >"$work/windows-session.sh" <<SH
set -u
(cd build-windows/simhost && WINEPATH='$runtime_path' "$TARVOS_WINE" tarvos-simhost.exe \
   --root '$winroot_dos' --duration 60 >"$work/winsim.out" 2>&1) &
sim=\$!
# Up once its plugin answers with this session's folder.
for _ in \$(seq 1 60); do
  case "\$("$lin/tarvos-client" --timeout 1000 read 0x3E00:text 2>/dev/null)" in
    *windows-root*) break ;;
  esac
  sleep 1
done
cd "$win"
"$TARVOS_WINE" tarvos-bridge.exe --endpoint TARVOSRELEASE --log bridge.log --quiet &
bridge=\$!
answer=""
for _ in \$(seq 1 30); do
  answer=\$("$TARVOS_WINE" tarvos-client.exe --local --endpoint TARVOSRELEASE \
           read 0x3E00:text 0x3304:hex4 2>/dev/null | tr -d '\r')
  case "\$answer" in *windows-root*) break ;; esac
  sleep 1
done
echo "through tarvos-bridge.exe: \$answer"
kill \$bridge \$sim 2>/dev/null
wait
case "\$answer" in *windows-root*04000050*|*windows-root*"04 00 00 50"*) exit 0 ;; esac
exit 1
SH
xvfb-run -a bash "$work/windows-session.sh" || {
  cat "$work/winsim.out" 2>/dev/null | tail -20; fail "tarvos-bridge.exe did not serve the local endpoint"; }
wine_server_down
rm -f "$win/bridge.log"
echo "Windows tools checked under Wine from the unpacked archive"
echo "release archives checked"
