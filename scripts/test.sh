#!/usr/bin/env bash
# Builds everything and runs every test tier: unit (native, sanitizers), the
# gates on the exe, the release and its reproducibility, and the Wine and end-to-end tiers under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

# House style first: every C++ file as clang-format writes it.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror


cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

cmake --preset mingw >/dev/null
cmake --build --preset mingw
ctest --preset mingw

# The release zip, and the same commit built again in another folder.
tests/release/release_test.sh

cmake --preset mingw-tests >/dev/null
cmake --build --preset mingw-tests
if [ -n "${DISPLAY:-}" ]; then
  ctest --preset mingw-tests
else
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" ctest --preset mingw-tests
fi
