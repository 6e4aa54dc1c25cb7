#!/usr/bin/env bash
# Runs README.md's examples of the runs without a window against a real
# mixer-sim and holds them to the README's own tables and texts, read from
# README.md itself so that the two cannot drift apart.
#   ReadmeCommands.sh SOURCE_DIR BIN_DIR
# ctest runs it through tavo_clean_env: none of the caller's TAVO_*, XDG_*,
# HOME or DISPLAY reaches it; what it needs it sets below.
set -uo pipefail
SRC=$1
BIN=$2
README="$SRC/README.md"
WORK=$(mktemp -d "${TAVO_TEST_FOLDER:-/tmp}/rc-XXXXXX")
SIM_PID= SILENT_PID= WINDOW_PID= XVFB_PID=
FAILED=0

cleanup() {
  for pid in $SILENT_PID $WINDOW_PID $XVFB_PID $SIM_PID; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  FAILED=1
}

# Every folder the programs use stays in the work folder; there is no display.
export TAVO_PLATFORM_ROOT="$WORK/root" TAVO_RUNTIME_DIR="$WORK/run" HOME="$WORK/home"
export XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR TAVO_USER_APPDATA_DIR TAVO_CONFIG_DIR TAVO_DEBUG_OUTPUT
mkdir -p "$HOME"

# The indented lines of the code block that follows the paragraph holding
# the text $1.
block_after() {
  awk -v marker="$1" '
    index($0, marker) { found = 1; next }
    found && /^    / { inside = 1; sub(/^    /, ""); print; next }
    found && inside && !/^    / { exit }'  "$README"
}

# A README line made to run here: the programs of this build, private files.
localise() {
  sed -e "s|build/default/bin/|$BIN/|g" -e "s|/tmp/image.syx|$IMAGE|g" \
      -e "s|/tmp/tavo-try|$TAVO_PLATFORM_ROOT|g"
}

start_sim() {
  "$BIN/mixer-sim" "$@" >"$WORK/sim.out" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 1 600); do
    "$BIN/mixer-sim-ctl" status >/dev/null 2>&1 && return 0
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.05
  done
  fail "mixer-sim $* did not start: $(cat "$WORK/sim.out")"
  return 1
}
stop_sim() {
  "$BIN/mixer-sim-ctl" quit >/dev/null 2>&1 || kill "$SIM_PID"
  wait "$SIM_PID" 2>/dev/null
  SIM_PID=
}

# The device receives whole chunks of the program's size (README's numbers
# are those of its 128-byte chunks): what it holds of an image of $1 bytes.
CHUNK=$(sed -n 's/.*kChunkSize = \([0-9]*\);.*/\1/p' "$SRC/FirmwareUpdater/Engine/UpdateEngine.h")
[ -n "$CHUNK" ] || fail "FirmwareUpdater/Engine/UpdateEngine.h: no kChunkSize"
padded() { echo $(( ($1 + ${CHUNK:-1} - 1) / ${CHUNK:-1} * ${CHUNK:-1} )); }

IMAGE="$WORK/image.syx"
head -c 20000 /dev/urandom >"$IMAGE"
WALK=$(block_after "Try the runs without a window against the simulator")
[ -n "$WALK" ] || fail "README.md: no walk-through block after 'Try the runs without a window'"
WALK_SIZE=$(grep -o 'head -c [0-9]*' <<<"$WALK" | grep -o '[0-9]*$' | head -n1)
STATUS_LINE=$(grep -m1 -- '-RETURN_UPDATE_MODE_STATUS' <<<"$WALK" | sed 's/;.*//')
SILENT_LINE=$(grep -m1 -- 'FirmwareUpdater -SILENT ' <<<"$WALK" | sed 's/;.*//')
[ -n "$STATUS_LINE" ] && [ -n "$SILENT_LINE" ] || fail "README.md: the walk-through lacks a status or a silent run"

echo "== the walk-through, line by line, as written"
script="$WORK/walk.sh"
{
  echo 'check() { local last; last=$(printf "%s\n" "$2" | tail -n1); case "$last" in "$1"*) ;; *) echo "FAIL: line $3 printed \"$last\", README says \"$1\"" >&2; bad=1 ;; esac; }'
  echo 'bad=0'
  n=0
  while IFS= read -r line; do
    n=$((n + 1))
    command=${line%%  # *}
    if [ "$command" != "$line" ]; then
      expected=${line#*  # }
      expected=${expected% ...}
      [ -n "$WALK_SIZE" ] && expected=$(sed -E "s/received=[0-9]+/received=$(padded "$WALK_SIZE")/" <<<"$expected")
      printf 'out=$( { %s ; } 2>&1 ); check %q "$out" %d\n' "$(localise <<<"$command")" "$expected" "$n"
    else
      localise <<<"$line"
    fi
  done <<<"$WALK"
  echo 'exit $bad'
} >"$script"
(cd "$SRC" && timeout 300 bash "$script") || fail "the walk-through did not print what README.md says"
# A walk-through that stopped half-way leaves its simulator running.
"$BIN/mixer-sim-ctl" quit >/dev/null 2>&1

echo "== each row of the exit-code table against its mixer-sim"
ROWS=$(awk '/^### Exit codes of -RETURN_UPDATE_MODE_STATUS/ { t = 1; next } t && /^#/ { exit } t && /^\| [0-9]+ \|/' "$README")
[ "$(wc -l <<<"$ROWS")" -ge 5 ] || fail "README.md: the exit-code table has fewer than five rows"
while IFS= read -r row; do
  code=$(awk -F'|' '{ gsub(/ /, "", $2); print $2 }' <<<"$row")
  sim=$(grep -o '`mixer-sim[^`]*`' <<<"$row" | tr -d '`')
  [ -n "$sim" ] || continue
  image=$IMAGE
  grep -q 'missing image' <<<"$row" && image="$WORK/no such image.syx"
  # shellcheck disable=SC2086
  start_sim ${sim#mixer-sim} || continue
  got=0
  eval "$(IMAGE=$image localise <<<"$STATUS_LINE")" >/dev/null 2>&1 || got=$?
  [ "$got" = "$code" ] || fail "exit-code table: '$sim'$([ "$image" = "$IMAGE" ] || echo ' with a missing image') gave $got, README says $code"
  stop_sim
done <<<"$ROWS"

echo "== what a user cannot guess: a late or wrong-length identity reply is update mode"
LATE=$(awk -F'|' '$2 ~ / 3 / { gsub(/ /, "", $2); print $2 }' <<<"$ROWS")
# Well past the 2 s wait: on a busy machine the program may start waiting a
# while after its request went out.
for args in "--reply-delay-ms 3500" "--reply-length 36" "--reply-length 38"; do
  # shellcheck disable=SC2086
  start_sim $args || continue
  got=0
  eval "$(localise <<<"$STATUS_LINE")" >/dev/null 2>&1 || got=$?
  [ "$got" = "$LATE" ] || fail "mixer-sim $args gave $got, README says $LATE"
  stop_sim
done

echo "== the switch table's -SILENT row"
SILENT_ROW=$(grep -m1 '^| `-SILENT` |' "$README")
SILENT_CODE=$(awk -F'|' '{ print $4 }' <<<"$SILENT_ROW" | grep -o '[0-9]\+' | head -n1)
NO_DISPLAY_CODE=$(awk -F'|' '{ print $4 }' <<<"$SILENT_ROW" | grep -o '[0-9]\+ without a display' | grep -o '^[0-9]\+')
[ -n "$SILENT_CODE" ] && [ -n "$NO_DISPLAY_CODE" ] || fail "README.md: the -SILENT row names no exit codes"
if start_sim --mode update --install-ms 0; then
  got=0
  eval "$(localise <<<"$SILENT_LINE")" >/dev/null 2>&1 || got=$?
  [ "$got" = "$SILENT_CODE" ] || fail "-SILENT update gave $got, README says $SILENT_CODE"
  "$BIN/mixer-sim-ctl" status | grep -q "received=$(padded "$(stat -c %s "$IMAGE")") " ||
    fail "-SILENT did not send the image: $("$BIN/mixer-sim-ctl" status)"
  stop_sim
fi

echo "== a -SILENT run with no device and no display"
MESSAGE=$(block_after "ends with 70 and the message:")
[ -n "$MESSAGE" ] || fail "README.md: no start-up message after 'ends with 70 and the message:'"
if start_sim --mode absent; then
  got=0
  eval "$(localise <<<"$SILENT_LINE")" >"$WORK/out" 2>&1 || got=$?
  [ "$got" = "$NO_DISPLAY_CODE" ] || fail "-SILENT with no device and no display gave $got, README says $NO_DISPLAY_CODE"
  head -n "$(wc -l <<<"$MESSAGE")" "$WORK/out" | diff -u <(printf '%s\n' "$MESSAGE") - ||
    fail "the start-up message differs from README.md's"
  "$BIN/mixer-sim-ctl" status | grep -q 'flag=0 received=0 ' || fail "-SILENT with no device reached the driver"
  stop_sim
fi

echo "== single instance: beside a -SILENT copy a status run runs in full"
grep -q 'beside a copy without a window (a `-SILENT` run, a status' "$README" ||
  fail "README.md no longer says a copy beside a -SILENT copy runs in full"
BIG="$WORK/big image.syx"
head -c 100000 /dev/urandom >"$BIG"
if start_sim --mode update --install-ms 0; then
  (eval "exec $(IMAGE=$BIG localise <<<"$SILENT_LINE")" >/dev/null 2>&1) &
  SILENT_PID=$!
  for _ in $(seq 1 600); do
    "$BIN/mixer-sim-ctl" status | grep -q 'flag=1 received=[1-9]' && break
    sleep 0.05
  done
  got=0
  eval "$(localise <<<"$STATUS_LINE")" >/dev/null 2>&1 || got=$?
  [ "$got" = "$LATE" ] || fail "a status run beside a -SILENT transfer gave $got, README's table says $LATE"
  kill -TERM "$SILENT_PID" 2>/dev/null
  wait "$SILENT_PID" 2>/dev/null
  SILENT_PID=
  stop_sim
fi

echo "== single instance: beside a window copy a status run answers 0"
grep -q 'run then answers 0, not 1-5' "$README" || fail "README.md no longer says a status run beside a window answers 0"
if command -v Xvfb >/dev/null && start_sim; then
  exec 5>"$WORK/display"
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  exec 5>&-
  for _ in $(seq 1 600); do [ -s "$WORK/display" ] && break; sleep 0.05; done
  DISPLAY=":$(head -n1 "$WORK/display")" TAVO_UI_DUMP="$WORK/ui.txt" \
    "$BIN/FirmwareUpdater" "-ABSOLUTE_FIRMWARE_FILE_PATH=$IMAGE" >/dev/null 2>&1 &
  WINDOW_PID=$!
  # The window copy takes hand-overs once its window exists, before it draws.
  for _ in $(seq 1 1200); do [ -s "$WORK/ui.txt" ] && break; sleep 0.05; done
  [ -s "$WORK/ui.txt" ] || fail "the window copy never showed its window"
  got=0
  eval "$(localise <<<"$STATUS_LINE")" >/dev/null 2>&1 || got=$?
  [ "$got" = 0 ] || fail "a status run beside a window copy gave $got, README says 0"
  kill -TERM "$WINDOW_PID" "$XVFB_PID" 2>/dev/null
  wait "$WINDOW_PID" "$XVFB_PID" 2>/dev/null
  WINDOW_PID= XVFB_PID=
  stop_sim
fi

echo "== mixer-sim-ctl --help"
"$BIN/mixer-sim-ctl" --help | grep -q '^usage: mixer-sim-ctl' || fail "mixer-sim-ctl --help printed no usage"
"$BIN/mixer-sim-ctl" --help >/dev/null || fail "mixer-sim-ctl --help exited $?, README says 0"

exit $FAILED
