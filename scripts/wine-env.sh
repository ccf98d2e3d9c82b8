# Sourced: the environment for running our Windows programs under Wine.
# One prefix per run directory (processes that share a prefix share one
# wineserver and one desktop, and so see each other's windows).
export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=d}"
# The mingw runtime DLLs of the stand-in and the tests (the plugin itself
# links its runtime in).
export WINEPATH="Z:\\usr\\lib\\gcc\\x86_64-w64-mingw32\\12-posix;Z:\\usr\\x86_64-w64-mingw32\\lib"
if command -v wine64 >/dev/null 2>&1; then
  TARVOS_WINE=wine64
else
  TARVOS_WINE=/usr/lib/wine/wine64
fi
if command -v wineserver >/dev/null 2>&1; then
  TARVOS_WINESERVER=wineserver
else
  TARVOS_WINESERVER=/usr/lib/wine/wineserver64
fi
export TARVOS_WINE TARVOS_WINESERVER

# A prefix's server stays a few seconds after its last program exits and
# then ends; a program that starts just as it ends fails to connect
# ("recvmsg: Connection reset by peer"). So each run ends whatever server an
# earlier run left, waits until it is gone, and keeps one server up until
# wine_server_down.
wine_server_down() {
  "$TARVOS_WINESERVER" -k 2>/dev/null || true
  "$TARVOS_WINESERVER" -w 2>/dev/null || true
}
wine_server_up() {
  wine_server_down
  mkdir -p "$WINEPREFIX"
  "$TARVOS_WINESERVER" -p </dev/null >/dev/null 2>&1
}
