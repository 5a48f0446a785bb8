#!/usr/bin/env bash
# Fails when the README cites a test (`Suite.Case`, or `Suite.*` for a whole
# suite) that no test source under tests/ defines.
set -euo pipefail
readme=$1 tests=$2
# Every TEST, TEST_F and TEST_P head on one line, whatever the formatter split.
heads=$(find "$tests" -name '*.cpp' -exec cat {} + | tr -s ' \t\n' ' ' |
  grep -oE '\bTEST(_F|_P)? ?\( ?[A-Za-z0-9_]+ ?, ?[A-Za-z0-9_]+ ?\)' | tr -d ' ' | sed -E 's/^TEST(_F|_P)?\(//; s/\)$//')
# shellcheck disable=SC2016  # the backticks are the README's own, not a command
cited=$(grep -oE '`[A-Z][A-Za-z0-9_]*\.([A-Z][A-Za-z0-9_]*|\*)`' "$readme" | tr -d '`' | sort -u)
missing=0
for name in $cited; do
  suite=${name%%.*} case=${name#*.}
  if [ "$case" = "*" ]; then
    grep -q "^$suite," <<<"$heads" && continue
  else
    grep -qx "$suite,$case" <<<"$heads" && continue
  fi
  echo "README cites $name, which no test defines"
  missing=1
done
echo "README cites $(wc -w <<<"$cited") tests"
exit $missing
