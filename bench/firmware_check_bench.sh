#!/usr/bin/env bash
# A whole station check with a firmware write at 1 ms per feature transfer: VorlickR6X --headless
# runs the e2e firmware recipe (romwrite writes the example image into the simulated F11 flash,
# then the short check) against vorlick-sim. Beside it, alternating, in the same run:
#  bare    the same number of transfers and the same sleeps the check demands (the station's UI
#          thread and romwrite's worker thread, not romwrite's 20 ms tick, which only waits for
#          the worker), replayed by bare_replay against a table device at 1 ms per transfer, with
#          no station or writer logic in between;
#  writer  romwrite's write alone, as the station starts it (`romwrite _tmp.hex -f1`, a whole
#          process), and its own bare pattern counted the same way.
# One probe run of each counts the transfers (VORLICK_HID_TRACE=1) and the sleeps (strace); the
# timed runs go without either. The check's wall time runs from the prompt the trigger clears to
# the verdict, stamped as the lines arrive.
# Usage: bench/firmware_check_bench.sh [BUILD_DIR] [RUNS]   (default build/default, 5 runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
runs=${2:-5}
sim=$build/sim/vorlick-sim
station=$build/station/app/VorlickR6X
romwrite=$build/romwrite/romwrite
replay=$build/bench/bare_replay
for b in "$sim" "$station" "$romwrite" "$replay"; do
    [ -x "$b" ] || { echo "no $b: build vorlick-sim, VorlickR6X, romwrite and bare_replay first" >&2; exit 2; }
done
for c in python3 strace; do command -v $c >/dev/null || { echo "$c not found (scripts/setup.sh test)" >&2; exit 2; }; done
# romwrite on the console, as the station runs it on a line without a desktop.
unset DISPLAY WAYLAND_DISPLAY

work=$(mktemp -d)
simpid=''
cleanup() {
    [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
    if [ -n "${KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
die() { echo "firmware_check_bench: $*" >&2; exit 1; }
# shellcheck source=bench/sim_runs.sh
source "$root/bench/sim_runs.sh"

image=fw_r6_0A52_0103.hex
f11=$work/r6-f11-1ms.scenario
{ cat "$root/examples/sim/r6-f11.scenario"; echo "latency_ms = 1"; } >"$f11"
table=$work/table-1ms.scenario
{ cat "$root/examples/sim/table-r6.scenario"; echo "latency_ms = 1"; } >"$table"

# A fresh station folder (example tables, the e2e firmware recipe with the real writer) and its
# own runtime folder (locks).
fresh() {
    dir=$work/$1
    mkdir -p "$dir/station/logs"
    cp -r "$root/examples/station/tables" "$dir/station/"
    sed -e "s|@ROMWRITE@|$romwrite|" -e "s|@COMPARE@|0|" -e "s|@MAJOR@|0x2BC9|" \
        "$root/station/app/e2e/recipes/fw.ini" >"$dir/station/fw.ini"
    cp "$root/examples/station/$image" "$dir/station/"
    export XDG_RUNTIME_DIR=$dir
}
flash_written() { [ "$("$sim" ctl --socket "$sock" flash 0 --checksum)" = 0x5F64 ]; }
now_ns() { date +%s%N; }


# probe.py MODE ERR STRACE_PREFIX OUT_SLEEPS: counts the transfers in ERR (traced standard error)
# and writes the demanded sleeps, one in ms a line, to OUT_SLEEPS; prints the transfer count.
# MODE "check": the window from the prompt the trigger clears to the verdict; the sleeps of the
# station's UI thread inside it and those of romwrite's threads but its main one.
# MODE "writer": romwrite alone, its whole run; the sleeps of its threads but the main one.
cat >"$work/probe.py" <<'PY'
import glob, re, sys
mode, err, prefix, out = sys.argv[1:5]
verdict = re.compile(r"state: (OK|NG|ERROR)\b")
transfer = re.compile(r"hid \S+ (get|set)> ")
sleep = re.compile(r"nanosleep\(.*\{tv_sec=(\d+), tv_nsec=(\d+)\}")
lines = open(err, errors="replace").read().splitlines()
if mode == "check":
    start = max(i for i, l in enumerate(lines[:next(i for i, l in enumerate(lines) if l.startswith("state: WRITING"))])
                if l.rstrip() == "prompt:")
    end = next(i for i in range(start, len(lines)) if verdict.match(lines[i]))
    lines = lines[start:end]
transfers = sum(1 for l in lines if transfer.match(l))

files = {int(p.rsplit(".", 1)[1]): open(p, errors="replace").read().splitlines() for p in glob.glob(prefix + ".*")}
def at(l):
    return float(l.split(" ", 1)[0])
def until(l):  # when the call returned (-T: its duration at the end of the line)
    m = re.search(r"<(\d+\.\d+)>$", l)
    return at(l) + (float(m.group(1)) if m else 0.0)
def ms(l):
    m = sleep.search(l)
    return round(int(m.group(1)) * 1000 + int(m.group(2)) / 1e6) if m else None
# romwrite's main thread: the one that executed it; its workers: what it and they cloned.
main = [t for t, ls in files.items() if any(re.search(r'execve\("[^"]*/romwrite".* = 0 <', l) for l in ls)]
if len(main) != 1: sys.exit("romwrite's main thread not found in the strace files")
threads, todo = set(), [main[0]]
while todo:
    t = todo.pop()
    for l in files.get(t, []):
        m = re.search(r"clone3?\(.*CLONE_THREAD.* = (\d+) <", l)
        if m and int(m.group(1)) not in threads:
            threads.add(int(m.group(1)))
            todo.append(int(m.group(1)))
sleeps = [s for t in threads for s in map(ms, files.get(t, [])) if s is not None]
# The main thread ticks every 20 ms; while a worker runs a job, the tick only waits for it. With
# none running, its ticks are the writer's own timed waits (the device's presence polled every
# 500 ms after a reset): demanded as much as a sleep.
busy = [(at(files[t][0]), max(map(until, files[t]))) for t in threads if files.get(t)]
sleeps += [ms(l) for l in files[main[0]] if ms(l) is not None and not any(a <= at(l) <= b for a, b in busy)]
if mode == "check":
    # The UI thread: the one that wrote the panel's states; its sleeps between the two lines.
    ui = [t for t, ls in files.items() if any('"state: CHECKING' in l for l in ls)]
    if len(ui) != 1: sys.exit("the station's UI thread not found in the strace files")
    inside = False
    for l in files[ui[0]]:
        if re.search(r'write\(2, "prompt: \\n"', l): inside, window = True, []
        elif inside and re.search(r'write\(2, "state: (OK|NG|ERROR)', l): break
        elif inside and ms(l) is not None: window.append(ms(l))
    sleeps += window
open(out, "w").write("".join("%d\n" % s for s in sleeps))
print(transfers)
PY
check_ms() {  # ERR (stamped): the window in ms
    python3 - "$1" <<'PY'
import re, sys
lines = open(sys.argv[1], errors="replace").read().splitlines()
text = lambda l: l.split(" ", 1)[1] if " " in l else ""
w = next(i for i, l in enumerate(lines) if text(l).startswith("state: WRITING"))
start = max(i for i in range(w) if text(lines[i]).rstrip() == "prompt:")
end = next(i for i in range(start, len(lines)) if re.match(r"state: (OK|NG|ERROR)\b", text(lines[i])))
print("%.1f" % ((float(lines[end].split()[0]) - float(lines[start].split()[0])) * 1000))
PY
}

run_check() {  # TAG [PROBE]: one check; prints its window in ms (PROBE: traced, counts instead)
    fresh "$1"
    start_sim "$f11"
    local status=0
    if [ "${2:-}" = probe ]; then
        (cd "$dir/station" && VORLICK_HID_TRACE=1 timeout 300 strace -qq -ff -ttt -T -o ../st -s 48 \
            -e trace=clock_nanosleep,nanosleep,write,execve,clone,clone3 \
            "$station" --headless --start --checks 1 --json ../check.jsonl fw.ini \
            </dev/null >../out.txt 2>../err.txt) || status=$?
    else
        (cd "$dir/station" && timeout 300 "$station" --headless --start --checks 1 --json ../check.jsonl fw.ini \
            </dev/null 2>&1 >../out.txt) | stamp >"$dir/err.txt" || status=$?
    fi
    flash_written || die "$1: the flash does not hold the image"
    stop_sim
    [ "$status" -eq 0 ] || die "$1: the station exited with $status"
    grep -q '"verdict":"OK"' "$dir/check.jsonl" || die "$1: the check did not pass"
    [ "${2:-}" = probe ] || check_ms "$dir/err.txt"
}
run_writer() {  # TAG [PROBE]: romwrite alone; prints its wall time in ms
    fresh "$1"
    cp "$dir/station/$image" "$dir/station/_tmp.hex"
    start_sim "$f11"
    local status=0 t0 t1
    t0=$(now_ns)
    if [ "${2:-}" = probe ]; then
        (cd "$dir/station" && VORLICK_HID_TRACE=1 timeout 300 strace -qq -ff -ttt -T -o ../st -s 48 \
            -e trace=clock_nanosleep,nanosleep,write,execve,clone,clone3 "$romwrite" _tmp.hex -f1 \
            </dev/null >../out.txt 2>../err.txt) || status=$?
    else
        (cd "$dir/station" && timeout 300 "$romwrite" _tmp.hex -f1 </dev/null >../out.txt 2>../err.txt) || status=$?
    fi
    t1=$(now_ns)
    flash_written || die "$1: the flash does not hold the image"
    stop_sim
    [ "$status" -eq 0 ] || die "$1: romwrite exited with $status"
    [ "${2:-}" = probe ] || awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f\n", (b - a) / 1e6}'
}
run_bare() {  # TAG TRANSFERS SLEEPS_FILE: prints the replay's wall time in ms
    fresh "$1"
    start_sim "$table"
    "$replay" "$2" "$3" || die "$1: the replay failed"
    stop_sim
}

run_check probe-check probe
check_transfers=$(python3 "$work/probe.py" check "$dir/err.txt" "$dir/st" "$work/check.sleeps")
run_writer probe-writer probe
writer_transfers=$(python3 "$work/probe.py" writer "$dir/err.txt" "$dir/st" "$work/writer.sleeps")
sum() { awk '{s += $1} END {print s + 0}' "$1"; }

checks=() bares=() writers=() writer_bares=()
for r in $(seq "$runs"); do
    checks+=("$(run_check "check$r")")
    bares+=("$(run_bare "bare$r" "$check_transfers" "$work/check.sleeps")")
    writers+=("$(run_writer "writer$r")")
    writer_bares+=("$(run_bare "wbare$r" "$writer_transfers" "$work/writer.sleeps")")
done
c=$(printf '%s\n' "${checks[@]}" | median)
b=$(printf '%s\n' "${bares[@]}" | median)
w=$(printf '%s\n' "${writers[@]}" | median)
wb=$(printf '%s\n' "${writer_bares[@]}" | median)
echo "a check of the e2e firmware recipe (F11 write of $image, short check) at 1 ms per transfer, $runs runs, ms:"
printf '  %-44s %s   median %s\n' "check (trigger to verdict)" "${checks[*]}" "$c" \
    "bare: $check_transfers transfers, $(sum "$work/check.sleeps") ms of sleeps" "${bares[*]}" "$b" \
    "romwrite _tmp.hex -f1 alone (whole process)" "${writers[*]}" "$w" \
    "its bare: $writer_transfers transfers, $(sum "$work/writer.sleeps") ms of sleeps" "${writer_bares[*]}" "$wb"
awk -v c="$c" -v b="$b" -v w="$w" -v wb="$wb" 'BEGIN {
    printf "  ratios (medians): check / bare %.3f   writer / its bare %.3f   check / writer %.3f\n", c / b, w / wb, c / w }'
