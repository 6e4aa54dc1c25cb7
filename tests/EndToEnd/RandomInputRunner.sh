#!/usr/bin/env bash
# scripts/random-input.py judged on stand-ins for the updater, on a private X
# server against the real mixer-sim: a program that crashes fails the run,
# one ended by the runner's own signal passes, a driver flag left on is
# blamed on the run that left it alone, and an aborted transfer the device
# installed anyway is counted and noted. A program that hangs, or ends
# without showing its window, fails the run, and the runner prints its
# figures all the same, also when it is itself asked to end; the caller's
# sanitizer settings stay.
#
#   RandomInputRunner.sh SOURCE_DIR BIN_DIR
set -u
SRC=$1
BIN=$(cd "$2" && pwd)
WORK=$(mktemp -d "${TAVO_TEST_FOLDER:-/tmp}/rr-XXXXXX")
XVFB_PID=
finish() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap finish EXIT
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 2>/dev/null &
XVFB_PID=$!
exec 3>&-
for _ in $(seq 600); do [ -s "$WORK/display" ] && break; sleep 0.05; done
DISPLAY_NAME=":$(head -n1 "$WORK/display")"

# What the stand-ins share: the image switch the runner passes, a wait for
# the device's status (30 s at most) and the real updater run -SILENT on the
# device put into update mode.
PRELUDE='
for a; do case $a in -ABSOLUTE_FIRMWARE_FILE_PATH=*) image=$a;; esac; done
status() {
  for _ in $(seq 600); do "'"$BIN"'/mixer-sim-ctl" status | grep -q "$1" && return 0; sleep 0.05; done
  return 1
}
update() {
  "'"$BIN"'/mixer-sim-ctl" update-mode >/dev/null
  status "state=attached mode=update" || exit 3
  "'"$BIN"'/FirmwareUpdater" -SILENT "$image" & updater=$!
}
# The first run only; later ones wait for the runner to end them.
[ -e "$HOME/ran" ] && exec sleep 600
: > "$HOME/ran"
'

FAILED=0
CASES=0
# [OPTIONS=...] [INTERRUPT=SIGNAL] case NAME SECONDS EXIT STAND-IN
# [PATTERN COUNT]...: the runner's exit code and how many of its output lines
# match each pattern. OPTIONS go to the runner; INTERRUPT is sent to it once
# the first run has started. A runner that has not finished a minute after
# its time fails the case.
case_of() {
  local name=$1 seconds=$2 expected=$3 script=$4
  shift 4
  CASES=$((CASES + 1))
  local bin="$WORK/$name"
  mkdir -p "$bin/tmp"
  ln -s "$BIN/mixer-sim" "$bin/mixer-sim"
  ln -s "$BIN/mixer-sim-ctl" "$bin/mixer-sim-ctl"
  printf '#!/bin/bash\n%s\n%s\n' "$PRELUDE" "$script" >"$bin/FirmwareUpdater"
  chmod +x "$bin/FirmwareUpdater"
  # In a group of its own, so whatever it left running can be ended.
  # shellcheck disable=SC2086
  (
    TMPDIR="$bin/tmp" setsid python3 "$SRC/scripts/random-input.py" --display "$DISPLAY_NAME" --seconds "$seconds" \
      --seed 3 --chunks 400 --end-seconds 5 ${OPTIONS:-} --bin "$bin" --keep "$bin/kept" >"$bin/out" 2>&1 &
    echo $! >"$bin/runner"
    wait $!
    echo $? >"$bin/code"
  ) &
  local waiter=$! _
  if [ -n "${INTERRUPT:-}" ]; then
    for _ in $(seq 600); do
      compgen -G "$bin/tmp/*/ran" >/dev/null && break
      sleep 0.05
    done
    kill "-$INTERRUPT" "$(cat "$bin/runner")"
  fi
  for _ in $(seq $(((${seconds%.*} + 60) * 20))); do
    [ -s "$bin/code" ] && break
    sleep 0.05
  done
  local runner code bad=
  runner=$(cat "$bin/runner")
  if [ -s "$bin/code" ]; then
    code=$(cat "$bin/code")
    [ "$code" = "$expected" ] || bad="exit code $code, not $expected"
  else
    bad="did not finish within $((${seconds%.*} + 60)) s"
  fi
  kill -KILL -- "-$runner" 2>/dev/null
  wait "$waiter"
  # What the runner kept is there once it has gone, outside its work folder.
  rm -rf "$bin/tmp"
  local kept
  for kept in $(sed -n 's/.* kept in \(.*\)$/\1/p' "$bin/out"); do
    [ -f "$kept" ] || bad="$bad; $kept is not there"
  done
  while [ $# -gt 0 ]; do
    local found
    found=$(grep -cE -- "$1" "$bin/out")
    [ "$found" = "$2" ] || bad="$bad; $found lines, not $2, match: $1"
    shift 2
  done
  if [ -n "$bad" ]; then
    echo "FAILED $name: ${bad#; }"
    sed 's/^/    /' "$bin/out"
    FAILED=$((FAILED + 1))
  else
    echo "passed $name"
  fi
}

case_of crash 3 1 'kill -ABRT $$' \
  'PROBLEM: run 1 ended by signal 6 \(SIGABRT\), which the runner did not send' 1 \
  '^  crashes +1$' 1
case_of its-own-signal 3 0 'exec sleep 600' \
  '^  ends by signal 15 +1$' 1 'PROBLEM' 0
case_of flag-left-on 12 1 'update; status flag=1 || exit 3; kill -KILL $updater; wait $updater; exit 0' \
  'PROBLEM: run 1 left the driver.s update flag on; the device at the end of run 1' 1 'update flag on' 1 \
  'PROBLEM: run 1 ended with exit code 0 without showing its window' 1
case_of aborted-installed 20 0 \
  'update; status "received=[1-9]" || exit 3; kill -TERM $updater; wait $updater; exec sleep 600' \
  '^  aborted-but-installed +1$' 1 \
  'note: run 1: a transfer aborted after [0-9]+ of 51200 bytes was installed by the device anyway' 1 'PROBLEM' 0

case_of exit-code-one 3 1 'echo "a word on the way out" >&2; exit 1' \
  'PROBLEM: run 1 ended with exit code 1, which no way out of the window gives; its standard error is kept in' 1 \
  '^  odd-exits +1$' 1
case_of simulator-ends 3 1 'pkill -ABRT -f -- "--root $TAVO_PLATFORM_ROOT --log"; exec sleep 600' \
  'PROBLEM: the simulator ended \(signal 6\) without being asked; its standard error is kept in' 1

# A program that hangs: the runner's last wait has a bound, and its figures
# come out.
case_of hangs 3 1 'trap "" TERM INT HUP; exec sleep 600' \
  'PROBLEM: run 1 did not end within 5 s of the runner.s SIGTERM and was killed; its standard error is kept in' 1 \
  '^  hangs +1$' 1 '^random-input: seed 3' 1
case_of exits-without-window 3 1 'echo "no display, no word" >&2; exit 0' \
  'PROBLEM: run 1 ended with exit code 0 without showing its window; its standard error is kept in' 1 \
  '^  ends-without-window +1$' 1
OPTIONS='--window-seconds 2' case_of shows-no-window 4 1 'exec sleep 600' \
  'PROBLEM: run 1 showed no window within 2 s and was killed; its standard error is kept in' 1 '^  hangs +1$' 1
INTERRUPT=TERM case_of interrupted 120 143 'exec sleep 600' \
  '^random-input: interrupted by SIGTERM' 1 '^  ends by signal 15 +1$' 1 'PROBLEM' 0
# The caller's sanitizer settings reach the program, with the runner's after.
ASAN_OPTIONS=quarantine_size_mb=16 case_of keeps-sanitizer-settings 3 0 \
  'case $ASAN_OPTIONS in quarantine_size_mb=16:*detect_leaks=1*) exec sleep 600 ;; esac
   echo "ASAN_OPTIONS=$ASAN_OPTIONS" >&2; exit 1' \
  'PROBLEM' 0

echo "$((CASES - FAILED)) passed, $FAILED failed"
[ "$FAILED" = 0 ]
