#!/usr/bin/env bash
# Signs the shipped programs with the package author's certificate: an
# Authenticode SHA-256 signature by osslsigncode, verified at once.
#   sign.sh FILE...
# The certificate, from the environment (make passes its own variables):
#   QMX_SIGN_PKCS12=FILE.p12 [QMX_SIGN_PASSWORD_FILE=FILE]   a PKCS#12 bundle
#   QMX_SIGN_CERTS=CHAIN.pem QMX_SIGN_KEY=KEY.pem [QMX_SIGN_PASSWORD_FILE]
#   QMX_SIGN_PKCS11_MODULE=MODULE.so QMX_SIGN_KEY=PKCS11-URI
#     [QMX_SIGN_PKCS11_CERT=PKCS11-URI | QMX_SIGN_CERTS=CHAIN.pem]
#     [QMX_SIGN_PASSWORD_FILE=PIN-FILE]                     a hardware token
# and, all optional:
#   QMX_SIGN_TIMESTAMP=URL     an RFC 3161 time-stamp server, tried
#                              QMX_SIGN_TRIES times (3), QMX_SIGN_TRY_DELAY
#                              seconds apart (10)
#   QMX_SIGN_CAFILE=ROOTS.pem  the roots the verification trusts (the
#                              system's by default)
#   QMX_SIGN_PREVIOUS=DIR      the last release's programs, as dist/ held
#                              them: each new FileVersion must be higher
#   QMX_SIGN_URL=URL           the publisher's page, shown by Windows
# Without a certificate it signs nothing and says so in one line. Every
# program's version resource is checked either way: OriginalFilename must be
# its file name, and the FileVersion text must tell its numeric version.
# Exit status 0 when every file is signed (or none was asked for), 1 when
# any check or signature fails: a file that fails is left as it was.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

fail() { echo "sign: $*" >&2; exit 1; }

# a.b.c.d versions compared number by number: 0 when $1 > $2.
newer() {
  local IFS=.
  local -a a=($1) b=($2)
  local i
  for i in 0 1 2 3; do
    ((${a[i]:-0} > ${b[i]:-0})) && return 0
    ((${a[i]:-0} < ${b[i]:-0})) && return 1
  done
  return 1
}

# Policies name a program by OriginalFilename and a lowest version; a
# release whose version does not rise is allowed or blocked by rules written
# for the one before it.
check_version() {  # file
  local file=$1 name original text numbers
  name=$(basename "$file")
  IFS=$'\t' read -r original text numbers < <(python3 "$here/pe_version.py" "$file") ||
    fail "$file: not a PE program"
  [ "${original^^}" = "${name^^}" ] ||
    fail "$file: OriginalFilename is \"$original\", not $name: a publisher rule for $name would not match it"
  [ "$numbers" != - ] || fail "$file: no numeric file version"
  # The text's pieces, as the installer compares them, must be the leading
  # numbers of the numeric version: "1.00" tells 1.0.0.0.
  local IFS=., i piece
  local -a n=($numbers) t=(${text//[, ]/.})
  unset IFS
  for ((i = 0; i < ${#t[@]} && i < 3; ++i)); do
    piece=${t[i]%%[^0-9]*}
    [ -n "$piece" ] && ((10#$piece == ${n[i]})) ||
      fail "$file: FileVersion \"$text\" does not tell its numeric version $numbers"
  done
  if [ -n "${QMX_SIGN_PREVIOUS:-}" ]; then
    local arch previous
    arch=$(basename "$(dirname "$file")")
    for previous in "$QMX_SIGN_PREVIOUS/$arch/$name" "$QMX_SIGN_PREVIOUS/$name" ""; do
      [ -z "$previous" ] || [ -f "$previous" ] && break
    done
    if [ -n "$previous" ]; then
      local old
      old=$(python3 "$here/pe_version.py" "$previous" | cut -f3)
      newer "$numbers" "$old" ||
        fail "$file: version $numbers is not higher than the last release's $old ($previous)"
    fi
  fi
}

for f in "$@"; do check_version "$f"; done

signer=()
if [ -n "${QMX_SIGN_PKCS12:-}" ]; then
  signer=(-pkcs12 "$QMX_SIGN_PKCS12")
elif [ -n "${QMX_SIGN_PKCS11_MODULE:-}" ]; then
  [ -n "${QMX_SIGN_KEY:-}" ] || fail "QMX_SIGN_PKCS11_MODULE needs QMX_SIGN_KEY, the key's PKCS#11 URI"
  signer=(-pkcs11module "$QMX_SIGN_PKCS11_MODULE" -key "$QMX_SIGN_KEY")
  if [ -n "${QMX_SIGN_PKCS11_CERT:-}" ]; then signer+=(-pkcs11cert "$QMX_SIGN_PKCS11_CERT")
  elif [ -n "${QMX_SIGN_CERTS:-}" ]; then signer+=(-certs "$QMX_SIGN_CERTS")
  else fail "QMX_SIGN_PKCS11_MODULE needs QMX_SIGN_PKCS11_CERT or QMX_SIGN_CERTS"; fi
elif [ -n "${QMX_SIGN_CERTS:-}" ]; then
  [ -n "${QMX_SIGN_KEY:-}" ] || fail "QMX_SIGN_CERTS needs QMX_SIGN_KEY"
  signer=(-certs "$QMX_SIGN_CERTS" -key "$QMX_SIGN_KEY")
fi
if [ ${#signer[@]} -eq 0 ]; then
  echo "unsigned: no certificate named (QMX_SIGN_PKCS12, QMX_SIGN_CERTS or QMX_SIGN_PKCS11_MODULE); fleets under App Control block unsigned programs"
  exit 0
fi
command -v osslsigncode >/dev/null || fail "osslsigncode is missing (scripts/install-deps.sh installs it)"
# The password is read from a file, never from the command line, where any
# user of the machine could read it.
[ -z "${QMX_SIGN_PASSWORD_FILE:-}" ] || signer+=(-readpass "$QMX_SIGN_PASSWORD_FILE")
[ -z "${QMX_SIGN_URL:-}" ] || signer+=(-i "$QMX_SIGN_URL")
verify=()
[ -z "${QMX_SIGN_CAFILE:-}" ] || verify+=(-CAfile "$QMX_SIGN_CAFILE")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for f in "$@"; do
  name=$(basename "$f")
  # The key is used once per file; only the time stamp, a network call to a
  # server that may be busy, is tried again.
  rm -f "$work/signed"
  osslsigncode sign "${signer[@]}" -h sha256 -n "${name%.*}" -in "$f" -out "$work/signed" \
    >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "$f: signing failed"; }
  stamp=no
  if [ -n "${QMX_SIGN_TIMESTAMP:-}" ]; then
    tries=${QMX_SIGN_TRIES:-3}
    for ((try = 1; ; ++try)); do
      if osslsigncode add -ts "$QMX_SIGN_TIMESTAMP" -h sha256 -in "$work/signed" -out "$work/stamped" \
        >"$work/log" 2>&1; then
        mv "$work/stamped" "$work/signed"
        stamp=yes
        break
      fi
      rm -f "$work/stamped"
      if ((try >= tries)); then
        cat "$work/log" >&2
        fail "$f: no time stamp from $QMX_SIGN_TIMESTAMP after $tries tries; $f is left unsigned"
      fi
      echo "sign: $f: time stamp try $try of $tries failed; trying again" >&2
      sleep "${QMX_SIGN_TRY_DELAY:-10}"
    done
  fi
  osslsigncode verify "${verify[@]}" -in "$work/signed" >"$work/log" 2>&1 ||
    { cat "$work/log" >&2; fail "$f: the new signature does not verify; $f is left unsigned"; }
  subject=$(sed -n 's/^[[:space:]]*Subject: //p' "$work/log" | head -1)
  cat "$work/signed" >"$f"
  echo "signed $f: $subject, time stamp: $stamp"
done
