#!/usr/bin/env bash
# Start-up and click benchmark: Stillvane.exe (A) against its main window
# made in raw Win32 with the same manifest and icons (R), and against an empty
# window (B, and B' with Stillvane's manifest), all built with the same
# toolchain and flags and started in turn under Wine on a display of their
# own. Prints every pair, the medians and the ratios.
#
#     ./scripts/bench.sh [PAIRS]      (20 pairs unless told)
set -euo pipefail
cd "$(dirname "$0")/.."
pairs=${1:-20}
./scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Stillvane raw_main_window minimal_window minimal_window_themed bench_driver >/dev/null

export WINEPREFIX=$PWD/build/bench-prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
./scripts/wine-prefix.sh "$WINEPREFIX"

# A display number nobody uses.
display=$((100 + RANDOM % 400))
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=:$display
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done

# Wine's own services start with its first program: let them settle first.
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true
sleep 2

bench=build/mingw/bench
wine $bench/bench_driver.exe build/mingw/app/Stillvane.exe $bench/raw_main_window.exe $bench/minimal_window.exe $bench/minimal_window_themed.exe "$pairs"
