#!/usr/bin/env bash
# Builds the native, x64 and x86 builds and runs every test layer: native unit
# tests, the Windows tests of both builds under Wine on a virtual display of
# their own (x86 under the 32-bit Wine on qemu-i386), and the inspection of
# both executables. Ends with CTest's summary line.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

tolvane_install
tolvane_install_x86
tolvane_configure_all
for b in native win64 win32; do tolvane_build "$b"; done

# Tests press keys and click: they always get a display of their own, never
# the user's.
trap 'tolvane_stop_wine; tolvane_stop_display' EXIT
tolvane_start_display
tolvane_prepare_wine
tolvane_prepare_wine_x86

# One CTest run over the three builds, so that one summary line closes it.
cat > "$TOLVANE_BUILD_DIR/CTestTestfile.cmake" <<CTEST
subdirs("native" "win64" "win32")
CTEST
cd "$TOLVANE_BUILD_DIR"
ctest --output-on-failure --timeout 600 "$@"
