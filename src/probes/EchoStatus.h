#pragma once

#include <cstdint>

// The IP status codes that the echo probe produces, with the values the status table gives them.
namespace EchoStatus {
constexpr int32_t BadAddress = -1;
constexpr int32_t Success = 0;
constexpr int32_t BufferTooSmall = 11001;
constexpr int32_t NetUnreachable = 11002;
constexpr int32_t HostUnreachable = 11003;
constexpr int32_t ProtocolUnreachable = 11004;
constexpr int32_t PortUnreachable = 11005;
constexpr int32_t NoResources = 11006;
constexpr int32_t PacketTooBig = 11009;
constexpr int32_t TimedOut = 11010;
constexpr int32_t BadRoute = 11012;
constexpr int32_t TtlExpiredTransit = 11013;
constexpr int32_t TtlExpiredReassembly = 11014;
constexpr int32_t ParameterProblem = 11015;
constexpr int32_t SourceQuench = 11016;
constexpr int32_t BadDestination = 11018;
constexpr int32_t GeneralFailure = 11050;
} // namespace EchoStatus
