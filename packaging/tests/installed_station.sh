#!/usr/bin/env bash
# The station as a station PC gets it: `cmake --install` of the build into a staging folder, then
# the installed station against the installed simulator, with the installed example station
# folder and scenarios (a healthy controller through vorlick-station, as the desktop menu starts
# it; a faulty one through VorlickR6X itself), and no path of the build or source tree inside
# what was installed.
# Usage: installed_station.sh BUILD_DIR SOURCE_DIR PREFIX WORKDIR
set -euo pipefail
build=$1 src=$2 prefix=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
stage=$work/stage
root=$stage$prefix
data=$root/share/vorlick/examples
simpid=''
trap '[ -n "$simpid" ] && kill "$simpid" 2>/dev/null; true' EXIT

fail() {
  exec 1>&2
  echo "FAIL: $*"
  for f in "$work"/*.txt; do [ -f "$f" ] && { echo "--- ${f##*/}"; tail -n 30 "$f"; }; done
  exit 1
}

DESTDIR=$stage cmake --install "$build" --strip >"$work/install.txt" 2>&1 || fail "cmake --install"
top=${prefix#/}
[ "$(ls -A "$stage")" = "${top%%/*}" ] || fail "files installed outside the prefix: $(ls -A "$stage")"

programs=(VorlickR6X romwrite vorlick-sim vorlick-hsync-prog vorlick-diag vorlick-results vorlick-station)
for p in "${programs[@]}"; do
  [ -x "$root/bin/$p" ] || fail "bin/$p is not installed"
  "$root/bin/$p" --version >"$work/version.txt" 2>&1 || fail "$p --version exited $?"
  read -r name _ <"$work/version.txt"
  [ "$name" = "$p" ] || fail "$p --version names '$name'"
  page=$root/share/man/man1/$p.1.gz
  [ -f "$page" ] || fail "no manual page $p.1.gz"
  zcat "$page" | grep -q '^\.SH "EXIT STATUS"' || fail "$p.1 has no EXIT STATUS section"
done
for f in lib/udev/rules.d/70-vorlick.rules share/applications/vorlick-station.desktop \
         share/applications/vorlick-romwrite.desktop share/icons/hicolor/scalable/apps/vorlick.svg \
         share/vorlick/examples/station/PID0A52.ini share/vorlick/examples/sim/r6-healthy.scenario; do
  [ -f "$root/$f" ] || fail "$f is not installed"
done

# No path of the trees the programs were built from (from debug information, __FILE__ in an
# assert, a baked-in data folder): installed, they would point nowhere.
for tree in "$build" "$src" "$(readlink -f "$build")" "$(readlink -f "$src")"; do
  for b in "$root"/bin/*; do
    n=$(grep -c -F -- "$tree" "$b" || true)
    [ "$n" -eq 0 ] || fail "${b#"$root"/} holds $n mentions of $tree"
  done
  hits=$(grep -rlF -- "$tree" "$stage" || true)
  [ -z "$hits" ] || fail "installed files name $tree: $hits"
  for page in "$root"/share/man/man1/*.gz; do
    ! zcat "$page" | grep -qF -- "$tree" || fail "${page##*/} names $tree"
  done
done

# The installed programs run against each other: nothing of the build tree on the way.
export XDG_RUNTIME_DIR=$work
export PATH=/usr/bin:/bin
sock=$work/sim.sock
serve() {
  if [ -n "$simpid" ]; then kill "$simpid"; wait "$simpid" 2>/dev/null || true; fi
  "$root/bin/vorlick-sim" --socket "$sock" --scenario "$data/sim/$1" >"$work/sim.txt" 2>&1 &
  simpid=$!
  for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.05; done
  [ -S "$sock" ] || fail "the installed vorlick-sim did not start with $1"
  export VORLICK_HID=sim:$sock
}
folder=$work/station
cp -r "$data/station" "$folder"

serve r6-healthy.scenario
status=0
VORLICK_STATION_DIR=$folder timeout 120 "$root/bin/vorlick-station" --headless --start --checks 1 \
  --json "$work/checks.jsonl" PID0A52.ini </dev/null >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" -eq 0 ] || fail "healthy controller: exit status $status"
[ "$(tail -n 1 "$work/err.txt")" = "exit code: 0" ] || fail "healthy controller: no 'exit code: 0' last"
grep -qx 'state: OK' "$work/err.txt" || fail "healthy controller: no OK on the panel"
[ -f "$folder/result.log" ] || fail "no result.log in the station folder"
verdict=$(python3 -c 'import json,sys; print(json.loads(sys.stdin.readline())["verdict"])' <"$work/checks.jsonl")
[ "$verdict" = OK ] || fail "healthy controller: JSON verdict $verdict"

serve r6-open-tx.scenario
status=0
(cd "$folder" && timeout 120 "$root/bin/VorlickR6X" --headless --start --checks 1 PID0A52.ini \
   </dev/null >"$work/out.txt" 2>"$work/err.txt") || status=$?
[ "$status" -eq 118 ] || fail "open Tx line: exit status $status, expected 118 (E630 modulo 256)"
[ "$(tail -n 1 "$work/err.txt")" = "exit code: 630" ] || fail "open Tx line: no 'exit code: 630' last"
grep -qF 'Raw Data Check ... NG (Tx Open)' "$work/out.txt" || fail "open Tx line: no Tx open message"
echo "installed station: passed"
