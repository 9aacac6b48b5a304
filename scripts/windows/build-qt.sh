#!/usr/bin/env bash
# Builds Qt for 64-bit Windows, static, from Debian's own qt6-base source package of the same version as the
# host's Qt (whose moc, rcc and uic the cross-build uses). The result goes into the cache, keyed by that version,
# and is built only once: a later run finds the stamp and does nothing. An interrupted run resumes where it
# stopped, since the build folder is kept until the install is complete.
#
# Usage: scripts/windows/build-qt.sh [--print-prefix]
#   --print-prefix  only print where this Qt is (or will be) installed
# Environment: PYLVANE_CACHE (default ${XDG_CACHE_HOME:-$HOME/.cache}/pylvane), JOBS (default: nproc).
set -euo pipefail
source "$(dirname "$0")/cache.sh"
source "$(dirname "$0")/../debian-root.sh"

version=$(package_version qt6-base-dev)
# The key's suffix changes whenever the way Qt is built changes what goes into it (r2: build paths mapped away;
# r3: the prefix that QtCore records is a fixed one; r4: the MIME database packed without a time stamp).
prefix=$pylvane_cache/qt6-base-$version-mingw-static-r4
# QtCore records its install prefix in the library, and from there in every program that links it. It is
# configured with this fixed one, the same for every user and machine, and installed into the cache through a
# staging folder; Qt's CMake files find their place from where they lie, so the cached copy works as it is.
recorded_prefix=/opt/pylvane/qt6-mingw-static
if [ "${1:-}" = --print-prefix ]; then
    echo "$prefix"
    exit 0
fi
stamp=$prefix/.pylvane-complete
# A second clone building at the same time waits here and then finds the stamp.
mkdir -p "$pylvane_cache"
exec 9>"$pylvane_cache/qt6-base-$version.lock"
flock 9
if [ -f "$stamp" ]; then
    echo "Qt $version for Windows is already built: $prefix"
    exit 0
fi

work=$pylvane_cache/work/qt6-base-$version
mkdir -p "$work"
started=$(date +%s)

# Debian's source package through an apt configuration of our own, so that the system's sources stay as they
# are: a deb-src line for the release on the machine's own mirror, with lists and downloads kept in the cache.
fetch_source() {
    local apt=$pylvane_cache/apt mirror
    mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/sources.list.d" "$apt/preferences.d"
    mirror=$(debian_mirror) || exit 1
    read -r mirror codename <<<"$mirror"
    echo "Debian source from $mirror ($codename)"
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} $codename main" \
        >"$apt/sources.list"
    cat >"$apt/apt.conf" <<CONF
Dir::State::Lists "$apt/lists";
Dir::Cache "$apt";
Dir::Cache::archives "$apt/archives";
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/sources.list.d";
Dir::Etc::Preferences "$apt/preferences.d/none";
Dir::Etc::PreferencesParts "$apt/preferences.d";
APT::Sandbox::User "$(id -un)";
CONF
    export APT_CONFIG=$apt/apt.conf
    apt-get update -q
    mkdir -p "$work/download"
    (cd "$work/download" && apt-get source --download-only "qt6-base=$version")
}

# Unpacked with Debian's patches in a folder of its own (dpkg-source leaves files beside its target), whose
# result is moved into place only when complete.
unpack_source() {
    local dsc
    dsc=$(ls "$work"/download/qt6-base_*.dsc)
    rm -rf "$work/unpack"
    mkdir "$work/unpack"
    dpkg-source --no-check -x "$dsc" "$work/unpack/source"
    mv "$work/unpack/source" "$work/source"
    rm -rf "$work/unpack"
}

# apt skips what an earlier, interrupted run has already downloaded in full.
[ -d "$work/source" ] || {
    fetch_source
    unpack_source
}

# Only what the program and its tests use: Core, Gui, Widgets and Test, with the windows and offscreen platforms.
# OpenGL is off, and with it its dynamic loading; Direct2D has to stay on for the windows platform to build;
# the source has no wintab, so no tablet events. The bundled libraries make the result independent of the host.
# The build paths are mapped to one fixed name, so that what Qt records of its sources (assertions, debug
# names) is the same on every machine and the program that links it comes out byte for byte the same. QtCore's
# MIME database is packed by Qt's own script, whose gzip header carries no time, not by CMake's archiver, whose
# header carries the time of the build.
prefix_map="-ffile-prefix-map=$work/source=/usr/src/qt6-base -ffile-prefix-map=$work/build=/usr/src/qt6-base-build"
cmake -S "$work/source" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$pylvane_toolchain" \
    -DCMAKE_C_FLAGS="$prefix_map" -DCMAKE_CXX_FLAGS="$prefix_map" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$recorded_prefix" \
    -DQT_AVOID_CMAKE_ARCHIVING_API=ON \
    -DBUILD_SHARED_LIBS=OFF \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_direct2d=ON -DFEATURE_tabletevent=OFF \
    -DFEATURE_vulkan=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_icu=OFF \
    -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_jpeg=OFF
cmake --build "$work/build" -j "${JOBS:-$(nproc)}"
rm -rf "$prefix" "$work/stage"
DESTDIR=$work/stage cmake --install "$work/build"
mv "$work/stage$recorded_prefix" "$prefix"

date -u +%FT%TZ >"$stamp"
rm -rf "$work"
echo "Qt $version for Windows built in $(($(date +%s) - started)) s: $prefix"
