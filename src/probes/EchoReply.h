#pragma once

#include <cstddef>
#include <cstdint>

// The reply record of one echo: the 32-bit layout of an ICMP echo reply with its IP option
// information, followed by a 250-byte data area. Little-endian, 278 bytes, no padding.
#pragma pack(push, 1)
struct EchoReply {
    uint32_t Address = 0;       // replying host, network byte order
    int32_t Status = 0;         // IP status code of the echo
    uint32_t RoundTripTime = 0; // milliseconds
    uint16_t DataSize = 0;      // bytes of echoed data
    uint16_t Reserved = 0;
    uint32_t Data = 0; // pointer-sized slot of the 32-bit layout; no pointer is stored here
    uint8_t Ttl = 0;
    uint8_t Tos = 0;
    uint8_t Flags = 0;
    uint8_t OptionsSize = 0;
    uint32_t OptionsData = 0;
    uint8_t ReplyData[250] = {};
};
#pragma pack(pop)

static_assert(sizeof(EchoReply) == 278, "EchoReply must keep the 278-byte layout");
static_assert(offsetof(EchoReply, Status) == 4);
static_assert(offsetof(EchoReply, Ttl) == 20);
static_assert(offsetof(EchoReply, ReplyData) == 28);
