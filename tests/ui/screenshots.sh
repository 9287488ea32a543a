#!/usr/bin/env bash
# Pictures of the real program for the documentation, taken on a private X
# display: the message dialog in English and in Japanese, the About box, and
# the whole desktop with the installer minimised behind its message.
#
#   screenshots.sh QMXSET.EXE qmx_driver.exe OUTDIR
#
# The program and the driver are of one architecture, x86 as shipped or x64
# where the host runs no 32-bit code; a module with a name no one else uses is
# put in the system directory for the run and removed again.
set -euo pipefail
exe=$1 driver=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/wine-env.sh"
arch=$(qmx_pe_arch "$exe")
qmx_skip_unless_runnable "$arch"
source "$here/x_session.sh"
# With the task bar, so that the minimised installer shows as its button.
X_SESSION_SHELL=1 x_session_start QMXSET.EXE "$(basename "$driver")"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# What a 32-bit program calls C:\windows\system32 is syswow64 in the prefix.
if [ "$arch" = x86 ]; then sysdir=$WINEPREFIX/drive_c/windows/syswow64; else sysdir=$WINEPREFIX/drive_c/windows/system32; fi
pkg=$(mktemp -d)
shots=$(mktemp -d)
cleanup() { rm -f "$sysdir/QSHOT.DLL" "$WINEPREFIX/drive_c/QMX_CHG.LOG"; rm -rf "$pkg" "$shots"; x_session_stop; }
trap cleanup EXIT

cp "$exe" "$pkg/QMXSET.EXE"
printf '[Install]\r\n2:10\r\n[File]\r\nQSHOT.DLL\r\n' >"$pkg/QMX_CHG.DAT"
printf 'new' >"$pkg/QSHOT.DLL" && touch -d '2024-06-01 12:00' "$pkg/QSHOT.DLL"

# shoot LANG NAME... : one run; the message (and, for English, the About box
# and the desktop) saved as BMP under $shots.
shoot() {
  local lang=$1 suffix=$2 extra=()
  printf 'old' >"$sysdir/QSHOT.DLL" && touch -d '2020-01-01 12:00' "$sysdir/QSHOT.DLL"
  if [ "$suffix" = en ]; then
    extra=(shot desktop "$(x_session_winpath "$shots/desktop.bmp")"
           find inst VAREL none syscommand inst 0x10 find about "About QMX_SET" any sleep 700
           shot about "$(x_session_winpath "$shots/about.bmp")" press about 1 gone about)
  fi
  LANG=$lang LC_ALL=$lang wine "$driver" start "$(x_session_winpath "$pkg/QMXSET.EXE")" \
    find msg VAREL 1000 sleep 700 shot msg "$(x_session_winpath "$shots/message-$suffix.bmp")" \
    "${extra[@]}" press msg 1 wait-exit </dev/null 2>/dev/null | tr -d '\r' | grep -q 'driver.done=1'
}
shoot en_US.UTF-8 en
shoot ja_JP.UTF-8 ja

for f in message-en message-ja about desktop; do
  convert "$shots/$f.bmp" "$out/$f.png"
done
# The task-bar side of the desktop, where the minimised installer has its button.
convert "$shots/desktop.bmp" -gravity SouthWest -crop 360x60+0+0 +repage "$out/minimised.png"
ls "$out"/*.png
