#!/usr/bin/env bash
# Builds everything, then updates a simulated mixer: asks its state, puts it
# into update mode, sends a sample image quietly and shows that the device
# received it byte for byte and came back with the new firmware version.
set -euo pipefail
cd "$(dirname "$0")/.."
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
export TAVO_PLATFORM_ROOT="$ROOT"
SIM_PID=
finish() {
  if [ -n "$SIM_PID" ]; then
    "$BIN/mixer-sim-ctl" quit >/dev/null 2>&1 || kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
  rm -rf "$ROOT"
}
trap finish EXIT

ctl() { "$BIN/mixer-sim-ctl" "$@"; }
wait_status() {
  for _ in $(seq 1 500); do
    if ctl status 2>/dev/null | grep -q "$1"; then return 0; fi
    sleep 0.02
  done
  echo "demo: the simulated mixer never reported '$1'" >&2
  return 1
}

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

echo "== simulated mixer in normal mode with firmware 0.0.3.6 (root $ROOT)"
"$BIN/mixer-sim" --mode normal --version 0.0.3.6 --after-update-version 0.0.3.7 --install-ms 1000 \
  --received "$ROOT/received.bin" --log "$ROOT/mixer.log" &
SIM_PID=$!
wait_status "state=attached"

# A sample image: 20000 bytes, not a multiple of the 128-byte chunk.
IMAGE="$ROOT/sample firmware.syx"
head -c 20000 /dev/urandom >"$IMAGE"
echo "sample image: 20000 random bytes (the program takes any image file for firmware 0.0.3.7)"

status_run

echo "== the user puts the device into update mode (power off, hold the buttons, power on)"
ctl update-mode >/dev/null
wait_status "mode=update"
status_run

CHUNKS=$(( (20000 + 127) / 128 ))
echo "== quiet update: $CHUNKS chunks of 128 bytes, 20 ms apart (at least $(( CHUNKS * 20 )) ms after finding the device)"
start=$(date +%s%N)
code=0
"$BIN/FirmwareUpdater" -SILENT "-ABSOLUTE_FIRMWARE_FILE_PATH=$IMAGE" || code=$?
echo "FirmwareUpdater -SILENT: exit code $code after $(( ($(date +%s%N) - start) / 1000000 )) ms"

# The device receives whole chunks: the image zero-padded to 128 bytes.
cp "$IMAGE" "$ROOT/padded.bin"
truncate -s $(( ($(stat -c %s "$IMAGE") + 127) / 128 * 128 )) "$ROOT/padded.bin"
if cmp -s "$ROOT/padded.bin" "$ROOT/received.bin"; then
  echo "device received $(stat -c %s "$ROOT/received.bin") bytes: the image byte for byte, zero-padded to whole chunks"
else
  echo "demo: the device did not receive the image" >&2
  exit 1
fi

echo "== after installing, the device comes back in normal mode"
wait_status "state=attached mode=normal version=0.0.3.7"
echo "mixer-sim status: $(ctl status)"
status_run
