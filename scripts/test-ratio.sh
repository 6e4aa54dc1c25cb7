#!/usr/bin/env bash
# Prints the non-blank lines of tests against those of the code they test.
# Fails when the tests exceed 35 % of the code, unless --report is given.
# Usage: scripts/test-ratio.sh [--report]
set -euo pipefail
cd "$(dirname "$0")/.."

limit=33
report_only=0
[[ "${1:-}" == "--report" ]] && report_only=1

count() {
  git ls-files -- "$@" | grep -E '\.(h|hpp|cpp|cc|c)$' | xargs -r cat |
    grep -cv '^[[:space:]]*$' || true
}

tests=$(count tests)
code=$(count . ':!tests' ':!bench' ':!fuzz')
percent=$((code > 0 ? tests * 100 / code : 0))
echo "tests ${tests} non-blank lines, code ${code}: tests are ${percent} % of code (limit ${limit} %)"

if ((report_only == 0 && tests * 100 > code * limit)); then
  echo "tests exceed ${limit} % of code" >&2
  exit 1
fi
