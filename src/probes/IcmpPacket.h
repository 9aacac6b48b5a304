#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// What identifies our one echo request: where it went and the identifier and sequence it carried.
struct EchoIdentity {
    uint32_t destination = 0; // network byte order
    uint16_t identifier = 0;
    uint16_t sequence = 0;
};

// What one received packet says about our echo.
struct EchoMatch {
    enum class Kind { Unrelated, Reply, Error };
    Kind kind = Kind::Unrelated;
    int32_t status = 0;  // 0 for a reply, the error's status code for an error
    uint32_t source = 0; // sender, network byte order
    bool hasIpHeader = false;
    uint8_t ttl = 0;
    uint8_t tos = 0;
    size_t dataOffset = 0; // echoed data of a reply, as an offset into the buffer that was matched
    size_t dataSize = 0;
};

// Builds echo requests and reads ICMP packets on plain byte buffers. Every read is preceded by a
// length check, since anyone on the network can send us any bytes.
class IcmpPacket {
public:
    static constexpr size_t kHeaderSize = 8;

    static std::vector<uint8_t> echoRequest(uint16_t identifier, uint16_t sequence, std::string_view data);

    // The Internet checksum (ones' complement sum of 16-bit words).
    static uint16_t checksum(std::span<const uint8_t> bytes);

    // An ICMP message without IP header, as datagram ICMP sockets deliver it, sent by `source`
    // (network byte order).
    static EchoMatch matchMessage(std::span<const uint8_t> message, uint32_t source, const EchoIdentity& ours);

    // A whole IPv4 datagram carrying ICMP, as raw sockets deliver it.
    static EchoMatch matchDatagram(std::span<const uint8_t> datagram, const EchoIdentity& ours);

    // True when an entry of a datagram socket's error queue concerns our request: `destination` is
    // where the failed datagram went, as the entry names it, and `quoted` what it gives back of it.
    static bool isOwnQueuedError(std::span<const uint8_t> quoted, uint32_t destination, const EchoIdentity& ours);
};
