#!/usr/bin/env bash
# Creates the private Wine prefix once and keeps one wineserver, with Wine's
# own background services, alive for the test run. Each test program then
# starts in a few hundredths of a second, and no Wine daemon is started from
# inside a test, where it would inherit (and hold open) ctest's output pipe.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
fi
# Persistent server: it ends on its own 10 minutes after the last client.
wineserver -p600 >/dev/null 2>&1 </dev/null || true
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
