#!/usr/bin/env bash
# Times the station's checksum of a firmware HEX file (`vorlick-diag checksum FILE`, the sum a
# recipe's CHECKSUM is compared with before a write) against `objcopy -I ihex -O binary FILE
# out.bin` converting the same file, as whole processes, alternating the two, and prints the
# median of each and their ratio. The image is the largest the station sums: data from 0x8000 to
# the end of its 0x60000-byte work area (0x58000 bytes, 32-byte records, CR LF).
# Usage: bench/hex_vs_objcopy.sh [BUILD_DIR] [RUNS] [SIZE]   (default build/default, 41 runs, 0x58000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
runs=${2:-41}
size=${3:-0x58000}
diag=$build/tools/vorlick-diag
[ -x "$diag" ] || { echo "no $diag: build vorlick-diag first" >&2; exit 2; }
command -v objcopy >/dev/null || { echo "objcopy not found (binutils: scripts/setup.sh test)" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 not found (scripts/setup.sh test)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
hex=$work/fw_0A52_0103.hex
python3 "$root/scripts/gen_hex_images.py" --size "$size" --out "$hex" >/dev/null
# Both must take the image before their times mean anything: the station's sum, and objcopy's
# binary of every byte from 0x8000 on.
"$diag" checksum "$hex" >/dev/null || { echo "the station does not sum the $size-byte image" >&2; exit 1; }
objcopy -I ihex -O binary "$hex" "$work/out.bin"
[ "$(stat -c %s "$work/out.bin")" -eq $((size)) ] || { echo "objcopy made $(stat -c %s "$work/out.bin") bytes" >&2; exit 1; }

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
    elapsed_us "$diag" checksum "$hex" >>"$work/diag"
    elapsed_us objcopy -I ihex -O binary "$hex" "$work/out.bin" >>"$work/objcopy"
done
d=$(median <"$work/diag")
o=$(median <"$work/objcopy")
echo "file: $(stat -c %s "$hex") bytes of HEX, image $size bytes at 0x8000, $runs runs each"
printf '%-40s median %8d us\n' "vorlick-diag checksum FILE" "$d" "objcopy -I ihex -O binary FILE out.bin" "$o"
awk -v d="$d" -v o="$o" 'BEGIN {printf "ratio vorlick-diag checksum / objcopy: %.2f\n", d / o}'
