#!/usr/bin/env bash
# Configures and builds every tree: the native pure logic (plain, with
# sanitizers, and its fuzz targets) and the two Windows targets.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QMX_BUILD_DIR:-$top/build}

configure() {  # name, extra cmake arguments...
  local dir=$build/$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$top" -B "$dir" -G Ninja -DQMX_WINEPREFIX="$build/wineprefix" "$@" >"$build/$(basename "$dir").configure.log" 2>&1 ||
      { cat "$build/$(basename "$dir").configure.log"; exit 1; }
  fi
}

mkdir -p "$build"
configure native -DCMAKE_BUILD_TYPE=Debug
configure native-asan -DCMAKE_BUILD_TYPE=Debug -DQMX_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
configure native-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQMX_FUZZ=ON -DQMX_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
configure win32 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-i686-w64-mingw32.cmake"
configure win64 -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64-w64-mingw32.cmake"

for tree in ${QMX_TREES-native native-asan native-fuzz win32 win64}; do
  echo "== building $tree"
  # Progress lines are noise; warnings and errors are not.
  log=$build/$tree.build.log
  status=0
  cmake --build "$build/$tree" >"$log" 2>&1 || status=$?
  grep -vE '^\[[0-9]+/[0-9]+\] ' "$log" | grep -v '^ninja: no work to do' || true
  [ "$status" -eq 0 ] || { echo "build of $tree failed"; exit 1; }
done

# One ctest run over every tree gives one summary line.
cat >"$build/CTestTestfile.cmake" <<CTEST
subdirs(native native-asan native-fuzz win32 win64)
CTEST
