#!/usr/bin/env bash
# Builds QMXSET.EXE in the two Windows trees and puts the shipped executables
# in dist/: dist/x86/QMXSET.EXE and dist/x64/QMXSET.EXE. Prints each size.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QMX_BUILD_DIR=${QMX_BUILD_DIR:-$top/build}

# Configure every tree that is missing, then build only the program.
QMX_TREES= "$top/scripts/build.sh"

for pair in win32:x86 win64:x64; do
  tree=${pair%%:*}
  arch=${pair##*:}
  cmake --build "$QMX_BUILD_DIR/$tree" --target qmxset -- -j2 >"$QMX_BUILD_DIR/$tree.dist.log" 2>&1 ||
    { cat "$QMX_BUILD_DIR/$tree.dist.log"; echo "build of QMXSET.EXE ($tree) failed"; exit 1; }
  mkdir -p "$top/dist/$arch"
  cp "$QMX_BUILD_DIR/$tree/src/app/QMXSET.EXE" "$top/dist/$arch/QMXSET.EXE"
  echo "dist/$arch/QMXSET.EXE $(stat -c %s "$top/dist/$arch/QMXSET.EXE") bytes"
done
