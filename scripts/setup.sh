#!/usr/bin/env bash
# Installs the Debian packages a task needs. Idempotent: does nothing when all of them are present.
# Uses sudo when not run as root.
# Usage: scripts/setup.sh [run|test]
#   run   building the programs and running them (scripts/demo.sh)
#   test  everything: the tests and their real display, the package and its lintian check, the
#         fuzzers, the sanitizers, the format and static checks, coverage, the benchmarks (default)
set -euo pipefail

profile=${1:-test}
run_packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libudev-dev libsqlite3-dev libpq-dev libpqxx-dev
  qt6-base-dev
)
test_packages=(
  clang libclang-rt-14-dev clang-format clang-tidy
  binutils python3 locales strace
  help2man lintian fakeroot dpkg-dev
  xvfb xauth xdotool imagemagick
  ccache gcovr
  postgresql
)
case $profile in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "setup: unknown profile '$profile' (run or test)" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo (missing: ${missing[*]})" >&2; exit 1; }
  as_root=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
