#!/usr/bin/env bash
# The station as whole processes: VorlickR6X --headless against vorlick-sim.
#  1. Soak: 100 checks in one station run (START_TRG 3, one `enter` per check) against a healthy
#     controller: result log rows, totals, JSON records, and the station's resident memory after
#     the first check against after the 99th (the last moment it surely waits for a trigger).
#  2. One check of the quick recipe at 1 ms per feature transfer: its wall time (from the prompt
#     the trigger clears to the verdict, stamped as the lines arrive) against the transfers and
#     the sleeps the check asks for. One probe run counts both (VORLICK_HID_TRACE=1 for the
#     transfers, strace for the UI thread's sleeps); the timed runs go without either.
# Usage: bench/station_binaries_bench.sh [BUILD_DIR] [RUNS]   (default build/default, 5 runs)
# SOAK_CHECKS=N shortens the soak (default 100).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
runs=${2:-5}
sim=$build/sim/vorlick-sim
station=$build/station/app/VorlickR6X
for b in "$sim" "$station"; do [ -x "$b" ] || { echo "no $b: build vorlick-sim and VorlickR6X first" >&2; exit 2; }; done
command -v python3 >/dev/null || { echo "python3 not found" >&2; exit 2; }

work=$(mktemp -d)
simpid='' stpid=''
cleanup() {
    exec 3>&- 2>/dev/null || true
    [ -n "$stpid" ] && kill "$stpid" 2>/dev/null
    [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
die() { echo "station_binaries_bench: $*" >&2; exit 1; }
# shellcheck source=bench/sim_runs.sh
source "$root/bench/sim_runs.sh"

# A fresh station folder (example tables, the e2e recipes) and its own runtime folder.
fresh() {
    dir=$work/$1
    mkdir -p "$dir/station/logs"
    cp -r "$root/examples/station/tables" "$dir/station/"
    cp "$root"/station/app/e2e/recipes/*.ini "$dir/station/"
    export XDG_RUNTIME_DIR=$dir
}
lines() { if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi; }
wait_lines() {  # FILE COUNT SECONDS
    for _ in $(seq $(($3 * 20))); do [ "$(lines "$1")" -ge "$2" ] && return 0; sleep 0.05; done
    die "$1 has fewer than $2 lines after $3 s"
}
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# ---- 1. Soak ----
soak=${SOAK_CHECKS:-100}
fresh soak
sed -e 's/^START_TRG=.*/START_TRG=3/' -e 's/^LOG_FILE=.*/LOG_FILE=soak/' -e 's/^TITLE=.*/TITLE="soak"/' \
    "$dir/station/quick.ini" >"$dir/station/soak.ini"
start_sim "$root/examples/sim/r6-healthy.scenario"
mkfifo "$dir/in.fifo"
(cd "$dir/station" && exec "$station" --headless --start --checks "$soak" --json ../checks.jsonl soak.ini \
    <../in.fifo >../out.txt 2>../err.txt) &
stpid=$!
exec 3>"$dir/in.fifo"
json=$dir/checks.jsonl
t0=$(date +%s%N)
for i in $(seq "$soak"); do
    printf 'enter\n' >&3
    wait_lines "$json" "$i" 120
    sleep 0.2  # the check's own aftermath (result row, calibration) settles
    if [ "$i" -eq 1 ]; then rss_first=$(rss_kb "$stpid"); fi
    if [ "$i" -eq $((soak - 1)) ]; then rss_end=$(rss_kb "$stpid"); fi
done
t1=$(date +%s%N)
for _ in $(seq 600); do kill -0 "$stpid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$stpid" 2>/dev/null && die "the station did not close after $soak checks"
status=0
wait "$stpid" || status=$?
stpid=''
exec 3>&-
stop_sim
log=$dir/station/result.log
rows=$(tr -d '\r' <"$log" | grep -cE '^\| [0-9]{4}/' || true)
totals=$(tr -d '\r' <"$log" | grep -E '^Total:' | tail -n 1)
ok_records=$(grep -c '"verdict":"OK"' "$json" || true)
echo "soak: $soak checks in one station run (START_TRG 3), $(((t1 - t0) / 1000000)) ms, exit status $status"
echo "  result log rows: $rows   totals: $totals   JSON lines: $(lines "$json") (OK: $ok_records)"
awk -v a="$rss_first" -v b="$rss_end" -v n=$((soak - 1)) 'BEGIN {
    printf "  VmRSS after check 1: %d kB   after check %d: %d kB   ratio: %.3f (%+.1f %%)\n", a, n, b, b / a, (b / a - 1) * 100 }'

# ---- 2. One check at 1 ms per transfer ----
scenario=$work/r6-healthy-1ms.scenario
{ cat "$root/examples/sim/r6-healthy.scenario"; echo "latency_ms = 1"; } >"$scenario"

# The check's window, as the station's own elapsed time counts it: from the prompt it clears when
# the trigger starts the check (the last empty prompt before CHECKING...) to the verdict.
# window.py FILE MODE: MODE "wall" takes stamped stderr and prints the seconds; "transfers" takes
# traced stderr and counts feature gets and sets; "sleeps" takes an strace log and sums the ms.
cat >"$work/window.py" <<'EOF'
import re, sys
path, mode = sys.argv[1], sys.argv[2]
verdict = re.compile(r"state: (OK|NG|ERROR)\b")
lines = open(path, errors="replace").read().splitlines()
def text(l):
    if mode == "wall": return l.split(" ", 1)[1] if " " in l else ""
    if mode == "sleeps":
        m = re.match(r'write\(2, "(.*?)(\\n)?"', l)
        return m.group(1) if m else None
    return l
start = None
for i, l in enumerate(lines):
    t = text(l)
    if t is None: continue
    if t.rstrip() == "prompt:": start = i
    if t.startswith("state: CHECKING"): break
else:
    sys.exit("no check in " + path)
total = 0.0
for l in lines[start + 1:]:
    t = text(l)
    if t is not None and verdict.match(t):
        if mode == "wall": total = float(l.split()[0]) - float(lines[start].split()[0])
        break
    if mode == "transfers" and re.match(r"hid \S+ (get|set)> ", l): total += 1
    m = re.search(r"nanosleep\(.*\{tv_sec=(\d+), tv_nsec=(\d+)\}", l) if mode == "sleeps" else None
    if m: total += int(m.group(1)) * 1000 + int(m.group(2)) / 1e6
else:
    sys.exit("no verdict in " + path)
print("%g" % total)
EOF
check_seconds() { python3 "$work/window.py" "$1" wall; }

# Probe: transfers (trace lines) and the UI thread's sleeps inside the check window.
fresh probe
start_sim "$scenario"
transfers='' demanded_ms=''
if command -v strace >/dev/null &&
    (cd "$dir/station" && VORLICK_HID_TRACE=1 timeout 300 strace -qq -ff -o ../st -s 48 \
        -e trace=clock_nanosleep,nanosleep,write "$station" --headless --start --checks 1 quick.ini \
        </dev/null >../out.txt 2>../err.txt); then
    transfers=$(python3 "$work/window.py" "$dir/err.txt" transfers)
    ui=$(grep -l 'state: CHECKING' "$dir"/st.* | head -n 1)
    demanded_ms=$(python3 "$work/window.py" "$ui" sleeps)
else
    echo "  (strace not usable here: no sleep count)"
fi
stop_sim

walls=() stamped=()
for r in $(seq "$runs"); do
    fresh "run$r"
    start_sim "$scenario"
    set +e
    (cd "$dir/station" && timeout 300 "$station" --headless --start --checks 1 --json ../check.jsonl quick.ini \
        </dev/null 2>&1 >../out.txt) | stamp >"$dir/err.txt"
    set -e
    stop_sim
    w=$(check_seconds "$dir/err.txt")
    [ -n "$w" ] || die "run $r: no verdict on the panel"
    grep -q '"verdict":"OK"' "$dir/check.jsonl" || die "run $r: the check did not pass"
    walls+=("$w")
    stamped+=("$(python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["elapsedSeconds"])' "$dir/check.jsonl")")
done
wall=$(printf '%s\n' "${walls[@]}" | median)
echo "one check of quick.ini at 1 ms per transfer, $runs runs:"
echo "  wall (trigger to verdict) s: ${walls[*]}   median $wall"
echo "  station's elapsedSeconds: ${stamped[*]}   median $(printf '%s\n' "${stamped[@]}" | median)"
if [ -n "$transfers" ] && [ -n "$demanded_ms" ]; then
    floor=$(awk -v t="$transfers" -v d="$demanded_ms" 'BEGIN {print (t + d) / 1000}')
    echo "  feature transfers: $transfers   demanded sleeps: $demanded_ms ms   floor: $floor s"
    ratio=$(for w in "${walls[@]}"; do awk -v w="$w" -v f="$floor" 'BEGIN {print w / f}'; done | median)
    printf '  wall / (transfers x 1 ms + demanded sleeps): median %.3f\n' "$ratio"
else
    echo "  transfer or sleep count not available: wall time medians only"
fi
