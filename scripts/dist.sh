#!/usr/bin/env bash
# Builds the two Windows trees and puts the shipped executables in dist/:
# dist/x86/QMXSET.EXE and dist/x64/QMXSET.EXE. Prints each one's size.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QMX_BUILD_DIR=${QMX_BUILD_DIR:-$top/build}

QMX_TREES="win32 win64" "$top/scripts/build.sh"

for pair in win32:x86 win64:x64; do
  tree=${pair%%:*}
  arch=${pair##*:}
  mkdir -p "$top/dist/$arch"
  cp "$QMX_BUILD_DIR/$tree/src/app/QMXSET.EXE" "$top/dist/$arch/QMXSET.EXE"
  echo "dist/$arch/QMXSET.EXE $(stat -c %s "$top/dist/$arch/QMXSET.EXE") bytes"
done
