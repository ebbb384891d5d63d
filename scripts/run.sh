#!/usr/bin/env bash
# Builds both Windows programs and starts the x64 one under Wine: on your
# display if there is one, else on a virtual display that this script starts.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

tolvane_install
tolvane_configure win64 -DCMAKE_TOOLCHAIN_FILE="$TOLVANE_ROOT/cmake/toolchain-mingw-x86_64.cmake"
tolvane_configure win32 -DCMAKE_TOOLCHAIN_FILE="$TOLVANE_ROOT/cmake/toolchain-mingw-i686.cmake"
tolvane_build win64 tolvane
tolvane_build win32 tolvane

trap 'tolvane_stop_wine; tolvane_stop_display' EXIT
if [ -z "${DISPLAY:-}" ]; then
  tolvane_start_display
  echo "tolvane: no display, so the program runs on the virtual display $DISPLAY (Xvfb);"
  echo "tolvane: look at it with: DISPLAY=$DISPLAY import -window root shot.png"
fi
tolvane_prepare_wine
echo "tolvane: running $TOLVANE_BUILD_DIR/win64/tolvane.exe; it ends with Esc, Alt+F4 or its close button"
set +e
LC_ALL=zh_CN.UTF-8 /usr/lib/wine/wine64 "$TOLVANE_BUILD_DIR/win64/tolvane.exe"
code=$?
set -e
echo "tolvane: exit code $code"
exit "$code"
