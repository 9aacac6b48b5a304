#!/usr/bin/env bash
# Installs what <build> built, stripped, under <prefix>, where `make uninstall` will take it away again: a prefix
# that scripts/uninstall.sh would refuse (trusted-folder.sh says which) is refused here too, before anything is
# copied. What does not exist yet the install makes, so the folders checked are the nearest ones that exist, on
# the way to the folder of the lists. Beside the list of what it installed (InstallManifest.cmake writes it), this
# records the folders the install made, which did not exist before, for the uninstall to remove once empty. A
# second install keeps those the first one made.
#
# Usage: scripts/install.sh <build dir> <prefix>
set -uo pipefail
# shellcheck source-path=SCRIPTDIR
source "$(dirname -- "$0")/trusted-folder.sh"
build=$1

if ! prefix_of "$2"; then
    echo "Refusing to install: the prefix '$2' is not an absolute folder below / without '.' or '..'" >&2
    exit 1
fi
# Every folder the install puts files into, as the build's install scripts name them, the lists' first: the
# uninstall checks each file's folder, so each must pass here. Below a folder others may write (a sticky /tmp), a
# folder that does not exist yet could be made by someone else between this check and the copy: refused too.
destinations=("$lists")
while IFS= read -r folder; do
    destinations+=("${prefix%/}/${folder#/}")
done < <(grep -rhoE 'DESTINATION "\$\{CMAKE_INSTALL_PREFIX\}[^"]*"' --include=cmake_install.cmake -- "$build" |
    sed -E 's/^DESTINATION "\$\{CMAKE_INSTALL_PREFIX\}(.*)"$/\1/' | sort -u)
for destination in "${destinations[@]}"; do
    nearest=$destination
    while [ ! -e "$nearest" ] && [ ! -L "$nearest" ]; do nearest=$(dirname -- "$nearest"); done
    if ! trusted_folder "$nearest"; then
        echo "Refusing to install into $prefix: $why" >&2
        exit 1
    elif [ "$nearest" != "$destination" ] && (($(stat -c '8#%a' -- "$nearest") & 8#022)); then
        echo "Refusing to install into $prefix: $nearest may be written by others, who could make $destination first" >&2
        exit 1
    elif [ "$destination" = "$lists" ] && [ ! -w "$nearest" ]; then
        # The lists at least go there: without the right to write them the install would stop part way, after
        # copying what it could.
        echo "Cannot install into $prefix: $nearest: Permission denied (install as root: sudo make install)" >&2
        exit 1
    fi
done

# The folders there are now: those above the prefix, the prefix and every one below it, links not followed.
declare -A existed=() created=()
walked=$prefix
while :; do
    [ -e "$walked" ] || [ -L "$walked" ] && existed[$walked]=1
    [ "$walked" = / ] && break
    walked=$(dirname -- "$walked")
done
if [ -d "$prefix" ] && [ ! -L "$prefix" ]; then
    while IFS= read -r -d '' folder; do existed[$folder]=1; done < <(find "$prefix" -type d -print0)
fi
if trusted_list "$made"; then
    while IFS= read -r folder; do created[$folder]=1; done <"$made"
fi

# Whatever umask the caller has, what the install makes is writable by its owner alone.
umask 022
cmake --install "$build" --strip --prefix "$prefix" || exit

if ! trusted_list "$manifest"; then
    echo "The install's list $manifest cannot be read back: $why" >&2
    exit 1
fi
while IFS= read -r file; do
    folder=$(dirname -- "$file")
    while [ -z "${existed[$folder]:-}" ] && [ "$folder" != / ] && [ "$folder" != . ]; do
        created[$folder]=1
        folder=$(dirname -- "$folder")
    done
done < <(cat -- "$manifest" && echo "$manifest")

# Written beside the manifest, in a file mktemp makes (O_EXCL), then renamed into place.
listed() {
    for folder in "${!created[@]}"; do
        if [[ $folder != *$'\n'* ]] && [ -d "$folder" ] && [ ! -L "$folder" ]; then
            printf '%s\n' "$folder"
        fi
    done | sort -r
}
if ! fresh=$(mktemp -- "$lists/.install-folders.XXXXXX") || ! listed >"$fresh" || ! chmod 644 -- "$fresh" ||
    ! mv -fT -- "$fresh" "$made"; then
    [ -z "${fresh:-}" ] || rm -f -- "$fresh"
    echo "The folders the install made could not be recorded in $made: make uninstall will leave them" >&2
    exit 1
fi
echo "-- Installing: $made"
