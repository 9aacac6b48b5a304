#include "probes/EchoStatusMap.h"

#include "probes/EchoStatus.h"

#include <cerrno>

namespace {

constexpr uint8_t kDestUnreachable = 3;
constexpr uint8_t kSourceQuench = 4;
constexpr uint8_t kTimeExceeded = 11;
constexpr uint8_t kParameterProblem = 12;

int32_t fromUnreachableCode(uint8_t code)
{
    switch (code) {
    case 0:  // net unreachable
    case 6:  // net unknown
    case 9:  // net administratively prohibited
    case 11: // net unreachable for the type of service
        return EchoStatus::NetUnreachable;
    case 2:
        return EchoStatus::ProtocolUnreachable;
    case 3:
        return EchoStatus::PortUnreachable;
    case 4: // fragmentation needed but not allowed
        return EchoStatus::PacketTooBig;
    case 5: // source route failed
        return EchoStatus::BadRoute;
    default: // host unreachable, unknown, prohibited, filtered and the rest concern the host
        return EchoStatus::HostUnreachable;
    }
}

} // namespace

int32_t EchoStatusMap::fromErrno(int error)
{
    switch (error) {
    case ENETUNREACH:
    case ENETDOWN:
        return EchoStatus::NetUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return EchoStatus::HostUnreachable;
    case ENOPROTOOPT:
        return EchoStatus::ProtocolUnreachable;
    case ECONNREFUSED:
        return EchoStatus::PortUnreachable;
    case EMSGSIZE:
        return EchoStatus::PacketTooBig;
    case ENOBUFS:
    case ENOMEM:
        return EchoStatus::NoResources;
    default:
        return EchoStatus::GeneralFailure;
    }
}

int32_t EchoStatusMap::fromIcmpError(uint8_t type, uint8_t code)
{
    switch (type) {
    case kDestUnreachable:
        return fromUnreachableCode(code);
    case kTimeExceeded:
        return code == 0 ? EchoStatus::TtlExpiredTransit : EchoStatus::TtlExpiredReassembly;
    case kParameterProblem:
        return EchoStatus::ParameterProblem;
    case kSourceQuench:
        return EchoStatus::SourceQuench;
    default:
        return EchoStatus::Success;
    }
}
