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
export TARVOS_WINE
