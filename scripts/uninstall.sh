#!/usr/bin/env bash
# Removes what `make install` put under <prefix>, as the list the install recorded there names it
# (share/pylvane/install-manifest.txt), then that list, its folder and the documentation folder, which are
# Pylvane's alone, and last the folders the install made, as its other list names them
# (share/pylvane/install-folders.txt), each once it is empty; the folders that were there before are shared.
#
# This runs as root, so it reads nothing from the build folder, which is the user's, and trusts no folder that
# someone else may change (trusted-folder.sh, which `make install` checks too): the lists and every file and folder
# they name must lie in real folders (no link among them), each owned by root, or by whoever runs this, and
# writable by nobody else. Nobody else can then swap a folder for a link between the check and the removal. Each
# line of the manifest must be an absolute path inside the prefix with no empty, "." or ".." part, naming a
# regular file, a link that stays inside the prefix, or nothing any more; each line of the folders' list such a
# path naming a folder, or nothing any more, at, inside or above the prefix. If one line is refused, nothing at
# all is removed. Folders go with rmdir, deepest first, which removes only an empty one and follows no link.
#
# Usage: scripts/uninstall.sh <prefix>
set -uo pipefail
# shellcheck source-path=SCRIPTDIR
source "$(dirname -- "$0")/trusted-folder.sh"

if ! prefix_of "$1"; then
    echo "Refusing to uninstall: the prefix '$1' is not an absolute folder below / without '.' or '..'" >&2
    exit 1
fi
if ! trusted_folder "$prefix"; then
    echo "Refusing to uninstall from $prefix: $why" >&2
    exit 1
fi

trusted_list "$manifest"
case $? in
0) ;;
2)
    echo "$manifest is missing: nothing was installed under $prefix (give the PREFIX it was installed with)" >&2
    exit 1
    ;;
*)
    echo "Refusing to read $manifest: $why" >&2
    exit 1
    ;;
esac
# An install made before the folders were recorded has no such list.
trusted_list "$made"
case $? in
0) made_listed=yes ;;
2) made_listed=no ;;
*)
    echo "Refusing to read $made: $why" >&2
    exit 1
    ;;
esac

files=()
refused=0
refuse() { # number line why [list]
    echo "Refused: line $1 of ${4:-$manifest}, '$2': $3" >&2
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
folders=()
number=0
while IFS= read -r folder || [ -n "$folder" ]; do
    number=$((number + 1))
    if [[ $folder != /?* ]] || ! canonical "$folder" ||
        ! [[ $folder == "$prefix" || $folder == "$prefix"/* || $prefix == "$folder"/* ]]; then
        refuse $number "$folder" "not an absolute path at, inside or above $prefix" "$made"
        continue
    fi
    trusted_folder "$folder"
    case $? in
    0) folders+=("$folder") ;;
    2) ;; # already gone
    *) refuse $number "$folder" "$why" "$made" ;;
    esac
done < <([ $made_listed = no ] || cat -- "$made")
if [ $refused -gt 0 ]; then
    echo "Nothing was removed: $manifest or $made names what this will not remove." >&2
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
[ $made_listed = no ] || rm -v -- "$made" || exit 1
rm -v -- "$manifest" && rmdir -v --ignore-fail-on-non-empty -- "$lists" || exit 1
# Deepest first, so that a folder is empty once those the install made in it are gone.
while IFS= read -r folder; do
    if [ "$(stat -c %F -- "$folder" 2>/dev/null)" = directory ] && [ -n "$(find "$folder" -maxdepth 0 -empty)" ]; then
        rmdir -v -- "$folder"
    fi
done < <(printf '%s\n' "${folders[@]}" | sort -r)
