#!/usr/bin/env bash
# Makes a release signed with a throwaway certificate, as scripts/release.sh makes one, into
# OUT, and checks it: the archive holds the distributable folder and nothing else, SHA256SUMS
# matches, the program and the MSI verify against the certificate and a changed byte breaks
# the program's signature, and the signed program still runs. Leaves in OUT the release and,
# for the MSI tests, the MSI of the same folder built again (OUT/same) and one version on
# (OUT/next).
#   release_test.sh BUILD_DIR OUT RUN_IN_PREFIX
set -euo pipefail
build=$1 out=$2 run_in_prefix=$3
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=DriverInstall test signing" \
  -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:"test pass" -out "$work/test.pfx"
SIGN_PASSWORD="test pass" BUILD_DIR=$build RELEASE_DIR=$out bash "$here/scripts/release.sh" --sign "$work/test.pfx" >"$work/release.log" 2>&1 \
  || { cat "$work/release.log"; fail "release.sh"; }
version=$(sed -n 's/^#define DI_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/product_version.h")
name=DriverInstall-$version

# Nothing but the two files and their sums, which hold.
[ "$(ls "$out" | LC_ALL=C sort | tr '\n' ' ')" = "$name.msi $name.zip SHA256SUMS " ] || fail "release folder: $(ls "$out")"
(cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS"
[ "$(cut -d' ' -f3 "$out/SHA256SUMS" | tr '\n' ' ')" = "$name.zip $name.msi " ] || fail "SHA256SUMS names: $(cat "$out/SHA256SUMS")"

# The archive: every file of the distributable folder with its bytes, the program signed.
unzip -q "$out/$name.zip" -d "$work/zip"
diff <(cd "$build/dist" && find DriverInstall.exe SETUP SETUP64 Lang -type f | LC_ALL=C sort) \
     <(cd "$work/zip" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) || fail "the archive's files"
diff -r -x DriverInstall.exe "$build/dist" "$work/zip" || fail "the archive's bytes"

verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
verify "$work/zip/DriverInstall.exe" || { cat "$work/verify.log"; fail "the archive's program is not signed"; }
verify "$out/$name.msi" || { cat "$work/verify.log"; fail "the MSI is not signed"; }
msiextract -C "$work/msi" "$out/$name.msi" >/dev/null
installed=$(find "$work/msi" -name DriverInstall.exe)
cmp -s "$installed" "$work/zip/DriverInstall.exe" || fail "the MSI's program is not the archive's"

# One byte of the signed code changed: the signature no longer verifies.
cp "$work/zip/DriverInstall.exe" "$work/changed.exe"
byte=$(od -An -tu1 -j4096 -N1 "$work/changed.exe")
printf "\\x$(printf %02x $((byte ^ 0xff)))" | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc status=none
verify "$work/changed.exe" && fail "a changed program still verifies"

# The signed program starts: /status in a fresh prefix answers 1 (not installed).
set +e
bash "$run_in_prefix" win32 release_signed_status "$work/zip/DriverInstall.exe" /status >"$work/status.log" 2>&1
status=$?
set -e
[ "$status" -eq 1 ] || { cat "$work/status.log"; fail "the signed program's /status ended with $status"; }

# The same folder built again as the same version and one patch version on, for the upgrades.
IFS=. read -r major minor patch <<<"$version"
mkdir -p "$out/same" "$out/next"
bash "$here/scripts/build-msi.sh" "$work/zip" "$build/msi/DriverInstallAction.dll" "$version" "$out/same/$name.msi"
bash "$here/scripts/build-msi.sh" "$work/zip" "$build/msi/DriverInstallAction.dll" \
  "$major.$minor.$((patch + 1))" "$out/next/DriverInstall-$major.$minor.$((patch + 1)).msi"
echo "release $version: archive, sums, signatures and the signed program's start checked"
