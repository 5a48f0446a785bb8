#!/usr/bin/env bash
# Builds everything and runs every test tier: first the fast gate
# (scripts/check.sh: format, clang-tidy, shellcheck, the native unit tier),
# then the fault campaign, the gates on the exe, the release and its
# reproducibility, and the Wine and end-to-end tiers under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/check.sh
ctest --preset native -L campaign

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
