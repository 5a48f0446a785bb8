#!/usr/bin/env bash
# Runs the end-to-end driver under Wine (inside the prefix's virtual desktop)
# and turns the screenshots it saved into PNG files. Arguments after the
# first two go to the driver (a --gtest_filter, for instance).
set -uo pipefail
driver=$1 shots=$2
shift 2
mkdir -p "$shots"
rm -f "$shots"/*.bmp
wine "$driver" "$@"
status=$?
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
wineserver -w
exit $status
