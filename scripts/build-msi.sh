#!/usr/bin/env bash
# Builds the MSI of a distributable folder with wixl (release/DriverInstall.wxs).
#   build-msi.sh FOLDER ACTION_DLL VERSION OUTPUT.msi
# FOLDER holds DriverInstall.exe, SETUP, SETUP64 and Lang; ACTION_DLL is release/msi_action.c
# built (build/msi/DriverInstallAction.dll); VERSION is MAJOR.MINOR.PATCH.
# The same inputs give the same bytes: the product code comes from the version, the package
# code and the summary's times from the version and SOURCE_DATE_EPOCH (default: the time of
# the source's last commit), and the cabinet's file times from the files'.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: build-msi.sh FOLDER ACTION_DLL VERSION OUTPUT.msi" >&2; exit 2; }
folder=$(realpath "$1") action=$(realpath "$2") version=$3 output=$4
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct)}

# A GUID named by its text: 128 bits of its SHA-256, marked as a name-based GUID (version 5,
# RFC 4122 variant), in the registry's upper case.
named_guid() {
  local h
  h=$(printf '%s' "$1" | sha256sum | cut -c1-32)
  printf '{%s-%s-5%s-%x%s-%s}' "${h:0:8}" "${h:8:4}" "${h:13:3}" $(((0x${h:16:1} & 3) | 8)) "${h:17:3}" "${h:20:12}" |
    tr a-f A-F
}
product_code=$(named_guid "Ketrin Printer Driver Setup product $version")
package_code=$(named_guid "Ketrin Printer Driver Setup package $version $epoch")

# wixl takes source paths relative to where it runs only.
ln -s "$folder" "$work/dist"
ln -s "$action" "$work/DriverInstallAction.dll"
ln -s "$here/app/printer.ico" "$work/printer.ico"
# SETUP, SETUP64 and Lang as one component a file; wixl derives each component's code from
# its path, so that every version names the same components.
# wixl-heat draws each folder's id at random: it is made from the folder's path instead.
(cd "$work/dist" && find SETUP SETUP64 Lang -type f | LC_ALL=C sort | sed 's|^|./|' |
  wixl-heat -p ./ --directory-ref INSTALLDIR --var var.SourceDir --component-group Package) |
  awk '/<Directory Id="dir[0-9A-F]*" Name="/ {
         name = $0; sub(/.*Name="/, "", name); sub(/".*/, "", name)
         path[++depth] = name; id = "dir"
         for (i = 1; i <= depth; i++) id = id "_" path[i]
         gsub(/[^A-Za-z0-9_.]/, "_", id)
         sub(/Id="dir[0-9A-F]*"/, "Id=\"" id "\"") }
       /<\/Directory>/ { depth-- }
       { print }' >"$work/package.wxs"
(cd "$work" && wixl -D Version="$version" -D ProductCode="$product_code" -D SourceDir=dist -D ActionDll=DriverInstallAction.dll -D Icon=printer.ico \
  -o product.msi "$here/release/DriverInstall.wxs" package.wxs)
# Debian 12's wixl (0.101) ignores Execute="rollback"; the type is set here: 1 (a DLL of the
# Binary table) + 64 (result ignored) + 256 (rollback) + 1024 (in the script) + 2048 (as the
# system account).
msibuild "$work/product.msi" -q "UPDATE \`CustomAction\` SET \`Type\` = 3393 WHERE \`Action\` = 'RollbackPrinter'"
# Nor AllowSameVersionUpgrades: the upgrade row takes in the product's own version as well
# (512, the maximum included), so that a build of one version under another product code
# (builds drew one at random before the code came from the version) is replaced by this one
# instead of staying beside it. Attributes is part of the row's key, which UPDATE may not
# change, so the row is made anew.
upgrade=$(msiinfo export "$work/product.msi" Property | sed -n 's/^UpgradeCode\t\([^\r]*\).*/\1/p')
msibuild "$work/product.msi" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade', '$version', 513, 'WIX_UPGRADE_DETECTED')"
# Nor Secure: the properties that reach the install's server side from a client with a user
# interface, the remembered ones included.
msibuild "$work/product.msi" -q "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;PRINTERNAME;PORTNAME;SAVEDPRINTERNAME;SAVEDPORTNAME' WHERE \`Property\` = 'SecureCustomProperties'"
# The package code and the times of the summary, which wixl draws and reads from the clock.
stamp=$(TZ=UTC date -d "@$epoch" '+%Y/%m/%d %H:%M:%S')
mkdir "$work/summary"
msiinfo export "$work/product.msi" _SummaryInformation |
  sed -e "s|^9\t.*|9\t$package_code\r|" -e "s|^\(1[23]\)\t.*|\1\t$stamp\r|" \
    >"$work/summary/_SummaryInformation.idt"
msibuild "$work/product.msi" -i "$work/summary/_SummaryInformation.idt"
mv "$work/product.msi" "$output"
