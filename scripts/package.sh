#!/usr/bin/env bash
# Builds the Debian package of the station (CPack) and checks it with lintian, which must report
# no error. Usage: scripts/package.sh   (the ci preset's build, installed under /usr; the last
# line names the package; VORLICK_PRESET picks another preset)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
preset=${VORLICK_PRESET:-ci}
build=build/$preset
cmake --preset "$preset" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build --preset "$preset" --target VorlickR6X romwrite vorlick-sim vorlick-diag vorlick-results vorlick_install_files
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
deb=$(ls "$build"/*.deb)
lintian --fail-on error "$deb" >&2
echo "package: $deb"
