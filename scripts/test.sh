#!/usr/bin/env bash
# Builds every preset and runs the whole test suite: the release-with-asserts
# build, the AddressSanitizer/UndefinedBehaviorSanitizer build, and the
# threaded suites under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

JOBS=${JOBS:-$(nproc)}

# How much test there is against code, and one format for every source file.
bash scripts/test-ratio.sh --report
bash scripts/check-format.sh

# The parsers of data from files run under libFuzzer for a bounded time.
echo "=== fuzz"
FUZZ_SECONDS=${FUZZ_SECONDS:-30} JOBS="${JOBS}" bash fuzz/run.sh

for preset in default asan tsan; do
  echo "=== preset ${preset}"
  cmake --preset "${preset}" >/dev/null
  # ThreadSanitizer runs only the threads-labelled suites: build only those.
  target=()
  [[ ${preset} == tsan ]] && target=(--target tavo_threads_tests)
  cmake --build --preset "${preset}" -j "${JOBS}" "${target[@]}"
  # The default suite runs as a caller whose TAVO_*, XDG_*, HOME and DISPLAY
  # point elsewhere: no test may depend on who runs it.
  foreign=()
  [[ ${preset} == default ]] && foreign=(bash scripts/foreign-env.sh)
  "${foreign[@]}" ctest --preset "${preset}" -j "${JOBS}"
done
