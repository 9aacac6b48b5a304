#!/bin/sh
# Run as the first command in a network namespace of its own (unshare -n): makes 10.77.0.2 a host that stays
# silent, then runs the given command with its address in PYLVANE_SILENT_HOST. Frames to it leave through one end
# of a veth pair towards a MAC address that nobody has, so the echo gets no answer at all; the permanent neighbour
# entry keeps ARP out of it, which would otherwise turn the silence into "host unreachable". (A dummy interface
# would do the same with fewer lines, but not every kernel has the dummy driver.)
#
# Usage: unshare -n scripts/silent-host.sh <command> [args...]
set -e
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
ip link set lo up
ip link add silent0 type veth peer name silent0far
ip addr add 10.77.0.1/24 dev silent0
ip link set silent0far up
ip link set silent0 up
ip neigh add 10.77.0.2 lladdr 02:00:00:00:77:02 dev silent0 nud permanent
PYLVANE_SILENT_HOST=10.77.0.2
export PYLVANE_SILENT_HOST
exec "$@"
