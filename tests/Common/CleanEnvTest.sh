#!/usr/bin/env bash
# The launcher ctest starts every test through (CleanEnvMain.cpp) removes
# the test's folder however the test ends, and ends as the test did.
#   CleanEnvTest.sh LAUNCHER
set -u
launcher=$1
failures=0

# name | what the test does after writing into its folder | exit status
cases=(
  'passes|exit 0|0'
  'fails|exit 3|3'
  'crashes|kill -SEGV $$|139'
  'is killed with its launcher, as by a timeout|kill -KILL $PPID|137'
  'leaves a process that writes there after it ended|(sleep 0.5; mkdir -p "$TAVO_TEST_FOLDER/late") & exit 0|0'
  'leaves a process that never ends|(trap "" TERM; exec sleep 600) & exit 0|0'
  'keeps its temporary files there|[ "$TEST_TMPDIR" = "$TAVO_TEST_FOLDER" ]|0'
)
for row in "${cases[@]}"; do
  IFS='|' read -r name script expected <<<"$row"
  record=$(mktemp -p "$TAVO_TEST_FOLDER")
  "$launcher" bash -c "echo \"\$TAVO_TEST_FOLDER\" >$record; mkdir \"\${TAVO_TEST_FOLDER:?}/made\"; $script" 2>/dev/null
  status=$?
  folder=$(cat "$record")
  # A killed launcher leaves the removal to the process it left behind.
  for _ in $(seq 1000); do
    [ -n "$folder" ] && [ ! -e "$folder" ] && break
    sleep 0.01
  done
  if [ "$status" != "$expected" ] || [ -z "$folder" ] || [ -e "$folder" ]; then
    echo "FAIL: a test that $name: status $status (expected $expected), folder '${folder}'" \
      "$([ -e "$folder" ] && echo "left behind")"
    failures=$((failures + 1))
  fi
done
[ "$failures" = 0 ] && echo "all ${#cases[@]} cases passed"
exit "$((failures > 0))"
