#!/usr/bin/env bash
# The whole job, for real, under Wine: assemble a demo package, seed the
# system directory, run QMXSET.EXE and show what it did.
#
# With DISPLAY set the installer's message appears on your display and waits
# for you to press OK; otherwise it runs on a private Xvfb and OK is pressed
# automatically. Everything lives under build/demo-run/.
#
# It runs the shipped 32-bit program; on a host that runs no 32-bit code
# (see scripts/wine-env.sh) the 64-bit one, and says so first.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QMX_BUILD_DIR=${QMX_BUILD_DIR:-$top/build}
build=$QMX_BUILD_DIR
step() { printf '\n[demo] %s\n' "$*"; }
die() { printf '\n[demo] FAILED: %s\n' "$*" >&2; exit 1; }

source "$top/scripts/wine-env.sh"
echo "[demo] $QMX_HOST_NOTE"
tree=$(qmx_run_tree)
if [ "$tree" = win32 ]; then
  bits=32
  sysdir=$WINEPREFIX/drive_c/windows/syswow64   # C:\windows\system32 of a 32-bit program
else
  bits=64
  sysdir=$WINEPREFIX/drive_c/windows/system32
  echo "[demo] so the demo runs the 64-bit QMXSET.EXE against C:\windows\system32"
fi

step "1/6 building the $bits-bit program, the demo modules and tools"
QMX_TREES=$tree "$top/scripts/build.sh" >/dev/null
"$top/scripts/wine-prefix.sh"
win=$build/$tree
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

run=$build/demo-run
pkg=$run/package
log=$WINEPREFIX/drive_c/QMX_CHG.LOG
modules=(QMXDEMO1.DLL QMXDEMO2.DLL QMXDEMO3.DLL QMXDEMO4.DLL)
session_key='HKLM\System\CurrentControlSet\Control\Session Manager'

step "2/6 assembling the package in $pkg"
rm -rf "$run" && mkdir -p "$pkg"
cp "$win/src/app/QMXSET.EXE" "$pkg/"
cp "$win/demo/package/"*.DLL "$pkg/"
sed 's/$/\r/' "$top/demo/QMX_CHG.DAT.in" >"$pkg/QMX_CHG.DAT"
touch -d '2024-06-01 12:00:00 UTC' "$pkg"/*.DLL
ls -l "$pkg" | tail -n +2 | awk '{printf "  %-14s %8s bytes\n", $9, $5}'

step "3/6 seeding the system directory: older QMXDEMO1 and QMXDEMO4, newer QMXDEMO2, no QMXDEMO3"
for m in "${modules[@]}"; do rm -f "$sysdir/$m" "$sysdir/${m%?}M"; done
cp "$win/demo/installed/"*.DLL "$sysdir/"
touch -d '2020-01-15 09:30:00 UTC' "$sysdir"/QMXDEMO[124].DLL
rm -f "$log"
wine reg delete "$session_key" /v PendingFileRenameOperations /f >/dev/null 2>&1 </dev/null || true

state() { wine "$(winpath "$win/demo/qmx_state.exe")" 'C:\windows\system32' "${modules[@]}" </dev/null | tr -d '\r'; }
step "4/6 before: C:\\windows\\system32"
state

step "5/6 running QMXSET.EXE (QMXDEMO4.DLL is held open, as a loaded module is)"
driver=$(winpath "$win/tests/driver/qmx_driver.exe")
if [ -n "${DISPLAY:-}" ]; then
  echo "  the message appears on your display: press OK to finish"
  finish=(await-exit 600000)
else
  source "$top/tests/ui/x_session.sh"
  x_session_start QMXSET.EXE qmx_driver.exe
  finish=(press msg 1 wait-exit)
fi
out=$run/driver.txt
wine "$driver" hold 'C:\windows\system32\QMXDEMO4.DLL' \
  start "$(winpath "$pkg/QMXSET.EXE")" \
  find msg VAREL 1000 dump msg "${finish[@]}" </dev/null 2>"$run/wine.log" |
  tr -d '\r' >"$out" || { cat "$out"; die "the installer did not show its message and exit"; }
message=$(grep '^msg.child.1=' "$out" | head -n1 | cut -d'|' -f4-)
echo "  message shown: \"$message\""
echo "  exit status: $(grep '^exit=' "$out" | cut -d= -f2)"

step "6/6 after: C:\\windows\\system32"
after=$(state)
echo "$after"
staged=$(wine "$(winpath "$win/demo/qmx_state.exe")" 'C:\windows\system32' QMXDEMO4.DLM </dev/null | tr -d '\r' | tail -n1)
echo "  staged copy:"
echo "$staged"
pending=$(wine reg query "$session_key" /v PendingFileRenameOperations </dev/null 2>/dev/null | tr -d '\r' | grep -i qmxdemo || true)
echo "  pending restart-time replacement (PendingFileRenameOperations):"
echo "    ${pending:-(none)}"
echo "  diagnostic log, C:\\QMX_CHG.LOG:"
[ -f "$log" ] && sed 's/\r$//; s/^/    /' "$log"

# Did all of it happen as it should?
grep -q 'QMXDEMO1.DLL *2.0.0.0' <<<"$after" || die "QMXDEMO1.DLL was not replaced"
grep -q 'QMXDEMO2.DLL *3.2.0.0' <<<"$after" || die "the newer QMXDEMO2.DLL was touched"
grep -q 'QMXDEMO3.DLL *(absent)' <<<"$after" || die "QMXDEMO3.DLL was added"
grep -q 'QMXDEMO4.DLL *1.0.0.0' <<<"$after" || die "the QMXDEMO4.DLL in use was changed"
grep -q 'QMXDEMO4.DLM *2.0.0.0' <<<"$staged" || die "no staged copy QMXDEMO4.DLM"
grep -qi 'QMXDEMO4.DLM' <<<"$pending" || die "no pending replacement for QMXDEMO4.DLL"
[ "$message" = "Module installation complete. To make the changes take effectm restart your computer." ] ||
  die "unexpected message: $message"
grep -q 'EngingMessage\[0x7\]' "$log" || die "the log lacks the outcome line"
cp "$log" "$run/QMX_CHG.LOG"
step "done: files, staged copy, pending move, message and log are as expected (output in $run)"
