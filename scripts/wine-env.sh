# Sourced by the scripts that run Windows programs: a private Wine prefix
# inside the build tree, quiet, without Mono or Gecko.
#
# It also finds out, once per run, whether this host executes 32-bit x86
# code at all. Some kernels run 64-bit user code only: every i386 Linux
# program, Debian's 32-bit Wine loader included, fails with "Exec format
# error", and the `wine` wrapper picks that loader whenever it is installed.
# There Wine runs through scripts/wine64-only/ (the 64-bit loader, a prefix
# without its 32-bit half), and 32-bit Windows programs are not run.
# QMX_64BIT_ONLY=1 takes that path on any host.
_qmx_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${QMX_BUILD_DIR:=$(cd "$_qmx_scripts/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX:-$QMX_BUILD_DIR/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# QMX_HOST_I386 (yes or no) and QMX_HOST_NOTE (one line saying why) are
# exported, so the tests a run starts inherit the answer instead of asking.
if [ -z "${QMX_HOST_I386:-}" ]; then
  _qmx_wine32=/usr/lib/wine/wine
  if [ -n "${QMX_64BIT_ONLY:-}" ] && [ "$QMX_64BIT_ONLY" != 0 ]; then
    QMX_HOST_I386=no
    QMX_HOST_NOTE="QMX_64BIT_ONLY is set: the 32-bit build is compiled and checked, its run-time tests are skipped"
  elif [ ! -x "$_qmx_wine32" ]; then
    QMX_HOST_I386=no
    QMX_HOST_NOTE="the 32-bit Wine loader is not installed: the 32-bit build is compiled and checked, its run-time tests are skipped"
  elif _qmx_out=$("$_qmx_wine32" --version 2>&1 </dev/null); then
    QMX_HOST_I386=yes
    QMX_HOST_NOTE="this host runs 32-bit and 64-bit x86 programs: both builds are tested under Wine"
  else
    QMX_HOST_I386=no
    case "$_qmx_out" in
      *"Exec format error"*)
        QMX_HOST_NOTE="this host cannot run 32-bit x86 programs: the 32-bit build is compiled and checked, its run-time tests are skipped" ;;
      *)
        QMX_HOST_NOTE="the 32-bit Wine loader does not start here (${_qmx_out%%$'\n'*}): the 32-bit build is compiled and checked, its run-time tests are skipped" ;;
    esac
  fi
  export QMX_HOST_I386 QMX_HOST_NOTE
  unset _qmx_wine32 _qmx_out
fi

if [ "$QMX_HOST_I386" = no ]; then
  case ":$PATH:" in
    *":$_qmx_scripts/wine64-only:"*) ;;
    *) export PATH="$_qmx_scripts/wine64-only:$PATH" ;;
  esac
fi

# The architecture a Windows program was built for, read from its PE header:
# x86, x64 or unknown.
qmx_pe_arch() {
  local offset machine
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || { echo unknown; return; }
  machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo x86 ;;
    8664) echo x64 ;;
    *) echo unknown ;;
  esac
}

# Ends the calling test as skipped (ctest's SKIP_RETURN_CODE) when it would
# run a 32-bit program on a host that cannot: qmx_skip_unless_runnable x86|x64.
qmx_skip_unless_runnable() {
  if [ "$1" = x86 ] && [ "$QMX_HOST_I386" = no ]; then
    echo "skipped: $QMX_HOST_NOTE"
    exit 77
  fi
}

# The build the job runs on this host: win32 where 32-bit code runs, win64
# where it does not.
qmx_run_tree() { if [ "$QMX_HOST_I386" = yes ]; then echo win32; else echo win64; fi; }
