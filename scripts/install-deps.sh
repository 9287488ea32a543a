#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine.
# Idempotent and quiet: does nothing when every tool is already present.
set -euo pipefail

need_pkgs=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_ok() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

want() { pkg_ok "$1" || need_pkgs+=("$1"); }

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  APT_UPDATE=1
fi

for p in cmake ninja-build make g++ clang g++-mingw-w64-i686 g++-mingw-w64-x86-64 \
         binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
         wine wine64 wine32:i386 xvfb x11-utils locales fonts-ipafont-gothic imagemagick \
         libclang-rt-14-dev zip python3 gnuplot-nox valgrind \
         osslsigncode openssl libssl-dev python3-pefile; do
  want "$p"
done

if [ ${#need_pkgs[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  stamp=/var/lib/apt/periodic/qmx-updated
  if [ -n "${APT_UPDATE:-}" ] || [ ! -e "$stamp" ]; then
    # A mirror caught mid-sync fails one index ("File has unexpected size")
    # while the rest are fine: try again, then go on with what did download,
    # and let the install itself say if a package is really missing.
    for try in 1 2 3; do
      $SUDO apt-get update -qq >/dev/null 2>&1 && break
      [ "$try" = 3 ] && echo "apt-get update failed three times; installing from the indexes it has" >&2
      sleep 5
    done
    $SUDO mkdir -p "$(dirname "$stamp")" && $SUDO touch "$stamp"
  fi
  echo "installing: ${need_pkgs[*]}"
  if ! $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null; then
    # The 32-bit half must match the 64-bit libraries' versions exactly; when
    # the i386 index is behind, go on without it: scripts/wine-env.sh then
    # compiles and checks the 32-bit build and skips its runs, as on a host
    # that runs no 32-bit code.
    rest=()
    for p in "${need_pkgs[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ ${#rest[@]} -lt ${#need_pkgs[@]} ] || exit 1
    echo "wine32:i386 cannot be installed now; the 32-bit build's runs will be skipped" >&2
    $SUDO apt-get install -y -qq --no-install-recommends "${rest[@]}" >/dev/null
  fi
fi

# The Japanese tests need the ja_JP.UTF-8 locale generated.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
