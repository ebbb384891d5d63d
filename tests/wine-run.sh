#!/bin/sh
# Runs a Windows program under Wine with the project's own prefix: CTest's
# emulator for the Windows builds. `--x86` first runs a 32-bit program under
# the 32-bit Wine (itself under qemu-i386) in the project's 32-bit prefix.
# The test command sets DISPLAY to its own Xvfb server and keeps a wineserver
# alive for each prefix across the suite.
here=$(cd "$(dirname "$0")" && pwd)
if [ "${1:-}" = "--x86" ]; then
  shift
  WINEPREFIX="${TOLVANE_WINEPREFIX_X86:-$here/../build/wineprefix32}"
  loader=/usr/lib/wine/wine
else
  : "${WINEPREFIX:=$here/../build/wineprefix}"
  loader=/usr/lib/wine/wine64
fi
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# Code page 936 as the ANSI code page, so that the Chinese texts are what the
# program's byte strings say.
export LC_ALL="${TOLVANE_WINE_LOCALE:-zh_CN.UTF-8}"
exec "$loader" "$@"
