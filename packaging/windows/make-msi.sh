#!/usr/bin/env bash
# Makes the Windows Installer package of a runnable folder (the one
# tools/windows.sh lays out) with Debian's wixl and msibuild (msitools):
# vontra-meters.wxs beside this script, plus one component for every other
# file of the folder.
#
#   packaging/windows/make-msi.sh FOLDER VERSION MSI
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 FOLDER VERSION MSI" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
folder=$(realpath "$1")
version=$2
msi=$(realpath -m "$3")
icon=$here/../../resources/ico/BelvaneIcon256x256Border.ico
# Windows Installer's limits: major and minor up to 255, build up to 65535.
IFS=. read -r major minor build _ <<<"$version"
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+(\.[0-9]+)?$ ]] ||
    [ "$major" -gt 255 ] || [ "$minor" -gt 255 ] || [ "$build" -gt 65535 ]; then
    echo "make-msi.sh: $version is no Windows Installer version" >&2
    exit 2
fi
for f in vontra-meters.exe vontra.dll; do
    [ -f "$folder/$f" ] || { echo "make-msi.sh: no $f in $folder" >&2; exit 1; }
done

# wixl reads sources only below its working folder.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
ln -s "$folder" "$stage/files"
cp "$icon" "$stage/VontraMeters.ico"
cp "$here/vontra-meters.wxs" "$stage/"

# The program and the library have components of their own in the source.
(cd "$stage" && find -L files -type f ! -path files/vontra-meters.exe ! -path files/vontra.dll |
    LC_ALL=C sort |
    wixl-heat -p files/ --directory-ref INSTALLDIR --component-group RunnableFolder \
        --var var.SourceDir |
    sed 's/<Component /<Component Win64="yes" /' >runnable-folder.wxs)
(cd "$stage" && wixl --arch x64 --define Version="$version" --define SourceDir=files \
    --output package.msi vontra-meters.wxs runnable-folder.wxs)

# What wixl cannot express. The optional features' levels (it has no
# Condition table): level 0 leaves a feature out. The properties are
# remembered, so a repair or an upgrade leaves out the same features.
{
    printf 'Feature_\tLevel\tCondition\r\ns38\ti2\tS255\r\nCondition\tFeature_\tLevel\r\n'
    printf 'StandInLibrary\t0\t%s\r\n' 'CONSOLE_LIBRARY~="maker"'
    printf 'MakerLibrary\t0\t%s\r\n' 'CONSOLE_LIBRARY~<>"maker"'
    printf 'Autostart\t0\t%s\r\n' 'AUTOSTART<>"1"'
} >"$stage/Condition.idt"
msibuild "$stage/package.msi" -i "$stage/Condition.idt"
# The public properties an elevated install takes from the command line.
msibuild "$stage/package.msi" -q "UPDATE \`Property\` SET \`Value\` =
    'OLDER_VERSION_FOUND;NEWER_VERSION_FOUND;AUTOSTART;CONSOLE_LIBRARY'
    WHERE \`Property\` = 'SecureCustomProperties'"
# Windows Installer compares three version fields only, so the upgrade must
# include the maximum, this very version, for a build that differs in the
# fourth field to replace the one before; wixl does not set that bit
# (msidbUpgradeAttributesVersionMaxInclusive), and a key column cannot be
# updated: the table goes out and back in.
readonly max_inclusive=512
msiinfo export "$stage/package.msi" Upgrade |
    awk -F'\t' -v OFS='\t' -v bit=$max_inclusive \
        'NR > 3 && $7 ~ /^OLDER_VERSION_FOUND\r?$/ && $5 % (2 * bit) < bit { $5 += bit } 1' >"$stage/Upgrade.idt"
msibuild "$stage/package.msi" -i "$stage/Upgrade.idt"

mv "$stage/package.msi" "$msi"
echo "MSI: $msi ($version)"
