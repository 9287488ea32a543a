#!/usr/bin/env bash
# Runs a command with an X display: the caller's, or a private Xvfb started
# for the command and stopped after it.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi

ready=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 200); do
  [ -s "$ready" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.05
done
[ -s "$ready" ] || { echo "Xvfb did not become ready" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$ready")"
"$@"
