#pragma once

#include <string>

// Whether this process may send an ICMP echo at all: through the unprivileged datagram socket that
// the system grants to some groups, or through a raw socket, which needs extra rights. Without
// either, every echo ends in a general failure and no device or camera can be seen up or down.
bool echoAllowed();

// One line for the user when echoAllowed() is false: what is wrong and how this system lets the
// program at `programPath` send echo.
std::string echoRightsAdvice(const std::string& programPath);
