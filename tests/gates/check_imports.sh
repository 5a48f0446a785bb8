#!/usr/bin/env bash
# Fails when the exe imports a DLL that XP SP2 does not ship, or a function
# that is not on the reviewed list of functions XP SP2 has (xp_imports.txt,
# lines "dll function", compared case-insensitively for the DLL).
set -euo pipefail
exe=$1 allowlist=$2
allowed_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll version.dll comctl32.dll msvcrt.dll"
imports=$(i686-w64-mingw32-objdump -p "$exe" | awk '
  /DLL Name:/ { dll = tolower($3); next }
  /^$/ { if (dll != "" && seen) { dll = ""; seen = 0 } ; next }
  dll != "" && NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3; seen = 1 }')
[ -n "$imports" ] || { echo "no imports read from $exe"; exit 1; }
status=0
while read -r dll fn; do
  case " $allowed_dlls " in *" $dll "*) ;; *) echo "DLL not on XP SP2: $dll ($fn)"; status=1; continue ;; esac
  # Not grep -q: leaving early would break the pipe, and pipefail would take that for a miss.
  grep -v "^#" "$allowlist" | grep -ixF "$dll $fn" >/dev/null || { echo "not on the reviewed XP list: $dll $fn"; status=1; }
done <<< "$imports"
echo "imports: $(wc -l <<< "$imports") functions from $(cut -d' ' -f1 <<< "$imports" | sort -u | tr '\n' ' ')"
exit $status
