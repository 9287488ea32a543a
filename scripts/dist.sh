#!/usr/bin/env bash
# Builds QMXSET.EXE (and with it QMXCHECK.EXE) in the two Windows trees and
# puts the shipped executables in dist/: dist/x86/QMXSET.EXE and
# dist/x64/QMXSET.EXE, the package check dist/linux/qmxcheck and
# dist/x86/QMXCHECK.EXE (and x64), a sample change list and a zip of a
# ready-to-edit package. Signs the Windows programs when a certificate is
# named (see scripts/sign.sh), and then prints the command that seals and
# signs a package with the same certificate: a signed QMXSET.EXE installs
# only from a seal its own signer signed. Prints each file's size.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QMX_BUILD_DIR=${QMX_BUILD_DIR:-$top/build}

# The signer's certificate, as PEM on standard output, where a file holds
# it; nothing for a certificate on a token alone.
signer_certificate() {
  if [ -n "${QMX_SIGN_PKCS12:-}" ]; then
    local password=pass:
    [ -z "${QMX_SIGN_PASSWORD_FILE:-}" ] || password=file:$QMX_SIGN_PASSWORD_FILE
    openssl pkcs12 -in "$QMX_SIGN_PKCS12" -nokeys -clcerts -passin "$password" 2>/dev/null
  elif [ -n "${QMX_SIGN_CERTS:-}" ]; then
    cat "$QMX_SIGN_CERTS"
  fi
}
# qmxcheck's options that sign the seal with that certificate; none for a
# key on a token, which only openssl cms with the token's provider can use.
seal_signer() {
  [ -z "${QMX_SIGN_PKCS11_MODULE:-}" ] || return 0
  if [ -n "${QMX_SIGN_PKCS12:-}" ]; then
    printf ' --signer %q' "$QMX_SIGN_PKCS12"
  elif [ -n "${QMX_SIGN_CERTS:-}" ]; then
    printf ' --signer %q --key %q' "$QMX_SIGN_CERTS" "$QMX_SIGN_KEY"
  fi
  [ -z "${QMX_SIGN_PASSWORD_FILE:-}" ] || printf ' --password-file %q' "$QMX_SIGN_PASSWORD_FILE"
}
# QMXSET.EXE checks the seal's signature with RSA of its own, on every
# Windows it starts on: a key of another kind would sign a program that
# installs nothing.
if certificate=$(signer_certificate) && [ -n "$certificate" ]; then
  openssl x509 -noout -text <<<"$certificate" 2>/dev/null | grep -q 'Public Key Algorithm: rsaEncryption' || {
    echo "the signing certificate's key is not RSA: QMXSET.EXE checks the seal's signature with RSA only, so a program signed with it would install nothing"
    exit 1
  }
fi

# Configure every tree that is missing, then build only the program.
QMX_TREES= "$top/scripts/build.sh"

for pair in win32:x86 win64:x64; do
  tree=${pair%%:*}
  arch=${pair##*:}
  cmake --build "$QMX_BUILD_DIR/$tree" --target qmxset -- -j2 >"$QMX_BUILD_DIR/$tree.dist.log" 2>&1 ||
    { cat "$QMX_BUILD_DIR/$tree.dist.log"; echo "build of QMXSET.EXE ($tree) failed"; exit 1; }
  mkdir -p "$top/dist/$arch"
  cp "$QMX_BUILD_DIR/$tree/src/app/QMXSET.EXE" "$top/dist/$arch/QMXSET.EXE"
  # QMXCHECK.EXE comes with QMXSET.EXE, from the same shipped build.
  cp "$QMX_BUILD_DIR/$tree/src/check/QMXCHECK.EXE" "$top/dist/$arch/QMXCHECK.EXE"
done

# The package author's check for the build server.
cmake --build "$QMX_BUILD_DIR/native" --target qmxcheck >"$QMX_BUILD_DIR/native.dist.log" 2>&1 ||
  { cat "$QMX_BUILD_DIR/native.dist.log"; echo "build of qmxcheck (native) failed"; exit 1; }
mkdir -p "$top/dist/linux"
cp "$QMX_BUILD_DIR/native/src/check/qmxcheck" "$top/dist/linux/qmxcheck"
strip "$top/dist/linux/qmxcheck"

# Signed with the author's certificate when one is named (scripts/sign.sh),
# before anything is packed: the package and any seal made from it hold the
# signed bytes.
"$top/scripts/sign.sh" "$top"/dist/x86/QMXSET.EXE "$top"/dist/x64/QMXSET.EXE \
  "$top"/dist/x86/QMXCHECK.EXE "$top"/dist/x64/QMXCHECK.EXE
for f in x86/QMXSET.EXE x64/QMXSET.EXE linux/qmxcheck x86/QMXCHECK.EXE x64/QMXCHECK.EXE; do
  echo "dist/$f $(stat -c %s "$top/dist/$f") bytes"
done

# The ready-to-edit package: the 32-bit program (it runs on every supported
# Windows, 64-bit ones included), the sample change list and its notes, with
# the CR LF line ends Windows editors expect.
staging=$QMX_BUILD_DIR/dist-package/QMXSET
rm -rf "$QMX_BUILD_DIR/dist-package" && mkdir -p "$staging"
cp "$top/dist/x86/QMXSET.EXE" "$staging/"
for f in QMX_CHG.DAT README.TXT; do sed 's/\r*$/\r/' "$top/package/$f" >"$staging/$f"; done
cp "$staging/QMX_CHG.DAT" "$top/dist/QMX_CHG.DAT"
rm -f "$top/dist/QMXSET-package.zip"
(cd "$QMX_BUILD_DIR/dist-package" && zip -qr "$top/dist/QMXSET-package.zip" QMXSET)
for f in QMX_CHG.DAT QMXSET-package.zip; do echo "dist/$f $(stat -c %s "$top/dist/$f") bytes"; done
if [ -n "$(signer_certificate)" ] || [ -n "${QMX_SIGN_PKCS11_MODULE:-}" ]; then
  echo "QMXSET.EXE is signed: it installs only from a seal signed with the same certificate. Seal and sign each package:"
  if [ -n "$(seal_signer)" ]; then
    echo "  dist/linux/qmxcheck --seal$(seal_signer) PACKAGE_DIR"
  else
    echo "  dist/linux/qmxcheck --seal PACKAGE_DIR, then in PACKAGE_DIR, with the token's OpenSSL provider:"
    echo "  openssl cms -sign -binary -md sha256 -outform DER -in QMX_CHG.SUM -out QMX_CHG.SUM.p7s -signer CERT.pem -inkey KEY-URI"
  fi
fi
