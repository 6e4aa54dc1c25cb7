#!/usr/bin/env bash
# Prints the non-blank lines of tests against those of the code they test.
# It only reports; "--report" is still accepted and changes nothing.
# Usage: scripts/test-ratio.sh [--report]
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  git ls-files -- "$@" | grep -E '\.(h|hpp|cpp|cc|c)$' | xargs -r cat |
    grep -cv '^[[:space:]]*$' || true
}

tests=$(count tests)
code=$(count . ':!tests' ':!bench' ':!fuzz')
percent=$((code > 0 ? tests * 100 / code : 0))
echo "tests ${tests} non-blank lines, code ${code}: tests are ${percent} % of code"
