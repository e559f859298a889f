#!/usr/bin/env bash
# Sets up, builds, starts the simulated controller and runs the engineering commands against it.
# Usage: scripts/demo.sh          (VORLICK_HID=hidraw scripts/demo.sh uses a real controller)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
bin=build/default

if [ "${VORLICK_HID:-}" = "hidraw" ]; then
  diag() { "$bin/tools/vorlick-diag" "$@"; }
else
  sock=$(mktemp -u /tmp/vorlick-sim.XXXXXX.sock)
  "$bin/sim/vorlick-sim" --socket "$sock" --scenario examples/sim/r6-healthy.scenario >/dev/null &
  sim_pid=$!
  trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -f "$sock"' EXIT
  for _ in $(seq 50); do [ -S "$sock" ] && break; sleep 0.1; done
  [ -S "$sock" ] || { echo "vorlick-sim did not start" >&2; exit 1; }
  export VORLICK_HID="sim:$sock"
  diag() { "$bin/tools/vorlick-diag" "$@"; }
  echo "== simulated devices (vorlick-sim ctl --socket $sock list)"
  "$bin/sim/vorlick-sim" ctl --socket "$sock" list
fi

echo "== HID collections ($VORLICK_HID)"
diag list
