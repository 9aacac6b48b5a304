#!/usr/bin/env bash
# Builds each artefact twice and compares the two byte for byte. The first build is this tree's own, in its usual
# build folder, as `make package` and `make windows-installer` make it; the second is made by the same targets in
# a fresh clone of HEAD at another path, later, under another umask, without ccache and without any
# SOURCE_DATE_EPOCH from outside. A difference fails, and is shown by diffoscope where it is installed, otherwise
# as the list of the parts that differ: the package's members and files, the programs' sections, the installer's
# tables and streams.
#
# Usage: scripts/test-reproducible.sh <package-dir> <win-dir> <arm64-dir> [deb] [deb-arm64] [windows]
#   deb        the Debian package
#   deb-arm64  the arm64 Debian package (its build needs root; left out with a note otherwise)
#   windows    pylvane.exe and its Windows Installer package
# Environment: JOBS (default: nproc).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
package_dir=$1 win_dir=$2 arm64_dir=$3
shift 3
parts=("$@")
[ $# -gt 0 ] || parts=(deb deb-arm64 windows)
cd "$root"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "test-reproducible: this tree has changes that are not committed, and the second build comes from a" \
        "clone of HEAD; commit or stash them first" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pylvane-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
clone=$work/second-clone
git clone -q --no-checkout "$root" "$clone"
git -C "$clone" checkout -q --detach "$(git rev-parse HEAD)"

# Both builds take the epoch from the commit, as a build with nothing set does; neither inherits the calling make's
# flags. The second also goes without ccache, so that every object in it is compiled there.
build() { # first|second <target> <VAR=value>...
    local dir=$root mask started=$SECONDS
    local unset=(-u MAKEFLAGS -u MAKELEVEL -u MFLAGS -u SOURCE_DATE_EPOCH -u SIGN_CERT)
    mask=$(umask)
    if [ "$1" = second ]; then
        dir=$clone mask=077
        unset+=(-u CMAKE_CXX_COMPILER_LAUNCHER -u CMAKE_C_COMPILER_LAUNCHER)
    fi
    (umask "$mask" && env "${unset[@]}" make -C "$dir" --no-print-directory "${@:2}" JOBS="${JOBS:-$(nproc)}")
    echo "== test-reproducible: $1 build of $2 took $((SECONDS - started)) s"
}
# A folder given by an absolute path stands for the folder of the same name inside the clone.
inside_clone() { case $1 in /*) basename "$1" ;; *) echo "$1" ;; esac; }

# Each section of a program (ELF or PE, placed by its offset in the file) with the number of its bytes that differ.
sections() { # objdump first second
    local idx name size offset flags
    while read -r idx name size _ _ offset _; do
        [[ $idx =~ ^[0-9]+$ ]] || continue
        read -r flags # sections without CONTENTS (.bss) take no room in the file
        [[ $flags != *CONTENTS* ]] || echo "$((16#$offset)) $((16#$size)) $name"
    done < <("$1" -h "$2") >"$work/sections"
    { cmp -l "$2" "$3" 2>/dev/null || true; } | awk 'NR == FNR { start[NR] = $1; size[NR] = $2; name[NR] = $3; n = NR; next }
        { where = "headers"; for (i = 1; i <= n; i++) if ($1 - 1 >= start[i] && $1 - 1 < start[i] + size[i]) {
              where = name[i]; break }
          count[where]++ }
        END { for (where in count) printf "    %s: %d bytes differ\n", where, count[where] }' "$work/sections" -
    [ "$(stat -c %s "$2")" = "$(stat -c %s "$3")" ] || echo "    sizes: $(stat -c %s "$2") and $(stat -c %s "$3")"
}

explain_deb() {
    local first=$work/first-$(basename "$1") second=$work/second-$(basename "$1")
    diff <(ar tv "$1") <(ar tv "$2") | sed -n 's/^[<>]/    ar member:/p' || true
    diff <(dpkg-deb -c "$1") <(dpkg-deb -c "$2") | sed -n 's/^[<>]/    data member:/p' || true
    dpkg-deb -R "$1" "$first"
    dpkg-deb -R "$2" "$second"
    diff -rq "$first" "$second" | sed "s|$first/||; s|$second/||; s/^/    /" || true
    # The host's objdump reads the sections of the arm64 program too.
    if ! cmp -s "$first/usr/bin/pylvane" "$second/usr/bin/pylvane"; then
        echo "    usr/bin/pylvane:"
        sections objdump "$first/usr/bin/pylvane" "$second/usr/bin/pylvane"
    fi
}

explain_exe() {
    diff <(x86_64-w64-mingw32-objdump -p "$1" | sed 1,2d) <(x86_64-w64-mingw32-objdump -p "$2" | sed 1,2d) |
        sed -n 's/^[<>]/    header:/p' || true
    sections x86_64-w64-mingw32-objdump "$1" "$2"
}

# In a folder of the test's own: msiinfo export writes a table's binary columns as files into the current one.
explain_msi() (
    local first second table stream
    first=$(realpath "$1") second=$(realpath "$2")
    cd "$work"
    diff <(msiinfo suminfo "$first") <(msiinfo suminfo "$second") | sed -n 's/^[<>]/    summary:/p' || true
    for table in $(msiinfo tables "$first"); do
        diff <(msiinfo export "$first" "$table") <(msiinfo export "$second" "$table") |
            sed -n "s/^[<>]/    table $table:/p" || true
    done
    for stream in $(msiinfo streams "$first"); do
        cmp -s <(msiinfo extract "$first" "$stream" 2>/dev/null) <(msiinfo extract "$second" "$stream" 2>/dev/null) ||
            echo "    stream $stream differs"
    done
    msiextract -C msi-first "$first" >/dev/null
    msiextract -C msi-second "$second" >/dev/null
    diff -rq msi-first msi-second | sed "s|msi-first/||; s|msi-second/||; s/^/    /" || true
)

# What another machine has elsewhere (the tree, the clone, the cache of Qt for Windows) must not show in what
# ships; here both builds would share it and still agree.
pylvane_cache=${PYLVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pylvane}
build_paths() { # name; the shipped bytes on standard input
    local found
    found=$({ grep -aoF -e "$root" -e "$clone" -e "$pylvane_cache" || true; } | sort -u | head -n 3 | tr "\n" " ")
    [ -z "$found" ] || {
        failed=$((failed + 1))
        echo "NOT REPRODUCIBLE: $1 carries build paths: $found"
    }
}

failed=0
compare() { # kind first second
    case $1 in
    deb) dpkg-deb --fsys-tarfile "$2" | build_paths "$(basename "$2")" ;;
    exe) build_paths "$(basename "$2")" <"$2" ;;
    esac
    if cmp -s "$2" "$3"; then
        echo "reproducible: $(basename "$2") (sha256 $(sha256sum <"$2" | cut -c1-16)...)"
        return
    fi
    failed=$((failed + 1))
    echo "NOT REPRODUCIBLE: $(basename "$2"): $(cmp -l "$2" "$3" 2>/dev/null | wc -l) bytes differ"
    if command -v diffoscope >/dev/null; then
        diffoscope --text - "$2" "$3" | head -n 400 || true
    else
        "explain_$1" "$2" "$3"
    fi
}

for part in "${parts[@]}"; do
    case $part in
    deb)
        build first package PACKAGE_DIR="$package_dir"
        build second package PACKAGE_DIR="$(inside_clone "$package_dir")"
        first=$(ls "$package_dir"/pylvane_*.deb)
        compare deb "$first" "$clone/$(inside_clone "$package_dir")/$(basename "$first")"
        ;;
    deb-arm64)
        if [ "$(id -u)" != 0 ]; then
            echo "test-reproducible: the arm64 package is left out: its build needs root (debootstrap, chroot)"
            continue
        fi
        build first package-arm64 ARM64_DIR="$arm64_dir"
        build second package-arm64 ARM64_DIR="$(inside_clone "$arm64_dir")"
        first=$(ls "$arm64_dir"/pylvane_*_arm64.deb)
        compare deb "$first" "$clone/$(inside_clone "$arm64_dir")/$(basename "$first")"
        ;;
    windows)
        qt=$(bash scripts/windows/build-qt.sh --print-prefix 2>/dev/null || true)
        [ -n "$qt" ] && [ -f "$qt/.pylvane-complete" ] ||
            echo "test-reproducible: Qt for Windows is not in the cache yet; the first build makes it first" \
                "(15 to 35 minutes on two cores)"
        build first windows-installer WIN_DIR="$win_dir"
        build second windows-installer WIN_DIR="$(inside_clone "$win_dir")"
        second=$clone/$(inside_clone "$win_dir")
        version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_dir/CMakeCache.txt")
        compare exe "$win_dir/pylvane.exe" "$second/pylvane.exe"
        compare msi "$win_dir/pylvane-$version-x64.msi" "$second/pylvane-$version-x64.msi"
        ;;
    *)
        echo "test-reproducible: unknown part '$part' (deb, deb-arm64 or windows)" >&2
        exit 2
        ;;
    esac
done
[ "$failed" = 0 ] || { echo "test-reproducible: $failed artefacts differ between the two builds"; exit 1; }
echo "test-reproducible: every artefact is the same in both builds"
