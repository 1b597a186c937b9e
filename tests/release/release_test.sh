#!/usr/bin/env bash
# Makes releases as scripts/release.sh makes them, in a build folder of their own beside OUT
# (the suite's libintl reused, no package installed), and checks them:
# - signed with a throwaway .pfx into OUT: the archive holds the distributable folder and
#   nothing else, SHA256SUMS matches, the program, the action DLL and the MSI verify against
#   the certificate, a changed byte breaks the program's signature, the signed program runs,
#   and no program the release starts sees the password;
# - signed through a SoftHSM2 token: the three verify against the token's certificate, and a
#   wrong PIN leaves OUT as it was;
# - unsigned, twice: UNSIGNED.txt says so and is summed, and both packings of the one build
#   are the signed release's unsigned copy, byte for byte.
# Leaves in OUT the signed release and, for the MSI tests, the MSI of the same folder built
# again (OUT/same) and one version on (OUT/next).
#   release_test.sh BUILD_DIR OUT RUN_IN_PREFIX
set -euo pipefail
suite=$1 out=$2 run_in_prefix=$3
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
export BUILD_DIR=$out.build DI_NO_SETUP=1 LIBINTL_DIR=$suite/_deps/libintl
version=$(sed -n 's/^#define DI_VERSION_TEXT "\(.*\)"$/\1/p' "$suite/generated/product_version.h")
name=DriverInstall-$version
release() { RELEASE_DIR=$1 bash "$here/scripts/release.sh" "${@:2}" >"$work/release.log" 2>&1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=DriverInstall test signing" \
  -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:"test pass" -out "$work/test.pfx"
# A cmake and an osslsigncode ahead of the real ones note the command line and environment
# they were given: neither may hold the password.
mkdir "$work/bin"
for tool in cmake osslsigncode; do
  printf '#!/bin/sh\n{ echo "$0 $*"; env; } >>"%s"\nPATH=%q exec %s "$@"\n' "$work/seen" "$PATH" "$tool" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done
SIGN_PASSWORD="test pass" PATH=$work/bin:$PATH release "$out" --sign "$work/test.pfx" --unsigned-copy "$work/unsigned" \
  || { cat "$work/release.log"; fail "release.sh"; }
[ "$(grep -c "osslsigncode sign .*-readpass /dev/stdin" "$work/seen")" -eq 3 ] || fail "not three signings with the password on stdin"
grep -q "test pass" "$work/seen" && fail "a program was given the password"

# Nothing but the two files and their sums, which hold.
[ "$(ls "$out" | LC_ALL=C sort | tr '\n' ' ')" = "$name.msi $name.zip SHA256SUMS " ] || fail "release folder: $(ls "$out")"
(cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"

# The archive: every file of the distributable folder with its bytes, the program signed.
unzip -q "$out/$name.zip" -d "$work/zip"
diff <(cd "$suite/dist" && find DriverInstall.exe SETUP SETUP64 Lang -type f | LC_ALL=C sort) \
     <(cd "$work/zip" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) || fail "the archive's files"
diff -r -x DriverInstall.exe "$suite/dist" "$work/zip" || fail "the archive's bytes"

# The program, the action DLL and the MSI, each signed by the certificate given.
verify_release() {
  local dir=$1 ca=$2 files=$work/files-${1##*/}
  mkdir "$files"
  unzip -q "$dir/$name.zip" DriverInstall.exe -d "$files"
  msiinfo extract "$dir/$name.msi" Binary.Action >"$files/DriverInstallAction.dll"
  for file in "$files/DriverInstall.exe" "$files/DriverInstallAction.dll" "$dir/$name.msi"; do
    osslsigncode verify -CAfile "$ca" -in "$file" >"$work/verify.log" 2>&1 || { cat "$work/verify.log"; fail "$file is not signed"; }
  done
}
verify_release "$out" "$work/cert.pem"
msiextract -C "$work/msi" "$out/$name.msi" >/dev/null
cmp -s "$(find "$work/msi" -name DriverInstall.exe)" "$work/zip/DriverInstall.exe" || fail "the MSI's program is not the archive's"

# One byte of the signed code changed: the signature no longer verifies.
cp "$work/zip/DriverInstall.exe" "$work/changed.exe"
byte=$(od -An -tu1 -j4096 -N1 "$work/changed.exe")
printf "\\x$(printf %02x $((byte ^ 0xff)))" | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc status=none
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/changed.exe" >/dev/null 2>&1 && fail "a changed program still verifies"

# Through a token: the same three signed; a wrong PIN leaves the release there as it was.
eval "$(bash "$here/tests/release/make-token.sh" "$work/token")"
SIGN_PIN=$token_pin release "$work/token-release" --pkcs11-module "$token_module" --key "$token_key" --cert "$token_cert" \
  || { cat "$work/release.log"; fail "release.sh through the token"; }
verify_release "$work/token-release" "$token_cert"
before=$(cd "$out" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)
SIGN_PIN=wrong release "$out" --pkcs11-module "$token_module" --key "$token_key" --cert "$token_cert" \
  && fail "a wrong PIN made a release"
[ "$before" = "$(cd "$out" && find . -type f -exec sha256sum {} + | LC_ALL=C sort)" ] || fail "a failed release changed $out"

# Unsigned, packed twice from the one build: said so, and the same bytes as the signed
# release's unsigned copy.
for n in 1 2; do
  release "$work/unsigned$n" || { cat "$work/release.log"; fail "unsigned release.sh"; }
  grep -q " UNSIGNED.txt$" "$work/unsigned$n/SHA256SUMS" || fail "UNSIGNED.txt is not summed"
  for file in "$name.zip" "$name.msi"; do
    cmp "$work/unsigned/$file" "$work/unsigned$n/$file" || fail "$file differs from the unsigned copy"
  done
done

# The signed program starts: /status in a fresh prefix answers 1 (not installed).
set +e
bash "$run_in_prefix" win32 release_signed_status "$work/zip/DriverInstall.exe" /status >"$work/status.log" 2>&1
status=$?
set -e
[ "$status" -eq 1 ] || { cat "$work/status.log"; fail "the signed program's /status ended with $status"; }

# The same folder built again as the same version and one patch version on, for the upgrades.
IFS=. read -r major minor patch <<<"$version"
mkdir -p "$out/same" "$out/next"
bash "$here/scripts/build-msi.sh" "$work/zip" "$BUILD_DIR/msi/DriverInstallAction.dll" "$version" "$out/same/$name.msi"
bash "$here/scripts/build-msi.sh" "$work/zip" "$BUILD_DIR/msi/DriverInstallAction.dll" \
  "$major.$minor.$((patch + 1))" "$out/next/DriverInstall-$major.$minor.$((patch + 1)).msi"
echo "release $version: archives, sums, signatures by .pfx and token, the unsigned copies and the signed program's start checked"
