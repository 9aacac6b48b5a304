#pragma once

#include <cstdint>

// What the echo probe refuses before anything is sent, on every system.
namespace EchoDestination {

// A parsed destination (network byte order). 0.0.0.0 names no host, yet the local host would answer
// it, so it is refused with a bad destination; 0 lets the echo go out.
int32_t refusal(uint32_t destination);

} // namespace EchoDestination
