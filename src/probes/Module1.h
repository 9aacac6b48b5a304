#pragma once

#include "probes/EchoReply.h"

#include <cstdint>
#include <string>

// The echo probe and the socket session around it. Truth values are -1 (true) and 0 (false).
namespace Module1 {

// Starts the socket library for one echo. -1 when it is ready, 0 when not.
int WinsockStart();

// Releases the socket library. Returns 0 when the release succeeded; the caller warns the user otherwise.
int WinsockStop();

// Sends exactly one ICMP echo request carrying `requestData` to the dotted IPv4 `address` and waits
// at most 500 ms. Returns -1 when the address does not parse (and leaves `reply` untouched),
// otherwise the IP status written into `reply.Status` (0 reply, 11010 no reply in time, ...).
int32_t SendEcho(const std::string& address, const std::string& requestData, EchoReply& reply);

// What SendEcho makes of `address` before anything is sent: BadAddress when it does not parse, BadDestination when
// it names no host, else Success (0). Nothing goes out.
int32_t AddressStatus(const std::string& address);

// "<status>   [ <text> ]" for the status table.
std::string DescribeEchoStatus(int32_t status);

} // namespace Module1
