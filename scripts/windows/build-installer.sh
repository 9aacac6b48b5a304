#!/usr/bin/env bash
# Builds the Windows Installer package <build-dir>/pylvane-<version>-x64.msi from packaging/windows/pylvane.wxs
# with wixl, holding the build's pylvane.exe and its icon. The version is project(VERSION) as the build's CMake
# cache has it. With SIGN_CERT (a PKCS#12 file) and SIGN_PASS_FILE (its password on one line), a copy of the
# program is signed before it goes in and the package after, with osslsigncode; SIGN_TIMESTAMP names a time-stamp
# server, without which none is asked.
#
# Usage: scripts/windows/build-installer.sh <build-dir> [version [out-dir]]
#   version  builds the package as this version instead (for testing upgrades)
#   out-dir  where the package goes instead of <build-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
version=${2:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt (run make windows)" >&2; exit 1; }
for file in "$build/pylvane.exe" "$build/src/pylvane.ico"; do
    [ -f "$file" ] || { echo "$file is missing (run make windows)" >&2; exit 1; }
done
out=$(cd "${3:-$build}" && pwd)
msi=$out/pylvane-$version-x64.msi

# wixl takes only relative source paths; the package is put together in a folder of its own, with its own copy
# of the program, so that signing leaves the build's file as the build made it.
stage=$out/installer-stage
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/pylvane.exe" "$build/src/pylvane.ico" "$stage/"

sign() {
    local args=(-pkcs12 "$SIGN_CERT" -readpass "$SIGN_PASS_FILE" -n Pylvane -h sha256)
    [ -z "${SIGN_TIMESTAMP:-}" ] || args+=(-ts "$SIGN_TIMESTAMP")
    osslsigncode sign "${args[@]}" -in "$1" -out "$1.signed" >/dev/null
    mv "$1.signed" "$1"
}
if [ -n "${SIGN_CERT:-}" ]; then
    [ -f "$SIGN_CERT" ] && [ -f "${SIGN_PASS_FILE:-}" ] ||
        { echo "SIGN_CERT needs SIGN_PASS_FILE, and both files must exist" >&2; exit 1; }
    sign "$stage/pylvane.exe"
fi

(cd "$stage" && wixl -a x64 -D Version="$version" -D Exe=pylvane.exe -D Icon=pylvane.ico -o package.msi \
    "$root/packaging/windows/pylvane.wxs")
# wixl has no way to say it: a rebuild of the same version (with a new product code) replaces the one installed
# instead of going in beside it, as the upgrade of any older version does.
# Its Attributes belong to the table's key, so the table is written anew: 513 is 1 (keep the feature choice)
# and 512 (the highest version included).
(cd "$stage" && msiinfo export package.msi Upgrade |
    awk -F '\t' -v OFS='\t' '$7 ~ /^WIX_UPGRADE_DETECTED\r?$/ { $5 = 513 } 1' >Upgrade.idt &&
    msibuild package.msi -i Upgrade.idt)
# The action that starts the installed program after a first install with the full user interface, sequenced in
# the source: the program in Documents, as the shortcuts start it, and not waited for. Type 226 is 34 (a program
# run in a folder, Source) and 192 (asynchronous, its end not awaited).
(cd "$stage" && { msiinfo export package.msi CustomAction | head -n 3 &&
    printf 'StartPylvane\t226\tPersonalFolder\t"[#pylvane.exe]"\t\r\n'; } >CustomAction.idt &&
    msibuild package.msi -i CustomAction.idt)

if [ -n "${SIGN_CERT:-}" ]; then
    sign "$stage/package.msi"
    echo "Signed pylvane.exe and the package with $SIGN_CERT"
else
    echo "Not signed: no SIGN_CERT given"
fi
mv "$stage/package.msi" "$msi"
rm -rf "$stage"
echo "$msi"
