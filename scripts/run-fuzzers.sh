#!/usr/bin/env bash
# Runs every fuzz_* target of a build folder for a fixed time, from its seed corpus when it has one.
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for f in "$build"/*/fuzz_* "$build"/*/*/fuzz_* "$build"/*/*/*/fuzz_*; do
  [ -f "$f" ] && [ -x "$f" ] || continue  # not the CMakeFiles/fuzz_*.dir folders
  name=$(basename "$f")
  corpus=$(mktemp -d)
  seeds=$(find "$root" -path "*/fuzz/corpus/${name#fuzz_}" -type d -not -path "$root/build/*" | head -n 1)
  echo "fuzz: $name for ${seconds}s${seeds:+ (seeds: ${seeds#$root/})}"
  if ! "$f" -max_total_time="$seconds" -max_len=8192 -print_final_stats=0 "$corpus" ${seeds:+"$seeds"} >"$corpus.log" 2>&1; then
    tail -n 40 "$corpus.log"
    status=1
  fi
  rm -rf "$corpus" "$corpus.log"
done
exit $status
