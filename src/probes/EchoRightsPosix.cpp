#include "probes/EchoRights.h"
#include "probes/IcmpSocket.h"

bool echoAllowed()
{
    // The kernel decides at socket creation, so opening the socket an echo would use is the whole test.
    return IcmpSocket().kind() != IcmpSocket::Kind::None;
}

std::string echoRightsAdvice(const std::string& programPath)
{
    return "Pylvane cannot send ICMP echo requests, so it cannot tell whether devices and cameras are up: as root, "
           "either give the program the capability with \"setcap cap_net_raw+ep " +
           programPath +
           "\" or let ordinary users send echo with \"sysctl -w net.ipv4.ping_group_range='0 2147483647'\"";
}
