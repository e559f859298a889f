#!/usr/bin/env bash
# The drawing check's window on a real X display (its own Xvfb, the X11 platform plugin), opened
# with Ctrl+D from an idle station against vorlick-sim and read back through the window probe
# ("drawing=STEP PHASE WIDTHxHEIGHT [ok|ng]" or "closed"). First the simulator's operator
# touches the start box, holds ten fingers and cuts the square short: the window shows the NG and
# closes itself after the NG wait. Then, opened again, Enter starts the first step and Esc closes
# it. Ctrl+D records nothing: the result list stays empty and, no check having run, the station
# exits with its initial -1 (255).
# Usage: drawing_on_xvfb.sh SIM STATION SOURCE_DIR WORKDIR
# Screenshots: WORKDIR/shots/drawing-start.png, drawing-ng.png. Exit 77 (skipped) when the
# station has no window mode.
set -euo pipefail
sim=$1 station=$2 src=$3 work=$4
here=$src/station/app/e2e
rm -rf "$work" && mkdir -p "$work" && cd "$work"
simpid='' stpid=''

fail() {
  exec 1>&2
  echo "FAIL (drawing window): $*"
  for f in station.out station.err sim.out xvfb.err "$probe"; do [ -s "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done
  exit 1
}
# shellcheck source=../../../scripts/xvfb_lib.sh
source "$src/scripts/xvfb_lib.sh"
trap xvfb_cleanup EXIT
export XDG_RUNTIME_DIR=$work

xvfb_start
sim_start "$here/r6-drawing-operator.scenario"

mkdir -p st/logs
cp -r "$src/examples/station/tables" st/
cp "$here"/recipes/quick.ini st/
station_launch st quick.ini station

drawing_matches() { probe_get drawing | grep -qE "$1"; }
# Ctrl+D typed into the station window (no window manager: the focus is set by hand).
ctrl_d() {
  local id
  id=$(xdotool search --onlyvisible --name '^VorlickR6X$' | head -n 1)
  [ -n "$id" ] || fail "no station window to type into"
  xdotool windowfocus --sync "$id" || fail "the station window took no focus"
  xdotool key --clearmodifiers ctrl+d
}
# A key typed into the drawing window, which holds the focus while it is open.
key() { xdotool key --clearmodifiers "$1"; }

wait_until 30 "the panel's PRESS 'START'" probe_is panel "PRESS 'START'"
wait_until 20 "the station window on $DISPLAY" window_mapped
wait_until 30 "the controller connected" probe_is connection CONNECT
probe_is drawing closed || fail "a drawing window before Ctrl+D: $(probe_get drawing)"

read -r _ _ screen_w screen_h <<<"$(xdotool getdisplaygeometry | awk '{ print 0, 0, $1, $2 }')"
size="${screen_w}x${screen_h}"

# The operator's run: the start screen full size, ten fingers, a square cut short, the NG.
ctrl_d
wait_until 10 "the drawing window's start screen over the whole screen" drawing_matches "^0 0 $size\$"
import -display "$DISPLAY" -window root "$shots/drawing-start.png" || fail "import could not take drawing-start"
wait_until 30 "the square step" drawing_matches "^2 [12] $size\$"
wait_until 30 "the square judged NG" drawing_matches "^2 3 $size ng\$"
import -display "$DISPLAY" -window root "$shots/drawing-ng.png" || fail "import could not take drawing-ng"
# Nobody taps: the NG wait runs out and the window closes by itself.
wait_until 30 "the drawing window closed after the NG wait" probe_is drawing closed

# Opened again: Enter starts the first step, Esc closes the window.
ctrl_d
wait_until 10 "the drawing window again" drawing_matches "^0 0 $size\$"
key Return
wait_until 10 "the first step after Enter" drawing_matches "^1 1 $size\$"
key Escape
wait_until 10 "the drawing window closed by Esc" probe_is drawing closed

probe_is rows 0 || fail "the drawing check from Ctrl+D left a row: $(probe_get rows)"
probe_is connection CONNECT || fail "the controller is $(probe_get connection) after the drawing check"
if [ -n "${VORLICK_SCREENSHOTS:-}" ]; then cp "$shots"/drawing-*.png "$VORLICK_SCREENSHOTS/"; fi

station_close
# No check ran, so the station's exit code is still its initial -1.
[ "$status" -eq 255 ] || fail "exit status $status, expected 255 (no check ran)"
echo passed
