#!/usr/bin/env bash
# Runs end-to-end cases by name, with the environment CTest gives them, in the
# usual Wine prefix, under Xvfb when there is no display:
#
#     ./scripts/e2e-case.sh 'MainWindowTest.TabMovesThroughTheButtonsAndTheLinkInOrder'
#
# The argument is a --gtest_filter ('InstallationTest.*', 'A.B:C.D'). Builds
# what the cases need first.
set -euo pipefail
filter=${1:?usage: e2e-case.sh GTEST_FILTER}
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
cmake --preset mingw-tests >/dev/null
cmake --build --preset mingw-tests --target e2e_tests
# shellcheck source=/dev/null
source build/mingw-tests/tests/e2e/e2e_environment.sh
./scripts/wine-prefix.sh "$WINEPREFIX"
run=(tests/e2e/run_e2e.sh "$STILLVANE_E2E_DRIVER" build/screenshots "--gtest_filter=$filter")
if [ -n "${DISPLAY:-}" ]; then
  "${run[@]}"
else
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "${run[@]}"
fi
