#!/usr/bin/env bash
# The home key and TKP pen checks' windows on a real X display (its own Xvfb, the X11 platform
# plugin): Start clicked on an idle station against vorlick-sim's passing operator, the controller
# plugged in anew, then each window read back through the window probe ("homekey=PHASE WxH",
# "tkp=PHASE WxH" or "closed") while it covers the screen, a screenshot taken in the phase that
# asks the operator for something, and the check recorded OK: panel, row and detail CSV.
# Usage: operator_checks_on_xvfb.sh SIM STATION SOURCE_DIR WORKDIR
# Screenshots: WORKDIR/shots/home-key-window.png, tkp-window.png (also copied to
# $VORLICK_SCREENSHOTS when set). Exit 77 (skipped) when the station has no window mode.
set -euo pipefail
sim=$1 station=$2 src=$3 work=$4
here=$src/station/app/e2e
rm -rf "$work" && mkdir -p "$work" && cd "$work"
simpid='' stpid=''
started=$(date +%s%N)

fail() {
  exec 1>&2
  echo "FAIL (operator check windows): $*"
  for f in station.out station.err sim.out xvfb.err "$probe"; do [ -s "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done
  exit 1
}
# shellcheck source=../../../scripts/xvfb_lib.sh
source "$src/scripts/xvfb_lib.sh"
trap xvfb_cleanup EXIT
export XDG_RUNTIME_DIR=$work

xvfb_start
sim_start "$src/examples/sim/r6-operator-pass.scenario"

# The quick check with both operator checks; the TKP pen only logged, as the example recipe has it.
mkdir -p st/logs
cp -r "$src/examples/station/tables" st/
sed 's/^ENTER_SN=0/ENTER_SN=0\nTKP_CHECK=1\nHOMEKEY_CHECK=1\nHK_NUM_PIN=4\nHK_REMOVE=1200,1200,1200,1200\nHK_REMOVE_LOW=1000,1000,1000,1000\nHK_TOUCH=300,300,300,300/' \
  "$here/recipes/quick.ini" >st/checks.ini
station_launch st checks.ini station

# The probe's start= is "<button text> <enabled|disabled> <cx> <cy>".
start_field() { probe_get start | awk -v n="$1" '{ print $(NF - n) }'; }
start_enabled() { [ "$(start_field 2)" = enabled ]; }
probe_differs() { [ "$(probe_get "$1")" != "$2" ]; }
row_cell() { probe_get row | tr '\t' '\n' | sed 's/^ *//; s/ *$//' | grep -qx -- "$1"; }
# KEY PHASE NAME: the full-screen window in that phase, the whole screen taken as NAME.png.
shoot_phase() {
  wait_until 40 "the $1 window in phase $2 over the whole screen" probe_is "$1" "$2 $size"
  import -display "$DISPLAY" -window root "$shots/$3.png" || fail "import could not take $3"
  # The painters draw without antialiasing: a few colours, but more than the one of a blank screen.
  [ "$(identify -format %k "$shots/$3.png")" -gt 1 ] || fail "screenshot $3 is blank"
  if [ -n "${VORLICK_SCREENSHOTS:-}" ]; then cp "$shots/$3.png" "$VORLICK_SCREENSHOTS/"; fi
}

wait_until 30 "the panel's PRESS 'START'" probe_is panel "PRESS 'START'"
wait_until 20 "the station window on $DISPLAY" window_mapped
wait_until 10 "an enabled Start button" start_enabled
wait_until 30 "the controller connected" probe_is connection CONNECT
if ! probe_is homekey closed || ! probe_is tkp closed; then fail "a check window before Start: $(tr "\n" ";" <"$probe")"; fi
read -r screen_w screen_h <<<"$(xdotool getdisplaygeometry)"
size="${screen_w}x${screen_h}"

# Started, the station waits for a connection: the controller is plugged in anew.
click_at "$(start_field 1)" "$(start_field 0)"
wait_until 10 "the wait for a connection" probe_is prompt "Waiting for a start triger:  Please connect the USB."
"$sim" ctl --socket "$sock" unplug 0 >/dev/null || fail "the simulator refused the unplug"
wait_until 10 "the controller seen unplugged" probe_differs connection CONNECT
"$sim" ctl --socket "$sock" replug 0 >/dev/null || fail "the simulator refused the replug"

# The home key first: "Touch Homekey and Hold" while the operator holds the key.
shoot_phase homekey 2 home-key-window
wait_until 20 "the home key window closed" probe_is homekey closed
# Then the TKP pen: the signal phase while the pen draws its diagonal.
shoot_phase tkp 3 tkp-window
wait_until 30 "the TKP window closed" probe_is tkp closed

wait_until 60 "the panel's OK" probe_is panel OK
wait_until 10 "one row" probe_is rows 1
row_cell OK || fail "the new row has no OK cell: $(probe_get row)"

station_close
[ "$status" -eq 0 ] || fail "exit status $status after an OK check, expected 0"
# The detail CSV read once the station has closed it.
csvs=(st/logs/quick_*/*__OK_0001_00.csv)
csv=${csvs[0]}
[ -f "$csv" ] || fail "no detail CSV of an OK check"
# Without -q: a grep that leaves the pipe early fails the sed before it under pipefail.
detail=$(tr -d '\r' <"$csv")
sed -n '/^>>>>> Home Key Check <<<<<$/,/^\/\/\*\*\*/p' <<<"$detail" | grep -x PASS >/dev/null ||
  fail "detail CSV: no PASS in the home key section"
sed -n '/^>>>>> TKP Pen Check <<<<<$/,/^\/\/\*\*\*/p' <<<"$detail" | grep -x 'No judge (logging only)' >/dev/null ||
  fail "detail CSV: no logged TKP section"
echo "passed in $((($(date +%s%N) - started) / 1000000)) ms"
