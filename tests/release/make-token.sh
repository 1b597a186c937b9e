#!/usr/bin/env bash
# Makes a throwaway SoftHSM2 token in DIR (a new folder) holding a fresh RSA-2048 key and its
# self-signed code-signing certificate, and prints, for the caller to eval, the assignments
#   export SOFTHSM2_CONF=...  token_module=...  token_key=(pkcs11: URI)  token_cert=(PEM)  token_pin=...
# Everything stays in DIR: SOFTHSM2_CONF points at DIR's own configuration, so the machine's
# tokens and /etc/softhsm are left alone. The PINs are random and reach pkcs11-tool through
# its environment only (--pin env:NAME), never through a command line.
#   make-token.sh DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: make-token.sh DIR" >&2; exit 2; }
mkdir -p "$1"
dir=$(realpath "$1")
mkdir "$dir/tokens" || { echo "$dir already holds a token" >&2; exit 2; }
module=/usr/lib/softhsm/libsofthsm2.so
[ -f "$module" ] || { echo "no SoftHSM2 module at $module (softhsm2)" >&2; exit 1; }
label=driverinstall-test

export SOFTHSM2_CONF=$dir/softhsm2.conf
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$dir/tokens" >"$SOFTHSM2_CONF"
pin=$(od -An -tx1 -N8 /dev/urandom | tr -d ' \n')
so_pin=$(od -An -tx1 -N8 /dev/urandom | tr -d ' \n')

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=DriverInstall test signing" \
  -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
openssl pkey -in "$dir/key.pem" -outform DER -out "$dir/key.der"
openssl x509 -in "$dir/cert.pem" -outform DER -out "$dir/cert.der"

p11() {
  local out
  out=$(TOKEN_PIN=$pin TOKEN_SO_PIN=$so_pin pkcs11-tool --module "$module" "$@" 2>&1) \
    || { printf '%s\npkcs11-tool %s: failed\n' "$out" "$*" >&2; exit 1; }
}
p11 --slot-index 0 --init-token --label "$label" --so-pin env:TOKEN_SO_PIN
p11 --token-label "$label" --init-pin --so-pin env:TOKEN_SO_PIN --pin env:TOKEN_PIN
p11 --token-label "$label" --login --pin env:TOKEN_PIN -w "$dir/key.der" -y privkey --id 01 --label signing
p11 --token-label "$label" -w "$dir/cert.der" -y cert --id 01 --label signing
# Only the token holds the key from here on.
rm -f "$dir/key.pem" "$dir/key.der" "$dir/cert.der"

printf 'export SOFTHSM2_CONF=%q\n' "$SOFTHSM2_CONF"
printf 'token_module=%q\ntoken_key=%q\ntoken_cert=%q\ntoken_pin=%q\n' \
  "$module" "pkcs11:token=$label;object=signing;type=private" "$dir/cert.pem" "$pin"
