#include "probes/EchoExchange.h"

#include "probes/EchoStatus.h"
#include "probes/EchoStatusMap.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kPacketBuffer = 2048;
constexpr size_t kControlBuffer = 256;
// Packets read per wake-up before the deadline is looked at again, so that a flood of other
// programs' ICMP cannot stretch the wait.
constexpr int kReadsPerWake = 64;

// Identifier and sequence of one request. Successive calls never share a clock reading, and the
// process id keeps two programs that started together apart; no cryptographic quality is needed.
uint32_t identityBits(std::chrono::steady_clock::time_point now)
{
    const auto ticks = static_cast<uint64_t>(now.time_since_epoch().count());
    const auto mixed = static_cast<uint32_t>((ticks ^ (ticks >> 29)) * 0x9e3779b1u);
    return mixed ^ (static_cast<uint32_t>(getpid()) * 0x85ebca6bu);
}

// Rounded up: a timeout cut short by rounding would wake early and spin until the deadline.
int pollTimeout(std::chrono::steady_clock::duration remaining)
{
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(remaining).count());
}

struct Message {
    uint8_t buffer[kPacketBuffer];
    alignas(cmsghdr) uint8_t control[kControlBuffer];
    sockaddr_in from{};
    iovec iov{};
    msghdr header{};

    ssize_t receive(int fd, int flags)
    {
        iov = {buffer, sizeof buffer};
        from = {}; // an address the kernel does not give reads as 0.0.0.0, which is never our destination
        header = {};
        header.msg_name = &from;
        header.msg_namelen = sizeof from;
        header.msg_iov = &iov;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        return recvmsg(fd, &header, flags | MSG_DONTWAIT);
    }
};

} // namespace

EchoExchange::EchoExchange(uint32_t destination)
{
    ours_.destination = destination;
}

int32_t EchoExchange::run(std::string_view data, EchoReply& reply)
{
    if (socket_.kind() == IcmpSocket::Kind::None) {
        finish(EchoStatus::GeneralFailure, reply);
        return status_;
    }
    sent_ = Clock::now();
    const Clock::time_point deadline = sent_ + kWait;
    const uint32_t bits = identityBits(sent_);
    ours_.identifier = static_cast<uint16_t>(bits >> 16);
    ours_.sequence = static_cast<uint16_t>(bits & 0xffff);
    const std::vector<uint8_t> request = IcmpPacket::echoRequest(ours_.identifier, ours_.sequence, data);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = ours_.destination;
    if (sendto(socket_.fd(), request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        finish(EchoStatusMap::fromErrno(errno), reply);
        return status_;
    }
    ours_.identifier = socket_.identifierAfterSend(ours_.identifier);

    for (;;) {
        // Read before sleeping: on loopback the answer is queued before sendto returns.
        if (readReplies(reply)) {
            return status_;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            finish(EchoStatus::TimedOut, reply);
            return status_;
        }
        pollfd entry{socket_.fd(), POLLIN, 0};
        const int ready = poll(&entry, 1, pollTimeout(deadline - now));
        if (ready < 0 && errno != EINTR) {
            finish(EchoStatusMap::fromErrno(errno), reply);
            return status_;
        }
        if (ready > 0 && (entry.revents & POLLERR) != 0) {
            if (socket_.kind() == IcmpSocket::Kind::Datagram && readErrorQueue(reply)) {
                return status_;
            }
            // Whatever error is left pending is no verdict on our request; clear it so poll sleeps again.
            int pending = 0;
            socklen_t length = sizeof pending;
            getsockopt(socket_.fd(), SOL_SOCKET, SO_ERROR, &pending, &length);
        }
    }
}

bool EchoExchange::readReplies(EchoReply& reply)
{
    Message message;
    for (int i = 0; i < kReadsPerWake; ++i) {
        const ssize_t size = message.receive(socket_.fd(), 0);
        if (size < 0) {
            return false; // drained, or a socket error that only the error queue can tie to a request
        }
        const std::span<const uint8_t> bytes(message.buffer, static_cast<size_t>(size));
        EchoMatch match = socket_.kind() == IcmpSocket::Kind::Raw
                              ? IcmpPacket::matchDatagram(bytes, ours_)
                              : IcmpPacket::matchMessage(bytes, message.from.sin_addr.s_addr, ours_);
        if (match.kind == EchoMatch::Kind::Unrelated) {
            continue;
        }
        if (!match.hasIpHeader) {
            for (cmsghdr* c = CMSG_FIRSTHDR(&message.header); c != nullptr; c = CMSG_NXTHDR(&message.header, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL && c->cmsg_len >= CMSG_LEN(sizeof(int))) {
                    int ttl = 0;
                    std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
                    match.ttl = static_cast<uint8_t>(ttl);
                }
            }
        }
        fillReply(match, message.buffer, reply);
        finish(match.kind == EchoMatch::Kind::Reply ? EchoStatus::Success : match.status, reply);
        return true;
    }
    return false;
}

bool EchoExchange::readErrorQueue(EchoReply& reply)
{
    Message message;
    for (int i = 0; i < kReadsPerWake; ++i) {
        const ssize_t size = message.receive(socket_.fd(), MSG_ERRQUEUE);
        if (size < 0) {
            return false;
        }
        sock_extended_err error{};
        sockaddr_in offender{};
        bool found = false;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message.header); c != nullptr; c = CMSG_NXTHDR(&message.header, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR &&
                c->cmsg_len >= CMSG_LEN(sizeof error + sizeof offender)) {
                std::memcpy(&error, CMSG_DATA(c), sizeof error);
                std::memcpy(&offender, CMSG_DATA(c) + sizeof error, sizeof offender);
                found = true;
            }
        }
        // The entry's address is the destination of the datagram it concerns.
        const std::span<const uint8_t> quoted(message.buffer, static_cast<size_t>(size));
        if (!found || !IcmpPacket::isOwnQueuedError(quoted, message.from.sin_addr.s_addr, ours_)) {
            continue;
        }
        int32_t status = 0;
        if (error.ee_origin == SO_EE_ORIGIN_ICMP) {
            status = EchoStatusMap::fromIcmpError(error.ee_type, error.ee_code);
        } else if (error.ee_origin == SO_EE_ORIGIN_LOCAL) {
            status = EchoStatusMap::fromErrno(static_cast<int>(error.ee_errno));
        }
        if (status == 0) {
            continue;
        }
        if (offender.sin_family == AF_INET) {
            reply.Address = offender.sin_addr.s_addr;
        }
        reply.RoundTripTime =
            static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent_).count());
        finish(status, reply);
        return true;
    }
    return false;
}

void EchoExchange::fillReply(const EchoMatch& match, const uint8_t* base, EchoReply& reply)
{
    reply.Address = match.source;
    reply.RoundTripTime =
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent_).count());
    if (match.kind == EchoMatch::Kind::Reply) {
        const size_t size = std::min(match.dataSize, sizeof reply.ReplyData);
        std::memcpy(reply.ReplyData, base + match.dataOffset, size);
        reply.DataSize = static_cast<uint16_t>(size);
        reply.Ttl = match.ttl;
        reply.Tos = match.tos;
    }
}

void EchoExchange::finish(int32_t status, EchoReply& reply)
{
    status_ = status;
    reply.Status = status;
}
