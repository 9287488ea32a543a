#!/usr/bin/env bash
# Builds QMXSET.EXE (and with it QMXCHECK.EXE) in the two Windows trees and
# puts the shipped executables in dist/: dist/x86/QMXSET.EXE and
# dist/x64/QMXSET.EXE, the package check dist/linux/qmxcheck and
# dist/x86/QMXCHECK.EXE (and x64), a sample change list and a zip of a
# ready-to-edit package. Signs the Windows programs when a certificate is
# named (see scripts/sign.sh). Prints each file's size.
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
  # QMXCHECK.EXE comes with QMXSET.EXE, from the same shipped build.
  cp "$QMX_BUILD_DIR/$tree/src/check/QMXCHECK.EXE" "$top/dist/$arch/QMXCHECK.EXE"
done

# The package author's check for the build server.
cmake --build "$QMX_BUILD_DIR/native" --target qmxcheck >"$QMX_BUILD_DIR/native.dist.log" 2>&1 ||
  { cat "$QMX_BUILD_DIR/native.dist.log"; echo "build of qmxcheck (native) failed"; exit 1; }
mkdir -p "$top/dist/linux"
cp "$QMX_BUILD_DIR/native/src/check/qmxcheck" "$top/dist/linux/qmxcheck"
strip "$top/dist/linux/qmxcheck"

# Signed with the author's certificate when one is named (scripts/sign.sh),
# before anything is packed: the package and any seal made from it hold the
# signed bytes.
"$top/scripts/sign.sh" "$top"/dist/x86/QMXSET.EXE "$top"/dist/x64/QMXSET.EXE \
  "$top"/dist/x86/QMXCHECK.EXE "$top"/dist/x64/QMXCHECK.EXE
for f in x86/QMXSET.EXE x64/QMXSET.EXE linux/qmxcheck x86/QMXCHECK.EXE x64/QMXCHECK.EXE; do
  echo "dist/$f $(stat -c %s "$top/dist/$f") bytes"
done

# The ready-to-edit package: the 32-bit program (it runs on every supported
# Windows, 64-bit ones included), the sample change list and its notes, with
# the CR LF line ends Windows editors expect.
staging=$QMX_BUILD_DIR/dist-package/QMXSET
rm -rf "$QMX_BUILD_DIR/dist-package" && mkdir -p "$staging"
cp "$top/dist/x86/QMXSET.EXE" "$staging/"
for f in QMX_CHG.DAT README.TXT; do sed 's/\r*$/\r/' "$top/package/$f" >"$staging/$f"; done
cp "$staging/QMX_CHG.DAT" "$top/dist/QMX_CHG.DAT"
rm -f "$top/dist/QMXSET-package.zip"
(cd "$QMX_BUILD_DIR/dist-package" && zip -qr "$top/dist/QMXSET-package.zip" QMXSET)
for f in QMX_CHG.DAT QMXSET-package.zip; do echo "dist/$f $(stat -c %s "$top/dist/$f") bytes"; done
