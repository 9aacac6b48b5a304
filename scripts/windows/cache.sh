# Sourced by the Windows build scripts: where the cross-built libraries live. They go into the user's cache,
# outside any clone, so that a fresh clone or `make clean` does not cost another Qt build.
# shellcheck shell=bash disable=SC2034
pylvane_cache=${PYLVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pylvane}
pylvane_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
pylvane_toolchain=$pylvane_root/cmake/MinGW64Toolchain.cmake

# The installed version of a Debian package, which keys its cross-built copy; fails when it is not installed.
package_version() {
    local version
    version=$(dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true)
    if [ -z "$version" ]; then
        echo "package $1 is not installed (make deps installs it)" >&2
        return 1
    fi
    echo "$version"
}
