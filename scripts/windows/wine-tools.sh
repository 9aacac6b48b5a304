# Sourced: the Wine programs as this system has them, in $wine and $wineserver. Each is looked up on PATH first;
# Debian's wine64 package keeps them in /usr/lib/wine and puts them on PATH only together with the package wine,
# so that folder comes next, when they are there. Ends the caller, saying so, when either is missing.
# shellcheck shell=bash disable=SC2034
wine_tool() { # name
    command -v "$1" 2>/dev/null && return 0
    [ -x "/usr/lib/wine/$1" ] && echo "/usr/lib/wine/$1"
}
if ! wine=$(wine_tool wine64) || ! wineserver=$(wine_tool wineserver); then
    echo "Wine not found: wine64 and wineserver are needed, on PATH or in /usr/lib/wine (Debian package wine64)" >&2
    exit 1
fi
