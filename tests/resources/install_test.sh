#!/usr/bin/env bash
# Desktop integration: what `make install` puts where, and when it gives the program the right to send ICMP echo.
# Usage: install_test.sh <cmake> <source dir> <build dir>
set -uo pipefail
cmake=$1 source=$2 build=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

make_() { env -u MAKEFLAGS -u MAKELEVEL make -s -C "$source" "$@" BUILD_DIR="$build" PREFIX="$prefix"; }

# --- make install: what was built, never a build of its own ----------------------------------------------------
prefix=$tmp/prefix
mkdir "$tmp/unbuilt"
status=0
output=$(env -u MAKEFLAGS -u MAKELEVEL make -s -C "$source" install BUILD_DIR="$tmp/unbuilt" 2>&1) || status=$?
[ $status != 0 ] && [ -z "$(ls -A "$tmp/unbuilt")" ] && grep -qF "make build && sudo make install" <<<"$output" ||
    fail "make install without a build must stop and say to build first: $output"

# --- make install refuses, before it copies anything, a prefix that make uninstall would refuse -----------------
# Below a folder others may change, through a link, or with a '.' in it; what does not exist yet counts as made.
mkdir "$tmp/open" "$tmp/target" "$tmp/linked-bin"
chmod 777 "$tmp/open"
ln -s "$tmp/target" "$tmp/link"
ln -s "$tmp/target" "$tmp/linked-bin/bin"
for bad in "$tmp/open/prefix" "$tmp/link" "$tmp/link/deeper" "$tmp/./prefix" "$tmp/linked-bin"; do
    output=$(prefix=$bad make_ install 2>&1) && fail "make install accepted the prefix '$bad'"
    grep -q "^Refusing to install" <<<"$output" && [ -z "$(find "$tmp/open" "$tmp/target" -mindepth 1)" ] &&
        [ ! -e "$prefix" ] || fail "make install into '$bad' must refuse before it copies anything: $output"
done
# The same reason as the uninstall's.
refusal=$(prefix=$tmp/link make_ install 2>&1 | sed -n '1s/^[^:]*: //p')
[ "$refusal" = "$tmp/link is a symbolic link, not a folder" ] &&
    [ "$(prefix=$tmp/link make_ uninstall 2>&1 | sed -n '1s/^[^:]*: //p')" = "$refusal" ] ||
    fail "make install and make uninstall give different reasons to refuse a prefix: $refusal"

# --- layout of an install into a private prefix --------------------------------------------------------------
# Under a umask that would let anyone change what it makes; one folder was there before.
mkdir -p "$prefix/share/icons"
chmod 755 "$prefix" "$prefix/share" "$prefix/share/icons"
(umask 000 && make_ install >"$tmp/install.log" 2>&1) || { cat "$tmp/install.log"; fail "make install"; }
[ -x "$prefix/bin/pylvane" ] || fail "bin/pylvane missing or not executable"
kind=$(file -b "$prefix/bin/pylvane")
[[ $kind == *', stripped'* ]] || fail "bin/pylvane is not stripped: $kind"
for size in 16 22 32 48 64 128; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/pylvane.png
    if [ ! -f "$icon" ]; then
        fail "icon $size missing"
    elif ! file "$icon" | grep -q "PNG image data, $size x $size,"; then
        fail "icon $size has the wrong size: $(file -b "$icon")"
    fi
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/pylvane.svg" ] || fail "scalable icon missing"
# journalctl -x explains every event the program sends to the journal: the catalog parses, one entry per id.
catalog=$prefix/lib/systemd/catalog/pylvane.catalog
if [ ! -f "$catalog" ]; then
    fail "journal catalog missing"
elif command -v journalctl >/dev/null; then
    mkdir -p "$tmp/catalog-root/usr/lib/systemd/catalog" "$tmp/catalog-root/var/lib/systemd/catalog"
    cp "$catalog" "$tmp/catalog-root/usr/lib/systemd/catalog/"
    journalctl --root="$tmp/catalog-root" --update-catalog 2>/dev/null
    ids=$(journalctl --root="$tmp/catalog-root" --list-catalog 2>/dev/null | grep -c ' pylvane: ')
    events=$(grep -c '^-- ' "$catalog")
    [ "$ids" = "$events" ] && [ "$events" -ge 12 ] || fail "the journal catalog gives $ids of the $events event ids"
fi
# The remedy the manual page gives must name the program where it was installed.
gzip -cd "$prefix/share/man/man1/pylvane.1.gz" 2>/dev/null | grep -qxF "setcap cap_net_raw+ep $prefix/bin/pylvane" ||
    fail "manual page missing, not compressed, or its setcap line does not name $prefix/bin/pylvane"
# Its options are those --help gives, word for word and no others, as help2man made them from it; no word of an
# older page is left.
options_of_help() { sed -n '/^Options:$/,/^$/p' | tail -n +2; }
options_of_page() {
    sed -n '/^\.SH OPTIONS$/,/^\.\(SH\|PP\)/p' | sed '1d;$d;/^\.TP$/d' |
        sed -e 's/\\f[BIRP]//g' -e 's/\\[,/]//g' -e 's/\\-/-/g'
}
squeezed() { tr -s ' \n' '  ' | sed 's/^ //;s/ $//'; }
help_options=$("$build/pylvane" --help | options_of_help | squeezed)
page=$(gzip -cd "$prefix/share/man/man1/pylvane.1.gz" 2>/dev/null)
page_options=$(options_of_page <<<"$page" | squeezed)
[ -n "$help_options" ] && [ "$page_options" = "$help_options" ] ||
    fail "the manual page's options are not those of --help:
page: $page_options
help: $help_options"
grep -qF "end the program with exit code 64." <<<"$page" && ! grep -qF QT_QPA_PLATFORM <<<"$page" ||
    fail "the manual page does not say what a wrong option returns, or still asks for QT_QPA_PLATFORM"
# Software centres find the metainfo by its id and the menu entry by the name it gives.
metainfo=$(find "$prefix/share/metainfo" -name '*.metainfo.xml' 2>/dev/null)
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo" 2>/dev/null)
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo" 2>/dev/null)
[ -n "$id" ] && [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] && ! grep -q @ "$metainfo" &&
    [ -f "$prefix/share/applications/$launchable" ] ||
    fail "metainfo '$metainfo' (id '$id') not named after its id, not filled in, or naming no installed entry"
[ -s "$prefix/share/doc/pylvane/copyright" ] || fail "copyright file missing"

entry=$prefix/share/applications/pylvane.desktop
if [ ! -f "$entry" ]; then
    fail "desktop entry missing"
else
    for line in '[Desktop Entry]' 'Type=Application' 'Name=Pylvane' 'Icon=pylvane' 'Categories=System;Monitor;'; do
        grep -qxF "$line" "$entry" || fail "desktop entry lacks '$line'"
    done
    # Undo the entry's two levels of escaping the way a desktop session does (string escapes, then the quoting
    # rules of Exec) and run the result: it must start the program in the home folder, which is where the log
    # goes. A stand-in "pylvane" on PATH reports its working directory.
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    unescaped=${exec_line//\\\\/\\}
    mkdir -p "$tmp/home with space" "$tmp/fakebin"
    printf '#!/bin/sh\npwd > "%s"\n' "$tmp/started-in" >"$tmp/fakebin/pylvane"
    chmod +x "$tmp/fakebin/pylvane"
    (cd / && HOME="$tmp/home with space" PATH="$tmp/fakebin:$PATH" eval "$unescaped")
    [ "$(cat "$tmp/started-in" 2>/dev/null)" = "$tmp/home with space" ] ||
        fail "Exec does not start the program in \$HOME: '$exec_line'"
fi

# --- make install records what it installed, where only its owner may change the list ---------------------
record=$prefix/share/pylvane/install-manifest.txt
[ "$(stat -c %a "$record" 2>/dev/null) $(stat -c %a "$prefix/share/pylvane" 2>/dev/null)" = "644 755" ] &&
    [ "$(sort "$record")" = "$(sort "$build/install_manifest.txt")" ] ||
    fail "the recorded list is missing, may be changed by others, or differs from what was installed"

# --- make uninstall: the files installed above go, and nothing else ---------------------------------------------
# It runs as root: the build folder's list does not count, and a recorded list naming anything but a file or link
# inside the prefix, in folders nobody else may change, is refused whole.
mkdir "$tmp/outside"
touch "$tmp/outside/victim"
ln -s "$tmp/outside" "$prefix/share/way-out"
ln -s "$tmp/outside/victim" "$prefix/share/link-out"
mkdir -m 777 "$prefix/share/open"
touch "$prefix/share/open/file"
printf '%s\n' "$tmp/outside/victim" >>"$build/install_manifest.txt"
cp "$record" "$tmp/record"
refused() { # what; sets $output
    output=$(make_ uninstall 2>&1) && fail "make uninstall accepted $1"
    grep -q "^Refus" <<<"$output" && [ -f "$tmp/outside/victim" ] && [ -x "$prefix/bin/pylvane" ] &&
        [ -f "$prefix/share/open/file" ] || fail "make uninstall, $1: $output"
}
for bad in "$tmp/outside/victim" "$prefix/../outside/victim" "outside/victim" "$prefix/share" \
    "$prefix/share/way-out/victim" "$prefix/share/link-out" "$prefix/share/open/file" "$prefix//bin/pylvane" \
    "$prefix/share/./open/file" "$prefix/share/new
line"; do
    { cat "$tmp/record" && printf '%s\n' "$bad"; } >"$record"
    refused "'$bad' listed"
    grep -qF "Refused: line $(wc -l <"$record")" <<<"$output" || fail "'$bad' refused without naming its line"
done
cp "$tmp/record" "$record"
# The list of the folders the install made: none but those, at, inside or above the prefix, each a real folder.
made=$prefix/share/pylvane/install-folders.txt
cp "$made" "$tmp/made"
mkdir "$tmp/outside/empty"
ln -s "$tmp/outside/empty" "$prefix/share/empty-link"
for bad in "$tmp/outside/empty" "$prefix/share/empty-link" "$prefix/share/../../outside/empty" "$prefix/share/open" \
    "$prefix/share/applications/pylvane.desktop" "share/open"; do
    { cat "$tmp/made" && printf '%s\n' "$bad"; } >"$made"
    refused "'$bad' listed as a folder it made"
    grep -qF "Refused: line $(wc -l <"$made") of $made" <<<"$output" && [ -d "$tmp/outside/empty" ] ||
        fail "'$bad' refused without naming its line, or removed: $output"
done
cp "$tmp/made" "$made"
chmod 666 "$made"
refused "a list of folders others may change"
chmod 644 "$made"
chmod 666 "$record"
refused "a list others may change"
rm "$record"
ln -s "$tmp/record" "$record"
refused "a list that is a link"
rm "$record"
cp "$tmp/record" "$record"
ln -s "$prefix" "$tmp/prefix-link"
prefix=$tmp/prefix-link refused "a prefix that is a link"
rm -r "$prefix/share/way-out" "$prefix/share/link-out" "$prefix/share/open" "$prefix/share/empty-link"
# A folder the install made with a file of someone else's in it stays.
touch "$prefix/share/applications/other.desktop"
make_ uninstall >"$tmp/uninstall.log" 2>&1 || { cat "$tmp/uninstall.log"; fail "make uninstall"; }
left=$(cd "$prefix" && find . ! -type d ! -path ./share/applications/other.desktop)
[ -z "$left" ] && [ ! -e "$prefix/share/doc/pylvane" ] && [ ! -e "$prefix/share/pylvane" ] &&
    [ -f "$prefix/share/applications/other.desktop" ] && [ -f "$tmp/outside/victim" ] ||
    fail "make uninstall left behind: ${left:-the documentation folder or the recorded list}, or took another file"
folders=$(cd "$prefix" && find . -type d | sort | tr '\n' ' ')
[ "$folders" = ". ./share ./share/applications ./share/icons " ] ||
    fail "make uninstall left a folder the install made, or took one that was there before: $folders"

# Installed twice into a prefix the install makes, the second time over the first: the uninstall removes every
# folder they made, up to the one that was there.
mkdir "$tmp/made-here"
for step in install install uninstall; do
    prefix=$tmp/made-here/new/prefix make_ $step >"$tmp/$step.log" 2>&1 || { cat "$tmp/$step.log"; fail "make $step"; }
done
[ -d "$tmp/made-here" ] && [ -z "$(ls -A "$tmp/made-here")" ] ||
    fail "install, install, uninstall left: $(cd "$tmp/made-here" && find . | tr '\n' ' ')"

# --- the capability step --------------------------------------------------------------------------------------
# A stand-in setcap records its arguments and succeeds or fails as told.
printf '#!/bin/sh\necho "$@" >> "%s"\nexit "${FAKE_SETCAP_EXIT:-0}"\n' "$tmp/setcap-calls" >"$tmp/setcap"
chmod +x "$tmp/setcap"
touch "$tmp/pylvane"

capability() { # range setcap-exit [extra -D...]; sets $output and $status
    printf '%s\n' "$1" >"$tmp/range"
    rm -f "$tmp/setcap-calls"
    output=$(FAKE_SETCAP_EXIT=$2 "$cmake" -DPYLVANE_EXE="$tmp/pylvane" -DPYLVANE_RANGE_FILE="$tmp/range" \
        -DPYLVANE_SETCAP="$tmp/setcap" "${@:3}" -P "$source/cmake/IcmpCapability.cmake" 2>&1)
    status=$?
    output=$(tr -s '\n ' '  ' <<<"$output") # CMake wraps warnings
}

capability "0	2147483647" 0
[ $status -eq 0 ] && [ ! -e "$tmp/setcap-calls" ] || fail "range open to all: setcap must not run ($output)"

for closed in "1 0" "0 0" "1000 1000" "200 2147483647" "garbage" ""; do
    capability "$closed" 0
    [ $status -eq 0 ] || fail "range '$closed': install step failed ($output)"
    [ "$(cat "$tmp/setcap-calls" 2>/dev/null)" = "cap_net_raw+ep $tmp/pylvane" ] ||
        fail "range '$closed': setcap not run on the program ($output)"
done

# The installing user's group, when given, is the one that counts.
capability "1000 1000" 0 -DPYLVANE_GROUPS=1000
[ ! -e "$tmp/setcap-calls" ] || fail "range covering the user's group: setcap must not run"

capability "1 0" 1
[ $status -eq 0 ] || fail "failing setcap must not fail the install ($output)"
grep -q "setcap cap_net_raw+ep $tmp/pylvane" <<<"$output" || fail "failing setcap: no advice given ($output)"

printf '1 0\n' >"$tmp/range"
output=$("$cmake" -DPYLVANE_EXE="$tmp/pylvane" -DPYLVANE_RANGE_FILE="$tmp/range" \
    -DPYLVANE_SETCAP="$tmp/no-such-setcap" -P "$source/cmake/IcmpCapability.cmake" 2>&1)
status=$?
output=$(tr -s '\n ' '  ' <<<"$output")
[ $status -eq 0 ] || fail "missing setcap must not fail the install ($output)"
grep -q "setcap not found" <<<"$output" || fail "missing setcap: no warning ($output)"

[ $failures -eq 0 ] && echo "all install checks passed"
exit $((failures > 0))
