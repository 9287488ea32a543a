#!/usr/bin/env bash
# The swap of an installed module, watched from outside: the real QMXSET.EXE
# /quiet replaces a module again and again, and each run is killed the moment
# the module's own name changes. The name must never be seen naming nothing,
# and the module afterwards must be the old file or the new one, whole.
#
#   swap_e2e.sh QMXSET.EXE x86|x64 NAME_WATCH [RUNS] [install|undo]
#
# undo: each run installs the new module first, and the run killed is
# /quiet /undo, putting the old one back.
# NAME_WATCH is the Linux poller (tests/e2e/name_watch.c). The module is put
# in the prefix's system folder (syswow64 for x86) under a name no one else
# uses, and removed again with the package and anything a killed run left.
set -euo pipefail
exe=$1
arch=$2
watch=$3
runs=${4:-20}
mode=${5:-install}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
qmx_skip_unless_runnable "$arch"
source "$here/../ui/x_session.sh"
x_session_start QMXSET.EXE

drive_c=$WINEPREFIX/drive_c
if [ "$arch" = x86 ]; then sysdir=$drive_c/windows/syswow64; else sysdir=$drive_c/windows/system32; fi
M=QSWAP${arch^^}.DLL
pkg=$(mktemp -d)
# Temporary files (QMXnnnn.TMP, QMXnnn.tmp under Wine) that were not there
# before the test.
ours() {
  find "$sysdir" -maxdepth 1 -iname 'qmx*.tmp' | sort | comm -13 "$pkg/before" -
}

store=$drive_c/windows/QMX_UNDO
cleanup() {
  # A record's name tells no module: the store goes whole.
  rm -rf "$sysdir/$M" "$sysdir/${M%L}M" "$store"
  [ -f "$pkg/before" ] && ours | while read -r f; do rm -f "$f"; done
  rm -rf "$pkg"
  x_session_stop
}
trap cleanup EXIT
find "$sysdir" -maxdepth 1 -iname 'qmx*.tmp' | sort >"$pkg/before"

# A module big enough that the copy takes a moment, new and old.
head -c 2000000 /dev/urandom >"$pkg/old"
head -c 2000000 /dev/urandom >"$pkg/$M"
touch -d "2002-06-01 12:00:00" "$pkg/$M"
printf '[Install]\r\n2:10\r\n[File]\r\n%s\r\n' "$M" >"$pkg/QMX_CHG.DAT"
cp "$exe" "$pkg/QMXSET.EXE"
EXE=$(x_session_winpath "$pkg/QMXSET.EXE")

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

install_old() {
  rm -f "$sysdir/$M"
  cp "$pkg/old" "$sysdir/$M"
  touch -d "2001-06-01 12:00:00" "$sysdir/$M"
}

# The old module, or in undo mode the new one with the old one kept.
prepare() {
  install_old
  [ "$mode" = undo ] || return 0
  wine "$EXE" /quiet </dev/null >/dev/null 2>&1 || fail "the install before the undo failed"
}
switches=/quiet
[ "$mode" = install ] || switches="/quiet /undo"

changed=0
for run in $(seq 1 "$runs"); do
  prepare
  line=$("$watch" "$sysdir/$M" wine "$EXE" $switches </dev/null 2>/dev/null)
  case "$line" in
  seen=absent*) fail "run $run: the module's name was seen naming nothing ($line)" ;;
  seen=changed*) changed=$((changed + 1)) ;;
  seen=none*) ;;
  *) fail "run $run: the watch said [$line]" ;;
  esac
  if [ ! -e "$sysdir/$M" ]; then
    fail "run $run: no module after the kill"
  elif ! cmp -s "$pkg/old" "$sysdir/$M" && ! cmp -s "$pkg/$M" "$sysdir/$M"; then
    fail "run $run: the module is neither the old file nor the new one"
  fi
  [ ! -e "$sysdir/${M%L}M" ] || fail "run $run: a copy was staged beside the module"
done
echo "runs: $runs, killed at the name's change: $changed, temporary files left by killed runs: $(ours | wc -l)"
# A watch that never saw the change proves nothing.
[ "$changed" -ge $((runs / 2)) ] || fail "the name changed in only $changed of $runs runs"

# A run left alone: the new module, and nothing of ours beside it.
ours | while read -r f; do rm -f "$f"; done
prepare
code=0
wine "$EXE" $switches </dev/null >/dev/null 2>&1 || code=$?
[ "$code" -eq 0 ] || fail "a run left alone exited with $code"
if [ "$mode" = undo ]; then
  cmp -s "$pkg/old" "$sysdir/$M" || fail "an undo left alone did not put the old module back"
else
  cmp -s "$pkg/$M" "$sysdir/$M" || fail "a run left alone did not install the new module"
fi
[ -z "$(ours)" ] || fail "a run left alone left temporary files: $(ours)"

if [ "$failures" -gt 0 ]; then
  echo "swap $mode ($arch): $failures failure(s)"
  exit 1
fi
echo "swap $mode ($arch): passed"
