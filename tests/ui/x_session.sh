# Sourced by the tests that open windows under Wine. x_session_start starts a
# private Xvfb and makes the named Windows programs run on a Wine virtual
# desktop of 1024 x 768 on it, where Wine itself manages the windows
# (activation, Z order, minimising); the Windows 10 version is reported to
# them. The session ends, and Xvfb with it, when the sourcing shell exits.
#
#   x_session_start PROGRAM.EXE...   (file names of the programs)
#
# With X_SESSION_SHELL set, the desktop also shows Wine's task bar.
#
# Needs WINEPREFIX (the tests' prefix, created by scripts/wine-prefix.sh).

x_session_dir=""
x_session_xvfb=""

x_session_stop() {
  if [ -n "$x_session_dir" ] && [ -f "$x_session_dir/end.reg" ]; then
    wine reg import "$(x_session_winpath "$x_session_dir/end.reg")" >/dev/null 2>&1 </dev/null || true
  fi
  if [ -n "$x_session_xvfb" ]; then
    kill "$x_session_xvfb" 2>/dev/null || true
    wait "$x_session_xvfb" 2>/dev/null || true
    x_session_xvfb=""
  fi
  [ -n "$x_session_dir" ] && rm -rf "$x_session_dir"
  x_session_dir=""
}

x_session_start() {
  local top
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  # shellcheck source=/dev/null
  source "$top/scripts/wine-env.sh"
  x_session_dir=$(mktemp -d)
  trap x_session_stop EXIT

  # -displayfd lets Xvfb pick a display number no one else uses.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$x_session_dir/display" \
    >"$x_session_dir/xvfb.log" 2>&1 &
  x_session_xvfb=$!
  local waited=0
  until [ -s "$x_session_dir/display" ]; do
    sleep 0.1
    waited=$((waited + 1))
    if [ "$waited" -gt 100 ]; then
      echo "Xvfb did not start:" >&2
      cat "$x_session_dir/xvfb.log" >&2
      return 1
    fi
  done
  export DISPLAY=":$(head -n1 "$x_session_dir/display")"

  # A fresh desktop name each session: the desktop of an earlier session
  # may still be winding down on its vanished display. Wine starts 64-bit
  # programs through start.exe, whose desktop they inherit, so it joins too.
  # Every setting is removed again when the session ends.
  local desktop="qmx${BASHPID}r$RANDOM"
  local key='HKEY_CURRENT_USER\Software\Wine'
  local program
  {
    echo 'REGEDIT4'
    echo
    echo "[$key\\Explorer\\Desktops]"
    echo "\"$desktop\"=\"1024x768\""
    if [ -n "${X_SESSION_SHELL:-}" ]; then
      echo
      echo "[$key\\Explorer\\Desktops\\$desktop]"
      echo '"EnableShell"=dword:00000001'
    fi
    for program in start.exe "$@"; do
      echo
      echo "[$key\\AppDefaults\\$program]"
      [ "$program" = start.exe ] || echo '"Version"="win10"'
      echo
      echo "[$key\\AppDefaults\\$program\\Explorer]"
      echo "\"Desktop\"=\"$desktop\""
    done
  } >"$x_session_dir/session.reg"
  {
    echo 'REGEDIT4'
    echo
    echo "[$key\\Explorer\\Desktops]"
    echo "\"$desktop\"=-"
    echo
    echo "[-$key\\Explorer\\Desktops\\$desktop]"
    for program in start.exe "$@"; do
      echo
      echo "[-$key\\AppDefaults\\$program]"
    done
  } >"$x_session_dir/end.reg"
  wine reg import "$(x_session_winpath "$x_session_dir/session.reg")" >/dev/null 2>&1 </dev/null
}

# The Windows form of a Unix path (Wine maps / to drive Z:).
x_session_winpath() {
  local path=$1
  echo "Z:${path//\//\\}"
}
