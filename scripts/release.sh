#!/usr/bin/env bash
# Builds a release into build/release: DriverInstall-<version>.zip (the distributable folder),
# DriverInstall-<version>.msi and SHA256SUMS of the two. The version is the project's
# (CMakeLists.txt).
#   release.sh [--sign FILE.pfx [--timestamp URL]]
# --sign: DriverInstall.exe is signed before it goes into the archive and the MSI, and the
# MSI once it is built (Authenticode, SHA-256); the password of the .pfx is read from
# SIGN_PASSWORD. --timestamp: each signature is countersigned by that RFC 3161 server.
# BUILD_DIR (build) and RELEASE_DIR (BUILD_DIR/release) say where.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
usage() { echo "usage: release.sh [--sign FILE.pfx [--timestamp URL]]" >&2; exit 2; }

pfx="" timestamp=""
while [ $# -gt 0 ]; do
  case $1 in
    --sign) [ $# -ge 2 ] || usage; pfx=$(realpath "$2"); shift 2 ;;
    --timestamp) [ $# -ge 2 ] || usage; timestamp=$2; shift 2 ;;
    *) usage ;;
  esac
done
if [ -n "$pfx" ]; then
  [ -f "$pfx" ] || { echo "no such file: $pfx" >&2; exit 2; }
  [ -n "${SIGN_PASSWORD+set}" ] || { echo "--sign: set SIGN_PASSWORD to the password of $pfx" >&2; exit 2; }
elif [ -n "$timestamp" ]; then
  usage
fi

bash "$here/scripts/setup.sh"
build=${BUILD_DIR:-$here/build}
release=${RELEASE_DIR:-$build/release}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >"$here/build-configure.log" 2>&1 \
  || { cat "$here/build-configure.log"; exit 1; }
cmake --build "$build" -j"$(nproc)" --target dist msi_action
version=$(sed -n 's/^#define DI_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/product_version.h")
name=DriverInstall-$version

sign() {
  local args=(sign -pkcs12 "$pfx" -readpass /dev/stdin -h sha256 -n "Ketrin Printer Driver Setup")
  [ -z "$timestamp" ] || args+=(-ts "$timestamp")
  printf '%s' "$SIGN_PASSWORD" | osslsigncode "${args[@]}" -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
}

# The distributable folder, copied so that signing leaves the build's program as it is.
stage=$(mktemp -d "$build/release-stage.XXXXXX")
trap 'rm -rf "$stage"' EXIT
for part in DriverInstall.exe SETUP SETUP64 Lang; do
  cp -r "$build/dist/$part" "$stage/"
done
[ -z "$pfx" ] || sign "$stage/DriverInstall.exe"

rm -rf "$release"
mkdir -p "$release"
(cd "$stage" && zip -q -r -X -D "$release/$name.zip" DriverInstall.exe SETUP SETUP64 Lang)
bash "$here/scripts/build-msi.sh" "$stage" "$build/msi/DriverInstallAction.dll" "$version" "$release/$name.msi"
[ -z "$pfx" ] || sign "$release/$name.msi"
(cd "$release" && sha256sum "$name.zip" "$name.msi" >SHA256SUMS)

echo "Release $version in $release: $name.zip, $name.msi, SHA256SUMS"
# Deployment tools detect the MSI by this code, new with every build.
echo "Product code of $name.msi: $(msiinfo export "$release/$name.msi" Property | sed -n 's/^ProductCode\t\([^\r]*\).*/\1/p')"
if [ -z "$pfx" ]; then
  echo "UNSIGNED: neither DriverInstall.exe nor the MSI carries a signature (release.sh --sign FILE.pfx)."
elif [ -z "$timestamp" ]; then
  echo "Signed without a time stamp: the signatures stop being valid when the certificate expires (--timestamp URL)."
fi
