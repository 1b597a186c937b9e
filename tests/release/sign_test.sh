#!/usr/bin/env bash
# Signs copies of FILEs (programs, DLLs, MSIs) through scripts/sign.sh as release.sh does, with
# a throwaway SoftHSM2 token, and checks: each verifies against the token's certificate; a
# wrong PIN fails and leaves the file as it was; a .pfx still signs; neither secret reaches
# osslsigncode's command line or environment.
#   sign_test.sh FILE...
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: sign_test.sh FILE..." >&2; exit 2; }
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

eval "$(bash "$here/tests/release/make-token.sh" "$work/token")"
# osslsigncode records what it was given, then runs.
mkdir "$work/bin"
printf '#!/bin/sh\n{ printf "%%s\\n" "$*"; env; } >>%q\nexec %q "$@"\n' "$work/seen" "$(command -v osslsigncode)" >"$work/bin/osslsigncode"
chmod +x "$work/bin/osslsigncode"
PATH=$work/bin:$PATH

# Each in a shell of its own, with the secret in the environment as a caller would give it.
token_sign() { (export SIGN_PIN=$1; source "$here/scripts/sign.sh"; sign_read_secret &&
  pkcs11_module=$token_module pkcs11_key=$token_key cert=$token_cert && sign_check && sign_file "$2"); }
pfx_sign() { (export SIGN_PASSWORD=$1; source "$here/scripts/sign.sh"; sign_read_secret &&
  pfx=$2 && sign_check && sign_file "$3"); }
verify() { osslsigncode verify -CAfile "$1" -in "$2" >"$work/verify.log" 2>&1 || { cat "$work/verify.log"; fail "$2 does not verify"; }; }

for file in "$@"; do
  cp "$file" "$work/${file##*/}"
  token_sign "$token_pin" "$work/${file##*/}" || fail "signing $file through the token"
  verify "$token_cert" "$work/${file##*/}"
done

cp "$1" "$work/wrong"
token_sign "x$token_pin" "$work/wrong" 2>"$work/wrong.log" && fail "a wrong PIN signed"
grep -q "PIN incorrect" "$work/wrong.log" || { cat "$work/wrong.log"; fail "a wrong PIN's failure does not say so"; }
cmp -s "$1" "$work/wrong" && [ ! -e "$work/wrong.signed" ] || fail "a wrong PIN changed the file or left one"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=DriverInstall test signing" \
  -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
printf 'pfx pass 7f3a' | openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout stdin -out "$work/test.pfx"
cp "$1" "$work/pfx"
pfx_sign "pfx pass 7f3a" "$work/test.pfx" "$work/pfx" || fail "signing with a .pfx"
verify "$work/cert.pem" "$work/pfx"

[ "$(grep -c -- ' -readpass /dev/stdin ' "$work/seen")" -eq $(($# + 2)) ] || fail "osslsigncode was not run for every signing"
! grep -qF -e "$token_pin" -e "pfx pass 7f3a" "$work/seen" || fail "a secret reached osslsigncode's command line or environment"
echo "signed and verified through a SoftHSM2 token: $*; a wrong PIN refused; a .pfx signs"
