#pragma once

#include <cstdint>

// Turns what the kernel reports about an echo into the status codes of the echo probe.
namespace EchoStatusMap {

// An errno from opening, sending or the socket's error queue. Unlisted codes are a general failure.
int32_t fromErrno(int error);

// An ICMP error message (type, code) that quotes our request. Returns 0 for messages that are no
// verdict on the echo (a redirect, for example), so that the wait goes on.
int32_t fromIcmpError(uint8_t type, uint8_t code);

} // namespace EchoStatusMap
