#!/usr/bin/env bash
# Builds the SQLite C library for 64-bit Windows, static (libsqlite3.a and sqlite3.h), from Debian's own sqlite3
# source package of the same version as the host's libsqlite3-dev, so that both builds of the program run the same
# SQLite with Debian's fixes. The result goes into the cache, keyed by that version; a later run finds the stamp
# and does nothing. It takes about a minute.
#
# Debian's source is SQLite's whole tree, not the one-file amalgamation that is built for other systems. The
# amalgamation is made on the host, by the tree's own configure and Makefile (they build their generators with
# the host's compiler and run its Tcl scripts, hence tclsh); only that one file is then cross-compiled. The tree's
# configure with --host would build the same file the same way, but would also try to link the shell and a DLL,
# which the program does not want.
#
# Usage: scripts/windows/build-sqlite.sh [--print-prefix]
#   --print-prefix  only print where the library is (or will be) installed
# Environment: PYLVANE_CACHE (default ${XDG_CACHE_HOME:-$HOME/.cache}/pylvane), JOBS (default: nproc).
set -euo pipefail
source "$(dirname "$0")/cache.sh"
source "$(dirname "$0")/../debian-root.sh"

version=$(package_version libsqlite3-dev)
# The key's suffix changes whenever the way the library is built changes what goes into it.
prefix=$pylvane_cache/sqlite3-$version-mingw-static-r1
if [ "${1:-}" = --print-prefix ]; then
    echo "$prefix"
    exit 0
fi
stamp=$prefix/.pylvane-complete
[ -f "$stamp" ] && exit 0
mkdir -p "$pylvane_cache"
exec 9>"$pylvane_cache/sqlite3-$version.lock"
flock 9
[ -f "$stamp" ] && exit 0
for tool in tclsh gcc make dpkg-source; do
    command -v "$tool" >/dev/null || {
        echo "build-sqlite: $tool is missing (make windows installs what the Windows build needs)" >&2
        exit 1
    }
done

work=$pylvane_cache/work/sqlite3-$version
started=$(date +%s)
rm -rf "$work"
mkdir -p "$work/download"

# Debian's source package through an apt configuration of our own, so that the system's sources stay as they
# are: a deb-src line for the release on the machine's own mirror, with lists and downloads kept in the cache.
# It is not the one Qt's build uses, so that the two may run at once.
apt=$pylvane_cache/apt-sqlite3
mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/sources.list.d" "$apt/preferences.d"
mirror=$(debian_mirror)
read -r mirror codename <<<"$mirror"
echo "Debian source from $mirror ($codename)"
# The point releases' fixes reach the release's own suite; -updates holds those that come between them.
{
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} $codename main"
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} $codename-updates main"
} >"$apt/sources.list"
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
# The host's version where the mirror still has it; otherwise the release's newest, said out loud and written
# in the stamp, since the two builds then differ.
built=$version
if ! (cd "$work/download" && apt-get source -q --download-only "sqlite3=$version"); then
    built=$(apt-cache showsrc sqlite3 | sed -n 's/^Version: //p' | sort -V | tail -n 1)
    [ -n "$built" ] || { echo "build-sqlite: the mirror has no sqlite3 source" >&2; exit 1; }
    echo "build-sqlite: the mirror no longer has sqlite3 $version, the host's: building $built instead" >&2
    (cd "$work/download" && apt-get source -q --download-only "sqlite3=$built")
fi
dpkg-source --no-check -x "$(ls "$work"/download/sqlite3_*.dsc)" "$work/source" >/dev/null

# The amalgamation, made on the host in a folder of its own beside the tree. Tcl is left out: configure would
# otherwise look for its development files, which making sqlite3.c does not need.
mkdir "$work/host"
(
    cd "$work/host"
    "$work/source/configure" --disable-tcl --disable-readline >configure.log 2>&1 || {
        tail -20 configure.log
        exit 1
    }
    make -j "${JOBS:-$(nproc)}" sqlite3.c sqlite3.h >make.log 2>&1 || {
        tail -20 make.log
        exit 1
    }
)

# One worker thread of the program's opens the file beside the UI thread, so the library serialises its own
# structures. Extensions are never loaded. Double-quoted strings are identifiers only: a misspelt column is an
# error, not a text. The build path is mapped away, and the archive has no time stamps, owners or modes: the same
# version gives the same bytes.
triple=x86_64-w64-mingw32
mkdir "$work/win"
(
    cd "$work/win"
    "$triple-gcc-posix" -c -O2 -ffunction-sections -fdata-sections \
        -ffile-prefix-map="$work"=/usr/src/sqlite3 \
        -DNDEBUG -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_DQS=0 \
        -o sqlite3.o "$work/host/sqlite3.c"
    "$triple-ar" rcsD libsqlite3.a sqlite3.o
)

rm -rf "$prefix" "$prefix.partial"
mkdir -p "$prefix.partial/include" "$prefix.partial/lib"
install -m 644 "$work/host/sqlite3.h" "$work/source/src/sqlite3ext.h" "$prefix.partial/include/"
install -m 644 "$work/win/libsqlite3.a" "$prefix.partial/lib/"
# The stamp names the source version built, which is the host's unless said above.
echo "sqlite3 $built" >"$prefix.partial/.pylvane-complete"
mv "$prefix.partial" "$prefix"
rm -rf "$work"
echo "SQLite $built for Windows built in $(($(date +%s) - started)) s: $prefix"
