#!/usr/bin/env bash
# Where Stillvane.exe's bytes go: by section of the exe, then by object and
# section and the largest functions, read from the linker map of the product
# build.
# Run it before and after a change to see what grew.
#
#     ./scripts/size-report.sh [TOP]      (the 25 largest objects unless told)
#
# The program is optimised at link time, so the linker sees one object of
# generated code. The map comes from the same link with one section per
# function (Stillvane-size-map, some 0.5 KB larger than the shipped exe), and
# each function, with its unwind and constant data, is counted for the object
# whose source defines it. Inline and template code that several objects
# define, and the strings and unwind tables the optimiser pools, have lines
# of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
top=${1:-25}
./scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Stillvane Stillvane-size-map >/dev/null
build=build/mingw
map=$build/app/Stillvane.map

# Which object defines each symbol: every object of ours, as the optimiser
# reads it (static functions included).
symbols=$(mktemp)
trap 'rm -f "$symbols"' EXIT
find "$build/CMakeFiles/stillvane_logic.dir" "$build/app/CMakeFiles/stillvane_app.dir" \
  "$build/app/CMakeFiles/Stillvane-size-map.dir" -name '*.obj' | sort | while read -r object; do
  source=${object#*.dir/}
  case $object in "$build"/app/*) source=app/$source ;; esac
  source=${source/app\/__\//}
  source=${source%.obj}
  echo "OBJ ${object##*/} $source"
  i686-w64-mingw32-lto-dump-win32 -list -defined-only "$object" 2>/dev/null |
    awk -v source="$source" '$1 == "function" || $1 == "variable" { sub(/@[0-9]+$/, "", $4); print "SYM", $4, source }'
done >"$symbols"

exe=$build/app/Stillvane.exe
echo "Stillvane.exe stripped: $(stat -c %s "$exe") bytes (the map's link: $(stat -c %s "$build/app/Stillvane-size-map.exe"))"
echo
echo "By section of Stillvane.exe (bytes; in the file each is padded to 512, after 1024 of headers):"
i686-w64-mingw32-objdump -h "$exe" | awk '
  $1 ~ /^[0-9]+$/ {
    size = 0
    for (i = 1; i <= length($3); i++) size = size * 16 + index("0123456789abcdef", substr($3, i, 1)) - 1
    file = $2 == ".bss" ? 0 : int((size + 511) / 512) * 512
    if ($2 == ".eh_fram") $2 = ".eh_frame"  # stripped: the name cut to 8 characters
    printf "%8d %8d  %s\n", size, file, $2
  }' | sort -k2,2nr -k1,1nr | awk 'BEGIN { printf "%8s %8s\n", "size", "in file" } { print }'
sed -n '/^Linker script and memory map/,$p' "$map" | cat "$symbols" - | awk -v top="$top" '
function hex(text,   i, value) {
  text = tolower(text)
  sub(/^0x/, "", text)
  value = 0
  for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
  return value
}
# The name a function or datum has in the optimiser output, as its source
# object knew it: without the section prefix and the clone suffixes.
function symbol_of(section,   name) {
  name = section
  sub(/^\.(text|rdata|data|bss|eh_frame)(\.(unlikely|startup|hot))?[.$]/, "", name)
  sub(/\.(lto_priv|isra|constprop|part|cold)(\.[0-9]+)*.*$/, "", name)
  return name
}
function owner(section, file,   library, member, name) {
  if (file ~ /ltrans[0-9]*\.ltrans\.o$/) {
    name = symbol_of(section)
    if (name in definer) return definer[name]
    if (section ~ /^\.eh_frame/) return "(pooled unwind tables)"
    if (section ~ /^\.rdata/) return "(pooled strings and constants)"
    if (section ~ /^\.gcc_except_table/) return "(pooled exception tables)"
    return "(optimiser output, not traced)"
  }
  if (file ~ /\.res$/) return "resources/Stillvane.rc"
  name = file
  sub(/\)$/, "", name)
  sub(/.*[\/(]/, "", name)
  if (name in source_of) return source_of[name]
  if (file ~ /\)$/) {
    library = file
    sub(/\(.*/, "", library)
    sub(/.*\//, "", library)
    member = file
    sub(/.*\(/, "", member)
    sub(/\)$/, "", member)
    # Import libraries: one member per function, named after nothing.
    if (member ~ /^lib.*(s[0-9]+|h|t)\.o$/) return library " (imports)"
    return library "(" member ")"
  }
  sub(/.*\//, "", file)
  return file
}
function column(out) {
  if (out == ".text" || out == ".rdata" || out == ".eh_frame" || out == ".data" || out == ".rsrc") return out
  if (out == ".idata") return ".idata"
  return "other"
}
function add(section, size, file,   who, col, name) {
  if (out == ".bss" || size == 0) return
  who = owner(section, file)
  col = column(out)
  bytes[who, col] += size
  total[who] += size
  if (section ~ /^\.text[.$]/ && who in ours) {
    name = symbol_of(section)
    function_bytes[name] += size
    if (name in function_owner && function_owner[name] != who) function_owner[name] = "(several objects)"
    else function_owner[name] = who
  }
}
$1 == "OBJ" { source_of[$2] = $3; ours[$3] = 1; next }
$1 == "SYM" {
  if ($2 in definer && definer[$2] != $3) definer[$2] = "(inline code of several objects)"
  else definer[$2] = $3
  next
}
/^\.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+/ { out = $1; pending = ""; next }
/^ \*fill\*/ { if (out != ".bss") { bytes["(alignment)", column(out)] += hex($3); total["(alignment)"] += hex($3) }; next }
/^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ [^ ]/ { add($1, hex($3), $4); pending = ""; next }
/^ \.[^ ]+$/ { pending = $1; next }
pending != "" && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ [^ ]/ { add(pending, hex($2), $3); pending = ""; next }
{ pending = "" }
END {
  print ""
  printf "By object, the %d largest (bytes before padding):\n", top
  printf "%8s %8s %8s %8s %8s %8s %8s  %s\n", "total", ".text", ".rdata", ".eh_frame", ".data", ".rsrc", "other", "object"
  cmd = "sort -k1,1nr | head -n " top
  for (who in total) {
    printf "%8d %8d %8d %8d %8d %8d %8d  %s\n", total[who], bytes[who, ".text"], bytes[who, ".rdata"],
      bytes[who, ".eh_frame"], bytes[who, ".data"], bytes[who, ".rsrc"], bytes[who, ".idata"] + bytes[who, "other"], who | cmd
  }
  close(cmd)
  print ""
  print "Largest functions of our own (code only):"
  cmd = "sort -k1,1nr | head -n 15 | i686-w64-mingw32-c++filt -n | sed \"s/std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/std::string/g\""
  for (name in function_bytes) printf "%8d  %s  %s\n", function_bytes[name], name, function_owner[name] | cmd
  close(cmd)
}'
