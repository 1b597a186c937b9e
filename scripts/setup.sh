#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build the installer, run it under Wine and
# make a release.
# Does nothing when everything is already present.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32
  g++-mingw-w64-x86-64-posix
  wine wine32:i386 wine64
  xvfb xauth
  gettext
  cmake make
  fonts-wine fonts-wqy-microhei
  dpkg-dev
  googletest
  x11-apps netpbm xdotool
  clang libclang-rt-14-dev
  wixl msitools osslsigncode openssl zip unzip
  softhsm2 opensc libengine-pkcs11-openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_=""
[ "$(id -u)" -eq 0 ] || sudo_="sudo"

need_src=0
if [ ! -f /etc/apt/sources.list.d/deb-src.sources ] && ! grep -rqs '^\(deb-src\|Types:.*deb-src\)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  need_src=1
fi

if [ "${#missing[@]}" -eq 0 ] && [ "$need_src" -eq 0 ]; then
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_ dpkg --add-architecture i386
fi

# libintl is built from Debian's gettext sources, so the source index must be known to apt.
if [ "$need_src" -eq 1 ]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  $sudo_ tee /etc/apt/sources.list.d/deb-src.sources >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${codename} ${codename}-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi

$sudo_ apt-get update -qq
if [ "${#missing[@]}" -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
