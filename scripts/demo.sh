#!/usr/bin/env bash
# Sets up, builds, starts the simulated controller and runs the engineering commands against it:
# the collections, the controller's registers and queries, an averaged raw frame, a pin check,
# the Hsync MCU, then the example recipe and firmware image checks.
# Usage: scripts/demo.sh [SCENARIO]     (default examples/sim/r6-healthy.scenario)
#        VORLICK_HID=hidraw scripts/demo.sh   uses a real controller instead
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
bin=$PWD/build/default
scenario=${1:-examples/sim/r6-healthy.scenario}
diag() { "$bin/tools/vorlick-diag" "$@"; }

if [ "${VORLICK_HID:-}" != "hidraw" ]; then
  sock=$(mktemp -u /tmp/vorlick-sim.XXXXXX.sock)
  "$bin/sim/vorlick-sim" --socket "$sock" --scenario "$scenario" >/dev/null &
  sim_pid=$!
  trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -f "$sock"' EXIT
  for _ in $(seq 50); do [ -S "$sock" ] && break; sleep 0.1; done
  [ -S "$sock" ] || { echo "vorlick-sim did not start" >&2; exit 1; }
  export VORLICK_HID="sim:$sock"
  echo "== simulated devices ($scenario)"
  "$bin/sim/vorlick-sim" ctl --socket "$sock" list
fi

echo "== HID collections ($VORLICK_HID)"
diag list
echo "== registers"
diag registers
echo "== touch and pen queries"
diag query
echo "== averaged raw frame of 8 frames: first 3 Tx rows, 12 Rx columns (whole grid: build/default/demo-raw.csv)"
diag raw --frames 8 --retry 3 > "$bin/demo-raw.csv"
head -n 3 "$bin/demo-raw.csv" | cut -d, -f1-12 | sed 's/$/,.../'
echo "== pin check"
diag pincheck --wait 100 --threshold 200 | grep -vP '\tOK\t' || true
echo "== Hsync MCU"
diag hsync info
echo "== example recipe (examples/station/R6_full.ini)"
(cd examples/station && diag recipe R6_full.ini)
echo "== example firmware image"
diag hex examples/station/fw_r6_0A52_0103.hex
