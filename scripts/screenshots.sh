#!/usr/bin/env bash
# Refreshes the pictures in docs/ from the real program under Xvfb: the
# shipped 32-bit program, or the 64-bit one on a host that runs no 32-bit
# code (the pictures are the same but for the title-bar icon's source).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QMX_BUILD_DIR=${QMX_BUILD_DIR:-$top/build}
source "$top/scripts/wine-env.sh"
echo "$QMX_HOST_NOTE"
tree=$(qmx_run_tree)
QMX_TREES=$tree "$top/scripts/build.sh"
"$top/scripts/wine-prefix.sh"
bash "$top/tests/ui/screenshots.sh" "$QMX_BUILD_DIR/$tree/src/app/QMXSET.EXE" \
  "$QMX_BUILD_DIR/$tree/tests/driver/qmx_driver.exe" "$top/docs"
