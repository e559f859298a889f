#!/usr/bin/env bash
# The real writer against the real simulator: romwrite must end with the expected exit code and,
# when a checksum is given, the simulated flash must then hold the image (its checksum as the
# writer computed it; a written run also leaves its WRITE line in Log.txt).
# Usage: write_against_sim.sh SIM ROMWRITE SCENARIO WORKDIR EXPECTED_EXIT CHECKSUM|- [ROMWRITE ARGS...]
set -euo pipefail
sim=$1 romwrite=$2 scenario=$3 work=$4 expectedExit=$5 expected=$6
shift 6
rm -rf "$work" && mkdir -p "$work" && cd "$work"
sock="$work/sim.sock"
"$sim" --socket "$sock" --scenario "$scenario" >sim.out 2>&1 &
simpid=$!
trap 'kill $simpid 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.05; done
status=0
# Its own runtime folder: the writer allows one instance per session.
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work" VORLICK_HID="sim:$sock" "$romwrite" "$@" </dev/null 2>writer.err || status=$?
if [ "$status" -ne "$expectedExit" ]; then
  echo "romwrite exited $status, expected $expectedExit"; tail -n 20 writer.err; exit 1
fi
[ "$expected" = "-" ] && { echo "exit $status as expected"; exit 0; }
sum=$("$sim" ctl --socket "$sock" flash 0 --checksum)
if [ "$sum" != "$expected" ]; then
  echo "flash checksum $sum, expected $expected"; exit 1
fi
grep -q "WRITE address:0x8000" Log.txt || { echo "Log.txt has no WRITE line"; exit 1; }
echo "written: $sum"
