# Sourced by the end-to-end scripts that run the built Windows program under Wine.
# shellcheck shell=bash disable=SC2034
wine=/usr/lib/wine/wine64
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
