#!/usr/bin/env bash
# Runs a command as a caller whose environment points elsewhere: every
# TAVO_* and XDG_* variable the programs read, HOME and DISPLAY are set to
# places in a folder of its own (none of which exist) and to a display no
# server serves. The tests give every program they start an environment of
# their own, so the command must pass all the same and nothing may appear in
# that folder.
#   scripts/foreign-env.sh COMMAND [ARGUMENT...]
set -uo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || { echo "usage: scripts/foreign-env.sh COMMAND [ARGUMENT...]" >&2; exit 2; }

FOREIGN=$(mktemp -d /tmp/tavo-foreign-XXXXXX)
trap 'rm -rf "$FOREIGN"' EXIT
# The names the programs read, from their sources, so a new one is covered.
names=$(grep -rhoE '"(TAVO|XDG)_[A-Z_]*[A-Z]"' --include=*.cpp --include=*.h \
  Platform TavoFramework FirmwareUpdater tools | tr -d '"' | sort -u)
for name in $names; do
  export "$name=$FOREIGN/$name"
done
export TAVO_DEBUG_OUTPUT=1 HOME="$FOREIGN/home"
# A display number no server listens on.
display=97
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
echo "foreign-env: $(wc -w <<<"$names") TAVO_*/XDG_* variables, HOME and DISPLAY=$DISPLAY point elsewhere"

code=0
"$@" || code=$?
left=$(find "$FOREIGN" -mindepth 1 | sed "s|^$FOREIGN/||")
if [ -n "$left" ]; then
  echo "foreign-env: written where the caller's variables point:" >&2
  sed 's/^/  /' <<<"$left" >&2
  [ "$code" = 0 ] && code=1
fi
exit "$code"
