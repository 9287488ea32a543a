#!/usr/bin/env bash
# Creates the private Wine prefix once and keeps one wineserver, with Wine's
# own background services, alive for the test run. Each test program then
# starts in a few hundredths of a second, and no Wine daemon is started from
# inside a test, where it would inherit (and hold open) ctest's output pipe.
#
# On a host without 32-bit support the prefix is made by the 64-bit loader
# alone, without its 32-bit half; a prefix of the other kind left in the
# build tree is made anew, so either path can be taken on any host.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

if [ "$QMX_HOST_I386" = yes ]; then kind=wow64; else kind=win64-only; fi
marker=$WINEPREFIX/.qmx-prefix-kind
if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$marker" 2>/dev/null)" != "$kind" ]; then
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
  wineserver -w
  echo "$kind" >"$marker"
fi
# Persistent server: it ends on its own 10 minutes after the last client.
wineserver -p600 >/dev/null 2>&1 </dev/null || true
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
