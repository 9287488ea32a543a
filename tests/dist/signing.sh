#!/usr/bin/env bash
# make dist's signing step (scripts/sign.sh) on copies of the built programs,
# with a throwaway root and publisher made here by openssl, and what the
# package check makes of the result: signed with the publisher's subject,
# unsigned, and damaged by one changed byte. No network: the time stamp's
# retries are shown against a port on this machine that refuses, and a
# time-stamped module is stamped by osslsigncode's own local authority.
#
#   signing.sh QMXSET.EXE QMXCHECK.EXE FIXTURES x86|x64           the build machine's qmxcheck
#   signing.sh QMXSET.EXE QMXCHECK.EXE FIXTURES x86|x64 --wine    QMXCHECK.EXE under Wine
set -euo pipefail
exe=$1 check_exe=$2 fixtures=$3 arch=$4 wine_mode=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
sign=$top/scripts/sign.sh
native_check=${QMX_BUILD_DIR:-$top/build}/native/src/check/qmxcheck
if [ -n "$wine_mode" ]; then
  source "$top/scripts/wine-env.sh"
  qmx_skip_unless_runnable "$arch"
fi
[ -x "$native_check" ] || { echo "FAIL: no native qmxcheck at $native_check"; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The environment as an author without a certificate has it.
for v in $(compgen -e | grep '^QMX_SIGN_' || true); do unset "$v"; done

# The throwaway root, a code-signing publisher it issued, and a time-stamp
# authority, all valid for two days.
keys=$root/keys
mkdir -p "$keys"
(
  cd "$keys"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 \
    -subj "/CN=QMX Throwaway Root" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign
  openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/CN=QMX Test Publisher/O=QMX Test/C=JP"
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
  openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -CAcreateserial -days 2 \
    -extfile signer.ext -out signer.pem
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' >tsa.ext
  openssl req -newkey rsa:2048 -nodes -keyout tsa.key -out tsa.csr -subj "/CN=QMX Throwaway TSA"
  openssl x509 -req -in tsa.csr -CA root.pem -CAkey root.key -CAcreateserial -days 2 -extfile tsa.ext -out tsa.pem
  cat tsa.pem root.pem >tsa-chain.pem
  echo "throwaway $RANDOM" >password
  openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile root.pem -out signer.p12 \
    -passout file:password
) >"$root/openssl.log" 2>&1 || { cat "$root/openssl.log"; exit 1; }
subject="CN=QMX Test Publisher, O=QMX Test, C=JP"
certificate=(QMX_SIGN_PKCS12="$keys/signer.p12" QMX_SIGN_PASSWORD_FILE="$keys/password"
             QMX_SIGN_CAFILE="$keys/root.pem")

# Copies of the built programs, laid out as make dist lays them out.
dist=$root/dist/$arch
mkdir -p "$dist"
cp "$exe" "$dist/QMXSET.EXE"
cp "$check_exe" "$dist/QMXCHECK.EXE"
programs=("$dist/QMXSET.EXE" "$dist/QMXCHECK.EXE")
unchanged() { cmp -s "$exe" "$dist/QMXSET.EXE" && cmp -s "$check_exe" "$dist/QMXCHECK.EXE"; }

# 1. No certificate: unsigned, and one line that says so.
out=$("$sign" "${programs[@]}" 2>&1) || fail "sign.sh without a certificate exits non-zero: $out"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] && [[ "$out" == "unsigned: no certificate named"* ]] ||
  fail "without a certificate sign.sh says: $out"
unchanged || fail "without a certificate sign.sh changed a program"

# 2. The version resources as publisher rules read them, and the version
# must rise from one release to the next.
for p in QMXSET.EXE QMXCHECK.EXE; do
  fields=$(python3 "$top/scripts/pe_version.py" "$dist/$p")
  IFS=$'\t' read -r original text numbers <<<"$fields"
  [ "$original" = "$p" ] && [ "$text" != - ] && [ "$numbers" != - ] ||
    fail "$p: version resource reads \"$fields\""
done
previous=$root/previous
mkdir -p "$previous/$arch"
cp "$exe" "$previous/$arch/QMXSET.EXE"
if out=$(env "${certificate[@]}" QMX_SIGN_PREVIOUS="$previous" "$sign" "${programs[@]}" 2>&1); then
  fail "a release of the same version as the last one was signed"
fi
[[ "$out" == *"is not higher than the last release's"* ]] || fail "same version refused with: $out"
unchanged || fail "a refused release was changed"
# The last release one minor version lower: its fixed file version is
# rewritten in a copy.
python3 - "$previous/$arch/QMXSET.EXE" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.find(struct.pack("<I", 0xFEEF04BD))
ms, ls = struct.unpack_from("<II", data, at + 8)
assert ms or ls, "version 0.0.0.0 cannot be lowered"
struct.pack_into("<II", data, at + 8, ms - 1 if ms else 0, ls if ms else ls - 1)
open(sys.argv[1], "wb").write(bytes(data))
PY
cp "$exe" "$dist/RENAMED.EXE"
if out=$("$sign" "$dist/RENAMED.EXE" 2>&1); then fail "a program renamed from its OriginalFilename passed"; fi
[[ "$out" == *'OriginalFilename is "QMXSET.EXE", not RENAMED.EXE'* ]] || fail "renamed program refused with: $out"
rm "$dist/RENAMED.EXE"

# 3. A time stamp that never comes: each try is said, none succeeds, and the
# programs are left as they were.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
if out=$(env "${certificate[@]}" QMX_SIGN_TIMESTAMP="http://127.0.0.1:$port" QMX_SIGN_TRIES=3 \
  QMX_SIGN_TRY_DELAY=0 "$sign" "${programs[@]}" 2>&1); then
  fail "signing with a refusing time-stamp server succeeded"
fi
[ "$(grep -c 'time stamp try [12] of 3 failed; trying again' <<<"$out")" -eq 2 ] &&
  [[ "$out" == *"no time stamp from http://127.0.0.1:$port after 3 tries"* ]] ||
  fail "the time stamp's tries: $out"
unchanged || fail "a program was changed although its time stamp failed"

# 4. Signed, against the last release one version lower; each signature
# verifies on its own afterwards.
out=$(env "${certificate[@]}" QMX_SIGN_PREVIOUS="$previous" "$sign" "${programs[@]}" 2>&1) ||
  fail "signing failed: $out"
[ "$(grep -c '^signed .*QMX Test Publisher.*, time stamp: no$' <<<"$out")" -eq 2 ] || fail "signing said: $out"
for p in "${programs[@]}"; do
  osslsigncode verify -CAfile "$keys/root.pem" -in "$p" >"$root/verify.log" 2>&1 ||
    { cat "$root/verify.log"; fail "osslsigncode verify refuses $p"; }
done

# 5. A package: the signed program, a signed module, a time-stamped one, an
# unsigned one, and a signed one with one byte changed after signing.
pkg=$root/package
mkdir -p "$pkg"
cp "$dist/QMXSET.EXE" "$pkg/QMXSET.EXE"
cp "$fixtures/V1_0.DLL" "$pkg/UNSIGNED.DLL"
module_sign() {  # fixture, name, osslsigncode options...
  local fixture=$1 name=$2; shift 2
  osslsigncode sign -pkcs12 "$keys/signer.p12" -readpass "$keys/password" -h sha256 "$@" \
    -in "$fixtures/$fixture" -out "$pkg/$name" >"$root/module.log" 2>&1 ||
    { cat "$root/module.log"; fail "osslsigncode cannot sign $name"; }
}
module_sign V2_9.DLL SIGNED.DLL
module_sign V2_10.DLL STAMPED.DLL -TSA-certs "$keys/tsa-chain.pem" -TSA-key "$keys/tsa.key"
module_sign V3_0.DLL DAMAGED.DLL
# One byte of the module's code, well before the certificate table.
python3 -c 'import sys; p = sys.argv[1]; d = bytearray(open(p, "rb").read()); d[0x400] ^= 1; open(p, "wb").write(bytes(d))' \
  "$pkg/DAMAGED.DLL"
printf '[Install]\r\n2:10:0\r\n[File]\r\nSIGNED.DLL\r\nSTAMPED.DLL\r\nUNSIGNED.DLL\r\nDAMAGED.DLL\r\n' >"$pkg/QMX_CHG.DAT"
# The build machine checks each signature by the certificate it carries and
# says so; Windows checks the chain to its roots as well, and says nothing.
# The stamp counts where the stamp's digest of the signature and its
# authority's signature verify; Wine 8's WinVerifyTrust lists no
# counter-signer at all, as a Windows that does not know the stamp would.
if [ -z "$wine_mode" ]; then
  unchecked=" (certificate not checked against a trusted root)"
  stamped=("STAMPED.DLL: signed by $subject$unchecked, time-stamped")
else
  unchecked=""
  stamped=("STAMPED.DLL: signed by $subject, time-stamped"
           "STAMPED.DLL: signed by $subject, time stamp not verified (this Windows does not check it)")
fi
expected=(
  "QMXSET.EXE: signed by $subject$unchecked, no time stamp"
  "SIGNED.DLL: signed by $subject$unchecked, no time stamp"
  "UNSIGNED.DLL: unsigned"
  "DAMAGED.DLL: damaged ("
)

# The check's three states, by the given program. Sets $report.
check_states() {  # label, check command...
  local label=$1; shift
  local status=0
  report=$("$@" "$(to_folder "$pkg")" | tr -d '\r') || status=$?
  [ "$status" -eq 2 ] || fail "$label: exit status $status, not 2 for the damaged module"
  local line
  for line in "${expected[@]}"; do
    grep -qF "  $line" <<<"$report" || fail "$label: no line \"$line\" in:"$'\n'"$report"
  done
  local either=()
  for line in "${stamped[@]}"; do either+=(-e "  $line"); done
  grep -qF "${either[@]}" <<<"$report" || fail "$label: no line \"${stamped[0]}\" in:"$'\n'"$report"
  grep -q '^  error: \[File\] DAMAGED.DLL: signature damaged: ' <<<"$report" ||
    fail "$label: the damaged module is no error"
  grep -q '^  note: \[File\] UNSIGNED.DLL: not signed' <<<"$report" || fail "$label: no note on the unsigned module"
}

if [ -z "$wine_mode" ]; then
  to_folder() { echo "$1"; }
  check_states "qmxcheck" "$native_check"
  json=$("$native_check" --json "$pkg") || true
  python3 -c '
import json, sys
signatures = {s["name"]: s for s in json.load(sys.stdin)["signatures"]}
subject = sys.argv[1]
want = {"QMXSET.EXE": ("signed", subject, False), "SIGNED.DLL": ("signed", subject, False),
        "STAMPED.DLL": ("signed", subject, True), "UNSIGNED.DLL": ("unsigned", None, False),
        "DAMAGED.DLL": ("damaged", subject, False)}
for name, (state, who, stamped) in want.items():
    s = signatures[name]
    got = (s["state"], s["subject"], s["timestamp"], s["chainChecked"], s["timestampProblem"])
    assert got == (state, who, stamped, False, None), "%s: %r" % (name, got)
    assert (s["problem"] is None) == (state != "damaged"), "%s: problem %r" % (name, s["problem"])
' "$subject" <<<"$json" || fail "--json: the signatures are not as the text report says"

  # An unsigned QMXSET.EXE is a warning that says what a managed fleet needs.
  cp "$exe" "$pkg/QMXSET.EXE"
  report=$("$native_check" "$pkg") || true
  grep -q '^  warning: QMXSET.EXE: not signed: fleets under App Control' <<<"$report" ||
    fail "an unsigned QMXSET.EXE is no warning"
  cp "$dist/QMXSET.EXE" "$pkg/QMXSET.EXE"

  # 6. Seal after signing, signed with the program's own certificate: the
  # seal holds the signed bytes, and sealing leaves the signatures as they
  # were. Unsigned beside the signed program, the seal is refused.
  rm "$pkg/DAMAGED.DLL"
  printf '[Install]\r\n2:10:0\r\n[File]\r\nSIGNED.DLL\r\nSTAMPED.DLL\r\nUNSIGNED.DLL\r\n' >"$pkg/QMX_CHG.DAT"
  if "$native_check" --seal "$pkg" >/dev/null 2>"$root/seal.err"; then
    fail "qmxcheck --seal without a signer passes beside a signed QMXSET.EXE"
  fi
  grep -q 'QMXSET.EXE is signed' "$root/seal.err" || fail "qmxcheck --seal without a signer says: $(cat "$root/seal.err")"
  "$native_check" --seal --signer "$keys/signer.p12" --password-file "$keys/password" "$pkg" >/dev/null ||
    fail "qmxcheck --seal --signer refuses the signed package"
  (cd "$pkg" && sha256sum -c --quiet QMX_CHG.SUM) || fail "sha256sum -c refuses the seal"
  (cd "$pkg" && openssl cms -verify -binary -noverify -inform DER -in QMX_CHG.SUM.p7s -content QMX_CHG.SUM \
    -out /dev/null 2>/dev/null) || fail "openssl cms -verify refuses the seal's signature"
  grep -q "^$(sha256sum <"$dist/QMXSET.EXE" | cut -c1-64)  QMXSET.EXE\$" "$pkg/QMX_CHG.SUM" ||
    fail "the seal does not hold the signed QMXSET.EXE"
  osslsigncode verify -CAfile "$keys/root.pem" -in "$pkg/QMXSET.EXE" >/dev/null 2>&1 ||
    fail "the sealed QMXSET.EXE no longer verifies"
  status=0
  "$native_check" "$pkg" >"$root/sealed.txt" || status=$?
  [ "$status" -le 1 ] && ! grep -q ': QMX_CHG.SUM' "$root/sealed.txt" &&
    grep -qF "  QMX_CHG.SUM: signed by $subject, the signer of QMXSET.EXE" "$root/sealed.txt" ||
    { cat "$root/sealed.txt"; fail "the sealed, signed package: exit status $status"; }
  # Signed by the time-stamp authority's key instead: an error naming both.
  (cd "$pkg" && openssl cms -sign -binary -md sha256 -outform DER -signer "$keys/tsa.pem" -inkey "$keys/tsa.key" \
    -in QMX_CHG.SUM -out QMX_CHG.SUM.p7s)
  "$native_check" --json "$pkg" >"$root/other.json" || true
  python3 -c '
import json, sys
report = json.load(open(sys.argv[1]))
seal = report["sealSignature"]
assert seal == {"state": "other signer", "subject": "CN=QMX Throwaway TSA", "required": True}, seal
errors = [f["text"] for f in report["findings"] if f["severity"] == "error" and f["where"] == "QMX_CHG.SUM.p7s"]
assert len(errors) == 1 and sys.argv[2] in errors[0], errors
' "$root/other.json" "$subject" || fail "--json: a seal signed by another certificate"
else
  to_folder() { echo "Z:${1//\//\\}"; }
  # Now and then Wine's loader fails to start a program at all, and
  # start.exe says so instead: nothing ran, so it is started again.
  wine_check() {
    local attempt said status
    for attempt in 1 2 3; do
      status=0
      said=$(wine "$dist/QMXCHECK.EXE" "$@" </dev/null 2>/dev/null) || status=$?
      case "$said" in *"ShellExecuteEx failed"*) sleep 1 ;; *) break ;; esac
    done
    printf '%s\n' "$said"
    return "$status"
  }
  # Windows answers CERT_E_UNTRUSTEDROOT for a chain that ends in a root
  # outside the machine's store: intact, but untrusted. Wine 8 trusts any
  # root it is shown, so there the module is signed already.
  report=$(wine_check "$(to_folder "$pkg")" | tr -d '\r') || true
  grep -qF -e "  SIGNED.DLL: untrusted (WinVerifyTrust 0x800B0109), by $subject" \
    -e "  SIGNED.DLL: signed by $subject" <<<"$report" ||
    fail "QMXCHECK.EXE before the root is trusted:"$'\n'"$report"
  # With the root in the machine's store, as a fleet has its own.
  root_key='HKLM\Software\Microsoft\SystemCertificates\Root\Certificates'
  thumb=$(openssl x509 -in "$keys/root.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
  blob=$(python3 -c '
import struct, subprocess, sys
der = subprocess.run(["openssl", "x509", "-in", sys.argv[1], "-outform", "DER"], check=True,
                     capture_output=True).stdout
# A serialised store element: the certificate property (32), its size, its bytes.
print((struct.pack("<III", 32, 1, len(der)) + der).hex())' "$keys/root.pem")
  trap 'wine reg delete "$root_key\\$thumb" /f >/dev/null 2>&1 </dev/null || true; rm -rf "$root"' EXIT
  wine reg add "$root_key\\$thumb" /v Blob /t REG_BINARY /d "$blob" /f >/dev/null 2>&1 </dev/null ||
    fail "cannot add the throwaway root to the prefix's store"
  check_states "QMXCHECK.EXE" wine_check
  # The seal signed by the program's signer, named by CertNameToStr as the
  # build machine names it.
  "$native_check" --seal --signer "$keys/signer.p12" --password-file "$keys/password" "$pkg" >/dev/null ||
    fail "qmxcheck --seal --signer refuses the signed package"
  report=$(wine_check "$(to_folder "$pkg")" | tr -d '\r') || true
  grep -qF "  QMX_CHG.SUM: signed by $subject, the signer of QMXSET.EXE" <<<"$report" ||
    fail "QMXCHECK.EXE on the signed seal:"$'\n'"$report"
  if wine "$dist/QMXCHECK.EXE" --seal --signer 'Z:\nothing.p12' "$(to_folder "$pkg")" </dev/null >/dev/null 2>&1; then
    fail "QMXCHECK.EXE signs a seal"
  fi
  rm "$pkg/QMX_CHG.SUM" "$pkg/QMX_CHG.SUM.p7s"
  # Windows 95 and NT 4.0 without Internet Explorer have no wintrust.dll:
  # the check still runs, and says it cannot tell.
  report=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wintrust=" wine_check "$(to_folder "$pkg")" | tr -d '\r') || true
  grep -qF "  SIGNED.DLL: cannot check (this Windows has no WinVerifyTrust)" <<<"$report" &&
    grep -qF "  UNSIGNED.DLL: unsigned" <<<"$report" ||
    fail "QMXCHECK.EXE without wintrust.dll:"$'\n'"$report"
fi

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "signing: every check passed"
