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
# shellcheck source=../../../scripts/xvfb_lib.sh
source "$src/scripts/xvfb_lib.sh"
trap xvfb_cleanup EXIT
started=$(date +%s%N)
export XDG_RUNTIME_DIR=$work

start_sim() { sim_start "$1" "$work/sim-$run.sock"; }

# The station in a fresh folder named after the run, on the display, with its probe.
launch() {
  rm -rf "$run" "$probe" && mkdir -p "$run/logs"
  cp -r "$src/examples/station/tables" "$run/"
  cp "$here"/recipes/*.ini "$run/"
  station_launch "$run" quick.ini "$run"
}

# The probe's start= is "<button text> <enabled|disabled> <cx> <cy>".
start_field() { probe_get start | awk -v n="$1" '{ print $(NF - n) }'; }
start_enabled() { [ "$(start_field 2)" = enabled ]; }
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
station_close
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
station_close
[ "$status" -eq 119 ] || fail "exit status $status after an NG check, expected 119 (631 modulo 256)"
[ -f ng/result.log ] || fail "no result.log"
grep -qE '\|   NG   \|  E631  \|' ng/result.log || fail "result.log has no E631 row"

echo "passed in $((($(date +%s%N) - started) / 1000000)) ms"
