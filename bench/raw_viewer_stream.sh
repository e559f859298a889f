#!/usr/bin/env bash
# The raw data viewer streaming from vorlick-sim (r6-healthy) for SECONDS (60 unless told), RUNS
# times (1 unless told): frames received, handled, dropped and refused, and the rates; with
# several runs the medians of the rates. Run from the repository with the default build.
#   bench/raw_viewer_stream.sh [SECONDS] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD:-$here/../build/default}
sim=$build/sim/vorlick-sim
prog=$build/bench/raw_viewer_stream
seconds=${1:-60}
runs=${2:-1}
die() { echo "raw_viewer_stream.sh: $*" >&2; exit 1; }
if [ ! -x "$sim" ] || [ ! -x "$prog" ]; then die "build vorlick-sim and raw_viewer_stream first"; fi
dir=$(mktemp -d)
trap '[ -z "$simpid" ] || stop_sim; rm -rf "$dir"' EXIT
# shellcheck source=bench/sim_runs.sh
. "$here/sim_runs.sh"
simpid=''
for run in $(seq "$runs"); do
    start_sim "$here/../examples/sim/r6-healthy.scenario"
    "$prog" "$seconds" | tee "$dir/run$run.txt"
    stop_sim
done
if [ "$runs" -gt 1 ]; then
    for what in received handled; do
        printf 'median frames %s per s: ' "$what"
        grep "frames $what" "$dir"/run*.txt | sed 's/.*(\([0-9.]*\) per s).*/\1/' | median
    done
fi
