#!/usr/bin/env bash
# Static checks of the sources: clang-format (no file may differ from .clang-format's layout) and
# clang-tidy (the bugprone and performance checks of .clang-tidy) over the programs' and
# libraries' sources, not their tests. Usage: scripts/lint.sh [BUILD_DIR]   (a configured build:
# its compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "lint: clang-format clean"
[ -f "$build/compile_commands.json" ] || { echo "lint: $build/compile_commands.json missing (configure first)" >&2; exit 2; }
# Generated sources must exist before clang-tidy reads the files that include them.
mapfile -t sources < <(git ls-files '*.cpp' | grep -Ev '(^|/)(tests|fuzz)/|^bench/')
run-clang-tidy -quiet -p "$build" -j 2 "${sources[@]/#/$PWD/}" >"$build/clang-tidy.log" 2>&1 || true
if grep -E '^/.*: (warning|error): ' "$build/clang-tidy.log" | sort -u >"$build/clang-tidy.findings"; then
  cat "$build/clang-tidy.findings"
  echo "lint: clang-tidy found $(wc -l <"$build/clang-tidy.findings") problems (full log: $build/clang-tidy.log)" >&2
  exit 1
fi
echo "lint: clang-tidy clean ($((${#sources[@]})) files)"
