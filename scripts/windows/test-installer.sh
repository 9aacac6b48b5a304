#!/usr/bin/env bash
# The Windows Installer package under Wine, in a Wine prefix of its own whose user folders lie in a folder of the
# test's own: the start after an install with the user interface, install, shortcuts and uninstall entry, the
# installed program's first cycle started as its Startup shortcut starts it, its restart registration, an upgrade
# while it runs, the same version again, a refused downgrade, uninstall, an install without the Startup shortcut,
# and signing. As root the session runs in a network namespace with a silent host, which the program's run needs
# (scripts/windows/test.sh); otherwise that run is skipped.
#
# Usage: scripts/windows/test-installer.sh <build-dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
if [ -z "${WINEPREFIX:-}" ]; then
    if [ -z "${PYLVANE_SILENT_HOST:-}" ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
        exec unshare -n "$here/../silent-host.sh" "$0" "$build"
    fi
    rm -rf "$build/wine-installer" "$build/wine-installer-home"
    mkdir -p "$build/wine-installer-home"
    # Wine links the user's Documents to $HOME.
    HOME=$build/wine-installer-home exec "$here/wine-session.sh" "$build/wine-installer" "$0" "$build"
fi

source "$here/wine-tools.sh"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
IFS=. read -r major minor patch <<<"$version"
higher=$major.$minor.$((patch + 1))
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
check() {
    if "${@:2}" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
msiexec() { "$wine" msiexec "$1" "$(winepath -w "$2")" /qn "${@:3}" </dev/null >/dev/null 2>&1; }
install_with_ui() { QT_QPA_PLATFORM=offscreen "$wine" msiexec /i "$(winepath -w "$1")" </dev/null >/dev/null 2>&1; }
winepath() { "$wine" winepath "$@" </dev/null 2>/dev/null; }
# Every entry named Pylvane; Wine keeps a per-user product's entry under HKLM, Windows under HKCU.
entries() {
    for root in HKCU HKLM; do
        "$wine" reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s </dev/null 2>/dev/null
    done | tr -d '\r' | awk -v RS= -v ORS='\n\n' '/\n +DisplayName +REG_SZ +Pylvane(\n|$)/'
}
value() { sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
# The target's path is stored as 8-bit text, the working folder as UTF-16; both printed as Unix paths.
shortcut() {
    local target folder
    target=$(strings -a "$1" | grep -im1 '^[a-z]:\\.*\.exe$') &&
        folder=$(strings -a -el "$1" | grep -im1 '^[a-z]:\\.*\\$') &&
        realpath "$(winepath -u "$target")" "$(winepath -u "$folder")"
}

user=$WINEPREFIX/drive_c/users/$(id -un)
exe=$user/AppData/Local/Programs/Pylvane/pylvane.exe
menu=$user/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Pylvane.lnk
startup=$user/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/StartUp/Pylvane.lnk
documents=$user/Documents

# The installed program's processes, each as "<pid> <working folder>": Wine starts a process in the Unix folder of
# its Windows working folder.
installed_programs() {
    local proc
    for proc in /proc/[0-9]*; do
        [[ $(tr '\0' ' ' 2>/dev/null <"$proc/cmdline") == *[/\\]Pylvane[/\\]pylvane.exe* ]] &&
            echo "${proc#/proc/} $(realpath "$proc/cwd" 2>/dev/null)"
    done
    return 0
}
running() { [ -n "$(installed_programs)" ]; }
within_10s() { for _ in $(seq 50); do "$@" && return 0; sleep 0.2; done; return 1; }
stop_installed_programs() {
    # shellcheck disable=SC2046 # one argument for each process
    kill $(installed_programs | cut -d' ' -f1) 2>/dev/null || true
    within_10s eval '! running' || true
}

# The package has no dialogs: opened, it installs and then starts the program as the Start menu shortcut does.
check "the package installs with the user interface" install_with_ui "$build/pylvane-$version-x64.msi"
within_10s running || true
check "a first install with the user interface starts the program once, in Documents" \
    test "$(installed_programs | cut -d' ' -f2-)" = "$(realpath "$documents")"
stop_installed_programs
check "the package uninstalls after that install" msiexec /x "$build/pylvane-$version-x64.msi"

check "the package installs" msiexec /i "$build/pylvane-$version-x64.msi"
sleep 3
check "a quiet install starts nothing" test -z "$(installed_programs)"
# Deleting the settings, as a user may to start afresh, leaves the installation whole.
"$wine" reg delete 'HKCU\Software\Pylvane' /f </dev/null >/dev/null 2>&1 || true
check "deleting the settings key leaves the installer's records" \
    "$wine" reg query 'HKCU\Software\Pylvane Installer' /v Program
check "the program is installed" cmp "$exe" "$build/pylvane.exe"
expected_shortcut=$(realpath "$exe" "$documents")
check "the Start menu shortcut starts the program in Documents" test "$(shortcut "$menu")" = "$expected_shortcut"
check "the Startup shortcut starts the program in Documents" test "$(shortcut "$startup")" = "$expected_shortcut"
entry=$(entries)
check "one uninstall entry, Pylvane $version" \
    test "$(grep -c ^HKEY_ <<<"$entry")/$(value DisplayVersion <<<"$entry")" = "1/$version"
# Wine writes no DisplayIcon; it records ARPPRODUCTICON's icon, cached where Windows caches it, as the product's.
icon=$(value DisplayIcon <<<"$entry")
[ -n "$icon" ] ||
    icon=$("$wine" reg query 'HKCU\Software\Microsoft\Installer\Products' /s </dev/null | tr -d '\r' |
        value ProductIcon)
check "the uninstall entry has the program's icon" cmp "$(winepath -u "${icon%,0}")" "$build/src/pylvane.ico"

run=passed
mapfile -t started < <(shortcut "$startup")
bash "$here/../../tests/e2e/program_run_wine.sh" "${started[0]:-}" "$build/tests/probes/probe_sleeper.exe" \
    "${started[1]:-}" ||
    { [ $? = 77 ] && run=skipped; } || { run=FAILED; failed=$((failed + 1)); }
# The package has nothing in Documents, where that run wrote its log, and must keep it so.
[ "$run" != passed ] || cp "$documents/PylvaneLog.txt" "$tmp/log"
"$wine" reg add 'HKCU\Software\Pylvane' /v e1 /d 192.0.2.1 /f </dev/null >/dev/null 2>&1

# A newer program: the same with bytes added at the end, which Windows ignores.
mkdir -p "$tmp/newer/src" "$tmp/again"
cp "$build/pylvane.exe" "$tmp/newer/" && printf newer >>"$tmp/newer/pylvane.exe"
cp "$build/src/pylvane.ico" "$tmp/newer/src/"
bash "$here/build-installer.sh" "$tmp/newer" "$higher" "$tmp" >/dev/null 2>&1
# Wine only shows the restart registration as a call to a function that it does not implement, with the command
# line, which must bring the program back to its working folder, where its log lies.
(cd "$documents" && QT_QPA_PLATFORM=offscreen WINEDEBUG=-all,fixme+process exec "$wine" "$exe") </dev/null \
    >/dev/null 2>"$tmp/program-output" &
app=$!
sleep 5
check "the program registers to be restarted after an update, in Documents" \
    grep -q 'RegisterApplicationRestart (L".*Documents' "$tmp/program-output"
status=0
msiexec /i "$tmp/pylvane-$higher-x64.msi" || status=$?
check "an upgrade while the program runs asks for a restart (3010)" test "$status" = $((3010 % 256))
check "the running program's file stays whole until then" cmp "$exe" "$build/pylvane.exe"
{ kill "$app" && wait "$app"; } 2>/dev/null || true
"$wine" wineboot -r </dev/null >/dev/null 2>&1
check "after the restart the newer program is in place" cmp "$exe" "$tmp/newer/pylvane.exe"
check "the upgrade leaves one entry, the newer" \
    test "$(entries | grep -c ^HKEY_)/$(entries | value DisplayVersion)" = "1/$higher"
check "the Startup shortcut stays through the upgrade" test -f "$startup"

# Built again from a program that differs: the same version, with another product code and package code.
mkdir -p "$tmp/rebuilt/src"
cp "$tmp/newer/pylvane.exe" "$tmp/rebuilt/" && printf again >>"$tmp/rebuilt/pylvane.exe"
cp "$build/src/pylvane.ico" "$tmp/rebuilt/src/"
bash "$here/build-installer.sh" "$tmp/rebuilt" "$higher" "$tmp/again" >/dev/null 2>&1
codes() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; msiinfo suminfo "$1" | grep UUID; }
no_code_shared() { ! grep -qFxf <(codes "$1") <(codes "$2"); }
check "the rebuild gets another product code and package code" \
    no_code_shared "$tmp/again/pylvane-$higher-x64.msi" "$tmp/pylvane-$higher-x64.msi"
check "the same version installs again with the user interface" install_with_ui "$tmp/again/pylvane-$higher-x64.msi"
check "the same version installed again leaves one entry" test "$(entries | grep -c ^HKEY_)" = 1
sleep 3
check "an install over an installed version starts nothing" test -z "$(installed_programs)"
stop_installed_programs
# Refused by the package's launch condition (its message is not logged by Wine): 1603, a fatal error.
status=0
msiexec /i "$build/pylvane-$version-x64.msi" || status=$?
check "an older version is refused" test "$status" = $((1603 % 256))
check "the refused older version leaves the rebuilt one in place" cmp "$exe" "$tmp/rebuilt/pylvane.exe"

check "the package uninstalls" msiexec /x "$tmp/again/pylvane-$higher-x64.msi"
check "uninstall removes the program and its folder" test ! -e "$(dirname "$exe")"
check "uninstall removes both shortcuts" test ! -e "$menu" -a ! -e "$startup"
check "uninstall removes the uninstall entry" test -z "$(entries)"
check "uninstall keeps the settings" "$wine" reg query 'HKCU\Software\Pylvane' /v e1
[ "$run" != passed ] || check "uninstall keeps the log" cmp "$documents/PylvaneLog.txt" "$tmp/log"
no_key() { ! "$wine" reg query "$1" </dev/null; }
check "uninstall removes the installer's records" no_key 'HKCU\Software\Pylvane Installer'

check "the package installs with ADDLOCAL=Program" msiexec /i "$build/pylvane-$version-x64.msi" ADDLOCAL=Program
check "ADDLOCAL=Program installs the program and its Start menu shortcut" test -f "$exe" -a -f "$menu"
check "ADDLOCAL=Program leaves out the Startup shortcut" test ! -e "$startup"

# Signing with a throw-away certificate; the build's own program stays unsigned.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Pylvane test" -addext extendedKeyUsage=codeSigning \
    -keyout "$tmp/key.pem" -out "$tmp/cert.pem" >/dev/null 2>&1
echo test-password >"$tmp/pass"
openssl pkcs12 -export -inkey "$tmp/key.pem" -in "$tmp/cert.pem" -passout "file:$tmp/pass" -out "$tmp/cert.pfx"
mkdir "$tmp/signed"
SIGN_CERT=$tmp/cert.pfx SIGN_PASS_FILE=$tmp/pass \
    bash "$here/build-installer.sh" "$build" "$version" "$tmp/signed" >/dev/null 2>&1
msiextract -C "$tmp/signed/files" "$tmp/signed/pylvane-$version-x64.msi" >/dev/null 2>&1
check "the package is signed" osslsigncode verify -CAfile "$tmp/cert.pem" -in "$tmp/signed/pylvane-$version-x64.msi"
check "the program in it is signed" osslsigncode verify -CAfile "$tmp/cert.pem" \
    -in "$(find "$tmp/signed/files" -name pylvane.exe)"
unsigned() { ! osslsigncode verify -CAfile "$tmp/cert.pem" -in "$1"; }
check "the build's own program stays unsigned" unsigned "$build/pylvane.exe"

echo "Installer test: $passed passed, $failed failed; the installed program's first cycle: $run"
[ "$failed" = 0 ]
