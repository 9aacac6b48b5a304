# Sourced by the end-to-end scripts that run the built Windows program under Wine.
# shellcheck shell=bash disable=SC2034
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/windows/wine-tools.sh"
# The first cycle comes about 20 s after start; the rest is headroom for a busy machine.
first_cycle_wait=80

skip() {
    echo "Skipped: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    exit 1
}

# Wine's drive Z: is the root of the file system.
windows_path() {
    local path=${1//\//\\}
    echo "Z:$path"
}

# $tmp: a folder of the test's own with tools/ and work/. At the end it goes, with the programs whose ids the test
# adds to $pids and the settings they were given.
start_test_folder() {
    tmp=$(mktemp -d)
    pids=
    trap end_test_folder EXIT
    mkdir "$tmp/tools" "$tmp/work"
}
end_test_folder() {
    for pid in $pids; do { kill "$pid" && wait "$pid"; } 2>/dev/null || true; done
    "$wine" reg delete 'HKCU\Software\Pylvane' /va /f </dev/null >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
