#!/usr/bin/env bash
# The arm64 build, cross-compiled with Debian 12's own packages in a Debian 12 root of its own (amd64, with arm64
# added as a foreign architecture), kept in the cache so that the machine's apt configuration stays as it is.
#
# Usage: scripts/arm64.sh package <build dir>   pylvane_<version>_arm64.deb, checked by lintian
#        scripts/arm64.sh test <build dir>      the test suite built for arm64 and run under qemu-user
#        scripts/arm64.sh prepare               only the roots that these and the arm64 install test use
#        scripts/arm64.sh --print-qemu          where the qemu-user that runs arm64 programs is
# Needs root (debootstrap, chroot). Environment: JOBS (default: nproc), SOURCE_DATE_EPOCH.
set -euo pipefail
source "$(dirname "$0")/debian-root.sh"
source_dir=$(cd "$(dirname "$0")/.." && pwd)
readonly source_dir
readonly root=$pylvane_cache/bookworm-arm64-cross
# Bookworm's qemu 7.2 fails every process start of Qt 6.4 (clone with CLONE_PIDFD); the backported one does not.
readonly qemu_path=/usr/bin/qemu-aarch64
# moc, rcc and uic come from the amd64 Qt; libraries and headers from the arm64 one. The rest is what the tests
# start as child programs, which need not be arm64 ones.
readonly native_packages="crossbuild-essential-arm64 cmake ninja-build qt6-base-dev qt6-base-dev-tools dpkg-dev \
file lintian iproute2 iputils-ping procps locales util-linux mawk unicode-data libcap2-bin xdg-utils librsvg2-bin \
systemd python3-prometheus-client help2man"
readonly arm64_packages="qt6-base-dev:arm64 libgl-dev:arm64 libsqlite3-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64"

if [ "${1:-}" = --print-qemu ]; then
    echo "$root$qemu_path"
    exit 0
fi
if [ "${1:-}" != --inside ]; then
    if [ "${1:-}" != prepare ] && { [ $# -ne 2 ] || { [ "$1" != package ] && [ "$1" != test ]; }; }; then
        echo "usage: $0 package|test <build dir> | prepare" >&2
        exit 2
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "arm64: needs root for debootstrap and chroot" >&2
        exit 1
    fi
    started=$SECONDS
    mkdir -p "$pylvane_cache/apt-archives"
    exec 9>"$pylvane_cache/bookworm-arm64-cross.lock"
    flock 9
    wanted="$native_packages $arm64_packages qemu-user/bookworm-backports"
    if [ "$(cat "$root/.pylvane-packages" 2>/dev/null)" != "$wanted" ]; then
        if [ ! -d "$root" ]; then
            make_debian_root "$pylvane_cache/bookworm-minbase"
            cp -a "$pylvane_cache/bookworm-minbase" "$root"
        fi
        mirror=$(debian_mirror) || exit 1
        read -r mirror _ <<<"$mirror"
        echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} bookworm-backports main" \
            >"$root/etc/apt/sources.list.d/backports.list"
        echo "== installing the cross-compilers, Qt for arm64 and qemu-user into $root"
        lock_apt_archives
        # shellcheck disable=SC2016,SC2086 # expanded by the inner shell; one package name a word
        unshare --mount --propagation private -- sh -c '
            set -e
            mount -t proc proc "$1/proc"
            mount --bind "$2" "$1/var/cache/apt/archives"
            cp /etc/resolv.conf "$1/etc/resolv.conf"
            root=$1
            shift 2
            in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
                DEBIAN_FRONTEND=noninteractive "$@"; }
            in_root dpkg --add-architecture arm64
            in_root apt-get -q update
            in_root apt-get install -qy --no-install-recommends "$@"
            in_root apt-get -q autoclean
        ' sh "$root" "$pylvane_cache/apt-archives" $wanted >"$pylvane_cache/arm64-cross.log" 2>&1 || {
            tail -30 "$pylvane_cache/arm64-cross.log"
            echo "arm64: installing the packages failed (log: $pylvane_cache/arm64-cross.log)" >&2
            exit 1
        }
        echo "$wanted" >"$root/.pylvane-packages"
        exec 7>&-
        echo "   took $((SECONDS - started)) s"
    fi
    if [ "$1" = prepare ]; then
        exec 9>&-
        make_debian_root "$pylvane_cache/bookworm-arm64-minbase" arm64 "$root$qemu_path"
        exit 0
    fi
    mkdir -p "$source_dir/$2"
    in_emulation_namespace "$BASH" "$0" --inside "$1" "$2"
    echo "== arm64 $1 took $((SECONDS - started)) s"
    exit 0
fi

what=$2 build=/src/$3
# The root a mount point of its own, as a system's root is: the tests' `unshare -m` changes its propagation.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
# As a system has it; journald, which a test starts, needs the cgroup tree there.
mount --rbind /sys "$root/sys"
mkdir -p "$root/src"
mount --bind "$source_dir" "$root/src"
# Without it the tests' arm64 helper programs cannot start; those tests skip, naming this.
no_binfmt=
register_qemu "$root$qemu_path" ||
    no_binfmt="binfmt_misc refused an entry for qemu in the tests' own user namespace (needs Linux 6.7 or later)"

# shellcheck disable=SC2016 # expanded by the inner shell
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-}" JOBS="${JOBS:-$(nproc)}" PYLVANE_NO_BINFMT="$no_binfmt" \
    bash -c '
    set -euo pipefail
    cd /src
    what=$1 build=$2
    configure=(cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=/src/cmake/Aarch64LinuxToolchain.cmake)
    if [ "$what" = package ]; then
        export DEB_BUILD_MAINT_OPTIONS=hardening=+all
        flags() { dpkg-architecture -aarm64 -c dpkg-buildflags --get "$1"; }
        "${configure[@]}" -DCMAKE_BUILD_TYPE=Release -DPYLVANE_TESTS=OFF -DPYLVANE_WERROR=ON \
            -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)"
        cmake --build "$build" -j "$JOBS"
        rm -f "$build"/pylvane_*.deb
        # dpkg-shlibdeps reads the arm64 libraries with the cross binutils that dpkg-architecture names.
        (cd "$build" && umask 022 && dpkg-architecture -aarm64 -c cpack)
        lintian --fail-on error --info "$build"/pylvane_*_arm64.deb
        dpkg-deb --field "$build"/pylvane_*_arm64.deb Package Version Architecture Depends
    else
        "${configure[@]}" -DCMAKE_BUILD_TYPE=Debug -DPYLVANE_TESTS=ON -DPYLVANE_WERROR=ON
        cmake --build "$build" -j "$JOBS"
        [ -n "$PYLVANE_NO_BINFMT" ] || unset PYLVANE_NO_BINFMT
        # Those that kill and contend with child processes run 8 to 11 times slower under emulation: alone.
        PYLVANE_UNDER_QEMU=1 PYLVANE_SERIAL_TESTS="KilledWriters|KilledHistoryWriters|KilledCycles|LogProcesses|ProgramEnd|ProgramHeadless" \
            bash scripts/run-tests.sh "$build" "$JOBS"
    fi
' bash "$what" "$build"
