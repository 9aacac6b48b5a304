#!/usr/bin/env bash
# The systemd units checked without a running systemd: `systemd-analyze verify` finds nothing to say about either,
# and `systemd-analyze security` rates the system unit's exposure at 2.0 or less. verify wants every program the
# unit starts to exist, so each unit is checked as a copy whose /usr/bin/pylvane names the built program.
#
# Usage: check-units.sh <built pylvane>
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
units=${PYLVANE_UNITS:-$source_dir/packaging/systemd}
readonly source_dir units
readonly highest_exposure=2.0

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 <built pylvane>" >&2
    exit 2
fi
program=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/pylvane-check-units.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
pass() { echo "ok: $*"; }
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}

# A path with a blank or a '%' would mean something else in a unit file.
case $program in
*[[:space:]%\\]*)
    cp "$program" "$work/pylvane"
    program=$work/pylvane
    ;;
esac
mkdir -p "$work/system" "$work/user" "$work/runtime"
chmod 700 "$work/runtime"
sed "s#/usr/bin/pylvane#$program#g" "$units/pylvane.service" >"$work/system/pylvane.service"
sed "s#/usr/bin/pylvane#$program#g" "$units/user/pylvane.service" >"$work/user/pylvane.service"
grep -q "$program" "$work/system/pylvane.service" || fail "the system unit starts /usr/bin/pylvane"

# The manual page the units name is the package's; it is not installed here.
if output=$(systemd-analyze verify --man=no "$work/system/pylvane.service" 2>&1) && [ -z "$output" ]; then
    pass "systemd-analyze verify: the system unit"
else
    fail "systemd-analyze verify: the system unit: $output"
fi
# A user manager's paths come from the user's runtime folder, which a CI run may not have.
if output=$(XDG_RUNTIME_DIR=$work/runtime HOME=$work systemd-analyze --user verify --man=no \
    "$work/user/pylvane.service" 2>&1) && [ -z "$output" ]; then
    pass "systemd-analyze --user verify: the user unit"
else
    fail "systemd-analyze --user verify: the user unit: $output"
fi

report=$(systemd-analyze security --offline=true --no-pager "$work/system/pylvane.service" 2>&1) || true
exposure=$(sed -n 's/.*Overall exposure level for pylvane\.service: \([0-9.]*\).*/\1/p' <<<"$report")
if [ -z "$exposure" ]; then
    fail "systemd-analyze security gave no exposure: $report"
elif awk -v e="$exposure" -v h="$highest_exposure" 'BEGIN { exit !(e <= h) }'; then
    pass "the system unit's exposure is $exposure (at most $highest_exposure)"
else
    grep "✗" <<<"$report" || true
    fail "the system unit's exposure is $exposure, above $highest_exposure"
fi

# The measure itself: the same unit stripped of its sandboxing must rate worse, or the figure above is not the
# unit's (systemd-analyze rating another unit of the same name, or none).
grep -v '^\(Protect\|Private\|Restrict\|SystemCall\|CapabilityBoundingSet\|NoNewPrivileges\|MemoryDeny\|LockPersonality\)' \
    "$work/system/pylvane.service" >"$work/pylvane.service"
bare=$(systemd-analyze security --offline=true --no-pager "$work/pylvane.service" 2>&1 |
    sed -n 's/.*Overall exposure level for pylvane\.service: \([0-9.]*\).*/\1/p') || true
if [ -n "$bare" ] && [ -n "$exposure" ] && awk -v b="$bare" -v e="$exposure" 'BEGIN { exit !(b > e && b > 2.0) }'; then
    pass "without its sandboxing the same unit rates $bare"
else
    fail "without its sandboxing the same unit rates ${bare:-nothing}, not above ${exposure:-nothing} and 2.0"
fi

# What the service needs and what would take it away: the capability only through the ambient set, and nothing
# that hides other users' processes or maps the user into a namespace of its own.
for line in Type=notify DynamicUser=yes AmbientCapabilities=CAP_NET_RAW CapabilityBoundingSet=CAP_NET_RAW \
    StateDirectory=pylvane WorkingDirectory=/var/lib/pylvane "WatchdogSec=60s" Restart=on-failure \
    "ExecReload=/bin/kill -HUP \$MAINPID" "ExecStartPre=/bin/sh -c '/usr/bin/pylvane --check-config /etc/pylvane/pylvane.conf; [ \$\$? -lt 2 ]'" \
    "ExecStart=/usr/bin/pylvane --headless --config /etc/pylvane/pylvane.conf"; do
    grep -qxF "$line" "$units/pylvane.service" || fail "the system unit lacks $line"
done
for setting in PrivateUsers ProtectProc PrivateNetwork IPAddressDeny; do
    ! grep -q "^$setting=" "$units/pylvane.service" || fail "the system unit sets $setting=, which the checks cannot bear"
done
! grep -q "^AmbientCapabilities=" "$units/user/pylvane.service" ||
    fail "the user unit asks for a capability, which a user manager cannot give"

echo "check-units: $failed failed"
exit $((failed > 0))
