#!/usr/bin/env bash
# Sets up, builds, and runs the test station headless against the simulated controller: one
# check of a healthy device, then one of a faulty device (an open Tx line), each showing the
# message pane, the panel and prompt lines, the result log and the head of the detail CSV.
# Usage: scripts/demo.sh [FAULTY SCENARIO]   (default examples/sim/r6-open-tx.scenario)
#        VORLICK_HID=hidraw scripts/demo.sh  one check of the real controller attached, with the
#                                            recipe chosen by its product id
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
cmake --preset default >/dev/null
cmake --build --preset default --target VorlickR6X vorlick-sim vorlick-diag
bin=$PWD/build/default
faulty=${1:-examples/sim/r6-open-tx.scenario}

# A fresh copy of the example station folder: the station writes its logs beside its recipes.
folder=$bin/demo-station
rm -rf "$folder" && cp -r examples/station "$folder" && mkdir -p "$folder/logs"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$folder}

# One headless check: VorlickR6X --headless --start --checks 1 [RECIPE] in the station folder.
station_check() {
  local status=0
  echo "== VorlickR6X --headless --start --checks 1 $* (stdout: the message pane)"
  # A station that never gets to its check is closed (SIGTERM: the orderly shutdown) after 2 min.
  (cd "$folder" && timeout 120 "$bin/station/app/VorlickR6X" --headless --start --checks 1 --json "$folder/checks.jsonl" "$@" \
     </dev/null 2>"$folder/station.err") || status=$?
  echo "== stderr: prompt, panel state, exit code"
  grep -E '^(prompt|state|exit code): ' "$folder/station.err" || true
  echo "== exit status $status"
  if [ -f "$folder/result.log" ]; then
    echo "== result.log (its table)"
    sed -n '/^##### RESULT (LIST)/,$p' "$folder/result.log" | tr -d '\r'
  fi
  local csv
  csv=$(ls -t "$folder"/logs/*/*.csv 2>/dev/null | head -n 1 || true)
  if [ -n "$csv" ]; then
    echo "== detail CSV ${csv#"$folder"/}: the head of its report"
    sed -n '/^##### RESULT OVERVIEW/,/^>>>>> Short check/p' "$csv" | tr -d '\r' | head -n 24
  fi
  echo "== JSON record"
  tail -n 1 "$folder/checks.jsonl" 2>/dev/null | cut -c1-300 || true
  echo
}

if [ "${VORLICK_HID:-}" = "hidraw" ]; then
  echo "== HID collections (hidraw)"
  "$bin/tools/vorlick-diag" list
  station_check
  exit 0
fi

sim_pid=''
sock=$(mktemp -u /tmp/vorlick-sim.XXXXXX.sock)
trap '[ -n "$sim_pid" ] && { kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; }; rm -f "$sock"' EXIT
serve() {
  if [ -n "$sim_pid" ]; then kill $sim_pid; wait $sim_pid 2>/dev/null || true; fi
  "$bin/sim/vorlick-sim" --socket "$sock" --scenario "$1" >/dev/null &
  sim_pid=$!
  for _ in $(seq 50); do [ -S "$sock" ] && break; sleep 0.1; done
  [ -S "$sock" ] || { echo "vorlick-sim did not start" >&2; exit 1; }
  export VORLICK_HID="sim:$sock"
  echo "######## simulated controller: $1"
}

serve examples/sim/r6-healthy.scenario
station_check PID0A52.ini
serve "$faulty"
station_check PID0A52.ini
