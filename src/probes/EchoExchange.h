#pragma once

#include "probes/EchoReply.h"
#include "probes/IcmpPacket.h"
#include "probes/IcmpSocket.h"

#include <chrono>
#include <cstdint>
#include <string_view>

// One echo request and the wait for its answer on a socket of its own.
class EchoExchange {
public:
    static constexpr std::chrono::milliseconds kWait{500};

    explicit EchoExchange(uint32_t destination);

    // Sends one request carrying `data`, waits at most kWait and returns the echo's status. Fills
    // the fields of `reply` that the answer gives; Status always.
    int32_t run(std::string_view data, EchoReply& reply);

private:
    using Clock = std::chrono::steady_clock;

    // Each returns true when the packets read settled the echo.
    bool readReplies(EchoReply& reply);
    bool readErrorQueue(EchoReply& reply);
    void finish(int32_t status, EchoReply& reply);
    void fillReply(const EchoMatch& match, const uint8_t* base, EchoReply& reply);

    IcmpSocket socket_;
    EchoIdentity ours_;
    Clock::time_point sent_;
    int32_t status_ = 0;
};
