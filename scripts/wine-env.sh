# Sourced by the scripts that run Windows programs: a private Wine prefix
# inside the build tree, quiet, without Mono or Gecko.
: "${QMX_BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX:-$QMX_BUILD_DIR/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
