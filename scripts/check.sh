#!/usr/bin/env bash
# The fast gate, run before every commit and first by scripts/test.sh: the
# format of every C++ file, static analysis over the native and the Windows
# builds' compile databases (.clang-tidy), shellcheck over the scripts, and
# the native tier (unit tests but the fault campaign, and the README's test
# names). Prints how long each part took.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

SECONDS=0
step() { echo "check: $1 (${SECONDS}s)"; }

git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
step "format clean"

git ls-files -z '*.sh' .ci/run | xargs -0 shellcheck
step "shellcheck clean"

cmake --preset native >/dev/null
cmake --build --preset native
step "native build done"

# Every source the native build compiles; the googletest sources it also
# lists are not ours.
git ls-files -z 'app/*.cpp' 'install/*.cpp' 'services/*.cpp' 'tuning/*.cpp' 'ui/*.cpp' \
  'tests/unit/*.cpp' 'tests/support/*.cpp' 'tests/contract/*.cpp' ':!:*_win32.cpp' |
  xargs -0 -n 4 -P "$(nproc)" clang-tidy -p build/native --quiet
step "clang-tidy clean"

# The same checks over what only builds for Windows: the windows, the seam's
# Win32 side, and the Wine and end-to-end tests, read as the MinGW compiler
# reads them (its own headers, its target).
cmake --preset mingw >/dev/null
cmake --preset mingw-tests >/dev/null
mingw_headers=()
while read -r folder; do
  mingw_headers+=("--extra-arg=-isystem$(readlink -f "$folder")")
done < <(i686-w64-mingw32-g++-posix -E -x c++ -v /dev/null 2>&1 |
  sed -n '/^#include <...> search starts here:/,/^End of search list/{s/^ //p}')
tidy_windows() {
  xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$1" --quiet --extra-arg=--target=i686-w64-mingw32 \
    --extra-arg=-nostdinc++ "${mingw_headers[@]}"
}
# The product build's compile database without the two options of GCC's
# that clang does not know.
mkdir -p build/mingw/tidy
sed -E 's/ -(fno-declone-ctor-dtor|mpreferred-stack-boundary=2)//g' build/mingw/compile_commands.json \
  >build/mingw/tidy/compile_commands.json
git ls-files -z '*_win32.cpp' 'tests/lean_runtime/*.cpp' ':!:tests/wine/*' | tidy_windows build/mingw/tidy
git ls-files -z 'tests/e2e/*.cpp' 'tests/wine/*.cpp' ':!:tests/e2e/blank_descriptor_os/*' | tidy_windows build/mingw-tests
step "clang-tidy clean on the Windows side"

# All but the fault campaign, which takes minutes and runs in scripts/test.sh.
ctest --preset native -LE campaign
step "native tier passed"
