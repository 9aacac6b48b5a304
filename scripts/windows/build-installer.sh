#!/usr/bin/env bash
# Builds the Windows Installer package <build-dir>/pylvane-<version>-x64.msi from packaging/windows/pylvane.wxs
# with wixl, holding the build's pylvane.exe and its icon. The version is project(VERSION) as the build's CMake
# cache has it. With SIGN_CERT (a PKCS#12 file) and SIGN_PASS_FILE (its password on one line), a copy of the
# program is signed before it goes in and the package after, with osslsigncode; SIGN_TIMESTAMP names a time-stamp
# server, without which none is asked.
#
# The same program, icon and version give the same package, byte for byte: its product and package codes are drawn
# from their contents, and every time stamp in it is SOURCE_DATE_EPOCH (by default the last commit's date). A signed
# package is the exception, as the signature carries the time of signing.
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
command -v faketime >/dev/null || { echo "faketime is missing (make windows-installer installs it)" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)}

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

# A GUID drawn from everything that goes into the package, and a name that keeps the product and package codes
# apart. Any change to the program, the icon, the version or the way the package is made gives new codes, so
# that Windows Installer never takes two different packages for the same one.
contents=$({ echo "$version"; wixl --version; cat "$stage/pylvane.exe" "$stage/pylvane.ico" \
    "$root/packaging/windows/pylvane.wxs" "$0"; } | sha256sum)
guid() {
    local h
    h=$(echo "$1 ${contents%% *}" | sha256sum | tr a-f A-F)
    # Shaped as a name-based GUID (version 5, variant 1), as Windows expects a GUID to be.
    echo "${h:0:8}-${h:8:4}-5${h:13:3}-$(printf %X $((0x${h:16:1} & 3 | 8)))${h:17:3}-${h:20:12}"
}
# wixl writes the time of its run into the summary information and the files' times into the cabinet; gcab turns
# those into local time. The package code (the summary's revision number) is wixl's own random one until msibuild
# sets it below, after the last change to the package.
touch -d "@$epoch" "$stage/pylvane.exe" "$stage/pylvane.ico"
# Held, not started there: faketime's plain form lets the clock run on from the given time, so a tool that took
# over a second on a busy machine wrote the next second. -f with an absolute time holds the clock still.
frozen=(env TZ=UTC faketime -f "$(date -u -d "@$epoch" '+%F %T')")
(cd "$stage" && "${frozen[@]}" wixl -a x64 -D Version="$version" -D ProductCode="$(guid product)" -D Exe=pylvane.exe \
    -D Icon=pylvane.ico -o package.msi "$root/packaging/windows/pylvane.wxs")
# wixl has no way to say it: a rebuild of the same version (with a new product code) replaces the one installed
# instead of going in beside it, as the upgrade of any older version does.
# Its Attributes belong to the table's key, so the table is written anew: 513 is 1 (keep the feature choice)
# and 512 (the highest version included).
(cd "$stage" && msiinfo export package.msi Upgrade |
    awk -F '\t' -v OFS='\t' '$7 ~ /^WIX_UPGRADE_DETECTED\r?$/ { $5 = 513 } 1' >Upgrade.idt &&
    "${frozen[@]}" msibuild package.msi -i Upgrade.idt)
# The action that starts the installed program after a first install with the full user interface, sequenced in
# the source: the program in Documents, as the shortcuts start it, and not waited for. Type 226 is 34 (a program
# run in a folder, Source) and 192 (asynchronous, its end not awaited). The package code, drawn from the contents,
# goes in last.
(cd "$stage" && { msiinfo export package.msi CustomAction | head -n 3 &&
    printf 'StartPylvane\t226\tPersonalFolder\t"[#pylvane.exe]"\t\r\n'; } >CustomAction.idt &&
    "${frozen[@]}" msibuild package.msi -i CustomAction.idt \
        -s "Pylvane $version" Pylvane "x64;1033" "{$(guid package)}")

if [ -n "${SIGN_CERT:-}" ]; then
    sign "$stage/package.msi"
    echo "Signed pylvane.exe and the package with $SIGN_CERT"
else
    echo "Not signed: no SIGN_CERT given"
fi
mv "$stage/package.msi" "$msi"
rm -rf "$stage"
echo "$msi"
