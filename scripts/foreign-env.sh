#!/usr/bin/env bash
# Runs a command as a caller whose environment points elsewhere: every
# TAVO_* and XDG_* variable the programs read, HOME and DISPLAY are set to
# places in a folder of its own (none of which exist) and to a display no
# server serves. The tests give every program they start an environment of
# their own, so the command must pass all the same and nothing may appear in
# that folder. Nor may it leave anything behind: nothing new in the system's
# temporary folder and nothing written under the real home (the checkout
# aside) once it ends.
#   scripts/foreign-env.sh COMMAND [ARGUMENT...]
set -uo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || { echo "usage: scripts/foreign-env.sh COMMAND [ARGUMENT...]" >&2; exit 2; }
repo=$(pwd -P)

FOREIGN=$(mktemp -d /tmp/tavo-foreign-XXXXXX)
trap 'rm -rf "$FOREIGN"' EXIT

# The temporary folder's entries, and those of the X servers' socket folder
# in it, where a server that was not ended leaves its socket.
list_temps() {
  find /tmp /tmp/.X11-unix -mindepth 1 -maxdepth 1 2>/dev/null | sort -u
}
# The real home: the password database's, where programs fall back without
# HOME, and the caller's own.
homes=$( (getent passwd "$(id -u)" | cut -d: -f6; echo "${HOME:-}") | sort -u)
list_home_folders() {
  local h
  for h in $homes; do
    [ -d "$h" ] && find "$h" -path "$repo" -prune -o -type d -print 2>/dev/null
  done | sort -u
}
temps_before=$(list_temps)
home_folders_before=$(list_home_folders)
touch "$FOREIGN/.started"

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
fail() {
  echo "foreign-env: $1" >&2
  sed 's/^/  /' <<<"$2" >&2
  [ "$code" = 0 ] && code=1
}

left=$(find "$FOREIGN" -mindepth 1 ! -name .started | sed "s|^$FOREIGN/||")
[ -z "$left" ] || fail "written where the caller's variables point:" "$left"

# What another process on the machine made meanwhile, a compiler's file
# say, goes again within moments; what the command left stays. The X
# servers' socket folder itself is the system's, shared by every server.
new_temps() {
  comm -13 <(echo "$temps_before") <(list_temps) | grep -vxF /tmp/.X11-unix
}
left=$(new_temps)
for _ in $(seq 60); do
  [ -z "$left" ] && break
  sleep 0.5
  left=$(comm -12 <(echo "$left") <(list_temps))
done
[ -z "$left" ] || fail "left in the temporary folder:" "$left"

written=$(for h in $homes; do
  [ -d "$h" ] && find "$h" -path "$repo" -prune -o ! -type d -newer "$FOREIGN/.started" -print 2>/dev/null
done
comm -13 <(echo "$home_folders_before") <(list_home_folders))
written=$(sed '/^$/d' <<<"$written" | sort -u)
[ -z "$written" ] || fail "written under the real home:" "$written"
exit "$code"
