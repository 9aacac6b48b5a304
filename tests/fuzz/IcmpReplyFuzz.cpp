// Any bytes as a received ICMP message (from our destination or from elsewhere), as a whole IPv4
// datagram and as a queued error's quote. Whatever is accepted as our reply carries our identifier,
// our sequence and a sound checksum, and came from the address the request went to. A queued error taken
// as ours names our destination and, when it quotes a whole header, our request.
#include "FuzzCheck.h"

#include "probes/IcmpPacket.h"

#include <arpa/inet.h>

namespace {

const EchoIdentity kOurs{htonl(0x7f000002), 0x1234, 0xbeef};

void checkReply(std::span<const uint8_t> bytes, const EchoMatch& match, uint32_t source)
{
    FUZZ_REQUIRE(match.dataOffset + match.dataSize <= bytes.size());
    if (match.kind != EchoMatch::Kind::Reply)
        return;
    FUZZ_REQUIRE(match.dataOffset >= IcmpPacket::kHeaderSize);
    const std::span<const uint8_t> icmp = bytes.subspan(match.dataOffset - IcmpPacket::kHeaderSize);
    FUZZ_REQUIRE(icmp[0] == 0);
    FUZZ_REQUIRE(((icmp[4] << 8) | icmp[5]) == kOurs.identifier);
    FUZZ_REQUIRE(((icmp[6] << 8) | icmp[7]) == kOurs.sequence);
    FUZZ_REQUIRE(IcmpPacket::checksum(icmp) == 0);
    FUZZ_REQUIRE(source == kOurs.destination);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    for (uint32_t source : {kOurs.destination, htonl(0x7f000009)})
        checkReply(bytes, IcmpPacket::matchMessage(bytes, source, kOurs), source);
    // A datagram's sender is in its IP header.
    const EchoMatch fromDatagram = IcmpPacket::matchDatagram(bytes, kOurs);
    checkReply(bytes, fromDatagram, fromDatagram.kind == EchoMatch::Kind::Reply ? fromDatagram.source : 0);
    FUZZ_REQUIRE(!IcmpPacket::isOwnQueuedError(bytes, htonl(0x7f000009), kOurs));
    if (IcmpPacket::isOwnQueuedError(bytes, kOurs.destination, kOurs) && size >= IcmpPacket::kHeaderSize)
        FUZZ_REQUIRE(data[0] == 8 && ((data[4] << 8) | data[5]) == kOurs.identifier &&
                     ((data[6] << 8) | data[7]) == kOurs.sequence);
    return 0;
}
