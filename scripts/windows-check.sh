#!/usr/bin/env bash
# Builds the Windows plugin (64-bit and 32-bit) and the Windows stand-in
# simulator with mingw-w64, checks what win.xpl exports and imports, and flies
# win.xpl under Wine in tarvos-simhost.exe while the Linux client reads the
# offset space over TCP; then runs the Windows build of the test suite under
# Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows -DTARVOS_BUILD_TESTS=ON >/dev/null
cmake --build --preset windows -j2
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 -j2 --target tarvos_plugin

python3 scripts/check-pe.py build-windows/TARVOS/64/win.xpl XPLM_64.dll XPWidgets_64.dll
python3 scripts/check-pe.py build-windows-i686/TARVOS/32/win.xpl XPLM.dll XPWidgets.dll

# The Linux client talks to the plugin under Wine.
cmake --build --preset default -j2 --target tarvos-client
. scripts/wine-env.sh
root=$(mktemp -d)
trap 'wine_server_down; rm -rf "$root"' EXIT
start=$(date +%s)
port=$((20000 + RANDOM % 20000))
wine_server_up
(cd build-windows/simhost &&
  xvfb-run -a "$TARVOS_WINE" tarvos-simhost.exe --root "Z:${root//\//\\}" \
    --duration 40 --control "$port" >"$root/simhost.out" 2>&1) &
runner=$!
answer=""
for _ in $(seq 1 60); do
  if answer=$(build/client/tarvos-client --timeout 1000 read 0x3304:hex4 2>/dev/null); then
    break
  fi
  sleep 1
done
echo "win.xpl under Wine answered 0x3304 = $answer after $(( $(date +%s) - start )) s"
# tarvos-web.exe under Wine, in front of the plugin under Wine.
web_port=$((port + 1))
(cd build-windows/web &&
  "$TARVOS_WINE" tarvos-web.exe --listen "127.0.0.1:$web_port" >"$root/web.out" 2>&1) &
web_status=""
for _ in $(seq 1 30); do
  web_status=$(python3 -c '
import sys, urllib.request
print(urllib.request.urlopen("http://127.0.0.1:%s/api/status" % sys.argv[1], timeout=2).read().decode())' \
    "$web_port" 2>/dev/null || true)
  case "$web_status" in *'"connected":true'*) break ;; esac
  sleep 1
done
case "$web_status" in
  *'"connected":true'*) echo "tarvos-web.exe under Wine: $web_status" ;;
  *) echo "tarvos-web.exe did not reach the plugin: $web_status"; cat "$root/web.out"; exit 1 ;;
esac
echo "quit" | timeout 10 python3 -c '
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
s.sendall(b"quit\n"); print(s.recv(100).decode().strip())' "$port" || true
wait "$runner" || true
grep -q "TARVOS Disable !" "$root/TARVOS.txt" || { echo "no clean Disable in TARVOS.txt"; cat "$root/TARVOS.txt"; exit 1; }
case "$answer" in
  *"04 00 00 50"*|*"04000050"*) echo "windows check passed" ;;
  *) echo "unexpected answer: $answer"; cat "$root/simhost.out"; exit 1 ;;
esac

# The Windows test suite under Wine (the message window, Winsock, the
# settings and the Windows programs).
./scripts/wine-test.sh
