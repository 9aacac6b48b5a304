#!/usr/bin/env bash
# Lets the program that `make run` starts send ICMP echo as the user who runs it. The user may when the shell
# holds cap_net_raw (root does), when one of the user's groups lies in net.ipv4.ping_group_range, or when the
# program file already carries the capability; otherwise the file gets it with sudo setcap, as `make install`
# does for the installed program. The build writes a new file each time, which drops the capability again.
#
# Usage: scripts/echo-rights.sh <program>     (PYLVANE_RANGE_FILE: the range to read, for tests)
set -uo pipefail
exe=$1
range_file=${PYLVANE_RANGE_FILE:-/proc/sys/net/ipv4/ping_group_range}
PATH=$PATH:/usr/sbin:/sbin

effective=$(sed -n 's/^CapEff:[[:space:]]*//p' /proc/self/status)
(((0x${effective:-0} >> 13) & 1)) && exit 0 # bit 13 is CAP_NET_RAW

read -r low high <"$range_file" 2>/dev/null
if [[ ${low:-} =~ ^[0-9]+$ && ${high:-} =~ ^[0-9]+$ ]]; then
    for group in $(id -G); do
        ((group >= low && group <= high)) && exit 0
    done
fi

getcap "$exe" 2>/dev/null | grep -q cap_net_raw && exit 0

echo "This user may not send ICMP echo (net.ipv4.ping_group_range '${low:-} ${high:-}'): giving $exe the capability with 'sudo setcap cap_net_raw+ep $exe'"
sudo setcap cap_net_raw+ep "$exe" || echo "That failed: Pylvane runs, but cannot tell whether devices and cameras are up" >&2
exit 0
