#include "probes/IcmpPacket.h"
#include "probes/EchoStatus.h"
#include "probes/EchoStatusMap.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>

namespace {

const EchoIdentity kOurs{htonl(0x0a000005), 0x1234, 0xbeef};
const uint32_t kRouter = htonl(0x0a000001);

std::vector<uint8_t> ipHeader(uint8_t protocol, uint32_t source, uint32_t destination, size_t optionWords = 0)
{
    std::vector<uint8_t> header(20 + optionWords * 4, 0);
    header[0] = static_cast<uint8_t>(0x40 | (5 + optionWords));
    header[1] = 0x10; // type of service
    header[8] = 57;   // ttl
    header[9] = protocol;
    std::memcpy(&header[12], &source, 4);
    std::memcpy(&header[16], &destination, 4);
    return header;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> withChecksum(std::vector<uint8_t> message)
{
    message[2] = message[3] = 0;
    const uint16_t sum = IcmpPacket::checksum(message);
    message[2] = static_cast<uint8_t>(sum >> 8);
    message[3] = static_cast<uint8_t>(sum & 0xff);
    return message;
}

std::vector<uint8_t> echoReply(uint16_t id, uint16_t seq, std::string_view data = "1")
{
    std::vector<uint8_t> packet = IcmpPacket::echoRequest(id, seq, data);
    packet[0] = 0;
    return withChecksum(packet);
}

// An ICMP error from a router quoting the IP header and first 8 bytes of `request`.
std::vector<uint8_t> icmpError(uint8_t type, uint8_t code, uint32_t requestDestination,
                               const std::vector<uint8_t>& request)
{
    std::vector<uint8_t> message = {type, code, 0, 0, 0, 0, 0, 0};
    message = concat(message, ipHeader(1, htonl(0x0a000001), requestDestination));
    message.insert(message.end(), request.begin(), request.begin() + std::min<size_t>(8, request.size()));
    return withChecksum(message);
}

// What a datagram socket makes of `message` received from `source`.
EchoMatch::Kind kindOf(const std::vector<uint8_t>& message, uint32_t source = kOurs.destination)
{
    return IcmpPacket::matchMessage(message, source, kOurs).kind;
}

} // namespace

TEST(IcmpPacket, EchoRequestCarriesIdentifierSequenceDataAndAValidChecksum)
{
    for (std::string_view data : std::initializer_list<std::string_view>{{}, "1", "", "odd", "four"}) {
        const std::vector<uint8_t> packet = IcmpPacket::echoRequest(0x1234, 0xbeef, data);
        ASSERT_EQ(packet.size(), 8 + data.size());
        EXPECT_EQ(packet[0], 8);
        EXPECT_EQ(packet[1], 0);
        EXPECT_EQ(packet[4], 0x12);
        EXPECT_EQ(packet[5], 0x34);
        EXPECT_EQ(packet[6], 0xbe);
        EXPECT_EQ(packet[7], 0xef);
        EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(packet.data() + 8), data.size()), data);
        EXPECT_EQ(IcmpPacket::checksum(packet), 0) << "a packet with its checksum in place sums to zero";
    }
    const uint8_t rfc1071[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(IcmpPacket::checksum(rfc1071), 0x220d);
}

TEST(IcmpPacket, OnlyTheReplyWithOurIdentifierAndSequenceIsOurs)
{
    const EchoMatch ours = IcmpPacket::matchMessage(echoReply(0x1234, 0xbeef, "1"), kOurs.destination, kOurs);
    EXPECT_EQ(ours.kind, EchoMatch::Kind::Reply);
    EXPECT_EQ(ours.dataOffset, 8u);
    EXPECT_EQ(ours.dataSize, 1u);

    EXPECT_EQ(kindOf(echoReply(0x1235, 0xbeef)), EchoMatch::Kind::Unrelated);
    EXPECT_EQ(kindOf(echoReply(0x1234, 0xbeee)), EchoMatch::Kind::Unrelated);
    EXPECT_EQ(kindOf(echoReply(0xbeef, 0x1234)), EchoMatch::Kind::Unrelated);
    // Our own request as a raw socket sees it on loopback.
    EXPECT_EQ(kindOf(IcmpPacket::echoRequest(0x1234, 0xbeef, "1")), EchoMatch::Kind::Unrelated);
    std::vector<uint8_t> truncated = echoReply(0x1234, 0xbeef);
    truncated.resize(7);
    EXPECT_EQ(kindOf(truncated), EchoMatch::Kind::Unrelated);
    EXPECT_EQ(kindOf(std::vector<uint8_t>()), EchoMatch::Kind::Unrelated);
    // Damaged on the way, or sent by a host we did not ask.
    std::vector<uint8_t> damaged = echoReply(0x1234, 0xbeef);
    damaged[8] ^= 0x01;
    EXPECT_EQ(kindOf(damaged), EchoMatch::Kind::Unrelated);
    EXPECT_EQ(kindOf(echoReply(0x1234, 0xbeef), kRouter), EchoMatch::Kind::Unrelated);
}

TEST(IcmpPacket, RawDatagramsAreReadPastTheirIpHeaderWithOptions)
{
    for (size_t optionWords : {0u, 1u, 10u}) {
        const std::vector<uint8_t> datagram =
            concat(ipHeader(1, kOurs.destination, htonl(0x0a000002), optionWords), echoReply(0x1234, 0xbeef, "1"));
        const EchoMatch match = IcmpPacket::matchDatagram(datagram, kOurs);
        ASSERT_EQ(match.kind, EchoMatch::Kind::Reply) << optionWords;
        EXPECT_EQ(match.dataOffset, 20 + optionWords * 4 + 8);
        EXPECT_EQ(datagram[match.dataOffset], '1');
        EXPECT_EQ(match.dataSize, 1u);
        EXPECT_EQ(match.ttl, 57);
        EXPECT_EQ(match.tos, 0x10);
        EXPECT_EQ(match.source, kOurs.destination);
    }
    const std::vector<uint8_t> good = concat(ipHeader(1, kOurs.destination, 0), echoReply(0x1234, 0xbeef));
    std::vector<uint8_t> bad = good;
    bad[0] = 0x4f; // header longer than the datagram
    EXPECT_EQ(IcmpPacket::matchDatagram(bad, kOurs).kind, EchoMatch::Kind::Unrelated);
    bad = good;
    bad[0] = 0x44; // header shorter than the minimum
    EXPECT_EQ(IcmpPacket::matchDatagram(bad, kOurs).kind, EchoMatch::Kind::Unrelated);
    bad = good;
    bad[0] = 0x65; // not IPv4
    EXPECT_EQ(IcmpPacket::matchDatagram(bad, kOurs).kind, EchoMatch::Kind::Unrelated);
    bad = good;
    bad[9] = 17; // not ICMP
    EXPECT_EQ(IcmpPacket::matchDatagram(bad, kOurs).kind, EchoMatch::Kind::Unrelated);
    bad = concat(ipHeader(1, kRouter, 0), echoReply(0x1234, 0xbeef)); // from a host we did not ask
    EXPECT_EQ(IcmpPacket::matchDatagram(bad, kOurs).kind, EchoMatch::Kind::Unrelated);
    EXPECT_EQ(IcmpPacket::matchDatagram(std::span(good).first(27), kOurs).kind, EchoMatch::Kind::Unrelated);
}

TEST(IcmpPacket, ErrorsCountOnlyWhenTheyQuoteOurRequest)
{
    const std::vector<uint8_t> request = IcmpPacket::echoRequest(0x1234, 0xbeef, "1");
    const std::tuple<uint8_t, uint8_t, int32_t> errors[] = {
        {3, 0, EchoStatus::NetUnreachable},        {3, 1, EchoStatus::HostUnreachable},
        {3, 2, EchoStatus::ProtocolUnreachable},   {3, 3, EchoStatus::PortUnreachable},
        {3, 13, EchoStatus::HostUnreachable},      {11, 0, EchoStatus::TtlExpiredTransit},
        {11, 1, EchoStatus::TtlExpiredReassembly}, {12, 0, EchoStatus::ParameterProblem}};
    for (const auto& [type, code, status] : errors) {
        const std::vector<uint8_t> error = icmpError(type, code, kOurs.destination, request);
        const EchoMatch match =
            IcmpPacket::matchDatagram(concat(ipHeader(1, htonl(0x0a000001), htonl(0x0a000002)), error), kOurs);
        EXPECT_EQ(match.kind, EchoMatch::Kind::Error) << int(type) << '/' << int(code);
        EXPECT_EQ(match.status, status) << int(type) << '/' << int(code);
        EXPECT_EQ(match.source, htonl(0x0a000001));
    }
    // Errors about another program's echo, about our identity sent elsewhere, cut short, or no verdict.
    EXPECT_EQ(kindOf(icmpError(3, 1, kOurs.destination, IcmpPacket::echoRequest(0x1234, 1, "1")), kRouter),
              EchoMatch::Kind::Unrelated);
    EXPECT_EQ(kindOf(icmpError(3, 1, htonl(0x0a000009), request), kRouter), EchoMatch::Kind::Unrelated);
    EXPECT_EQ(
        kindOf(icmpError(3, 1, kOurs.destination, std::vector<uint8_t>(request.begin(), request.begin() + 7)), kRouter),
        EchoMatch::Kind::Unrelated);
    EXPECT_EQ(kindOf(icmpError(5, 1, kOurs.destination, request), kRouter), EchoMatch::Kind::Unrelated);
    std::vector<uint8_t> damaged = icmpError(3, 1, kOurs.destination, request);
    damaged[9] ^= 0x01; // the quoted type of service, which nothing else looks at
    EXPECT_EQ(kindOf(damaged, kRouter), EchoMatch::Kind::Unrelated);

    // A datagram socket's error queue names the destination and quotes what it can of the request.
    EXPECT_TRUE(IcmpPacket::isOwnQueuedError(request, kOurs.destination, kOurs));
    EXPECT_FALSE(IcmpPacket::isOwnQueuedError(request, htonl(0x0a000009), kOurs));
}

TEST(EchoStatusMap, SendErrorsBecomeTableCodes)
{
    EXPECT_EQ(EchoStatusMap::fromErrno(ENETUNREACH), EchoStatus::NetUnreachable);
    EXPECT_EQ(EchoStatusMap::fromErrno(EHOSTUNREACH), EchoStatus::HostUnreachable);
    EXPECT_EQ(EchoStatusMap::fromErrno(EMSGSIZE), EchoStatus::PacketTooBig);
    for (int other : {EACCES, EPERM, EINVAL, EADDRNOTAVAIL, 0}) {
        EXPECT_EQ(EchoStatusMap::fromErrno(other), EchoStatus::GeneralFailure) << other;
    }
}
