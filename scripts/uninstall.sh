#!/usr/bin/env bash
# Removes what `make install` put under <prefix>, as the list the install recorded there names it
# (share/pylvane/install-manifest.txt), then that list, its folder and the documentation folder, which are
# Pylvane's alone; the other folders are shared.
#
# This runs as root, so it reads nothing from the build folder, which is the user's, and trusts no folder that
# someone else may change: the list and every file it names must lie in real folders (no link among them), each
# owned by root, or by whoever runs this, and writable by nobody else; a folder anyone may write counts only when
# root owns it and its sticky bit keeps others from renaming what is not theirs (as /tmp). Nobody else can then
# swap a folder for a link between the check and the removal. Each line must be an absolute path inside the prefix
# with no empty, "." or ".." part, naming a regular file, a link that stays inside the prefix, or nothing any more.
# If one line is refused, nothing at all is removed.
#
# Usage: scripts/uninstall.sh <prefix>
set -uo pipefail
me=$(id -u)

# Whether the absolute <path> has no empty, "." or ".." part and no "/" at its end.
canonical() { [[ $1/ != *//* && $1/ != */./* && $1/ != */../* ]]; }

# Whether <folder> and each folder above it up to /, each examined itself rather than what it may link to, is a
# real folder nobody but root or this user may change; if not, says why in $why, and returns 2 when one of them
# does not exist.
declare -A trusted=()
trusted_folder() { # folder
    local walked=$1 owner mode kind
    while :; do
        [ -n "${trusted[$walked]:-}" ] && break
        if ! read -r owner mode kind < <(stat -c '%u %a %F' -- "$walked" 2>/dev/null); then
            why="$walked cannot be examined"
            [ -e "$walked" ] || [ -L "$walked" ] || return 2
            return 1
        fi
        mode=$((8#$mode))
        if [ "$kind" != directory ]; then
            why="$walked is a $kind, not a folder"
            return 1
        elif [ "$owner" != 0 ] && [ "$owner" != "$me" ]; then
            why="$walked belongs to user $owner"
            return 1
        elif ((mode & 8#022)) && ! { ((mode & 8#1000)) && [ "$owner" = 0 ]; }; then
            why="$walked may be changed by others than its owner"
            return 1
        fi
        trusted[$walked]=1
        [ "$walked" = / ] && break
        walked=$(dirname -- "$walked")
    done
    return 0
}

prefix=$1
[ "$prefix" = / ] || prefix=${prefix%/}
if [[ $prefix != /?* ]] || ! canonical "$prefix"; then
    echo "Refusing to uninstall: the prefix '$1' is not an absolute folder below / without '.' or '..'" >&2
    exit 1
fi
if ! trusted_folder "$prefix"; then
    echo "Refusing to uninstall from $prefix: $why" >&2
    exit 1
fi

manifest=$prefix/share/pylvane/install-manifest.txt
if ! read -r owner mode kind < <(stat -c '%u %a %F' -- "$manifest" 2>/dev/null); then
    echo "$manifest is missing: nothing was installed under $prefix (give the PREFIX it was installed with)" >&2
    exit 1
fi
if ! trusted_folder "$prefix/share/pylvane"; then
    echo "Refusing to read $manifest: $why" >&2
    exit 1
elif [[ $kind != "regular file" && $kind != "regular empty file" ]] || ((8#$mode & 8#022)) ||
    { [ "$owner" != 0 ] && [ "$owner" != "$me" ]; }; then
    echo "Refusing to read $manifest: a $kind of user $owner with mode $mode, not a file only its owner may write" >&2
    exit 1
fi

files=()
refused=0
refuse() {
    echo "Refused: line $1 of $manifest, '$2': $3" >&2
    refused=$((refused + 1))
}
number=0
while IFS= read -r file || [ -n "$file" ]; do
    number=$((number + 1))
    if [[ $file != "$prefix"/?* ]]; then
        refuse $number "$file" "not an absolute path inside $prefix"
        continue
    elif ! canonical "$file"; then
        refuse $number "$file" "has an empty, '.' or '..' part"
        continue
    fi
    trusted_folder "$(dirname -- "$file")"
    case $? in
    0) ;;
    2) continue ;; # gone with its folder
    *)
        refuse $number "$file" "$why"
        continue
        ;;
    esac
    if ! kind=$(stat -c %F -- "$file" 2>/dev/null); then
        continue # already gone
    elif [ "$kind" = "regular file" ] || [ "$kind" = "regular empty file" ]; then
        files+=("$file")
    elif [ "$kind" = "symbolic link" ]; then
        target=$(realpath -m -- "$file")
        if [[ $target == "$prefix"/* ]]; then
            files+=("$file")
        else
            refuse $number "$file" "a link leading out of $prefix, to $target"
        fi
    else
        refuse $number "$file" "a $kind, not a regular file or a link"
    fi
done <"$manifest"
if [ $refused -gt 0 ]; then
    echo "Nothing was removed: $manifest names what this will not remove." >&2
    exit 1
fi

for file in "${files[@]}"; do
    rm -v -- "$file" || exit 1
done
for file in "${files[@]}"; do
    if [[ $file == */doc/pylvane/copyright ]] && [ -d "$(dirname -- "$file")" ]; then
        rmdir -v --ignore-fail-on-non-empty -- "$(dirname -- "$file")"
    fi
done
# journalctl -x reads a database built from the catalogs below /usr/lib and /usr/local/lib, which
# `make install` rebuilt; without this it would go on explaining the program's events.
for file in "${files[@]}"; do
    if [[ $file == */lib/systemd/catalog/pylvane.catalog && $prefix =~ ^/usr(/local)?$ ]] &&
        command -v journalctl >/dev/null; then
        journalctl --update-catalog || echo "The journal's catalog could not be rebuilt: run journalctl --update-catalog" >&2
    fi
done
rm -v -- "$manifest" && rmdir -v --ignore-fail-on-non-empty -- "$prefix/share/pylvane"
