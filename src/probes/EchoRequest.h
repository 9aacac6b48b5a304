#pragma once

#include <cstddef>
#include <cstdint>

// What the echo probe refuses before anything is sent, on every system.
namespace EchoRequest {

// The status for an echo to `destination` (parsed, network byte order) carrying `dataSize` bytes when
// it must not go out, else 0. 0.0.0.0 names no host, yet the local host would answer it, so it is a
// bad destination. The reply record keeps the echoed data behind the 8-byte ICMP header that the
// platform's echo library also keeps there, so more data than that room is a buffer too small.
int32_t refusal(uint32_t destination, size_t dataSize);

} // namespace EchoRequest
