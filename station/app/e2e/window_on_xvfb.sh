#!/usr/bin/env bash
# The station window on a real X display (its own Xvfb, the X11 platform plugin), read back
# through the window probe: a healthy controller, then one with an open Rx line. Each run starts
# VorlickR6X with the quick recipe (a check per connection) in a fresh station folder, waits for
# "PRESS 'START'", clicks Start where the probe says it is, lets the connected controller trigger
# the check, reads the panel, the counters and the new row back, and ends the station with
# SIGTERM; then the exit status and result.log are checked.
# Usage: window_on_xvfb.sh SIM STATION SOURCE_DIR WORKDIR
# Screenshots: WORKDIR/shots/station-idle.png, station-ok.png, station-ng.png (also copied to
# $VORLICK_SCREENSHOTS when set). Exit 77 (skipped) when the station has no window mode.
set -euo pipefail
sim=$1 station=$2 src=$3 work=$4
here=$src/station/app/e2e
rm -rf "$work" && mkdir -p "$work" && cd "$work"
simpid='' stpid='' run=''

fail() {
  exec 1>&2
  echo "FAIL (station window${run:+, $run}): $*"
  for f in "$run.out" "$run.err" sim.out xvfb.err; do [ -s "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done
  exit 1
}
cleanup() {
  set +e  # a process already gone must not keep the others running
  [ -n "$stpid" ] && kill "$stpid" 2>/dev/null
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
  xvfb_stop
}
trap cleanup EXIT
# shellcheck source=../../../scripts/xvfb_lib.sh
source "$src/scripts/xvfb_lib.sh"
started=$(date +%s%N)
export XDG_RUNTIME_DIR=$work

start_sim() {
  [ -n "$simpid" ] && { kill "$simpid"; wait "$simpid" 2>/dev/null || true; }
  sock=$work/sim-$run.sock
  setpriv --pdeathsig TERM "$sim" --socket "$sock" --scenario "$1" >sim.out 2>&1 &
  simpid=$!
  for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.05; done
  [ -S "$sock" ] || fail "vorlick-sim did not start"
}

# The station in a fresh folder named after the run, on the display, with its probe.
launch() {
  rm -rf "$run" "$probe" && mkdir -p "$run/logs"
  cp -r "$src/examples/station/tables" "$run/"
  cp "$here"/recipes/*.ini "$run/"
  (cd "$run" && exec env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb VORLICK_HID="sim:$sock" VORLICK_WINDOW_PROBE="$probe" \
    "$station" quick.ini </dev/null >"../$run.out" 2>"../$run.err") &
  stpid=$!
  watched_pid=$stpid
  # A build whose station has no window yet says so and exits 2: nothing to test here.
  for _ in $(seq 200); do
    [ -s "$probe" ] && return 0
    kill -0 "$stpid" 2>/dev/null || break
    sleep 0.05
  done
  if ! kill -0 "$stpid" 2>/dev/null && ! [ -s "$probe" ]; then
    local status=0
    wait "$stpid" || status=$?
    stpid=''
    if [ "$status" -eq 2 ] && grep -q "no window" "$run.err"; then
      echo "skipped: this VorlickR6X has no window mode"
      exit 77
    fi
    fail "the station exited $status before its window showed"
  fi
}

# The probe's start= is "<button text> <enabled|disabled> <cx> <cy>".
start_field() { probe_get start | awk -v n="$1" '{ print $(NF - n) }'; }
start_enabled() { [ "$(start_field 2)" = enabled ]; }
window_mapped() { xdotool search --onlyvisible --pid "$stpid" >/dev/null 2>&1; }
row_cell() { probe_get row | tr '\t' '\n' | sed 's/^ *//; s/ *$//' | grep -qx -- "$1"; }

# Start pressed with a synthetic click; the controller's connection triggers the check.
check_with_click() {
  wait_until 30 "the panel's PRESS 'START'" probe_is panel "PRESS 'START'"
  wait_until 20 "the station window on $DISPLAY" window_mapped
  wait_until 10 "an enabled Start button" start_enabled
  [ "$(probe_get rows)" = 0 ] || fail "rows before the first check: $(probe_get rows)"
  # The idle station connects the controller already; on a busy machine that may take a while,
  # and a connection made after Start would be a trigger of its own.
  wait_until 30 "the controller connected" probe_is connection CONNECT
  [ "${1:-}" != idle ] || shoot station-idle
  click_at "$(start_field 1)" "$(start_field 0)"
  # Started, the station waits for a connection: the controller is plugged in anew.
  wait_until 10 "the wait for a connection" probe_is prompt "Waiting for a start triger:  Please connect the USB."
  "$sim" ctl --socket "$sock" unplug 0 >/dev/null || fail "the simulator refused the unplug"
  wait_until 10 "the controller seen unplugged" probe_differs connection CONNECT
  "$sim" ctl --socket "$sock" replug 0 >/dev/null || fail "the simulator refused the replug"
}
probe_differs() { [ "$(probe_get "$1")" != "$2" ]; }

# SIGTERM closes the window in order; the exit status in $status.
close_station() {
  kill -TERM "$stpid"
  for _ in $(seq 600); do kill -0 "$stpid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$stpid" 2>/dev/null && fail "the station did not close within 30 s of SIGTERM"
  status=0
  wait "$stpid" || status=$?
  stpid='' watched_pid=''
}

xvfb_start

run=ok
start_sim "$src/examples/sim/r6-healthy.scenario"
launch
check_with_click idle
wait_until 90 "the panel's OK" probe_is panel OK
wait_until 10 "one row" probe_is rows 1
wait_until 10 "a green RESULT" probe_is result_colour '#00ff00'
row_cell OK || fail "the new row has no OK cell: $(probe_get row)"
probe_is counts "1 1 0" || fail "counters $(probe_get counts), expected 1 1 0"
shoot station-ok
close_station
[ "$status" -eq 0 ] || fail "exit status $status after an OK check, expected 0"
[ -f ok/result.log ] || fail "no result.log"
grep -qF '|   OK   |' ok/result.log || fail "result.log has no OK row"

run=ng
start_sim "$here/r6-open-rx.scenario"
launch
check_with_click
wait_until 90 "the panel's NG" probe_is panel NG
wait_until 10 "one row" probe_is rows 1
wait_until 10 "a red RESULT" probe_is result_colour '#ff0000'
row_cell NG || fail "the new row has no NG cell: $(probe_get row)"
row_cell E631 || fail "the new row has no E631 cell: $(probe_get row)"
probe_is counts "1 0 1" || fail "counters $(probe_get counts), expected 1 0 1"
shoot station-ng
close_station
[ "$status" -eq 119 ] || fail "exit status $status after an NG check, expected 119 (631 modulo 256)"
[ -f ng/result.log ] || fail "no result.log"
grep -qE '\|   NG   \|  E631  \|' ng/result.log || fail "result.log has no E631 row"

echo "passed in $((($(date +%s%N) - started) / 1000000)) ms"
