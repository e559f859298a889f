#!/usr/bin/env bash
# A line of two headless stations, each against its own simulator, writing into one results
# store; then vorlick-results answers a device's history and the yield by station from it.
# Station 1 checks a healthy controller: AB-0001 OK, AB-0002 OK and its retry OK. Station 2 checks
# one with an open Rx line: AB-0001 again (NG, E631), AB-0003 NG and its retry NG.
# Usage: line_results.sh SIM STATION RESULTS SOURCE_DIR WORKDIR sqlite|postgresql
set -euo pipefail
sim=$1 station=$2 results=$3 src=$4 work=$5 engine=$6
here=$src/station/app/e2e
rm -rf "$work" && mkdir -p "$work" && cd "$work"
pids=()
pgdir=''
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "$pgdir" ] && bash "$src/scripts/test_postgres.sh" stop "$pgdir" >/dev/null 2>&1
  true
}
trap cleanup EXIT

fail() {
  exec 1>&2
  echo "FAIL (line_results $engine): $*"
  for f in st*/out.txt st*/err.txt st*/sim.out; do [ -f "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }; done
  exit 1
}

case $engine in
sqlite) url=sqlite:$work/results.db ;;
postgresql)
  # The server's socket path must stay short: a folder of its own under /tmp.
  pgdir=$(mktemp -d /tmp/vorlick-line-pg.XXXXXX)
  chmod 755 "$pgdir"
  url=$(bash "$src/scripts/test_postgres.sh" start "$pgdir") || fail "no PostgreSQL server"
  ;;
*) fail "unknown engine $engine" ;;
esac

# A station folder with its own simulator, lock folder and standard input (fd 3 or 4).
start_station() {  # N SCENARIO FD
  local n=$1 dir=$work/st$1
  mkdir -p "$dir/station/logs" "$dir/run"
  cp -r "$src/examples/station/tables" "$dir/station/"
  cp "$here/recipes/serial.ini" "$dir/station/"
  "$sim" --socket "$dir/sim.sock" --scenario "$2" >"$dir/sim.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -S "$dir/sim.sock" ] && break; sleep 0.05; done
  [ -S "$dir/sim.sock" ] || fail "vorlick-sim $n did not start"
  mkfifo "$dir/in.fifo"
  (cd "$dir/station" && XDG_RUNTIME_DIR=$dir/run VORLICK_HID=sim:$dir/sim.sock exec "$station" --headless --start \
     --checks 3 --json ../checks.jsonl --results "$url" --station-id "line2-st0$n" serial.ini \
     <../in.fifo >../out.txt 2>../err.txt) &
  pids+=($!)
  eval "exec $3>\"$dir/in.fifo\""
}
send() { printf '%s\n' "$2" >&"$1"; }
count_of() { grep -cF -- "$2" "$1" 2>/dev/null || true; }
wait_count() {  # FILE TEXT COUNT: until the file has COUNT lines holding TEXT
  for _ in $(seq 1200); do [ "$(count_of "$1" "$2")" -ge "$3" ] && return 0; sleep 0.05; done
  fail "fewer than $3 '$2' in $1"
}
checks_ended() { [ -f "$1/checks.jsonl" ] && wc -l <"$1/checks.jsonl" || echo 0; }
wait_checks() {  # DIR COUNT
  for _ in $(seq 1200); do [ "$(checks_ended "$1")" -ge "$2" ] && return 0; sleep 0.05; done
  fail "$1: fewer than $2 checks ended"
}
# Checks one device after another: a new device is a new connection (START_TRG 0).
run_line() {  # N FD SERIAL SERIAL
  local dir=$work/st$1
  wait_count "$dir/err.txt" "serial number: waiting for 'sn TEXT'" 1
  send "$2" "sn $3"
  wait_checks "$dir" 1
  "$sim" ctl --socket "$dir/sim.sock" unplug 0 >/dev/null
  sleep 0.5
  "$sim" ctl --socket "$dir/sim.sock" replug 0 >/dev/null
  wait_count "$dir/err.txt" "serial number: waiting for 'sn TEXT'" 2
  send "$2" "sn $4"
  wait_checks "$dir" 2
  send "$2" start  # the retry of the same device
  wait_checks "$dir" 3
}

start_station 1 "$src/examples/sim/r6-healthy.scenario" 3
start_station 2 "$here/r6-open-rx.scenario" 4
run_line 1 3 AB-0001 AB-0002 &
line1=$!
run_line 2 4 AB-0001 AB-0003 || fail "station 2"
wait "$line1" || fail "station 1"
exec 3>&- 4>&-
for n in 1 2; do
  status=0
  wait "${pids[$(( n * 2 - 1 ))]}" || status=$?
  [ "$n" -eq 1 ] && expected=0 || expected=119  # E631 modulo 256
  [ "$status" -eq "$expected" ] || fail "station $n exited $status, expected $expected"
  grep -qF "Results store" "$work/st$n/out.txt" && fail "station $n said something of its store: $(grep -F 'Results store' "$work/st$n/out.txt")"
done

export VORLICK_RESULTS=$url
history=$("$results" history AB-0001 --json) || fail "history: $history"
python3 - "$history" <<'PY' || fail "history of AB-0001: $history"
import json, sys
rows = [json.loads(line) for line in sys.argv[1].splitlines()]
got = sorted((r["station_id"], r["check_no"], r["retry"], r["verdict"], r["error_code"]) for r in rows)
assert got == [("line2-st01", 1, 0, "OK", None), ("line2-st02", 1, 0, "NG", "E631")], got
PY
yield=$("$results" yield --by station --json) || fail "yield: $yield"
python3 - "$yield" <<'PY' || fail "yield by station: $yield"
import json, sys
y = json.loads(sys.argv[1])
got = {g["group"]: (g["devices"], g["firstPassOk"], g["finalOk"]) for g in y["groups"]}
assert got == {"line2-st01": (2, 2, 2), "line2-st02": (2, 0, 0)}, got
assert (y["total"]["devices"], y["total"]["firstPassOk"], y["total"]["finalOk"]) == (4, 2, 2), y["total"]
PY
# Every check once: six checks, none twice.
rows=$("$results" export --format json | wc -l)
[ "$rows" -eq 6 ] || fail "export has $rows checks, expected 6"
echo "line_results $engine: passed"
