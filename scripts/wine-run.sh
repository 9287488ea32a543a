#!/usr/bin/env bash
# Runs one Windows program under Wine in the build tree's private prefix.
# CMake uses it as the cross-compiling emulator, so ctest runs Windows tests
# exactly like native ones. A 32-bit program on a host that cannot run one
# ends as a skipped test.
set -eu
source "$(dirname "$0")/wine-env.sh"
qmx_skip_unless_runnable "$(qmx_pe_arch "$1")"
exec wine "$@"
