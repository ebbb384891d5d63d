#!/usr/bin/env bash
# The benchmark in one command: builds tolvane.exe, the reference program and
# the driver (x64 and x86), runs the native microbenchmark, then runs both
# programs under Wine on a virtual display of its own, alternately, and prints
# the table. --smoke makes it a short check that the measurements work; other
# options go to the driver (--rounds, --presses, --cycles, --idle-seconds).
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

smoke=0
for a in "$@"; do
  [ "$a" = "--smoke" ] && smoke=1
done

tolvane_install
tolvane_configure_all
tolvane_build win64 tolvane tolvane_reference tolvane_bench_driver
tolvane_build win32 tolvane tolvane_reference

if [ "$smoke" -eq 0 ]; then
  if tolvane_build native tolvane_micro; then
    echo "== native microbenchmark"
    "$TOLVANE_BUILD_DIR/native/bench/micro/tolvane_micro" --benchmark_min_time=0.5
  else
    echo "bench: the native microbenchmark did not build (is libbenchmark-dev installed?)" >&2
    exit 1
  fi
fi

# The driver presses keys system-wide: always a display of its own.
trap 'tolvane_stop_wine; tolvane_stop_display' EXIT
tolvane_start_display
tolvane_prepare_wine

echo "== tolvane.exe against the reference program under Wine ($("$TOLVANE_WINE64" --version 2>/dev/null || echo wine))"
"$TOLVANE_ROOT/tests/wine-run.sh" "$TOLVANE_BUILD_DIR/win64/bench/tolvane_bench_driver.exe" \
  --product "$TOLVANE_BUILD_DIR/win64/tolvane.exe" \
  --reference "$TOLVANE_BUILD_DIR/win64/bench/tolvane_reference.exe" \
  --product-x86 "$TOLVANE_BUILD_DIR/win32/tolvane.exe" \
  --reference-x86 "$TOLVANE_BUILD_DIR/win32/bench/tolvane_reference.exe" \
  "$@"
