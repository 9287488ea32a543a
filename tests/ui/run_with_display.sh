#!/usr/bin/env bash
# Runs one Windows test program under Wine inside an X session of its own
# (see x_session.sh) and returns its exit status.
#   run_with_display.sh PROGRAM.exe [ARGS]...
set -euo pipefail
source "$(dirname "$0")/../../scripts/wine-env.sh"
qmx_skip_unless_runnable "$(qmx_pe_arch "$1")"
source "$(dirname "$0")/x_session.sh"
x_session_start "$(basename "$1")"
status=0
wine "$@" </dev/null || status=$?
exit "$status"
