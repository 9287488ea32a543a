#!/usr/bin/env bash
# Fails unless the executable can start on the oldest Windows of its build.
#   check_imports.sh OBJDUMP EXE TABLE OLDEST_NT OLDEST_9X
# OLDEST_NT is a version such as 4.0; OLDEST_9X is 95, 98, Me, or - when the
# build does not run on that family.
#
# The loader refuses a program that imports anything the system's DLLs do
# not export, and Wine exports everything whatever version it reports, so
# only the import table itself can show this. Every import must be a row of
# TABLE (tests/dist/imports.tsv) that the oldest targets export. That also
# keeps out any DLL that Windows does not ship (the C++ runtime, libgcc and
# winpthreads must be linked in), and version.dll: the loader would look for
# it in the program's own folder first, where anyone may have left one.
#
# The loaders also read the subsystem and OS versions in the PE header and
# refuse an image that asks for a newer system than theirs.
set -euo pipefail
objdump=$1 exe=$2 table=$3 oldest_nt=$4 oldest_9x=$5

"$objdump" -p "$exe" | awk -F'\t' -v table="$table" -v nt="$oldest_nt" -v nine="$oldest_9x" '
  function family(v) { return v == "95" ? 1 : v == "98" ? 2 : v == "Me" ? 3 : 9 }
  function bad(what) { print "BAD  " what; failed = 1 }
  BEGIN {
    while ((getline line < table) > 0) {
      if (line ~ /^#/ || line == "") continue
      split(line, f, "\t")
      key = tolower(f[1]) " " f[2]
      row_nt[key] = f[3]; row_9x[key] = f[4]
    }
  }
  /^Major(Subsystem|OSystem)Version/ { major[$1 ~ /Subsystem/ ? "subsystem" : "os"] = $2 }
  /^Minor(Subsystem|OSystem)Version/ { minor[$1 ~ /Subsystem/ ? "subsystem" : "os"] = $2 }
  /DLL Name: / { sub(/.*DLL Name: /, ""); dll = tolower($0); next }
  dll != "" && /^\t[0-9a-f]+\t/ {
    split($3, w, " "); name = w[2]
    # Imports by ordinal have no name; nothing of ours imports that way.
    if (name == "") { bad(dll " imported by ordinal"); next }
    key = dll " " name; ++count
    if (!(key in row_nt)) bad(dll " " name ": not in the table")
    else if (row_nt[key] + 0 > nt + 0) bad(dll " " name ": needs NT " row_nt[key] ", oldest is " nt)
    else if (nine != "-" && family(row_9x[key]) > family(nine))
      bad(dll " " name ": needs " (row_9x[key] == "-" ? "NT" : row_9x[key]) ", oldest is " nine)
  }
  END {
    if (!count) bad("no imports found")
    for (field in major) {
      version = major[field] "." minor[field]
      if (version + 0 > nt + 0) bad(field " version " version " is newer than " nt)
      else print "ok   " field " version " version
    }
    if (length(major) != 2) bad("no subsystem or OS version found")
    if (!failed) print "ok   " count " imports, all exported by NT " nt (nine == "-" ? "" : " and " nine)
    exit failed
  }'
