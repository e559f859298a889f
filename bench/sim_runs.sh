# Sourced by the bench scripts that run the programs against vorlick-sim: the simulator in the
# background for one run, medians, and standard error stamped as it arrives. The caller sets
# `sim` (the vorlick-sim binary), `dir` (the run's folder) and defines die().
# shellcheck shell=bash disable=SC2154  # sim and dir: set by the sourcing script

start_sim() {  # SCENARIO: serves $dir/sim.sock; VORLICK_HID names it
    sock=$dir/sim.sock
    "$sim" --socket "$sock" --scenario "$1" >"$dir/sim.out" 2>&1 &
    simpid=$!
    for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.05; done
    [ -S "$sock" ] || die "vorlick-sim did not start"
    export VORLICK_HID=sim:$sock
}
stop_sim() { kill "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null || true; simpid=''; }

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Standard error with a monotonic stamp per line, as it arrives.
stamp() {
    python3 -u -c '
import sys, time
for line in iter(sys.stdin.buffer.readline, b""):
    sys.stdout.write("%.6f %s" % (time.monotonic(), line.decode(errors="replace")))'
}
