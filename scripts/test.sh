#!/usr/bin/env bash
# Builds everything and runs every test, Windows ones under Wine in the build
# tree's private prefix. Ends with ctest's summary line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QMX_BUILD_DIR=${QMX_BUILD_DIR:-$top/build}

"$top/scripts/build.sh"
"$top/scripts/wine-prefix.sh"
cd "$QMX_BUILD_DIR"
ctest -j2 --output-on-failure --timeout 600 "$@"
