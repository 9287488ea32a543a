#!/usr/bin/env bash
# Size of Windows executables as markdown: file bytes, each section's size
# as objdump -h gives it, and the DLLs each one imports, marking any that the
# operating system does not ship.
#   size_report.sh OBJDUMP EXE...
set -euo pipefail
objdump=$1; shift

# DLLs that every supported Windows has.
os_dlls="kernel32.dll user32.dll gdi32.dll advapi32.dll version.dll msvcrt.dll shell32.dll
comctl32.dll comdlg32.dll ole32.dll oleaut32.dll ntdll.dll shlwapi.dll psapi.dll ws2_32.dll"

for exe in "$@"; do
  bytes=$(stat -c %s "$exe")
  format=$("$objdump" -f "$exe" | sed -n 's/.*file format //p')
  echo "**$(basename "$exe")** ($format): $bytes bytes ($(( (bytes + 1023) / 1024 )) KB)"
  echo
  echo "| Section | Bytes |"
  echo "|---|---:|"
  "$objdump" -h "$exe" | while read -r idx name size _; do
    if [[ $idx =~ ^[0-9]+$ ]]; then printf '| %s | %d |\n' "$name" "$((16#$size))"; fi
  done
  echo
  imports=""
  foreign=""
  for dll in $("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    imports="$imports $dll"
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    if ! echo "$os_dlls" | tr ' ' '\n' | grep -qx "$lower" && [[ $lower != api-ms-win-* ]]; then
      foreign="$foreign $dll"
    fi
  done
  echo "Imports:${imports:- none}. Outside the operating system:${foreign:- none}."
  echo
done
