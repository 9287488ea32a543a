#!/usr/bin/env bash
# Turns the raw output of bench/run.sh into bench/results.md and the plot
# bench/time_per_file.png.
#   report.sh WORK_DIR OUT_DIR
# WORK_DIR holds files.tsv, list-native.tsv, list-wine.tsv, startup.tsv,
# size-x86.md, size-x64.md, seal.tsv, signed.tsv, hash-native.tsv, hash-wine.tsv, keep.tsv, calls.tsv and,
# when valgrind ran, callgrind.tsv (formats in the benchmark programs' header
# comments).
set -euo pipefail
work=$1
out=$2
md=$out/results.md
png=$out/time_per_file.png

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
memory=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)

{
  echo "# Benchmarks"
  echo
  echo "Written by \`make bench\` (bench/run.sh) on $(date -u '+%Y-%m-%d %H:%M UTC')."
  echo
  echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $memory, $(uname -sr); $(wine --version);"
  echo "$(i686-w64-mingw32-g++-posix --version | head -n1) for Windows, $(g++ --version | head -n1) native."
  echo "Windows programs run under Wine in the build tree's private prefix; the shared machine"
  echo "may be busy with other work, which the medians of alternating runs are there to absorb."
  echo

  echo "## 1. Cost per file"
  echo
  echo "The installer's run (log switch from the change list, authority, [Install] check and [File]"
  echo "walk on fresh readers, one CopyTargetFile per name) against two floors: one reading of the"
  echo "list, then per file the existence test, both FileVersion reads, both opens for times and"
  echo "the copy, as plain Win32 calls. The in-place floor copies onto the installed module, as the"
  echo "installer did before it replaced modules durably; the durable floor takes the same durable"
  echo "steps as the installer (a temporary file beside the module, the copy, the module's DACL, a"
  echo "flush, a hard link to the module in one of sixteen store folders, made through the handle that read"
  echo "its DACL, as the installer keeps one, and one"
  echo "MoveFileExA over the module), so that Off ÷ durable floor compares like with like."
  echo "Modules: half newer than the installed copy, a quarter older, a quarter not installed."
  echo "Rounds alternate the four runs, each in every position equally often, ahead of other work"
  echo "on the machine (nice -10). Times are medians; ratios are the medians of the per-round"
  echo "ratios, which compare runs made moments apart, so that a slow spell of the shared machine"
  echo "(or of Wine) spanning a round cancels out. Measured: the ${QMX_BENCH_BUILD:-x86 build as shipped (MinSizeRel)}."
  echo
  echo "| N | Rounds | Floor µs/file | Durable floor µs/file | Log off µs/file | Off ÷ floor | Off ÷ durable floor | Log on µs/file | On ÷ durable floor | Log bytes/file | Log line µs | Absent-name lookup µs |"
  echo "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
  awk -F'\t' '{ printf "| %d | %d | %.0f | %.0f | %.0f | %.3f | %.3f | %.0f | %.3f | %.0f | %.0f | %.0f |\n",
                 $1, $2, $3 / $1 * 1e6, $11 / $1 * 1e6, $4 / $1 * 1e6, $6, $12, $5 / $1 * 1e6, $13,
                 $8 / $1, $10 * 1e6, $9 * 1e6 }' "$work/files.tsv"
  echo
  awk -F'\t' '
    { n[NR] = $1; off[NR] = $4 / $1; floor_[NR] = $3 / $1; r = $12; if (r > worst) { worst = r; worstN = $1 }
      if ($6 > worstOld) { worstOld = $6; worstOldN = $1 } }
    END {
      if (worst <= 1.15) printf "Goal ratio ≤ 1.15 against the durable floor with the log off: **met** (highest %.3f, at N = %d).\n", worst, worstN
      else printf "Goal ratio ≤ 1.15 against the durable floor with the log off: **missed** by %.1f%% (%.3f at N = %d).\n", (worst / 1.15 - 1) * 100, worst, worstN
      printf "Against the in-place floor, which durability costs the installer its temporary file, flush and swap, the highest ratio is %.3f (at N = %d).\n", worstOld, worstOldN
      base = 0
      for (i = 1; i <= NR; i++) if (n[i] >= 100) { base = i; break }
      if (base && NR > base)
        printf "\nLinearity: the time per file at N = %d is %.2f× that at N = %d, the floor'"'"'s %.2f×. What the floor gains per file comes from the platform, not from QMXSET: under Wine, learning that a name is absent from a folder scans the folder for a case variant (last column, one such lookup per not-installed file), which Windows does not.\n",
               n[NR], off[NR] / off[base], n[base], floor_[NR] / floor_[base]
    }' "$work/files.tsv"
  echo
  echo "With the log on, every line opens the log, checks that it is a plain file with one link,"
  echo "appends and closes it (\"Log line µs\"); a copied file writes five lines, a kept one four,"
  echo "a skipped one two, and each run a few more. The extra time is those lines."
  echo
  echo "![Time per file against N](time_per_file.png)"
  echo

  echo "## 2. Change-list reading"
  echo
  echo "The whole preparation: IsLogOn on a fresh reader, then CheckInstallVersion and"
  echo "FirstFileEntry/NextEntry to the end into the file list on another, as the program does"
  echo "([Install] first, [Log] last, so both full scans happen). Entries are lower-case names with"
  echo "blanks around them. Heap peak counts every byte held through operator new during the first"
  echo "run; \"reader alone\" is the same walk without keeping the names. Native: RelWithDebInfo,"
  echo "x86-64; Wine: the ${QMX_BENCH_BUILD:-x86 build as shipped (MinSizeRel)}."
  for side in native wine; do
    echo
    if [ "$side" = native ]; then echo "Native:"; else echo "Under Wine:"; fi
    echo
    echo "| Change list | File bytes | Median ms | ns/byte | Runs | Heap peak | Peak ÷ file | Reader alone ÷ file | Process peak growth |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
    awk -F'\t' '{
      what = $1 == "entries" ? sprintf("%d entries", $2) : sprintf("one line of %d bytes", $2)
      printf "| %s | %d | %.3f | %.2f | %d | %d | %.2f | %.2f | %d |\n",
             what, $3, $5 * 1000, $5 / $3 * 1e9, $6, $7, $7 / $3, $8 / $3, $9 }' "$work/list-$side.tsv"
    echo
    label=$([ "$side" = native ] && echo Native || echo "Under Wine")
    awk -F'\t' -v side="$label" -v constant=65536 '
      $1 == "entries" { k++; n[k] = $2; b[k] = $3; t[k] = $5 }
      { over = $7 / ($3 * 3 + constant); if (over > worst) { worst = over; who = $1 == "entries" ? $2 " entries" : "the long line" } }
      END {
        printf "%s: time per byte at %d entries is %.2f× that at %d entries (linear would be 1). ", side, n[k], (t[k] / b[k]) / (t[2] / b[2]), n[2]
        if (worst <= 1) printf "Goal heap peak ≤ 3 × file + 64 KiB: **met** (closest: %s, %.0f%% of the bound).\n", who, worst * 100
        else printf "Goal heap peak ≤ 3 × file + 64 KiB: **missed** by %.0f%% (%s).\n", (worst - 1) * 100, who
      }' "$work/list-$side.tsv"
  done
  if [ -s "$work/callgrind.tsv" ]; then
    echo
    echo "Where the native preparation spends its instructions (callgrind, self cost, every run of"
    echo "the preparation over the 100,000-entry list):"
    echo
    echo "| Instructions | Share | Function |"
    echo "|---:|---:|---|"
    awk -F'\t' '{ gsub(/\|/, "\\|", $3); printf "| %s | %s | `%s` |\n", $1, $2, $3 }' "$work/callgrind.tsv"
  fi
  echo

  echo "## 3. Start-up to message"
  echo
  echo "From just before CreateProcess until a visible top-level window of the process captioned"
  echo "\"VAREL\" with control 1000 exists; then OK is pressed and the program must end. minimal is our"
  echo "least Win32 program that shows one such dialog; empty is QMXSET.EXE alone (no change list);"
  echo "one-file is QMXSET.EXE replacing one older module in the system folder. Runs alternate,"
  echo "on a Wine desktop of their own."
  echo
  echo "| Program | Runs | Median ms | Least ms | Ratio to minimal | Message shown |"
  echo "|---|---:|---:|---:|---:|---|"
  awk -F'\t' '{ printf "| %s | %d | %.1f | %.1f | %.3f | %s |\n", $1, $2, $3, $4, $5, $6 }' "$work/startup.tsv"
  echo
  awk -F'\t' 'NR > 1 { if ($5 > worst) { worst = $5; who = $1 } }
    END {
      if (worst <= 1.5) printf "Goal within 1.5× of the minimal program: **met** (highest %.3f, %s).\n", worst, who
      else printf "Goal within 1.5× of the minimal program: **missed** by %.0f%% (%.3f, %s).\n", (worst / 1.5 - 1) * 100, worst, who
    }' "$work/startup.tsv"
  echo

  echo "## 4. Size"
  echo
  echo "Section sizes as objdump -h reports them (PE names are cut to 8 characters)."
  echo
  cat "$work/size-x86.md" "$work/size-x64.md"
  x86=$(sed -n '1s/.*: \([0-9]*\) bytes.*/\1/p' "$work/size-x86.md")
  goal=$((120 * 1024))
  if [ "$x86" -le "$goal" ]; then
    echo "Goal x86 QMXSET.EXE at most 120 KB: **met** ($x86 bytes)."
  else
    echo "Goal x86 QMXSET.EXE at most 120 KB: **missed** by $((x86 - goal)) bytes ($x86 bytes)."
  fi
  if grep -q 'Outside the operating system: none\.' "$work/size-x86.md"; then
    echo "No DLL outside the operating system's own: **met**."
  else
    echo "No DLL outside the operating system's own: **missed**."
  fi
  echo

  echo "## 5. A sealed package"
  echo
  echo "The installer's run with the log off on the package of section 1, without a seal and with"
  echo "a QMX_CHG.SUM that covers the change list and every module, so that the run first hashes"
  echo "them all and then goes on as before. The change list sits in the package folder, as in a"
  echo "real package. Rounds alternate the two runs; the ratio is the median of the per-round"
  echo "ratios. Measured: the ${QMX_BENCH_BUILD:-x86 build as shipped (MinSizeRel)}."
  echo
  echo "| N | Rounds | Unsealed µs/file | Sealed µs/file | Sealed ÷ unsealed | Seal check alone µs/file | Bytes sealed |"
  echo "|---:|---:|---:|---:|---:|---:|---:|"
  awk -F'\t' '{ printf "| %d | %d | %.0f | %.0f | %.3f | %.0f | %d |\n", $1, $2, $3 / $1 * 1e6, $4 / $1 * 1e6, $5, $7 / $1 * 1e6, $6 }' \
    "$work/seal.tsv"
  echo
  awk -F'\t' '$1 == 1000 { found = 1
      if ($5 <= 1.10) printf "Goal a seal costs at most 10%% over the unsealed run at N = 1000: **met** (%.3f, %+.1f%%).\n", $5, ($5 - 1) * 100
      else printf "Goal a seal costs at most 10%% over the unsealed run at N = 1000: **missed** (%.3f, %+.1f%%).\n", $5, ($5 - 1) * 100 }
    END { if (!found) print "Goal a seal costs at most 10% over the unsealed run at N = 1000: not measured." }' "$work/seal.tsv"
  echo
  echo "The same run on a package of 100 modules with its seal signed (\`QMX_CHG.SUM.p7s\`) by the signer"
  echo "of a signed \`QMXSET.EXE\`, against the sealed package alone: the signed run also reads the"
  echo "signed program's file and finds its signer, as the program does with its own, then reads the"
  echo "signature and checks it (our own RSA, 2048 bits). Rounds alternate the two runs."
  echo
  echo "The last column times those added steps alone, once a round, on the package the runs use."
  echo
  echo "| N | Rounds | Sealed µs/file | Signed µs/file | Signed ÷ sealed | The signature alone, ms |"
  echo "|---:|---:|---:|---:|---:|---:|"
  awk -F'\t' '{ printf "| %d | %d | %.0f | %.0f | %.3f | %.2f |\n", $1, $2, $3 / $1 * 1e6, $4 / $1 * 1e6, $5, $6 * 1000 }' \
    "$work/signed.tsv"
  echo
  awk -F'\t' '$1 == 100 { found = 1
      verdict = $5 <= 1.02 ? "met" : "missed"
      printf "Goal a signed seal costs at most 2%% over the sealed run at N = 100: **%s** (%.3f, %+.1f%%; the signature alone takes %.2f ms, %.2f%% of the sealed run).\n", verdict, $5, ($5 - 1) * 100, $6 * 1000, $6 / $3 * 100 }
    END { if (!found) print "Goal a signed seal costs at most 2% over the sealed run at N = 100: not measured." }' "$work/signed.tsv"
  echo
  echo "Hashing speed (bench_hash): SHA-256 over bytes in memory, and HashFile over a file just"
  echo "written (so from the system's cache) in blocks of 64 KiB, in MB (10^6 bytes) a second,"
  echo "medians of five runs. Native: RelWithDebInfo, x86-64; Wine: the ${QMX_BENCH_BUILD:-x86 build as shipped (MinSizeRel)}."
  echo
  echo "The hash uses the processor's SHA extensions where the processor has them and the system"
  echo "keeps its vector registers (every NT from 2000 on), and portable code elsewhere; the last"
  echo "column says which ran."
  echo
  echo "| Where | MB hashed | In memory MB/s | From a file MB/s | Blocks hashed by |"
  echo "|---|---:|---:|---:|---|"
  awk -F'\t' '{ printf "| Native | %d | %.1f | %.1f | %s |\n", $1, $2, $3, $4 }' "$work/hash-native.tsv"
  awk -F'\t' '{ printf "| Under Wine | %d | %.1f | %.1f | %s |\n", $1, $2, $3, $4 }' "$work/hash-wine.tsv"
  echo
  awk -F'\t' 'FNR == NR { speed = $3; next }
    $1 == 1000 { printf "At N = 1000 the seal covers %.1f MB: hashing it at the speed under Wine from a file takes %.2f s; the seal check alone (VerifyPackage) takes %.2f s, and the sealed run took %.2f s more than the unsealed one.\n",
                 $6 / 1e6, $6 / 1e6 / speed, $7, $4 - $3 }' "$work/hash-wine.tsv" "$work/seal.tsv"
  echo
  echo "## 6. Keeping what a run replaces"
  echo
  echo "Before a module is replaced the installer keeps its installed copy in the store (\`QMX_UNDO\`),"
  echo "so that \`/undo\` can put it back. Each round times the installer's run with the log off on the"
  echo "package of section 1, then the keeping steps alone for the modules that run replaces, on a"
  echo "fresh system folder and an empty store each time (its sixteen folders made as it fills): the digest of the new copy (which the run"
  echo "reads back through the handle that flushed it), the digest of the installed copy (read through"
  echo "the handle that reads its security), the hard link made through that same handle (or, with"
  echo "\`CreateHardLinkA\` marked absent as on 95/98/Me or a FAT volume, a flushed copy with the"
  echo "module's times, attributes and DACL) and the store's listing. The share is keeping's time over"
  echo "the run's time without it, the median of the per-round ratios. Measured: the ${QMX_BENCH_BUILD:-x86 build as shipped (MinSizeRel)}."
  echo
  echo "| N | Rounds | Replaced | Run µs/replaced module | Keep, hard link µs/replaced | Share | Keep, copy µs/replaced | Share |"
  echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
  awk -F'\t' '{ printf "| %d | %d | %d | %.0f | %.0f | %.1f%% | %.0f | %.1f%% |\n", $1, $2, $3, ($4 - $5) / $3 * 1e6, $5 / $3 * 1e6, $7 * 100, $6 / $3 * 1e6, $8 * 100 }' \
    "$work/keep.tsv"
  echo
  awk -F'\t' '$1 == 1000 { found = 1
      if ($7 <= 0.05) printf "Goal keeping costs at most 5%% per replaced module at N = 1000 with hard links: **met** (%.1f%%); with copies it costs %.1f%%.\n", $7 * 100, $8 * 100
      else printf "Goal keeping costs at most 5%% per replaced module at N = 1000 with hard links: **missed** (%.1f%%); with copies it costs %.1f%%.\n", $7 * 100, $8 * 100 }
    END { if (!found) print "Goal keeping costs at most 5% per replaced module at N = 1000 with hard links: not measured." }' "$work/keep.tsv"
  echo

  echo "## 7. Where a one-module run goes"
  echo
  echo "The package of section 1 at N = 1 (one module, replaced): each round runs the installer with the"
  echo "log off and the durable floor, in turn first, on a fresh system folder and store, with every"
  echo "call either makes through the OS call table timed (the floor's calls go through it too). Per"
  echo "call: how many a run makes and the median of their time per run; "extra" is the installer's"
  echo "time less the floor's. Calls that differ by less than 20 µs are left out of the table but"
  echo "counted in its sums. What the extra calls are for: \`LoadLibraryExA\` and \`FreeLibrary\`,"
  echo "\`sfc.dll\` for Windows' protection of the module; the registry, the restart-time operations"
  echo "that could be waiting for it; the token and the second \`GetSecurityInfo\`, the store's trust;"
  echo "\`FindNextFileA\`, the store's one listing; \`NtQueryInformationFile\`, what the store and the"
  echo "installed module are, read through their handles; \`WriteFile\`, SHA256SUMS; \`CreateFileA\`,"
  echo "\`ReadFile\` and \`CloseHandle\`, the store's trust, the seal's probe, the machine gate's two"
  echo "headers (whose handles then serve the comparison of times), the lock probe, SHA256SUMS, the"
  echo "installed module's digest and the copy's, read back. Measured: the ${QMX_BENCH_BUILD:-x86 build as shipped (MinSizeRel)}."
  echo
  echo "| Call | Installer calls | Installer µs | Floor calls | Floor µs | Extra µs |"
  echo "|---|---:|---:|---:|---:|---:|"
  awk -F'\t' '$3 != "run" { printf "%s\t%d\t%.0f\t%d\t%.0f\t%.0f\n", $2, $3, $4 * 1e6, $5, $6 * 1e6, ($4 - $6) * 1e6 }' \
    "$work/calls.tsv" | sort -t$'\t' -k6,6gr |
    awk -F'\t' '$6 >= 20 || $6 <= -20 { printf "| `%s` | %d | %d | %d | %d | %d |\n", $1, $2, $3, $4, $5, $6 }'
  echo
  awk -F'\t' '$3 == "run" { run = $4; floor_ = $6; next }
    { calls += $4; floorCalls += $6 }
    END { printf "Run %.2f ms, floor %.2f ms (ratio of the medians %.3f): the calls of the installer take %.2f ms more than the floor'"'"'s, and the rest, %.2f ms, is our own code between them and what the calls do not time.\n",
                 run * 1e3, floor_ * 1e3, run / floor_, (calls - floorCalls) * 1e3, (run - floor_ - calls + floorCalls) * 1e3 }' "$work/calls.tsv"
} >"$md"

awk -F'\t' '{ printf "%d %.3f %.3f %.3f %.3f\n", $1, $3 / $1 * 1e6, $4 / $1 * 1e6, $5 / $1 * 1e6, $11 / $1 * 1e6 }' \
  "$work/files.tsv" >"$work/plot.dat"
gnuplot <<PLOT
set terminal pngcairo size 800,500 font "sans,10"
set output "$png"
set title "Cost per file under Wine (${QMX_BENCH_ARCH:-x86}, medians)"
set xlabel "Files in the package (N)"
set ylabel "Time per file (µs)"
set logscale x
set xrange [0.7:8000]
set yrange [0:*]
set key bottom right
set grid
plot "$work/plot.dat" using 1:2 with linespoints title "floor, in place", \
     "" using 1:5 with linespoints title "floor, durable", \
     "" using 1:3 with linespoints title "QMXSET, log off", \
     "" using 1:4 with linespoints title "QMXSET, log on"
PLOT
