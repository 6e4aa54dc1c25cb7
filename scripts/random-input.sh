#!/usr/bin/env bash
# Random input against the updater's window, as a hostile user and a faulty
# desktop would give it: the AddressSanitizer build under openbox on a private
# X server, updating a real mixer-sim, with clicks, keys, close requests to
# the inactive window, update mode switched on the device, and signals. The
# program is started again whenever it ends; every end is checked (no end by
# a signal the runner did not send, no hang, no exit 0 without a window, the
# driver's flag at 0, each transfer whole or reported failed, no sanitizer
# report). Ctrl+C ends it early with its figures. Not part of CI's test run.
#
#   scripts/random-input.sh [SECONDS] [--seed N]     (default 180 seconds)
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN=180
EXTRA=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) EXTRA+=(--seed "$2"); shift 2 ;;
    [0-9]*) SECONDS_TO_RUN=$1; shift ;;
    *) echo "usage: scripts/random-input.sh [SECONDS] [--seed N]" >&2; exit 2 ;;
  esac
done
for tool in Xvfb openbox xprop python3; do
  command -v "$tool" >/dev/null || { echo "random-input: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
cmake --preset asan >/dev/null
cmake --build --preset asan -j "${JOBS:-4}" --target FirmwareUpdater mixer-sim mixer-sim-ctl IniFileManager

WORK=$(mktemp -d /tmp/tavo-random-input-XXXXXX)
XVFB_PID= WM_PID=
finish() {
  [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap finish EXIT
exec 3>"$WORK/display"
# In sessions of their own: a Ctrl+C that cuts the run short leaves the
# display to the runner until it has printed its figures.
setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>/dev/null &
XVFB_PID=$!
for _ in $(seq 200); do [ -s "$WORK/display" ] && break; sleep 0.05; done
DISPLAY_NAME=":$(head -n1 "$WORK/display")"
XDG_CACHE_HOME="$WORK" XDG_CONFIG_HOME="$WORK" DISPLAY="$DISPLAY_NAME" setsid openbox --sm-disable >/dev/null 2>&1 &
WM_PID=$!
for _ in $(seq 200); do
  DISPLAY="$DISPLAY_NAME" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
  sleep 0.05
done
# The runner's own work folder goes with this one.
TMPDIR="$WORK" python3 scripts/random-input.py --display "$DISPLAY_NAME" --seconds "$SECONDS_TO_RUN" \
  --bin "$PWD/build/asan/bin" "${EXTRA[@]}"
