#!/usr/bin/env bash
# Builds the MSI of a distributable folder with wixl (release/DriverInstall.wxs).
#   build-msi.sh FOLDER ACTION_DLL VERSION OUTPUT.msi
# FOLDER holds DriverInstall.exe, SETUP, SETUP64 and Lang; ACTION_DLL is release/msi_action.c
# built (build/msi/DriverInstallAction.dll); VERSION is MAJOR.MINOR.PATCH.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: build-msi.sh FOLDER ACTION_DLL VERSION OUTPUT.msi" >&2; exit 2; }
folder=$(realpath "$1") action=$(realpath "$2") version=$3 output=$4
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# wixl takes source paths relative to where it runs only.
ln -s "$folder" "$work/dist"
ln -s "$action" "$work/DriverInstallAction.dll"
ln -s "$here/app/printer.ico" "$work/printer.ico"
# SETUP, SETUP64 and Lang as one component a file; wixl derives each component's code from
# its path, so that every version names the same components.
(cd "$work/dist" && find SETUP SETUP64 Lang -type f | LC_ALL=C sort | sed 's|^|./|' |
  wixl-heat -p ./ --directory-ref INSTALLDIR --var var.SourceDir --component-group Package) >"$work/package.wxs"
(cd "$work" && wixl -D Version="$version" -D SourceDir=dist -D ActionDll=DriverInstallAction.dll -D Icon=printer.ico \
  -o product.msi "$here/release/DriverInstall.wxs" package.wxs)
# Debian 12's wixl (0.101) ignores Execute="rollback"; the type is set here: 1 (a DLL of the
# Binary table) + 64 (result ignored) + 256 (rollback) + 1024 (in the script) + 2048 (as the
# system account).
msibuild "$work/product.msi" -q "UPDATE \`CustomAction\` SET \`Type\` = 3393 WHERE \`Action\` = 'RollbackPrinter'"
# Nor AllowSameVersionUpgrades: the upgrade row takes in the product's own version as well
# (512, the maximum included), so that another build of one version replaces the installed
# one instead of going in beside it. Attributes is part of the row's key, which UPDATE may not
# change, so the row is made anew.
upgrade=$(msiinfo export "$work/product.msi" Property | sed -n 's/^UpgradeCode\t\([^\r]*\).*/\1/p')
msibuild "$work/product.msi" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade', '$version', 513, 'WIX_UPGRADE_DETECTED')"
# Nor Secure: the properties that reach the install's server side from a client with a user
# interface, the remembered ones included.
msibuild "$work/product.msi" -q "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;PRINTERNAME;PORTNAME;SAVEDPRINTERNAME;SAVEDPORTNAME' WHERE \`Property\` = 'SecureCustomProperties'"
mv "$work/product.msi" "$output"
