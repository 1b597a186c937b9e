# Authenticode signing (SHA-256) of the release's files with osslsigncode; sourced by release.sh,
# defines functions only. The caller:
#   1. calls sign_read_secret before it starts any other program: SIGN_PASSWORD (the .pfx's
#      password) and SIGN_PIN (the token's PIN) move into shell variables of their own and out
#      of the environment, so that no program started later sees them;
#   2. sets from its options
#        pfx            FILE.pfx (the key and its certificates), or
#        pkcs11_module  the PKCS#11 module of a token, pkcs11_key the key's pkcs11: URI and
#                       cert the certificate chain (PEM),
#        timestamp      an RFC 3161 server to countersign each signature (optional),
#      and calls sign_check, which says what is wrong with them (status 2) and sets sign_mode
#      to none, pfx or pkcs11;
#   3. calls sign_file FILE for each file to sign.
# The secret reaches osslsigncode on its standard input only: a command line is visible to
# every user (ps), an environment to every program started after.

sign_read_secret() {
  sign_password=${SIGN_PASSWORD-} sign_password_set=${SIGN_PASSWORD+1}
  sign_pin=${SIGN_PIN-} sign_pin_set=${SIGN_PIN+1}
  unset SIGN_PASSWORD SIGN_PIN
}

sign_check() {
  local pfx=${pfx:-} module=${pkcs11_module:-} key=${pkcs11_key:-} cert=${cert:-}
  sign_mode=none
  if [ -n "$pfx" ] && [ -n "$module$key$cert" ]; then
    echo "--sign and --pkcs11-module exclude each other" >&2; return 2
  elif [ -n "$pfx" ]; then
    [ -f "$pfx" ] || { echo "no such file: $pfx" >&2; return 2; }
    [ -n "${sign_password_set:-}" ] || { echo "--sign: set SIGN_PASSWORD to the password of $pfx" >&2; return 2; }
    sign_mode=pfx
  elif [ -n "$module$key$cert" ]; then
    [ -n "$module" ] && [ -n "$key" ] && [ -n "$cert" ] \
      || { echo "--pkcs11-module, --key and --cert go together" >&2; return 2; }
    [ -f "$module" ] || { echo "no such PKCS#11 module: $module" >&2; return 2; }
    [ -f "$cert" ] || { echo "no such file: $cert" >&2; return 2; }
    case $key in
      pkcs11:*pin-value=* | pkcs11:*pin-source=*)
        echo "--key: the PIN goes in SIGN_PIN, not in the URI" >&2; return 2 ;;
      pkcs11:*) ;;
      *) echo "--key: a pkcs11: URI, e.g. 'pkcs11:token=NAME;object=LABEL;type=private'" >&2; return 2 ;;
    esac
    [ -n "${sign_pin_set:-}" ] || { echo "--pkcs11-module: set SIGN_PIN to the token's PIN" >&2; return 2; }
    # The engine OpenSSL itself loads by the name pkcs11, wherever the distribution keeps it.
    sign_engine=$(openssl version -e | sed -n 's/^ENGINESDIR: "\(.*\)"$/\1/p')/pkcs11.so
    [ -f "$sign_engine" ] || { echo "no PKCS#11 engine at $sign_engine (libengine-pkcs11-openssl)" >&2; return 2; }
    sign_mode=pkcs11
  fi
  if [ "$sign_mode" = none ] && [ -n "${timestamp:-}" ]; then
    echo "--timestamp needs --sign or --pkcs11-module" >&2; return 2
  fi
  return 0
}

# Signs FILE in place; on failure says why and leaves FILE as it was.
sign_file() {
  local file=$1 secret out
  local args=(sign -h sha256 -n "Ketrin Printer Driver Setup" -readpass /dev/stdin)
  case ${sign_mode:-none} in
    pfx) args+=(-pkcs12 "$pfx"); secret=$sign_password ;;
    pkcs11) args+=(-pkcs11engine "$sign_engine" -pkcs11module "$pkcs11_module" -certs "$cert" -key "$pkcs11_key")
            secret=$sign_pin ;;
    *) echo "sign_file: nothing to sign with (sign_check first)" >&2; return 2 ;;
  esac
  [ -z "${timestamp:-}" ] || args+=(-ts "$timestamp")
  rm -f "$file.signed"
  if ! out=$(printf '%s' "$secret" | osslsigncode "${args[@]}" -in "$file" -out "$file.signed" 2>&1); then
    rm -f "$file.signed"
    printf '%s\n' "$out" >&2
    echo "signing $file failed" >&2
    return 1
  fi
  mv "$file.signed" "$file"
}
