# shellcheck shell=bash
# shellcheck disable=SC2034 # $manifest, $made and $why are for the scripts that source this
# What `make install` and `make uninstall` (scripts/install.sh, scripts/uninstall.sh) trust, in one place, so
# that the install never puts files where the uninstall would refuse to remove them. Both may run as root: a
# folder counts only when it and each folder above it are real folders (no link among them), each owned by root
# or by whoever runs this, and writable by nobody else; a folder anyone may write counts only when root owns it
# and its sticky bit keeps others from renaming what is not theirs (as /tmp). Nobody else can then swap a folder
# for a link between the check and the use.
me=$(id -u)

# Whether the absolute <path> has no empty, "." or ".." part and no "/" at its end.
canonical() { [[ $1/ != *//* && $1/ != */./* && $1/ != */../* ]]; }

# The <prefix> without a "/" at its end, in $prefix, and where the install keeps its lists below it: what it
# installed ($manifest) and the folders it made for that ($made); fails when the prefix is not an absolute folder
# below / without '.' or '..'.
prefix_of() { # prefix
    prefix=$1
    [ "$prefix" = / ] || prefix=${prefix%/}
    lists=${prefix%/}/share/pylvane
    manifest=$lists/install-manifest.txt
    made=$lists/install-folders.txt
    [[ $prefix == /?* ]] && canonical "$prefix"
}

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

# Whether the file <list> is one the install wrote: a regular file, owned by root or this user and writable by
# nobody else, in a trusted folder; if not, says why in $why, and returns 2 when it does not exist.
trusted_list() { # list
    local owner mode kind
    if ! read -r owner mode kind < <(stat -c '%u %a %F' -- "$1" 2>/dev/null); then
        why="$1 is missing"
        return 2
    elif ! trusted_folder "$(dirname -- "$1")"; then
        return 1
    elif [[ $kind != "regular file" && $kind != "regular empty file" ]] || ((8#$mode & 8#022)) ||
        { [ "$owner" != 0 ] && [ "$owner" != "$me" ]; }; then
        why="a $kind of user $owner with mode $mode, not a file only its owner may write"
        return 1
    fi
    return 0
}
