#!/usr/bin/env bash
# The writer's window on a real X display: the station's write (`_tmp.hex -f1`) to a simulated
# F09 controller, watched through the window probe. Every transfer is slowed so the write can be
# caught half-way; the question "Apply this update?" is answered with the keyboard on the display;
# then the exit status, the probe's last state and the flash are checked.
# Usage: window_on_xvfb.sh SIM ROMWRITE SCENARIO WORKDIR HEX
# Screenshots: WORKDIR/shots/romwrite-writing.png and romwrite-asking.png (also copied to
# $VORLICK_SCREENSHOTS when set).
set -euo pipefail
sim=$1 romwrite=$2 scenario=$3 work=$4 hex=$5
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$hex" _tmp.hex
simpid='' wrpid=''

fail() {
  exec 1>&2
  echo "FAIL (romwrite window): $*"
  for f in writer.err sim.out xvfb.err; do [ -s $f ] && { echo "--- $f"; tail -n 20 $f; }; done
  exit 1
}
cleanup() {
  set +e  # a process already gone must not keep the others running
  [ -n "$wrpid" ] && kill "$wrpid" 2>/dev/null
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
  xvfb_stop
}
trap cleanup EXIT
# shellcheck source=../../scripts/xvfb_lib.sh
source "$(dirname "$0")/../../scripts/xvfb_lib.sh"
started=$(date +%s%N)

xvfb_start
sock=$work/sim.sock
setpriv --pdeathsig TERM "$sim" --socket "$sock" --scenario "$scenario" >sim.out 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.05; done
[ -S "$sock" ] || fail "vorlick-sim did not start"
# 20 ms on every transfer: the write takes some seconds instead of a blink.
"$sim" ctl --socket "$sock" faults 0 latency=20 >/dev/null || fail "the simulator refused the latency"

# The X11 platform plugin, not offscreen; its own runtime folder, since one writer runs per session.
env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" VORLICK_HID="sim:$sock" VORLICK_WINDOW_PROBE="$probe" \
  "$romwrite" _tmp.hex -f1 </dev/null 2>writer.err &
wrpid=$!
watched_pid=$wrpid

title='Firmware Write Utility for Kavor USB sensor Ver.3.00'
wait_until 20 "writer window (dialog 100)" probe_is dialog 100
wait_until 20 "window '$title' on $DISPLAY" window_shown "$title"

halfway() {
  local v m
  IFS=/ read -r v m <<<"$(probe_get progress)"
  [ -n "$v" ] && [ -n "$m" ] && [ "$m" -gt 1 ] && [ $((v * 4)) -ge "$m" ] && [ $((v * 4)) -le $((m * 3)) ]
}
wait_until 60 "the write half-way (progress between a quarter and three quarters)" halfway
case "$(probe_get write)" in disabled\ *) ;; *) fail "WRITE enabled during the write: $(probe_get write)" ;; esac
shoot romwrite-writing

question='Confirm: Apply this update?'
wait_until 60 "the question '$question'" probe_is box "$question"
wait_until 10 "the Confirm box on $DISPLAY" window_shown Confirm
shoot romwrite-asking
# Return is the box's default button, Yes.
box=$(xdotool search --onlyvisible --name '^Confirm$' | head -n 1)
timeout 10 xdotool windowfocus --sync "$box" key Return || fail "no key press on the Confirm box"

for _ in $(seq 1200); do kill -0 "$wrpid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$wrpid" 2>/dev/null && fail "the writer did not end within 60 s of Yes"
status=0
wait "$wrpid" || status=$?
wrpid=''
[ "$status" -eq 0 ] || fail "romwrite exited $status"
[ "$(tail -n 1 writer.err)" = "exit code: 0" ] || fail "last stderr line: $(tail -n 1 writer.err)"
probe_is 'done' 1 || fail "the probe does not show the writer done"
probe_is box "" || fail "a box still named in the probe"

# The flash holds the image byte for byte, up to its last 512-byte block.
objcopy -I ihex -O binary --gap-fill 0xFF _tmp.hex image.bin
len=$(stat -c %s image.bin)
size=$(((len + 511) / 512 * 512))
head -c $((size - len)) /dev/zero | tr '\0' '\377' >>image.bin
"$sim" ctl --socket "$sock" flash 0 --size "$size" --out flash.bin
cmp -s image.bin flash.bin || fail "the flash differs from the image"
echo "passed in $((($(date +%s%N) - started) / 1000000)) ms"
