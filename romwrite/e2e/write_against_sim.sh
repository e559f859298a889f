#!/usr/bin/env bash
# The real writer against the real simulator. One case is one or more writer runs against one
# simulated controller; after each run the exit code must be the expected one and the flash is
# checked; after the last run Log.txt is checked.
# Usage: write_against_sim.sh SIM ROMWRITE SCENARIO WORKDIR HEX NAME FLASH LOG RUN...
#   HEX    image copied into the working directory as NAME (- for none)
#   FLASH  image: the flash must then hold HEX byte for byte (0xFF up to its 512-byte block)
#          blank: nothing was written; -: not looked at
#   LOG    a file Log.txt must equal (CR LF, time stamps masked); none: no Log.txt; -: not compared
#          ±TEXT: Log.txt must (+) or must not (!) contain TEXT; several joined with '&'
#   RUN    EXIT:ARG,ARG,... (the writer's arguments, comma-separated)
set -euo pipefail
sim=$1 romwrite=$2 scenario=$3 work=$4 hex=$5 name=$6 flash=$7 logcheck=$8
shift 8
rm -rf "$work" && mkdir -p "$work" && cd "$work"
[ "$hex" = "-" ] || cp "$hex" "$name"
sock="$work/sim.sock"
"$sim" --socket "$sock" --scenario "$scenario" >sim.out 2>&1 &
simpid=$!
trap 'kill $simpid 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -S "$sock" ] && break; sleep 0.05; done

fail() { echo "$*"; exit 1; }

checkFlash() {
  case "$flash" in
    -) ;;
    image)
      objcopy -I ihex -O binary --gap-fill 0xFF "$name" image.bin
      local len size
      len=$(stat -c %s image.bin)
      size=$(( (len + 511) / 512 * 512 ))
      head -c $((size - len)) /dev/zero | tr '\0' '\377' >>image.bin
      "$sim" ctl --socket "$sock" flash 0 --size "$size" --out flash.bin
      cmp image.bin flash.bin || fail "flash differs from $name"
      # Nothing beyond the image was programmed either.
      "$sim" ctl --socket "$sock" flash 0 --out extent.bin
      [ "$(stat -c %s extent.bin)" -eq "$size" ] || fail "flash written beyond the image"
      ;;
    blank)
      "$sim" ctl --socket "$sock" flash 0 --out extent.bin
      [ "$(stat -c %s extent.bin)" -eq 0 ] || fail "flash written although the write was refused"
      ;;
    *) fail "unknown flash check $flash" ;;
  esac
}

# Time stamps vary: the header's date and time, and each line's minute, second and millisecond.
maskStamps() {
  sed -E -e 's#^[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}(\r?)$#MM/DD hh:mm:ss.mmm\1#' \
         -e 's#^[0-9]{2}:[0-9]{2}\.[0-9]{3} #mm:ss.mmm #' "$1"
}

checkLog() {
  case "$logcheck" in
    -) ;;
    none) [ ! -e Log.txt ] || fail "Log.txt written without /L" ;;
    [+!]*)
      [ -f Log.txt ] || fail "no Log.txt"
      IFS='&' read -ra parts <<<"$logcheck"
      for p in "${parts[@]}"; do
        if [ "${p:0:1}" = "+" ]; then
          grep -qF -- "${p:1}" Log.txt || fail "Log.txt lacks '${p:1}'"
        else
          ! grep -qF -- "${p:1}" Log.txt || fail "Log.txt has '${p:1}'"
        fi
      done
      ;;
    *)
      [ -f Log.txt ] || fail "no Log.txt"
      maskStamps Log.txt >log.masked
      diff -u "$logcheck" log.masked || fail "Log.txt differs from $logcheck"
      ;;
  esac
}

for run in "$@"; do
  expectedExit=${run%%:*}
  IFS=',' read -ra args <<<"${run#*:}"
  status=0
  # Its own runtime folder: the writer allows one instance per session.
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work" VORLICK_HID="sim:$sock" "$romwrite" "${args[@]}" </dev/null 2>writer.err || status=$?
  [ "$status" -eq "$expectedExit" ] || { tail -n 20 writer.err; fail "romwrite ${args[*]} exited $status, expected $expectedExit"; }
  echo "romwrite ${args[*]}: exit $status"
done
checkFlash
checkLog
echo "passed"
