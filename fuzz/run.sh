#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build folder and runs
# each for a bounded time (FUZZ_SECONDS, default 30) from a seed corpus of
# the product's own resource files.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${FUZZ_SECONDS:-30}
BUILD=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "${BUILD}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVO_FUZZ=ON -DBUILD_TESTING=OFF -DCMAKE_C_FLAGS="-fsanitize=address,undefined,fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined,fuzzer-no-link" >/dev/null
targets=(fuzz_skin_reader fuzz_string_table_reader fuzz_control_tree)
cmake --build "${BUILD}" -j "${JOBS:-3}" --target "${targets[@]}"

seed() {
  local dir=$1; shift
  rm -rf "${dir}"; mkdir -p "${dir}"
  cp "$@" "${dir}/"
}
seed "${BUILD}/corpus/fuzz_skin_reader" FirmwareUpdater/Resources/Skins.xml
seed "${BUILD}/corpus/fuzz_control_tree" FirmwareUpdater/Resources/Skins.xml
seed "${BUILD}/corpus/fuzz_string_table_reader" FirmwareUpdater/Resources/StringTables.xml \
  TavoFramework/Resources/FrameworkStrings.xml

for t in "${targets[@]}"; do
  echo "=== ${t} (${SECONDS_PER_TARGET} s)"
  "${BUILD}/bin/${t}" -max_total_time="${SECONDS_PER_TARGET}" -rss_limit_mb=2048 -max_len=262144 \
    -timeout=10 "${BUILD}/corpus/${t}"
done
