#!/usr/bin/env bash
# Prediction against reality on a few hundred random packages and system
# folders: the package check's what-if predicts, then QMXSET.EXE /quiet runs
# for real under Wine on the same folders, and both must agree on the outcome
# bits, the exit code and every module's end state (differential.py).
#
#   differential_e2e.sh QMXSET.EXE qmx_driver.exe x86|x64 FIXTURES QMXCHECK.EXE PENDING_OPS.EXE
#
# The build machine's qmxcheck predicts when it is built (in a moment, where
# QMXCHECK.EXE under Wine takes a start-up per case). QMX_DIFF_SEED,
# QMX_DIFF_CASES and QMX_DIFF_BUSY are passed on.
set -euo pipefail
exe=$1 driver=$2 arch=$3 fixtures=$4 check_exe=$5 pending_ops=$6
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
qmx_skip_unless_runnable "$arch"

native_check=$QMX_BUILD_DIR/native/src/check/qmxcheck
if [ -x "$native_check" ]; then check=(--native-check "$native_check"); else check=(--check "$check_exe"); fi
exec python3 "$here/differential.py" --qmxset "$exe" --driver "$driver" --arch "$arch" \
  --fixtures "$fixtures" --pending-ops "$pending_ops" "${check[@]}"
