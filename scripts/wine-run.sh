#!/usr/bin/env bash
# Runs one Windows program under Wine in the build tree's private prefix.
# CMake uses it as the cross-compiling emulator, so ctest runs Windows tests
# exactly like native ones.
set -eu
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"
