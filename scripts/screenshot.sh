#!/usr/bin/env bash
# Takes docs/window.png: a picture of the program's window as the user sees
# it, with the Chinese label rendered. Builds nothing: run it after the x64
# build (scripts/test.sh or scripts/run.sh).
#   scripts/screenshot.sh [path/to/tolvane.exe] [output.png]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

exe=${1:-$TOLVANE_BUILD_DIR/win64/tolvane.exe}
out=${2:-$TOLVANE_ROOT/docs/window.png}
title="Morvaleth quendrix"
if [ ! -f "$exe" ]; then
  echo "screenshot: no program at $exe; build the x64 program first" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"

program_pid=
started_display=
cleanup() {
  if [ -n "$program_pid" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  # The wineserver of the screenshot's own prefix.
  tolvane_stop_wine
  if [ -n "$started_display" ]; then
    tolvane_stop_display
  fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  tolvane_start_display
  started_display=1
fi

# A prefix of its own, set up as the tests' (Marlett for the caption
# buttons), in which Wine draws the caption and frame itself: the virtual
# display has no window manager to draw them, and the picture should show the
# whole window as a user sees it.
export WINEPREFIX=$TOLVANE_BUILD_DIR/wineprefix-screenshot
tolvane_prepare_prefix "$WINEPREFIX" "$TOLVANE_WINE64" win64
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\AppDefaults\tolvane.exe\X11 Driver' /v Decorated /d N /f \
  >/dev/null 2>&1 </dev/null

# Code page 936, so that the label's bytes are the Chinese text.
LC_ALL=zh_CN.UTF-8 /usr/lib/wine/wine64 "$exe" &
program_pid=$!

# The window's place and size on the X screen, once it is mapped.
geometry=
for _ in $(seq 1 100); do
  if info=$(xwininfo -name "$title" 2>/dev/null) && grep -q 'Map State: IsViewable' <<<"$info"; then
    x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
    w=$(awk '/Width:/ {print $NF}' <<<"$info")
    h=$(awk '/Height:/ {print $NF}' <<<"$info")
    geometry="${w}x${h}+${x}+${y}"
    break
  fi
  sleep 0.1
done
if [ -z "$geometry" ]; then
  echo "screenshot: the window \"$title\" did not appear" >&2
  exit 1
fi

# Let the first paint reach the screen before taking the picture.
sleep 1
import -window root -crop "$geometry" +repage "$out"
echo "screenshot: $out ($geometry)"
