#!/usr/bin/env bash
# Prints the stripped size of the exe and fails above the budget (bytes).
set -euo pipefail
exe=$1 budget=$2
tmp=$(mktemp); trap 'rm -f "$tmp"' EXIT
i686-w64-mingw32-strip -o "$tmp" "$exe"
size=$(stat -c %s "$tmp")
echo "Stillvane.exe stripped: $size bytes ($((size / 1024)) KiB), budget $((budget / 1024)) KiB"
[ "$size" -le "$budget" ]
