#!/usr/bin/env bash
# Builds the test binaries whose code runs threads (the simulator's server, the socket backend,
# the stop-signal and line-reader threads, the writer's job thread, the headless front end, the
# input and frame readers, the live views of vorlick-diag and the results writer) with
# ThreadSanitizer and runs them; any report fails the run. Usage: scripts/tsan.sh
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(vorlick_platform_tests vorlick_hidlink_tests vorlick_sim_tests vorlick_device_tests
         vorlick_romwrite_writer_tests vorlick_headless_tests vorlick_diag_tests vorlick_results_tests)
# Of the results tests only the writer's run threads (the rest are store round trips).
declare -A filters=([vorlick_results_tests]='WriterTest.*')
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target "${targets[@]}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
# The binaries find the simulator and their fixtures through the build folder.
export VORLICK_BINARY_DIR=$PWD/build/tsan
status=0
for t in "${targets[@]}"; do
  bin=$(find build/tsan -type f -name "$t" -perm -u+x | head -n 1)
  echo "tsan: $t"
  "$bin" --gtest_brief=1 --gtest_filter="${filters[$t]:-*}" || status=1
done
[ $status -eq 0 ] && echo "tsan: clean" || echo "tsan: FAILED"
exit $status
