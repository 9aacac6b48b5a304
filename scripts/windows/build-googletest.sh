#!/usr/bin/env bash
# Builds googletest and googlemock for 64-bit Windows from the host's source copy (/usr/src/googletest), into the
# cache keyed by the package's version; a later run finds the stamp and does nothing. It takes seconds.
#
# Usage: scripts/windows/build-googletest.sh [--print-prefix]
set -euo pipefail
source "$(dirname "$0")/cache.sh"

version=$(package_version googletest)
prefix=$pylvane_cache/googletest-$version-mingw-static
if [ "${1:-}" = --print-prefix ]; then
    echo "$prefix"
    exit 0
fi
stamp=$prefix/.pylvane-complete
[ -f "$stamp" ] && exit 0
mkdir -p "$pylvane_cache"
exec 9>"$pylvane_cache/googletest-$version.lock"
flock 9
[ -f "$stamp" ] && exit 0

build=$pylvane_cache/work/googletest-$version
cmake -S /usr/src/googletest -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$pylvane_toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}"
rm -rf "$prefix"
cmake --install "$build" >/dev/null
date -u +%FT%TZ >"$stamp"
rm -rf "$build"
echo "googletest $version for Windows: $prefix"
