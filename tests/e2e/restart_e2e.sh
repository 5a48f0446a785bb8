#!/usr/bin/env bash
# A restart of the computer, as far as Wine can show one: the first half of
# the case runs, then every process of the prefix and its wineserver end
# (volatile registry keys live only in the wineserver's memory, as Windows
# keeps them only until it restarts), then the second half runs in a new
# Wine session, whose service manager finds the ewf service stopped.
set -uo pipefail
driver=$1 shots=$2
here=$(dirname "$0")
"$here/run_e2e.sh" "$driver" "$shots" --gtest_filter='WriteFilterRestartTest.Before*' || exit 1
wineserver -k
wineserver -w
"$here/run_e2e.sh" "$driver" "$shots" --gtest_filter='WriteFilterRestartTest.After*'
