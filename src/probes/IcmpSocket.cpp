#include "probes/IcmpSocket.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void enable(int fd, int level, int option)
{
    const int on = 1;
    setsockopt(fd, level, option, &on, sizeof on); // a missing extra only costs a reply field
}

} // namespace

IcmpSocket::IcmpSocket()
{
    if (!openDatagram()) {
        openRaw();
    }
}

IcmpSocket::~IcmpSocket()
{
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool IcmpSocket::openDatagram()
{
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ < 0) {
        return false;
    }
    kind_ = Kind::Datagram;
    // ICMP errors about our request only reach a datagram socket through its error queue.
    enable(fd_, IPPROTO_IP, IP_RECVERR);
    enable(fd_, IPPROTO_IP, IP_RECVTTL);
    return true;
}

bool IcmpSocket::openRaw()
{
    fd_ = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd_ < 0) {
        return false;
    }
    kind_ = Kind::Raw;
    // A raw socket sees every ICMP packet of the host; let only the types that can answer an echo
    // wake us, so that a busy network does not eat into the wait.
    icmp_filter filter{};
    filter.data = ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH) |
                    (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
    setsockopt(fd_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    return true;
}

uint16_t IcmpSocket::identifierAfterSend(uint16_t own) const
{
    if (kind_ != Kind::Datagram) {
        return own;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return own;
    }
    return ntohs(local.sin_port);
}
