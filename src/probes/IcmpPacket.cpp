#include "probes/IcmpPacket.h"

#include "probes/EchoStatusMap.h"

#include <cstring>

namespace {

constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kProtocolIcmp = 1;
constexpr size_t kMinIpHeader = 20;

uint16_t be16(std::span<const uint8_t> bytes, size_t offset)
{
    return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

// Length of a valid IPv4 header at the start of `bytes`, or 0 when there is none.
size_t ipHeaderLength(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kMinIpHeader || (bytes[0] >> 4) != 4) {
        return 0;
    }
    const size_t length = static_cast<size_t>(bytes[0] & 0x0f) * 4;
    if (length < kMinIpHeader || bytes.size() < length) {
        return 0;
    }
    return length;
}

uint32_t rawAddress(std::span<const uint8_t> bytes, size_t offset)
{
    uint32_t address = 0;
    std::memcpy(&address, bytes.data() + offset, sizeof address); // stays in network byte order
    return address;
}

bool isOwnRequest(std::span<const uint8_t> message, const EchoIdentity& ours)
{
    return message.size() >= IcmpPacket::kHeaderSize && message[0] == kEchoRequest &&
           be16(message, 4) == ours.identifier && be16(message, 6) == ours.sequence;
}

// An ICMP error quotes the IP header and the first 8 bytes of the datagram that caused it.
bool quotesOurRequest(std::span<const uint8_t> quote, const EchoIdentity& ours)
{
    const size_t headerLength = ipHeaderLength(quote);
    if (headerLength == 0 || quote[9] != kProtocolIcmp || rawAddress(quote, 16) != ours.destination) {
        return false;
    }
    return isOwnRequest(quote.subspan(headerLength), ours);
}

} // namespace

std::vector<uint8_t> IcmpPacket::echoRequest(uint16_t identifier, uint16_t sequence, std::string_view data)
{
    std::vector<uint8_t> packet(kHeaderSize + data.size(), 0);
    packet[0] = kEchoRequest;
    packet[4] = static_cast<uint8_t>(identifier >> 8);
    packet[5] = static_cast<uint8_t>(identifier & 0xff);
    packet[6] = static_cast<uint8_t>(sequence >> 8);
    packet[7] = static_cast<uint8_t>(sequence & 0xff);
    if (!data.empty()) { // an empty view may hold a null pointer, which memcpy must not see
        std::memcpy(packet.data() + kHeaderSize, data.data(), data.size());
    }
    const uint16_t sum = checksum(packet);
    packet[2] = static_cast<uint8_t>(sum >> 8);
    packet[3] = static_cast<uint8_t>(sum & 0xff);
    return packet;
}

uint16_t IcmpPacket::checksum(std::span<const uint8_t> bytes)
{
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        sum += be16(bytes, i);
    }
    if (i < bytes.size()) {
        sum += static_cast<uint32_t>(bytes[i]) << 8;
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum & 0xffff);
}

EchoMatch IcmpPacket::matchMessage(std::span<const uint8_t> message, uint32_t source, const EchoIdentity& ours)
{
    EchoMatch match;
    match.source = source;
    // Raw sockets are handed packets before the kernel checks their ICMP checksum; a damaged answer
    // says nothing about the host.
    if (message.size() < kHeaderSize || checksum(message) != 0) {
        return match;
    }
    const uint8_t type = message[0];
    if (type == kEchoReply) {
        // Identifier and sequence alone would let any host, or a forger, answer for a dead one.
        if (source == ours.destination && be16(message, 4) == ours.identifier && be16(message, 6) == ours.sequence) {
            match.kind = EchoMatch::Kind::Reply;
            match.dataOffset = kHeaderSize;
            match.dataSize = message.size() - kHeaderSize;
        }
        return match;
    }
    if (type == kEchoRequest) {
        return match; // our own request looped back, or somebody pinging us
    }
    const int32_t status = EchoStatusMap::fromIcmpError(type, message[1]);
    if (status != 0 && quotesOurRequest(message.subspan(kHeaderSize), ours)) {
        match.kind = EchoMatch::Kind::Error;
        match.status = status;
    }
    return match;
}

EchoMatch IcmpPacket::matchDatagram(std::span<const uint8_t> datagram, const EchoIdentity& ours)
{
    const size_t headerLength = ipHeaderLength(datagram);
    if (headerLength == 0 || datagram[9] != kProtocolIcmp) {
        return {};
    }
    EchoMatch match = matchMessage(datagram.subspan(headerLength), rawAddress(datagram, 12), ours);
    if (match.kind != EchoMatch::Kind::Unrelated) {
        match.hasIpHeader = true;
        match.tos = datagram[1];
        match.ttl = datagram[8];
        match.dataOffset += headerLength;
    }
    return match;
}

bool IcmpPacket::isOwnQueuedError(std::span<const uint8_t> quoted, uint32_t destination, const EchoIdentity& ours)
{
    // The kernel files any error quoting our identifier here, whatever address the quoted request went
    // to. An entry too short to quote a request came from this socket's only send.
    return destination == ours.destination && (quoted.size() < kHeaderSize || isOwnRequest(quoted, ours));
}
