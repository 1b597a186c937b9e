#!/usr/bin/env bash
# Builds a release into build/release: DriverInstall-<version>.zip (the distributable folder),
# DriverInstall-<version>.msi and SHA256SUMS of them; an unsigned release also carries
# UNSIGNED.txt, listed in SHA256SUMS. The version is the project's (CMakeLists.txt).
#   release.sh [--sign FILE.pfx | --pkcs11-module MODULE.so --key 'pkcs11:...' --cert CERT.pem]
#              [--timestamp URL] [--unsigned-copy DIR]
# --sign: Authenticode (SHA-256) with the key of a .pfx, whose password is read from
# SIGN_PASSWORD. --pkcs11-module: with a key on a hardware token or HSM through its PKCS#11
# module, the key named by its pkcs11: URI, the certificate (and its chain) from CERT.pem, the
# PIN read from SIGN_PIN. Either signs DriverInstall.exe and the MSI's action DLL before they
# are packed, and the MSI once it is built. The password or PIN leaves the environment before
# any other program starts and reaches the signing tool on its input only. --timestamp: each
# signature is countersigned by that RFC 3161 server. --unsigned-copy: DIR also gets the zip,
# the MSI and SHA256SUMS as they are before any signature, to compare with a rebuild.
# The same commit gives the same bytes: every time in the archive, the MSI and the PE files
# comes from SOURCE_DATE_EPOCH (default: the time of the source's last commit).
# The release is made aside and takes the place of build/release only when all of it,
# signing included, succeeded; a failure leaves the previous one as it was.
# BUILD_DIR (build/release-build, a build of its own, never the test suite's) and RELEASE_DIR
# (build/release) say where; LIBINTL_DIR, where a cross-built libintl is to be taken from; DI_NO_SETUP=1 skips scripts/setup.sh (the test
# suite, whose command ran it already).
set -Eeuo pipefail
# Builtins only until the secret is out of the environment.
case $0 in */*) here=${0%/*}/.. ;; *) here=.. ;; esac
here=$(cd "$here" && pwd)
# shellcheck source=scripts/sign.sh
source "$here/scripts/sign.sh"
usage() {
  echo "usage: release.sh [--sign FILE.pfx | --pkcs11-module MODULE.so --key URI --cert CERT.pem] [--timestamp URL] [--unsigned-copy DIR]" >&2
  exit 2
}

pfx="" pkcs11_module="" pkcs11_key="" cert="" timestamp="" unsigned_copy=""
while [ $# -gt 0 ]; do
  case $1 in
    --sign | --pkcs11-module | --key | --cert | --timestamp | --unsigned-copy) [ $# -ge 2 ] || usage ;;&
    --sign) pfx=$2 ;;
    --pkcs11-module) pkcs11_module=$2 ;;
    --key) pkcs11_key=$2 ;;
    --cert) cert=$2 ;;
    --timestamp) timestamp=$2 ;;
    --unsigned-copy) unsigned_copy=$2 ;;
    *) usage ;;
  esac
  shift 2
done
sign_read_secret
sign_check || exit 2

[ "${DI_NO_SETUP:-}" = 1 ] || bash "$here/scripts/setup.sh"
build=${BUILD_DIR:-$here/build/release-build}
release=$(realpath -m "${RELEASE_DIR:-$here/build/release}")
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct)}
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF ${LIBINTL_DIR:+-DLIBINTL_DIR="$LIBINTL_DIR"} \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target dist msi_action
version=$(sed -n 's/^#define DI_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/product_version.h")
name=DriverInstall-$version

# Beside the release folder, so that the finished one takes its place in one rename.
mkdir -p "${release%/*}"
work=$(mktemp -d "${release%/*}/.release-work.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'echo "release.sh: stopped; $release is as it was." >&2' ERR
stage=$work/stage
mkdir "$stage"
for part in DriverInstall.exe SETUP SETUP64 Lang; do
  cp -r "$build/dist/$part" "$stage/"
done
cp "$build/msi/DriverInstallAction.dll" "$work/DriverInstallAction.dll"

# Every file of the archive and the MSI's cabinet with the same time and mode on every
# machine; the signatures change the two signed files after this, so they are set again.
settle() {
  find "$@" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
  find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
# The archive, its entries sorted, without extra attributes or folder entries, the times in
# UTC; then the MSI of the same folder.
pack() {
  mkdir -p "$1"
  (cd "$stage" && find DriverInstall.exe SETUP SETUP64 Lang -type f | LC_ALL=C sort |
    TZ=UTC zip -q -X -D "$1/$name.zip" -@)
  bash "$here/scripts/build-msi.sh" "$stage" "$work/DriverInstallAction.dll" "$version" "$1/$name.msi"
}
sums() { (cd "$1" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS); }

settle "$stage" "$work/DriverInstallAction.dll"
if [ -n "$unsigned_copy" ]; then
  pack "$work/unsigned"
  sums "$work/unsigned"
fi
out=$work/release
if [ "$sign_mode" != none ]; then
  sign_file "$stage/DriverInstall.exe"
  sign_file "$work/DriverInstallAction.dll"
  settle "$stage/DriverInstall.exe" "$work/DriverInstallAction.dll"
  pack "$out"
  sign_file "$out/$name.msi"
else
  pack "$out"
  cat >"$out/UNSIGNED.txt" <<EOF
This release of the Ketrin Printer Driver Setup $version is not signed: neither
DriverInstall.exe, the MSI's action DLL nor $name.msi carries a signature. Sign it with
scripts/release.sh --sign FILE.pfx or --pkcs11-module MODULE.so --key URI --cert CERT.pem.
EOF
fi
sums "$out"

# All of it succeeded: the new release takes the place of the old one.
[ ! -e "$release" ] || mv "$release" "$work/previous"
mv "$out" "$release"
if [ -n "$unsigned_copy" ]; then
  rm -rf "$unsigned_copy"
  mv "$work/unsigned" "$unsigned_copy"
fi

echo "Release $version in $release: $(cd "$release" && echo *)"
# Deployment tools detect the MSI by this code, the same for every build of this version.
echo "Product code of $name.msi: $(msiinfo export "$release/$name.msi" Property | sed -n 's/^ProductCode\t\([^\r]*\).*/\1/p')"
if [ "$sign_mode" = none ]; then
  echo "UNSIGNED: nothing in this release carries a signature (UNSIGNED.txt says so too)."
elif [ -z "$timestamp" ]; then
  echo "Signed without a time stamp: the signatures stop being valid when the certificate expires (--timestamp URL)."
fi
