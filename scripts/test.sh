#!/usr/bin/env bash
# Builds everything and runs every test, Windows ones under Wine in the build
# tree's private prefix. Ends with ctest's summary line. On a host that runs
# no 32-bit code the 32-bit build is compiled and checked, and its Wine-run
# tests show as skipped (scripts/wine-env.sh says which host this is).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QMX_BUILD_DIR=${QMX_BUILD_DIR:-$top/build}
source "$top/scripts/wine-env.sh"
echo "$QMX_HOST_NOTE"

"$top/scripts/build.sh"
"$top/scripts/wine-prefix.sh"
cd "$QMX_BUILD_DIR"
ctest -j2 --output-on-failure --timeout 600 "$@"
