#!/usr/bin/env bash
# Line and branch coverage of the whole suite (ASan + UBSan build with gcov), for people to read:
# build/coverage/report/index.html and a summary on stdout. No floor is enforced.
# Usage: scripts/coverage.sh   (after ctest --preset coverage)
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/coverage/report
rm -rf "$out" && mkdir -p "$out"
gcovr --root . --object-directory build/coverage \
  --exclude '.*/tests/.*' --exclude '.*/fuzz/.*' --exclude 'bench/.*' --exclude 'build/.*' \
  --gcov-ignore-parse-errors \
  --html-details "$out/index.html" --print-summary -j 2 | tail -n 3
echo "coverage report: $out/index.html"
