#!/usr/bin/env bash
# Makes the release of the checked-out commit:
#   build/release/Stillvane-<version>.zip  with Stillvane.exe, Guide.txt,
#   Recovery.txt (the recovery card, to print), Licence.txt and SHA256SUMS.txt
#   (the SHA-256 of the other four).
# Uncommitted changes are not part of it: the commit is exported into a folder
# of its own and built there. The same commit gives the same bytes for the exe
# and the zip, in any folder and at any time.
#
#   scripts/release.sh [--work DIR] [--out DIR]
#     --work  where the commit is exported and built (build/release/work)
#     --out   where the zip is written (build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/release/work
out=$root/build/release
while [ $# -gt 0 ]; do
  case "$1" in
    --work) work=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    *) echo "usage: $0 [--work DIR] [--out DIR]" >&2; exit 2 ;;
  esac
done

./scripts/setup.sh
git diff --quiet HEAD -- || echo "release: uncommitted changes are left out; building $(git rev-parse --short HEAD)" >&2

rm -rf "$work"
mkdir -p "$work/src" "$work/zip" "$out"
git archive --format=tar HEAD | tar -x -C "$work/src"
(cd "$work/src" && cmake --preset mingw >/dev/null && cmake --build --preset mingw --target Stillvane)

version=$(i686-w64-mingw32-cpp -P -include "$work/src/resources/version.h" - <<<STILLVANE_VERSION_TEXT | tr -d '"[:space:]')
[[ $version =~ ^[0-9]+(\.[0-9]+){3}$ ]] || { echo "release: version not understood: $version" >&2; exit 1; }

# Plain text for Notepad: CR LF line ends.
stage=$work/zip
cp "$work/src/build/mingw/app/Stillvane.exe" "$stage/Stillvane.exe"
sed 's/$/\r/' "$work/src/docs/guide.txt" >"$stage/Guide.txt"
sed 's/$/\r/' "$work/src/docs/recovery.txt" >"$stage/Recovery.txt"
sed 's/$/\r/' "$work/src/LICENSE" >"$stage/Licence.txt"
(cd "$stage" && sha256sum Stillvane.exe Guide.txt Recovery.txt Licence.txt | sed 's/$/\r/' >SHA256SUMS.txt)

# Fixed entry order, modes and times (the commit's, in UTC), no extra fields.
epoch=$(git log -1 --format=%ct HEAD)
zip=$out/Stillvane-$version.zip
chmod 644 "$stage"/*
touch -d "@$epoch" "$stage"/*
rm -f "$zip"
(cd "$stage" && TZ=UTC zip -X -D -q -9 "$zip" Stillvane.exe Guide.txt Recovery.txt Licence.txt SHA256SUMS.txt)
(cd "$out" && sha256sum "$(basename "$zip")")
