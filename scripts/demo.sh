#!/usr/bin/env bash
# The whole job, for real, under Wine: assemble a demo package, sign its
# program with a throwaway certificate, seal it and sign the seal with the
# same certificate, seed
# the system directory, run QMXSET.EXE and show what it did; then run a copy
# of the package with one byte of a module changed and show that it installs
# nothing.
#
# With DISPLAY set each run's message appears on your display and waits for
# you to press OK; otherwise it runs on a private Xvfb and OK is pressed
# automatically. Everything lives under build/demo-run/. It exits non-zero,
# with the reason, when anything did not happen as expected.
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

step "1/11 building the $bits-bit program, the demo modules and tools, and the native qmxcheck"
QMX_TREES=$tree "$top/scripts/build.sh" >/dev/null
cmake --build "$build/native" --target qmxcheck >"$build/demo-qmxcheck.build.log" 2>&1 ||
  { cat "$build/demo-qmxcheck.build.log"; die "the native qmxcheck did not build"; }
"$top/scripts/wine-prefix.sh"
win=$build/$tree
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

run=$build/demo-run
pkg=$run/package
changed=$run/package-changed
log=$WINEPREFIX/drive_c/QMX_CHG.LOG
modules=(QMXDEMO1.DLL QMXDEMO2.DLL QMXDEMO3.DLL QMXDEMO4.DLL)
session_key='HKLM\System\CurrentControlSet\Control\Session Manager'
failure="Module installation failed. Some modules could not be replaced."

step "2/11 assembling the package in $pkg"
rm -rf "$run" && mkdir -p "$pkg"
cp "$win/src/app/QMXSET.EXE" "$pkg/"
cp "$win/demo/package/"*.DLL "$pkg/"
sed 's/$/\r/' "$top/demo/QMX_CHG.DAT.in" >"$pkg/QMX_CHG.DAT"
touch -d '2024-06-01 12:00:00 UTC' "$pkg"/*.DLL
ls -l "$pkg" | tail -n +2 | awk '{printf "  %-14s %8s bytes\n", $9, $5}'

step "3/11 signing QMXSET.EXE with a throwaway certificate as make dist does, then sealing and signing the seal with it: sign first, seal after"
keys=$run/keys
mkdir -p "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/demo.key" -out "$keys/demo.pem" -days 1 \
  -subj "/CN=QMX Demo Publisher (throwaway)" -addext keyUsage=critical,digitalSignature \
  -addext extendedKeyUsage=codeSigning >"$keys/openssl.log" 2>&1 ||
  { cat "$keys/openssl.log"; die "openssl made no throwaway certificate"; }
QMX_SIGN_CERTS=$keys/demo.pem QMX_SIGN_KEY=$keys/demo.key QMX_SIGN_CAFILE=$keys/demo.pem \
  "$top/scripts/sign.sh" "$pkg/QMXSET.EXE" | sed 's/^/  /' || die "scripts/sign.sh did not sign QMXSET.EXE"
echo "  qmxcheck reads the signature:"
report=$("$build/native/src/check/qmxcheck" "$pkg") || true
sed -n '/^Signatures:/,/^$/p' <<<"$report" | sed 's/^/    /'
grep -q '^  QMXSET.EXE: signed by CN=QMX Demo Publisher' <<<"$report" || die "qmxcheck does not see the signature"
echo "  qmxcheck --seal --signer demo.pem --key demo.key $pkg, which prints what it writes:"
"$build/native/src/check/qmxcheck" --seal --signer "$keys/demo.pem" --key "$keys/demo.key" "$pkg" | sed 's/^/    /' ||
  die "qmxcheck --seal --signer failed"
echo "  sha256sum -c QMX_CHG.SUM and openssl cms -verify of QMX_CHG.SUM.p7s, as an administrator checks a copy:"
(cd "$pkg" && sha256sum -c QMX_CHG.SUM) | sed 's/^/    /' || die "sha256sum -c refuses the seal qmxcheck wrote"
(cd "$pkg" && openssl cms -verify -binary -noverify -inform DER -in QMX_CHG.SUM.p7s -content QMX_CHG.SUM \
  -out /dev/null -signer "$keys/signer.pem" 2>&1 && openssl x509 -in "$keys/signer.pem" -noout -subject) |
  sed 's/^/    /' || die "openssl cms -verify refuses the seal's signature"
cmp -s "$keys/signer.pem" "$keys/demo.pem" || die "the seal is not signed by the certificate QMXSET.EXE is signed with"

# The system directory as the demo starts it: older QMXDEMO1 and QMXDEMO4,
# newer QMXDEMO2, no QMXDEMO3; nothing staged, no log.
seed() {
  for m in "${modules[@]}"; do rm -f "$sysdir/$m" "$sysdir/${m%?}M"; done
  cp "$win/demo/installed/"*.DLL "$sysdir/"
  touch -d '2020-01-15 09:30:00 UTC' "$sysdir"/QMXDEMO[124].DLL
  # A record's name tells no module: the demo's store starts empty.
  rm -rf "$log" "$WINEPREFIX/drive_c/windows/QMX_UNDO"
  wine reg delete "$session_key" /v PendingFileRenameOperations /f >/dev/null 2>&1 </dev/null || true
}
state() { wine "$(winpath "$win/demo/qmx_state.exe")" 'C:\windows\system32' "${modules[@]}" </dev/null | tr -d '\r'; }
staged_state() {
  wine "$(winpath "$win/demo/qmx_state.exe")" 'C:\windows\system32' QMXDEMO4.DLM </dev/null | tr -d '\r' | tail -n1
}
pending_moves() {
  wine reg query "$session_key" /v PendingFileRenameOperations </dev/null 2>/dev/null | tr -d '\r' | grep -i qmxdemo || true
}

step "4/11 seeding the system directory: older QMXDEMO1 and QMXDEMO4, newer QMXDEMO2, no QMXDEMO3"
seed
echo "  before: C:\\windows\\system32"
state

driver=$(winpath "$win/tests/driver/qmx_driver.exe")
interactive=${DISPLAY:+yes}
if [ -n "$interactive" ]; then
  finish=(await-exit 600000)
else
  source "$top/tests/ui/x_session.sh"
  x_session_start QMXSET.EXE qmx_driver.exe
  finish=(press msg 1 wait-exit)
fi
# run_installer PACKAGE NAME [SWITCHES [free]]: runs PACKAGE/QMXSET.EXE with
# SWITCHES and QMXDEMO4.DLL held open, as a loaded module is (unless free);
# sets message, and keeps the driver's output in $run/NAME.txt and the log in
# $run/NAME.LOG.
message=""
run_installer() {
  local out=$run/$2.txt
  local hold=(hold 'C:\windows\system32\QMXDEMO4.DLL')
  [ "${4:-}" != free ] || hold=()
  if [ -n "$interactive" ]; then echo "  the message appears on your display: press OK to finish"; fi
  wine "$driver" "${hold[@]}" \
    start-with "$(winpath "$1/QMXSET.EXE")" "${3:-}" \
    find msg VAREL 1000 dump msg "${finish[@]}" </dev/null 2>>"$run/wine.log" |
    tr -d '\r' >"$out" || { cat "$out"; die "the installer did not show its message and exit"; }
  message=$(grep '^msg.child.1=' "$out" | head -n1 | cut -d'|' -f4-)
  echo "  message shown: \"$message\""
  echo "  exit status: $(grep '^exit=' "$out" | cut -d= -f2)"
  if [ -f "$log" ]; then cp "$log" "$run/$2.LOG"; else : >"$run/$2.LOG"; fi
}
show_after() {
  after=$(state)
  echo "$after"
  staged=$(staged_state)
  echo "  staged copy:"
  echo "$staged"
  pending=$(pending_moves)
  echo "  pending restart-time replacement (PendingFileRenameOperations):"
  echo "    ${pending:-(none)}"
  echo "  diagnostic log, C:\\QMX_CHG.LOG:"
  sed 's/\r$//; s/^/    /' "$run/$1.LOG"
}

step "5/11 running the sealed package's QMXSET.EXE (QMXDEMO4.DLL is held open, as a loaded module is)"
run_installer "$pkg" driver
cp "$run/driver.LOG" "$run/QMX_CHG.LOG"

step "6/11 after: C:\\windows\\system32"
show_after driver

# Did all of it happen as it should?
grep -q 'QMXDEMO1.DLL *2.0.0.0' <<<"$after" || die "QMXDEMO1.DLL was not replaced"
grep -q 'QMXDEMO2.DLL *3.2.0.0' <<<"$after" || die "the newer QMXDEMO2.DLL was touched"
grep -q 'QMXDEMO3.DLL *(absent)' <<<"$after" || die "QMXDEMO3.DLL was added"
grep -q 'QMXDEMO4.DLL *1.0.0.0' <<<"$after" || die "the QMXDEMO4.DLL in use was changed"
grep -q 'QMXDEMO4.DLM *2.0.0.0' <<<"$staged" || die "no staged copy QMXDEMO4.DLM"
grep -qi 'QMXDEMO4.DLM' <<<"$pending" || die "no pending replacement for QMXDEMO4.DLL"
[ "$message" = "Module installation complete. To make the changes take effectm restart your computer." ] ||
  die "unexpected message: $message"
grep -q 'EngingMessage\[0x7\]' "$run/driver.LOG" || die "the log lacks the outcome line"
! grep -q '^VerifyPackage' "$run/driver.LOG" || die "the seal check failed on the sealed package"
echo "  the seal and its signature held: no VerifyPackage line in the log, and the run went on as it does unsealed"

step "7/11 copying the package to $changed and changing one byte of QMXDEMO1.DLL in the copy"
cp -a "$pkg" "$changed"
target=$changed/QMXDEMO1.DLL
at=$(($(stat -c %s "$target") / 2))
was=$(od -An -tu1 -j "$at" -N1 "$target" | tr -d ' ')
now=$(((was + 1) % 256))
printf "\\x$(printf %02x "$now")" | dd of="$target" bs=1 seek="$at" conv=notrunc 2>/dev/null
touch -d '2024-06-01 12:00:00 UTC' "$target"
echo "  byte $at of QMXDEMO1.DLL: $was -> $now (size and time unchanged)"
echo "  sha256sum -c QMX_CHG.SUM in the copy:"
(cd "$changed" && sha256sum -c QMX_CHG.SUM 2>/dev/null) | sed 's/^/    /' &&
  die "sha256sum -c passed the changed copy"

step "8/11 seeding the system directory again and running the changed copy's QMXSET.EXE"
seed
run_installer "$changed" changed

step "9/11 after: C:\\windows\\system32 (as seeded: nothing replaced, nothing staged)"
show_after changed
grep -q 'QMXDEMO1.DLL *1.0.0.0' <<<"$after" || die "the changed copy's QMXDEMO1.DLL was installed"
grep -q 'QMXDEMO2.DLL *3.2.0.0' <<<"$after" || die "QMXDEMO2.DLL was touched"
grep -q 'QMXDEMO3.DLL *(absent)' <<<"$after" || die "QMXDEMO3.DLL was added"
grep -q 'QMXDEMO4.DLL *1.0.0.0' <<<"$after" || die "QMXDEMO4.DLL was changed"
grep -q 'QMXDEMO4.DLM *(absent)' <<<"$staged" || die "a copy of QMXDEMO4.DLL was staged"
[ -z "$pending" ] || die "a restart-time replacement was registered: $pending"
[ "$message" = "$failure" ] || die "unexpected message: $message"
[ "$(grep '^VerifyPackage' "$run/changed.LOG" | tr -d '\r')" = \
  "VerifyPackage - QMXDEMO1.DLL does not match QMX_CHG.SUM." ] || die "the log does not name QMXDEMO1.DLL alone"
grep -q "EngingMessage\[0x8\] - $failure" "$run/changed.LOG" || die "the log lacks the failure line"
step "10/11 seeding again, installing the sealed package with nothing held, then running it with /undo"
seed
before=$(state)
run_installer "$pkg" undo-install "" free
echo "  after installing: C:\\windows\\system32"
state
echo "  kept in C:\\windows\\QMX_UNDO (KEY.OLD in folders 0 to f), checked with sha256sum -c SHA256SUMS:"
(cd "$WINEPREFIX/drive_c/windows/QMX_UNDO" && sha256sum -c SHA256SUMS) | sed 's/^/    /' ||
  die "the kept copies do not check"
rm -f "$log"
run_installer "$pkg" undo /undo free

step "11/11 after /undo: C:\\windows\\system32, as it was before the installation"
after=$(state)
echo "$after"
echo "  diagnostic log of the undo:"
sed 's/\r$//; s/^/    /' "$run/undo.LOG"
[ "$after" = "$before" ] || die "the system directory is not as it was: $after"
[ "$message" = "The previous modules were restored." ] || die "unexpected message: $message"
grep -q 'UndoModule - Restored .*QMXDEMO1.DLL' "$run/undo.LOG" || die "the log does not name QMXDEMO1.DLL restored"
step "done: the sealed package installed as before, the copy with one changed byte installed nothing, and /undo put the system directory back (output in $run)"
