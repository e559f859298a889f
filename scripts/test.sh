#!/usr/bin/env bash
# Sets up, builds and runs every test (default build). Usage: scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
preset=${VORLICK_PRESET:-default}
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
