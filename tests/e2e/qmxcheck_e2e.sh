#!/usr/bin/env bash
# The package check's what-if against the real installer, under Wine, on the
# same package and the same system folder: QMXCHECK.EXE predicts each
# module's decision, the outcome and the quiet exit code, then QMXSET.EXE
# /quiet runs for real and must do exactly that.
#
#   qmxcheck_e2e.sh QMXCHECK.EXE QMXSET.EXE qmx_driver.exe x86|x64 FIXTURES
#
# The driver runs the installer, since only it sees the whole exit code (a
# Unix exit status keeps its low byte). The installer is told it runs on
# Windows 10, the version the what-if names.
set -euo pipefail
check_exe=$1 exe=$2 driver=$3 arch=$4 fixtures=$5
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
qmx_skip_unless_runnable "$arch"

drive_c=$WINEPREFIX/drive_c
if [ "$arch" = x86 ]; then sysdir=$drive_c/windows/syswow64; else sysdir=$drive_c/windows/system32; fi
log=$drive_c/QMX_CHG.LOG
native_check=${QMX_BUILD_DIR:-$here/../../build}/native/src/check/qmxcheck
pkg=$(mktemp -d)
names=(QCHK${arch^^}A.DLL QCHK${arch^^}B.DLL QCHK${arch^^}C.DLL QCHK${arch^^}D.DLL QCHK${arch^^}E.DLL QCHK${arch^^}F.DLL)
failures=0
app_key='HKCU\Software\Wine\AppDefaults\QMXSET.EXE'
cleanup() {
  for n in "${names[@]}"; do rm -rf "$sysdir/$n" "$sysdir/${n%L}M"; done
  rm -rf "$pkg" "$log"
}
trap 'cleanup; wine reg delete "$app_key" /f >/dev/null 2>&1 </dev/null || true' EXIT
wine reg add "$app_key" /v Version /d win10 /f >/dev/null 2>&1 </dev/null
winpath() { echo "Z:${1//\//\\}"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

put() {  # fixture, destination, year
  cp "$fixtures/$1" "$2"
  touch -d "$3-06-01 12:00:00" "$2"
}
seed() {
  cleanup
  mkdir -p "$pkg"
  cp "$exe" "$pkg/QMXSET.EXE"
  local A=${names[0]} B=${names[1]} C=${names[2]} D=${names[3]} E=${names[4]} F=${names[5]}
  put V5_1_2601.DLL "$pkg/$A" 2020;   put V5_1_2600_0.DLL "$sysdir/$A" 2022  # newer by version
  put V2_9.DLL "$pkg/$B" 2024;        put V2_10.DLL "$sysdir/$B" 2020        # older by version
  put V1_0.DLL "$pkg/$C" 2024                                                # not installed
  put V1_0.DLL "$sysdir/$D" 2020                                             # not in the package
  put NOVERSION.DLL "$pkg/$E" 2024;   put NOVERSION2.DLL "$sysdir/$E" 2020   # times decide
  put V1_0.DLL "$pkg/$F" 2020;        put V1_0.DLL "$sysdir/$F" 2024         # same text, older
  # The package's copy of $foreign as another machine's build names it.
  if [ -n "$foreign" ]; then
    local offset
    offset=$(od -An -tu4 -j60 -N4 "$pkg/$foreign" | tr -d ' ')
    printf "\\x${foreign_machine:2:2}\\x${foreign_machine:0:2}" |
      dd of="$pkg/$foreign" bs=1 seek=$((offset + 4)) conv=notrunc status=none
  fi
}
foreign=
if [ "$arch" = x86 ]; then foreign_machine=8664; else foreign_machine=014c; fi
changelist() {  # install patterns, names...
  local install=$1; shift
  { printf '[Install]\r\n%s\r\n[File]\r\n' "$install"; printf '%s\r\n' "$@"; } >"$pkg/QMX_CHG.DAT"
}
digest() { if [ -f "$1" ]; then md5sum <"$1" | cut -c1-32; else echo absent; fi; }

# One comparison on freshly seeded folders: the what-if first, then the real
# run on the same files.
compare() {  # description, install patterns, names...
  seed
  local what=$1
  local -a before_sys before_pkg
  local i
  local -a listed=("${@:3}")
  changelist "$2" "${listed[@]}"
  local json
  json=$(wine "$check_exe" --json --against 'C:\windows\system32' --windows 10 "$(winpath "$pkg")" \
         </dev/null 2>/dev/null | tr -d '\r') || true
  # The build machine's qmxcheck reads the same folders with its own PE
  # reader: it must predict the same, reason for reason.
  if [ -x "$native_check" ]; then
    local native_json
    native_json=$("$native_check" --json --against "$sysdir" --windows 10 "$pkg" 2>/dev/null) || true
    python3 -c '
import json, sys
a, b = (json.loads(t)["whatIf"] for t in sys.argv[1:3])
sys.exit(0 if a == b else 1)' "$json" "$native_json" &&
      echo "native qmxcheck: the same prediction" ||
      fail "$what: the native check predicts otherwise: $native_json"
  fi
  for i in "${!listed[@]}"; do
    before_sys[i]=$(digest "$sysdir/${listed[i]}")
    before_pkg[i]=$(digest "$pkg/${listed[i]}")
  done
  rm -f "$log"
  local code
  code=$(wine "$driver" run-with "$(winpath "$pkg/QMXSET.EXE")" "/quiet /log" 60000 </dev/null 2>/dev/null |
         tr -d '\r' | sed -n 's/^run.exit=//p')
  local outcome
  outcome=$(tr -d '\r' <"$log" 2>/dev/null | sed -n 's/^EngingMessage\[\(0x[0-9a-f]*\)\].*/\1/p' | tail -n1)

  local predicted
  predicted=$(python3 -c '
import json, sys
w = json.loads(sys.argv[1])["whatIf"]
print(hex(w["outcome"]), w["quietExitCode"])
for m in w["modules"]:
    print(m["name"], m["decision"].split(",")[0].split(" ")[0], m["reason"], sep="\t")
' "$json")
  local predicted_outcome predicted_code
  read -r predicted_outcome predicted_code <<<"$(head -n1 <<<"$predicted")"
  [ "$predicted_outcome" = "$outcome" ] || fail "$what: outcome predicted $predicted_outcome, run $outcome"
  [ "$predicted_code" = "$code" ] || fail "$what: exit code predicted $predicted_code, run $code"
  local misfits
  misfits=$(python3 -c '
import json, sys
print(" ".join(m["name"] for m in json.loads(sys.argv[1])["whatIf"]["otherMachine"]))' "$json")
  [ "$misfits" = "$foreign" ] || fail "$what: predicted for another machine: '$misfits', not '$foreign'"
  if [ -n "$foreign" ]; then
    tr -d '\r' <"$log" | grep -qF "PrepareInstallation - Not for this machine: C:\\windows\\system32\\$foreign." ||
      fail "$what: the run does not name $foreign as another machine's"
  fi
  echo "row: $what: predicted $predicted_outcome/$predicted_code, run $outcome/$code"

  for i in "${!listed[@]}"; do
    local name=${listed[i]} decision after
    decision=$(awk -F'\t' -v n="$name" '$1 == n { print $2 }' <<<"$predicted")
    after=$(digest "$sysdir/$name")
    echo "  $name: $(awk -F'\t' -v n="$name" '$1 == n { print $2 ": " $3 }' <<<"$predicted")"
    if [ "$decision" = replace ]; then
      [ "$after" = "${before_pkg[i]}" ] || fail "$what: $name predicted replaced, but the run left it"
    else
      [ "$after" = "${before_sys[i]}" ] || fail "$what: $name predicted untouched ($decision), but the run changed it"
    fi
  done
}

compare "every kind of module" "2:10" "${names[@]}"
compare "a package without a missing module" "2:10" "${names[0]}" "${names[1]}" "${names[2]}" "${names[4]}" "${names[5]}"
compare "other Windows targeted" "1:4:10, 2:5:1" "${names[0]}"
compare "a name that is not a plain file name" "2:10" "${names[0]}" "..\\${names[1]}"
# A newer module of another machine over this machine's copy: nothing at all
# is touched, as predicted.
foreign=${names[0]}
compare "a module for another machine" "2:10" "${names[0]}" "${names[1]}" "${names[4]}"
foreign=

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "the what-if matched the real run every time"
