#!/usr/bin/env bash
# End-to-end tests of the real QMXSET.EXE under Wine, on a private X display,
# driven from outside by qmx_driver the way a user would click through it.
#
#   qmxset_e2e.sh SCENARIO QMXSET.EXE qmx_driver.exe x86|x64 VERSION.DLL FIXTURES SFC.DLL QMXCHECK.EXE
#                 PENDING_OPS.EXE NAME_WATCH
#
# VERSION.DLL is the planted library, FIXTURES the folder of modules with
# version resources and SFC.DLL the tests' own sfc.dll (tests/e2e/test_sfc.cpp),
# all of the same architecture; QMXCHECK.EXE the package check, which seals;
# PENDING_OPS.EXE schedules another program's restart-time operations
# (tests/e2e/pending_ops.c); NAME_WATCH kills, or acts on, a run the moment a
# module's name changes (tests/e2e/name_watch.c).
#
# Scenarios: full, outcomes, reboot, reboot_again, win98_rename, japanese,
# second_instance, logging, planted_version, held_module, held_changelist,
# held_log, killed, quiet, switches, failed, protected, broken_reboot,
# win98_space, unreadable_changelist, sealed, out_of_memory, pending_foreign,
# pending_ours, win98_pending, undo, undo_held, undo_chain, undo_changed,
# rollback, rollback_protected, win98_undo, undo_store_file, undo_reshipped,
# undo_cumulative, undo_before_restart, undo_then_reinstall, interrupted_same,
# interrupted_undo, interrupted_other, interrupted_rollback, interrupted_package_gone,
# signed_seal, machine.
# The system directory is the Wine prefix's own (system32, or syswow64 for
# x86); the modules put there have names no one else uses and are removed
# again, as are the package folder, the log and any restart-time move.
set -euo pipefail
scenario=$1
exe=$2
driver=$3
arch=$4
planted_dll=${5:-}
fixtures=${6:-}
test_sfc=${7:-}
check_exe=${8:-}
pending_exe=${9:-}
name_watch=${10:-}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
qmx_skip_unless_runnable "$arch"
source "$here/../ui/x_session.sh"
x_session_start QMXSET.EXE "$(basename "$driver")"

drive_c=$WINEPREFIX/drive_c
if [ "$arch" = x86 ]; then sysdir=$drive_c/windows/syswow64; else sysdir=$drive_c/windows/system32; fi
log=$drive_c/QMX_CHG.LOG
pkg=$(mktemp -d)
A=QE2E${arch^^}A.DLL
B=QE2E${arch^^}B.DLL
L=QE2ELONGMODULE${arch^^}.DLL
S='MY MOD.DLL'
wininit=$drive_c/windows/WININIT.INI
store=$drive_c/windows/QMX_UNDO
pending_key='HKLM\System\CurrentControlSet\Control\Session Manager'
failures=0

# The scenarios that stage leave their restart-time moves behind; they clear
# the list at the start as well, so that a test killed before its clean-up
# cannot decide the next one.
clear_restart_list() {
  case "$scenario" in reboot | reboot_again | japanese | held_module | quiet | failed | broken_reboot | sealed | pending_* | undo_held | rollback | undo_before_restart | undo_then_reinstall)
    wine reg delete "$pending_key" /v PendingFileRenameOperations /f >/dev/null 2>&1 </dev/null || true
  esac
}

# The records in the store, one a line: every file in its folders.
records() {
  (cd "$store" 2>/dev/null && find . -mindepth 2 -type f | sort)
}

cleanup() {
  # Folders too: a failed scenario stands one where a staged copy would go.
  rm -rf "$sysdir/$A" "$sysdir/$B" "$sysdir/$L" "$sysdir/${A%L}M" "$sysdir/${B%L}M" \
    "$sysdir/${L%L}M" "$sysdir/$S" "$sysdir/${S%L}M" "$log"
  # A killed run's temporary files: no one else's names begin so. (Wine
  # writes them as QMXnnn.tmp, which neither QMX*.TMP nor qmx*.tmp matches.)
  if [ "$scenario" = killed ]; then find "$sysdir" -maxdepth 1 -iname 'qmx*.tmp' -delete; fi
  # What the store kept: a record's name tells no module, and no scenario
  # needs another's.
  rm -rf "$store"
  clear_restart_list
  if [ "$scenario" = win98_rename ] || [ "$scenario" = win98_space ] || [ "$scenario" = win98_pending ] || [ "$scenario" = win98_undo ] || [ "$scenario" = signed_seal ]; then
    wine reg delete "$win98_key" /f >/dev/null 2>&1 </dev/null || true
    if [ -f "$pkg/wininit.before" ]; then cp "$pkg/wininit.before" "$wininit"; else rm -f "$wininit"; fi
  fi
  # Wine's own sfc.dll back, for every later test.
  case "$scenario" in protected | rollback_protected | interrupted_*)
    if [ -f "$pkg/sfc.before" ]; then cp "$pkg/sfc.before" "$sysdir/sfc.dll"; fi
  esac
  rm -rf "$pkg"
  x_session_stop
}
trap cleanup EXIT
clear_restart_list
# Whatever an earlier test left in the store is no record of this one's.
rm -rf "$log" "$store"
cp "$exe" "$pkg/QMXSET.EXE"
EXE=$(x_session_winpath "$pkg/QMXSET.EXE")

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

check() {  # description, expected, actual
  if [ "$2" != "$3" ]; then fail "$1: expected [$2], got [$3]"; fi
}

contains() {  # description, haystack, needle
  case "$2" in *"$3"*) ;; *) fail "$1: [$3] not found";; esac
}

lacks() {  # description, haystack, needle
  case "$2" in *"$3"*) fail "$1: [$3] should not be there";; esac
}

# put FILE CONTENT YEAR: a file with a last-write time in that year (the
# files have no version resource, so the times decide).
put() {
  printf '%s' "$2" >"$1"
  touch -d "$3-06-01 12:00:00" "$1"
}

# Each module named (A, B, L or S) installed in 2001 and shipped in 2002.
newer_shipped() {
  local m
  for m in "$@"; do
    put "$sysdir/${!m}" "installed $m" 2001
    put "$pkg/${!m}" "shipped $m" 2002
  done
}

changelist() {  # install-patterns, files (one per line), log value or "" for none
  {
    printf '// written by the end-to-end test\r\n[Install]\r\n%s\r\n[File]\r\n' "$1"
    local f
    for f in $2; do printf '%s\r\n' "$f"; done
    if [ -n "$3" ]; then printf '[Log]\r\n%s\r\n' "$3"; fi
  } >"$pkg/QMX_CHG.DAT"
}

out=""
drive() {  # driver commands...
  # The driver's console output has Windows line ends. Now and then Wine's
  # loader fails to start a program at all and start.exe says so instead;
  # nothing of ours ran then, so it is started again.
  local attempt
  for attempt in 1 2 3; do
    out=$(wine "$driver" "$@" </dev/null 2>/dev/null | tr -d '\r') || true
    case "$out" in *"ShellExecuteEx failed"*) sleep 1 ;; *) break ;; esac
  done
  case "$out" in *"driver.done=1"*) ;; *) fail "driver: $out";; esac
}

fact() { printf '%s\n' "$out" | sed -n "s/^$1=//p" | head -n1; }

# The message of one run: start, read it, press OK, wait for the end. Any
# arguments are driver commands to run first, e.g. holding a file.
run_once() {
  drive "$@" start "$EXE" find msg VAREL 1000 dump msg press msg 1 wait-exit
  check "exit status" 0 "$(fact exit)"
}

message() { fact msg.child.1 | cut -d'|' -f4-; }

# The message of a run that staged a module for the restart.
restart_message='Module installation complete. To make the changes take effectm restart your computer.'

# run_once, and the message it must end with; with outcome bits, the log's
# last line must name them and the same message.
shown() {  # description ("" for none), message, bits or "", driver commands...
  local what=$1 expected=$2 bits=$3
  shift 3
  run_once "$@"
  check "${what:+$what: }message" "$expected" "$(message)"
  [ -z "$bits" ] || contains "${what:+$what: }log" "$(log_text)" "EngingMessage[$bits] - $expected"
}

# One quiet run, watched from start to exit: QMXSET.EXE ARGS must show no
# window of any kind and end with the code expected, and the log must hold
# "EngingMessage" followed by LOGGED (unless that is ""). Any further
# arguments are driver commands to run first. Prints the row as the test saw
# it: the code, and the message the log says a shown run would have shown.
quiet_row() {  # description, expected code, LOGGED, ARGS, driver commands...
  local what=$1 code=$2 logged=$3 args=$4 before=$failures
  shift 4
  drive "$@" start-with "$EXE" "$args" watch 20000 wait-exit
  check "$what: exit code" "$code" "$(fact exit)"
  check "$what: windows shown" 0 "$(fact watch.visible)"
  check "$what: ended while watched" 1 "$(fact watch.ended)"
  [ -z "$logged" ] || contains "$what: log" "$(log_text)" "EngingMessage$logged"
  echo "row: $what: QMXSET $args -> exit $(fact exit); $(log_text | grep '^EngingMessage' | tail -n1)"
  # The next row removes the log: what this one saw is shown while it is there.
  if [ "$failures" -gt "$before" ]; then
    printf '%s\n' "--- $what: the log" "$(log_text)" "--- $what: the restart-time lists"
    wine reg query "$pending_key" </dev/null 2>/dev/null | grep -A3 PendingFileRename || true
  fi
}

# A module that cannot be replaced, now or at the restart: a folder stands
# where its staged copy would go. Hold it in use (driver command hold) and the
# copy to the staged name fails: the file fails (0x80). (A read-only file
# would not do: the tests may run as root, whom no permission stops.)
unreplaceable() { mkdir -p "$sysdir/${1%L}M"; }
replaceable() { rm -rf "$sysdir/${1%L}M"; }
in_use() { echo "C:\\windows\\system32\\$1"; }

log_text() { [ -f "$log" ] && tr -d '\r' <"$log" || true; }

pending_moves() {
  wine reg query "$pending_key" /v PendingFileRenameOperations </dev/null 2>/dev/null || true
}

# The folder that really holds what the program sees as system32, as a
# restart's 64-bit Session Manager must be told it.
if [ "$arch" = x86 ]; then real_system='C:\windows\syswow64'; else real_system='C:\windows\system32'; fi

# Another program's restart-time operations (pending_ops.exe COMMAND...), and
# both lists byte for byte.
ops() {
  local said
  said=$(wine "$pending_exe" "$@" </dev/null 2>/dev/null | tr -d '\r') || fail "pending_ops $*: $said"
  printf '%s' "$said"
}
no_pending() {
  local v
  for v in PendingFileRenameOperations PendingFileRenameOperations2; do
    wine reg delete "$pending_key" /v $v /f >/dev/null 2>&1 </dev/null || true
  done
}
failed_reboot='Module installation failed. Some modules could not be replaced. To make the other changes take effect, restart your computer.'

# Windows 98 as QMXSET.EXE alone sees it: platform 1, version 4.10.
win98_key='HKCU\Software\Wine\AppDefaults\QMXSET.EXE'

# WININIT.INI's [Rename] lines, one a line, without CR.
rename_section() {
  [ -f "$wininit" ] || return 0
  tr -d '\r' <"$wininit" | sed -n '/^\[Rename\]/,/^\[/{/^\[/d;/^$/d;p}'
}

# A second run before the restart, with a newer package and module A free:
# A stays as it is, the newer copy goes to the staged name, and what the
# restart will do (the listing command given after LABEL and BEFORE) is as
# it was. second_run_stays_staged LABEL BEFORE COMMAND...
second_run_stays_staged() {
  local label=$1 before=$2
  shift 2
  rm -f "$log"
  put "$pkg/$A" "shipped A, newer" 2003
  quiet_row "${label}run 2, newer package, module free" 3010 "[0x4] - " /quiet
  check "${label}run 2: module not replaced now" "installed A" "$(cat "$sysdir/$A")"
  check "${label}run 2: the newer copy staged" "shipped A, newer" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  check "${label}run 2: the restart's work listed once" "$before" "$("$@")"
}

# The named modules (A, B, ...) as the system folder holds them: a digest of
# the bytes and the last-write time, or absent.
state() {
  local m
  for m in "$@"; do
    if [ -e "$sysdir/${!m}" ]; then
      echo "${!m} $(sha256sum <"$sysdir/${!m}" | cut -c1-16) $(stat -c %Y "$sysdir/${!m}")"
    else
      echo "${!m} absent"
    fi
  done
}

# of_machine HEX FROM TO: a copy of module FROM whose COFF header names
# machine HEX (014c, 8664, aa64): what another machine's build would ship.
of_machine() {
  local offset
  cp "$2" "$3"
  offset=$(od -An -tu4 -j60 -N4 "$3" | tr -d ' ')
  printf "\\x${1:2:2}\\x${1:0:2}" | dd of="$3" bs=1 seek=$((offset + 4)) conv=notrunc status=none
}

# The change list of changelist, all or nothing.
all_or_nothing() { printf '[Rollback]\r\nON\r\n' >>"$pkg/QMX_CHG.DAT"; }

# QMXSET.EXE /quiet killed at the Nth change of a module's name (name_watch);
# watched NTH MODULE-PATH [SWITCHES]. Or, with NTH "run:COMMAND", that
# command run at the first change while the installer goes on.
watched() {
  local nth=$1 path=$2 switches=${3:-/quiet} line attempt status
  # name_watch itself failing (it could not watch the name or start the
  # program) means nothing of ours ran: it is said, and tried once more.
  for attempt in 1 2; do
    status=0
    if [ "${nth#run:}" != "$nth" ]; then
      line=$("$name_watch" --run "${nth#run:}" "$path" wine "$EXE" $switches </dev/null 2>"$pkg/watch.err") || status=$?
    else
      line=$("$name_watch" --nth "$nth" "$path" wine "$EXE" $switches </dev/null 2>"$pkg/watch.err") || status=$?
    fi
    [ "$status" -eq 0 ] && break
    echo "name_watch exited $status: $(grep name_watch "$pkg/watch.err" || true)"
  done
  echo "watched: $line"
  case "$line" in seen=changed*) ;; *) fail "the watched name did not change as the run went: $line" ;; esac
}

# An all-or-nothing package of A, L and B, Windows protecting B, the last:
# its run puts back A and L.
interrupted_package() {
  protect "$B"
  newer_shipped A L B
  changelist "2:10" "$A $L $B" ON
  all_or_nothing
}

undone='The previous modules were restored.'
nothing_to_undo='There was nothing to undo.'

# Windows protects the module named: the test's own sfc.dll says so, where
# Wine's protects nothing; cleanup puts Wine's back.
protect() {
  cp "$sysdir/sfc.dll" "$pkg/sfc.before"
  cp "$test_sfc" "$sysdir/sfc.dll"
  export QMX_TEST_PROTECTED="$1" QMX_TEST_SFC_ASKED
  QMX_TEST_SFC_ASKED=$(x_session_winpath "$pkg/asked.txt")
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;sfc=n"
}

case "$scenario" in
full)
  newer_shipped A
  changelist "1:4, 2:10:0" "${A,,}" ON
  drive screen start "$EXE" find msg VAREL 1000 dump msg find inst VAREL none dump inst \
    syscommand inst 0x10 find about "About QMX_SET" any dump about press about 1 gone about \
    press msg 1 wait-exit

  IFS=, read -r sw sh < <(fact screen)
  IFS=, read -r wl wt wr wb < <(fact workarea)

  check "message text" "Module installation complete." "$(message)"
  check "message caption" VAREL "$(fact msg.caption)"
  check "message topmost" 1 "$(fact msg.topmost)"
  check "message active" 1 "$(fact msg.active)"
  check "focus on OK" 1 "$(fact msg.focus)"
  check "message owned by the installer dialog" 1 "$(fact msg.owned)"
  check "message has no system menu" 0 $(( $(fact msg.style) & 0x00080000 ))
  IFS=, read -r l t r b < <(fact msg.rect)
  check "message centred horizontally" $(( (sw - (r - l)) / 2 )) "$l"
  check "message centred vertically" $(( (sh - (b - t)) / 2 )) "$t"

  check "installer caption" VAREL "$(fact inst.caption)"
  check "installer minimised" 1 "$(fact inst.iconic)"
  check "installer visible" 1 "$(fact inst.visible)"
  check "installer has a task-bar button" 262144 $(( $(fact inst.exstyle) & 0x00040000 ))
  check "installer disabled under the message" 0 "$(fact inst.enabled)"
  check "installer without controls" 0 "$(fact inst.children)"

  check "about caption" "About QMX_SET" "$(fact about.caption)"
  check "about icon" 1 "$(fact about.child.0.icon)"
  check "about name line" "QMX_SET Version 1.0" "$(fact about.child.1 | cut -d'|' -f4-)"
  [ -n "$(fact about.child.2 | cut -d'|' -f4-)" ] || fail "about second line is empty"
  check "about OK" "1|Button|0x50030001|OK" "$(fact about.child.3)"
  check "about focus on OK" 1 "$(fact about.focus)"
  IFS=, read -r l t r b < <(fact about.rect)
  check "about centred in the work area" $(( wl + (wr - wl - (r - l)) / 2 )) "$l"
  check "about centred in the work area" $(( wt + (wb - wt - (b - t)) / 2 )) "$t"

  check "exit status" 0 "$(fact exit)"
  check "installed file replaced" "shipped A" "$(cat "$sysdir/$A")"
  text=$(log_text)
  # The manifest lets the program see the true version (10.0 here).
  contains "log" "$text" "CompVersion(2, 10, 0, 2:10:0)"
  contains "log" "$text" "PrepareInstallation Append - $A"
  contains "log" "$text" "EngingMessage[0x1] - Module installation complete."
  lacks "log" "$text" "CheckLanguageEnv"
  ;;

outcomes)
  # Installed copy newer than the shipped one: nothing to do.
  put "$sysdir/$A" "installed A" 2003
  put "$pkg/$A" "shipped A" 2002
  changelist "2:10" "$A" ON
  shown "skipped" "It was not the environment which this module applies." 0x2
  check "skipped: installed file kept" "installed A" "$(cat "$sysdir/$A")"

  # The change list targets another Windows.
  rm -f "$log"
  put "$sysdir/$A" "installed A" 2001
  changelist "1:4" "$A" ON
  shown "not applicable" "It was not the environment which this module applies." 0x8
  check "not applicable: installed file kept" "installed A" "$(cat "$sysdir/$A")"
  lacks "not applicable: log" "$(log_text)" "PrepareInstallation"

  # The shipped file is missing.
  rm -f "$log" "$pkg/$A"
  changelist "2:10" "$A" ON
  shown "shipped file missing" "Module installation failed. Some modules could not be replaced." 0x8

  # One file replaced, one already current: complete.
  rm -f "$log"
  newer_shipped A
  put "$sysdir/$B" "installed B" 2003
  put "$pkg/$B" "shipped B" 2002
  changelist "2:10" "$A $B" ON
  shown "one replaced, one current" "Module installation complete." 0x3
  check "one replaced, one current: replaced" "shipped A" "$(cat "$sysdir/$A")"
  check "one replaced, one current: kept" "installed B" "$(cat "$sysdir/$B")"

  # One replaced, one the package lacks: a broken package is a failure, not "complete".
  rm -f "$log" "$pkg/$B"
  newer_shipped A
  changelist "2:10" "$A $B" ON
  shown "one replaced, one missing" "Module installation failed. Some modules could not be replaced." 0x9

  # Targeted, but [File] lists nothing.
  rm -f "$log"
  changelist "2:10" "" ON
  shown "no files" "It was not the environment which this module applies." 0x8

  # No change list at all: nothing applies, and nothing can switch the log on.
  rm -f "$log" "$pkg/QMX_CHG.DAT"
  newer_shipped A
  shown "no change list" "It was not the environment which this module applies." ""
  check "no change list: installed file kept" "installed A" "$(cat "$sysdir/$A")"
  [ ! -e "$log" ] || fail "no change list: a log was written"
  ;;

reboot | japanese)
  newer_shipped A B
  changelist "2:10" "$A $B" ON
  # B is in use, as a loaded library would be: readable, not exclusively.
  commands=(hold "C:\\windows\\system32\\$B" start "$EXE" find msg VAREL 1000 dump msg press msg 1 wait-exit)
  if [ "$scenario" = japanese ]; then
    LANG=ja_JP.UTF-8 drive "${commands[@]}"
    expected='モジュールのインストールが完了しました。\r\nWindowsを再起動してください。'
    check "message" "$expected" "$(message)"
    # The log is in the ANSI code page of a Japanese system, 932.
    text=$(iconv -f CP932 -t UTF-8 <"$log" | tr -d '\r')
    contains "log" "$text" "EngingMessage[0x5] - モジュールのインストールが完了しました。
Windowsを再起動してください。"
  else
    drive "${commands[@]}"
    check "message" "$restart_message" "$(message)"
    contains "log" "$(log_text)" "EngingMessage[0x5] - Module installation complete."
  fi
  check "exit status" 0 "$(fact exit)"
  check "free file replaced" "shipped A" "$(cat "$sysdir/$A")"
  check "file in use kept" "installed B" "$(cat "$sysdir/$B")"
  check "staged copy" "shipped B" "$(cat "$sysdir/${B%L}M" 2>/dev/null)"
  # Named in the folder that holds the staged copy: Wine, like the first
  # 64-bit Windows, records a 32-bit program's names as it passes them.
  contains "restart-time move" "$(pending_moves)" "\\??\\$real_system\\${B%L}M\\0!\\??\\$real_system\\$B"
  ;;

reboot_again)
  # A second run before the restart finds the copy that the first one staged
  # still waiting: the update is pending, not failed, and listed once.
  newer_shipped B
  changelist "2:10" "$B" ON
  run_once hold "C:\\windows\\system32\\$B"
  first=$(pending_moves)
  contains "first run: restart-time move" "$first" "${B%L}M"
  rm -f "$log"
  shown "second run" "$restart_message" 0x4 hold "C:\\windows\\system32\\$B"
  text=$(log_text)
  contains "second run: log" "$text" "CompareTimeStamp : QMX_COMP_SAME (3)."
  lacks "second run: log" "$text" "MoveOnReboot"
  check "second run: the move listed once" "$first" "$(pending_moves)"
  check "staged copy" "shipped B" "$(cat "$sysdir/${B%L}M" 2>/dev/null)"
  check "file in use kept" "installed B" "$(cat "$sysdir/$B")"
  ;;

win98_rename)
  # Windows 98: restart-time replacement by WININIT.INI. A long name's short
  # form comes from a hash under Wine, so the staged copy's short name shares
  # no stem with the module's; the key must still name the module itself.
  if [ -f "$wininit" ]; then cp "$wininit" "$pkg/wininit.before"; fi
  wine reg add "$win98_key" /v Version /d win98 /f >/dev/null 2>&1 </dev/null
  newer_shipped A L
  changelist "1:4:10" "$A $L" ON
  system='C:\windows\system32'
  drive short "$system\\$L"
  short_module=$(fact short)
  held=(hold "$system\\$A" hold "$system\\$L")
  shown "" "$restart_message" "" "${held[@]}"
  contains "log" "$(log_text)" "CompVersion(1, 4, 10, 1:4:10)"
  drive short "$system\\${L%L}M"
  short_staged=$(fact short)
  expected=$(printf '%s\n' "$system\\$A=$system\\${A%L}M" "$short_module=$short_staged" | sort)
  check "[Rename] entries" "$expected" "$(rename_section | sort)"
  check "staged copy of the long name" "shipped L" "$(cat "$sysdir/${L%L}M" 2>/dev/null)"
  check "module in use kept" "installed L" "$(cat "$sysdir/$L")"
  [ "${short_staged%?}" != "${short_module%?}" ] ||
    fail "the short names share their stem ($short_module, $short_staged), so this proves nothing"

  # Run again before the restart: the same entries, and the restart message.
  rm -f "$log"
  shown "second run" "$restart_message" 0x4 "${held[@]}"
  check "second run: [Rename] entries" "$expected" "$(rename_section | sort)"
  ;;

second_instance)
  changelist "1:4" "$A" ON
  drive start "$EXE" find msg VAREL 1000 run "$EXE" 10000 press msg 1 wait-exit
  check "second start's exit status" 0 "$(fact run.exit)"
  [ "$(fact run.ms)" -lt 5000 ] || fail "second start took $(fact run.ms) ms"
  check "first start's exit status" 0 "$(fact exit)"
  # Only the first start wrote to the log.
  check "runs logged" 1 "$(log_text | grep -c '^EngingMessage')"
  check "checks logged" 1 "$(log_text | grep -c '^CompVersion')"
  ;;

logging)
  changelist "1:4" "$A" ON
  run_once
  first=$(cat "$log")
  contains "log on" "$first" "EngingMessage[0x8] - "
  changelist "1:4" "$A" OFF
  run_once
  check "log off leaves the log alone" "$first" "$(cat "$log")"
  changelist "1:4" "$A" ""
  run_once
  check "no [Log] leaves the log alone" "$first" "$(cat "$log")"
  changelist "1:4" "$A" ON
  run_once
  case "$(cat "$log")" in "$first"*) ;; *) fail "a later run does not append";; esac
  check "runs logged" 2 "$(log_text | grep -c '^EngingMessage')"
  ;;

planted_version)
  # A VERSION.DLL beside the installer, preferred by the loader to the
  # system's. The times say keep the installed copy; only the real FileVersion
  # texts say the shipped one is newer.
  cp "$planted_dll" "$pkg/VERSION.DLL"
  cp "$fixtures/V5_1_2600_0.DLL" "$sysdir/$A"
  cp "$fixtures/V5_1_2601.DLL" "$pkg/$A"
  touch -d "2003-06-01 12:00:00" "$sysdir/$A"
  touch -d "2002-06-01 12:00:00" "$pkg/$A"
  changelist "2:10" "$A" ON
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;version=n,b" run_once
  [ -f "$pkg/PLANTED_LOADED.TXT" ] || fail "the planted VERSION.DLL was never loaded, so this proves nothing"
  [ ! -f "$pkg/PLANTED_CALLED.TXT" ] || fail "the installer called the planted VERSION.DLL"
  check "message" "Module installation complete." "$(message)"
  cmp -s "$fixtures/V5_1_2601.DLL" "$sysdir/$A" || fail "the shipped module was not installed"
  contains "log" "$(log_text)" "is \"5.1.2601\"."
  ;;

held_module)
  # Another process has the installed copy open and lets no one else open it.
  # The comparison cannot read its time, so by its rule the copy is missing,
  # and the file is skipped untouched although the shipped one is newer.
  newer_shipped A
  changelist "2:10" "$A" ON
  shown "" "It was not the environment which this module applies." 0x2 hold-as "C:\\windows\\system32\\$A" r -
  check "installed file kept" "installed A" "$(cat "$sysdir/$A")"
  [ ! -e "$sysdir/${A%L}M" ] || fail "a copy was staged beside the installed file"
  lacks "restart-time move" "$(pending_moves)" "${A%L}M"
  text=$(log_text)
  contains "log" "$text" "CompareTimeStamp [1] - Not exist C:\\windows\\system32\\$A."
  lacks "log" "$text" "LockDestFile"
  ;;

held_changelist)
  # Another process writes to the change list and lets no one else open it:
  # the list counts as missing, and its [Log] switch is never read.
  newer_shipped A
  changelist "2:10" "$A" ON
  shown "" "It was not the environment which this module applies." "" hold-as "$(x_session_winpath "$pkg/QMX_CHG.DAT")" w -
  check "installed file kept" "installed A" "$(cat "$sysdir/$A")"
  [ ! -e "$log" ] || fail "the log was created: $(log_text)"
  ;;

held_log)
  # Another process writes to the log and shares it for reading only, so the
  # installer's appends cannot open it: the lines are lost, the run is not.
  newer_shipped A
  changelist "2:10" "$A" ON
  printf 'EngingMessage[0x8] - an earlier run\r\n' >"$log"
  cp "$log" "$pkg/log.before"
  shown "" "Module installation complete." "" hold-as 'C:\QMX_CHG.LOG' w r
  check "installed file replaced" "shipped A" "$(cat "$sysdir/$A")"
  cmp -s "$pkg/log.before" "$log" || fail "the log changed: $(log_text)"
  ;;

quiet)
  # Every exit-code row, each in a quiet run with the log on.
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "replaced" 0 "[0x1] - Module installation complete." /quiet
  check "replaced: installed file" "shipped A" "$(cat "$sysdir/$A")"

  rm -f "$log"
  quiet_row "already current" 0 "[0x2] - " -Q

  rm -f "$log" "$sysdir/$A"
  quiet_row "not installed here" 0 "" /QUIET
  [ ! -e "$sysdir/$A" ] || fail "not installed here: the module was added"

  rm -f "$log"
  put "$sysdir/$A" "installed A" 2001
  quiet_row "in use, staged for the restart" 3010 "[0x4] - Module installation complete. To make" \
    -quiet hold "$(in_use "$A")"
  check "staged: installed file kept" "installed A" "$(cat "$sysdir/$A")"
  check "staged: staged copy" "shipped A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  rm -f "$sysdir/${A%L}M"

  rm -f "$log"
  put "$sysdir/$A" "installed A" 2001
  unreplaceable "$A"
  quiet_row "a module failed" 1603 "[0x80] - Module installation failed." /q hold "$(in_use "$A")"
  check "failed: installed file kept" "installed A" "$(cat "$sysdir/$A")"
  replaceable "$A"

  rm -f "$log"
  changelist "1:4" "$A" ON
  quiet_row "another Windows targeted" 1633 "[0x8] - " /quiet
  check "not targeted: installed file kept" "installed A" "$(cat "$sysdir/$A")"

  rm -f "$log"
  changelist "2:10" "" ON
  quiet_row "no module listed" 1620 "[0x8] - " /quiet

  rm -f "$log"
  changelist "2:10" "$A" ON
  quiet_row "change list unreadable" 1620 "" /quiet hold-as "$(x_session_winpath "$pkg/QMX_CHG.DAT")" w -
  [ ! -e "$log" ] || fail "unreadable: the log was switched on: $(log_text)"

  rm -f "$pkg/$A"
  quiet_row "module missing from the package" 1620 "[0x8] - " /quiet
  check "missing from the package: installed file kept" "installed A" "$(cat "$sysdir/$A")"

  # Without a change list nothing can switch the log on, but /log does.
  rm -f "$log" "$pkg/QMX_CHG.DAT"
  put "$pkg/$A" "shipped A" 2002
  quiet_row "no change list" 1620 "[0x8] - " "/quiet /log"
  check "no change list: installed file kept" "installed A" "$(cat "$sysdir/$A")"

  # A Windows version the program does not know (Win32s) is refused like a
  # user who is not an administrator; Wine always runs as one.
  rm -f "$log"
  changelist "2:10" "$A" ON
  appkey='HKCU\Software\Wine\AppDefaults\QMXSET.EXE'
  wine reg add "$appkey" /v Version /d win31 /f >/dev/null 2>&1 </dev/null
  quiet_row "Windows not known" 740 "[0x10] - " /quiet
  wine reg add "$appkey" /v Version /d win10 /f >/dev/null 2>&1 </dev/null
  check "Windows not known: installed file kept" "installed A" "$(cat "$sysdir/$A")"

  # A second quiet start while a first copy runs.
  rm -f "$log"
  changelist "1:4" "$A" ON
  drive start "$EXE" find msg VAREL 1000 run-with "$EXE" /quiet 10000 press msg 1 wait-exit
  check "second quiet start: exit code" 1618 "$(fact run.exit)"
  check "first start: exit status" 0 "$(fact exit)"
  check "runs logged" 1 "$(log_text | grep -c '^EngingMessage')"
  echo "row: already running: QMXSET /quiet -> exit $(fact run.exit)"
  ;;

switches)
  newer_shipped A
  changelist "2:10" "$A" ON

  # The usage: shown and nothing installed, or with /quiet not even shown.
  drive start-with "$EXE" "/?" find usage QMXSET 65535 dump usage press usage 1 wait-exit
  check "/?: exit code" 0 "$(fact exit)"
  contains "/?: usage" "$out" "Usage: QMXSET [/quiet] [/log[:PATH]] [/undo]"
  quiet_row "usage, quiet" 0 "" "-HELP /q"

  # An unknown switch: the usage, exit 87, nothing installed. The watch sees
  # the usage message, which shows that it would see any window.
  drive start-with "$EXE" "/quite" watch 3000 find usage QMXSET 65535 press usage 1 wait-exit
  check "/quite: exit code" 87 "$(fact exit)"
  check "/quite: the watch saw the usage" 1 "$(fact watch.visible)"
  case "$(fact watch.first)" in "#32770|QMXSET") ;; *) fail "/quite: first window $(fact watch.first)";; esac
  quiet_row "unknown switch, quiet" 87 "" "/quiet /quite"
  check "unknown switch: installed file kept" "installed A" "$(cat "$sysdir/$A")"
  [ ! -e "$log" ] || fail "unknown switch: a log was written: $(log_text)"

  # /log whatever [Log] says.
  changelist "1:4" "$A" OFF
  quiet_row "/log" 1633 "[0x8] - " "/quiet /log"
  contains "/log: log" "$(log_text)" "CompVersion(2, 10, 0, 1:4)"

  # /log:PATH, with a blank in it: lines go there, appended run after run,
  # and not to the usual place.
  rm -f "$log"
  mkdir -p "$pkg/my logs"
  other=$(x_session_winpath "$pkg/my logs/pc1.log")
  printf 'an earlier line
' >"$pkg/my logs/pc1.log"
  changelist "1:4" "$A" ""
  quiet_row "/log:PATH" 1633 "" "/quiet \"/log:$other\""
  run_once_args() { drive start-with "$EXE" "$1" find msg VAREL 1000 press msg 1 wait-exit; }
  run_once_args "/LOG:\"$other\""
  check "/log:PATH: exit status without /quiet" 0 "$(fact exit)"
  text=$(tr -d '\r' <"$pkg/my logs/pc1.log")
  case "$text" in "an earlier line"*) ;; *) fail "/log:PATH: not appended: $text";; esac
  check "/log:PATH: runs logged" 2 "$(printf '%s\n' "$text" | grep -c '^EngingMessage\[0x8\]')"
  [ ! -e "$log" ] || fail "/log:PATH: the usual log was written too"
  ;;

failed)
  # A failed module is never reported as success: alone (0x80), beside one
  # replaced (0x81) and beside one staged for the restart (0x84), in English
  # and in Japanese.
  for lang in en ja; do
    for bits in 0x80 0x81 0x84; do
      # Each row a machine of its own: a pair left by the row before would
      # keep its module on the restart path.
      rm -f "$log" "$sysdir/${A%L}M"
      no_pending
      newer_shipped A B
      unreplaceable "$B"
      before=(hold "$(in_use "$B")")
      case $bits in
      0x80) changelist "2:10" "$B" ON ;;
      0x81) changelist "2:10" "$A $B" ON ;;
      0x84) changelist "2:10" "$A $B" ON; before+=(hold "$(in_use "$A")") ;;
      esac
      if [ $lang = ja ]; then
        LANG=ja_JP.UTF-8 run_once "${before[@]}"
        text=$(iconv -f CP932 -t UTF-8 <"$log" | tr -d '\r')
        expected='モジュールのインストールに失敗しました。一部のモジュールを置き換えられませんでした。'
        [ $bits = 0x84 ] && expected="${expected}Windowsを再起動してください。"
      else
        run_once "${before[@]}"
        text=$(log_text)
        expected='Module installation failed. Some modules could not be replaced.'
        [ $bits = 0x84 ] && expected="$expected To make the other changes take effect, restart your computer."
      fi
      check "$lang $bits: message" "$expected" "$(message)"
      contains "$lang $bits: log" "$text" "EngingMessage[$bits] - $expected"
      check "$lang $bits: failed file kept" "installed B" "$(cat "$sysdir/$B")"
      echo "row: $lang $bits: exit $(fact exit); message: $(message)"
      replaceable "$B"
    done
  done
  ;;

killed)
  # A large module, and the process killed the moment anything in the system
  # folder changes: whatever the program writes first, the installed module
  # must still be whole. (Written into in place, it was cut short.)
  head -c 40000000 /dev/urandom >"$pkg/installed.before"
  cp "$pkg/installed.before" "$sysdir/$A"
  touch -d "2001-06-01 12:00:00" "$sysdir/$A"
  head -c 40000000 /dev/urandom >"$pkg/$A"
  touch -d "2002-06-01 12:00:00" "$pkg/$A"
  changelist "2:10" "$A" ON
  drive watch-folder 'C:\windows\system32' start "$EXE" kill-on-change 20000
  check "killed while writing" 1 "$(fact killed)"
  cmp -s "$pkg/installed.before" "$sysdir/$A" || fail "the installed module is not what it was"
  contains "log" "$(log_text)" "LockDestFile : QMX_LOCK_SUCEES"
  [ ! -e "$sysdir/${A%L}M" ] || fail "a copy was staged beside the installed module"

  # The next run, left alone, replaces it whole.
  rm -f "$log"
  shown "next run" "Module installation complete." ""
  cmp -s "$pkg/$A" "$sysdir/$A" || fail "the next run did not install the shipped module"
  ;;

protected)
  # Windows protects A: the test's own sfc.dll says so, where Wine's protects
  # nothing. The system folder is the one the program's bitness sees.
  protect "$A"
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "protected module" 1603 "[0x80] - Module installation failed." /quiet
  check "quiet: protected module kept" "installed A" "$(cat "$sysdir/$A")"
  [ ! -e "$sysdir/${A%L}M" ] || fail "quiet: a copy was staged beside the protected module"
  lacks "quiet: restart-time move" "$(pending_moves)" "${A%L}M"
  text=$(log_text)
  contains "quiet: log" "$text" "CopyTargetFile - Protected by Windows C:\\windows\\system32\\$A."
  lacks "quiet: log" "$text" "LockDestFile"
  # Asked by the path the program sees: system32, even where the x86 build's
  # files are in syswow64.
  check "quiet: the path asked" "C:\\windows\\system32\\$A" "$(tr -d '\r' <"$pkg/asked.txt" 2>/dev/null)"

  # Shown: the failure message, and the module still untouched.
  rm -f "$log"
  shown "shown" "Module installation failed. Some modules could not be replaced." ""
  check "shown: protected module kept" "installed A" "$(cat "$sysdir/$A")"

  # Up to date: nothing would change, so nothing is asked.
  rm -f "$log" "$pkg/asked.txt"
  put "$sysdir/$A" "installed A" 2003
  quiet_row "protected module up to date" 0 "[0x2] - " /quiet
  [ ! -e "$pkg/asked.txt" ] || fail "up to date: Windows was asked about $(cat "$pkg/asked.txt")"
  ;;

broken_reboot)
  # A module in use is staged (0x04) while another listed module, installed
  # here, is missing from the package (0x08): the package is broken, so the
  # user is told of a failure, and still asked to restart for the staged one.
  newer_shipped A
  put "$sysdir/$B" "installed B" 2001
  changelist "2:10" "$A $B" ON
  expected='Module installation failed. Some modules could not be replaced. To make the other changes take effect, restart your computer.'
  for how in shown quiet; do
    rm -f "$log" "$sysdir/${A%L}M"
    wine reg delete "$pending_key" /v PendingFileRenameOperations /f >/dev/null 2>&1 </dev/null || true
    if [ $how = shown ]; then
      shown "shown" "$expected" "" hold "$(in_use "$A")"
    else
      quiet_row "in use, and one missing from the package" 1620 "" /quiet hold "$(in_use "$A")"
    fi
    contains "$how: log" "$(log_text)" "EngingMessage[0xc] - $expected"
    check "$how: module in use kept" "installed A" "$(cat "$sysdir/$A")"
    check "$how: staged copy" "shipped A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
    contains "$how: restart-time move" "$(pending_moves)" "${A%L}M"
    check "$how: module the package lacks kept" "installed B" "$(cat "$sysdir/$B")"
  done
  ;;

win98_space)
  # Windows 98, a module in use whose name has a blank. Its short name is
  # longer than the name itself (Wine hashes it: MYMOD~XX.DLL or the like),
  # which once left no room to ask for it, so it could never be staged.
  if [ -f "$wininit" ]; then cp "$wininit" "$pkg/wininit.before"; fi
  wine reg add "$win98_key" /v Version /d win98 /f >/dev/null 2>&1 </dev/null
  newer_shipped S
  # Written here: changelist splits its names at blanks.
  printf '[Install]\r\n1:4:10\r\n[File]\r\n%s\r\n[Log]\r\nON\r\n' "$S" >"$pkg/QMX_CHG.DAT"
  system='C:\windows\system32'
  drive short "$system\\$S"
  short_module=$(fact short)
  short_name=${short_module##*\\}
  [ "${#short_name}" -gt "${#S}" ] ||
    fail "the short name $short_module is no longer than $S, so this proves nothing"
  shown "" "$restart_message" 0x4 hold "$system\\$S"
  text=$(log_text)
  contains "log" "$text" "CompVersion(1, 4, 10, 1:4:10)"
  contains "log" "$text" "PrepareInstallation Append - $S"
  lacks "log" "$text" "GetShortPathNameCS is failed"
  check "staged copy" "shipped S" "$(cat "$sysdir/${S%L}M" 2>/dev/null)"
  check "module in use kept" "installed S" "$(cat "$sysdir/$S")"
  drive short "$system\\${S%L}M"
  short_staged=$(fact short)
  check "[Rename] entries" "$short_module=$short_staged" "$(rename_section)"
  echo "row: $system\\$S, held, on Windows 98 -> [Rename] $(rename_section)"
  ;;

unreadable_changelist)
  # A change list that cannot be read is "not applicable", with 1620; with
  # /log the one line before the outcome says which file and why.
  newer_shipped A
  list=$(x_session_winpath "$pkg/QMX_CHG.DAT")
  not_applicable='EngingMessage[0x8] - It was not the environment which this module applies.'
  changelist "2:10" "$A" ON
  rm -f "$log"
  quiet_row "held by another process" 1620 "" "/quiet /log" hold-as "$list" w -
  check "held: log" "ChangeList - Cannot read $list.(32)
$not_applicable" "$(log_text)"

  rm -f "$log" "$pkg/QMX_CHG.DAT"
  mkdir "$pkg/QMX_CHG.DAT"
  quiet_row "a folder by its name" 1620 "" "/quiet /log"
  check "folder: log" "ChangeList - Cannot read $list.(5)
$not_applicable" "$(log_text)"

  rm -f "$log"
  rmdir "$pkg/QMX_CHG.DAT"
  quiet_row "missing" 1620 "" "/quiet /log"
  check "missing: log" "ChangeList - Cannot read $list.(2)
$not_applicable" "$(log_text)"

  # Shown, the list's own 0x08 is still "not applicable", not a failure.
  rm -f "$log"
  changelist "2:10" "$A" ON
  drive hold-as "$list" w - start-with "$EXE" /log find msg VAREL 1000 dump msg press msg 1 wait-exit
  check "shown: message" "It was not the environment which this module applies." "$(message)"
  check "shown: log" "ChangeList - Cannot read $list.(32)
$not_applicable" "$(log_text)"
  check "installed file kept" "installed A" "$(cat "$sysdir/$A")"
  ;;

sealed)
  # A sealed package installs as before, whoever sealed it; one changed byte
  # in a module, the change list or the seal itself installs nothing, not
  # even the modules whose own bytes are whole. The change list names A in
  # lower case: the log names it as the run holds it, upper-cased.
  sealed_package() {  # the sealing command: sha256sum or qmxcheck
    rm -f "$log" "$pkg/QMX_CHG.SUM"
    newer_shipped A B
    changelist "2:10" "${A,,} $B" ON
    if [ "$1" = sha256sum ]; then
      (cd "$pkg" && sha256sum QMX_CHG.DAT "$A" "$B" QMXSET.EXE >QMX_CHG.SUM)
    else
      wine "$check_exe" --seal "$(x_session_winpath "$pkg")" </dev/null >/dev/null 2>&1 ||
        fail "QMXCHECK.EXE --seal failed"
    fi
    (cd "$pkg" && sha256sum --quiet -c QMX_CHG.SUM) || fail "$1: sha256sum -c refuses the seal"
  }
  # The offset of the line of QMX_CHG.SUM that names $1.
  seal_line() { grep -b -i -- "  $1\$" "$pkg/QMX_CHG.SUM" | cut -d: -f1; }
  # One byte of a file becomes another, its size and everything else kept.
  poke() {  # file, offset, byte
    [ "$(dd if="$1" bs=1 skip="$2" count=1 2>/dev/null)" != "$3" ] || fail "poke: $1 already holds $3 at $2"
    printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
  }
  # Some other hexadecimal digit than the one at offset.
  other_digit() { if [ "$(dd if="$1" bs=1 skip="$2" count=1 2>/dev/null)" = 0 ]; then echo 1; else echo 0; fi; }

  for sealer in sha256sum qmxcheck; do
    sealed_package $sealer
    quiet_row "sealed by $sealer" 0 "[0x1] - Module installation complete." /quiet
    check "sealed by $sealer: A replaced" "shipped A" "$(cat "$sysdir/$A")"
    check "sealed by $sealer: B replaced" "shipped B" "$(cat "$sysdir/$B")"
    lacks "sealed by $sealer: log" "$(log_text)" "VerifyPackage"
  done
  sealed_package qmxcheck
  shown "sealed, shown" "Module installation complete." ""

  # What changes | where (file, offset, byte) | the one line the log names it by.
  failure='Module installation failed. Some modules could not be replaced.'
  while IFS='|' read -r what target expected; do
    for shown in quiet shown; do
      sealed_package sha256sum
      case "$target" in
      module) poke "$pkg/$B" 0 S ;;
      changelist) poke "$pkg/QMX_CHG.DAT" 3 W ;;  # in the comment: the list means the same
      digest) at=$(seal_line "$A"); poke "$pkg/QMX_CHG.SUM" "$at" "$(other_digit "$pkg/QMX_CHG.SUM" "$at")" ;;
      name) at=$(seal_line "$B"); poke "$pkg/QMX_CHG.SUM" $((at + 66 + ${#B} - 5)) Z ;;
      form) at=$(seal_line QMX_CHG.DAT); poke "$pkg/QMX_CHG.SUM" $((at + 10)) g ;;
      esac
      if [ $shown = quiet ]; then
        quiet_row "$what" 1620 "" /quiet
      else
        shown "$what, shown" "$failure" ""
      fi
      check "$what, $shown: A kept" "installed A" "$(cat "$sysdir/$A")"
      check "$what, $shown: B kept" "installed B" "$(cat "$sysdir/$B")"
      [ ! -e "$sysdir/${A%L}M" ] && [ ! -e "$sysdir/${B%L}M" ] || fail "$what, $shown: a copy was staged"
      lacks "$what, $shown: restart-time move" "$(pending_moves)" "QE2E${arch^^}"
      text=$(log_text)
      check "$what, $shown: the seal's log line" "$expected" "$(grep '^VerifyPackage' <<<"$text" || true)"
      contains "$what, $shown: log" "$text" "EngingMessage[0x8] - $failure"
      lacks "$what, $shown: log" "$text" "CompareTimeStamp"
    done
  done <<ROWS
a byte of the module B|module|VerifyPackage - $B does not match QMX_CHG.SUM.
a byte of the change list's comment|changelist|VerifyPackage - QMX_CHG.DAT does not match QMX_CHG.SUM.
a digit of A's digest in the seal|digest|VerifyPackage - $A does not match QMX_CHG.SUM.
a letter of B's name in the seal|name|VerifyPackage - $B is not in QMX_CHG.SUM.
a digit of the seal made no digit|form|VerifyPackage - QMX_CHG.SUM is damaged.
ROWS
  ;;

out_of_memory)
  # A [File] line of 800 MB: the list fits a 32-bit process once, a second
  # copy of the line does not. The program has no exceptions; memory running
  # out ends the run where it is, with 0x08 and its message, the module
  # untouched. A 64-bit process has room for the copy: only x86 runs out.
  if [ "$arch" != x86 ]; then
    echo "out_of_memory ($arch): a 64-bit process does not run out here"
    exit 77
  fi
  newer_shipped A
  {
    printf '[Install]\r\n2:10\r\n[Log]\r\nON\r\n[File]\r\n%s\r\n' "$A"
    head -c 800000000 /dev/zero | tr '\0' B
    printf '\r\n'
  } >"$pkg/QMX_CHG.DAT"
  not_applicable='It was not the environment which this module applies.'
  rm -f "$log"
  quiet_row "quiet" 1620 "[0x8] - $not_applicable" "/quiet"
  text=$(log_text)
  contains "quiet: log" "$text" "PrepareInstallation Append - $A"
  lacks "quiet: log" "$text" "CompareTimeStamp"
  lacks "quiet: log" "$text" "Cannot read"
  check "quiet: module untouched" "installed A" "$(cat "$sysdir/$A")"
  rm -f "$log"
  shown "shown" "$not_applicable" 0x8
  check "shown: module untouched" "installed A" "$(cat "$sysdir/$A")"
  ;;

undo)
  # Install, then undo: the system folder as it was, byte for byte and time
  # for time; the store's listing checks; a second undo finds nothing.
  newer_shipped A B
  changelist "2:10" "$A $B" ON
  before=$(state A B)
  quiet_row "installed" 0 "[0x1] - Module installation complete." /quiet
  check "installed" "shipped A" "$(cat "$sysdir/$A")"
  listed=$(cd "$store" && sha256sum -c SHA256SUMS 2>&1) || fail "the store's listing: $listed"
  check "the store's listing" 2 "$(grep -c ': OK$' <<<"$listed")"
  rm -f "$log"
  quiet_row "undone" 0 "[0x1] - $undone" "/quiet /undo"
  check "undone: the system folder" "$before" "$(state A B)"
  contains "undone: log" "$(log_text)" "UndoModule - Restored "
  [ -z "$(records)" ] || fail "undone: the used records are still in the store: $(records)"
  rm -f "$log"
  quiet_row "undone again" 0 "[0x2] - $nothing_to_undo" "/undo /q"
  contains "undone again: log" "$(log_text)" "UndoModule - Nothing to undo for "
  check "undone again: the system folder" "$before" "$(state A B)"

  # Shown: its own message.
  quiet_row "installed again" 0 "" /quiet
  drive start-with "$EXE" /undo find msg VAREL 1000 dump msg press msg 1 wait-exit
  check "shown undo: message" "$undone" "$(message)"
  check "shown undo: the system folder" "$before" "$(state A B)"
  ;;

undo_held)
  # A module held open is put back at the restart: 3010.
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "installed" 0 "" /quiet
  quiet_row "undone while held" 3010 "[0x4] - The previous modules will be restored" "/quiet /undo" \
    hold "$(in_use "$A")"
  check "held: module untouched until the restart" "shipped A" "$(cat "$sysdir/$A")"
  check "held: staged copy" "installed A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  contains "held: restart-time move" "$(pending_moves)" "${A%L}M"
  ;;

undo_chain)
  # 1.0, replaced by 2.0, replaced by 3.0: each package's undo goes one step
  # back, and only once.
  put "$sysdir/$A" "one" 2001
  for p in two three; do
    mkdir "$pkg/$p"
    cp "$exe" "$pkg/$p/QMXSET.EXE"
    printf '[Install]\r\n2:10\r\n[File]\r\n%s\r\n[Log]\r\nON\r\n' "$A" >"$pkg/$p/QMX_CHG.DAT"
  done
  put "$pkg/two/$A" "two" 2002
  put "$pkg/three/$A" "three" 2003
  one=$(state A)
  two_exe=$(x_session_winpath "$pkg/two/QMXSET.EXE")
  three_exe=$(x_session_winpath "$pkg/three/QMXSET.EXE")
  main_exe=$EXE
  EXE=$two_exe; quiet_row "2.0 installed" 0 "" /quiet
  two=$(state A)
  EXE=$three_exe; quiet_row "3.0 installed" 0 "" /quiet
  check "3.0 installed" "three" "$(cat "$sysdir/$A")"
  EXE=$three_exe; quiet_row "3.0 undone" 0 "[0x1] - $undone" "/quiet /undo"
  check "3.0 undone: 2.0 back" "$two" "$(state A)"
  EXE=$three_exe; quiet_row "3.0 undone again" 0 "[0x2] - $nothing_to_undo" "/quiet /undo"
  EXE=$two_exe; quiet_row "2.0 undone" 0 "[0x1] - $undone" "/quiet /undo"
  check "2.0 undone: 1.0 back" "$one" "$(state A)"
  EXE=$two_exe; quiet_row "2.0 undone again" 0 "[0x2] - $nothing_to_undo" "/quiet /undo"
  check "2.0 undone again" "$one" "$(state A)"
  EXE=$main_exe
  ;;

undo_reshipped)
  # Installed, then the package copied again by a tool that keeps no times,
  # so that its module is newer by time only, and installed again: the second
  # run keeps the record of the state before the first, and one /undo gives
  # that state back.
  newer_shipped A
  changelist "2:10" "$A" ON
  before=$(state A)
  quiet_row "installed" 0 "[0x1] - " /quiet
  touch -d "2001-06-01 12:00:00" "$sysdir/$A"
  touch -d "2003-06-01 12:00:00" "$pkg/$A"
  quiet_row "installed again, newer by time only" 0 "[0x1] - " /quiet
  quiet_row "undone" 0 "[0x1] - $undone" "/quiet /undo"
  check "undone: the state before the first run" "$before" "$(state A)"
  ;;

undo_cumulative)
  # 2.0 replaces A and B; 3.0 ships a new A and B as 2.0 did (with 2.0's time,
  # then with a newer one): /undo of 3.0 gives back A 2.0 and leaves B, which
  # 3.0 never changed; /undo of 2.0 then gives back both 1.0s.
  main_exe=$EXE
  for b_time in same newer; do
    rm -rf "$pkg/two" "$pkg/three"
    put "$sysdir/$A" "A 1.0" 2001
    put "$sysdir/$B" "B 1.0" 2001
    for p in two three; do
      mkdir "$pkg/$p"
      cp "$exe" "$pkg/$p/QMXSET.EXE"
      printf '[Install]\r\n2:10\r\n[File]\r\n%s\r\n%s\r\n[Log]\r\nON\r\n' "$A" "$B" >"$pkg/$p/QMX_CHG.DAT"
    done
    put "$pkg/two/$A" "A 2.0" 2002
    put "$pkg/two/$B" "B 2.0" 2002
    put "$pkg/three/$A" "A 3.0" 2003
    cp -p "$pkg/two/$B" "$pkg/three/$B"
    [ "$b_time" = same ] || touch -d "2004-06-01 12:00:00" "$pkg/three/$B"
    one=$(state A B)
    EXE=$(x_session_winpath "$pkg/two/QMXSET.EXE"); quiet_row "$b_time: 2.0 installed" 0 "[0x1] - " /quiet
    two=$(state A)
    EXE=$(x_session_winpath "$pkg/three/QMXSET.EXE")
    quiet_row "$b_time: 3.0 installed" 0 "" /quiet
    quiet_row "$b_time: 3.0 undone" 0 "[0x3] - $undone" "/quiet /undo"
    check "$b_time: 3.0 undone: A 2.0 back" "$two" "$(state A)"
    check "$b_time: 3.0 undone: B 2.0 left" "B 2.0" "$(cat "$sysdir/$B")"
    EXE=$(x_session_winpath "$pkg/two/QMXSET.EXE"); quiet_row "$b_time: 2.0 undone" 0 "[0x1] - $undone" "/quiet /undo"
    check "$b_time: 2.0 undone: both 1.0 back" "$one" "$(state A B)"
  done
  EXE=$main_exe
  ;;

undo_before_restart)
  # Installed while the module is in use (3010), then undone before the
  # restart: nothing of the package's comes at the restart.
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "installed while held" 3010 "[0x4] - " /quiet hold "$(in_use "$A")"
  check "held: the package's copy staged" "shipped A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  quiet_row "undone before the restart" 0 "[0x1] - $undone" "/quiet /undo"
  check "undone: module" "installed A" "$(cat "$sysdir/$A")"
  check "undone: what the restart puts in" "installed A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  ;;

undo_then_reinstall)
  # Installed, undone while the module is in use (3010), installed again
  # before the restart: the restart then leaves the package's copy, and a
  # later /undo still gives the module back.
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "installed" 0 "[0x1] - " /quiet
  quiet_row "undone while held" 3010 "[0x4] - " "/quiet /undo" hold "$(in_use "$A")"
  check "undone while held: the kept copy staged" "installed A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  quiet_row "installed again before the restart" 0 "[0x2] - " /quiet
  check "installed again: module" "shipped A" "$(cat "$sysdir/$A")"
  check "installed again: what the restart puts in" "shipped A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  quiet_row "undone again" 0 "[0x1] - $undone" "/quiet /undo"
  check "undone again: module" "installed A" "$(cat "$sysdir/$A")"
  check "undone again: what the restart puts in" "installed A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  ;;

interrupted_same | interrupted_undo | interrupted_other)
  # All or nothing, killed at the first change of L's name (after A's swap):
  # the next start, whatever it is, first rolls that run back, then does its
  # own work. Started again, the package refuses the protected B and puts
  # back what it changed: the system folder as it was before the first run.
  interrupted_package
  before=$(state A L B)
  watched 1 "$sysdir/$L"
  check "killed: A replaced" "shipped A" "$(cat "$sysdir/$A")"
  rm -f "$log"
  case "$scenario" in
  interrupted_same) quiet_row "started again" 1603 "[0x80] - " /quiet ;;
  interrupted_undo) quiet_row "undone" 0 "[0x2] - $nothing_to_undo" "/quiet /undo" ;;
  interrupted_other)
    mkdir "$pkg/other"
    cp "$exe" "$pkg/other/QMXSET.EXE"
    put "$sysdir/$S" "installed S" 2001
    put "$pkg/other/$S" "shipped S" 2002
    printf '[Install]\r\n2:10\r\n[File]\r\n%s\r\n[Log]\r\nON\r\n' "$S" >"$pkg/other/QMX_CHG.DAT"
    EXE=$(x_session_winpath "$pkg/other/QMXSET.EXE")
    quiet_row "another package" 0 "[0x1] - " /quiet
    check "another package: its own module" "shipped S" "$(cat "$sysdir/$S")"
    EXE=$(x_session_winpath "$pkg/QMXSET.EXE")
    ;;
  esac
  contains "next start: log" "$(log_text)" "RollBack - Finishing an interrupted run of "
  contains "next start: log" "$(log_text)" "UndoModule - Restored "
  check "next start: the system folder" "$before" "$(state A L B)"
  ;;

interrupted_rollback)
  # Killed in its own rollback, as it puts L back (the second change of L's
  # name): started again, it finishes the rollback, then runs and rolls back
  # once more.
  interrupted_package
  before=$(state A L B)
  watched 2 "$sysdir/$L"
  rm -f "$log"
  quiet_row "started again" 1603 "[0x80] - " /quiet
  contains "started again: log" "$(log_text)" "RollBack - Finishing an interrupted run of "
  check "started again: the system folder" "$before" "$(state A L B)"
  ;;

interrupted_package_gone)
  # The package folder goes away after L's swap, before B: the rollback
  # needs nothing of it, and B, gone with it, is a broken package.
  interrupted_package
  before=$(state A L B)
  watched "run:mv '$pkg' '$pkg.gone'" "$sysdir/$L"
  mv "$pkg.gone" "$pkg"
  check "package gone: the system folder" "$before" "$(state A L B)"
  contains "package gone: log" "$(log_text)" "UndoModule - Restored "
  lacks "package gone: log" "$(log_text)" "Cannot restore"
  contains "package gone: log" "$(log_text)" "EngingMessage[0x8] - "
  ;;

undo_changed)
  # Another program replaced the module in between: not ours to touch.
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "installed" 0 "" /quiet
  put "$sysdir/$A" "another program's A" 2003
  quiet_row "undone" 0 "[0x2] - $nothing_to_undo" "/quiet /undo"
  check "changed: module untouched" "another program's A" "$(cat "$sysdir/$A")"
  ;;

rollback)
  # All or nothing: a later module missing from the package puts back the
  # one already replaced.
  newer_shipped A B
  rm -f "$pkg/$B"
  changelist "2:10" "$A $B" ON
  all_or_nothing
  before=$(state A B)
  quiet_row "missing" 1620 "[0x8] - Module installation failed." /quiet
  check "missing: the system folder" "$before" "$(state A B)"
  contains "missing: log" "$(log_text)" "UndoModule - Restored "

  # One module held, so staged; the next replaced; the last fails: the
  # replaced one goes back, and the staged copy takes the held one's own
  # bytes, so that the restart changes nothing.
  rm -f "$log"
  newer_shipped A B L
  unreplaceable "$L"
  changelist "2:10" "$A $B $L" ON
  all_or_nothing
  before=$(state A B L)
  quiet_row "failed" 1603 "[0x80] - Module installation failed." /quiet \
    hold "$(in_use "$A")" hold "$(in_use "$L")"
  check "failed: the system folder" "$before" "$(state A B L)"
  check "failed: the staged copy holds the module's own bytes" "installed A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  replaceable "$L"

  # Without [Rollback], as always: what could be replaced is. (The staged
  # copy's pair is gone first: it would keep the module on the restart path.)
  rm -f "$log" "$sysdir/${A%L}M"
  wine reg delete "$pending_key" /v PendingFileRenameOperations /f >/dev/null 2>&1 </dev/null || true
  newer_shipped A
  rm -f "$pkg/$B"
  changelist "2:10" "$A $B" ON
  quiet_row "without rollback" 1620 "[0x9] - Module installation failed." /quiet
  check "without rollback: replaced" "shipped A" "$(cat "$sysdir/$A")"
  ;;

rollback_protected)
  # All or nothing, and Windows protects the later module: the earlier one
  # goes back, and the run fails as the protected module does.
  protect "$B"
  newer_shipped A B
  changelist "2:10" "$A $B" ON
  all_or_nothing
  before=$(state A B)
  quiet_row "protected" 1603 "[0x80] - Module installation failed." /quiet
  check "protected: the system folder" "$before" "$(state A B)"
  contains "protected: log" "$(log_text)" "UndoModule - Restored "
  ;;

win98_undo)
  # Windows 98 has no hard links: the store keeps a copy, and the undo puts
  # it back over the module.
  wine reg add "$win98_key" /v Version /d win98 /f >/dev/null 2>&1 </dev/null
  newer_shipped A
  changelist "1:4:10" "$A" ON
  before=$(state A)
  quiet_row "installed" 0 "[0x1] - " /quiet
  kept=$(cd "$store" && records | head -n1)
  [ -n "$kept" ] || fail "98: nothing kept"
  check "98: the kept copy is a copy" 1 "$(stat -c %h "$store/$kept" 2>/dev/null)"
  check "98: the kept copy" "installed A" "$(cat "$store/$kept" 2>/dev/null)"
  quiet_row "undone" 0 "[0x1] - $undone" "/quiet /undo"
  check "98: the system folder" "$before" "$(state A)"
  ;;

undo_store_file)
  # A QMX_UNDO that is a plain file is never used: nothing is replaced.
  printf 'not a folder' >"$store"
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "store is a file" 1603 "[0x80] - Module installation failed." /quiet
  check "store is a file: module untouched" "installed A" "$(cat "$sysdir/$A")"
  contains "store is a file: log" "$(log_text)" "CopyTargetFile - Cannot keep "
  contains "store is a file: log" "$(log_text)" ".(267)"
  check "store is a file: the file" "not a folder" "$(cat "$store")"
  ;;

pending_foreign)
  # Another program's restart-time operation on a listed module: a
  # replacement, a delete, a move away; by the path the program sees, the
  # folder that really holds it, or the short name. The module is neither
  # replaced nor staged, the run asks for a restart first (3017), and their
  # entries stay byte for byte. The same operations on a module the package
  # does not list (B) change nothing.
  system='C:\windows\system32'
  for how in replace delete move; do
    no_pending
    rm -f "$log" "$sysdir/${A%L}M" "$sysdir/${L%L}M"
    newer_shipped A B L
    drive short "$system\\$L"
    short_l=$(fact short)
    [ "$short_l" != "$system\\$L" ] || fail "no short name for $L, so this proves nothing"
    changelist "2:10" "$A $L" ON
    case $how in
    replace) theirs=(move 'C:\windows\temp\QE2E.NEW' "$system\\$B") ;;
    delete) theirs=(delete "$system\\$B") ;;
    move) theirs=(move "$system\\$B" "C:\\windows\\temp\\$B") ;;
    esac
    ops "${theirs[@]}" >/dev/null
    before=$(ops dump)
    quiet_row "$how of an unlisted module" 0 "[0x1] - Module installation complete." /quiet
    check "$how, unlisted: listed module replaced" "shipped A" "$(cat "$sysdir/$A")"
    check "$how, unlisted: their entries" "$before" "$(ops dump)"

    rm -f "$log"
    newer_shipped A L
    case $how in
    replace) ops move 'C:\windows\temp\QE2E.NEW' "$real_system\\$A" move 'C:\windows\temp\QE2E.NEW' "$short_l" ;;
    delete) ops delete "$system\\$A" delete "$short_l" ;;
    move) ops move "$system\\$A" "C:\\windows\\temp\\$A" move "$short_l" "C:\\windows\\temp\\$L" ;;
    esac >/dev/null
    before=$(ops dump)
    quiet_row "$how of a listed module" 3017 "[0x40] - $failed_reboot" /quiet
    text=$(log_text)
    contains "$how: log" "$text" "CopyTargetFile - Restart pending for $system\\$A."
    contains "$how: log" "$text" "CopyTargetFile - Restart pending for $system\\$L."
    lacks "$how: log" "$text" "LockDestFile"
    check "$how: module kept" "installed A" "$(cat "$sysdir/$A")"
    check "$how: long-named module kept" "installed L" "$(cat "$sysdir/$L")"
    [ ! -e "$sysdir/${A%L}M" ] && [ ! -e "$sysdir/${L%L}M" ] || fail "$how: a copy was staged"
    check "$how: their entries" "$before" "$(ops dump)"
  done

  # Shown: the failure message with its restart sentence.
  rm -f "$log"
  shown "shown" "$failed_reboot" 0x40
  check "shown: module kept" "installed A" "$(cat "$sysdir/$A")"

  # Up to date: nothing would change, so nothing is asked and nothing fails.
  rm -f "$log"
  put "$sysdir/$A" "installed A" 2003
  put "$sysdir/$L" "installed L" 2003
  quiet_row "up to date, their operation pending" 0 "[0x2] - " /quiet
  lacks "up to date: log" "$(log_text)" "Restart pending"
  ;;

pending_ours)
  # Run 1 finds the module in use and stages the package's copy. Before the
  # restart, run 2 comes with a newer package and the module free: replacing
  # it now would be undone by the older staged copy at the restart, so the
  # newer copy goes to the staged name instead, and the pair stays listed once.
  no_pending
  newer_shipped A
  changelist "2:10" "$A" ON
  quiet_row "run 1, in use" 3010 "[0x4] - " /quiet hold "$(in_use "$A")"
  check "run 1: staged copy" "shipped A" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  pair="\\??\\$real_system\\${A%L}M\\0!\\??\\$real_system\\$A"
  contains "run 1: the pair names the folder that holds it" "$(pending_moves)" "$pair"
  before=$(ops dump)

  second_run_stays_staged "" "$before" ops dump
  lacks "run 2: log" "$(log_text)" "LockDestFile"

  # Run 3 with the older package again: the newer staged copy stays.
  rm -f "$log"
  put "$pkg/$A" "shipped A" 2002
  quiet_row "run 3, older package" 3010 "[0x4] - " /quiet
  check "run 3: the newer staged copy kept" "shipped A, newer" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  check "run 3: the pair listed once" "$before" "$(ops dump)"

  # An all-or-nothing package newer still: its rollback could not give the
  # waiting staged copy back, so it asks for the restart instead of writing.
  rm -f "$log"
  put "$pkg/$A" "shipped A, newest" 2004
  all_or_nothing
  quiet_row "all or nothing, newer than our staged copy" 3017 "[0x40] - " /quiet
  check "all or nothing: the staged copy as it was" "shipped A, newer" "$(cat "$sysdir/${A%L}M" 2>/dev/null)"
  check "all or nothing: module" "installed A" "$(cat "$sysdir/$A")"
  check "all or nothing: the pair listed once" "$before" "$(ops dump)"
  contains "all or nothing: log" "$(log_text)" "CopyTargetFile - Restart pending for "
  changelist "2:10" "$A" ON

  # Someone else's operation on the module beside ours: restart first.
  rm -f "$log"
  ops delete "C:\\windows\\system32\\$A" >/dev/null
  before=$(ops dump)
  quiet_row "ours and theirs" 3017 "[0x40] - " /quiet
  check "ours and theirs: entries" "$before" "$(ops dump)"
  ;;

win98_pending)
  # Windows 98: a [Rename] entry already naming the module, by key or value.
  if [ -f "$wininit" ]; then cp "$wininit" "$pkg/wininit.before"; fi
  wine reg add "$win98_key" /v Version /d win98 /f >/dev/null 2>&1 </dev/null
  system='C:\windows\system32'
  newer_shipped A B
  changelist "1:4:10" "$A" ON
  for entry in "NUL=$system\\$A" "$system\\$A=C:\\WINDOWS\\TEMP\\QE2E.NEW" "C:\\WINDOWS\\TEMP\\$A=$system\\$A"; do
    rm -f "$log"
    printf '[rename]\r\n%s\r\n' "$entry" >"$wininit"
    cp "$wininit" "$pkg/wininit.theirs"
    quiet_row "98, [Rename] $entry" 3017 "[0x40] - $failed_reboot" /quiet
    contains "98, $entry: log" "$(log_text)" "CopyTargetFile - Restart pending for $system\\$A."
    check "98, $entry: module kept" "installed A" "$(cat "$sysdir/$A")"
    [ ! -e "$sysdir/${A%L}M" ] || fail "98, $entry: a copy was staged"
    cmp -s "$pkg/wininit.theirs" "$wininit" || fail "98, $entry: WININIT.INI changed: $(cat "$wininit")"
  done

  # An entry naming only a module the package does not list changes nothing.
  rm -f "$log"
  printf '[Rename]\r\nNUL=%s\\%s\r\n' "$system" "$B" >"$wininit"
  quiet_row "98, [Rename] naming an unlisted module" 0 "[0x1] - " /quiet
  check "98, unlisted: module replaced" "shipped A" "$(cat "$sysdir/$A")"

  # Our own entry from a run before the restart: the module stays on the
  # restart path, with the one entry. Another program's deletes share one
  # key, NUL, which the profile calls that write our line could fold into
  # one: both stay.
  rm -f "$log"
  printf '[Rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLD1.TMP\r\nNUL=C:\\WINDOWS\\TEMP\\OLD2.TMP\r\n' >"$wininit"
  newer_shipped A
  quiet_row "98, run 1, in use" 3010 "[0x4] - " /quiet hold "$(in_use "$A")"
  entries=$(rename_section)
  contains "98, run 1: their first delete stays" "$entries" 'NUL=C:\WINDOWS\TEMP\OLD1.TMP'
  contains "98, run 1: their second delete stays" "$entries" 'NUL=C:\WINDOWS\TEMP\OLD2.TMP'
  check "98, run 1: ours added beside them" 3 "$(echo "$entries" | wc -l)"
  second_run_stays_staged "98, " "$entries" rename_section
  ;;

signed_seal)
  # A QMXSET.EXE signed by scripts/sign.sh installs only from a seal its own
  # signer signed; throwaway certificates A and B are made here. Every
  # refusal installs, stages and keeps nothing, and compares no module.
  keys=$pkg/keys
  mkdir -p "$keys"
  for who in A B; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/$who.key" -out "$keys/$who.pem" -days 2 \
      -subj "/CN=QMX End-to-end Publisher $who" -addext keyUsage=critical,digitalSignature \
      -addext extendedKeyUsage=codeSigning >"$keys/openssl.log" 2>&1 || { cat "$keys/openssl.log"; exit 1; }
  done
  native_check=${QMX_BUILD_DIR:-$here/../../build}/native/src/check/qmxcheck
  [ -x "$native_check" ] || { echo "FAIL: no native qmxcheck at $native_check"; exit 1; }
  # The program as make dist signs it.
  sign_program() {  # certificate
    cp "$exe" "$pkg/QMXSET.EXE"
    QMX_SIGN_CERTS=$keys/$1.pem QMX_SIGN_KEY=$keys/$1.key QMX_SIGN_CAFILE=$keys/$1.pem \
      "$here/../../scripts/sign.sh" "$pkg/QMXSET.EXE" >"$keys/sign.log" 2>&1 || { cat "$keys/sign.log"; exit 1; }
  }
  # A fresh package sealed by the program's own way: qmxcheck --seal
  # --signer CERT (signed attributes), or sha256sum and openssl cms alone
  # without them (openssl CERT).
  signed_package() {  # qmxcheck|openssl, certificate
    rm -f "$log" "$pkg/QMX_CHG.SUM" "$pkg/QMX_CHG.SUM.p7s"
    newer_shipped A B
    changelist "1:4, 2:10" "$A $B" ON
    if [ "$1" = qmxcheck ]; then
      "$native_check" --seal --signer "$keys/$2.pem" --key "$keys/$2.key" "$pkg" >/dev/null ||
        fail "qmxcheck --seal --signer $2 refuses the package"
    else
      (cd "$pkg" && sha256sum QMX_CHG.DAT "$A" "$B" QMXSET.EXE >QMX_CHG.SUM &&
        openssl cms -sign -binary -md sha256 -noattr -outform DER -signer "$keys/$2.pem" -inkey "$keys/$2.key" \
          -in QMX_CHG.SUM -out QMX_CHG.SUM.p7s) || fail "openssl cms refuses to sign the seal"
    fi
    (cd "$pkg" && openssl cms -verify -binary -noverify -inform DER -in QMX_CHG.SUM.p7s -content QMX_CHG.SUM \
      -out /dev/null 2>/dev/null) || fail "$1, $2: openssl cms -verify refuses the seal's signature"
  }
  not_signed='VerifyPackage - QMX_CHG.SUM is not signed by the publisher of QMXSET.EXE.'
  refused() {  # description, the log line, QMXSET.EXE's switches
    local kept
    kept=$(records)
    rm -f "$log"
    quiet_row "$1" 1620 "[0x8] - Module installation failed. Some modules could not be replaced." "$3"
    check "$1: A" "installed A" "$(cat "$sysdir/$A")"
    check "$1: B" "installed B" "$(cat "$sysdir/$B")"
    [ ! -e "$sysdir/${A%L}M" ] && [ ! -e "$sysdir/${B%L}M" ] || fail "$1: a copy was staged"
    check "$1: the store" "$kept" "$(records)"
    check "$1: the seal's log line" "$2" "$(log_text | grep '^VerifyPackage' || true)"
    lacks "$1: log" "$(log_text)" "CompareTimeStamp"
  }
  installed() {  # description, QMXSET.EXE's switches
    quiet_row "$1" 0 "[0x1] - Module installation complete." "${2:-/quiet}"
    check "$1: A replaced" "shipped A" "$(cat "$sysdir/$A")"
    lacks "$1: log" "$(log_text)" "VerifyPackage"
  }

  sign_program A
  for signer in qmxcheck openssl; do
    signed_package $signer A
    installed "program and seal by A, $signer"
  done
  # qmxcheck refuses to sign with another certificate than the program's.
  signed_package openssl B
  refused "seal by B" "$not_signed" /quiet
  signed_package qmxcheck A
  rm "$pkg/QMX_CHG.SUM.p7s"
  refused "no signature" "$not_signed" /quiet
  rm "$pkg/QMX_CHG.SUM"
  refused "no seal" "VerifyPackage - QMX_CHG.SUM is missing." /quiet
  signed_package qmxcheck A
  python3 -c 'import sys; p = sys.argv[1]; d = bytearray(open(p, "rb").read()); d[-1] ^= 1; open(p, "wb").write(bytes(d))' \
    "$pkg/QMX_CHG.SUM.p7s"
  refused "one byte of the signature" "$not_signed" /quiet
  signed_package qmxcheck A
  put "$pkg/$B" "another B" 2002
  (cd "$pkg" && sha256sum QMX_CHG.DAT "$A" "$B" QMXSET.EXE >QMX_CHG.SUM)
  refused "a module changed and the seal written again" "$not_signed" /quiet
  rm -f "$log"
  shown "a module changed, shown" "Module installation failed. Some modules could not be replaced." 0x8
  check "a module changed, shown: A" "installed A" "$(cat "$sysdir/$A")"

  # /undo passes the same gate.
  signed_package qmxcheck A
  installed "installed, to undo"
  cp "$pkg/QMX_CHG.SUM.p7s" "$pkg/by-A.p7s"
  (cd "$pkg" && openssl cms -sign -binary -md sha256 -outform DER -signer "$keys/B.pem" -inkey "$keys/B.key" \
    -in QMX_CHG.SUM -out QMX_CHG.SUM.p7s)
  rm -f "$log"
  kept=$(records)
  quiet_row "undo, seal by B" 1620 "" "/quiet /undo"
  check "undo, seal by B: A kept" "shipped A" "$(cat "$sysdir/$A")"
  check "undo, seal by B: the store" "$kept" "$(records)"
  check "undo, seal by B: log" "$not_signed" "$(log_text | grep '^VerifyPackage' || true)"
  cp "$pkg/by-A.p7s" "$pkg/QMX_CHG.SUM.p7s"
  rm -f "$log"
  quiet_row "undo, seal by A" 0 "[0x1] - $undone" "/quiet /undo"
  check "undo, seal by A: A back" "installed A" "$(cat "$sysdir/$A")"

  # An unsigned program checks the seal as it always did, signed or not.
  cp "$exe" "$pkg/QMXSET.EXE"
  signed_package qmxcheck B
  installed "unsigned program, seal signed by B"

  # Windows 98: no SHA-256 in its CryptoAPI, the same check all the same.
  if [ "$arch" = x86 ]; then
    wine reg add "$win98_key" /v Version /d win98 /f >/dev/null 2>&1 </dev/null
    sign_program A
    signed_package qmxcheck A
    installed "98, program and seal by A"
    signed_package openssl B
    refused "98, seal by B" "$not_signed" /quiet
  fi
  ;;

machine)
  # Modules the installed copies' programs could not load stop the package
  # before anything is touched; this build's own machine installs as ever.
  not_for_this='It was not the environment which this module applies.'
  if [ "$arch" = x86 ]; then other=8664; else other=014c; fi
  C=QE2E${arch^^}C.DLL D=QE2E${arch^^}D.DAT
  cp "$fixtures/V5_1_2600_0.DLL" "$sysdir/$B"
  cp "$fixtures/V5_1_2601.DLL" "$pkg/$B"
  cp "$fixtures/V5_1_2600_0.DLL" "$sysdir/$A"
  of_machine "$other" "$fixtures/V5_1_2601.DLL" "$pkg/$A"
  changelist "1:4:10, 2:10" "$B $A" ON
  before=$(state A B)
  quiet_row "another machine's module" 1633 "[0x8] - $not_for_this" /quiet
  check "another machine's: the system folder" "$before" "$(state A B)"
  check "another machine's: the line" "PrepareInstallation - Not for this machine: C:\\windows\\system32\\$A." \
    "$(log_text | grep 'Not for this machine' || true)"
  lacks "another machine's: B first, not touched" "$(log_text)" "LockDestFile"
  rm -f "$log"
  shown "shown" "$not_for_this" 0x8
  check "shown: the system folder" "$before" "$(state A B)"

  # All or nothing: nothing kept either.
  all_or_nothing
  rm -f "$log"
  quiet_row "all or nothing" 1633 "[0x8] - $not_for_this" /quiet
  check "all or nothing: the system folder" "$before" "$(state A B)"
  check "all or nothing: nothing kept" "" "$(records)"

  # ARM64's, and another machine's older than the installed copy.
  of_machine aa64 "$fixtures/V5_1_2601.DLL" "$pkg/$A"
  changelist "1:4:10, 2:10" "$A" ON
  rm -f "$log"
  quiet_row "an ARM64 module" 1633 "[0x8] - $not_for_this" /quiet
  cp "$fixtures/V5_1_2601.DLL" "$sysdir/$A"
  of_machine "$other" "$fixtures/V5_1_2600_0.DLL" "$pkg/$A"
  rm -f "$log"
  quiet_row "older, another machine's" 1633 "[0x8] - $not_for_this" /quiet
  cmp -s "$fixtures/V5_1_2601.DLL" "$sysdir/$A" || fail "older: the installed module changed"

  if [ "$arch" = x86 ]; then
    wine reg add "$win98_key" /v Version /d win98 /f >/dev/null 2>&1 </dev/null
    rm -f "$log"
    quiet_row "98, another machine's" 1633 "[0x8] - $not_for_this" /quiet
    cmp -s "$fixtures/V5_1_2601.DLL" "$sysdir/$A" || fail "98: the installed module changed"
    wine reg delete "$win98_key" /f >/dev/null 2>&1 </dev/null || true
  fi

  # This machine's module, a data file by its time, and another machine's
  # module the folder does not hold: as before the machines were compared.
  cp "$fixtures/V5_1_2600_0.DLL" "$sysdir/$A"
  cp "$fixtures/V5_1_2601.DLL" "$pkg/$A"
  put "$sysdir/$D" "installed data" 2001
  put "$pkg/$D" "shipped data" 2002
  of_machine "$other" "$fixtures/V5_1_2601.DLL" "$pkg/$C"
  changelist "1:4:10, 2:10" "$A $D $C" ON
  rm -f "$log"
  quiet_row "this machine's" 0 "[0x3] - " /quiet
  cmp -s "$fixtures/V5_1_2601.DLL" "$sysdir/$A" || fail "this machine's: not replaced"
  check "data file: replaced by its time" "shipped data" "$(cat "$sysdir/$D")"
  contains "not held: skipped" "$(log_text)" "Not exist C:\\windows\\system32\\$C."
  lacks "nothing foreign" "$(log_text)" "Not for this machine"
  rm -f "$sysdir/$C" "$sysdir/$D"
  ;;

*)
  echo "unknown scenario $scenario" >&2
  exit 2
  ;;
esac

if [ "$failures" -gt 0 ]; then
  echo "$scenario ($arch): $failures failure(s)"
  printf '%s\n' "--- last driver output:" "$out"
  exit 1
fi
echo "$scenario ($arch): passed"
