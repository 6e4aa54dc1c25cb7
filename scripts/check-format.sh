#!/usr/bin/env bash
# Checks every tracked C++ file against .clang-format; lists the files that
# differ and exits non-zero when there are any.
set -euo pipefail
cd "$(git rev-parse --show-toplevel)"
formatter=${CLANG_FORMAT:-clang-format}
differ=()
while IFS= read -r -d '' file; do
  if ! "$formatter" --style=file "$file" | cmp -s - "$file"; then
    differ+=("$file")
  fi
done < <(git ls-files -z -- '*.cpp' '*.h' '*.hpp' '*.cc')
if ((${#differ[@]})); then
  printf 'not formatted: %s\n' "${differ[@]}"
  echo "${#differ[@]} file(s) differ from .clang-format" >&2
  exit 1
fi
