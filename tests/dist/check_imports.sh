#!/usr/bin/env bash
# Fails unless the executable imports only DLLs that every Windows has: the
# C++ runtime, libgcc and winpthreads must be linked in, never shipped. Nor
# may it import version.dll: the loader would look for it in the program's
# own folder first, where anyone may have left one, and the program runs as
# an administrator. It loads the system's copy by full path instead.
#   check_imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1 exe=$2
allowed='^(kernel32|user32|gdi32|advapi32|msvcrt|comctl32|shell32|ole32)\.dll$'
dlls=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no imports found in $exe"; exit 1; }
status=0
while read -r dll; do
  if [[ $dll =~ $allowed ]]; then echo "ok   $dll"; else echo "BAD  $dll"; status=1; fi
done <<<"$dlls"
exit "$status"
