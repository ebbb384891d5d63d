#!/bin/sh
# Runs a Windows program under Wine with the project's own prefix: CTest's
# emulator for the x64 build. The test command sets DISPLAY to its own Xvfb
# server and keeps a wineserver alive across the suite.
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# Code page 936 as the ANSI code page, so that the Chinese texts are what the
# program's byte strings say.
export LC_ALL="${TOLVANE_WINE_LOCALE:-zh_CN.UTF-8}"
exec /usr/lib/wine/wine64 "$@"
