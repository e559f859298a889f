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
