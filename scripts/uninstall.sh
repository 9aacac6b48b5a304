#!/usr/bin/env bash
# Removes what `make install` put under <prefix>, as the install's list names it, and the documentation folder,
# which is Pylvane's alone; the other folders are shared. The list lies in the user's build folder and this runs
# as root, so it is not trusted: every line must be an absolute path inside the prefix, with no ".." part and no
# link among its folders leading out of it, naming a regular file or a link (or nothing any more). If one line is
# refused, nothing at all is removed.
#
# Usage: scripts/uninstall.sh <install_manifest.txt> <prefix>
set -uo pipefail
manifest=$1
prefix=${2%/}

[ -f "$manifest" ] || { echo "$manifest is missing: nothing was installed from its build folder" >&2; exit 1; }
has_dotdot() { [[ /$1/ == */../* ]]; }
if [[ $prefix != /* ]] || has_dotdot "$prefix" || ! real_prefix=$(realpath -e -- "$prefix" 2>/dev/null) ||
    [ "$real_prefix" = / ]; then
    echo "Refusing to uninstall: the prefix '$2' is not an absolute folder below / without '..'" >&2
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
    elif has_dotdot "$file"; then
        refuse $number "$file" "has a '..' part"
    elif [ ! -e "$file" ] && [ ! -L "$file" ]; then
        continue # already gone
    elif [ -L "$file" ] || [ -f "$file" ]; then
        folder=$(realpath -e -- "$(dirname -- "$file")" 2>/dev/null)
        if [[ $folder/ == "$real_prefix"/* ]]; then
            files+=("$file")
        else
            refuse $number "$file" "its folder leads out of $prefix"
        fi
    else
        refuse $number "$file" "not a regular file or a link"
    fi
done <"$manifest"
if [ $refused -gt 0 ]; then
    echo "Nothing was removed: $manifest does not look like a list of what was installed under $prefix." >&2
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
rm -- "$manifest"
