#!/usr/bin/env bash
# The release as a user gets it, and as anyone can make it again: builds it
# with scripts/release.sh, checks what the zip holds, then builds the same
# commit a second time in another folder and compares the bytes.
set -euo pipefail
cd "$(dirname "$0")/../.."
failures=0
fail() { echo "release test: $*" >&2; failures=$((failures + 1)); }

./scripts/release.sh
zips=(build/release/Stillvane-*.zip)
[ ${#zips[@]} -eq 1 ] || { echo "release test: expected one zip, found: ${zips[*]}" >&2; exit 1; }
zip=${zips[0]}
built=build/release/work/src/build/mingw/app/Stillvane.exe
version=$(basename "$zip" .zip)
version=${version#Stillvane-}

listed=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$listed" = "Stillvane.exe Guide.txt Licence.txt SHA256SUMS.txt " ] || fail "the zip holds: $listed"

unpacked=$(mktemp -d)
second=$(mktemp -d)
trap 'rm -rf "$unpacked" "$second"' EXIT
unzip -q "$zip" -d "$unpacked"
cmp "$built" "$unpacked/Stillvane.exe" || fail "the zip's Stillvane.exe is not the one built"
(cd "$unpacked" && sha256sum --quiet --strict -c SHA256SUMS.txt) || fail "SHA256SUMS.txt does not match the files"
[ "$(wc -l <"$unpacked/SHA256SUMS.txt")" -eq 3 ] || fail "SHA256SUMS.txt does not list exactly the other three files"
grep -q "assemblyIdentity.*version=\"$version\"" build/release/work/src/resources/Stillvane.exe.manifest ||
  fail "the manifest's assembly version is not $version"

# Notepad on XP: CR LF line ends and plain ASCII; prose at most 78 columns
# (a checksum line is as long as its file name makes it).
for text in Guide.txt Licence.txt SHA256SUMS.txt; do
  width=78
  [ "$text" = SHA256SUMS.txt ] && width=200
  LC_ALL=C awk -v name="$text" -v width=$width '
    !/\r$/ { printf "%s:%d: no CR LF line end\n", name, NR; bad = 1 }
    { sub(/\r$/, "") }
    /[\r\t]|[^ -~]/ { printf "%s:%d: a tab, stray CR or non-ASCII character\n", name, NR; bad = 1 }
    length($0) > width { printf "%s:%d: %d columns\n", name, NR, length($0); bad = 1 }
    END { exit bad }' "$unpacked/$text" || fail "$text is not plain CR LF text of at most $width columns"
done

# The same commit, built again in another folder: the same bytes.
./scripts/release.sh --work "$second/work" --out "$second" >/dev/null
cmp "$built" "$second/work/src/build/mingw/app/Stillvane.exe" || fail "Stillvane.exe differs when built in another folder"
cmp "$zip" "$second/$(basename "$zip")" || fail "the zip differs when built in another folder"

[ $failures -eq 0 ] || exit 1
echo "release test: $zip ($(stat -c %s "$zip") bytes) checked and made again byte for byte"
