// Any bytes as a received ICMP message and as a whole IPv4 datagram. Whatever is accepted as our
// reply carries our identifier, sequence and (where the IP header shows it) our destination.
#include "FuzzCheck.h"

#include "probes/IcmpPacket.h"

#include <arpa/inet.h>

namespace {

const EchoIdentity kOurs{htonl(0x7f000002), 0x1234, 0xbeef};

void checkReply(std::span<const uint8_t> bytes, const EchoMatch& match)
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
    FUZZ_REQUIRE(!match.hasIpHeader || match.source == kOurs.destination);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    checkReply(bytes, IcmpPacket::matchMessage(bytes, kOurs));
    checkReply(bytes, IcmpPacket::matchDatagram(bytes, kOurs));
    IcmpPacket::isOwnRequest(bytes, kOurs);
    return 0;
}
