# shellcheck shell=bash
# Sourced by the real-display tests: a private X server (Xvfb) on a free display, the window
# probe (VORLICK_WINDOW_PROBE) read back, synthetic input and screenshots cropped to the window.
# The caller sets $work (its working folder) and defines fail(); every wait here is bounded and
# fails with what the probe showed last. xvfb_stop and the caller's own clean-up run from the
# caller's EXIT trap (a TERM, INT or HUP ends the caller through it too).
trap 'exit 1' TERM INT HUP

# A sanitized build reports what the X11 stack keeps until exit; that is not the program's leak.
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan_x11.supp"
export LSAN_OPTIONS="$LSAN_OPTIONS:print_suppressions=0"

xvfb_pid=''
watched_pid=''  # the program under test: a wait gives up as soon as it has exited
probe=$work/window.probe
shots=$work/shots

# Starts Xvfb on the first free display (the server picks it and holds its lock, so parallel
# tests never share one) and exports DISPLAY once the server answers.
xvfb_start() {
  local numfile=$work/xvfb.display
  : >"$numfile"
  # Tied to this shell: should the test itself be killed, the server goes with it.
  setpriv --pdeathsig TERM Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$numfile" >"$work/xvfb.err" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ "$(wc -l <"$numfile")" -ge 1 ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb exited: $(tail -n 5 "$work/xvfb.err")"
    sleep 0.05
  done
  [ "$(wc -l <"$numfile")" -ge 1 ] || fail "Xvfb named no display within 10 s"
  DISPLAY=:$(head -n 1 "$numfile")
  export DISPLAY
  for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && { mkdir -p "$shots"; return 0; }
    sleep 0.1
  done
  fail "display $DISPLAY does not answer within 10 s"
}

xvfb_stop() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  xvfb_pid=''
}

# The value of one probe key (empty when absent).
probe_get() { sed -n "s/^$1=//p" "$probe" 2>/dev/null | head -n 1; }

# SECONDS WHAT COMMAND...: until COMMAND succeeds.
wait_until() {
  local secs=$1 what=$2
  shift 2
  for _ in $(seq $((secs * 20))); do
    "$@" && return 0
    if [ -n "$watched_pid" ] && ! kill -0 "$watched_pid" 2>/dev/null; then
      "$@" && return 0
      fail "the program ended before $what (probe: $(tr '\n' ';' <"$probe" 2>/dev/null))"
    fi
    sleep 0.05
  done
  fail "no $what within $secs s (probe: $(tr '\n' ';' <"$probe" 2>/dev/null))"
}

probe_is() { [ "$(probe_get "$1")" = "$2" ]; }

# Whether an X window with exactly this title is mapped on the display.
window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }

# X Y: a left click there, as the pointer would give it.
click_at() { timeout 10 xdotool mousemove --sync "$1" "$2" click 1 || fail "no click at $1 $2"; }

# NAME: the window's frame (the probe's geometry) cut from the screen into $shots/NAME.png,
# copied to $VORLICK_SCREENSHOTS when that names a folder. A picture of one colour is no picture
# of the window.
shoot() {
  local g
  read -ra g <<<"$(probe_get geometry)"
  [ ${#g[@]} -eq 4 ] || fail "no geometry in the probe for $1"
  import -display "$DISPLAY" -window root -crop "${g[2]}x${g[3]}+${g[0]}+${g[1]}" +repage "$shots/$1.png" ||
    fail "import could not take $1"
  [ "$(identify -format %k "$shots/$1.png")" -gt 16 ] || fail "screenshot $1 is blank"
  if [ -n "${VORLICK_SCREENSHOTS:-}" ]; then cp "$shots/$1.png" "$VORLICK_SCREENSHOTS/"; fi
}

# The station's real-display tests: the caller sets $sim and $station (the programs) besides
# $work and fail(); the simulator runs as $simpid, the station as $stpid.

# The caller's EXIT trap: the station, the simulator and the server, whichever still runs.
xvfb_cleanup() {
  set +e  # a process already gone must not keep the others running
  [ -n "${stpid:-}" ] && kill "$stpid" 2>/dev/null
  [ -n "${simpid:-}" ] && kill "$simpid" 2>/dev/null
  xvfb_stop
}

# SCENARIO [SOCKET]: vorlick-sim on SOCKET ($work/sim.sock unless given; kept in $sock), the
# simulator of a previous run ended first.
sim_start() {
  if [ -n "${simpid:-}" ]; then
    kill "$simpid"
    wait "$simpid" 2>/dev/null || true
  fi
  sock=${2:-$work/sim.sock}
  setpriv --pdeathsig TERM "$sim" --socket "$sock" --scenario "$1" >sim.out 2>&1 &
  simpid=$!
  for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.05; done
  [ -S "$sock" ] || fail "vorlick-sim did not start"
}

# DIR RECIPE NAME: the station in DIR with RECIPE on the display, writing $probe, its output in
# NAME.out and NAME.err. Returns once the probe is written or, on a slow start, after 10 s (the
# waits that follow give up once the station has exited). A build whose station has no window
# says so and exits 2: the test is skipped (77).
station_launch() {
  (cd "$1" && exec env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb VORLICK_HID="sim:$sock" VORLICK_WINDOW_PROBE="$probe" \
    "$station" "$2" </dev/null >"$work/$3.out" 2>"$work/$3.err") &
  stpid=$!
  watched_pid=$stpid
  for _ in $(seq 200); do
    [ -s "$probe" ] && return 0
    kill -0 "$stpid" 2>/dev/null || break
    sleep 0.05
  done
  if ! kill -0 "$stpid" 2>/dev/null && ! [ -s "$probe" ]; then
    local status=0
    wait "$stpid" || status=$?
    stpid=''
    if [ "$status" -eq 2 ] && grep -q "no window" "$work/$3.err"; then
      echo "skipped: this VorlickR6X has no window mode"
      exit 77
    fi
    fail "the station exited $status before its window showed"
  fi
}

# SIGTERM closes the station in order; its exit status in $status.
station_close() {
  kill -TERM "$stpid"
  for _ in $(seq 600); do kill -0 "$stpid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$stpid" 2>/dev/null && fail "the station did not close within 30 s of SIGTERM"
  status=0
  wait "$stpid" || status=$?
  stpid='' watched_pid=''
}

# Whether one of the station's windows is mapped on the display.
window_mapped() { xdotool search --onlyvisible --pid "$stpid" >/dev/null 2>&1; }
