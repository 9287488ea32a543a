#!/usr/bin/env bash
# qmxcheck as a build pipeline meets it: the help switches, --seal, a Japanese
# package's --json read by a strict JSON parser, and change lists saved in
# encodings the installer cannot read. For the build machine's program, and
# for QMXCHECK.EXE under Wine in a Japanese locale (code page 932).
#
#   qmxcheck_cli.sh qmxcheck native
#   qmxcheck_cli.sh QMXCHECK.EXE x86|x64 FIXTURES
set -euo pipefail
check=$1 mode=$2 fixtures=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ "$mode" = native ]; then
  run() { "$check" "$@" 2>/dev/null; }
  folder() { echo "$1"; }
else
  source "$here/../../scripts/wine-env.sh"
  qmx_skip_unless_runnable "$mode"
  export LANG=ja_JP.UTF-8
  run() { wine "$check" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
  folder() { echo "Z:${1//\//\\}"; }
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# A folder with a Japanese name: the report's "package" is a text of this
# machine, not of the package.
pkg=$root/パッケージ
mkdir -p "$pkg" "$root/system"

for switch in --help -h '/?'; do
  status=0
  out=$(run "$switch") || status=$?
  [ "$status" -eq 0 ] || fail "$switch exits $status"
  case "$out" in "usage: qmxcheck "*) ;; *) fail "$switch prints no usage on stdout: $out";; esac
  case "$out" in *"qmxcheck --seal [--signer CERT.pem"*) ;; *) fail "$switch does not name --seal: $out";; esac
done

# --seal writes the seal it prints, and sha256sum accepts it.
sealed=$root/sealed
mkdir "$sealed"
printf '[Install]\r\n2:10\r\n[File]\r\nA.DLL\r\n' >"$sealed/QMX_CHG.DAT"
printf 'MZ' >"$sealed/A.DLL"
status=0
out=$(run --seal "$(folder "$sealed")") || status=$?
[ "$status" -eq 0 ] || fail "--seal exits $status"
[ -n "$out" ] && [ "$out" = "$(cat "$sealed/QMX_CHG.SUM")" ] || fail "--seal prints $out, not what it wrote"
(cd "$sealed" && sha256sum --quiet -c QMX_CHG.SUM) || fail "--seal writes a seal sha256sum refuses"
# A signer is for --seal alone; a key or password file needs one. Signing
# itself is tested with throwaway certificates by the signed_seal scenario.
for args in "--signer A.pem" "--seal --key K.pem" "--seal --password-file P"; do
  status=0
  # shellcheck disable=SC2086
  run $args "$(folder "$sealed")" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 3 ] || fail "$args exits $status, not 3"
done

# A Japanese package: a module named 表示 (its first character's second byte
# is a backslash) and a name with a byte that is no Shift-JIS text.
tag=${mode^^}
sjis_name=$'\x95\x5c\x8e\xa6'$tag.DLL
name=表示$tag.DLL
printf '[Install]\r\n2:10\r\n[File]\r\n%s\r\nBAD\x80.DLL\r\n' "$sjis_name" >"$pkg/QMX_CHG.DAT"
if [ "$mode" = native ]; then
  # A copy from Windows names the file in UTF-8; the check converts the
  # change list's Shift-JIS name to find it.
  printf 'MZ' >"$pkg/$name"
  version=
else
  # Wine shows this Unix name to Windows as 表示; the fixture's FileVersion
  # "6.0.1" becomes "表.0.1", which a Japanese system reads in code page 932.
  python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
old = "6.0.1".encode("utf-16-le")
assert old in data
open(sys.argv[2], "wb").write(data.replace(old, "\u8868.0.1".encode("utf-16-le")))
' "$fixtures/VJAPANESE.DLL" "$pkg/$name"
  version=表.0.1
fi
run --json --against "$(folder "$root/system")" --windows 10 "$(folder "$pkg")" >"$root/report.json" || true
python3 - "$root/report.json" "$name" "$version" <<'PY' || fail "Japanese package: $(cat "$root/report.json")"
import json, sys
report = json.loads(open(sys.argv[1], "rb").read().decode("utf-8"))  # strict UTF-8
name, version = sys.argv[2], sys.argv[3]
assert report["package"].endswith("パッケージ"), report["package"]
files = {f["name"]: f for f in report["files"]}
assert report["codePage"] == 932, report["codePage"]
assert name in files, list(files)
assert files[name]["present"], files[name]
assert "BAD\u0080.DLL" in files, list(files)
if version:
    assert files[name]["fileVersion"] == version, files[name]
assert any(f["where"] == "[File] " + name for f in report["findings"]), report["findings"]
reasons = [m["reason"] for m in report["whatIf"]["modules"]]
assert "the system folder has no " + name in reasons, reasons
print("Japanese package: valid UTF-8 JSON, names and versions converted")
PY

# The same package for a Western Windows: there 0x5C is a backslash, and
# the installer refuses the name. QMXCHECK.EXE reads names in its own
# system's code page only, and says so.
status=0
run --json --codepage 1252 --against "$(folder "$root/system")" --windows 10 "$(folder "$pkg")" \
  >"$root/report.json" || status=$?
if [ "$mode" = native ]; then
  python3 - "$root/report.json" <<'PY' || fail "Western target: $(cat "$root/report.json")"
import json, sys
report = json.loads(open(sys.argv[1], "rb").read().decode("utf-8"))
assert report["codePage"] == 1252, report["codePage"]
decisions = [m["decision"] for m in report["whatIf"]["modules"]]
assert decisions[0].startswith("refused"), decisions
print("Western target: the same name refused")
PY
else
  [ "$status" -eq 3 ] || fail "QMXCHECK.EXE --codepage 1252 on a Japanese system: exit status $status"
fi
status=0
run --codepage 65001 "$(folder "$pkg")" >/dev/null || status=$?
[ "$status" -eq 3 ] || fail "--codepage 65001: exit status $status"

# Change lists saved as an editor's "Unicode" choices.
ascii_list=$'// sample\r\n[Install]\r\n2:10\r\n[File]\r\nA.DLL\r\n'
for row in "utf8bom:UTF-8 with a byte-order mark" "utf16le:UTF-16 little-endian" \
           "utf16be:UTF-16 big-endian" "utf16:UTF-16"; do
  kind=${row%%:*} encoding=${row#*:}
  case "$kind" in
    utf8bom) { printf '\xef\xbb\xbf'; printf '%s' "$ascii_list"; } ;;
    utf16le) { printf '\xff\xfe'; printf '%s' "$ascii_list" | iconv -f UTF-8 -t UTF-16LE; } ;;
    utf16be) { printf '\xfe\xff'; printf '%s' "$ascii_list" | iconv -f UTF-8 -t UTF-16BE; } ;;
    utf16) printf '%s' "$ascii_list" | iconv -f UTF-8 -t UTF-16LE ;;
  esac >"$pkg/QMX_CHG.DAT"
  status=0
  run --json "$(folder "$pkg")" >"$root/report.json" || status=$?
  [ "$status" -eq 2 ] || fail "$encoding: exit status $status"
  python3 - "$root/report.json" "$encoding" <<'PY' || fail "$encoding: $(cat "$root/report.json")"
import json, sys
report = json.loads(open(sys.argv[1], "rb").read().decode("utf-8"))
encoding = sys.argv[2]
found = [f for f in report["findings"] if f["where"] == "QMX_CHG.DAT"]
assert len(found) == 1 and found[0]["severity"] == "error", found
assert found[0]["text"].startswith("saved as " + encoding + ": "), found
assert "save it as ANSI (Shift-JIS for Japanese names)" in found[0]["text"], found
print(encoding + ": named")
PY
done

# Machines: each module's and the program's in the report, the two errors,
# and the what-if's gate against a system folder whose copy is another
# machine's. The images are headers only, read by the installer's own reader
# on Windows and by ours here.
pe() {  # HEX-MACHINE FILE
  python3 - "$1" "$2" <<'PY'
import struct, sys
image = bytearray(0x200)
image[0:2] = b"MZ"
struct.pack_into("<I", image, 0x3C, 0x40)
image[0x40:0x44] = b"PE\0\0"
struct.pack_into("<HHIIIHH", image, 0x44, int(sys.argv[1], 16), 0, 0, 0, 0, 0xE0, 0)
struct.pack_into("<H", image, 0x58, 0x10B)
open(sys.argv[2], "wb").write(image)
PY
}
mixed=$root/mixed
mkdir -p "$mixed" "$root/system64"
printf '[Install]\r\n2:10\r\n[File]\r\nA.DLL\r\nB.DLL\r\nC.DAT\r\nGONE.DLL\r\n' >"$mixed/QMX_CHG.DAT"
pe 014c "$mixed/A.DLL"
pe 8664 "$mixed/B.DLL"
printf 'data' >"$mixed/C.DAT"
pe 014c "$mixed/QMXSET.EXE"
pe 8664 "$root/system64/A.DLL"
status=0
run --json --against "$(folder "$root/system64")" --windows 10 "$(folder "$mixed")" >"$root/report.json" || status=$?
[ "$status" -eq 2 ] || fail "machines: exit status $status"
python3 - "$root/report.json" <<'PY' || fail "machines: $(cat "$root/report.json")"
import json, sys
report = json.loads(open(sys.argv[1], "rb").read().decode("utf-8"))
machines = {f["name"]: f["machine"] for f in report["files"]}
assert machines == {"A.DLL": "i386", "B.DLL": "x64", "C.DAT": "none", "GONE.DLL": None}, machines
assert report["programMachine"] == "i386", report["programMachine"]
errors = {f["where"]: f["text"] for f in report["findings"] if f["severity"] == "error"}
assert errors["[File]"].startswith("modules of more than one machine (i386: A.DLL; x64: B.DLL)"), errors
assert errors["[File] B.DLL"].startswith("an x64 module, but QMXSET.EXE is the 32-bit program"), errors
assert "ship the 64-bit QMXSET.EXE with x64 modules, or i386 modules with this one" in errors["[File] B.DLL"]
w = report["whatIf"]
assert w["otherMachine"] == [{"name": "A.DLL", "machine": "i386", "installedMachine": "x64"}], w
assert (w["modules"], w["outcome"], w["quietExitCode"]) == ([], 8, 1633), w
print("machines: named, mixed and foreign ones found, the gate predicted")
PY
line="PrepareInstallation - Not for this machine: $(folder "$root/system64")\\A.DLL."
[ "$mode" = native ] && line="PrepareInstallation - Not for this machine: $root/system64/A.DLL."
out=$(run --against "$(folder "$root/system64")" --windows 10 "$(folder "$mixed")") || true
for line in "$line" "  A.DLL: present, machine i386, " "  C.DAT: present, machine none, " \
            "QMXSET.EXE: machine i386, the 32-bit program" \
            "A.DLL is not for this machine (the package's i386, the system's x64), and nothing is installed"; do
  case "$out" in *"$line"*) ;; *) fail "machines: the text report lacks $line: $out";; esac
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "qmxcheck's switches, JSON and encoding findings hold"
