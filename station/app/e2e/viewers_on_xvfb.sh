#!/usr/bin/env bash
# The two maintenance viewers on a real X display (its own Xvfb, the X11 platform plugin), read
# back through their window probes: with a healthy controller connected, Ctrl+R opens the raw
# data viewer, START streams frames from vorlick-sim until the frame rate is above 0, and the
# pointer over a cell of the map shows that cell's tooltip; with a controller whose Rx pin 12 is
# shorted to Vdd and Tx pin 3 to Gnd, Ctrl+P opens the pin check viewer and Check shows "NG" in
# those rows. Escape closes each viewer; the station then ends on SIGTERM.
# Usage: viewers_on_xvfb.sh SIM STATION SOURCE_DIR WORKDIR
# Screenshots: WORKDIR/shots/raw-viewer.png, pin-viewer.png (also copied to $VORLICK_SCREENSHOTS
# when set). Exit 77 (skipped) when the station has no window mode.
set -euo pipefail
sim=$1 station=$2 src=$3 work=$4
here=$src/station/app/e2e
rm -rf "$work" && mkdir -p "$work" && cd "$work"
simpid='' stpid='' run=''

fail() {
  exec 1>&2
  echo "FAIL (viewers${run:+, $run}): $*"
  for f in "$run.out" "$run.err" sim.out xvfb.err; do [ -s "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done
  for f in "$probe" "$probe.raw" "$probe.pin"; do [ -s "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}
# shellcheck source=../../../scripts/xvfb_lib.sh
source "$src/scripts/xvfb_lib.sh"
trap xvfb_cleanup EXIT
started=$(date +%s%N)
export XDG_RUNTIME_DIR=$work
station_probe=$probe

start_sim() { sim_start "$1" "$work/sim-$run.sock"; }

# The station in a fresh folder, on the display, its probe (and its viewers' beside it) fresh.
launch() {
  probe=$station_probe
  rm -rf "$run" "$probe" "$probe.raw" "$probe.pin" && mkdir -p "$run/logs"
  cp -r "$src/examples/station/tables" "$run/"
  cp "$here"/recipes/*.ini "$run/"
  station_launch "$run" quick.ini "$run"
  # Idle and connected: the controller is in maintenance mode, the hidden keys may open.
  wait_until 30 "the panel's PRESS 'START'" probe_is panel "PRESS 'START'"
  wait_until 30 "the controller connected" probe_is connection CONNECT
  wait_until 20 "the station window on $DISPLAY" window_mapped
}

# KEYS to the mapped window titled TITLE (focused first: there is no window manager).
keys_to() {
  local id
  id=$(xdotool search --onlyvisible --name "^$1\$" | head -n 1)
  [ -n "$id" ] || fail "no window titled $1"
  shift
  timeout 10 xdotool windowfocus --sync "$id" key "$@" || fail "keys $* not sent"
}
# The viewer's probe from here on (shoot and probe_get read $probe).
use_probe() {
  probe=$1
  wait_until 20 "the $2 window" probe_is title "$2"
  wait_until 20 "$2 on $DISPLAY" window_shown "$2"
}
xy() { probe_get "$1" | awk -v n="$2" '{ print $(NF - n) }'; }
fps_above_0() { awk -v f="$(probe_get fps)" 'BEGIN { exit !(f > 0) }'; }
frames_at_least() { [ "$(probe_get frames)" -ge "$1" ] 2>/dev/null; }
tooltip_of_cell() { [[ "$(probe_get tooltip)" == "($1) [Data]"* ]]; }
ng_has() { tr ',' '\n' <<<"$(probe_get ng)" | grep -qx "$1"; }

close_station() {
  kill -TERM "$stpid"
  for _ in $(seq 600); do kill -0 "$stpid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$stpid" 2>/dev/null && fail "the station did not close within 30 s of SIGTERM"
  wait "$stpid" || true
  stpid='' watched_pid=''
}

xvfb_start

run=raw
start_sim "$src/examples/sim/r6-healthy.scenario"
launch
keys_to VorlickR6X ctrl+r
use_probe "$station_probe.raw" "Raw Data Viewer"
[ "$(xy start 2)" = enabled ] || fail "START is not enabled at opening: $(probe_get start)"
click_at "$(xy start 1)" "$(xy start 0)"
wait_until 20 "streaming" probe_is status "Success: start Thread."
wait_until 30 "five frames" frames_at_least 5
wait_until 10 "a frame rate above 0" fps_above_0
# The pointer a few pixels into cell (0,0), then onto cell (0,0) itself: a move the map sees.
timeout 10 xdotool mousemove --sync "$(($(xy cell_0_0 1) + 3))" "$(($(xy cell_0_0 0) + 3))" || fail "no pointer move"
timeout 10 xdotool mousemove --sync "$(xy cell_0_0 1)" "$(xy cell_0_0 0)" || fail "no pointer move"
wait_until 10 "the tooltip of cell (0,0)" tooltip_of_cell "0,0"
shoot raw-viewer
keys_to "Raw Data Viewer" Escape
probe=$station_probe
wait_until 10 "the raw data viewer closed" bash -c "! xdotool search --onlyvisible --name '^Raw Data Viewer\$' >/dev/null 2>&1"
probe_is panel "PRESS 'START'" || fail "the station's panel after the viewer: $(probe_get panel)"
close_station

run=pin
start_sim "$src/examples/sim/r6-pin-faults.scenario"
launch
keys_to VorlickR6X ctrl+p
use_probe "$station_probe.pin" "PinCheck Viewer"
click_at "$(xy check 1)" "$(xy check 0)"
wait_until 20 "the pin check read" probe_is status "Success to Get Pin check status."
ng_has "rx 12 vdd" || fail "no NG in Rx row 12's VDD column: $(probe_get ng)"
ng_has "tx 3 gnd" || fail "no NG in Tx row 3's GND column: $(probe_get ng)"
[ "$(probe_get ng)" = "tx 3 gnd,rx 12 vdd" ] || fail "NG in other rows too: $(probe_get ng)"
probe_is error "Error Exist." || fail "no error flags: $(probe_get error)"
shoot pin-viewer
keys_to "PinCheck Viewer" Escape
probe=$station_probe
close_station

echo "passed in $((($(date +%s%N) - started) / 1000000)) ms"
