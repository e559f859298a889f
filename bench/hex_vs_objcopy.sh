#!/usr/bin/env bash
# Times `vorlick-diag hex FILE` against `objcopy -I ihex -O binary FILE out.bin` as whole
# processes on the same whole-flash image (0x2C000 bytes at 0x8000), alternating the two, and
# prints the median of each and their ratio.
# Usage: bench/hex_vs_objcopy.sh [BUILD_DIR] [RUNS]   (default build/ci, 41 runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/ci}
runs=${2:-41}
diag=$build/tools/vorlick-diag
[ -x "$diag" ] || { echo "no $diag: build vorlick-diag first" >&2; exit 2; }
command -v objcopy >/dev/null || { echo "objcopy not found (binutils)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
hex=$work/fw_0A52_0103.hex
python3 "$root/scripts/gen_hex_images.py" --size 0x2C000 --out "$hex" >/dev/null
"$diag" hex "$hex" >/dev/null   # the image must load before it is worth timing

elapsed_us() {  # runs "$@" once, prints its wall time in microseconds
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    echo $(((t1 - t0) / 1000))
}
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

: >"$work/diag" && : >"$work/objcopy"
for _ in $(seq "$runs"); do
    elapsed_us "$diag" hex "$hex" >>"$work/diag"
    elapsed_us objcopy -I ihex -O binary "$hex" "$work/out.bin" >>"$work/objcopy"
done
d=$(median <"$work/diag")
o=$(median <"$work/objcopy")
echo "file: $(stat -c %s "$hex") bytes of HEX, image 0x2C000 bytes, $runs runs each"
printf '%-40s median %8d us\n' "vorlick-diag hex FILE" "$d" "objcopy -I ihex -O binary FILE out.bin" "$o"
awk -v d="$d" -v o="$o" 'BEGIN {printf "ratio vorlick-diag / objcopy: %.2f\n", d / o}'
