#!/usr/bin/env bash
# Holds the documentation to the tree: every source path a document names in
# `backticks` exists, and every name in the README's "Where to change what"
# table occurs in one of the files its row names.
#   DocsPaths.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 1
FAILED=0
fail() {
  echo "FAIL: $*" >&2
  FAILED=1
}

# A path counts when it names something at the top, beside the document, or
# inside the framework (whose folders the documents name as includes do).
exists() {
  local doc_dir=$1 path=$2
  [ -e "$path" ] || [ -e "$doc_dir/$path" ] || [ -e "TavoFramework/$path" ]
}

echo "== source paths in the documents"
docs=(README.md Platform/README.md Platform/*/README.md Platform/Midi/MidiSockets.md FirmwareUpdater/*/README.md)
for doc in "${docs[@]}"; do
  [ -f "$doc" ] || { fail "$doc is gone"; continue; }
  # Paths of the tree: two or more parts, no variables, no build output.
  while IFS= read -r path; do
    exists "$(dirname "$doc")" "$path" || fail "$doc names \`$path\`, which does not exist"
  done < <(grep -o '`[^`]*`' "$doc" | tr -d '`' |
    grep -E '^\.?[A-Za-z][A-Za-z0-9_.+-]*(/[A-Za-z0-9_.+-]+)+/?$' | grep -v '^build/' | sort -u)
done

echo "== the README's \"Where to change what\" table"
rows=$(awk '/^## Where to change what/ { t = 1; next } t && /^## / { exit } t && /^\| / && !/^\| (to change|---)/' README.md)
[ "$(wc -l <<<"$rows")" -ge 10 ] || fail "README.md: the table has fewer than ten rows"
while IFS= read -r row; do
  where=$(awk -F' \\| ' '{ print $2 }' <<<"${row//\\|/%PIPE%}")
  where=${where//%PIPE%/|}
  files=()
  while IFS= read -r path; do
    if [ -f "$path" ]; then
      files+=("$path")
    else
      fail "where to change what: \`$path\` does not exist"
    fi
  done < <(grep -o '`[^`]*/[^`]*`' <<<"$where" | tr -d '`')
  [ ${#files[@]} -gt 0 ] || { fail "where to change what: a row names no file: $row"; continue; }
  # Names in backticks (without a slash) and ids in quotes.
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    grep -qF -- "$name" "${files[@]}" || fail "where to change what: \"$name\" is in none of ${files[*]}"
  done < <({ grep -o '`[^`]*`' <<<"$where" | tr -d '`' | grep -v /; grep -o '"[^"]*"' <<<"$where" | tr -d '"'; } |
    sed 's/ \.\.\.$//; s/, \.\.\.$//')
done <<<"$rows"

exit $FAILED
