#include "probes/EchoRights.h"
#include "probes/IcmpSocket.h"

bool echoAllowed()
{
    // The kernel decides at socket creation, so opening the socket an echo would use is the whole test.
    return IcmpSocket().kind() != IcmpSocket::Kind::None;
}
