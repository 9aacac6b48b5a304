#pragma once

// Whether this process may send an ICMP echo at all: through the unprivileged datagram socket that
// the system grants to some groups, or through a raw socket, which needs extra rights. Without
// either, every echo ends in a general failure and no device or camera can be seen up or down.
bool echoAllowed();
