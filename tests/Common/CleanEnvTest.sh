#!/usr/bin/env bash
# The launcher ctest starts every test through (CleanEnvMain.cpp) removes
# the test's folder however the test ends, once what the test left running
# has ended, returns within its bound whatever that does, never signals the
# test's id once it has reaped it, and ends as the test did.
#   CleanEnvTest.sh LAUNCHER
set -u
launcher=$1
# The launcher's bound is about 12 s (5 s, SIGTERM, 5 s, SIGKILL, 2 s more
# for what appears then); this leaves room for a busy machine.
bound=60
results=$TAVO_TEST_FOLDER/results
mkdir -p "$results"

# Waits up to the bound for the file $1 to exist.
appears() {
  local _
  for _ in $(seq $((bound * 20))); do
    [ -e "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

# Starts COMMAND... in a session of its own; FILES.pid holds its id and
# FILES.status its exit status once it has returned.
start() {
  local files=$1
  shift
  (
    setsid "$@" &
    echo $! >"$files.pid"
    wait $!
    echo $? >"$files.status"
  ) 2>/dev/null &
}

# Waits up to the bound for what start FILES started to return, or ends its
# session. Sets status.
returns() {
  if appears "$1.status"; then
    status=$(cat "$1.status")
    return 0
  fi
  kill -KILL -- "-$(cat "$1.pid")" 2>/dev/null
  wait
  return 1
}

# The folder the test wrote in $1 is gone (a killed launcher leaves its
# removal to the process it left behind).
folder_gone() {
  local folder _
  folder=$(cat "$1")
  [ -n "$folder" ] || return 1
  for _ in $(seq $((bound * 20))); do
    [ ! -e "$folder" ] && return 0
    sleep 0.05
  done
  return 1
}

# name | what the test does after writing into its folder | exit status
cases=(
  'passes|exit 0|0'
  'fails|exit 3|3'
  'crashes|kill -SEGV $$|139'
  'is killed with its launcher, as by a timeout|kill -KILL $PPID|137'
  # Long after a launcher that does not wait would have removed the folder;
  # the mark says it wrote.
  'leaves a process that writes there after it ended|(sleep 1; mkdir -p "$TAVO_TEST_FOLDER/late"; : >"$MARK") & exit 0|0'
  'leaves a process that never ends|(trap "" TERM; exec sleep 600) & exit 0|0'
  # It meets SIGTERM with a new process that ignores it, which becomes the
  # launcher's child only when its SIGKILL has ended its parent.
  'leaves a process that starts another as it is asked to end|(trap "(trap \"\" TERM; exec sleep 600) &" TERM; while :; do sleep 0.1; done) & exit 0|0'
  'keeps its temporary files there|[ "$TEST_TMPDIR" = "$TAVO_TEST_FOLDER" ]|0'
)
# Each row runs beside the others: several wait out the launcher's rounds.
run_row() {
  local i=$1 name=$2 script=$3 expected=$4
  local record=$results/$i.folder mark=$results/$i.mark bad=
  : >"$record"
  start "$results/$i" "$launcher" bash -c \
    "MARK=$mark; echo \"\$TAVO_TEST_FOLDER\" >$record; mkdir \"\${TAVO_TEST_FOLDER:?}/made\"; $script"
  if ! returns "$results/$i"; then
    bad="did not return within $bound s"
  else
    [ "$status" = "$expected" ] || bad="status $status (expected $expected)"
    # Nothing it started is left (but for the remover outside its session),
    # unless it was killed itself.
    if [ "$status" != 137 ] && pgrep -s "$(cat "$results/$i.pid")" >/dev/null; then
      bad="$bad; left running: $(pgrep -a -s "$(cat "$results/$i.pid")" | tr '\n' ' ')"
    fi
    if [[ $script == *MARK* ]]; then
      [ -e "$mark" ] || bad="$bad; returned before what it left had written"
      appears "$mark" || bad="$bad; the late process never wrote"
    fi
  fi
  folder_gone "$record" || bad="$bad; folder '$(cat "$record")' left behind"
  [ -z "$bad" ] || echo "FAIL: a test that $name: ${bad#; }" >"$results/$i.fail"
}

# The launcher forwards the signals it gets to the test while the test runs;
# once reaped, the test's id may be another process's. In a pid namespace of
# its own, the process the test leaves behind makes that id the next one and
# starts a process that takes it; then the launcher gets SIGHUP, which must
# not reach that process.
reused_id() {
  local mark=$results/reuse.mark record=$results/reuse.folder bad="" ns
  ns=(unshare --pid --fork --mount --mount-proc)
  "${ns[@]}" true 2>/dev/null || ns=(unshare --map-root-user --pid --fork --mount --mount-proc)
  if ! "${ns[@]}" true 2>/dev/null; then
    echo "a test whose id is taken after it ended: no pid namespace here" >"$results/reuse.skip"
    return
  fi
  : >"$record"
  local taker="
    [ \$BASHPID = \$t ] && echo taken >$mark.up || echo \"\$BASHPID, not \$t\" >$mark.up
    sleep 600 & s=\$!
    trap 'kill \$s; exit' TERM
    trap ': >$mark.hup; kill \$s; exit' HUP
    echo ready >>$mark.up
    wait"
  start "$results/reuse" "${ns[@]}" "$launcher" bash -c "
    echo \"\$TAVO_TEST_FOLDER\" >$record; t=\$\$
    (while kill -0 \$t 2>/dev/null; do sleep 0.01; done
     echo \$((t - 1)) >/proc/sys/kernel/ns_last_pid
     ($taker) &) &
    exit 0"
  local _
  for _ in $(seq $((bound * 20))); do
    grep -q ready "$mark.up" 2>/dev/null && break
    sleep 0.05
  done
  if ! grep -q '^taken$' "$mark.up" 2>/dev/null; then
    bad="the test's id was not taken: $(head -n1 "$mark.up" 2>/dev/null)"
  else
    # The launcher is the namespace's first process, unshare's child.
    local upid lpid
    upid=$(cat "$results/reuse.pid")
    read -r lpid _ <"/proc/$upid/task/$upid/children"
    kill -HUP "$lpid"
  fi
  if ! returns "$results/reuse"; then
    bad="$bad; did not return within $bound s"
  else
    [ "$status" = 0 ] || bad="$bad; status $status (expected 0)"
  fi
  [ -e "$mark.hup" ] && bad="$bad; a signal it got after reaping the test reached the process that took the test's id"
  folder_gone "$record" || bad="$bad; folder '$(cat "$record")' left behind"
  [ -z "$bad" ] || echo "FAIL: a test whose id is taken after it ended: ${bad#; }" >"$results/reuse.fail"
}

for i in "${!cases[@]}"; do
  IFS='|' read -r name script expected <<<"${cases[$i]}"
  run_row "$i" "$name" "$script" "$expected" &
done
reused_id &
wait
failures=0
for fail in "$results"/*.fail; do
  [ -e "$fail" ] || continue
  cat "$fail"
  failures=$((failures + 1))
done
skipped=0
for skip in "$results"/*.skip; do
  [ -e "$skip" ] || continue
  echo "skipped: $(cat "$skip")"
  skipped=$((skipped + 1))
done
total=$((${#cases[@]} + 1))
echo "$((total - failures - skipped)) passed, $failures failed, $skipped skipped"
exit "$((failures > 0))"
