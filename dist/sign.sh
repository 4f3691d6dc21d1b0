#!/usr/bin/env bash
# Signs Windows programs and DLLs in place with Authenticode (SHA-256, osslsigncode) when a
# code-signing certificate is given; dist/build.sh calls it for the DLLs, and makensis for the
# uninstaller (!uninstfinalize) and the installer (!finalize). The certificate:
#   STARWRIGHT_SIGN_PKCS12         the certificate with its key (and chain), a PKCS#12 file
#   STARWRIGHT_SIGN_PASSWORD_FILE  a file whose first line is the PKCS#12 file's password
#   STARWRIGHT_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server, whose counter-
#                                  signature keeps the signature valid after the certificate expires
#
#   dist/sign.sh FILE...       signs each file
#   dist/sign.sh --configured  exit 0 when a certificate is given, 1 when not, 2 when half given
set -euo pipefail

configured() {
  if [ -z "${STARWRIGHT_SIGN_PKCS12:-}" ] && [ -z "${STARWRIGHT_SIGN_PASSWORD_FILE:-}" ]; then
    return 1
  fi
  local name
  for name in STARWRIGHT_SIGN_PKCS12 STARWRIGHT_SIGN_PASSWORD_FILE; do
    if [ ! -f "${!name:-}" ]; then
      echo "sign: $name='${!name:-}' is not a file; set both STARWRIGHT_SIGN_PKCS12 and STARWRIGHT_SIGN_PASSWORD_FILE, or neither" >&2
      return 2
    fi
  done
}

if [ "${1:-}" = --configured ]; then
  configured
  exit
fi
status=0
configured || status=$?
if [ $status != 0 ]; then
  [ $status = 2 ] || echo "sign: no certificate given (STARWRIGHT_SIGN_PKCS12, STARWRIGHT_SIGN_PASSWORD_FILE)" >&2
  exit 1
fi

timestamp=()
[ -z "${STARWRIGHT_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$STARWRIGHT_SIGN_TIMESTAMP_URL")
for file in "$@"; do
  rm -f "$file.signed"
  # osslsigncode reads the password from the file's first line.
  if ! osslsigncode sign -pkcs12 "$STARWRIGHT_SIGN_PKCS12" -readpass "$STARWRIGHT_SIGN_PASSWORD_FILE" \
      -h sha256 -n Starwright "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null; then
    rm -f "$file.signed"
    echo "sign: could not sign $file" >&2
    exit 1
  fi
  # The signed file keeps the mode the file had: osslsigncode writes a new file, whose mode
  # follows the umask, and a zip keeps the mode of each file in it.
  chmod --reference="$file" "$file.signed"
  mv -f "$file.signed" "$file"
done
