# Sourced: the Debian mirror this machine uses, and Debian 12 roots made with debootstrap and kept in the user's
# cache, so that building and testing in them leave the machine's own apt configuration alone.
# shellcheck shell=bash disable=SC2034
pylvane_cache=${PYLVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pylvane}
# What the kernel runs arm64 programs with when they are started inside an emulated root (see register_qemu).
readonly arm64_elf_magic='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
readonly arm64_elf_mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# The Debian mirror this machine's apt is set up with: the first source, in either of apt's formats, that serves
# the release itself (not its -updates or -security suites). No mirror is named here: where apt has none, this
# says so and fails, as there is nothing to fetch Debian from.
debian_mirror() {
    local codename mirror file
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    mirror=$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true; } |
        awk -v suite="$codename" '$1 ~ /^deb(-src)?$/ {
            i = 2; if ($i ~ /^\[/) while ($i !~ /\]$/) i++; if ($i ~ /^\[/ || $i ~ /\]$/) i++
            if ($(i + 1) == suite) { print $i; exit } }')
    if [ -z "$mirror" ]; then
        # A file's end ends its last stanza too.
        mirror=$({ for file in /etc/apt/sources.list.d/*.sources; do cat "$file" && echo; done 2>/dev/null || true; } |
            awk -v suite="$codename" 'function flush() { if (deb && uri != "" && has && on) { print uri; found = 1 }
                    deb = 0; uri = ""; has = 0; on = 1 }
                BEGIN { on = 1 }
                /^[ \t]*$/ { flush(); if (found) exit; next }
                /^Types:/ && /deb/ { deb = 1 }
                /^URIs:/ { uri = $2 }
                /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) has = 1 }
                /^Enabled:[ \t]*no/ { on = 0 }
                END { if (!found) flush() }' | head -n 1)
    fi
    if [ -z "$mirror" ]; then
        echo "No Debian mirror for $codename is configured in this system's apt sources (/etc/apt/sources.list," \
            "/etc/apt/sources.list.d/*.list or *.sources): add one for apt, then try again" >&2
        return 1
    fi
    echo "$mirror $codename"
}

# A minimal Debian 12 root in <dir> for the machine's own architecture or another; made once and kept. A root of
# another architecture is finished by its own programs, run by <qemu> in an emulation namespace; its device nodes
# are made before, outside, where mknod is allowed, and debootstrap is told (as in a container) not to try again.
# Two runs that want the same root at once (CI makes them beside the tests) take turns: the second finds it made.
make_debian_root() { # dir [architecture qemu]
    [ -x "$1/usr/bin/apt-get" ] && return 0
    mkdir -p "$(dirname "$1")"
    (
        flock 8
        make_debian_root_now "$@"
    ) 8>"$1.lock"
}

make_debian_root_now() { # dir [architecture qemu]
    local dir=$1 arch=${2:-$(dpkg --print-architecture)} qemu=${3:-} mirror codename log started=$SECONDS
    [ -x "$dir/usr/bin/apt-get" ] && return 0
    mirror=$(debian_mirror) || return 1
    read -r mirror codename <<<"$mirror"
    log=$pylvane_cache/debootstrap-$arch.log
    echo "== making a Debian 12 root for $arch in $dir (kept for later runs)"
    mkdir -p "$pylvane_cache"
    rm -rf "$dir.partial"
    if [ "$arch" = "$(dpkg --print-architecture)" ]; then
        debootstrap --variant=minbase bookworm "$dir.partial" "$mirror" >"$log" 2>&1
    else
        # shellcheck disable=SC2016 # expanded by the inner shell
        debootstrap --variant=minbase --foreign --arch="$arch" bookworm "$dir.partial" "$mirror" >"$log" 2>&1 &&
            in_emulation_namespace "$BASH" -c 'source "$0" && register_qemu "$1" &&
                mount -t proc proc "$2/proc" &&
                container=lxc chroot "$2" /debootstrap/debootstrap --second-stage' \
                "${BASH_SOURCE[0]}" "$qemu" "$dir.partial" >>"$log" 2>&1
    fi || {
        tail -20 "$log"
        echo "debootstrap failed (log: $log)" >&2
        return 1
    }
    mv "$dir.partial" "$dir"
    echo "   took $((SECONDS - started)) s"
}

# The downloaded packages kept in the cache are shared by every root's apt, which allows one run at a time: the
# caller holds this lock (on descriptor 7) while one runs.
lock_apt_archives() {
    mkdir -p "$pylvane_cache/apt-archives"
    exec 7>"$pylvane_cache/apt-archives.lock"
    flock 7
}

# Runs a command in new user, mount and process namespaces, as their root (every id mapped to itself), where
# register_qemu may register an interpreter without touching the host's binfmt_misc.
# The maps are written from here, by the namespace's parent, as unshare itself would need newuidmap for them.
in_emulation_namespace() { # command...
    local ready go pid status=0
    ready=$(mktemp -u "${TMPDIR:-/tmp}/pylvane-userns.XXXXXX")
    mkfifo -m 600 "$ready"
    # Held open both ways until the child ends: the go-ahead then waits in the pipe instead of blocking this side
    # when the child never comes to read it (it may end first).
    exec {go}<>"$ready"
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --user --mount --pid --fork --kill-child --propagation private -- sh -c 'read -r _ <"$0" && exec "$@"' \
        "$ready" "$@" {go}>&- &
    pid=$!
    while [ "$(readlink "/proc/$pid/ns/user")" = "$(readlink /proc/self/ns/user)" ] && kill -0 "$pid"; do
        sleep 0.05
    done
    if echo "0 0 4294967295" >"/proc/$pid/uid_map" && echo "0 0 4294967295" >"/proc/$pid/gid_map"; then
        echo >&"$go"
    else
        kill "$pid"
    fi
    wait "$pid" || status=$?
    exec {go}>&-
    rm -f "$ready"
    return $status
}

# Registers <qemu> for arm64 programs in a binfmt_misc private to this user namespace (Linux 6.7 and later). The
# interpreter is opened now (flag F), so it serves inside any chroot; P keeps the programs' own argv[0]; C gives
# the process the program's own file capabilities (the package's postinst grants one), not the interpreter's.
register_qemu() { # qemu
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null &&
        printf '%s' ":pylvane-aarch64:M::$arm64_elf_magic:$arm64_elf_mask:$1:FPC" \
            >/proc/sys/fs/binfmt_misc/register 2>/dev/null
}
