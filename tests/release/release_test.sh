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
[ "$listed" = "Stillvane.exe Guide.txt Recovery.txt Licence.txt SHA256SUMS.txt " ] || fail "the zip holds: $listed"

unpacked=$(mktemp -d)
second=$(mktemp -d)
trap 'rm -rf "$unpacked" "$second"' EXIT
unzip -q "$zip" -d "$unpacked"
cmp "$built" "$unpacked/Stillvane.exe" || fail "the zip's Stillvane.exe is not the one built"
(cd "$unpacked" && sha256sum --quiet --strict -c SHA256SUMS.txt) || fail "SHA256SUMS.txt does not match the files"
[ "$(wc -l <"$unpacked/SHA256SUMS.txt")" -eq 4 ] || fail "SHA256SUMS.txt does not list exactly the other four files"
grep -q "assemblyIdentity.*version=\"$version\"" build/release/work/src/resources/Stillvane.exe.manifest ||
  fail "the manifest's assembly version is not $version"

# Notepad on XP: CR LF line ends and plain ASCII; the guide and the card at
# most 76 columns, the licence 78 (a checksum line is as long as its file
# name makes it).
for text in Guide.txt Recovery.txt Licence.txt SHA256SUMS.txt; do
  width=78
  [ "$text" = Guide.txt ] || [ "$text" = Recovery.txt ] && width=76
  [ "$text" = SHA256SUMS.txt ] && width=200
  LC_ALL=C awk -v name="$text" -v width=$width '
    !/\r$/ { printf "%s:%d: no CR LF line end\n", name, NR; bad = 1 }
    { sub(/\r$/, "") }
    /[\r\t]|[^ -~]/ { printf "%s:%d: a tab, stray CR or non-ASCII character\n", name, NR; bad = 1 }
    length($0) > width { printf "%s:%d: %d columns\n", name, NR, length($0); bad = 1 }
    END { exit bad }' "$unpacked/$text" || fail "$text is not plain CR LF text of at most $width columns"
done

# The recovery card fits one printed page.
[ "$(wc -l <"$unpacked/Recovery.txt")" -le 60 ] || fail "Recovery.txt is longer than 60 lines, one printed page"

# The guide as a user meets it: a short opening, then the quick path, one
# screen long and pointing to the messages, which come last, as its appendix.
# Its first step has the recovery card printed before anything else; its last
# checks the drive is protected, in the status window's own words.
LC_ALL=C awk '
  { sub(/\r$/, "") }
  /^=+$/ && NR > 2 { heading[++n] = previous; at[n] = NR - 1 }
  n == 1 && /MESSAGES AND WHAT TO DO/ { pointed = 1 }
  n == 1 && /^ *[0-9]+\. / { steps++; step[steps] = "" }
  n == 1 && steps && !/^=+$/ { line = $0; gsub(/"/, "", line); gsub(/ +/, " ", line); sub(/^ /, "", line); step[steps] = step[steps] " " line }
  { previous = $0 }
  END {
    if (heading[1] != "QUICK PATH") { printf "the first section is \"%s\", not QUICK PATH\n", heading[1]; bad = 1 }
    if (at[1] > 15) { printf "QUICK PATH begins on line %d, after more than 14 lines\n", at[1]; bad = 1 }
    if (at[2] - at[1] > 60) { printf "QUICK PATH is %d lines long, more than 60\n", at[2] - at[1]; bad = 1 }
    if (!pointed) { print "QUICK PATH does not point to MESSAGES AND WHAT TO DO"; bad = 1 }
    if (index(step[1], "Recovery.txt") == 0) { print "QUICK PATH does not begin with the recovery card"; bad = 1 }
    if (index(step[steps], "Write Filter Status says Drive C: is protected now") == 0) {
      print "QUICK PATH does not end with the check that Write Filter Status says Drive C: is protected now"; bad = 1 }
    if (heading[n] != "MESSAGES AND WHAT TO DO") { printf "the last section is \"%s\"\n", heading[n]; bad = 1 }
    exit bad }' "$unpacked/Guide.txt" || fail "Guide.txt does not open with its quick path or end with its messages"

# The same commit, built again in another folder: the same bytes.
./scripts/release.sh --work "$second/work" --out "$second" >/dev/null
cmp "$built" "$second/work/src/build/mingw/app/Stillvane.exe" || fail "Stillvane.exe differs when built in another folder"
cmp "$zip" "$second/$(basename "$zip")" || fail "the zip differs when built in another folder"

[ $failures -eq 0 ] || exit 1
echo "release test: $zip ($(stat -c %s "$zip") bytes) checked and made again byte for byte"
