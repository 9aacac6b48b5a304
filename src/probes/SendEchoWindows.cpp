#include "probes/EchoRequest.h"
#include "probes/EchoStatus.h"
#include "probes/Module1.h"

// winsock2.h must come before windows.h, and the echo library's headers after both.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kTimeoutMs = 500;
constexpr int32_t kFirstIpStatus = 11000;
constexpr int32_t kLastIpStatus = 11255;

// The native reply record (the 64-bit layout here) with as much room behind it for the echoed data as
// the 278-byte record keeps.
struct NativeReply {
    ICMP_ECHO_REPLY head;
    unsigned char data[sizeof(EchoReply::ReplyData)];
};

// The echo library returns no reply for a timeout as well as for a failure; the reason is the
// thread's last error when that is an IP status, and anything else is a general failure.
int32_t noReplyStatus(DWORD error)
{
    const auto status = static_cast<int64_t>(error);
    return status >= kFirstIpStatus && status <= kLastIpStatus ? static_cast<int32_t>(status)
                                                               : EchoStatus::GeneralFailure;
}

// Field by field: the native record has pointers and padding where the 32-bit record has neither.
void copyReply(const NativeReply& native, EchoReply& reply)
{
    const ICMP_ECHO_REPLY& head = native.head;
    reply.Address = head.Address;
    reply.Status = static_cast<int32_t>(head.Status);
    reply.RoundTripTime = head.RoundTripTime;
    reply.Ttl = head.Options.Ttl;
    reply.Tos = head.Options.Tos;
    reply.Flags = head.Options.Flags;
    reply.OptionsSize = head.Options.OptionsSize;
    // The echoed data lies in the buffer behind the records; anything pointing elsewhere is not copied.
    const auto* data = static_cast<const unsigned char*>(head.Data);
    const auto* begin = reinterpret_cast<const unsigned char*>(&native);
    const auto* end = begin + sizeof native;
    size_t size = 0;
    if (data != nullptr && data >= begin && data < end) {
        size = std::min<size_t>({head.DataSize, static_cast<size_t>(end - data), sizeof reply.ReplyData});
        std::memcpy(reply.ReplyData, data, size);
    }
    reply.DataSize = static_cast<uint16_t>(size);
}

} // namespace

int32_t Module1::SendEcho(const std::string& address, const std::string& requestData, EchoReply& reply)
{
    // inet_addr takes the classic forms (1 to 4 parts, octal, hex) and resolves no names; its
    // all-ones failure value makes the broadcast address unusable as well.
    const unsigned long destination = inet_addr(address.c_str());
    if (destination == INADDR_NONE) {
        return EchoStatus::BadAddress;
    }
    if (const int32_t refused = EchoRequest::refusal(destination, requestData.size()); refused != 0) {
        reply.Status = refused;
        return reply.Status;
    }
    const HANDLE handle = IcmpCreateFile();
    if (handle == INVALID_HANDLE_VALUE) {
        reply.Status = EchoStatus::GeneralFailure;
        return reply.Status;
    }
    NativeReply native{};
    const DWORD replies =
        IcmpSendEcho(handle, destination, const_cast<char*>(requestData.data()), static_cast<WORD>(requestData.size()),
                     nullptr, &native, sizeof native, kTimeoutMs);
    const DWORD error = GetLastError();
    IcmpCloseHandle(handle);
    if (replies == 0) {
        reply.Status = noReplyStatus(error);
    } else {
        copyReply(native, reply);
    }
    return reply.Status;
}

int32_t Module1::AddressStatus(const std::string& address)
{
    const unsigned long destination = inet_addr(address.c_str());
    if (destination == INADDR_NONE)
        return EchoStatus::BadAddress;
    return EchoRequest::refusal(destination, 1);
}
