#!/usr/bin/env bash
# A 32-bit GUI exe whose OS and subsystem versions XP (5.1) accepts.
set -euo pipefail
header=$(i686-w64-mingw32-objdump -p "$1")
field() { awk -v k="$1" '$1 == k { print $2; exit }' <<< "$header"; }
status=0
grep -q 'file format pei-i386' <<< "$header" || { echo "not a 32-bit PE"; status=1; }
[ "$(field Subsystem)" = "00000002" ] || { echo "subsystem is not GUI: $(field Subsystem)"; status=1; }
for kind in OSystem Subsystem; do
  major=$(field Major${kind}Version) minor=$(field Minor${kind}Version)
  echo "$kind version $major.$minor"
  if [ "$major" -gt 5 ] || { [ "$major" -eq 5 ] && [ "$minor" -gt 1 ]; }; then
    echo "$kind version $major.$minor is newer than XP's 5.1"; status=1
  fi
done
deps=$(i686-w64-mingw32-objdump -p "$1" | awk '/DLL Name:/ { print tolower($3) }')
if grep -qE 'libgcc|libstdc|libwinpthread' <<< "$deps"; then echo "runtime DLL imported: $deps"; status=1; fi
exit $status
