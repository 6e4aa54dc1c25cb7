#!/usr/bin/env bash
# Builds everything, then updates a simulated mixer through the updater's
# window. On your display you click; the script plays the mixer's user (it
# puts the device into update mode when the window says how). Without a
# display the same road runs on a private X server, clicked by the script,
# with a screenshot of every step in the folder it names.
#
#   scripts/demo.sh               the window
#   scripts/demo.sh --no-window   the quiet road: status runs and a -SILENT update
set -euo pipefail
cd "$(dirname "$0")/.."
MODE=window
case "${1:-}" in
  "") ;;
  --no-window) MODE=quiet ;;
  *) echo "usage: scripts/demo.sh [--no-window]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-$(nproc)}"

BIN="$PWD/build/default/bin"
if [ ! -x "$BIN/FirmwareUpdater" ]; then
  echo "demo: $BIN/FirmwareUpdater was not built" >&2
  exit 1
fi

# A private simulated platform for the demonstration.
ROOT=$(mktemp -d /tmp/tavo-demo-XXXXXX)
export TAVO_PLATFORM_ROOT="$ROOT" TAVO_RUNTIME_DIR="$ROOT"
SIM_PID= XVFB_PID= APP_PID=
finish() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
  if [ -n "$SIM_PID" ]; then
    "$BIN/mixer-sim-ctl" quit >/dev/null 2>&1 || kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$ROOT"
}
trap finish EXIT

ctl() { "$BIN/mixer-sim-ctl" "$@"; }
wait_status() {
  for _ in $(seq 1 3000); do
    if ctl status 2>/dev/null | grep -q "$1"; then return 0; fi
    sleep 0.02
  done
  echo "demo: the simulated mixer never reported '$1'" >&2
  return 1
}

echo "== simulated mixer in normal mode with firmware 0.0.3.6 (root $ROOT)"
"$BIN/mixer-sim" --mode normal --version 0.0.3.6 --after-update-version 0.0.3.7 --install-ms 1000 \
  --received "$ROOT/received.bin" --log "$ROOT/mixer.log" &
SIM_PID=$!
wait_status "state=attached"

# The program's pace, as the engine keeps it.
engine_constant() { sed -n "s/.*$1 = \\([0-9]*\\);.*/\\1/p" FirmwareUpdater/Engine/UpdateEngine.h; }
CHUNK=$(engine_constant kChunkSize)
PAUSE=$(engine_constant kChunkPauseMs)

# A sample image: 20000 bytes, not a multiple of the chunk size.
IMAGE="$ROOT/sample firmware.syx"
head -c 20000 /dev/urandom >"$IMAGE"
echo "sample image: 20000 random bytes (the program takes any image file for firmware 0.0.3.7)"

# The device receives whole chunks: the image zero-padded to the chunk size.
check_received() {
  cp "$IMAGE" "$ROOT/padded.bin"
  truncate -s $(( ($(stat -c %s "$IMAGE") + CHUNK - 1) / CHUNK * CHUNK )) "$ROOT/padded.bin"
  if cmp -s "$ROOT/padded.bin" "$ROOT/received.bin"; then
    echo "device received $(stat -c %s "$ROOT/received.bin") bytes: the image byte for byte, zero-padded to whole chunks"
  else
    echo "demo: the device did not receive the image" >&2
    exit 1
  fi
}

quiet_road() {
  meaning() {
    case "$1" in
      1) echo "no usable device found" ;;
      2) echo "device in update mode, the file is not newer" ;;
      3) echo "device in update mode, the file is newer" ;;
      4) echo "device in normal mode, the file is not newer" ;;
      5) echo "device in normal mode, the file is newer" ;;
      *) echo "no state reported" ;;
    esac
  }
  status_run() {
    local code=0
    "$BIN/FirmwareUpdater" -RETURN_UPDATE_MODE_STATUS "-ABSOLUTE_FIRMWARE_FILE_PATH=$IMAGE" || code=$?
    echo "FirmwareUpdater -RETURN_UPDATE_MODE_STATUS: exit code $code: $(meaning "$code")"
  }
  status_run
  echo "== the user puts the device into update mode (power off, hold the buttons, power on)"
  ctl update-mode >/dev/null
  wait_status "mode=update"
  status_run
  local chunks=$(( (20000 + CHUNK - 1) / CHUNK )) code=0 start
  echo "== quiet update: $chunks chunks of $CHUNK bytes, $PAUSE ms apart (at least $(( chunks * PAUSE )) ms after finding the device)"
  start=$(date +%s%N)
  "$BIN/FirmwareUpdater" -SILENT "-ABSOLUTE_FIRMWARE_FILE_PATH=$IMAGE" || code=$?
  echo "FirmwareUpdater -SILENT: exit code $code after $(( ($(date +%s%N) - start) / 1000000 )) ms"
  check_received
  echo "== after installing, the device comes back in normal mode"
  wait_status "state=attached mode=normal version=0.0.3.7"
  echo "mixer-sim status: $(ctl status)"
  status_run
}

# ---- the window road, read from the window's own dump (TAVO_UI_DUMP) ----
DUMP="$ROOT/ui.txt"
AUTO=0 SHOTS= STEP=0
# field NAME COLUMN: 3 shown, 5-8 rectangle, 9 value, 10 text.
field() { awk -F'\t' -v n="$1" -v c="$2" '$1 == n { print $c; exit }' "$DUMP" 2>/dev/null; }
shows() { [ "$(field "$1" 3)" = 1 ] && field "$1" 10 | grep -qF -- "$2"; }
progress_at_least() { awk -v v="$(field progressBar 9)" -v m="$1" 'BEGIN { exit !(v + 0 >= m) }'; }
# wait_for WHAT COMMAND...: until the window shows it, while the program runs.
wait_for() {
  local what=$1
  shift
  until "$@"; do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      echo "demo: the program ended before the window showed $what" >&2
      exit 1
    fi
    sleep 0.02
  done
  echo "window: $what"
  if [ "$AUTO" = 1 ]; then
    STEP=$((STEP + 1))
    local file
    file="$SHOTS/$(printf %02d "$STEP")-$(printf %s "$what" | tr -cs 'a-z0-9' '-').png"
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$file" 2>/dev/null
    echo "  screenshot $file"
  fi
}
# click NAME LABEL: the script clicks on a private server; on yours, you do.
click() {
  if [ "$AUTO" = 0 ]; then
    echo "  -> click $2 in the window"
    return
  fi
  local wx wy x y w h
  read -r wx wy < <(awk -F'\t' '$1 == "window" { print $2, $3; exit }' "$DUMP")
  read -r x y w h < <(awk -F'\t' -v n="$1" '$1 == n { print $5, $6, $7, $8; exit }' "$DUMP")
  echo "  clicking $2"
  xdotool mousemove $((wx + x + w / 2)) $((wy + y + h / 2)) click 1
}

window_road() {
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    AUTO=1
    SHOTS="$PWD/build/demo-screenshots"
    rm -rf "$SHOTS" && mkdir -p "$SHOTS"
    echo "== no display: a private X server; screenshots of every step in $SHOTS"
    exec 5>"$ROOT/display"
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    until [ -s "$ROOT/display" ]; do sleep 0.02; done
    export DISPLAY=":$(head -n1 "$ROOT/display")"
  fi
  echo "== the updater's window on $DISPLAY"
  TAVO_UI_DUMP="$DUMP" "$BIN/FirmwareUpdater" "-ABSOLUTE_FIRMWARE_FILE_PATH=$IMAGE" &
  APP_PID=$!

  wait_for "device found and file newer" shows buttonUpdateFirmware "UPDATE FIRMWARE"
  click buttonUpdateFirmware "UPDATE FIRMWARE"
  wait_for "update mode instructions" shows labelUpdateProcessInformation "1. Power OFF"
  echo "== the user puts the device into update mode (power off, hold the buttons, power on)"
  ctl update-mode >/dev/null
  wait_status "mode=update"
  click buttonManualDeviceReadyForUpdateButton "NEXT"
  wait_for "transfer running" shows labelUpdateProcessInformation "Firmware update in progress"
  wait_for "transfer half done" progress_at_least 0.5
  wait_for "transfer done, device installing" shows labelUpdateProcessInformation "Please wait while the update installs"
  wait_status "state=attached mode=normal version=0.0.3.7"
  echo "== the device has installed the image and restarted (mixer-sim: $(ctl status))"
  click buttonManualDeviceHasUpdatedRescanButton "NEXT"
  wait_for "device updated" shows labelUpdateProcessInformation "successfully updated"
  click buttonExit "EXIT"
  local code=0
  wait "$APP_PID" || code=$?
  APP_PID=
  echo "FirmwareUpdater: exit code $code"
  check_received
}

if [ "$MODE" = quiet ]; then quiet_road; else window_road; fi
