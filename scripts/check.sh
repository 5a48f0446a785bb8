#!/usr/bin/env bash
# The fast gate, run before every commit and first by scripts/test.sh: the
# format of every C++ file, static analysis over the native build's compile
# database (.clang-tidy), shellcheck over the scripts, and the native tier
# (unit tests but the fault campaign, and the README's test names). Prints how
# long each part took.
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

# All but the fault campaign, which takes minutes and runs in scripts/test.sh.
ctest --preset native -LE campaign
step "native tier passed"
